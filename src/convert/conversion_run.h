#pragma once
// ConversionRun: converts the checked tasks one after the other, one graph per task, into one
// file per task or one merged file, with progress, elapsed and remaining time, pause, continue
// and cancel. Start, then Step on each graph event until Finished.
//
// One thread at a time, never a window's: the workspace's run thread (WorkspaceRun) for the
// desktop program, the main thread of zuzidero-cli, which waits in Step. It builds graphs, scans
// titles and drains encoders inside its calls.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "convert/conversion_engine.h"
#include "convert/conversion_task.h"
#include "convert/damage_report.h"
#include "convert/file_placement.h"
#include "convert/pass_folder.h"
#include "convert/run_tasks.h"
#include "convert/title_scan.h"
#include "write/part_file.h"

struct RunProgress {
    std::size_t task = 0;          // the current task's place among the run's tasks
    std::size_t tasks = 0;
    std::string file;              // the output file being written (with merging, the one file)
    double fraction = 0;           // of the current task, 0..1
    double overall = 0;            // of the whole run, 0..1
    REFERENCE_TIME position = 0;   // of the current task, 100 ns
    REFERENCE_TIME duration = 1;
    std::int64_t elapsedMs = 0;    // of the whole run from its start, pauses left out; never goes back
    std::int64_t remainingMs = -1; // of the whole run, from the overall progress; −1 while unknown
    bool running = false;
    // Subtitle cues read into text in the file being written; −1 when it reads none.
    int textCues = -1;
};

class ConversionRun {
public:
    using Clock = std::function<std::int64_t()>; // milliseconds
    using MessageFn = ConversionEngine::MessageFn;

    // The run holds the disc until it ends.
    ConversionRun(std::shared_ptr<SourceDisc> disc, std::vector<RunTask> tasks, RunSettings settings, MessageFn message = {},
                  Clock clock = {});
    ~ConversionRun();

    // Starts the first task; false when no task is to be converted.
    bool Start();
    // Handles the current graph's events, waiting up to `ms` for one; false once finished.
    bool Step(int ms);
    void Pause();
    void Continue();
    // Stops, and finishes the file written so far as a valid file.
    void Cancel();

    bool Finished() const { return m_finished; }
    bool Cancelled() const { return m_cancelled; }
    RunProgress Progress();
    // Files written in full (or, after a cancel, as far as the run got), and tasks that failed.
    const std::vector<std::string>& FilesWritten() const { return m_files; }
    // The SubRip files written beside them (subtitles read into text).
    const std::vector<std::string>& TextFilesWritten() const { return m_textFiles; }
    // SubRip files asked for that could not be written (each said as it failed).
    int TextFilesFailed() const { return m_textFilesFailed; }
    // Per written file with subtitles read into text: what each track's reading came to.
    struct FileText {
        std::string file;
        std::vector<TextResult> results;
    };
    const std::vector<FileText>& TextReports() const { return m_textReports; }
    // What the reader said of itself during the run (a language read with English data, naming
    // the package to install; a reader that could not start), each once.
    const std::vector<std::string>& TextNotes() const { return m_textNotes; }
    // The written files that lack parts the disc could not give, in the order they were written.
    const std::vector<FileDamage>& Damage() const { return m_damage.Files(); }
    // What of the disc is in no file although the run converted its main title: stretches that
    // no title plays because the navigation that plays them cannot be read ("clip 00001.m2ts:
    // 1.5 s is in no file, at 00:00:00–00:00:02: …"). After the run.
    const std::vector<std::string>& Unreached() const { return m_unreached; }
    int TasksFailed() const { return m_failed; }
    // Of the failed tasks, those whose title holds nothing that can be read.
    int TasksUnusable() const { return m_unusable; }
    ConversionEngine& Engine() { return m_engine; }
    // Called once when the last task is done (not after a cancel): the after-conversion action.
    std::function<void()> onFinished;

private:
    // Builds and runs the current task's graph; on failure moves on to the next task.
    void StartCurrent();
    // How a task's graph is built: its tracks, subtitles, deinterlacing (from its title's scan,
    // when there is one), the preview and the run's notify callback.
    ConversionEngine::BuildOptions BuildOptionsFor(const RunTask& t, const TitleScanResult* scan);
    // `why`: the failure the graph reported (an encrypted stretch is said as such).
    void CompleteCurrent(bool failed, HRESULT why = S_OK);
    // The next task after `from` to convert, or the end.
    std::size_t NextTask(std::size_t from) const;
    void Finish();
    // Notes what of the disc no file holds, when the run converted its main title.
    void NoteUnreached();
    // Keeps what the finished task's sink could not fill, on the file's time line.
    void NoteDamage(CConvFilter& sink);
    // Closes the current file and puts it into place (PlaceFile); false when it is not placed.
    bool CloseFile(FileEnd end);
    // The subtitles a placed file's reader read into text: their SubRip files beside it, and
    // what the reading came to, said.
    void KeepText(const std::string& file);
    // Opens the current file: a new part beside its name, with the container's header.
    bool OpenFile(const RunTask& task, std::string* why);
    // The chapter marks and labels of the file that begins with the current task: its own, or,
    // merged, those of every task that follows into the file.
    FileMarks MarksOfFile(const RunTask& first);
    // Puts the current task's chapter marks where it begins in its file (`at`, 100 ns), or, when
    // `at` is negative, leaves them out.
    void PlaceTaskChapters(REFERENCE_TIME at);
    // The sound tracks a task converts (SoundTracksOf).
    std::vector<std::int32_t> TracksOf(const RunTask& task) const;
    std::vector<std::int32_t> SubtitlesOf(const RunTask& task) const;
    // The scan of a task's title when the run wants one (automatic deinterlacing at the source's
    // rate, automatic crop), made once per title; null otherwise.
    const TitleScanResult* ScanOf(const RunTask& task);
    // The profile a file is written with: the rate and the frame its first task's picture takes
    // (the source's own size, a width with square pixels, or the shape an automatic crop leaves),
    // and the shape it is shown at.
    WriterSettings FileProfile(const RunTask& first, AspectRatio* shown);
    // The picture settings a task converts with: the run's, on its own picture.
    PictureSettings PictureOfTask(const RunTask& task) const;
    // Whether a task's title has no sound (its record lists no audio track).
    bool Silent(const RunTask& task) const;
    // Says a notice once in a run.
    void SayOnce(const std::string& text);
    void Fail(const std::string& message);
    std::int64_t Now() const { return m_clock(); }

    std::shared_ptr<SourceDisc> m_disc;
    std::vector<RunTask> m_tasks;
    RunSettings m_settings;
    MessageFn m_message;
    Clock m_clock;
    ConversionEngine m_engine;
    PartFile m_part; // where the current file is written until it is finished

    std::size_t m_current = 0;
    bool m_newFile = true;
    bool m_fileOpen = false;
    std::string m_filePath;
    IfNameTaken m_ifNameTaken = IfNameTaken::kKeepBothAndSay; // the open file's
    double m_totalSeconds = 0;
    double m_doneSeconds = 0;
    bool m_running = false;
    bool m_started = false;
    bool m_finished = false;
    bool m_cancelled = false;
    // Where a cancelled run stopped, so that its last progress does not fall back.
    REFERENCE_TIME m_stoppedPosition = 0;
    REFERENCE_TIME m_stoppedDuration = 0;
    // The run's clock: it runs from Start to the end and stands still while paused.
    bool m_clockOn = false;
    std::int64_t m_clockTick = 0;
    std::int64_t m_clockCarried = 0;
    void StopClock();
    std::vector<std::string> m_files;
    std::vector<std::string> m_textFiles;
    int m_textFilesFailed = 0;
    std::vector<FileText> m_textReports;
    std::vector<std::string> m_textNotes;
    DamageReport m_damage;
    std::vector<std::string> m_unreached;
    REFERENCE_TIME m_fileOffset = 0; // where the current task begins in its (merged) file
    // For each chapter mark of the open file: the task it belongs to and its start in that task.
    struct TaskChapter {
        std::size_t task;
        REFERENCE_TIME start;
    };
    std::vector<TaskChapter> m_fileChapters;
    int m_failed = 0;
    int m_unusable = 0;
    std::vector<std::string> m_said;
    std::map<int, TitleScanResult> m_scans; // by title
    // Two passes (the profile's kTwoPass): each file's tasks are encoded once into a file that is
    // thrown away, for the encoder's statistics, then again into the file itself.
    bool TwoPass() const;
    // Closes the first pass's file; false when it failed.
    bool CloseFirstPass();
    int m_pass = 0;                  // 0: one pass; 1 or 2: the pass of the current file
    bool m_firstPassOpen = false;
    std::size_t m_fileFirstTask = 0; // where the current file's tasks begin
    PassFolder m_passFolder;         // the statistics of the passes, removed when the run ends
};
