#pragma once
// CPreviewPane: the main window's preview, the face of a PreviewController: the picture (full
// screen with a double click; Esc or a double click returns), the position slider and the
// Previous, Play/Pause, Stop, Next, Snapshot and snapshot-folder buttons. It plays the task of
// the title list's selected item.

#include <QObject>
#include <QString>
#include <ctime>
#include <functional>
#include <memory>

#include "play/preview_controller.h"

class CColumnTreeCtrl;
class CMyButton;
class CMySliderCtrl;
class CSkinnedDialog;
class CVideoWindow;
class QLabel;
class QTimer;
struct Preferences;

class CPreviewPane : public QObject {
    Q_OBJECT
public:
    // Its controls go on `window`; it plays what `list` selects, with the preferences' ways.
    CPreviewPane(CSkinnedDialog* window, CColumnTreeCtrl* list, const Preferences& prefs);
    ~CPreviewPane() override;

    PreviewController& Controller() { return m_controller; }
    PreviewPlayer& Player() { return m_controller.Player(); }
    CVideoWindow* VideoWindow() const { return m_video; }
    QLabel* VideoPlaceholder() const { return m_placeholder; }
    CMySliderCtrl* Slider() const { return m_slider; }
    // Where the preview is and the title's length, beside the slider ("00:01:05 / 01:32:10").
    QLabel* TimeText() const { return m_time; }
    CMyButton* PlayButton() const { return m_play; }
    CMyButton* PauseButton() const { return m_pause; }
    int PlayingTitle() const { return m_controller.PlayingTitle(); }
    // The local time snapshots are named by; tests fix it.
    void SetSnapshotClock(std::function<std::tm()> now) { m_clock = std::move(now); }
    // The file the last snapshot went to (empty when none was saved).
    const QString& LastSnapshot() const { return m_lastSnapshot; }
    // The sign a snapshot leaves on the picture for a moment: "Snapshot saved: NAME".
    QLabel* SnapshotNote() const { return m_snapshotNote; }

    // The preview's graph for a loaded disc, set to the list's selected title; false (with "Load
    // DVD error") when it cannot be built.
    bool Prepare(std::shared_ptr<SourceDisc> disc);
    // Stops, and lets go of the disc.
    void Teardown();

public slots:
    void OnPlay();
    void OnPause();
    void OnStop();
    void OnPrevious();
    void OnNext();
    void OnSnapshot();
    void OnOpenSnapshotFolder();
    void ToggleFullScreen();
    bool FullScreen() const;

private:
    void ShowPlaying(bool playing);
    void FollowPosition();
    void OnPlayerEvent();

    CSkinnedDialog* m_window;
    CColumnTreeCtrl* m_list;
    const Preferences& m_prefs;
    PreviewController m_controller;
    std::shared_ptr<SourceDisc> m_disc;
    QLabel* m_placeholder = nullptr;
    CVideoWindow* m_video = nullptr;
    CMySliderCtrl* m_slider = nullptr;
    QLabel* m_time = nullptr;
    QLabel* m_snapshotNote = nullptr;
    QTimer* m_noteTimer = nullptr;
    void ShowTime();
    CMyButton *m_play = nullptr, *m_pause = nullptr;
    QTimer* m_positionTimer = nullptr;
    std::function<std::tm()> m_clock;
    QString m_lastSnapshot;
};
