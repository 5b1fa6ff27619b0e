#include "app/zuzidero_dlg.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLineEdit>
#include <QSettings>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QTimer>

#include "app/busy_bar.h"
#include "app/column_tree_ctrl.h"
#include "app/drive_menu.h"
#include "app/msg_dlg.h"
#include "app/my_check_box.h"
#include "app/my_slider_ctrl.h"
#include "app/my_static.h"
#include "app/optical_drives.h"
#include "app/output_choice.h"
#include "app/preferences_dlg.h"
#include "app/preview_pane.h"
#include "app/profile_choice.h"
#include "app/properties_dlg.h"
#include "app/skin.h"
#include "app/source_chooser.h"
#include "app/title_details.h"
#include "app/track_choice.h"
#include "app/video_renderer.h"
#include "profiles/format_table.h"
#include "workspace/run_plan.h"

CZuZideroDlg::CZuZideroDlg(QWidget* parent) : CSkinnedDialog(parent)
{
    // A normal top-level window to the window manager (the skin draws its own frame).
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setWindowIcon(QIcon(SkinFile("zuzidero.png")));
    // The product title and home page come from "Set.xml".
    SetFile set;
    set.Load(DataFile("Set.xml").toStdString());
    m_productTitle = QString::fromStdString(set.title);
    m_homePage = QString::fromStdString(set.url);
    setWindowTitle(m_productTitle.isEmpty() ? QStringLiteral("ZuZidero") : m_productTitle);
    m_prefs = Preferences::Load(m_productTitle);

    BuildSkin();
    m_preview = new CPreviewPane(this, m_list, m_prefs);
    m_output = new COutputChoice(this, m_prefs, m_productTitle);
    m_profiles = new CProfileChoice(this);
    m_tracks = new CTrackChoice(
        this, m_list, m_preview, [this]() -> const DiscInfo* { return m_work->Disc() ? &m_work->Disc()->Info() : nullptr; },
        [this] {
            const ProfileRecord& profile = m_profiles->CurrentProfile();
            return TakesSeveralSoundStreams(profile.index, profile.writer.hasVideo != 0, profile.FormatExt);
        });
    // What the selected title holds, in the room under the player.
    new CTitleDetails(
        this, m_list, [this]() -> const DiscInfo* { return m_work->Disc() ? &m_work->Disc()->Info() : nullptr; },
        [this](int title) { return m_work->Disc() ? m_work->Disc()->VideoOf(title) : TitleVideo{}; });
    connect(m_profiles, &CProfileChoice::profileChanged, this, &CZuZideroDlg::RenameOutputs);
    connect(m_output->MergeBox(), &QCheckBox::toggled, m_list, &CColumnTreeCtrl::SetMerged);
    UseWorkspaceSteps(Workspace::DiscSteps());
    m_sources->UseDrives(new COpticalDrives(this));
    m_sources->Drives()->Watch();
    // The window grows from its picture's size: the preview and the list share what it gains.
    const std::vector<QWidget*> growing{m_list, m_preview->VideoWindow(), m_preview->VideoPlaceholder(), m_gettingStarted,
                                        m_output->OutputBox(), m_preview->Slider()};
    m_places.Record(this, growing);
    SetResizable({200, 590}, {250});
    // Where the window was, at its size (or maximised), when it was last closed.
    const QByteArray geometry = QSettings(SettingIniPath(), QSettings::IniFormat).value(QStringLiteral("WINDOW/geometry")).toByteArray();
    if (!geometry.isEmpty()) restoreGeometry(geometry);
    RenameOutputs();
}

CZuZideroDlg::~CZuZideroDlg() { Shutdown(); }

void CZuZideroDlg::Relayout()
{
    m_places.Apply(this);
    // The boxes at their natural widths within what the window's width gives their lines.
    const int wider = width() - PictureSize().width();
    if (m_tracks) m_tracks->Fit(m_tracks->AudioTracks()->x(), 785 + wider);
    if (m_profiles) m_profiles->Fit(664 + wider);
    // The busy line lies along the title list's top.
    m_busy->setGeometry(m_list->x(), m_list->y(), m_list->width(), m_busy->sizeHint().height());
    m_titleLabel->SetBackground(Background());
}

// ---- Disc and title list ----

void CZuZideroDlg::UseWorkspaceSteps(Workspace::Steps steps)
{
    // Its events are posted to this window's thread, whichever thread has them.
    m_list->UseTasks(nullptr);
    m_work = std::make_unique<Workspace>(
        [this] { QMetaObject::invokeMethod(this, &CZuZideroDlg::OnWorkspaceEvents, Qt::QueuedConnection); }, std::move(steps));
    m_list->UseTasks(&m_work->Tasks());
    m_loadJob = 0;
    m_busy->Stop();
}

void CZuZideroDlg::LoadDisc(const QString& path)
{
    // Nothing of the disc shown now changes until the new one has loaded.
    m_loadJob = m_work->Load(path.toStdString());
    m_reopening = false;
    const QString name = QFileInfo(path).fileName().isEmpty() ? path : QFileInfo(path).fileName();
    m_busy->Start(QStringLiteral("Loading %1…").arg(name));
}

void CZuZideroDlg::OpenAtStart(const QString& path)
{
    QTimer::singleShot(0, this, [this, path] { LoadDisc(path); });
}

void CZuZideroDlg::OnWorkspaceEvents()
{
    for (WorkspaceEvent& event : m_work->TakeEvents()) {
        if (event.job == m_ejectJob && m_ejectJob) {
            EjectEnded(event);
            continue;
        }
        if (event.job != m_loadJob) continue;
        m_loadJob = 0;
        m_busy->Stop();
        const QString path = QString::fromStdString(event.path);
        const bool reopened = std::exchange(m_reopening, false);
        if (event.kind == WorkspaceEventKind::kTitlesReady && reopened) {
            // The disc a tray that stayed shut kept: the list shows it still.
            m_sources->DriveMenu()->ShowLoaded(path);
            m_preview->Prepare(m_work->Disc());
            emit loadEnded(true);
            continue;
        }
        if (reopened) OnClearAll();
        if (event.kind == WorkspaceEventKind::kTitlesReady) {
            ShowDisc(path);
            emit loadEnded(true);
            continue;
        }
        if (event.kind == WorkspaceEventKind::kLoadFailed)
            ShowMessage(this, event.noTitles ? QStringLiteral("Load DVD error\nThe disc has no title of 3 seconds or more.")
                                             : QString::fromStdString(SourceDisc::OpenErrorText(event.path, event.reason, "\n")));
        emit loadEnded(false);
    }
}

void CZuZideroDlg::ShowDisc(const QString& path)
{
    const std::shared_ptr<SourceDisc> disc = m_work->Disc();
    // The editor lets go of the old tasks, and the preview of the old disc.
    if (m_editor) m_editor->reject();
    m_preview->Teardown();
    m_sources->DriveMenu()->ShowLoaded(path);
    m_tracks->Clear();
    // The root shows the disc's name (a file's with its extension); file names take it without.
    m_discName = QString::fromStdString(DiscName(path.toStdString(), disc->VolumeName()));
    const bool file = disc->VolumeName().empty() && QFileInfo(path).isFile();
    TickOnLoad ticks;
    if (m_prefs.tickOnLoad == QStringLiteral("The main title only")) ticks.rule = TickOnLoad::Rule::kMainTitleOnly;
    if (m_prefs.tickOnLoad == QStringLiteral("Titles longer than")) ticks = {TickOnLoad::Rule::kLongerThan, double(m_prefs.tickMinutes)};
    TitleTasks& tasks = m_work->Tasks();
    tasks.Fill(*disc, ticks);
    RenameOutputs();
    m_list->ShowTasks(file ? QFileInfo(path).fileName() : m_discName);
    // What on the disc could not be read (damaged playlists) is told on the disc's line.
    QStringList unreadable;
    for (const std::string& line : disc->Unreadable()) unreadable << QString::fromStdString(line);
    if (!unreadable.isEmpty()) m_list->Root()->setToolTip(0, unreadable.join(QLatin1Char('\n')));
    // The main title is selected, else the first; the editor starts from its settings.
    QTreeWidgetItem* first = m_list->Root()->childCount() > 0 ? m_list->Root()->child(std::max(tasks.MainTitle(), 0)) : nullptr;
    if (const ConversionTask* task = m_list->TaskOf(first)) m_lastClip = task->clip;
    m_gettingStarted->hide();
    m_list->show();
    m_list->setCurrentItem(first);
    m_tracks->ShowFor(first);
    m_preview->Prepare(disc);
}

void CZuZideroDlg::RenameOutputs()
{
    m_work->Tasks().SetNaming(m_prefs.namePattern.toStdString(), m_discName.toStdString(), m_profiles->CurrentProfile().FormatExt);
    m_list->Refresh();
}

void CZuZideroDlg::OnEject()
{
    const QString path = QString::fromStdString(m_work->LoadedPath());
    const COpticalDrives::Drive* drive = m_sources->Drives()->DriveOf(path);
    if (!drive || m_ejectJob) return;
    const QString device = drive->device;
    // The disc is let go while the tray opens (a drive whose disc is held open keeps its tray
    // shut); the list stays until it has opened.
    m_preview->Teardown();
    m_work->Unload();
    // The drive may take seconds (the desktop unmounts the disc first): the workspace waits for it.
    COpticalDrives* drives = m_sources->Drives();
    m_ejectJob = m_work->Eject([drives, device](std::string* why) {
        QString reason;
        const bool ejected = drives->Eject(device, &reason);
        *why = reason.toStdString();
        return ejected;
    });
    m_ejecting = path;
    m_sources->DriveMenu()->ShowLoaded(QString());
    m_busy->Start(QStringLiteral("Ejecting %1…").arg(QFileInfo(device).fileName()));
}

void CZuZideroDlg::EjectEnded(const WorkspaceEvent& event)
{
    m_ejectJob = 0;
    m_busy->Stop();
    const QString path = std::exchange(m_ejecting, QString());
    m_sources->Drives()->Refresh();
    if (event.ejected) {
        OnClearAll();
        emit ejectEnded(true);
        return;
    }
    // Still in the drive: the disc is read again, and its list stays as it was.
    m_loadJob = m_work->Load(path.toStdString());
    m_reopening = true;
    m_busy->Start(QStringLiteral("Loading %1…").arg(QFileInfo(path).fileName()));
    const COpticalDrives::Drive* drive = m_sources->Drives()->DriveOf(path);
    ShowMessage(this, QStringLiteral("The disc could not be ejected\n%1: %2")
                          .arg(drive ? drive->device : path, QString::fromStdString(event.reason)));
    emit ejectEnded(false);
}

void CZuZideroDlg::OnClearAll()
{
    if (m_editor) m_editor->reject();
    m_list->ClearAll();
    m_tracks->Clear();
}

void CZuZideroDlg::OnTickMainOnly()
{
    if (!m_work->Tasks().TickMainOnly()) {
        ShowMessage(this, QStringLiteral("The disc does not say which title is the main one."));
        return;
    }
    m_list->Refresh();
    if (QTreeWidgetItem* root = m_list->Root()) m_list->setCurrentItem(root->child(m_work->Tasks().MainTitle()));
}

void CZuZideroDlg::OpenEditor(int page, bool modal)
{
    QString error;
    ConversionTask* task = m_list->SelectedTask(&error);
    if (!task) {
        ShowMessage(this, error);
        return;
    }
    m_preview->OnStop();
    // The task takes the last applied picture settings; what the editor leaves in it (OK or
    // Cancel) becomes the last settings, which every task of the next run takes. The trim stays
    // with the task.
    task->clip.picture = m_lastClip.picture;
    auto* editor = new CCropDlg(m_work->Disc(), *task, page, m_profiles->CurrentProfile().writer, this);
    editor->Preview().SetDeinterlace(m_prefs.DeinterlaceMode());
    editor->setAttribute(Qt::WA_DeleteOnClose);
    m_editor = editor;
    connect(editor, &QDialog::finished, this, [this, task] {
        m_lastClip.picture = task->clip.picture;
        m_list->Refresh();
    });
    if (modal)
        editor->exec();
    else
        editor->open();
}

void CZuZideroDlg::OnProperties()
{
    QString error;
    const ConversionTask* task = m_list->SelectedTask(&error);
    const std::shared_ptr<SourceDisc>& disc = m_work->Disc();
    if (!task || !disc) return;
    // The player's stream list, of the selected title (another title stops the one playing).
    PreviewPlayer& player = m_preview->Player();
    if (task->titleIndex != m_preview->PlayingTitle()) {
        m_preview->OnStop();
        player.SetDeinterlace(m_prefs.DeinterlaceMode());
        if (!player.SetTitle(task->titleIndex, -1)) return;
    }
    std::vector<EngineStream> streams;
    if (!player.GetStreams(streams)) return;
    const QStringList kept = task->titleIndex >= 0 && task->titleIndex < disc->Info().titleCount
                                 ? CProperties::KeptTracks(disc->Info().titles[task->titleIndex], disc->ForcedSubpictures(task->titleIndex))
                                 : QStringList();
    CProperties properties(streams, kept, this);
    properties.exec();
}

void CZuZideroDlg::OnPreferences()
{
    CPreferencesDlg preferences(m_prefs, m_productTitle, this);
    if (preferences.exec() != QDialog::Accepted) return;
    m_output->ShowFolder();
    // A new naming pattern renames the list's files at once.
    RenameOutputs();
}

// ---- Conversion ----

void CZuZideroDlg::OnStart(bool modal)
{
    const QString folder = m_output->UsableFolder();
    TitleTasks& tasks = m_work->Tasks();
    if (folder.isEmpty() || tasks.TitleCount() == 0) return;
    m_preview->OnStop();
    const bool merge = m_output->Merge();
    const ProfileRecord& profile = m_profiles->CurrentProfile();
    // The picture settings last applied in the editor hold for every ticked task of the run.
    tasks.ApplyPictureToTicked(m_lastClip.picture);
    const RunPlan plan = PlanRun(tasks, profile, m_profiles->Catalogue(), merge);
    if (!plan.refusal.empty()) {
        ShowMessage(this, QString::fromStdString(plan.refusal));
        return;
    }
    if (!plan.notice.empty()) ShowMessage(this, QString::fromStdString(plan.notice));
    std::optional<COutputChoice::TakenNames> taken = m_output->AskAboutTakenNames(folder, plan.outputs);
    if (!taken) return;

    CConverDlg::Inputs inputs;
    inputs.disc = m_work->Disc();
    inputs.tasks = plan.tasks;
    inputs.profile = profile.writer;
    inputs.choices = profile;
    inputs.merge = merge;
    inputs.outFolder = folder;
    inputs.action = m_prefs.action;
    inputs.picture = m_lastClip.picture;
    // Each task carries its own title's track choice.
    inputs.audioStreamId = 0;
    inputs.subtitleId = 0;
    inputs.subtitles = true;
    inputs.deinterlace = m_prefs.DeinterlaceMode();
    inputs.autoCrop = m_prefs.autoCrop;
    inputs.nameRules = std::move(taken->rules);
    inputs.skipped = std::move(taken->skipped);
    inputs.severalSoundStreams = plan.severalSoundStreams;
    inputs.soundFallback = plan.soundFallback;
    auto* progress = new CConverDlg(inputs, this);
    progress->setAttribute(Qt::WA_DeleteOnClose);
    m_progress = progress;
    if (modal)
        progress->exec();
    else
        progress->open();
}

// ---- Shutdown ----

void CZuZideroDlg::closeEvent(QCloseEvent* event)
{
    Shutdown();
    CSkinnedDialog::closeEvent(event);
}

void CZuZideroDlg::keyPressEvent(QKeyEvent* event)
{
    // Esc does not close the main window (a dialog's habit): the program quits from its menu or
    // its close button only. It cancels a load under way.
    if (event->key() == Qt::Key_Escape) {
        if (m_loadJob) m_work->Cancel(m_loadJob);
        event->accept();
        return;
    }
    CSkinnedDialog::keyPressEvent(event);
}

void CZuZideroDlg::reject()
{
    Shutdown();
    CSkinnedDialog::reject();
}

void CZuZideroDlg::Shutdown()
{
    if (m_shutDown) return;
    m_shutDown = true;
    if (m_work) m_work->CancelAll();
    // A full-screen preview is the window's again, to go with it.
    if (m_preview) m_preview->Teardown();
    if (m_profiles) m_profiles->SaveChoice();
    QSettings(SettingIniPath(), QSettings::IniFormat).setValue(QStringLiteral("WINDOW/geometry"), saveGeometry());
    if (m_list) {
        m_list->ClearAll();
        m_list->UseTasks(nullptr);
    }
}
