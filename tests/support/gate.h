#pragma once
// A gate a step waits at (on any thread) until the test opens it; the test can wait until a step
// has reached it. Tests hold a disc read or a scan there to see that whoever asked is free.

#include <condition_variable>
#include <functional>
#include <mutex>

namespace testing_filters {

class Gate {
public:
    // The step's side: says it is here, and waits until the gate is open.
    void Pass()
    {
        std::unique_lock lock(m_lock);
        ++m_reached;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_open; });
    }
    // Waits until `times` steps have reached the gate.
    void WaitReached(int times = 1)
    {
        std::unique_lock lock(m_lock);
        m_changed.wait(lock, [this, times] { return m_reached >= times; });
    }
    void Open()
    {
        std::lock_guard lock(m_lock);
        m_open = true;
        m_changed.notify_all();
    }
    int Reached()
    {
        std::lock_guard lock(m_lock);
        return m_reached;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    int m_reached = 0;
    bool m_open = false;
};

// Counts the calls of a notify callback (from any thread), and waits for them.
class Told {
public:
    std::function<void()> Callback()
    {
        return [this] {
            std::lock_guard lock(m_lock);
            ++m_count;
            m_changed.notify_all();
        };
    }
    // Waits until the callback has been called `times` times in all.
    void Wait(int times)
    {
        std::unique_lock lock(m_lock);
        m_changed.wait(lock, [&] { return m_count >= times; });
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    int m_count = 0;
};

// Opens a gate as it goes: declared after what waits at the gate, it lets the step end before
// that is torn down.
class OpenAtEnd {
public:
    explicit OpenAtEnd(Gate& gate) : m_gate(gate) {}
    ~OpenAtEnd() { m_gate.Open(); }
    OpenAtEnd(const OpenAtEnd&) = delete;
    OpenAtEnd& operator=(const OpenAtEnd&) = delete;

private:
    Gate& m_gate;
};

} // namespace testing_filters
