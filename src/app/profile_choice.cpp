#include "app/profile_choice.h"

#include <QComboBox>
#include <QSettings>

#include "app/beauty_combobox.h"
#include "app/main_skin.h"
#include "app/msg_dlg.h"
#include "app/my_button.h"
#include "app/preferences.h"
#include "app/settings_dlg.h"
#include "app/skin.h"
#include "app/skinned_dialog.h"
#include "app/start_pane.h"
#include "app/user_profiles.h"
#include "convert/file_marks.h"
#include "profiles/format_table.h"

namespace {

// The profile of a first start: H.264 at constant quality and AAC in MP4, at the source's size
// and rate (the command-line tool keeps its own documented default).
constexpr int kFirstStartProfile = 109;
// The selector's category of the profiles saved with "Save as...", and their commands: the base
// plus the profile's place among the user's profiles.
constexpr int kMyProfilesCategory = 18;
constexpr int kUserCommandBase = 50000;

QString Utf8(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<int>(text.size())); }

bool SameWriterSettings(const WriterSettings& a, const WriterSettings& b)
{
    return a.hasVideo == b.hasVideo && a.Width == b.Width && a.Height == b.Height && a.VideoBitRate == b.VideoBitRate &&
           a.FrameRate == b.FrameRate && std::string_view(a.VideoCodecName) == std::string_view(b.VideoCodecName) &&
           a.hasAudio == b.hasAudio && a.SampleRate == b.SampleRate && a.Channel == b.Channel &&
           a.AudioBitRate == b.AudioBitRate && std::string_view(a.AudioCodecName) == std::string_view(b.AudioCodecName) &&
           a.subtitleTracks == b.subtitleTracks && a.subtitleText == b.subtitleText && a.subtitleFiles == b.subtitleFiles;
}

} // namespace

CProfileChoice::CProfileChoice(CSkinnedDialog* window) : QObject(window), m_window(window)
{
    m_settings = PlaceButton(window, "Settings", "settings.png", {428, 456}, [this] { OnSettings(); });
    m_selector = new BeautyCombobox(window);
    m_selector->setGeometry(428, 418, 236, 30);
    connect(m_selector, &BeautyCombobox::formatCommand, this, &CProfileChoice::OnFormatCommand);
    m_profileList = new QComboBox(window);
    m_profileList->hide();
    connect(m_profileList, &QComboBox::activated, this, [this](int row) {
        if (row >= 0) SelectProfileById(m_profileList->itemData(row).toInt(), true);
    });
    LoadCatalogue(window);
    FillSelector();
    TakeKeptChanges();
}

void CProfileChoice::LoadCatalogue(CSkinnedDialog* window)
{
    // The profile catalogue, with every profile in the hidden list.
    m_catalogueLoaded = m_catalogue.Load(DataFile("Format.xml").toStdString());
    if (m_catalogueLoaded) m_catalogue.LoadAdded(DataFile("Format-added.xml").toStdString());
    if (!m_catalogueLoaded) {
        ShowMessage(window, QStringLiteral("Load Format.xml error") + QStringLiteral("\n\n") + QString::fromStdString(m_catalogue.LoadProblem()));
        m_settings->setEnabled(false);
        return;
    }
    // The window keeps the disc's subtitles as tracks wherever the format holds them ("Subtitle
    // tracks: All"); "None", the catalogue's own setting, is one choice away in Settings.
    m_catalogue.Change([](ProfileRecord& r) {
        if (r.writer.hasVideo && r.writer.subtitleTracks == 0 && HoldsSubtitles(r.FormatExt, false)) r.writer.subtitleTracks = 2;
    });
    m_catalogue.Lock();
    for (auto node = m_catalogue.First(); node != m_catalogue.End(); ++node)
        m_profileList->addItem(QString::fromStdString(node->ProfileName), node->index);
    m_catalogue.Unlock();
    m_catalogue.FindByIndex(1, &m_current);
    m_profileList->setCurrentIndex(m_profileList->findData(1));
}

void CProfileChoice::FillSelector()
{
    CStartPane* pane = m_selector->Pane();
    for (const FormatCategory& c : FormatCategories()) pane->AddCategory(c.id, Utf8(c.name), Utf8(c.titlePicture));
    for (const FormatEntry& f : FormatEntries())
        pane->AddFormat(f.category, f.command, Utf8(f.displayName) + QStringLiteral("/n") + Utf8(f.description), Utf8(f.picture));
    pane->AddCategory(kMyProfilesCategory, QStringLiteral("My Profiles"), QStringLiteral("My Profiles Title.bmp"));
    RefreshMyProfiles();
    pane->SetBottomPictures("Bottom.bmp", "Bottom_L.bmp", "Bottom_R.bmp", "Bottom_B.bmp");
    m_selector->SetButtonPicture("button.bmp");
    // The last choice, else (a first start, or a choice that is no more) the Modern H.264 MP4.
    auto [category, command] = LoadSelectorChoice();
    if (!m_selector->Select(category, command)) {
        for (const FormatEntry& f : FormatEntries())
            if (f.profile == kFirstStartProfile) {
                category = f.category;
                command = f.command;
                break;
            }
        m_selector->Select(category, command);
    }
    OnFormatCommand(command);
}

void CProfileChoice::SaveChoice()
{
    const auto [category, command] = m_selector->GetChoice();
    SaveSelectorChoice(category, command);
    // A profile changed in Settings is kept beside the choice, for the next start; one as stored
    // is not.
    QSettings ini(SettingIniPath(), QSettings::IniFormat);
    ini.remove(QStringLiteral("IN_USE"));
    ProfileRecord stored;
    const bool known = m_catalogue.FindByIndex(m_current.index, &stored) ||
                       UserProfiles::Find(m_current.index, &stored);
    if (known && SameWriterSettings(stored.writer, m_current.writer)) return;
    ini.beginGroup(QStringLiteral("IN_USE"));
    UserProfiles::WriteRecord(ini, m_current);
    ini.endGroup();
}

void CProfileChoice::Fit(int right)
{
    m_right = right;
    const int least = m_selector->minimumWidth();
    m_selector->resize(std::clamp(m_selector->sizeHint().width(), least, std::max(least, right - m_selector->x())), m_selector->height());
}

void CProfileChoice::TakeKeptChanges()
{
    QSettings ini(SettingIniPath(), QSettings::IniFormat);
    if (!ini.childGroups().contains(QStringLiteral("IN_USE"))) return;
    ini.beginGroup(QStringLiteral("IN_USE"));
    const ProfileRecord kept = UserProfiles::ReadRecord(ini);
    ini.endGroup();
    // Only for the profile the selector brought back.
    if (kept.index != m_current.index) return;
    m_current = kept;
    ShowEdited();
}

void CProfileChoice::SelectProfileById(int id, bool report)
{
    if (id == m_current.index && m_current.ProfileName.size() > 0) return;
    ProfileRecord found;
    if (m_catalogue.FindByIndex(id, &found) || UserProfiles::Find(id, &found))
        m_current = found;
    else if (report)
        ShowMessage(m_window, QStringLiteral("Conn`t get format"));
    Fit(m_right);
    emit profileChanged();
}

void CProfileChoice::OnFormatCommand(int command)
{
    if (command >= kUserCommandBase)
        SelectProfileById(UserProfiles::kFirstIndex + command - kUserCommandBase, true);
    else
        SelectProfileById(ProfileForCommand(command), true);
}

void CProfileChoice::RefreshMyProfiles()
{
    CStartPane* pane = m_selector->Pane();
    pane->ClearCategory(kMyProfilesCategory);
    for (const ProfileRecord& r : UserProfiles::Load()) {
        const WriterSettings& w = r.writer;
        const QString what = w.hasVideo ? QStringLiteral("%1×%2, %3 and %4").arg(w.Width).arg(w.Height).arg(w.VideoCodecName, w.AudioCodecName)
                                        : QStringLiteral("%1, %2 Hz").arg(w.AudioCodecName).arg(w.SampleRate);
        pane->AddFormat(kMyProfilesCategory, kUserCommandBase + r.index - UserProfiles::kFirstIndex,
                        QString::fromStdString(r.ProfileName) + QStringLiteral("/nSaved with \"Save as...\": ") + what +
                            QStringLiteral(" (") + QString::fromStdString(r.FormatExt) + QStringLiteral(")"),
                        QStringLiteral("My Profile.bmp"));
    }
}

void CProfileChoice::OnSettings()
{
    CSettingsDlg settings(m_current, &m_catalogue, m_window);
    const bool accepted = settings.exec() == QDialog::Accepted;
    RefreshMyProfiles(); // "Save as..." may have added one, or Delete taken one away
    if (!accepted) return;
    const std::string extension = m_current.FormatExt;
    m_current = settings.Working();
    ShowEdited();
    // Another preset chosen in the window may write another kind of file: the names follow.
    if (m_current.FormatExt != extension) emit profileChanged();
    ProfileRecord check;
    if (!m_catalogue.FindByIndex(m_current.index, &check) && !UserProfiles::Find(m_current.index, &check))
        ShowMessage(m_window, QStringLiteral("get format error"));
}

void CProfileChoice::ShowEdited()
{
    // The profile box names what will be used: a saved profile by its name (and chosen in the
    // selector), a changed one as "(modified)".
    ProfileRecord original;
    if (UserProfiles::IsUserIndex(m_current.index) && UserProfiles::Find(m_current.index, &original) &&
        SameWriterSettings(original.writer, m_current.writer)) {
        m_selector->Select(kMyProfilesCategory, kUserCommandBase + m_current.index - UserProfiles::kFirstIndex);
    } else if ((m_catalogue.FindByIndex(m_current.index, &original) || UserProfiles::Find(m_current.index, &original)) &&
               !SameWriterSettings(original.writer, m_current.writer)) {
        m_selector->ShowText(QString::fromStdString(original.ProfileName) + QStringLiteral(" (modified)"));
    } else if (m_catalogue.FindByIndex(m_current.index, &original)) {
        // Another catalogue profile chosen in the settings: the selector follows when it lists it.
        for (const FormatEntry& f : FormatEntries())
            if (f.profile == m_current.index) {
                m_selector->Select(f.category, f.command);
                break;
            }
    }
    Fit(m_right);
}
