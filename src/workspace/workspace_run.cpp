// SPDX-License-Identifier: GPL-2.0-or-later
#include "workspace/workspace_run.h"

#include <utility>

namespace {

RunSettings Notifying(RunSettings settings, std::function<void()> notify)
{
    settings.notify = std::move(notify);
    return settings;
}

} // namespace

WorkspaceRun::WorkspaceRun(std::shared_ptr<SourceDisc> disc, std::vector<RunTask> tasks, RunSettings settings,
                           std::function<void()> notify, std::function<void()> beforeStart)
    : m_notify(std::move(notify)),
      m_beforeStart(std::move(beforeStart)),
      m_run(std::move(disc), std::move(tasks),
            // The graphs' streaming threads wake the worker, which handles their events.
            Notifying(std::move(settings),
                      [this] {
                          {
                              std::lock_guard lock(m_lock);
                              m_graphEvent = true;
                          }
                          m_changed.notify_all();
                      }),
            [this](const std::string& text) { Say([&text](News& news) { news.messages.push_back(text); }); })
{
    m_run.onFinished = [this] { Say([](News& news) { news.afterConversion = true; }); };
}

WorkspaceRun::~WorkspaceRun()
{
    if (!m_worker.joinable()) return;
    Ask(Command::kCancel);
    m_worker.join();
}

void WorkspaceRun::Start()
{
    if (!m_worker.joinable()) m_worker = std::thread([this] { Work(); });
}

void WorkspaceRun::Ask(Command command)
{
    {
        std::lock_guard lock(m_lock);
        if (m_finished) return;
        m_commands.push_back(command);
        if (command == Command::kCancel) m_cancelAsked = true;
    }
    m_changed.notify_all();
}

void WorkspaceRun::Pause() { Ask(Command::kPause); }
void WorkspaceRun::Continue() { Ask(Command::kContinue); }
void WorkspaceRun::Cancel() { Ask(Command::kCancel); }
void WorkspaceRun::ShowPreview(bool on) { Ask(on ? Command::kPreviewOn : Command::kPreviewOff); }

void WorkspaceRun::Say(const std::function<void(News&)>& change)
{
    {
        std::lock_guard lock(m_lock);
        change(m_news);
    }
    if (m_notify) m_notify();
}

WorkspaceRun::News WorkspaceRun::TakeNews()
{
    std::lock_guard lock(m_lock);
    return std::exchange(m_news, News{});
}

bool WorkspaceRun::Finished() const
{
    std::lock_guard lock(m_lock);
    return m_finished;
}

RunProgress WorkspaceRun::Progress()
{
    // The run's own while the worker is out of it; the last one read while it is inside.
    std::unique_lock inside(m_runLock, std::try_to_lock);
    std::lock_guard lock(m_lock);
    if (inside.owns_lock() && (m_worker.joinable() || m_finished)) m_lastProgress = m_run.Progress();
    return m_lastProgress;
}

const ConversionRun* WorkspaceRun::Ended() const
{
    std::lock_guard lock(m_lock);
    return m_finished ? &m_run : nullptr;
}

ComPtr<CConvFilter> WorkspaceRun::Sink()
{
    std::lock_guard inside(m_runLock);
    return ComPtr<CConvFilter>(m_run.Engine().Sink());
}

bool WorkspaceRun::Obey(const std::vector<Command>& commands)
{
    for (const Command command : commands) switch (command) {
        case Command::kPause: m_run.Pause(); break;
        case Command::kContinue: m_run.Continue(); break;
        case Command::kPreviewOn: m_run.Engine().ShowPreview(true); break;
        case Command::kPreviewOff: m_run.Engine().ShowPreview(false); break;
        case Command::kCancel:
            // The part written so far is finished as a valid file.
            m_run.Cancel();
            return false;
        }
    return true;
}

void WorkspaceRun::Work()
{
    if (m_beforeStart) m_beforeStart();
    bool going = false;
    {
        std::unique_lock lock(m_lock);
        const bool cancelled = m_cancelAsked;
        lock.unlock();
        std::lock_guard inside(m_runLock);
        // A run cancelled before its start never starts (and so writes nothing).
        if (cancelled)
            m_run.Cancel();
        else
            going = m_run.Start() && !m_run.Finished();
    }
    while (going) {
        std::vector<Command> commands;
        {
            std::unique_lock lock(m_lock);
            m_changed.wait(lock, [this] { return m_graphEvent || !m_commands.empty(); });
            commands.swap(m_commands);
            m_graphEvent = false;
        }
        std::lock_guard inside(m_runLock);
        going = Obey(commands) && m_run.Step(0);
        const RunProgress progress = m_run.Progress();
        std::lock_guard lock(m_lock);
        m_lastProgress = progress;
    }
    {
        std::lock_guard inside(m_runLock);
        std::lock_guard lock(m_lock);
        m_lastProgress = m_run.Progress();
        m_finished = true;
        m_news.finished = true;
    }
    if (m_notify) m_notify();
}
