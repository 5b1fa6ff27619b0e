#include "dvd/async_io.h"

#include "pipeline/crit_sec.h"

class AsyncIo::Worker : public CAMThread {
public:
    explicit Worker(AsyncIo* io) : m_io(io) {}
    ~Worker() override { Close(); }

protected:
    DWORD ThreadProc() override
    {
        m_io->WorkerLoop();
        return 0;
    }

private:
    AsyncIo* m_io;
};

namespace {
// Pops the front of a FIFO kept in a vector with a head index. The vector is compacted in place
// (no allocation) when it empties or when the consumed part dominates.
template <class T>
T PopFront(std::vector<T>& fifo, std::size_t& head)
{
    T value = fifo[head++];
    if (head == fifo.size()) {
        fifo.clear();
        head = 0;
    } else if (head >= 64 && head * 2 >= fifo.size()) {
        fifo.erase(fifo.begin(), fifo.begin() + static_cast<std::ptrdiff_t>(head));
        head = 0;
    }
    return value;
}
} // namespace

AsyncIo::AsyncIo(CAsyncStream* stream) : m_stream(stream) {}

AsyncIo::~AsyncIo() { Shutdown(); }

void AsyncIo::Shutdown()
{
    std::unique_ptr<Worker> worker;
    {
        std::lock_guard lock(m_lock);
        m_terminate = true;
        worker = std::move(m_worker);
    }
    m_workAvailable.notify_all();
    worker.reset(); // joins
}

bool AsyncIo::IsAligned(LONGLONG value) const
{
    const LONGLONG alignment = m_stream->Alignment();
    return alignment <= 1 || value % alignment == 0;
}

AsyncIo::Item* AsyncIo::TakeFreeItem()
{
    if (m_free.empty()) {
        m_items.push_back(std::make_unique<Item>());
        return m_items.back().get();
    }
    Item* item = m_free.back();
    m_free.pop_back();
    return item;
}

void AsyncIo::ReturnItem(Item* item)
{
    *item = Item{};
    m_free.push_back(item);
}

HRESULT AsyncIo::Request(LONGLONG position, LONG length, BOOL aligned, BYTE* buffer, void* context, DWORD_PTR user)
{
    if (aligned && (!IsAligned(position) || !IsAligned(length) || !IsAligned(reinterpret_cast<LONGLONG>(buffer))))
        return VFW_E_BADALIGN;
    {
        std::lock_guard lock(m_lock);
        if (m_flushing || m_terminate) return VFW_E_WRONG_STATE;
        if (!m_worker) {
            m_worker = std::make_unique<Worker>(this);
            if (!m_worker->Create()) {
                m_worker.reset();
                return E_OUTOFMEMORY;
            }
        }
        Item* item = TakeFreeItem();
        *item = Item{position, length, aligned, buffer, context, user, S_OK, 0};
        m_pending.push_back(item);
    }
    m_workAvailable.notify_one();
    return S_OK;
}

void AsyncIo::WorkerLoop()
{
    std::unique_lock lock(m_lock);
    for (;;) {
        m_workAvailable.wait(lock, [this] { return m_terminate || m_pendingHead < m_pending.size(); });
        if (m_terminate) return;
        Item* item = PopFront(m_pending, m_pendingHead);
        ++m_inProgress;
        lock.unlock();
        item->result = ReadNow(item->position, item->length, item->aligned, item->buffer, &item->actual);
        lock.lock();
        --m_inProgress;
        m_done.push_back(item);
        m_doneAvailable.notify_all();
    }
}

HRESULT AsyncIo::WaitForNext(DWORD msTimeout, void** context, DWORD_PTR* user, LONG* actual)
{
    if (!context || !user || !actual) return E_POINTER;
    *context = nullptr;
    *user = 0;
    *actual = 0;
    std::unique_lock lock(m_lock);
    auto ready = [this] {
        return m_doneHead < m_done.size() ||
               (m_flushing && m_pendingHead == m_pending.size() && m_inProgress == 0);
    };
    if (msTimeout == INFINITE) {
        m_doneAvailable.wait(lock, ready);
    } else if (!m_doneAvailable.wait_for(lock, std::chrono::milliseconds(msTimeout), ready)) {
        return VFW_E_TIMEOUT;
    }
    if (m_doneHead == m_done.size()) return VFW_E_WRONG_STATE; // flushing, nothing to give back

    Item* item = PopFront(m_done, m_doneHead);
    *context = item->context;
    *user = item->user;
    *actual = item->actual;
    HRESULT result = item->result;
    if (result == S_FALSE) {
        // A short read is fine at the end of the stream only.
        const LONGLONG total = m_stream->Size();
        result = item->position + item->actual == total ? S_OK : E_FAIL;
    }
    ReturnItem(item);
    return result;
}

HRESULT AsyncIo::ReadNow(LONGLONG position, LONG length, BOOL aligned, BYTE* buffer, LONG* actual)
{
    *actual = 0;
    if (length <= 0) return length == 0 ? S_FALSE : E_INVALIDARG;
    CAsyncStreamLock streamLock(m_stream);
    HRESULT hr = m_stream->SetPointer(position);
    if (FAILED(hr)) return hr;
    DWORD got = 0;
    hr = m_stream->Read(buffer, static_cast<DWORD>(length), aligned, &got);
    *actual = static_cast<LONG>(got);
    if (FAILED(hr)) return hr;
    return got == static_cast<DWORD>(length) ? S_OK : S_FALSE;
}

HRESULT AsyncIo::SyncReadAligned(LONGLONG position, LONG length, BYTE* buffer, LONG* actual)
{
    if (!actual) return E_POINTER;
    if (!IsAligned(position) || !IsAligned(length) || !IsAligned(reinterpret_cast<LONGLONG>(buffer)))
        return VFW_E_BADALIGN;
    return ReadNow(position, length, TRUE, buffer, actual);
}

HRESULT AsyncIo::SyncRead(LONGLONG position, LONG length, BYTE* buffer)
{
    if (!buffer) return E_POINTER;
    LONG actual = 0;
    return ReadNow(position, length, FALSE, buffer, &actual);
}

HRESULT AsyncIo::Length(LONGLONG* total, LONGLONG* available)
{
    if (!total || !available) return E_POINTER;
    *total = m_stream->Size(available);
    return S_OK;
}

HRESULT AsyncIo::Alignment(LONG* alignment)
{
    if (!alignment) return E_POINTER;
    *alignment = static_cast<LONG>(m_stream->Alignment());
    return S_OK;
}

HRESULT AsyncIo::BeginFlush()
{
    {
        std::lock_guard lock(m_lock);
        m_flushing = true;
        // Pending requests complete at once, failed, so that their samples come back.
        while (m_pendingHead < m_pending.size()) {
            Item* item = PopFront(m_pending, m_pendingHead);
            item->result = VFW_E_WRONG_STATE;
            item->actual = 0;
            m_done.push_back(item);
        }
    }
    m_doneAvailable.notify_all();
    return S_OK;
}

HRESULT AsyncIo::EndFlush()
{
    {
        std::lock_guard lock(m_lock);
        m_flushing = false;
    }
    m_doneAvailable.notify_all();
    return S_OK;
}
