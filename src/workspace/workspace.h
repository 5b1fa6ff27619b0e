#pragma once
// Workspace: what the user works on — the loaded source — and the long steps on it: opening a
// disc (with the main-title choice, which may walk the disc's first-play commands) and scanning
// a title. The steps run one after the other on a worker thread of the workspace's own, so that
// whoever asks never waits for a disc; each can be cancelled.
//
// The desktop window and zuzidero-cli are two faces of it. A face asks (Load, Scan, Cancel) and
// is told by events. When events are waiting, the workspace calls the face's notify callback
// from the worker thread; the face then takes them on its own thread (TakeEvents): the window
// posts itself a call, the command line waits in WaitForEvents. A step that was cancelled ends
// with kCancelled and no result, whenever its work stops: what the face has not taken yet, it
// never sees.
//
// Threads: every method on the face's thread (one thread); the notify callback on the worker's.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "convert/source_disc.h"
#include "convert/title_scan.h"
#include "dvd/disc_info.h"
#include "workspace/title_tasks.h"

enum class WorkspaceEventKind {
    kTitlesReady, // a load ended with a disc that has titles to list: it is the loaded disc now
    kLoadFailed,  // a load ended without a disc (`reason`; `noTitles`)
    kScanReady,   // a scan ended (`title`, `scan`)
    kEjectEnded,  // an eject ended: `ejected`, or why not (`reason`)
    kCancelled,   // a step ended without its result, because it was cancelled
};

struct WorkspaceEvent {
    WorkspaceEventKind kind = WorkspaceEventKind::kCancelled;
    std::uint64_t job = 0;            // the step's, as Load or Scan gave it
    std::string path;                 // of a load
    std::string reason;               // why a load failed (the disc's words)
    bool noTitles = false;            // a load failed: the source opened, but has no title to list
    std::shared_ptr<SourceDisc> disc; // kTitlesReady; kScanReady: the disc scanned
    int title = -1;                   // kScanReady
    TitleScanResult scan;             // kScanReady
    bool ejected = false;             // kEjectEnded
};

class Workspace {
public:
    using Job = std::uint64_t;
    // The long steps themselves. Tests put a gate before them (a reader held until they let it go).
    struct Steps {
        std::function<std::shared_ptr<SourceDisc>(const std::string& path, std::string* why)> open;
        std::function<TitleScanResult(const std::shared_ptr<SourceDisc>& disc, int title, std::stop_token stop)> scan;
    };
    static Steps DiscSteps(); // SourceDisc::Open and ScanTitle

    explicit Workspace(std::function<void()> notify, Steps steps = DiscSteps());
    // Cancels what is under way and waits for the worker to let go of it.
    ~Workspace();
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    // Opens a source (a drive's device, a folder, an image or a file). Ends with kTitlesReady, or
    // kLoadFailed: it cannot be read, or (`noTitles`) it has no title of `shortestMs` or more
    // (none: any source that opens loads). A load started while another is under way cancels
    // that one.
    Job Load(const std::string& path, std::optional<double> shortestMs = kShortestListedTitleMs);
    // Opens a drive's tray (the device may take seconds to let its disc go: the desktop unmounts
    // it first). Let go of the disc first (Unload). Ends with kEjectEnded.
    using Ejector = std::function<bool(std::string* why)>;
    Job Eject(Ejector eject);
    // Scans a title of a disc for black bars and fields. Ends with kScanReady.
    Job Scan(std::shared_ptr<SourceDisc> disc, int title);
    // Cancels a step, waiting, under way, or ended with its event not yet taken: it ends with
    // kCancelled. A step whose event was taken is left alone.
    void Cancel(Job job);
    void CancelAll();
    // Whether a step is waiting or under way.
    bool Busy() const;

    // The events waiting, oldest first. kTitlesReady makes its disc the loaded one.
    std::vector<WorkspaceEvent> TakeEvents();
    // Waits until events are waiting, and takes them (a face without an event loop).
    std::vector<WorkspaceEvent> WaitForEvents();

    // Lets go of the loaded disc (a drive's tray opens only once nobody holds its disc).
    void Unload();
    // The loaded disc (the last load's that ended with titles), or null.
    const std::shared_ptr<SourceDisc>& Disc() const { return m_disc; }
    const std::string& LoadedPath() const { return m_loadedPath; }
    // The loaded source's titles with the user's choices (the face fills them from the disc).
    TitleTasks& Tasks() { return m_tasks; }
    const TitleTasks& Tasks() const { return m_tasks; }

private:
    struct Step {
        Job job = 0;
        bool load = false;
        std::string path;
        std::optional<double> shortestMs;
        std::shared_ptr<SourceDisc> disc;
        int title = -1;
        Ejector eject;
        std::stop_source stop;
    };
    void Work(std::stop_token end);
    WorkspaceEvent Do(const Step& step);
    void Post(WorkspaceEvent event);
    Job Queue(Step step);

    const std::function<void()> m_notify;
    const Steps m_steps;
    std::shared_ptr<SourceDisc> m_disc;
    std::string m_loadedPath;
    TitleTasks m_tasks;
    Job m_lastJob = 0;

    mutable std::mutex m_lock;
    std::condition_variable_any m_changed;     // a step queued, or an event posted
    std::deque<Step> m_waiting;                // guarded by m_lock
    std::vector<Step> m_current;               // the step under way (0 or 1); guarded by m_lock
    std::vector<WorkspaceEvent> m_events;      // guarded by m_lock
    std::jthread m_worker;                     // last: it starts once the rest is made
};
