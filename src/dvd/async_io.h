#pragma once
// AsyncIo: serves a reader's IAsyncReader requests from a CAsyncStream. Asynchronous requests are
// queued and completed one by one by a worker thread (started with the first request, joined by
// the destructor); synchronous reads run on the caller's thread. Both lock the stream around
// setting the position and reading.
//
// Request records are kept in a pool and reused: nothing is allocated per request once the pool
// has grown to the number of requests in flight.

#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "dvd/async_stream.h"
#include "pipeline/am_thread.h"

class AsyncIo {
public:
    // `stream` must stay alive until Shutdown (or the destructor) has returned.
    explicit AsyncIo(CAsyncStream* stream);
    ~AsyncIo();
    // Ends and joins the worker thread; later requests fail. Owner's thread.
    void Shutdown();
    AsyncIo(const AsyncIo&) = delete;
    AsyncIo& operator=(const AsyncIo&) = delete;

    // Queues a read of `length` bytes at `position` into `buffer`. `context` and `user` come back
    // with the completion. VFW_E_WRONG_STATE while flushing, VFW_E_BADALIGN for a misaligned
    // aligned request.
    HRESULT Request(LONGLONG position, LONG length, BOOL aligned, BYTE* buffer, void* context, DWORD_PTR user);
    // The next completed request. A short read is S_OK when it ended exactly at the end of the
    // stream, E_FAIL otherwise. VFW_E_WRONG_STATE while flushing with nothing left to return,
    // VFW_E_TIMEOUT after msTimeout.
    HRESULT WaitForNext(DWORD msTimeout, void** context, DWORD_PTR* user, LONG* actual);
    HRESULT SyncReadAligned(LONGLONG position, LONG length, BYTE* buffer, LONG* actual);
    // S_FALSE when fewer than `length` bytes came.
    HRESULT SyncRead(LONGLONG position, LONG length, BYTE* buffer);
    HRESULT Length(LONGLONG* total, LONGLONG* available);
    HRESULT Alignment(LONG* alignment);
    // Fails every pending request (waiters get them back) and refuses new ones until EndFlush.
    HRESULT BeginFlush();
    HRESULT EndFlush();

    bool IsAligned(LONGLONG value) const;

private:
    struct Item {
        LONGLONG position = 0;
        LONG length = 0;
        BOOL aligned = FALSE;
        BYTE* buffer = nullptr;
        void* context = nullptr;
        DWORD_PTR user = 0;
        HRESULT result = S_OK;
        LONG actual = 0;
    };
    class Worker;
    friend class Worker;

    void WorkerLoop();
    // Reads on the calling thread: S_OK, S_FALSE for a short read, or a failure.
    HRESULT ReadNow(LONGLONG position, LONG length, BOOL aligned, BYTE* buffer, LONG* actual);
    Item* TakeFreeItem();          // m_lock held
    void ReturnItem(Item* item);   // m_lock held

    CAsyncStream* const m_stream;
    std::mutex m_lock;
    std::condition_variable m_workAvailable;
    std::condition_variable m_doneAvailable;
    std::vector<std::unique_ptr<Item>> m_items; // every record ever made, guarded by m_lock
    std::vector<Item*> m_free;                  // guarded by m_lock
    std::vector<Item*> m_pending;               // guarded by m_lock, FIFO from m_pendingHead
    std::size_t m_pendingHead = 0;              // guarded by m_lock
    std::vector<Item*> m_done;                  // guarded by m_lock, FIFO from m_doneHead
    std::size_t m_doneHead = 0;                 // guarded by m_lock
    int m_inProgress = 0;                       // guarded by m_lock
    bool m_flushing = false;                    // guarded by m_lock
    bool m_terminate = false;                   // guarded by m_lock
    std::unique_ptr<Worker> m_worker;           // created under m_lock
};
