#include "app/zuzidero_dlg.h"

#include <algorithm>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QAbstractItemView>
#include <QStandardItemModel>
#include <QSignalBlocker>
#include <QTemporaryFile>
#include <QTimer>
#include <QUrl>
#include <ctime>
#include <map>
#include <optional>
#include <set>

#include "app/about_dlg.h"
#include "app/beauty_combobox.h"
#include "app/busy_bar.h"
#include "app/drive_menu.h"
#include "app/msg_dlg.h"
#include "app/column_tree_ctrl.h"
#include "app/conver_dlg.h"
#include "app/crop_dlg.h"
#include "profiles/format_table.h"
#include "app/my_button.h"
#include "app/my_check_box.h"
#include "app/my_slider_ctrl.h"
#include "app/my_static.h"
#include "app/preferences_dlg.h"
#include "app/properties_dlg.h"
#include "app/settings_dlg.h"
#include "app/skin.h"
#include "app/user_profiles.h"
#include "app/video_renderer.h"
#include "convert/conversion_engine.h"
#include "pipeline/event_codes.h"
#include "dvd/iso639.h"

namespace {

// The profile of a first start: H.264 and AAC in MP4, the command-line tool's default.
constexpr int kFirstStartProfile = 5;
// The selector's category of the profiles saved with "Save as...", and their commands: the base
// plus the profile's place among the user's profiles.
constexpr int kMyProfilesCategory = 18;
constexpr int kUserCommandBase = 50000;

bool SameWriterSettings(const WriterSettings& a, const WriterSettings& b)
{
    return a.hasVideo == b.hasVideo && a.Width == b.Width && a.Height == b.Height && a.VideoBitRate == b.VideoBitRate &&
           a.FrameRate == b.FrameRate && std::string_view(a.VideoCodecName) == std::string_view(b.VideoCodecName) &&
           a.hasAudio == b.hasAudio && a.SampleRate == b.SampleRate && a.Channel == b.Channel &&
           a.AudioBitRate == b.AudioBitRate && std::string_view(a.AudioCodecName) == std::string_view(b.AudioCodecName) &&
           a.subtitleTracks == b.subtitleTracks;
}


constexpr const char* kSupportPage = "https://zuzidero.org/support";

QString Utf8(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<int>(text.size())); }

QString LanguageName(std::int32_t code) { return Utf8(ShortLanguageName(FindLanguageByAlpha2(LanguageCodeText(code)))); }

// Why a run cannot write into this folder, or empty. A folder that does not exist yet (the videos
// folder on a first start) is made; one that is there but takes no files is refused now, not
// after the run has begun.
QString OutputFolderRefusal(const QString& folder)
{
    if (folder.trimmed().isEmpty() || (!QFileInfo(folder).isDir() && !QDir().mkpath(folder)) || !QFileInfo(folder).isDir())
        return QStringLiteral("Invalid output directory\n") + folder + QStringLiteral(" cannot be made.");
    QTemporaryFile probe(folder + QStringLiteral("/.zuzidero-probe-XXXXXX"));
    if (!probe.open())
        return QStringLiteral("Invalid output directory\n") + folder + QStringLiteral(" cannot be written to (") + probe.errorString() +
               QStringLiteral("). Choose another folder with Browse.");
    return {};
}

} // namespace

QString CZuZideroDlg::AudioLine(const TitleInfo& title, int stream)
{
    return QString::asprintf("%s(%s %dch)", LanguageName(title.audioLanguage[stream]).toUtf8().constData(),
                             AudioFormatLabel(title.audioFormat[stream]), ShownChannelCount(title.audioChannelsMinusOne[stream]));
}

QString CZuZideroDlg::SubtitleLine(const TitleInfo& title, int stream) { return LanguageName(title.subpictureLanguage[stream]); }

namespace {
const DiscInfo kNoDisc{};
} // namespace

CZuZideroDlg::CZuZideroDlg(QWidget* parent) : CSkinnedDialog(parent), m_info(&kNoDisc)
{
    setWindowIcon(QIcon(SkinFile("zuzidero.png")));
    // The product title and home page come from "Set.xml".
    SetFile set;
    set.Load(DataFile("Set.xml").toStdString());
    m_productTitle = QString::fromStdString(set.title);
    m_homePage = QString::fromStdString(set.url);
    setWindowTitle(m_productTitle.isEmpty() ? QStringLiteral("ZuZidero") : m_productTitle);
    m_prefs = Preferences::Load(m_productTitle);

    // The player's messages are the program's own boxes; its events come back to this window
    // as queued calls.
    m_player = std::make_unique<PreviewPlayer>([this](const std::string& text) { ShowMessage(this, QString::fromStdString(text)); });
    BuildSkin();
    UseWorkspaceSteps(Workspace::DiscSteps());
    BuildMenus();
    // Discs put in while the window is open show up in the Add File menu.
    m_driveMenu = new CDriveMenu(m_addMenu, m_ejectAction, this);
    connect(m_driveMenu, &CDriveMenu::loadRequested, this, &CZuZideroDlg::LoadDisc);
    UseDrives(new COpticalDrives(this));
    Drives()->Watch();
    m_output->setText(m_prefs.outFolder);
    // The window grows from its picture's size: the preview and the list share what it gains.
    RecordPlaces();
    SetResizable({200, 590}, {250});

    // The profile catalogue, with every profile in the hidden list.
    m_catalogueLoaded = m_catalogue.Load(DataFile("Format.xml").toStdString());
    if (m_catalogueLoaded) m_catalogue.LoadAdded(DataFile("Format-added.xml").toStdString());
    if (m_catalogueLoaded) {
        m_catalogue.Lock();
        for (auto node = m_catalogue.First(); node != m_catalogue.End(); ++node)
            m_profileList->addItem(QString::fromStdString(node->ProfileName), node->index);
        m_catalogue.Unlock();
        m_catalogue.FindByIndex(1, &m_currentProfile);
        m_profileList->setCurrentIndex(m_profileList->findData(1));
    } else {
        ShowMessage(this, QStringLiteral("Load Format.xml error") + QStringLiteral("\n\n") +
                              QString::fromStdString(m_catalogue.LoadProblem()));
        m_settings->setEnabled(false);
    }

    // The format selector and its last choice.
    CStartPane* pane = m_selector->Pane();
    for (const FormatCategory& c : FormatCategories()) pane->AddCategory(c.id, Utf8(c.name), Utf8(c.titlePicture));
    for (const FormatEntry& f : FormatEntries())
        pane->AddFormat(f.category, f.command, Utf8(f.displayName) + QStringLiteral("/n") + Utf8(f.description), Utf8(f.picture));
    pane->AddCategory(kMyProfilesCategory, QStringLiteral("My Profiles"), QStringLiteral("My Profiles Title.bmp"));
    RefreshMyProfiles();
    pane->SetBottomPictures("Bottom.bmp", "Bottom_L.bmp", "Bottom_R.bmp", "Bottom_B.bmp");
    m_selector->SetButtonPicture("button.bmp");
    auto [category, command] = LoadSelectorChoice();
    if (!m_selector->Select(category, command)) {
        // A first start (or a choice that is no more): H.264/AAC MP4, as the command-line tool.
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

CZuZideroDlg::~CZuZideroDlg() { Shutdown(); }

void CZuZideroDlg::BuildSkin()
{
    SetBackground("maindlg.png", QSize(820, 540));

    m_titleLabel = new CMyStatic(m_productTitle, this);
    m_titleLabel->setGeometry(44, 6, 360, 26);
    QFont bold = m_titleLabel->font();
    bold.setBold(true);
    bold.setPointSizeF(11);
    m_titleLabel->setFont(bold);
    m_titleLabel->SetBackground(Background());
    BuildButtons();
    BuildPlayerControls();
    BuildListAndPreview();
    BuildChoices();
}

void CZuZideroDlg::BuildButtons()
{
    const QPixmap& bg = Background();
    struct ButtonPlace {
        const char* text;
        const char* picture;
        int x, y;
        void (CZuZideroDlg::*slot)();
    };
    auto button = [&](const ButtonPlace& b) {
        auto* w = new CMyButton(QString::fromLatin1(b.text), this);
        w->SetPictures(QString::fromLatin1(b.picture), b.x, b.y, bg);
        w->setToolTip(QString::fromLatin1(b.text));
        if (b.slot) connect(w, &QAbstractButton::clicked, this, [this, slot = b.slot] { (this->*slot)(); });
        return w;
    };
    auto* addFile = button({"Add File", "addfile.png", 19, 40, nullptr});
    button({"Effect", "effect.png", 134, 40, &CZuZideroDlg::OnEffect});
    button({"Crop", "crop.png", 248, 40, &CZuZideroDlg::OnCrop});
    button({"Trim", "trim.png", 363, 40, &CZuZideroDlg::OnTrim});
    button({"Preferences", "Preferences.png", 477, 40, &CZuZideroDlg::OnPreferences});
    auto* file = button({"File", "file.png", 414, 0, nullptr});
    auto* edit = button({"Edit", "edit.png", 468, 0, nullptr});
    auto* clip = button({"Clip", "clip.png", 524, 0, nullptr});
    auto* option = button({"Option", "option.png", 585, 0, nullptr});
    auto* help = button({"Help", "help.png", 658, 0, nullptr});
    auto* minimise = button({"Minimise", "min.png", 755, 9, nullptr});
    button({"Close", "close.png", 787, 9, &CZuZideroDlg::reject});
    connect(minimise, &QAbstractButton::clicked, this, &QWidget::showMinimized);
    button({"Previous", "back.png", 39, 356, &CZuZideroDlg::OnPrevious});
    m_play = button({"Play", "play.png", 80, 356, &CZuZideroDlg::OnPlay});
    m_pauseButton = button({"Pause", "pause.png", 80, 356, &CZuZideroDlg::OnPause});
    m_pauseButton->hide();
    button({"Stop", "stop.png", 121, 356, &CZuZideroDlg::OnStop});
    button({"Next", "next.png", 162, 356, &CZuZideroDlg::OnNext});
    button({"Snapshot", "snap.png", 224, 356, &CZuZideroDlg::OnSnapshot});
    button({"Open snapshot folder", "open.png", 265, 356, &CZuZideroDlg::OnOpenSnapshotFolder});
    for (const ButtonPlace& hidden : {ButtonPlace{"Clear All", "clear all.png", 343, 397, &CZuZideroDlg::OnClearAll},
                                      ButtonPlace{"Rename", "rename.png", 432, 397, nullptr},
                                      ButtonPlace{"Move Up", "move up.png", 518, 397, nullptr},
                                      ButtonPlace{"Move Down", "move down.png", 607, 397, nullptr},
                                      ButtonPlace{"Properties", "properties.png", 693, 397, &CZuZideroDlg::OnProperties}})
        button(hidden)->hide();
    auto* start = button({"Start", "star.png", 674, 416, nullptr});
    connect(start, &QAbstractButton::clicked, this, [this] { OnStart(); });
    m_settings = button({"Settings", "settings.png", 428, 456, &CZuZideroDlg::OnSettings});
    button({"Browse..", "browse.png", 428, 491, &CZuZideroDlg::OnBrowse});
    button({"Open Folder", "openfolder.png", 532, 491, &CZuZideroDlg::OnOpenFolder});

    // Menus drop down under their buttons.
    auto dropDown = [this](CMyButton* under, QMenu** menu) {
        *menu = new QMenu(this);
        under->setProperty("menu", QVariant::fromValue(*menu));
        connect(under, &QAbstractButton::clicked, this, [under, menu] { (*menu)->popup(under->mapToGlobal(QPoint(0, under->height()))); });
    };
    dropDown(addFile, &m_addMenu);
    dropDown(file, &m_fileMenu);
    dropDown(edit, &m_editMenu);
    dropDown(clip, &m_clipMenu);
    dropDown(option, &m_optionMenu);
    dropDown(help, &m_helpMenu);
}

void CZuZideroDlg::BuildPlayerControls()
{
    m_slider = new CMySliderCtrl(this, 1);
    m_slider->SetPictures("sliderbk_main1.png", "sliderbk_main2.png", "thumb.png");
    m_slider->move(32, 330);
    m_slider->SetRange(0, 1000);
    m_slider->SetPos(0);
    connect(m_slider, &CMySliderCtrl::released, this, &CZuZideroDlg::OnSliderReleased);
    m_positionTimer = new QTimer(this);
    m_positionTimer->setInterval(100);
    connect(m_positionTimer, &QTimer::timeout, this, &CZuZideroDlg::FollowPosition);
}

void CZuZideroDlg::BuildListAndPreview()
{
    m_list = new CColumnTreeCtrl(this);
    m_list->setGeometry(335, 110, 454, 238);
    m_list->hide();
    connect(m_list, &CColumnTreeCtrl::itemClickedAt, this, &CZuZideroDlg::OnListClicked);
    connect(m_list, &CColumnTreeCtrl::playRequested, this, [this](QTreeWidgetItem* item) {
        m_list->setCurrentItem(item);
        OnStop();
        OnPlay();
    });
    // Whichever way a title is selected (click, keyboard, previous and next), its choice is shown.
    connect(m_list, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
        ShowTrackChoice(current);
        m_lastClicked = current;
    });
    m_gettingStarted = new QLabel(this);
    m_gettingStarted->setGeometry(335, 110, 454, 238);
    m_busy = new CBusyBar(this);
    m_busy->setGeometry(335, 110, 454, m_busy->sizeHint().height());
    connect(m_busy, &CBusyBar::cancelRequested, this, &CZuZideroDlg::OnCancelLoad);
    m_gettingStarted->setPixmap(LoadSkin("getting started.bmp"));
    m_gettingStarted->setAlignment(Qt::AlignCenter);
    m_gettingStarted->setToolTip(QStringLiteral("Add File loads a DVD or Blu-ray disc from a drive or a folder, an ISO image, "
                                                "or an MPEG or TS video file."));
    m_videoPlaceholder = new QLabel(this);
    m_videoPlaceholder->setGeometry(32, 110, 296, 209);
    m_videoPlaceholder->setPixmap(LoadSkin("video.bmp"));
    // The preview draws over the placeholder while a title plays.
    m_video = new CVideoWindow(this);
    m_video->setGeometry(m_videoPlaceholder->geometry());
    m_video->setToolTip(QStringLiteral("Double-click: full screen (Esc returns)"));
    m_video->hide();
    connect(m_video, &CVideoWindow::doubleClicked, this, &CZuZideroDlg::ToggleFullScreenPreview);
    connect(m_video, &CVideoWindow::escapePressed, this, [this] {
        if (PreviewFullScreen()) ToggleFullScreenPreview();
    });
}

void CZuZideroDlg::BuildChoices()
{
    m_audio = new QComboBox(this);
    m_audio->setGeometry(430, 368, 162, 24); // wide enough for "English(AC3 6ch)"
    m_subtitle = new QComboBox(this);
    m_subtitle->setGeometry(660, 368, 125, 24);
    connect(m_audio, &QComboBox::activated, this, &CZuZideroDlg::OnAudioChosen);
    m_audio->view()->viewport()->installEventFilter(this);
    connect(m_subtitle, &QComboBox::activated, this, &CZuZideroDlg::OnSubtitleChosen);

    m_selector = new BeautyCombobox(this);
    m_selector->setGeometry(428, 418, 236, 30);
    connect(m_selector, &BeautyCombobox::formatCommand, this, &CZuZideroDlg::OnFormatCommand);
    m_profileList = new QComboBox(this);
    m_profileList->hide();
    connect(m_profileList, &QComboBox::activated, this, &CZuZideroDlg::OnProfileListChosen);

    m_output = new QLineEdit(this);
    m_output->setGeometry(532, 459, 254, 26);
    m_merge = new CMyCheckBox(QStringLiteral("Merge into one file"), this);
    m_merge->setGeometry(640, 496, 150, 20);
}

void CZuZideroDlg::BuildMenus()
{
    auto add = [this](QMenu* menu, const QString& text, void (CZuZideroDlg::*slot)(), const QKeySequence& keys = {}) {
        QAction* action = menu->addAction(text);
        action->setShortcut(keys);
        connect(action, &QAction::triggered, this, [this, slot] { (this->*slot)(); });
        return action;
    };
    // The loaders, in both menus; the window takes their keys once.
    for (QMenu* menu : {m_fileMenu, m_addMenu}) {
        const bool keys = menu == m_fileMenu;
        add(menu, QStringLiteral("Load &DVD"), &CZuZideroDlg::OnLoadDvd);
        add(menu, QStringLiteral("Load DVD or Blu-ray &Folder..."), &CZuZideroDlg::OnLoadFolder,
            keys ? QKeySequence(QKeySequence::Open) : QKeySequence());
        add(menu, QStringLiteral("Load &ISO Image..."), &CZuZideroDlg::OnLoadIso);
        add(menu, QStringLiteral("Load &Video File..."), &CZuZideroDlg::OnLoadVideoFile);
    }
    add(m_fileMenu, QStringLiteral("&Properties"), &CZuZideroDlg::OnProperties);
    m_ejectAction = add(m_fileMenu, QStringLiteral("E&ject"), &CZuZideroDlg::OnEject);
    m_fileMenu->addSeparator();
    add(m_fileMenu, QStringLiteral("E&xit"), &CZuZideroDlg::reject, QKeySequence(Qt::CTRL | Qt::Key_Q));
    add(m_editMenu, QStringLiteral("&Clear All"), &CZuZideroDlg::OnClearAll);
    add(m_editMenu, QStringLiteral("C&heck All"), &CZuZideroDlg::OnCheckAll, QKeySequence(Qt::CTRL | Qt::Key_A));
    add(m_editMenu, QStringLiteral("&UnCheck All"), &CZuZideroDlg::OnUnCheckAll, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A));
    add(m_editMenu, QStringLiteral("Tick the &main title only"), &CZuZideroDlg::OnTickMainOnly);
    add(m_editMenu, QStringLiteral("&Properties"), &CZuZideroDlg::OnProperties);
    add(m_clipMenu, QStringLiteral("&Trim"), &CZuZideroDlg::OnTrim, QKeySequence(Qt::CTRL | Qt::Key_T));
    add(m_clipMenu, QStringLiteral("&Crop"), &CZuZideroDlg::OnCrop, QKeySequence(Qt::CTRL | Qt::Key_R));
    add(m_clipMenu, QStringLiteral("&Effect"), &CZuZideroDlg::OnEffect, QKeySequence(Qt::CTRL | Qt::Key_E));
    add(m_optionMenu, QStringLiteral("&Preferences"), &CZuZideroDlg::OnPreferences, QKeySequence(Qt::CTRL | Qt::Key_Comma));
    add(m_helpMenu, QStringLiteral("&Help Content"), &CZuZideroDlg::OnHelpContent, QKeySequence(QKeySequence::HelpContents));
    add(m_helpMenu, QStringLiteral("&Support"), &CZuZideroDlg::OnSupport);
    add(m_helpMenu, QStringLiteral("Home &Page"), &CZuZideroDlg::OnHomePage);
    add(m_helpMenu, QStringLiteral("&About"), &CZuZideroDlg::OnAbout);
    // The menus' shortcuts work while their menus are closed.
    for (QMenu* menu : {m_fileMenu, m_editMenu, m_clipMenu, m_optionMenu, m_helpMenu})
        for (QAction* action : menu->actions())
            if (!action->shortcut().isEmpty()) addAction(action);
    // Alt and a menu's letter opens it under its button.
    const std::pair<QMenu*, Qt::Key> openers[] = {{m_addMenu, Qt::Key_A}, {m_fileMenu, Qt::Key_F}, {m_editMenu, Qt::Key_E},
                                                  {m_clipMenu, Qt::Key_C}, {m_optionMenu, Qt::Key_O}, {m_helpMenu, Qt::Key_H}};
    for (const auto& [menu, key] : openers) {
        auto* open = new QAction(this);
        open->setShortcut(QKeySequence(Qt::ALT | key));
        connect(open, &QAction::triggered, this, [this, menu = menu] {
            for (CMyButton* button : findChildren<CMyButton*>())
                if (button->property("menu").value<QMenu*>() == menu) {
                    menu->popup(button->mapToGlobal(QPoint(0, button->height())));
                    return;
                }
        });
        addAction(open);
    }
}

void CZuZideroDlg::RecordPlaces()
{
    const QList<QWidget*> growing{m_list, m_video, m_videoPlaceholder, m_gettingStarted, m_output, m_audio, m_slider};
    m_places.clear();
    for (QWidget* w : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (w->isWindow()) continue; // menus and dialogs
        Place::Kind kind = Place::kMoves;
        if (growing.contains(w))
            kind = Place::kGrows;
        else if (w->y() < 36 && w->x() >= 400) // the menu and window buttons keep to the right
            kind = Place::kTitleBar;
        else if (w->y() < 100) // the title and the tool buttons keep their places
            kind = Place::kStays;
        m_places.push_back({w, w->geometry(), kind});
    }
    m_videoPlaceholder->setStyleSheet(QStringLiteral("background: #12151a;"));
    m_videoPlaceholder->setAlignment(Qt::AlignCenter);
}

void CZuZideroDlg::Relayout()
{
    const int wider = width() - PictureSize().width();
    for (const Place& place : m_places) {
        QWidget* w = place.widget;
        if (!w || w->parentWidget() != this) continue; // the preview while it is full screen
        switch (place.kind) {
        case Place::kGrows: w->setGeometry(Stretched(place.rect)); break;
        case Place::kTitleBar: w->move(place.rect.topLeft() + QPoint(wider, 0)); break;
        case Place::kMoves: w->move(Stretched(place.rect.topLeft())); break;
        case Place::kStays: break;
        }
        if (auto* button = qobject_cast<CMyButton*>(w)) button->TakeBackground(Background());
    }
    // The busy line lies along the title list's top.
    m_busy->setGeometry(m_list->x(), m_list->y(), m_list->width(), m_busy->sizeHint().height());
    m_titleLabel->SetBackground(Background());
}

bool CZuZideroDlg::PreviewFullScreen() const { return m_video && m_video->parentWidget() != this; }

void CZuZideroDlg::ToggleFullScreenPreview()
{
    if (!PreviewFullScreen()) {
        // The picture leaves the window for a screen of its own.
        m_video->setParent(nullptr, Qt::Window | Qt::FramelessWindowHint);
        m_video->setFocusPolicy(Qt::StrongFocus);
        m_video->showFullScreen();
        m_video->setFocus();
        m_video->activateWindow();
        return;
    }
    const bool shown = m_video->isVisible();
    m_video->setParent(this, Qt::Widget);
    m_video->setGeometry(m_videoPlaceholder->geometry());
    m_video->setVisible(shown);
    activateWindow();
}

// ---- Disc and title list ----

void CZuZideroDlg::UseWorkspaceSteps(Workspace::Steps steps)
{
    // Its events are posted to this window's thread, whichever thread has them.
    m_work = std::make_unique<Workspace>(
        [this] { QMetaObject::invokeMethod(this, &CZuZideroDlg::OnWorkspaceEvents, Qt::QueuedConnection); }, std::move(steps));
    m_loadJob = 0;
    if (m_busy) m_busy->Stop();
}

void CZuZideroDlg::LoadDisc(const QString& path)
{
    // Nothing of the disc shown now changes until the new one has loaded.
    m_loadJob = m_work->Load(path.toStdString());
    m_reopening = false;
    const QString name = QFileInfo(path).fileName().isEmpty() ? path : QFileInfo(path).fileName();
    m_busy->Start(QStringLiteral("Loading %1…").arg(name));
}

void CZuZideroDlg::OnCancelLoad()
{
    if (m_loadJob) m_work->Cancel(m_loadJob);
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
            m_disc = std::move(event.disc);
            m_info = &m_disc->Info();
            m_loadedPath = path;
            m_driveMenu->ShowLoaded(m_disc ? m_loadedPath : QString());
            PreparePlayer();
            emit loadEnded(true);
            continue;
        }
        if (reopened) {
            OnClearAll();
            m_loadedPath.clear();
            m_driveMenu->ShowLoaded(m_disc ? m_loadedPath : QString());
        }
        if (event.kind == WorkspaceEventKind::kTitlesReady) {
            ShowDisc(std::move(event.disc), path);
            emit loadEnded(true);
            continue;
        }
        if (event.kind == WorkspaceEventKind::kLoadFailed)
            ShowMessage(this, event.noTitles ? QStringLiteral("Load DVD error\nThe disc has no title of 3 seconds or more.")
                                             : QString::fromStdString(SourceDisc::OpenErrorText(event.path, event.reason, "\n")));
        emit loadEnded(false);
    }
}

void CZuZideroDlg::ShowDisc(std::shared_ptr<SourceDisc> disc, const QString& path)
{
    const DiscInfo* info = &disc->Info();
    // The preview lets go of the old disc before it closes.
    OnStop();
    m_player->Teardown();
    m_disc = std::move(disc);
    m_info = info;
    m_loadedPath = path;
    m_driveMenu->ShowLoaded(m_disc ? m_loadedPath : QString());

    m_list->ClearAll();
    m_lastClicked = nullptr;
    // The root shows the disc's name (a file's with its extension); file names take it without.
    m_discName = QString::fromStdString(DiscName(path.toStdString(), m_disc->VolumeName()));
    const bool file = m_disc->VolumeName().empty() && QFileInfo(path).isFile();
    m_list->SetNaming(m_prefs.namePattern, m_discName);
    QTreeWidgetItem* root = m_list->InsertRoot(file ? QFileInfo(path).fileName() : m_discName);
    // What on the disc could not be read (damaged playlists) is told on the disc's line.
    QStringList unreadable;
    for (const std::string& line : m_disc->Unreadable()) unreadable << QString::fromStdString(line);
    if (!unreadable.isEmpty()) root->setToolTip(0, unreadable.join(QLatin1Char('\n')));
    const QString extension = QString::fromStdString(m_currentProfile.FormatExt);
    QTreeWidgetItem* first = nullptr;
    QTreeWidgetItem* mainItem = nullptr;
    const int main = m_disc->MainTitle();
    const bool mainOnly = m_prefs.tickOnLoad == QStringLiteral("The main title only") && main >= 0;
    const bool longOnly = m_prefs.tickOnLoad == QStringLiteral("Titles longer than");
    for (int i = 0; i < m_info->titleCount; ++i) {
        const TitleInfo& title = m_info->titles[i];
        if (!IsListedTitle(title)) continue;
        ConversionTask task = MakeTitleTask(i, title, m_disc->VideoOf(i));
        // Each title starts with its first listed track and subtitle.
        if (title.audioCount > 0) task.audioStreamId = title.audioStreamId[0];
        if (title.subpictureCount > 0) task.subtitleId = title.subpictureStreamId[0];
        QTreeWidgetItem* item = m_list->InsertTask(task, extension);
        // A Blu-ray clip that no playlist plays says so ("clip 00001").
        if (const QString source = QString::fromStdString(m_disc->TitleSource(i)); !source.isEmpty())
            for (int column = 0; column < m_list->columnCount(); ++column) item->setToolTip(column, source);
        InsertChapters(item, task);
        // The main title stands out; a title that plays an earlier one's cells again is that
        // title, and is not ticked.
        QStringList notes;
        if (const QString source = item->toolTip(0); !source.isEmpty()) notes << source;
        if (i == main) {
            notes << QStringLiteral("Main title");
            QFont bold = item->font(0);
            bold.setBold(true);
            for (int column = 0; column < m_list->columnCount(); ++column) item->setFont(column, bold);
            mainItem = item;
        }
        const int sameAs = m_disc->SameAs(i);
        if (sameAs >= 0) notes << QStringLiteral("Same as Title_%1").arg(sameAs + 1, 2, 10, QLatin1Char('0'));
        if (!notes.isEmpty())
            for (int column = 0; column < m_list->columnCount(); ++column) item->setToolTip(column, notes.join(QLatin1Char('\n')));
        const bool tick = sameAs < 0 && (mainOnly ? i == main : !longOnly || title.durationMs > m_prefs.tickMinutes * 60000.0);
        if (!tick) m_list->ToggleCheck(item);
        if (!first) {
            first = item;
            m_lastClip = task.clip;
        }
    }
    if (mainItem) {
        first = mainItem;
        if (const ConversionTask* task = m_list->TaskOf(mainItem)) m_lastClip = task->clip;
    }
    root->setExpanded(true);
    m_gettingStarted->hide();
    m_list->show();
    m_list->setCurrentItem(first);
    ShowTrackChoice(first);
    PreparePlayer();
}

bool CZuZideroDlg::PreparePlayer()
{
    // Runs on a streaming thread and only posts a call to this window's thread. The player (and
    // with it this callback) is torn down in the destructor, before the window goes.
    const bool created = m_player->CreateGraph(m_disc, m_video, nullptr, [this] {
        QMetaObject::invokeMethod(this, &CZuZideroDlg::OnPlayerEvent, Qt::QueuedConnection);
    });
    if (!created) {
        ShowMessage(this, QStringLiteral("Load DVD error"));
        return false;
    }
    CLSID clsid{};
    if (IBaseFilter* renderer = m_player->Renderer(); renderer && SUCCEEDED(renderer->GetClassID(&clsid)) && clsid == CLSID_VideoMixingRenderer7)
        m_video->SetRenderer(static_cast<CVideoRenderer*>(renderer));
    const ConversionTask* first = m_list->TaskOf(m_list->SelectedOrFirst());
    m_player->SetDeinterlace(m_prefs.DeinterlaceMode());
    m_player->SetTitle(first ? first->titleIndex : 0, -1);
    return true;
}

void CZuZideroDlg::OpenAtStart(const QString& path)
{
    QTimer::singleShot(0, this, [this, path] { LoadDisc(path); });
}

void CZuZideroDlg::InsertChapters(QTreeWidgetItem* titleItem, const ConversionTask& titleTask)
{
    const TitleInfo& title = m_info->titles[titleTask.titleIndex];
    if (title.chapterCount < 2) return; // the title is its one chapter
    const QString extension = QString::fromStdString(m_currentProfile.FormatExt);
    // What plays from each chapter to the title's end; a chapter is the difference to the next.
    std::vector<double> toTheEnd;
    for (int c = 0; c < title.chapterCount && c < kMaxChapters; ++c) {
        const auto marks = m_disc->CellMarks(titleTask.titleIndex, c);
        toTheEnd.push_back(marks.empty() ? 0.0 : marks.back().ms);
    }
    for (std::size_t c = 0; c < toTheEnd.size(); ++c) {
        ConversionTask chapter = titleTask;
        chapter.chapterIndex = static_cast<std::int32_t>(c);
        const double length = toTheEnd[c] - (c + 1 < toTheEnd.size() ? toTheEnd[c + 1] : 0.0);
        chapter.sourceLength = std::max<std::int64_t>(static_cast<std::int64_t>(length + 0.5), 0);
        chapter.clip.trimStart = 0;
        chapter.clip.trimLength = chapter.sourceLength;
        m_list->InsertTask(chapter, extension, titleItem);
    }
}

void CZuZideroDlg::FillStreamLists(int titleIndex)
{
    const QSignalBlocker audioQuiet(m_audio), subtitleQuiet(m_subtitle);
    m_audio->clear();
    m_subtitle->clear();
    if (titleIndex < 0 || titleIndex >= m_info->titleCount) return;
    const TitleInfo& title = m_info->titles[titleIndex];
    for (int a = 0; a < title.audioCount && a < kMaxAudioStreams; ++a) {
        m_audio->addItem(AudioLine(title, a), title.audioStreamId[a]);
        if (auto* model = qobject_cast<QStandardItemModel*>(m_audio->model())) {
            QStandardItem* line = model->item(m_audio->count() - 1);
            line->setCheckable(true);
            line->setCheckState(Qt::Unchecked);
        }
    }
    for (int s = 0; s < title.subpictureCount && s < kMaxSubpictureStreams; ++s)
        m_subtitle->addItem(SubtitleLine(title, s), title.subpictureStreamId[s]);
    // Beyond the disc's own lines: converting without burned-in subtitles.
    m_subtitle->addItem(QStringLiteral("No subtitles"), 0);
}

ConversionTask* CZuZideroDlg::CurrentTask() const
{
    QTreeWidgetItem* item = m_list->currentItem();
    return item ? m_list->TaskOf(item) : nullptr;
}

void CZuZideroDlg::ShowTrackChoice(QTreeWidgetItem* item)
{
    const ConversionTask* task = item ? m_list->TaskOf(item) : nullptr;
    if (!task) return; // the root: the lists stay as they are
    FillStreamLists(task->titleIndex);
    ShowAudioTicks(*task);
    const QSignalBlocker audioQuiet(m_audio), subtitleQuiet(m_subtitle);
    const int subtitleRow = task->burnSubtitles ? m_subtitle->findData(task->subtitleId) : -1;
    m_subtitle->setCurrentIndex(subtitleRow >= 0 ? subtitleRow : m_subtitle->count() - 1);
    m_audioId = task->audioStreamId;
    m_subtitleId = task->subtitleId;
    m_subtitlesOn = task->burnSubtitles && subtitleRow >= 0 && task->subtitleId != 0;
}

void CZuZideroDlg::OnListClicked(QTreeWidgetItem* item)
{
    if (item != m_lastClicked && item != m_list->currentItem()) m_list->setCurrentItem(item);
    if (item != m_lastClicked) ShowTrackChoice(item);
    m_lastClicked = item;
}

void CZuZideroDlg::ShowAudioTicks(const ConversionTask& task)
{
    const QSignalBlocker audioQuiet(m_audio);
    m_audio->setCurrentIndex(std::max(m_audio->findData(task.audioStreamId), 0));
    auto* model = qobject_cast<QStandardItemModel*>(m_audio->model());
    if (!model) return;
    const std::int32_t first = m_audio->currentData().toInt();
    QStringList converted;
    for (int row = 0; row < m_audio->count(); ++row) {
        const std::int32_t id = m_audio->itemData(row).toInt();
        const bool ticked = id == first || std::find(task.moreAudio.begin(), task.moreAudio.end(), id) != task.moreAudio.end();
        model->item(row)->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
        if (ticked && id != first) converted << m_audio->itemText(row);
    }
    // The closed list shows the first track; the others ticked are named on hovering.
    m_audio->setToolTip(converted.isEmpty() ? QString()
                                            : QStringLiteral("Also converted: ") + converted.join(QStringLiteral(", ")));
}

void CZuZideroDlg::StoreAudioChoice(std::int32_t first, std::vector<std::int32_t> more)
{
    more.erase(std::remove(more.begin(), more.end(), first), more.end());
    m_audioId = first;
    QTreeWidgetItem* item = m_list->currentItem();
    // The choice is the title's: its item, and its chapters.
    ConversionTask* task = CurrentTask();
    if (task) {
        task->audioStreamId = first;
        task->moreAudio = more;
    }
    for (int i = 0; item && i < item->childCount(); ++i) {
        if (ConversionTask* chapter = m_list->TaskOf(item->child(i))) {
            chapter->audioStreamId = first;
            chapter->moreAudio = more;
        }
    }
    if (task) ShowAudioTicks(*task);
    // Heard at once when the title plays.
    if (m_playingTitle >= 0 && task && task->titleIndex == m_playingTitle) m_player->ChooseStreams(m_audioId, 0);
}

void CZuZideroDlg::OnAudioChosen(int row)
{
    if (row < 0) return;
    const ConversionTask* task = CurrentTask();
    const std::int32_t id = m_audio->itemData(row).toInt();
    std::vector<std::int32_t> more = task ? task->moreAudio : std::vector<std::int32_t>{};
    // The chosen track takes the first place. A track ticked already swaps places with the
    // first, which stays ticked; an unticked one replaces it.
    if (task && std::find(more.begin(), more.end(), id) != more.end() && task->audioStreamId != id)
        more.insert(more.begin(), task->audioStreamId);
    StoreAudioChoice(id, more);
}

void CZuZideroDlg::OnAudioTicked(int row)
{
    const ConversionTask* task = CurrentTask();
    if (row < 0 || row >= m_audio->count() || !task) return;
    const std::int32_t id = m_audio->itemData(row).toInt();
    std::vector<std::int32_t> more = task->moreAudio;
    if (id == task->audioStreamId) {
        // The first unticked: the next ticked one is first; the last one stays.
        if (more.empty()) return;
        const std::int32_t next = more.front();
        more.erase(more.begin());
        StoreAudioChoice(next, more);
        return;
    }
    const auto at = std::find(more.begin(), more.end(), id);
    if (at == more.end())
        more.push_back(id);
    else
        more.erase(at);
    StoreAudioChoice(task->audioStreamId, more);
}

bool CZuZideroDlg::eventFilter(QObject* watched, QEvent* event)
{
    QAbstractItemView* view = m_audio ? m_audio->view() : nullptr;
    if (view && watched == view->viewport() &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease)) {
        const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
        const QModelIndex index = view->indexAt(at);
        // The check box sits at the line's start.
        constexpr int kCheckWidth = 24;
        if (index.isValid() && at.x() - view->visualRect(index).left() < kCheckWidth) {
            if (event->type() == QEvent::MouseButtonRelease) OnAudioTicked(index.row());
            return true; // the popup stays open for more ticks
        }
    }
    return CSkinnedDialog::eventFilter(watched, event);
}

void CZuZideroDlg::OnSubtitleChosen(int row)
{
    if (row < 0) return;
    const int id = m_subtitle->itemData(row).toInt();
    m_subtitlesOn = id != 0;
    if (id != 0) m_subtitleId = id;
    QTreeWidgetItem* item = m_list->currentItem();
    auto apply = [&](ConversionTask* task) {
        if (!task) return;
        task->burnSubtitles = id != 0;
        if (id != 0) task->subtitleId = id;
    };
    apply(CurrentTask());
    for (int i = 0; item && i < item->childCount(); ++i) apply(m_list->TaskOf(item->child(i)));
    // Seen at once when the title plays.
    const ConversionTask* task = CurrentTask();
    if (m_playingTitle >= 0 && task && task->titleIndex == m_playingTitle) {
        if (id != 0) m_player->ChooseStreams(0, id);
        m_player->ShowSubpictures(id != 0);
    }
}

void CZuZideroDlg::OnLoadDvd()
{
    QString message;
    const QStringList drives = m_driveMenu->DiscsToLoad(&message);
    if (drives.isEmpty()) {
        ShowMessage(this, message);
        return;
    }
    QString drive = drives.front();
    if (drives.size() > 1) {
        bool ok = false;
        drive = QInputDialog::getItem(this, QStringLiteral("Select a DVD or Blu-ray drive"), QStringLiteral("Drive:"), drives, 0, false, &ok);
        if (!ok) return;
    }
    LoadDisc(drive);
}

void CZuZideroDlg::UseDrives(COpticalDrives* drives) { m_driveMenu->UseDrives(drives); }

COpticalDrives* CZuZideroDlg::Drives() const { return m_driveMenu->Drives(); }

void CZuZideroDlg::OnEject()
{
    const COpticalDrives::Drive* drive = Drives()->DriveOf(m_loadedPath);
    if (!drive || m_ejectJob) return;
    const QString device = drive->device;
    const QString path = m_loadedPath;
    // The disc is let go while the tray opens (a drive whose disc is held open keeps its tray
    // shut); the list stays until it has opened.
    OnStop();
    m_player->Teardown();
    m_disc.reset();
    m_work->Unload();
    // The drive may take seconds (the desktop unmounts the disc first): the workspace waits for it.
    COpticalDrives* drives = Drives();
    m_ejectJob = m_work->Eject([drives, device](std::string* why) {
        QString reason;
        const bool ejected = drives->Eject(device, &reason);
        *why = reason.toStdString();
        return ejected;
    });
    m_ejecting = path;
    m_driveMenu->ShowLoaded(QString());
    m_busy->Start(QStringLiteral("Ejecting %1…").arg(QFileInfo(device).fileName()));
}

void CZuZideroDlg::EjectEnded(const WorkspaceEvent& event)
{
    m_ejectJob = 0;
    m_busy->Stop();
    const QString path = std::exchange(m_ejecting, QString());
    Drives()->Refresh();
    m_info = &kNoDisc;
    if (event.ejected) {
        OnClearAll();
        m_loadedPath.clear();
        m_driveMenu->ShowLoaded(QString());
        emit ejectEnded(true);
        return;
    }
    // Still in the drive: the disc is read again, and its list stays as it was.
    m_loadJob = m_work->Load(path.toStdString());
    m_reopening = true;
    m_busy->Start(QStringLiteral("Loading %1…").arg(QFileInfo(path).fileName()));
    m_driveMenu->ShowLoaded(QString());
    const COpticalDrives::Drive* drive = Drives()->DriveOf(path);
    ShowMessage(this, QStringLiteral("The disc could not be ejected\n%1: %2")
                          .arg(drive ? drive->device : path, QString::fromStdString(event.reason)));
    emit ejectEnded(false);
}

QString CZuZideroDlg::ChoosePath(const FileQuestion& question)
{
    QString path;
    if (m_chooseFile)
        path = m_chooseFile(question);
    else if (question.filter.isEmpty())
        path = QFileDialog::getExistingDirectory(this, question.title, question.startFolder);
    else
        path = QFileDialog::getOpenFileName(this, question.title, question.startFolder, question.filter);
    if (path.isEmpty()) return path;
    // The next dialog opens where this one ended: beside a file or a VIDEO_TS folder.
    const QString folder = QFileInfo(path).dir().absolutePath();
    if (folder != m_prefs.lastFolder) {
        m_prefs.lastFolder = folder;
        Preferences::Write(m_productTitle, QStringLiteral("strLastFolder"), folder);
    }
    return path;
}

void CZuZideroDlg::OnLoadFolder()
{
    const QString folder = ChoosePath({QStringLiteral("Select a DVD or Blu-ray folder (VIDEO_TS, BDMV or the folder above it)"),
                                       m_prefs.lastFolder, QString()});
    if (!folder.isEmpty()) LoadDisc(folder);
}

void CZuZideroDlg::OnLoadIso()
{
    const QString file = ChoosePath({QStringLiteral("Select a DVD or Blu-ray disc image"), m_prefs.lastFolder,
                                     QStringLiteral("Disc images (*.iso *.ISO);;All files (*)")});
    if (!file.isEmpty()) LoadDisc(file);
}

void CZuZideroDlg::OnLoadVideoFile()
{
    const QString file = ChoosePath({QStringLiteral("Select a video file (MPEG, VOB, TS, M2TS)"), m_prefs.lastFolder,
                                     QStringLiteral("MPEG and TS files (*.mpg *.MPG *.mpeg *.MPEG *.vob *.VOB *.ts *.TS *.m2ts "
                                                    "*.M2TS *.mts *.MTS);;All files (*)")});
    if (!file.isEmpty()) LoadDisc(file);
}

void CZuZideroDlg::OnClearAll()
{
    m_list->ClearAll();
    m_lastClicked = nullptr;
    m_audio->clear();
    m_subtitle->clear();
}

void CZuZideroDlg::OnCheckAll() { m_list->CheckAll(true); }
void CZuZideroDlg::OnUnCheckAll() { m_list->CheckAll(false); }

QTreeWidgetItem* CZuZideroDlg::MainTitleItem() const
{
    const int main = m_disc ? m_disc->MainTitle() : -1;
    QTreeWidgetItem* root = m_list->Root();
    for (int i = 0; root && main >= 0 && i < root->childCount(); ++i) {
        const ConversionTask* task = m_list->TaskOf(root->child(i));
        if (task && task->titleIndex == main) return root->child(i);
    }
    return nullptr;
}

void CZuZideroDlg::OnTickMainOnly()
{
    QTreeWidgetItem* main = MainTitleItem();
    if (!main) {
        ShowMessage(this, QStringLiteral("The disc does not say which title is the main one."));
        return;
    }
    m_list->CheckAll(false);
    m_list->ToggleCheck(main);
}

ConversionTask* CZuZideroDlg::CheckedSelection()
{
    QString error;
    ConversionTask* task = m_list->SelectedTask(&error);
    if (!task) ShowMessage(this, error);
    return task;
}

void CZuZideroDlg::OpenEditor(int page, bool modal)
{
    ConversionTask* task = CheckedSelection();
    if (!task) return;
    OnStop();
    // The task takes the last applied picture settings; what the editor leaves in it (OK or
    // Cancel) becomes the last settings, which every task of the next run takes. The trim stays
    // with the task.
    task->clip.picture = m_lastClip.picture;
    QTreeWidgetItem* item = m_list->currentItem();
    auto* editor = new CCropDlg(m_disc, *task, page, m_currentProfile.writer, this);
    editor->Preview().SetDeinterlace(m_prefs.DeinterlaceMode());
    editor->setAttribute(Qt::WA_DeleteOnClose);
    m_editor = editor;
    connect(editor, &QDialog::finished, this, [this, task, item] {
        m_lastClip.picture = task->clip.picture;
        if (item) CColumnTreeCtrl::SetColumnText(item, CColumnTreeCtrl::kTrimmedLength, LengthText(static_cast<double>(task->clip.trimLength)));
    });
    if (modal)
        editor->exec();
    else
        editor->open();
}

void CZuZideroDlg::OnProperties()
{
    QString error;
    ConversionTask* task = m_list->SelectedTask(&error);
    if (!task || !m_disc) return;
    // The player's stream list, of the selected title (another title stops the one playing).
    if (task->titleIndex != m_playingTitle) {
        OnStop();
        m_player->SetDeinterlace(m_prefs.DeinterlaceMode());
        if (!m_player->SetTitle(task->titleIndex, -1)) return;
    }
    std::vector<EngineStream> streams;
    if (!m_player->GetStreams(streams)) return;
    const QStringList kept = task->titleIndex >= 0 && task->titleIndex < m_disc->Info().titleCount
                                 ? CProperties::KeptTracks(m_disc->Info().titles[task->titleIndex], m_disc->ForcedSubpictures(task->titleIndex))
                                 : QStringList();
    CProperties properties(streams, kept, this);
    properties.exec();
}

// ---- Profiles ----

void CZuZideroDlg::SelectProfileById(int id, bool report)
{
    if (id == m_currentProfile.index && m_currentProfile.ProfileName.size() > 0) return;
    ProfileRecord found;
    if (m_catalogue.FindByIndex(id, &found) || UserProfiles::Find(id, &found))
        m_currentProfile = found;
    else if (report)
        ShowMessage(this, QStringLiteral("Conn`t get format"));
    if (m_list->Root() && m_list->Root()->childCount() > 0)
        m_list->RefreshOutputNames(QString::fromStdString(m_currentProfile.FormatExt));
}

void CZuZideroDlg::OnFormatCommand(int command)
{
    if (command >= kUserCommandBase)
        SelectProfileById(UserProfiles::kFirstIndex + command - kUserCommandBase, true);
    else
        SelectProfileById(ProfileForCommand(command), true);
}

void CZuZideroDlg::RefreshMyProfiles()
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

void CZuZideroDlg::OnProfileListChosen(int row)
{
    if (row >= 0) SelectProfileById(m_profileList->itemData(row).toInt(), true);
}

void CZuZideroDlg::OnSettings()
{
    CSettingsDlg settings(m_currentProfile, &m_catalogue, this);
    const bool accepted = settings.exec() == QDialog::Accepted;
    RefreshMyProfiles(); // "Save as..." may have added one, or Delete taken one away
    if (!accepted) return;
    const std::string extension = m_currentProfile.FormatExt;
    m_currentProfile = settings.Working();
    // The profile box names what will be used: a saved profile by its name (and chosen in the
    // selector), a changed one as "(modified)".
    ProfileRecord original;
    if (UserProfiles::IsUserIndex(m_currentProfile.index) && UserProfiles::Find(m_currentProfile.index, &original) &&
        SameWriterSettings(original.writer, m_currentProfile.writer)) {
        m_selector->Select(kMyProfilesCategory, kUserCommandBase + m_currentProfile.index - UserProfiles::kFirstIndex);
    } else if ((m_catalogue.FindByIndex(m_currentProfile.index, &original) || UserProfiles::Find(m_currentProfile.index, &original)) &&
               !SameWriterSettings(original.writer, m_currentProfile.writer)) {
        m_selector->ShowText(QString::fromStdString(original.ProfileName) + QStringLiteral(" (modified)"));
    } else if (m_catalogue.FindByIndex(m_currentProfile.index, &original)) {
        // Another catalogue profile chosen in the settings: the selector follows when it lists it.
        for (const FormatEntry& f : FormatEntries())
            if (f.profile == m_currentProfile.index) {
                m_selector->Select(f.category, f.command);
                break;
            }
    }
    // Another preset chosen in the window may write another kind of file: the names follow.
    if (m_currentProfile.FormatExt != extension && m_list->Root())
        m_list->RefreshOutputNames(QString::fromStdString(m_currentProfile.FormatExt));
    ProfileRecord check;
    if (!m_catalogue.FindByIndex(m_currentProfile.index, &check) && !UserProfiles::Find(m_currentProfile.index, &check))
        ShowMessage(this, QStringLiteral("get format error"));
}

// ---- Folders, preferences, help ----

void CZuZideroDlg::WriteOutFolder(const QString& folder)
{
    m_prefs.outFolder = folder;
    Preferences::Write(m_productTitle, QStringLiteral("strOutFolder"), folder);
}

void CZuZideroDlg::OnBrowse()
{
    const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Browser"), m_prefs.outFolder);
    if (folder.isEmpty()) return;
    m_output->setText(folder);
    WriteOutFolder(folder);
}

void CZuZideroDlg::OnOpenFolder() { OpenInDesktop(this, QUrl::fromLocalFile(m_output->text())); }

void CZuZideroDlg::OnPreferences()
{
    CPreferencesDlg preferences(m_prefs, m_productTitle, this);
    if (preferences.exec() != QDialog::Accepted) return;
    m_output->setText(m_prefs.outFolder);
    // A new naming pattern renames the list's files at once.
    m_list->SetNaming(m_prefs.namePattern, m_discName);
    if (m_list->Root()) m_list->RefreshOutputNames(QString::fromStdString(m_currentProfile.FormatExt));
}

void CZuZideroDlg::OpenUrl(const QString& address)
{
    OpenInDesktop(this, QUrl(address));
}

void CZuZideroDlg::OnHelpContent() { OpenUrl(QUrl::fromLocalFile(DataFile("help.html")).toString()); }
void CZuZideroDlg::OnSupport() { OpenUrl(QString::fromLatin1(kSupportPage)); }
void CZuZideroDlg::OnHomePage() { OpenUrl(m_homePage); }

void CZuZideroDlg::OnAbout()
{
    CAboutDlg about(m_productTitle, m_homePage, QString::fromLatin1(kSupportPage), this);
    about.exec();
}

// ---- Conversion ----

void CZuZideroDlg::OnStart(bool modal)
{
    const QString folder = m_output->text();
    if (const QString refusal = OutputFolderRefusal(folder); !refusal.isEmpty()) {
        ShowMessage(this, refusal);
        return;
    }
    if (folder != m_prefs.outFolder) WriteOutFolder(folder);
    if (!m_list->Root() || m_list->Root()->childCount() == 0) return;
    OnStop();
    const std::vector<std::string> outputs = RunOutputNames(m_list->RunTasks(), m_merge->isChecked());
    if (outputs.empty()) {
        ShowMessage(this, QStringLiteral("No title is ticked: tick the titles to convert."));
        return;
    }
    const bool severalSounds = TakesSeveralSoundStreams(m_currentProfile.index, m_currentProfile.writer.hasVideo != 0,
                                                        m_currentProfile.FormatExt);
    RunSettings merging;
    merging.merge = m_merge->isChecked();
    merging.severalSoundStreams = severalSounds;
    if (const std::string refusal = MergeRefusal(m_list->RunTasks(), merging); !refusal.empty()) {
        ShowMessage(this, QString::fromStdString(refusal));
        return;
    }

    // Names already taken in the folder: each is asked about first, never overwritten silently.
    QStringList taken;
    for (const std::string& name : outputs)
        if (QFileInfo::exists(folder + QStringLiteral("/") + QString::fromStdString(name))) taken << QString::fromStdString(name);
    std::map<std::string, IfNameTaken> rules;
    std::set<std::string> skipped;
    std::optional<NameAnswer> sameForAll;
    for (qsizetype i = 0; i < taken.size(); ++i) {
        const NameChoice choice = sameForAll ? NameChoice{*sameForAll, true} : AskAboutName(taken[i], static_cast<int>(taken.size() - i - 1));
        if (choice.answer == NameAnswer::kCancel) return;
        if (choice.forAll) sameForAll = choice.answer;
        const std::string name = taken[i].toStdString();
        if (choice.answer == NameAnswer::kSkip)
            skipped.insert(name);
        else
            rules[name] = choice.answer == NameAnswer::kOverwrite ? IfNameTaken::kReplace : IfNameTaken::kKeepBoth;
    }
    if (skipped.size() == outputs.size()) {
        ShowMessage(this, QStringLiteral("Nothing to convert\nEvery file of the run was skipped: its name is taken in the output folder."));
        return;
    }

    CConverDlg::Inputs inputs;
    inputs.disc = m_disc;
    // The picture settings last applied in the editor hold for every ticked task of the run.
    m_list->ApplyPictureToChecked(m_lastClip.picture);
    inputs.tasks = m_list->RunTasks();
    inputs.profile = m_currentProfile.writer;
    inputs.choices = m_currentProfile;
    inputs.merge = m_merge->isChecked();
    inputs.outFolder = folder;
    inputs.action = m_prefs.action;
    inputs.picture = m_lastClip.picture;
    // Each task carries its own title's track choice.
    inputs.audioStreamId = 0;
    inputs.subtitleId = 0;
    inputs.subtitles = true;
    inputs.deinterlace = m_prefs.DeinterlaceMode();
    inputs.autoCrop = m_prefs.autoCrop;
    inputs.nameRules = std::move(rules);
    inputs.skipped = std::move(skipped);
    inputs.severalSoundStreams = severalSounds;
    // "Same as source": tracks the container cannot hold are converted with the profile's own codec.
    ProfileRecord stored;
    if (m_catalogue.FindByIndex(m_currentProfile.index, &stored) && !OutputWriter::IsCopy(stored.writer.AudioCodecName))
        inputs.soundFallback = stored.writer.AudioCodecName;
    auto* progress = new CConverDlg(inputs, this);
    progress->setAttribute(Qt::WA_DeleteOnClose);
    m_progress = progress;
    if (modal)
        progress->exec();
    else
        progress->open();
}

CZuZideroDlg::NameChoice CZuZideroDlg::AskAboutName(const QString& name, int left)
{
    if (m_askName) return m_askName(name, left);
    CMsgDlg question(CMsgDlg::kQuestion, this);
    question.SetMessage(QStringLiteral("%1 exists").arg(name),
                        QStringLiteral("The output folder has a file of this name. Overwrite it with the new one, keep both (the new "
                                       "one as \"%1\"), or skip this title?")
                            .arg(QFileInfo(FreeFileName(m_output->text() + QStringLiteral("/") + name)).fileName()));
    question.SetChoices({QStringLiteral("Overwrite"), QStringLiteral("Keep both"), QStringLiteral("Skip")},
                        left > 0 ? QStringLiteral("Do the same for the %1 other taken names").arg(left) : QString());
    const int result = question.exec();
    const bool forAll = question.ForAllBox() && question.ForAllBox()->isChecked();
    switch (result - CMsgDlg::kFirstChoice) {
    case 0: return {NameAnswer::kOverwrite, forAll};
    case 1: return {NameAnswer::kKeepBoth, forAll};
    case 2: return {NameAnswer::kSkip, forAll};
    default: return {NameAnswer::kCancel, false};
    }
}

// ---- Preview ----

void CZuZideroDlg::ShowPlaying(bool playing)
{
    m_play->setVisible(!playing);
    m_pauseButton->setVisible(playing);
}

void CZuZideroDlg::OnPlay()
{
    if (!m_disc || !m_list->Root()) {
        ShowMessage(this, QStringLiteral("Please select one first"));
        return;
    }
    if (m_paused && m_playingTitle >= 0) { // paused: go on from there
        m_player->Play();
        m_paused = false;
        ShowPlaying(true);
        m_positionTimer->start();
        return;
    }
    // The selected item's title (a chapter plays its whole title), else the first title.
    QTreeWidgetItem* item = m_list->SelectedOrFirst();
    const ConversionTask* task = item ? m_list->TaskOf(item) : nullptr;
    if (!task && m_list->Root()->childCount() > 0) task = m_list->TaskOf(m_list->Root()->child(0));
    if (!task) {
        ShowMessage(this, QStringLiteral("Please select one first"));
        return;
    }
    m_player->SetDeinterlace(m_prefs.DeinterlaceMode());
    if (!m_player->SetTitle(task->titleIndex, -1)) return;
    m_player->SetPosition(0);
    m_player->ChooseStreams(task->audioStreamId, task->burnSubtitles ? task->subtitleId : 0);
    m_player->ShowSubpictures(task->burnSubtitles && task->subtitleId != 0);
    m_playingTitle = task->titleIndex;
    m_paused = false;
    m_videoPlaceholder->hide();
    m_video->show();
    m_player->Play();
    ShowPlaying(true);
    m_positionTimer->start();
}

void CZuZideroDlg::OnPause()
{
    if (m_playingTitle < 0) return;
    m_player->Pause();
    m_paused = true;
    m_positionTimer->stop();
    FollowPosition();
    ShowPlaying(false);
}

void CZuZideroDlg::OnStop()
{
    if (m_player) {
        m_player->Stop();
        m_player->SetPosition(0);
    }
    m_positionTimer->stop();
    m_playingTitle = -1;
    m_paused = false;
    ShowPlaying(false);
    if (PreviewFullScreen()) ToggleFullScreenPreview();
    m_video->hide();
    m_videoPlaceholder->show();
    m_slider->SetPos(0);
}

void CZuZideroDlg::OnPrevious()
{
    if (m_list->SelectSibling(-1)) {
        OnStop();
        OnPlay();
    }
}

void CZuZideroDlg::OnNext()
{
    if (m_list->SelectSibling(+1)) {
        OnStop();
        OnPlay();
    }
}

void CZuZideroDlg::OnPlayerEvent()
{
    LONG code = 0;
    LONG_PTR param1 = 0, param2 = 0;
    bool complete = false;
    while (m_player->NextEvent(code, param1, param2))
        if (code == EC_COMPLETE || code == EC_USERABORT || code == EC_ERRORABORT) complete = true;
    // Played to the end (or given up): playback stops.
    if (complete && m_playingTitle >= 0) OnStop();
}

void CZuZideroDlg::FollowPosition()
{
    if (m_playingTitle < 0) return; // the slider keeps still while the user drags it
    double position = 0, length = 0;
    if (!m_player->GetPosition(position) || !m_player->GetPlayLength(length) || length <= 0) return;
    m_slider->SetPos(static_cast<int>(std::clamp(position / length, 0.0, 1.0) * 1000 + 0.5));
}

void CZuZideroDlg::OnSliderReleased()
{
    if (m_playingTitle < 0) return;
    double length = 0;
    if (!m_player->GetPlayLength(length) || length <= 0) return;
    m_player->SetPosition(length * m_slider->GetPos() / 1000.0);
}

void CZuZideroDlg::OnSnapshot()
{
    if (m_playingTitle < 0) {
        ShowMessage(this, QStringLiteral("Play a title first: the snapshot saves the picture on screen."));
        return;
    }
    const std::tm now = m_snapshotClock ? m_snapshotClock() : [] {
        const std::time_t t = std::time(nullptr);
        std::tm local{};
        localtime_r(&t, &local);
        return local;
    }();
    QDir().mkpath(m_prefs.snapFolder);
    // A second snapshot within the same second does not replace the first.
    const QString path = FreeFileName(SnapshotFileName(m_prefs.snapFolder, m_prefs.imageType, now));
    if (!m_player->Snapshot(path.toStdString())) {
        ShowMessage(this, QStringLiteral("The snapshot could not be saved to ") + path);
        return;
    }
    m_lastSnapshot = path;
}

void CZuZideroDlg::OnOpenSnapshotFolder()
{
    QDir().mkpath(m_prefs.snapFolder);
    OpenInDesktop(this, QUrl::fromLocalFile(m_prefs.snapFolder));
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
        OnCancelLoad();
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
    if (PreviewFullScreen()) ToggleFullScreenPreview();
    if (m_selector) {
        const auto [category, command] = m_selector->GetChoice();
        SaveSelectorChoice(category, command);
    }
    if (m_list) m_list->ClearAll();
    if (m_player) m_player->Teardown();
    if (m_video) m_video->SetRenderer(nullptr);
    m_disc.reset();
}
