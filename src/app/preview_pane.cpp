#include "app/preview_pane.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QUrl>

#include "app/column_tree_ctrl.h"
#include "app/main_skin.h"
#include "app/msg_dlg.h"
#include "app/palette.h"
#include "app/my_button.h"
#include "app/my_slider_ctrl.h"
#include "app/preferences.h"
#include "app/skin.h"
#include "app/skinned_dialog.h"
#include "app/video_renderer.h"

CPreviewPane::CPreviewPane(CSkinnedDialog* window, CColumnTreeCtrl* list, const Preferences& prefs)
    : QObject(window), m_window(window), m_list(list), m_prefs(prefs),
      // The player's messages are the program's own boxes.
      m_controller(std::make_unique<PreviewPlayer>([window](const std::string& text) { ShowMessage(window, QString::fromStdString(text)); }))
{
    PlaceButton(window, "Previous", "back.png", {39, 356}, [this] { OnPrevious(); });
    m_play = PlaceButton(window, "Play", "play.png", {80, 356}, [this] { OnPlay(); });
    m_pause = PlaceButton(window, "Pause", "pause.png", {80, 356}, [this] { OnPause(); });
    m_pause->hide();
    PlaceButton(window, "Stop", "stop.png", {121, 356}, [this] { OnStop(); });
    PlaceButton(window, "Next", "next.png", {162, 356}, [this] { OnNext(); });
    PlaceButton(window, "Snapshot", "snap.png", {224, 356}, [this] { OnSnapshot(); });
    PlaceButton(window, "Open snapshot folder", "open.png", {265, 356}, [this] { OnOpenSnapshotFolder(); });

    m_slider = new CMySliderCtrl(window, 1);
    m_slider->SetPictures("sliderbk_main1.png", "sliderbk_main2.png", "thumb.png");
    m_slider->move(32, 330);
    // The time beside it takes the slider's right end.
    constexpr int kTimeWidth = 112;
    m_slider->resize(m_slider->width() - kTimeWidth, m_slider->height());
    m_time = new QLabel(window);
    m_time->setGeometry(m_slider->x() + m_slider->width() + 4, 324, kTimeWidth - 4, 20);
    m_time->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_time->setStyleSheet(QStringLiteral("color: %1; font-size: 8pt;").arg(skin::kMuted.name()));
    m_slider->SetRange(0, 1000);
    m_slider->SetPos(0);
    // Let go, the preview seeks there.
    connect(m_slider, &CMySliderCtrl::released, this, [this] { m_controller.Seek(m_slider->GetPos() / 1000.0); });
    m_positionTimer = new QTimer(this);
    m_positionTimer->setInterval(100); // the slider follows what plays, ten times a second
    connect(m_positionTimer, &QTimer::timeout, this, &CPreviewPane::FollowPosition);

    m_placeholder = new QLabel(window);
    m_placeholder->setGeometry(32, 110, 296, 209);
    m_placeholder->setPixmap(LoadSkin("video.bmp"));
    m_placeholder->setStyleSheet(QStringLiteral("background: #12151a;"));
    m_placeholder->setAlignment(Qt::AlignCenter);
    // The preview draws over the placeholder while a title plays.
    m_video = new CVideoWindow(window);
    m_video->setGeometry(m_placeholder->geometry());
    m_video->setToolTip(QStringLiteral("Double-click: full screen (Esc returns)"));
    m_video->hide();
    // A snapshot's sign lies on the picture (full screen too) for a moment.
    m_snapshotNote = new QLabel(m_video);
    m_snapshotNote->setStyleSheet(QStringLiteral("background: rgba(0, 0, 0, 170); color: white; padding: 3px 8px; border-radius: 4px;"));
    m_snapshotNote->hide();
    m_noteTimer = new QTimer(this);
    m_noteTimer->setSingleShot(true);
    m_noteTimer->setInterval(2500);
    connect(m_noteTimer, &QTimer::timeout, m_snapshotNote, &QWidget::hide);
    connect(m_video, &CVideoWindow::doubleClicked, this, &CPreviewPane::ToggleFullScreen);
    connect(m_video, &CVideoWindow::escapePressed, this, [this] {
        if (FullScreen()) ToggleFullScreen();
    });
}

CPreviewPane::~CPreviewPane() = default;

bool CPreviewPane::Prepare(std::shared_ptr<SourceDisc> disc)
{
    m_disc = disc;
    // The notify callback runs on a streaming thread and only posts a call to the window's
    // thread. The player (and with it the callback) is torn down before the pane goes.
    const bool created = m_controller.Prepare(std::move(disc), m_video, [this] {
        QMetaObject::invokeMethod(this, &CPreviewPane::OnPlayerEvent, Qt::QueuedConnection);
    });
    if (!created) {
        ShowMessage(m_window, QStringLiteral("Load DVD error"));
        return false;
    }
    CLSID clsid{};
    if (IBaseFilter* renderer = Player().Renderer(); renderer && SUCCEEDED(renderer->GetClassID(&clsid)) && clsid == CLSID_VideoMixingRenderer7)
        m_video->SetRenderer(static_cast<CVideoRenderer*>(renderer));
    const ConversionTask* first = m_list->TaskOf(m_list->SelectedOrFirst());
    Player().SetDeinterlace(m_prefs.DeinterlaceMode());
    Player().SetTitle(first ? first->titleIndex : 0, -1);
    return true;
}

void CPreviewPane::Teardown()
{
    OnStop();
    if (FullScreen()) ToggleFullScreen();
    m_controller.Teardown();
    m_video->SetRenderer(nullptr);
    m_disc.reset();
}

bool CPreviewPane::FullScreen() const { return m_video && m_video->isWindow(); }

void CPreviewPane::ToggleFullScreen()
{
    if (!FullScreen()) {
        // The picture leaves the window for a screen of its own: the main window's screen, above
        // the main window (a window of its own, owned by it), with the keyboard.
        QScreen* screen = m_window->screen();
        m_video->setParent(m_window, Qt::Window | Qt::FramelessWindowHint);
        m_video->setFocusPolicy(Qt::StrongFocus);
        if (screen) {
            m_video->setScreen(screen);
            m_video->setGeometry(screen->geometry());
        }
        m_video->showFullScreen();
        m_video->raise();
        m_video->activateWindow();
        m_video->setFocus();
        return;
    }
    const bool shown = m_video->isVisible();
    m_video->setParent(m_window, Qt::Widget);
    m_video->setGeometry(m_placeholder->geometry());
    m_video->setVisible(shown);
    // The keyboard comes back to the main window.
    m_window->raise();
    m_window->activateWindow();
    m_window->setFocus();
}

void CPreviewPane::ShowPlaying(bool playing)
{
    m_play->setVisible(!playing);
    m_pause->setVisible(playing);
    if (playing)
        m_positionTimer->start();
    else
        m_positionTimer->stop();
}

void CPreviewPane::OnPlay()
{
    if (!m_disc || !m_list->Root()) {
        ShowMessage(m_window, QStringLiteral("Please select one first"));
        return;
    }
    if (m_controller.Resume()) { // paused: go on from there
        ShowPlaying(true);
        return;
    }
    // The selected item's title (a chapter plays its whole title), else the first title.
    QTreeWidgetItem* item = m_list->SelectedOrFirst();
    const ConversionTask* task = item ? m_list->TaskOf(item) : nullptr;
    if (!task && m_list->Root()->childCount() > 0) task = m_list->TaskOf(m_list->Root()->child(0));
    if (!task) {
        ShowMessage(m_window, QStringLiteral("Please select one first"));
        return;
    }
    if (!m_controller.Play(*task, m_prefs.DeinterlaceMode())) return;
    m_placeholder->hide();
    m_video->show();
    ShowPlaying(true);
}

void CPreviewPane::OnPause()
{
    if (PlayingTitle() < 0) return;
    m_controller.Pause();
    ShowPlaying(false);
    FollowPosition();
}

void CPreviewPane::OnStop()
{
    m_controller.Stop();
    ShowPlaying(false);
    if (FullScreen()) ToggleFullScreen();
    m_video->hide();
    m_placeholder->show();
    m_slider->SetPos(0);
    ShowTime();
}

void CPreviewPane::OnPrevious()
{
    if (m_list->SelectSibling(-1)) {
        OnStop();
        OnPlay();
    }
}

void CPreviewPane::OnNext()
{
    if (m_list->SelectSibling(+1)) {
        OnStop();
        OnPlay();
    }
}

void CPreviewPane::OnPlayerEvent()
{
    // Played to the end (or given up): the buttons and the picture show it stopped.
    if (m_controller.HandleEvents()) OnStop();
}

void CPreviewPane::FollowPosition()
{
    if (const auto at = m_controller.Position()) m_slider->SetPos(static_cast<int>(*at * 1000 + 0.5));
    ShowTime();
}

void CPreviewPane::ShowTime()
{
    const auto clock = [](double seconds) {
        const auto s = static_cast<long long>(std::max(0.0, seconds));
        return QString::asprintf("%02lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    };
    const auto length = m_controller.Length();
    const auto at = m_controller.Position();
    if (!length || !at) {
        m_time->clear();
        return;
    }
    m_time->setText(clock(*at * *length) + QStringLiteral(" / ") + clock(*length));
}

void CPreviewPane::OnSnapshot()
{
    if (PlayingTitle() < 0) {
        ShowMessage(m_window, QStringLiteral("Play a title first: the snapshot saves the picture on screen."));
        return;
    }
    const std::tm now = m_clock ? m_clock() : [] {
        const std::time_t t = std::time(nullptr);
        std::tm local{};
        localtime_r(&t, &local);
        return local;
    }();
    QDir().mkpath(m_prefs.snapFolder);
    // A second snapshot within the same second does not replace the first.
    const QString path = FreeFileName(SnapshotFileName(m_prefs.snapFolder, m_prefs.imageType, now));
    if (!m_controller.Snapshot(path.toStdString())) {
        ShowMessage(m_window, QStringLiteral("The snapshot could not be saved to ") + path);
        return;
    }
    m_lastSnapshot = path;
    m_snapshotNote->setText(QStringLiteral("Snapshot saved: ") + QFileInfo(path).fileName());
    m_snapshotNote->adjustSize();
    m_snapshotNote->move(8, std::max(0, m_video->height() - m_snapshotNote->height() - 8));
    m_snapshotNote->show();
    m_snapshotNote->raise();
    m_noteTimer->start();
}

void CPreviewPane::OnOpenSnapshotFolder()
{
    QDir().mkpath(m_prefs.snapFolder);
    OpenInDesktop(m_window, QUrl::fromLocalFile(m_prefs.snapFolder));
}
