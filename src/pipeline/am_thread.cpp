#include "pipeline/am_thread.h"

std::atomic<long> CAMThread::s_threadsAlive{0};

CAMThread::CAMThread() = default;

CAMThread::~CAMThread() { Close(); }

long CAMThread::ThreadsAlive() { return s_threadsAlive.load(); }

bool CAMThread::Create()
{
    if (m_thread.joinable()) return false;
    {
        std::lock_guard lock(m_mutex);
        m_requestPending = false;
        m_replyReady = false;
    }
    try {
        m_thread = std::thread([this] { ThreadProc(); });
    } catch (...) {
        return false;
    }
    ++s_threadsAlive;
    return true;
}

void CAMThread::Close()
{
    if (m_thread.joinable()) {
        m_thread.join();
        --s_threadsAlive;
    }
}

DWORD CAMThread::CallWorker(DWORD request)
{
    if (!m_thread.joinable()) return static_cast<DWORD>(E_UNEXPECTED);
    std::lock_guard caller(m_callerLock);
    std::unique_lock lock(m_mutex);
    m_request = request;
    m_requestPending = true;
    m_replyReady = false;
    m_cv.notify_all();
    m_cv.wait(lock, [this] { return m_replyReady; });
    m_replyReady = false;
    return m_reply;
}

DWORD CAMThread::GetRequest()
{
    std::unique_lock lock(m_mutex);
    m_cv.wait(lock, [this] { return m_requestPending; });
    m_requestPending = false;
    return m_request;
}

bool CAMThread::CheckRequest(DWORD* request)
{
    std::lock_guard lock(m_mutex);
    if (!m_requestPending) return false;
    if (request) *request = m_request;
    return true;
}

void CAMThread::Reply(DWORD result)
{
    std::lock_guard lock(m_mutex);
    m_reply = result;
    m_replyReady = true;
    m_cv.notify_all();
}
