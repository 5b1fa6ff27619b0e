#pragma once
// Locks and events of the framework. CCritSec is re-entrant so that a filter may call its own
// locked operations (Stop from Pause, say) while holding its lock.

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
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

// A mutex for critical sections of a few instructions shared by busy threads (a packet queue, a
// pool): a thread that finds it held tries again for a moment before it sleeps, because the
// holder is about to let go and sleeping costs two system calls, the holder's wake included.
class ShortLock {
public:
    void lock()
    {
        for (int i = 0; i < kSpins; ++i) {
            if (m_mutex.try_lock()) return;
#if defined(__x86_64__) || defined(__i386__)
            __builtin_ia32_pause();
#endif
        }
        m_mutex.lock();
    }
    void unlock() { m_mutex.unlock(); }
    bool try_lock() { return m_mutex.try_lock(); }

private:
    static constexpr int kSpins = 64;
    std::mutex m_mutex;
};

// One thread sleeps until others have work for it. The sleeper says it goes to sleep, looks for
// work once more and only then sleeps; so a ring costs a system call only when the sleeper really
// sleeps, and neither side takes a lock (a condition variable's mutex costs a wake of its own
// every time the sleeper gets up). Work must be published before Ring, by a lock or an atomic
// that SleepUntil's `ready` reads. One sleeping thread at a time.
class WakeSignal {
public:
    template <class Ready>
    void SleepUntil(Ready ready)
    {
        while (!ready()) {
            m_asleep.store(1);
            if (ready()) {
                m_asleep.store(0);
                return;
            }
            // Returns at once when a ring came in between (the word is 0 again).
            syscall(SYS_futex, reinterpret_cast<int*>(&m_asleep), FUTEX_WAIT_PRIVATE, 1, nullptr, nullptr, 0);
        }
    }
    void Ring()
    {
        if (m_asleep.exchange(0) != 0)
            syscall(SYS_futex, reinterpret_cast<int*>(&m_asleep), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
    }

private:
    static_assert(sizeof(std::atomic<int>) == sizeof(int) && std::atomic<int>::is_always_lock_free);
    std::atomic<int> m_asleep{0};
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
