#pragma once
// CAMThread: a worker thread with a one-slot mailbox. CallWorker posts a request and blocks
// until the worker replies; the worker reads requests with GetRequest (waiting) or CheckRequest
// (polling) and answers with Reply. The owner makes ThreadProc return (usually with an exit
// request) and then joins with Close; the destructor joins too.

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "com/hresult.h"

class CAMThread {
public:
    CAMThread();
    virtual ~CAMThread();
    CAMThread(const CAMThread&) = delete;
    CAMThread& operator=(const CAMThread&) = delete;

    // Starts the thread; false when it already runs or cannot start.
    bool Create();
    // Waits for ThreadProc to return and joins the thread (owner's thread only).
    void Close();
    bool ThreadExists() const { return m_thread.joinable(); }

    // Posts `request` and blocks until the worker replies; returns the reply. Callers are
    // serialised. Returns E_UNEXPECTED when no thread runs.
    DWORD CallWorker(DWORD request);

    // Worker side: waits for the next request.
    DWORD GetRequest();
    // Worker side: true (and the request) when one is waiting, without blocking. The request
    // stays pending: GetRequest takes it.
    bool CheckRequest(DWORD* request);
    // Worker side: answers the current request.
    void Reply(DWORD result);

    // Threads started by CAMThread and not yet joined, in the whole process.
    static long ThreadsAlive();

protected:
    // The thread's body; its result is discarded.
    virtual DWORD ThreadProc() = 0;

private:
    std::thread m_thread;
    std::mutex m_callerLock; // serialises CallWorker
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_requestPending = false; // guarded by m_mutex
    bool m_replyReady = false;     // guarded by m_mutex
    DWORD m_request = 0;           // guarded by m_mutex
    DWORD m_reply = 0;             // guarded by m_mutex
    static std::atomic<long> s_threadsAlive;
};

// A CAMThread whose body is one member function of its owner; the function gets the thread, to
// read and answer the owner's requests.
template <class Owner>
class CMemberThread : public CAMThread {
public:
    using Loop = void (Owner::*)(CMemberThread&);
    CMemberThread(Owner* owner, Loop loop) : m_owner(owner), m_loop(loop) {}
    ~CMemberThread() override { Close(); }

protected:
    DWORD ThreadProc() override
    {
        (m_owner->*m_loop)(*this);
        return 0;
    }

private:
    Owner* const m_owner;
    const Loop m_loop;
};
