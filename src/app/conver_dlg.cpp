#include "app/conver_dlg.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <algorithm>
#include <filesystem>
#include <QLabel>
#include <QUrl>

#include "app/msg_dlg.h"
#include "app/my_button.h"
#include "app/my_check_box.h"
#include "app/my_progress_ctrl.h"
#include "app/power_off.h"
#include "app/skin.h"
#include "app/video_renderer.h"
#include "convert/text_files.h"
#include "workspace/plain_words.h"

namespace {

std::function<bool(QString*)>& PowerOffHook()
{
    static std::function<bool(QString*)> hook = RequestPowerOff;
    return hook;
}

std::function<void(const QString&)>& OpenFolderHook()
{
    static std::function<void(const QString&)> hook = [](const QString& folder) { OpenInDesktop(nullptr, QUrl::fromLocalFile(folder)); };
    return hook;
}

} // namespace

QString TimeText(REFERENCE_TIME duration)
{
    const long long seconds = std::max<long long>(0, duration / 10000000);
    return QString::asprintf("%02lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
}

void CConverDlg::SetActionHooks(std::function<bool(QString*)> powerOff, std::function<void(const QString&)> openFolder)
{
    PowerOffHook() = powerOff ? std::move(powerOff) : RequestPowerOff;
    OpenFolderHook() = openFolder ? std::move(openFolder)
                                  : [](const QString& folder) { OpenInDesktop(nullptr, QUrl::fromLocalFile(folder)); };
}

CConverDlg::CConverDlg(const Inputs& inputs, QWidget* parent) : CSkinnedDialog(parent), m_inputs(inputs)
{
    setWindowTitle(QStringLiteral("Converting"));
    SetBackground("convertingbk.png", QSize(485, 550));
    const QPixmap& background = Background();

    m_title = new QLabel(QStringLiteral("Converting"), this);
    m_title->setGeometry(16, 6, 430, 26); // up to the close button
    QFont bold = m_title->font();
    bold.setBold(true);
    bold.setPointSizeF(11);
    m_title->setFont(bold);

    m_previewWindow = new CVideoWindow(this);
    m_previewWindow->setGeometry(QRect(QPoint(86, 78), QPoint(407, 319)));
    m_renderer = ComPtr<CVideoRenderer>(new CVideoRenderer);
    m_previewWindow->SetRenderer(m_renderer.Get());

    auto caption = [this](const QString& text, int x, int y, int w) {
        auto* label = new QLabel(text, this);
        label->setGeometry(x, y, w, 20);
        return label;
    };
    caption(QStringLiteral("Converted length of the current file:"), 40, 346, 250);
    m_converted = caption(QString(), 290, 346, 160);
    m_reading = caption(QString(), 40, 324, 405);
    m_reading->hide();
    m_fileBar = new CMyProgressCtrl(this);
    m_fileBar->setGeometry(40, 370, 405, 16);
    m_fileBar->SetPicture("progress1.png");
    m_fileBar->SetRange(0, 1000);
    m_fileBar->setToolTip(QStringLiteral("The current file"));
    m_overallBar = new CMyProgressCtrl(this);
    m_overallBar->setGeometry(40, 396, 405, 16);
    m_overallBar->SetPicture("progress2.png");
    m_overallBar->SetRange(0, 1000);
    m_overallBar->setToolTip(QStringLiteral("The whole run"));
    caption(QStringLiteral("Elapsed time:"), 40, 420, 110);
    m_elapsed = caption(QStringLiteral("00:00:00"), 150, 420, 90);
    caption(QStringLiteral("Remaining time:"), 250, 420, 110);
    m_remaining = caption(QString(), 360, 420, 90);

    m_showPreview = new CMyCheckBox(QStringLiteral("Show Preview"), this);
    m_showPreview->setGeometry(40, 444, 200, 18);
    m_showPreview->setChecked(true);
    m_shutDown = new CMyCheckBox(QStringLiteral("Shut down computer when conversion completed"), this);
    m_shutDown->setGeometry(40, 464, 400, 18);
    m_openFolder = new CMyCheckBox(QStringLiteral("Open output folder when conversion completed"), this);
    m_openFolder->setGeometry(40, 484, 400, 18);

    m_pause = new CMyButton(QStringLiteral("Pause"), this);
    m_pause->SetPictures("Pause2.png", 315, 515, background);
    m_continue = new CMyButton(QStringLiteral("Continue"), this);
    m_continue->SetPictures("continue2.png", 315, 515, background);
    m_continue->hide();
    m_cancel = new CMyButton(QStringLiteral("Cancel"), this);
    m_cancel->SetPictures("Cancel.png", 400, 515, background);
    m_close = new CMyButton(QStringLiteral("x"), this);
    m_close->SetPictures("close.png", 455, 8, background);

    connect(m_pause, &QAbstractButton::clicked, this, &CConverDlg::OnPause);
    connect(m_continue, &QAbstractButton::clicked, this, &CConverDlg::OnContinue);
    connect(m_cancel, &QAbstractButton::clicked, this, &CConverDlg::OnCancel);
    connect(m_close, &QAbstractButton::clicked, this, &CConverDlg::OnCancel);
    connect(m_showPreview, &QCheckBox::toggled, this, &CConverDlg::OnShowPreview);
    connect(&m_clock, &QTimer::timeout, this, &CConverDlg::UpdateProgress);

    if (!m_inputs.tasks) {
        ShowMessage(this, QStringLiteral("pList NULL"));
        return;
    }
    QTimer::singleShot(0, this, &CConverDlg::Begin);
}

CConverDlg::~CConverDlg()
{
    m_clock.stop();
    m_run.reset(); // cancels a run under way, which finishes the file written so far
}

void CConverDlg::Begin()
{
    if (m_begun) return;
    m_begun = true;
    RunSettings settings;
    settings.profile = m_inputs.profile;
    settings.choices = m_inputs.choices;
    settings.outputFolder = m_inputs.outFolder.toStdString();
    settings.merge = m_inputs.merge;
    settings.picture = m_inputs.picture;
    settings.selectedAudioStreamId = m_inputs.audioStreamId;
    settings.selectedSubtitleId = m_inputs.subtitleId;
    settings.subtitles = m_inputs.subtitles;
    settings.deinterlace = m_inputs.deinterlace;
    settings.autoCrop = m_inputs.autoCrop;
    settings.severalSoundStreams = m_inputs.severalSoundStreams;
    settings.soundFallback = m_inputs.soundFallback;
    settings.subtitleTracks = m_inputs.profile.subtitleTracks == 2   ? RunSettings::SubtitleTracks::kAll
                              : m_inputs.profile.subtitleTracks == 1 ? RunSettings::SubtitleTracks::kChosen
                                                                     : RunSettings::SubtitleTracks::kNone;
    settings.subtitleText = SubtitleTextOf(m_inputs.profile);
    settings.preview = m_renderer.Get();
    // The user's answers for names taken in the folder; a name taken while the run goes on keeps
    // both files.
    m_tasks = *m_inputs.tasks;
    for (RunTask& t : m_tasks) {
        if (m_inputs.skipped.count(t.outputName)) t.checked = false;
        const auto rule = m_inputs.nameRules.find(t.outputName);
        t.ifNameTaken = rule != m_inputs.nameRules.end() ? rule->second : IfNameTaken::kKeepBoth;
    }
    // The run's news comes from its thread as a call queued to this window (and goes with it:
    // the run ends in the destructor, before the window goes). Failures are kept for the end
    // message; a message box now would hold the run up.
    m_run = std::make_unique<WorkspaceRun>(
        m_inputs.disc, m_tasks, settings, [this] { QMetaObject::invokeMethod(this, &CConverDlg::OnRunNews, Qt::QueuedConnection); },
        m_beforeStart);
    m_run->Start();
    m_clock.start(250);
}

void CConverDlg::OnRunNews()
{
    if (!m_run || m_done) return;
    const WorkspaceRun::News news = m_run->TakeNews();
    for (const std::string& text : news.messages) m_failures << QString::fromStdString(text);
    if (news.afterConversion) AfterConversion();
    if (news.finished) Finished();
}

void CConverDlg::UpdateProgress()
{
    if (!m_run) return;
    const RunProgress p = m_run->Progress();
    m_fileBar->SetPos(static_cast<int>(p.fraction * 1000 + 0.5));
    m_overallBar->SetPos(static_cast<int>(p.overall * 1000));
    m_elapsed->setText(TimeText(p.elapsedMs * 10000));
    m_remaining->setText(p.remainingMs >= 0 ? TimeText(p.remainingMs * 10000) : QString());
    // The converted length says what the file's bar shows.
    const auto converted = static_cast<REFERENCE_TIME>(std::clamp(p.fraction, 0.0, 1.0) * static_cast<double>(p.duration));
    m_converted->setText(TimeText(converted) + QStringLiteral("/") + TimeText(p.duration));
    // Subtitles read into text beside the encoding: how far the reading is.
    m_reading->setVisible(p.textCues >= 0);
    m_reading->setText(QStringLiteral("Subtitles read into text: %1 cues").arg(std::max(p.textCues, 0)));
    // One file in one pass: the run's bar would say the same as the file's.
    m_overallBar->setVisible(p.tasks > 1 || m_inputs.profile.rateControl == kTwoPass);
    // The file's name whole in the tip; in the title, cut in its middle where it is too long.
    const QString name = QString::fromStdString(p.file);
    const QString title = (m_paused ? QStringLiteral("Paused: ") : QStringLiteral("Converting ")) + name;
    m_title->setToolTip(title);
    m_title->setText(m_title->fontMetrics().elidedText(title, Qt::ElideMiddle, m_title->width()));
}

QString CConverDlg::ElapsedText() const { return m_elapsed->text(); }
QString CConverDlg::RemainingText() const { return m_remaining->text(); }
QString CConverDlg::ConvertedText() const { return m_converted->text(); }
QString CConverDlg::ReadingText() const { return m_reading->isVisible() ? m_reading->text() : QString(); }
QString CConverDlg::TitleText() const { return m_title->text(); }

void CConverDlg::OnPause()
{
    if (!m_run) return;
    m_run->Pause();
    m_paused = true;
    m_pause->hide();
    m_continue->show();
    UpdateProgress();
}

void CConverDlg::OnContinue()
{
    if (!m_run) return;
    m_run->Continue();
    m_paused = false;
    m_continue->hide();
    m_pause->show();
    UpdateProgress();
}

void CConverDlg::OnCancel()
{
    if (m_done) {
        m_done->accept(); // the run has ended: closing is closing its end message
        return;
    }
    if (!m_run) {
        CSkinnedDialog::reject();
        return;
    }
    if (m_run->Finished()) return; // its end message is on its way
    if (m_question) {
        m_question->raise();
        return;
    }
    // The run goes on while the user decides.
    m_question = new CMsgDlg(CMsgDlg::kQuestion, this);
    m_question->setAttribute(Qt::WA_DeleteOnClose);
    m_question->SetMessage(QStringLiteral("Stop converting?"), QStringLiteral("The part converted so far is kept."));
    connect(m_question, &QDialog::finished, this, [this](int result) {
        m_question = nullptr;
        if (result == QDialog::Accepted) StopRun();
    });
    m_question->open();
}

void CConverDlg::StopRun()
{
    if (!m_run || m_run->Finished() || m_done) return; // it ended while the question was open
    // The part written so far is finished as a valid file; the end message comes with the run's end.
    m_run->Cancel();
    m_pause->setEnabled(false);
    m_continue->setEnabled(false);
}

void CConverDlg::reject() { OnCancel(); }

void CConverDlg::closeEvent(QCloseEvent* event)
{
    if (m_run && !m_done) {
        event->ignore();
        OnCancel();
        return;
    }
    CSkinnedDialog::closeEvent(event);
}

void CConverDlg::OnShowPreview(bool on)
{
    if (m_run) m_run->ShowPreview(on);
    m_previewWindow->setVisible(on);
    update(QRect(QPoint(85, 65), QPoint(410, 310)));
}

void CConverDlg::AfterConversion()
{
    if (m_shutDown->isChecked() || m_inputs.action == QStringLiteral("Shut Down")) {
        QString error;
        if (!PowerOffHook()(&error)) ShowMessage(this, QStringLiteral("The computer could not be shut down: ") + error);
    } else if (m_openFolder->isChecked()) {
        OpenFolderHook()(m_inputs.outFolder);
    }
}

void CConverDlg::Finished()
{
    UpdateProgress();
    m_clock.stop();
    // Full bars only for a run that did all it was asked.
    const ConversionRun* run = Run();
    if (run && !run->Cancelled() && run->TasksFailed() == 0 && m_failures.isEmpty()) {
        m_fileBar->SetPos(1000);
        m_overallBar->SetPos(1000);
    }
    m_pause->setEnabled(false);
    m_continue->setEnabled(false);
    if (m_question) m_question->reject(); // nothing is left to stop
    ShowEndMessage();
    connect(m_done, &QDialog::finished, this, [this] { accept(); });
    m_done->open();
}

void CConverDlg::ShowEndMessage()
{
    const ConversionRun* run = Run();
    const std::vector<std::string> none;
    const std::vector<std::string>& written = run ? run->FilesWritten() : none;
    QStringList names;
    for (const std::string& file : written) names << QString::fromStdString(std::filesystem::path(file).filename().string());
    QStringList damage, text;
    if (run) {
        for (const FileDamage& d : run->Damage()) damage << QString::fromStdString(DamageText(d));
        for (const std::string& line : run->Unreached()) damage << QString::fromStdString(line);
        // Subtitles read into text: the cues read and those to check, per track.
        for (const ConversionRun::FileText& file : run->TextReports())
            text << QString::fromStdString(std::filesystem::path(file.file).filename().string() + ": subtitles read into text: " +
                                           TextReport(file.results));
        for (const std::string& note : run->TextNotes()) text << QString::fromStdString(note);
    }
    const qsizetype expected = static_cast<qsizetype>(RunOutputNames(m_tasks, m_inputs.merge).size());
    const int failed = run ? run->TasksFailed() : 0;

    if (run && run->Cancelled()) {
        m_done = new CMsgDlg(CMsgDlg::kInformation, this);
        m_done->SetMessage(QStringLiteral("Conversion cancelled"),
                           names.isEmpty() ? QStringLiteral("Nothing was written.")
                                           : QStringLiteral("The part converted so far is kept: ") + names.join(QStringLiteral(", ")));
        m_done->SetDetail((damage + text).join(QLatin1Char('\n')));
    } else if (failed > 0 || !m_failures.isEmpty() || names.size() < expected) {
        m_done = new CMsgDlg(names.isEmpty() ? CMsgDlg::kError : CMsgDlg::kWarning, this);
        // What the failures mean and what to try, each said once.
        QStringList advice;
        for (const QString& failure : m_failures)
            if (const QString plain = QString::fromStdString(PlainWordsFor(failure.toStdString())); !plain.isEmpty() && !advice.contains(plain))
                advice << plain;
        m_done->SetMessage(names.isEmpty() ? QStringLiteral("Conversion failed") : QStringLiteral("Conversion finished with errors"),
                           (QStringList{QStringLiteral("%1 of %2 files written.").arg(names.size()).arg(std::max(expected, names.size()))} + advice)
                               .join(QLatin1Char('\n')));
        m_done->SetDetail((m_failures + damage + text).join(QLatin1Char('\n')));
        // The overall bar shows the share of the files that were written.
        m_overallBar->SetPos(static_cast<int>(1000 * names.size() / std::max<qsizetype>(expected, 1)));
    } else if (!damage.isEmpty()) {
        m_done = new CMsgDlg(CMsgDlg::kWarning, this);
        m_done->SetMessage(QStringLiteral("Conversion completed with unreadable parts"),
                           QStringLiteral("Your files are in the output folder, but parts of the disc could not be read:"));
        m_done->SetDetail((damage + text).join(QLatin1Char('\n')));
    } else {
        m_done = new CMsgDlg(CMsgDlg::kCompleted, this);
        if (!text.isEmpty()) m_done->SetDetail(text.join(QLatin1Char('\n')));
    }
}
