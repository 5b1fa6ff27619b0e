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
#include "convert/title_scan.h"
#include "write/part_file.h"

// What a finished file does when its name is taken in the output folder (by an old file, or
// one that appeared while it was converted).
enum class IfNameTaken {
    kKeepBothAndSay, // the new file goes beside it as "NAME (2).EXT", and the run says so
    kReplace,        // the old file is replaced by the whole new one
    kKeepBoth,       // the new file goes beside it as "NAME (2).EXT" (the user chose so)
};

struct RunTask {
    ConversionTask task;
    std::string outputName; // as the title list shows it, e.g. "Title_01.mp4"
    bool checked = true;
    IfNameTaken ifNameTaken = IfNameTaken::kKeepBothAndSay; // RunSettings::overwrite makes every task kReplace
};

// Whether a task is converted: checked, and of some length (a range that holds nothing is
// passed over).
bool TakesPart(const RunTask& task);
// The names of the files a run of these tasks writes, in order: one per task that takes part,
// or, merged, the first such task's alone.
std::vector<std::string> RunOutputNames(const std::vector<RunTask>& tasks, bool merge);

struct RunSettings {
    WriterSettings profile{};
    // The profile's lists of values (named in the message when a setting cannot be encoded).
    ProfileRecord choices;
    std::string outputFolder;
    bool merge = false;
    // The picture settings last applied in the editor: every task of the run takes them.
    PictureSettings picture;
    // The chosen tracks for tasks that have none of their own (audio 0: each title's first listed
    // track; subtitle 0: the splitter's choice).
    std::int32_t selectedAudioStreamId = 0;
    std::int32_t selectedSubtitleId = 0;
    // False: no subpicture is burned in.
    bool subtitles = true;
    // Whether the profile's files keep several sound streams (TakesSeveralSoundStreams); when
    // not, each task's first track alone is converted, and the run says so once.
    bool severalSoundStreams = false;
    // With the profile's audio codec "copy" (Same as source): tracks the container cannot hold
    // as they are get this encoder, at the profile's settings.
    std::string soundFallback = "aac";
    // Subpicture streams kept as the file's subtitle streams (where the container holds them):
    // none, each task's chosen one, all of each title's, or those each task lists.
    enum class SubtitleTracks { kNone, kChosen, kAll, kListed };
    SubtitleTracks subtitleTracks = SubtitleTracks::kNone;
    // How pictures are deinterlaced: kDeinterlaceAuto, On or Off. Auto, with the title's own rate
    // (the profile's FrameRate 0) or 23.976, decides per title from a scan of its pictures:
    // telecined film becomes its 23.976 pictures again, interlaced pictures are deinterlaced,
    // progressive ones pass; with another rate, the pictures marked as interlaced are deinterlaced.
    std::int32_t deinterlace = 0;
    // Each title's black bars are found by a scan and cropped; the file's frame takes the shape
    // of what remains (where the format allows other frame sizes).
    bool autoCrop = false;
    // The progress window's preview renderer for every task's graph; none converts without.
    IBaseFilter* preview = nullptr;
    // Called, on any thread, whenever a task's graph has an event for Step: a window posts itself
    // a call to Step instead of polling.
    GraphNotifyCallback notify;
    // A finished file replaces one of its name (the user agreed to it); otherwise a file that is
    // there when the conversion ends, even one that appeared meanwhile, stays, and the new one
    // goes beside it (each task's IfNameTaken).
    bool overwrite = false;
    // Picks the temporary names tried ("NAME.XXXXXX.part"); 0 random (tests fix it).
    std::uint64_t partNameSeed = 0;
};

// Why a merged run of these tasks cannot be made, or empty: merged titles must bring the same
// number of sound tracks, since they share the file's sound streams.
std::string MergeRefusal(const std::vector<RunTask>& tasks, const RunSettings& settings);
// The sound tracks a task converts, in order: its first (its own choice, the run's, or the
// title's first listed) and, where the profile keeps several, the further ones the title has.
std::vector<std::int32_t> SoundTracksOf(const RunTask& task, const TitleInfo& title, const RunSettings& settings);

// The subpicture streams a task keeps as subtitle streams, in order (none where the file's
// container holds none).
// `heldOnly` false: also those the container cannot hold (to say so).
std::vector<std::int32_t> SubtitleTracksOf(const RunTask& task, const TitleInfo& title, const RunSettings& settings,
                                           const std::string& extension, DiscKind kind, bool heldOnly = true);

// What of a written file could not be read from the disc: stretches of the file's own time line.
struct FileDamage {
    std::string file; // the path written
    std::vector<LostStretch> lost;
    REFERENCE_TIME Total() const;
};
// "Title_01.mp4: 7.2 s could not be read, at 00:00:15–00:00:22, 00:01:03–00:01:04".
std::string DamageText(const FileDamage& damage);

// The two-pass statistics folders in the temporary folder ("zuzidero-passes-XXXXXX") whose run
// was killed (their lock file's lock is free): removed; their paths. Every run calls it as it
// starts; `temporaryFolder` empty is the system's.
std::vector<std::string> RemoveDeadPassFolders(const std::string& temporaryFolder = {});
constexpr const char* kPassFolderPrefix = "zuzidero-passes-";
constexpr const char* kPassFolderLock = "lock";

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
    // The written files that lack parts the disc could not give, in the order they were written.
    const std::vector<FileDamage>& Damage() const { return m_damage; }
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
    // How a file ends: finished (moved into place), cancelled (beside its name as "NAME
    // (partial).EXT", so that a finished name always means a whole file), or discarded (removed).
    enum class FileEnd { kComplete, kCancelled, kDiscard };
    bool CloseFile(FileEnd end);
    // Forgets the damage noted for the file being closed (it is not written after all).
    void DropDamage();
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
    // Why the copied streams of the merged tasks cannot share one file, or empty.
    std::string CopyMergeRefusal() const;
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
    std::vector<FileDamage> m_damage;
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
    // The statistics file of the current file's passes, in the run's temporary folder (made when
    // first asked; empty when it cannot be made).
    std::string StatsPath();
    int m_pass = 0;                  // 0: one pass; 1 or 2: the pass of the current file
    bool m_firstPassOpen = false;
    std::size_t m_fileFirstTask = 0; // where the current file's tasks begin
    std::string m_passFolder;        // removed when the run ends
    int m_passLock = -1;             // the folder's lock, held while the run lives
    void RemovePassFolder();
};
