#pragma once
// CZuZideroDlg: the main window, a view of the workspace. It shows the loaded disc's titles (the
// title list over the workspace's tasks), and beside them the preview, the track lists, the
// output profile and the output folder, each a pane of its own; it opens every other window.
// Discs are read by the workspace on its own thread: the window asks, and shows what comes back.

#include <QPointer>
#include <memory>

#include "app/conver_dlg.h"
#include "app/crop_dlg.h"
#include "app/main_skin.h"
#include "app/preferences.h"
#include "app/skinned_dialog.h"
#include "workspace/workspace.h"

class CBusyBar;
class CColumnTreeCtrl;
class CMyStatic;
class COutputChoice;
class CPreviewPane;
class CProfileChoice;
class CSourceChooser;
class CTrackChoice;
class QLabel;
class QMenu;

class CZuZideroDlg : public CSkinnedDialog {
    Q_OBJECT
public:
    explicit CZuZideroDlg(QWidget* parent = nullptr);
    ~CZuZideroDlg() override;

    // The panes, and what the other windows and the tests read.
    CColumnTreeCtrl* TitleList() const { return m_list; }
    CPreviewPane& Preview() const { return *m_preview; }
    CTrackChoice& Tracks() const { return *m_tracks; }
    CProfileChoice& Profiles() const { return *m_profiles; }
    COutputChoice& Output() const { return *m_output; }
    CSourceChooser& Sources() const { return *m_sources; }
    QLabel* GettingStarted() const { return m_gettingStarted; }
    const Preferences& Prefs() const { return m_prefs; }
    const QString& ProductTitle() const { return m_productTitle; }
    // The picture settings last applied in the editor: every task of the next run takes them.
    const ClipSettings& LastClipSettings() const { return m_lastClip; }
    // The editor while it is open; the progress window while a conversion runs.
    CCropDlg* Editor() const { return m_editor; }
    CConverDlg* Progress() const { return m_progress; }

    // The workspace that reads discs for the window and keeps their tasks (tests hold its steps
    // at a gate).
    Workspace& Work() { return *m_work; }
    void UseWorkspaceSteps(Workspace::Steps steps);
    // The line over the title list while a disc loads or its tray opens, with its Cancel.
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
    // Starts loading a disc (drive, folder, image or file); once read, its titles are listed, or
    // a message says why not. The disc listed now stays until then.
    void LoadDisc(const QString& path);
    // Loads a disc once the window is up (a disc named on the command line).
    void OpenAtStart(const QString& path);
    // Lets go of the loaded disc and opens its drive's tray (File menu).
    void OnEject();
    void OnProperties();
    void OnClearAll();
    // Ticks the main title alone (Edit menu).
    void OnTickMainOnly();
    // The crop, trim and effect editor (pages 0, 1, 2) on the selected item's task; `modal`
    // false opens it without waiting (tests).
    void OpenEditor(int page, bool modal = true);
    void OnPreferences();
    // Starts the conversion; `modal` false opens the progress window without waiting (tests).
    void OnStart(bool modal = true);

protected:
    void Relayout() override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void reject() override;

private:
    // The title, the tool and menu buttons with their menus, the title list, the busy line.
    void BuildSkin();
    // The workspace's events, taken on this window's thread.
    void OnWorkspaceEvents();
    void EjectEnded(const WorkspaceEvent& event);
    // Lists the titles of the disc that has loaded.
    void ShowDisc(const QString& path);
    // The output names again, after the profile or the naming changed.
    void RenameOutputs();
    void Shutdown();

    Preferences m_prefs;
    QString m_productTitle, m_homePage;
    std::unique_ptr<Workspace> m_work;
    Workspace::Job m_loadJob = 0;  // the load under way, or 0
    bool m_reopening = false;      // it reads again the disc whose tray stayed shut
    Workspace::Job m_ejectJob = 0; // the eject under way, or 0
    QString m_ejecting;            // what was loaded from the drive being ejected
    QString m_discName;            // "{disc}" of the file names
    ClipSettings m_lastClip{};
    bool m_shutDown = false;
    QPointer<CConverDlg> m_progress;
    QPointer<CCropDlg> m_editor;
    CWindowPlaces m_places;

    CColumnTreeCtrl* m_list = nullptr;
    CBusyBar* m_busy = nullptr;
    QLabel* m_gettingStarted = nullptr;
    CMyStatic* m_titleLabel = nullptr;
    CPreviewPane* m_preview = nullptr;
    CTrackChoice* m_tracks = nullptr;
    CProfileChoice* m_profiles = nullptr;
    COutputChoice* m_output = nullptr;
    CSourceChooser* m_sources = nullptr;
};
