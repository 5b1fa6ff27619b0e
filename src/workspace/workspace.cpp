// SPDX-License-Identifier: GPL-2.0-or-later
#include "workspace/workspace.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "com/debug_log.h"

namespace {

WorkspaceEvent Cancelled(Workspace::Job job, const std::string& path, int title)
{
    WorkspaceEvent event;
    event.kind = WorkspaceEventKind::kCancelled;
    event.job = job;
    event.path = path;
    event.title = title;
    return event;
}

} // namespace

Workspace::Steps Workspace::DiscSteps()
{
    Steps steps;
    steps.open = [](const std::string& path, std::string* why) { return SourceDisc::Open(path, why); };
    steps.scan = [](const std::shared_ptr<SourceDisc>& disc, int title, std::stop_token stop) {
        return ScanTitle(disc, title, std::move(stop));
    };
    return steps;
}

Workspace::Workspace(std::function<void()> notify, Steps steps)
    : m_notify(std::move(notify)), m_steps(std::move(steps)), m_worker([this](std::stop_token end) { Work(std::move(end)); })
{
}

Workspace::~Workspace()
{
    {
        std::lock_guard lock(m_lock);
        m_waiting.clear();
        for (Step& step : m_current) step.stop.request_stop();
    }
    m_worker.request_stop();
    m_worker.join();
}

Workspace::Job Workspace::Queue(Step step)
{
    step.job = ++m_lastJob;
    const Job job = step.job;
    {
        std::lock_guard lock(m_lock);
        m_waiting.push_back(std::move(step));
    }
    m_changed.notify_all();
    return job;
}

Workspace::Job Workspace::Load(const std::string& path, std::optional<double> shortestMs)
{
    // One disc is loaded at a time: the newest load wins.
    std::vector<Job> loads;
    {
        std::lock_guard lock(m_lock);
        for (const Step& step : m_waiting)
            if (step.load) loads.push_back(step.job);
        for (const Step& step : m_current)
            if (step.load) loads.push_back(step.job);
    }
    for (const Job job : loads) Cancel(job);
    Step step;
    step.load = true;
    step.path = path;
    step.shortestMs = shortestMs;
    return Queue(std::move(step));
}

Workspace::Job Workspace::Scan(std::shared_ptr<SourceDisc> disc, int title)
{
    Step step;
    step.disc = std::move(disc);
    step.title = title;
    return Queue(std::move(step));
}

Workspace::Job Workspace::Eject(Ejector eject)
{
    Step step;
    step.eject = std::move(eject);
    return Queue(std::move(step));
}

void Workspace::Cancel(Job job)
{
    bool posted = false;
    {
        std::lock_guard lock(m_lock);
        for (Step& step : m_current)
            if (step.job == job) step.stop.request_stop();
        // Ended, and not yet taken: the face never sees its result.
        for (WorkspaceEvent& event : m_events)
            if (event.job == job && event.kind != WorkspaceEventKind::kCancelled) event = Cancelled(event.job, event.path, event.title);
        const auto waiting = std::find_if(m_waiting.begin(), m_waiting.end(), [job](const Step& step) { return step.job == job; });
        if (waiting != m_waiting.end()) {
            m_events.push_back(Cancelled(job, waiting->path, waiting->title));
            m_waiting.erase(waiting);
            posted = true;
        }
    }
    if (posted) {
        m_changed.notify_all();
        if (m_notify) m_notify();
    }
}

void Workspace::CancelAll()
{
    std::vector<Job> jobs;
    {
        std::lock_guard lock(m_lock);
        for (const Step& step : m_waiting) jobs.push_back(step.job);
        for (const Step& step : m_current) jobs.push_back(step.job);
    }
    for (const Job job : jobs) Cancel(job);
}

bool Workspace::Busy() const
{
    std::lock_guard lock(m_lock);
    return !m_waiting.empty() || !m_current.empty();
}

std::vector<WorkspaceEvent> Workspace::TakeEvents()
{
    std::vector<WorkspaceEvent> events;
    {
        std::lock_guard lock(m_lock);
        events.swap(m_events);
    }
    for (const WorkspaceEvent& event : events)
        if (event.kind == WorkspaceEventKind::kTitlesReady) {
            m_disc = event.disc;
            m_loadedPath = event.path;
        }
    return events;
}

void Workspace::Unload()
{
    m_disc.reset();
    m_loadedPath.clear();
}

std::vector<WorkspaceEvent> Workspace::WaitForEvents()
{
    {
        std::unique_lock lock(m_lock);
        m_changed.wait(lock, [this] { return !m_events.empty(); });
    }
    return TakeEvents();
}

void Workspace::Work(std::stop_token end)
{
    std::unique_lock lock(m_lock);
    for (;;) {
        if (!m_changed.wait(lock, end, [this] { return !m_waiting.empty(); })) return;
        m_current.push_back(std::move(m_waiting.front()));
        m_waiting.pop_front();
        const Step step = m_current.back(); // shares the stop state with the one Cancel sees
        lock.unlock();
        WorkspaceEvent event = Do(step);
        lock.lock();
        m_current.clear();
        // A step cancelled before its end gives nothing, whatever its work brought back.
        if (step.stop.stop_requested()) {
            DebugLog("workspace: step %llu cancelled\n", static_cast<unsigned long long>(step.job));
            event = Cancelled(step.job, step.path, step.title);
        }
        m_events.push_back(std::move(event));
        lock.unlock();
        m_changed.notify_all();
        if (m_notify) m_notify();
        lock.lock();
    }
}

WorkspaceEvent Workspace::Do(const Step& step)
{
    WorkspaceEvent event;
    event.job = step.job;
    event.path = step.path;
    event.title = step.title;
    try {
        if (step.load) {
            event.kind = WorkspaceEventKind::kLoadFailed;
            if (step.stop.stop_requested()) return event;
            event.disc = m_steps.open(step.path, &event.reason);
            if (!event.disc) return event;
            const DiscInfo& info = event.disc->Info();
            const auto listed = [&step](const TitleInfo& t) { return IsListedTitle(t, *step.shortestMs); };
            if (step.shortestMs && std::none_of(info.titles, info.titles + std::max(info.titleCount, 0), listed)) {
                event.disc.reset();
                event.noTitles = true;
                return event;
            }
            // The main title is chosen here, off the face's thread: it may walk the disc's
            // first-play commands.
            event.disc->MainTitle();
            event.kind = WorkspaceEventKind::kTitlesReady;
        } else if (step.eject) {
            // Once asked, the tray opens or not: an eject is not taken back.
            event.kind = WorkspaceEventKind::kEjectEnded;
            event.ejected = step.eject(&event.reason);
        } else {
            event.kind = WorkspaceEventKind::kScanReady;
            event.disc = step.disc;
            if (!step.stop.stop_requested()) event.scan = m_steps.scan(step.disc, step.title, step.stop.get_token());
        }
    } catch (const std::exception& failure) {
        // A step's failure is the step's, never the worker's end.
        DebugLog("workspace: step %llu failed: %s\n", static_cast<unsigned long long>(step.job), failure.what());
        event.kind = step.load    ? WorkspaceEventKind::kLoadFailed
                     : step.eject ? WorkspaceEventKind::kEjectEnded
                                  : WorkspaceEventKind::kScanReady;
        event.disc = step.load ? nullptr : step.disc;
        event.reason = failure.what();
    }
    return event;
}
