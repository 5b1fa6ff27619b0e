#pragma once
// CCropDlg: the modal editor of one conversion task: the part of the title to convert (trim),
// the crop rectangle and framing (crop), and the picture and sound adjustments (effect). It plays
// the task's title in its own preview: the source on the left with the crop rectangle over it,
// the picture as the conversion will make it on the right. Edits go to a working copy of the
// task's clip settings; OK writes it into the task, Cancel drops it.

#include <QTimer>
#include <memory>

#include "app/crop_tracker.h"
#include "app/skinned_dialog.h"
#include "workspace/title_tasks.h"
#include "play/editor_preview.h"
#include "profiles/profile_record.h"
#include "workspace/workspace.h"

class CMyButton;
class CMySelectCtrl;
class CMySliderCtrl;
class CVideoWindow;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

class CCropDlg : public CSkinnedDialog {
    Q_OBJECT
public:
    enum Page { kTrim = 0, kCrop = 1, kEffect = 2 };

    // `task` is edited in place on OK; `output` gives the size the right pane shows.
    CCropDlg(std::shared_ptr<SourceDisc> disc, ConversionTask& task, int page, const WriterSettings& output,
             QWidget* parent = nullptr);
    ~CCropDlg() override;

    const ClipSettings& Working() const { return m_working; }
    int CurrentPage() const { return m_page; }
    // The title's picture size: every crop value is in it.
    QSize SourceFrame() const { return m_frame; }
    EditorPreview& Preview() { return *m_preview; }
    CropTracker& Tracker() { return m_tracker; }
    CVideoWindow* LeftPane() const { return m_left; }
    CVideoWindow* RightPane() const { return m_right; }

    // The controls (tests drive them as a user would).
    QLineEdit* StartEdit() const { return m_startEdit; }
    QLineEdit* EndEdit() const { return m_endEdit; }
    CMyButton* MarkInButton() const { return m_markIn; }
    CMyButton* MarkOutButton() const { return m_markOut; }
    QLineEdit* LengthBox() const { return m_lengthBox; }
    QComboBox* ZoomList() const { return m_zoom; }
    // 0 Left, 1 Top, 2 Right, 3 Bottom.
    QSpinBox* CropEdit(int which) const { return m_cropEdits[which]; }
    QPushButton* AutoCropButton() const { return m_autoCrop; }
    CMySliderCtrl* Timeline() const { return m_timeline; }
    CMySelectCtrl* RangeSelector() const { return m_range; }
    CMySliderCtrl* BrightnessSlider() const { return m_brightness; }
    CMySliderCtrl* HueSlider() const { return m_hue; }
    CMySliderCtrl* SaturationSlider() const { return m_saturation; }
    CMySliderCtrl* VolumeSlider() const { return m_volume; }
    QLabel* EffectText(int which) const { return m_effectTexts[which]; } // brightness, hue, saturation, volume
    CMyButton* PageButton(int page) const { return m_pageButtons[page]; }
    CMyButton* PlayButton() const { return m_play; }
    CMyButton* PauseButton() const { return m_pause; }
    // The scans of the Auto button are made by this workspace, off the window's thread (tests
    // hold its steps at a gate).
    void UseWorkspaceSteps(Workspace::Steps steps);
    bool Scanning() const { return m_scanJob != 0; }

signals:
    // An Auto crop ended: the bars found are cropped (true), or the scan failed (with a message)
    // or was cancelled (false).
    void autoCropEnded(bool cropped);

public slots:
    void ShowPage(int page);
    void OnPlay();
    void OnPause();
    void OnApplyStart();
    void OnApplyEnd();
    // The range selector's handles moved to a and b of 0..1000 (a negative value: unchanged).
    void OnRangeMoved(int start, int end);
    // The trim starts (mark in) or ends (mark out) at the play position.
    void OnMarkIn();
    void OnMarkOut();
    void OnGoToSelection();
    void OnZoomChosen(int mode);
    // A crop edit changed (0 Left, 1 Top, 2 Right, 3 Bottom).
    void OnCropEdited(int which);
    // The tracker's rectangle changed: it becomes the crop.
    void OnTrackerChanged();
    // Starts a scan of the title for its black bars, which are cropped once it ends; while it
    // runs, the button cancels it.
    void OnAutoCrop();
    void OnReset();
    void accept() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The sliders' identifiers.
    enum SliderId { kTimelineId = 1, kVolumeId, kBrightnessId, kHueId, kSaturationId };
    // The controls, in steps: the panes and buttons, the timeline with the volume, and the three
    // pages.
    void BuildControls();
    void BuildPanesAndButtons();
    void BuildTimeline();
    void BuildTrimPage();
    void BuildCropPage();
    void BuildEffectPage();
    // A skinned button at (x, y), its text as its tooltip; a label on a page (−1: on every page).
    CMyButton* AddButton(const char* text, const char* picture, int x, int y);
    QLabel* AddLabel(const QString& text, int x, int y, int page);
    void ShowTrimTexts();
    void ShowCropValues();
    void ShowEffectValues();
    void ShowEffectTexts();
    // Builds the preview and plays it (once the window is up).
    void StartPreview();
    void OnPlayerEvent();
    void FollowPosition();
    // The crop onto the right pane, the overlay and the tracker.
    void ApplyCrop(bool placeTracker);
    void DrawOverlay();
    // Where the source picture is shown in the left pane (the tracker's bounds).
    CropTracker::Box PictureBox() const;
    void OnSlider(int id, int position);
    void OnWorkspaceEvents();
    // Crops what a scan found.
    void ApplyScan(const TitleScanResult& scan);
    std::int64_t SourceLength() const { return m_task.sourceLength; }

    std::shared_ptr<SourceDisc> m_disc;
    ConversionTask& m_task;
    ClipSettings m_working;
    CMyButton *m_markIn = nullptr, *m_markOut = nullptr;
    // The trim handles' places as last shown: a drag of one handle leaves the other's time as it is.
    std::pair<int, int> m_shownHandles{-1, -1};
    // While paused or stopped, the Result pane shows the picture on screen again with the
    // settings as they are now.
    void RedrawStill();
    // Where the preview is, in milliseconds of the title (the timeline's place when it has none).
    std::int64_t PlayPosition() const;
    WriterSettings m_output;
    QSize m_frame{720, 480};
    int m_page = kTrim;
    std::unique_ptr<EditorPreview> m_preview;
    bool m_previewBuilt = false, m_paused = false;
    CropTracker m_tracker;
    QTimer m_positionTimer;

    CVideoWindow *m_left = nullptr, *m_right = nullptr;
    CMyButton *m_play = nullptr, *m_pause = nullptr;
    CMySliderCtrl* m_timeline = nullptr;
    CMySelectCtrl* m_range = nullptr;
    QLabel* m_timeText = nullptr;
    CMySliderCtrl* m_volume = nullptr;
    QLineEdit *m_startEdit = nullptr, *m_endEdit = nullptr, *m_lengthBox = nullptr;
    QComboBox* m_zoom = nullptr;
    QSpinBox* m_cropEdits[4] = {};
    QPushButton* m_autoCrop = nullptr;
    std::unique_ptr<Workspace> m_work;
    Workspace::Job m_scanJob = 0; // the Auto button's scan under way, or 0
    CMySliderCtrl *m_brightness = nullptr, *m_hue = nullptr, *m_saturation = nullptr;
    // The values beside brightness, hue, saturation and volume.
    QLabel* m_effectTexts[4] = {};
    // The page buttons, checked on their page; where the last play began (seconds).
    CMyButton* m_pageButtons[3] = {};
    double m_playFrom = 0;
    std::vector<QWidget*> m_pageControls[3];
};

// "HH:MM:SS" of a time in milliseconds, with ".mmm" when it has a fraction of a second.
QString TrimTimeText(std::int64_t milliseconds);
