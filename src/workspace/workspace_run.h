#pragma once
// WorkspaceRun: a ConversionRun on a worker thread of its own. Building a task's graph, scanning
// its title, handling the graph's events and finishing each file (draining the encoders) all
// happen there; whoever shows the run asks (Pause, Continue, Cancel, ShowPreview) and is told.
//
// When something changes (a file ended, a message, the after-conversion moment, the end), the
// run calls its notify callback from the worker; the face then takes the news on its own thread
// (TakeNews). Progress is read at any time without waiting: it is the run's own when the worker
// is idle, else the last one read.
//
// Threads: every method on the face's thread; the notify callback on the worker's.

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "convert/conversion_run.h"

class WorkspaceRun {
public:
    // `beforeStart` runs on the worker before the run starts (tests hold it at a gate).
    WorkspaceRun(std::shared_ptr<SourceDisc> disc, std::vector<RunTask> tasks, RunSettings settings, std::function<void()> notify,
                 std::function<void()> beforeStart = {});
    // Cancels a run under way (the part written so far is finished as a file) and waits for the
    // worker.
    ~WorkspaceRun();
    WorkspaceRun(const WorkspaceRun&) = delete;
    WorkspaceRun& operator=(const WorkspaceRun&) = delete;

    // Starts the worker: it starts the run's first task.
    void Start();
    void Pause();
    void Continue();
    // Stops: the run finishes the file written so far, and ends cancelled. Before the run has
    // started, it never starts.
    void Cancel();
    void ShowPreview(bool on);

    struct News {
        std::vector<std::string> messages; // the run's failure messages since the last news
        bool afterConversion = false;      // the last task is done: the after-conversion action
        bool finished = false;             // the run has ended (once)
    };
    News TakeNews();

    bool Finished() const;
    RunProgress Progress();
    // The run once it has ended (its files, damage, failures), else null.
    const ConversionRun* Ended() const;
    // The current task's sink (tests watch it), or null.
    ComPtr<CConvFilter> Sink();

private:
    enum class Command { kPause, kContinue, kCancel, kPreviewOn, kPreviewOff };
    void Work();
    // Does what was asked, in order; false once the run is cancelled.
    bool Obey(const std::vector<Command>& commands);
    void Ask(Command command);
    void Say(const std::function<void(News&)>& change);

    std::function<void()> m_notify;
    std::function<void()> m_beforeStart;
    ConversionRun m_run;       // the worker's while it goes (m_runLock); the face's once Finished
    std::mutex m_runLock;      // held by the worker while it is inside the run

    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_graphEvent = false; // guarded by m_lock
    std::vector<Command> m_commands; // guarded by m_lock
    bool m_cancelAsked = false;      // guarded by m_lock
    News m_news;               // guarded by m_lock
    bool m_finished = false;   // guarded by m_lock
    RunProgress m_lastProgress; // guarded by m_lock
    std::thread m_worker;
};
