#pragma once
// CConverDlg: the progress window. It runs the checked tasks of the title list through a
// ConversionRun on the workspace's run thread (WorkspaceRun), shows the current file's and the
// whole run's progress, elapsed and remaining time and the converted length, previews the
// pictures, and offers Pause, Continue and Cancel. At the end it does the after-conversion action
// and says the conversion is done. It never waits for the run: it asks, and is told.

#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/skinned_dialog.h"
#include "workspace/workspace_run.h"

class CMyButton;
class CMyCheckBox;
class CMyProgressCtrl;
class CMsgDlg;
class CVideoRenderer;
class CVideoWindow;
class QLabel;

class CConverDlg : public CSkinnedDialog {
    Q_OBJECT
public:
    struct Inputs {
        std::shared_ptr<SourceDisc> disc;
        // The title list's tasks, with the editor's picture applied to the ticked ones (none: no
        // task list).
        std::optional<std::vector<RunTask>> tasks;
        WriterSettings profile{};
        bool merge = false;
        QString outFolder;
        QString action; // the "Converting Done" preference
        PictureSettings picture;
        std::int32_t audioStreamId = 0;
        std::int32_t subtitleId = 0;
        bool subtitles = true;
        std::int32_t deinterlace = 0; // kDeinterlaceAuto, On or Off
        bool autoCrop = false;        // each title's black bars cropped
        ProfileRecord choices;        // the profile's lists, for a setting the encoder refuses
        // The user's answers for names taken in the output folder: replace or keep both, by
        // name; skipped names are not converted. Another name taken during the run keeps both.
        std::map<std::string, IfNameTaken> nameRules;
        std::set<std::string> skipped;
        bool severalSoundStreams = false; // the profile's files keep every ticked sound track
        std::string soundFallback = "aac"; // the encoder of tracks a "Same as source" file cannot hold
    };

    explicit CConverDlg(const Inputs& inputs, QWidget* parent = nullptr);
    ~CConverDlg() override;

    // What the run did, once it has ended (finished or cancelled); null before.
    const ConversionRun* Run() const { return m_run ? m_run->Ended() : nullptr; }
    // The run while it goes (tests watch its sink and progress).
    WorkspaceRun* Running() const { return m_run.get(); }
    // Runs before the run starts, on its thread (tests hold it at a gate); set before Begin.
    void SetBeforeStart(std::function<void()> hook) { m_beforeStart = std::move(hook); }
    CMyProgressCtrl* FileBar() const { return m_fileBar; }
    CMyProgressCtrl* OverallBar() const { return m_overallBar; }
    QString ElapsedText() const;
    QString RemainingText() const;
    QString ConvertedText() const;
    // "Subtitles read into text: 12 cues" while a file's subtitles are read; empty otherwise.
    QString ReadingText() const;
    // "Converting NAME": the file being written.
    QString TitleText() const;
    // The end message: what was written, what failed, what could not be read, or the cancel.
    CMsgDlg* DoneMessage() const { return m_done; }
    // "Stop converting?" while it is asked.
    CMsgDlg* StopQuestion() const { return m_question; }
    // The run's failure messages so far ("Could not create output file …").
    const QStringList& Failures() const { return m_failures; }
    CVideoWindow* PreviewWindow() const { return m_previewWindow; }
    CMyCheckBox* ShutDownBox() const { return m_shutDown; }
    CMyCheckBox* OpenFolderBox() const { return m_openFolder; }
    CMyCheckBox* PreviewBox() const { return m_showPreview; }

    // The power-off and open-folder actions; tests replace them.
    static void SetActionHooks(std::function<bool(QString*)> powerOff, std::function<void(const QString&)> openFolder);

public slots:
    void OnPause();
    void OnContinue();
    // Cancel, the close button, Esc and the window manager's close: while converting, asks
    // first; a stopped run keeps what it wrote.
    void OnCancel();
    void OnShowPreview(bool on);

protected:
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Begin();
    void StopRun();
    // The end message's title, text and detail for how the run ended.
    void ShowEndMessage();
    // The run has news (messages, the after-conversion moment, its end).
    void OnRunNews();
    void UpdateProgress();
    void AfterConversion();
    void Finished();

    Inputs m_inputs;
    std::vector<RunTask> m_tasks; // the list's, with the user's answers for taken names
    std::unique_ptr<WorkspaceRun> m_run;
    std::function<void()> m_beforeStart;
    ComPtr<CVideoRenderer> m_renderer;
    CVideoWindow* m_previewWindow;
    CMyProgressCtrl *m_fileBar, *m_overallBar;
    QLabel *m_elapsed, *m_remaining, *m_converted, *m_title, *m_reading;
    CMyButton *m_pause, *m_continue, *m_cancel, *m_close;
    bool m_paused = false; // the title says so
    CMyCheckBox *m_showPreview, *m_shutDown, *m_openFolder;
    CMsgDlg* m_done = nullptr;
    CMsgDlg* m_question = nullptr;
    QStringList m_failures;
    QTimer m_clock; // the progress bars and times
    bool m_begun = false;
};

// "%02d:%02d:%02d" of a duration in 100-ns units.
QString TimeText(REFERENCE_TIME duration);
