#include "app/output_choice.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QTemporaryFile>
#include <QUrl>

#include "app/main_skin.h"
#include "app/msg_dlg.h"
#include "app/my_check_box.h"
#include "app/preferences.h"
#include "app/skin.h"
#include "app/skinned_dialog.h"

COutputChoice::COutputChoice(CSkinnedDialog* window, Preferences& prefs, const QString& productTitle)
    : QObject(window), m_window(window), m_prefs(prefs), m_productTitle(productTitle)
{
    PlaceButton(window, "Browse..", "browse.png", {428, 491}, [this] { OnBrowse(); });
    PlaceButton(window, "Open Folder", "openfolder.png", {532, 491}, [this] { OnOpenFolder(); });
    m_output = new QLineEdit(window);
    m_output->setGeometry(532, 459, 254, 26);
    m_merge = new CMyCheckBox(QStringLiteral("Merge into one file"), window);
    m_merge->setGeometry(640, 496, 150, 20);
    ShowFolder();
}

bool COutputChoice::Merge() const { return m_merge->isChecked(); }

void COutputChoice::ShowFolder() { m_output->setText(m_prefs.outFolder); }

void COutputChoice::WriteFolder(const QString& folder)
{
    m_prefs.outFolder = folder;
    Preferences::Write(m_productTitle, QStringLiteral("strOutFolder"), folder);
}

QString COutputChoice::UsableFolder()
{
    const QString folder = m_output->text();
    QString refusal;
    if (folder.trimmed().isEmpty() || (!QFileInfo(folder).isDir() && !QDir().mkpath(folder)) || !QFileInfo(folder).isDir()) {
        refusal = QStringLiteral("Invalid output directory\n") + folder + QStringLiteral(" cannot be made.");
    } else if (QTemporaryFile probe(folder + QStringLiteral("/.zuzidero-probe-XXXXXX")); !probe.open()) {
        refusal = QStringLiteral("Invalid output directory\n") + folder + QStringLiteral(" cannot be written to (") + probe.errorString() +
                  QStringLiteral("). Choose another folder with Browse.");
    }
    if (!refusal.isEmpty()) {
        ShowMessage(m_window, refusal);
        return {};
    }
    if (folder != m_prefs.outFolder) WriteFolder(folder);
    return folder;
}

std::optional<COutputChoice::TakenNames> COutputChoice::AskAboutTakenNames(const QString& folder, const std::vector<std::string>& outputs)
{
    // Names already taken in the folder: each is asked about first, never overwritten silently.
    QStringList taken;
    for (const std::string& name : outputs)
        if (QFileInfo::exists(folder + QStringLiteral("/") + QString::fromStdString(name))) taken << QString::fromStdString(name);
    TakenNames answers;
    std::optional<NameAnswer> sameForAll;
    for (qsizetype i = 0; i < taken.size(); ++i) {
        const NameChoice choice = sameForAll ? NameChoice{*sameForAll, true} : AskAboutName(taken[i], static_cast<int>(taken.size() - i - 1));
        if (choice.answer == NameAnswer::kCancel) return std::nullopt;
        if (choice.forAll) sameForAll = choice.answer;
        const std::string name = taken[i].toStdString();
        if (choice.answer == NameAnswer::kSkip)
            answers.skipped.insert(name);
        else
            answers.rules[name] = choice.answer == NameAnswer::kOverwrite ? IfNameTaken::kReplace : IfNameTaken::kKeepBoth;
    }
    if (answers.skipped.size() == outputs.size()) {
        ShowMessage(m_window, QStringLiteral("Nothing to convert\nEvery file of the run was skipped: its name is taken in the output folder."));
        return std::nullopt;
    }
    return answers;
}

COutputChoice::NameChoice COutputChoice::AskAboutName(const QString& name, int left)
{
    if (m_askName) return m_askName(name, left);
    CMsgDlg question(CMsgDlg::kQuestion, m_window);
    question.SetMessage(QStringLiteral("%1 exists").arg(name),
                        QStringLiteral("The output folder has a file of this name. Overwrite it with the new one, keep both (the new "
                                       "one as \"%1\"), or skip this title?")
                            .arg(QFileInfo(FreeFileName(m_output->text() + QStringLiteral("/") + name)).fileName()));
    // Enter keeps both: overwriting a file takes a deliberate click.
    question.SetChoices({QStringLiteral("Overwrite"), QStringLiteral("Keep both"), QStringLiteral("Skip")},
                        left > 0 ? QStringLiteral("Do the same for the %1 other taken names").arg(left) : QString(), 1);
    const int result = question.exec();
    const bool forAll = question.ForAllBox() && question.ForAllBox()->isChecked();
    switch (result - CMsgDlg::kFirstChoice) {
    case 0: return {NameAnswer::kOverwrite, forAll};
    case 1: return {NameAnswer::kKeepBoth, forAll};
    case 2: return {NameAnswer::kSkip, forAll};
    default: return {NameAnswer::kCancel, false};
    }
}

void COutputChoice::OnBrowse()
{
    const QString folder = QFileDialog::getExistingDirectory(m_window, QStringLiteral("Browser"), m_prefs.outFolder);
    if (folder.isEmpty()) return;
    m_output->setText(folder);
    WriteFolder(folder);
}

void COutputChoice::OnOpenFolder() { OpenInDesktop(m_window, QUrl::fromLocalFile(m_output->text())); }
