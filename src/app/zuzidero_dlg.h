#pragma once
// CZuZideroDlg: the main window. It shows the workspace's loaded disc and its information, the
// title list with its conversion tasks (each with its own audio and subtitle choice), the current
// output profile, the format selector and the output folder, and opens every other window. Discs
// are read by the workspace on its own thread: the window asks, and shows what comes back.

#include <QPointer>
#include <ctime>
#include <functional>
#include <memory>

#include "app/conver_dlg.h"
#include "app/crop_dlg.h"
#include "app/optical_drives.h"
#include "app/preferences.h"
#include "app/skinned_dialog.h"
#include "convert/conversion_task.h"
#include "play/preview_player.h"
#include "dvd/disc_info.h"
#include "convert/source_disc.h"
#include "profiles/profile_catalogue.h"
#include "workspace/workspace.h"

class BeautyCombobox;
class CBusyBar;
class CDriveMenu;
class CColumnTreeCtrl;

class CMyButton;
class CMyCheckBox;
class CMySliderCtrl;
class CMyStatic;
class CVideoWindow;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QTimer;
class QTreeWidgetItem;

class CZuZideroDlg : public CSkinnedDialog {
    Q_OBJECT
public:
    explicit CZuZideroDlg(QWidget* parent = nullptr);
    ~CZuZideroDlg() override;

    // State the other windows and the tests read.
    const ProfileRecord& CurrentProfile() const { return m_currentProfile; }
    CColumnTreeCtrl* TitleList() const { return m_list; }
    BeautyCombobox* Selector() const { return m_selector; }
    QComboBox* AudioTracks() const { return m_audio; }
    QComboBox* Subtitles() const { return m_subtitle; }
    QLineEdit* OutputBox() const { return m_output; }
    CMyCheckBox* MergeBox() const { return m_merge; }
    CMyButton* SettingsButton() const { return m_settings; }
    QLabel* GettingStarted() const { return m_gettingStarted; }
    const Preferences& Prefs() const { return m_prefs; }
    const ClipSettings& LastClipSettings() const { return m_lastClip; }
    std::int32_t SelectedAudioStreamId() const { return m_audioId; }
    std::int32_t SelectedSubtitleId() const { return m_subtitleId; }
    bool SubtitlesOn() const { return m_subtitlesOn; }
    // The disc open in the window, or null.
    const std::shared_ptr<SourceDisc>& Disc() const { return m_disc; }
    const DiscInfo& Info() const { return *m_info; }
    const QString& ProductTitle() const { return m_productTitle; }
    bool CatalogueLoaded() const { return m_catalogueLoaded; }
    // The editor while it is open.
    CCropDlg* Editor() const { return m_editor; }
    // The progress window while a conversion runs.
    CConverDlg* Progress() const { return m_progress; }
    // The preview.
    PreviewPlayer& Player() { return *m_player; }
    CVideoWindow* VideoWindow() const { return m_video; }
    QLabel* VideoPlaceholder() const { return m_videoPlaceholder; }
    CMySliderCtrl* Slider() const { return m_slider; }
    CMyButton* PlayButton() const { return m_play; }
    CMyButton* PauseButton() const { return m_pauseButton; }
    // The title the preview plays (-1: none).
    int PlayingTitle() const { return m_playingTitle; }
    // The local time snapshots are named by; tests fix it.
    void SetSnapshotClock(std::function<std::tm()> now) { m_snapshotClock = std::move(now); }
    // The file the last snapshot went to (empty when none was saved).
    const QString& LastSnapshot() const { return m_lastSnapshot; }
    // What a file dialog asks: a folder (`filter` empty) or a file, with the dialog's title and
    // the folder it opens in. Tests answer it instead of the desktop's dialog.
    struct FileQuestion {
        QString title, startFolder, filter;
    };
    void SetFileChooser(std::function<QString(const FileQuestion&)> choose) { m_chooseFile = std::move(choose); }
    // The optical drives the window offers (tests give one reading stand-in files); the window
    // takes it over.
    void UseDrives(COpticalDrives* drives);
    COpticalDrives* Drives() const;
    // What was loaded last: a drive's device, a folder, an image or a file.
    const QString& LoadedPath() const { return m_loadedPath; }
    // What to do with a file of the run whose name is taken in the output folder, asked file by
    // file before the run starts; `forAll` answers the same for the files after it.
    enum class NameAnswer { kOverwrite, kKeepBoth, kSkip, kCancel };
    struct NameChoice {
        NameAnswer answer = NameAnswer::kCancel;
        bool forAll = false;
    };
    // Tests answer the question instead of the user (`left`: the taken names after this one).
    void SetNameQuestion(std::function<NameChoice(const QString& name, int left)> ask) { m_askName = std::move(ask); }

    // The audio line of the title list: "%s(%s %dch)" of language, coding and channels.
    static QString AudioLine(const TitleInfo& title, int stream);
    static QString SubtitleLine(const TitleInfo& title, int stream);

    // The workspace that reads discs for the window (tests hold its steps at a gate).
    Workspace& Work() { return *m_work; }
    void UseWorkspaceSteps(Workspace::Steps steps);
    // The line over the title list while a disc loads, with its Cancel.
    CBusyBar* BusyBar() const { return m_busy; }
    bool Loading() const { return m_loadJob != 0; }

signals:
    // A load asked for by LoadDisc ended: its titles are listed (true), or it failed (with a
    // message) or was cancelled (false).
    void loadEnded(bool loaded);
    // An Eject ended: the tray opened (true), or it stayed shut (false, with a message; the disc
    // is read again).
    void ejectEnded(bool ejected);

public slots:
    // Starts loading a disc (drive, folder or image); once read, its titles are listed, or a
    // message says why not. The disc listed now stays until then.
    void LoadDisc(const QString& path);
    // Cancels the load under way: the disc listed now stays.
    void OnCancelLoad();
    // Loads a disc once the window is up (a disc named on the command line).
    void OpenAtStart(const QString& path);
    void OnLoadDvd();
    // Lets go of the loaded disc and opens its drive's tray (File menu).
    void OnEject();
    // A copied DVD or Blu-ray disc: its VIDEO_TS or BDMV folder, or the folder above it.
    void OnLoadFolder();
    // A disc image (ISO).
    void OnLoadIso();
    // A video file: MPEG program or transport stream, VOB, M2TS.
    void OnLoadVideoFile();
    void OnProperties();
    void OnClearAll();
    void OnCheckAll();
    void OnUnCheckAll();
    // Ticks the main title alone (Edit menu).
    void OnTickMainOnly();
    // The main title's row, or null.
    QTreeWidgetItem* MainTitleItem() const;
    void OnTrim() { OpenEditor(0); }
    void OnCrop() { OpenEditor(1); }
    void OnEffect() { OpenEditor(2); }
    // The crop, trim and effect editor on the selected item's task at a page; `modal` false
    // opens it without waiting (tests).
    void OpenEditor(int page, bool modal = true);
    void OnPreferences();
    void OnHelpContent();
    void OnSupport();
    void OnHomePage();
    void OnAbout();
    // A format command from the selector: selects its profile.
    void OnFormatCommand(int command);
    void OnProfileListChosen(int row);
    void OnSettings();
    void OnBrowse();
    void OnOpenFolder();
    // Starts the conversion; `modal` false opens the progress window without waiting (tests).
    void OnStart(bool modal = true);
    void OnPlay();
    void OnPause();
    void OnStop();
    void OnPrevious();
    void OnNext();
    void OnSnapshot();
    void OnOpenSnapshotFolder();
    void OnListClicked(QTreeWidgetItem* item);
    // The audio and subtitle lists show the track choice of this item's title.
    void ShowTrackChoice(QTreeWidgetItem* item);
    // Choosing a track (its line) makes it the title's first sound track, the one the preview
    // plays and the file's default: a ticked one swaps places with the first, an unticked one
    // replaces it; the other ticked tracks stay.
    void OnAudioChosen(int row);
    // Its check box ticks or unticks a track to be converted beside the first; unticking the
    // first makes the next ticked one first (one track stays ticked).
    void OnAudioTicked(int row);
    void OnSubtitleChosen(int row);
    // The slider was let go: the preview seeks there.
    void OnSliderReleased();

    // The preview full screen (a double click on it), and back (Esc or a double click).
    void ToggleFullScreenPreview();
    bool PreviewFullScreen() const;

protected:
    void Relayout() override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // A click on a check box in the audio list's popup ticks the track and keeps the popup open.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void reject() override;

private:
    void BuildSkin();
    // The workspace's events, taken on this window's thread.
    void OnWorkspaceEvents();
    void EjectEnded(const WorkspaceEvent& event);
    // Lists the titles of a disc that has loaded.
    void ShowDisc(std::shared_ptr<SourceDisc> disc, const QString& path);
    // Notes each control's place at the picture's size, for Relayout.
    void RecordPlaces();
    struct Place {
        QPointer<QWidget> widget;
        QRect rect;
        enum Kind { kMoves, kGrows, kTitleBar, kStays } kind;
    };
    std::vector<Place> m_places;
    // The steps of BuildSkin: the buttons with their menus, the position slider, the title list and
    // the preview, and the track, format and output choices.
    void BuildButtons();
    void BuildPlayerControls();
    void BuildListAndPreview();
    void BuildChoices();
    void BuildMenus();
    void SelectProfileById(int id, bool report);
    // The selector's "My Profiles" lists the profiles saved with "Save as...".
    void RefreshMyProfiles();
    // A title's chapters under its item, each with its length and its own task.
    void InsertChapters(QTreeWidgetItem* titleItem, const ConversionTask& titleTask);
    // The audio and subtitle lines of a title, nothing selected.
    void FillStreamLists(int titleIndex);
    // The current title's sound tracks in the audio list: the first shown, each converted one ticked.
    void ShowAudioTicks(const ConversionTask& task);
    // Keeps the current title's sound tracks (the first, then the others in the order ticked) in
    // its item and its chapters, and shows them.
    void StoreAudioChoice(std::int32_t first, std::vector<std::int32_t> more);
    // The task of the current item, or null (the root, or nothing selected).
    ConversionTask* CurrentTask() const;
    // "Please select one first" / "GetItemData error" checks of the commands that need a task.
    ConversionTask* CheckedSelection();
    // The preview's graph for the loaded disc; false (with "Load DVD error") when it cannot.
    bool PreparePlayer();
    // The preview's events (posted by the graph from its threads).
    void OnPlayerEvent();
    // The slider follows the preview's position.
    void FollowPosition();
    // The buttons and the video area as playing (or not).
    void ShowPlaying(bool playing);
    void WriteOutFolder(const QString& folder);
    // Asks for a folder or a file (the test's chooser, else the desktop's dialog); the folder it
    // was in is remembered for the next one. Empty when the user cancels.
    QString ChoosePath(const FileQuestion& question);
    void Shutdown();
    void OpenUrl(const QString& address);

    std::unique_ptr<Workspace> m_work;
    Workspace::Job m_loadJob = 0; // the load under way, or 0
    bool m_reopening = false;     // it reads again the disc whose tray stayed shut
    Workspace::Job m_ejectJob = 0; // the eject under way, or 0
    QString m_ejecting;            // what was loaded from the drive being ejected
    CBusyBar* m_busy = nullptr;
    const DiscInfo* m_info; // the open disc's record, or an empty one
    std::shared_ptr<SourceDisc> m_disc;
    QString m_loadedPath;
    CDriveMenu* m_driveMenu = nullptr;
    QAction* m_ejectAction = nullptr;
    QString m_discName; // the root's: "{disc}" of the file names
    ProfileCatalogue m_catalogue;
    bool m_catalogueLoaded = false;
    ProfileRecord m_currentProfile;
    Preferences m_prefs;
    QString m_productTitle, m_homePage;
    ClipSettings m_lastClip{};
    std::int32_t m_audioId = 0, m_subtitleId = 0;
    bool m_subtitlesOn = true;
    QTreeWidgetItem* m_lastClicked = nullptr;
    bool m_shutDown = false;
    std::function<NameChoice(const QString&, int)> m_askName;
    // Asks about one taken name (the test's answer, else the three-way question).
    NameChoice AskAboutName(const QString& name, int left);
    std::function<QString(const FileQuestion&)> m_chooseFile;
    QPointer<CConverDlg> m_progress;
    QPointer<CCropDlg> m_editor;
    std::unique_ptr<PreviewPlayer> m_player;
    int m_playingTitle = -1;
    bool m_paused = false;
    QTimer* m_positionTimer = nullptr;
    std::function<std::tm()> m_snapshotClock;
    QString m_lastSnapshot;

    CColumnTreeCtrl* m_list = nullptr;
    BeautyCombobox* m_selector = nullptr;
    QComboBox *m_audio = nullptr, *m_subtitle = nullptr, *m_profileList = nullptr;
    QLineEdit* m_output = nullptr;
    CMyCheckBox* m_merge = nullptr;
    CMySliderCtrl* m_slider = nullptr;
    CMyStatic* m_titleLabel = nullptr;
    QLabel *m_gettingStarted = nullptr, *m_videoPlaceholder = nullptr;
    CVideoWindow* m_video = nullptr;
    CMyButton *m_play = nullptr, *m_pauseButton = nullptr, *m_settings = nullptr;
    QMenu *m_fileMenu = nullptr, *m_editMenu = nullptr, *m_clipMenu = nullptr, *m_optionMenu = nullptr, *m_helpMenu = nullptr,
          *m_addMenu = nullptr;
};

