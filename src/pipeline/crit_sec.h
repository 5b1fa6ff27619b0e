#pragma once
// Locks and events of the framework. CCritSec is re-entrant so that a filter may call its own
// locked operations (Stop from Pause, say) while holding its lock.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "com/hresult.h"

class CCritSec {
public:
    CCritSec() = default;
    CCritSec(const CCritSec&) = delete;
    CCritSec& operator=(const CCritSec&) = delete;

    void Lock() { m_mutex.lock(); }
    void Unlock() { m_mutex.unlock(); }
    // Standard lockable names so std::unique_lock and std::condition_variable_any work on it.
    void lock() { m_mutex.lock(); }
    void unlock() { m_mutex.unlock(); }
    bool try_lock() { return m_mutex.try_lock(); }

private:
    std::recursive_mutex m_mutex;
};

// Holds a CCritSec for its scope.
class CAutoLock {
public:
    explicit CAutoLock(CCritSec* lock) : m_lock(lock) { m_lock->Lock(); }
    ~CAutoLock() { m_lock->Unlock(); }
    CAutoLock(const CAutoLock&) = delete;
    CAutoLock& operator=(const CAutoLock&) = delete;

private:
    CCritSec* m_lock;
};

constexpr DWORD INFINITE = 0xFFFFFFFF;

// A signalled/unsignalled flag threads can wait on. An auto-reset event releases one waiter
// and clears itself; a manual-reset event stays set until Reset.
class CAMEvent {
public:
    explicit CAMEvent(bool manualReset = false) : m_manualReset(manualReset) {}
    CAMEvent(const CAMEvent&) = delete;
    CAMEvent& operator=(const CAMEvent&) = delete;

    void Set()
    {
        // Notified under the lock: a waiter that wakes may destroy the event at once (an event
        // on its stack, signalled by a clock), which must not happen while this call still uses it.
        std::lock_guard lock(m_mutex);
        m_signalled = true;
        if (m_manualReset)
            m_cv.notify_all();
        else
            m_cv.notify_one();
    }
    void Reset()
    {
        std::lock_guard lock(m_mutex);
        m_signalled = false;
    }
    // Waits up to `ms` milliseconds (INFINITE for ever); true when the event was signalled.
    bool Wait(DWORD ms = INFINITE)
    {
        std::unique_lock lock(m_mutex);
        auto ready = [this] { return m_signalled; };
        if (ms == INFINITE)
            m_cv.wait(lock, ready);
        else if (!m_cv.wait_for(lock, std::chrono::milliseconds(ms), ready))
            return false;
        if (!m_manualReset) m_signalled = false;
        return true;
    }
    // True when signalled now, without waiting (an auto-reset event is consumed).
    bool Check() { return Wait(0); }
    // True when signalled now; the signal stays.
    bool Peek()
    {
        std::lock_guard lock(m_mutex);
        return m_signalled;
    }

private:
    const bool m_manualReset;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_signalled = false; // guarded by m_mutex
};
