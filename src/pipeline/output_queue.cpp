#include "pipeline/output_queue.h"

#include <new>

class OutputQueue::Worker : public CAMThread {
public:
    explicit Worker(OutputQueue* queue) : m_queue(queue) {}
    ~Worker() override { Close(); }

protected:
    DWORD ThreadProc() override
    {
        m_queue->ThreadLoop();
        return 0;
    }

private:
    OutputQueue* m_queue;
};

OutputQueue::OutputQueue(IPin* inputPin, HRESULT* phr, bool autoQueue, bool queue, LONG batchSize, bool batchExact,
                         LONG listSize)
    : CBaseObject("OutputQueue"), m_pin(inputPin), m_batchExact(batchExact),
      m_batchSize(batchSize > 0 ? batchSize : 1), m_listSize(listSize > 0 ? listSize : kDefaultListSize)
{
    HRESULT hr = QueryInterfaceTo(inputPin, m_inputPin);
    if (SUCCEEDED(hr)) {
        m_batch.assign(static_cast<std::size_t>(m_batchSize), nullptr);
        m_ring.resize(static_cast<std::size_t>(m_listSize) + 4);
        bool useThread = queue;
        if (autoQueue) useThread = m_inputPin->ReceiveCanBlock() == S_OK;
        if (useThread) {
            m_worker = new (std::nothrow) Worker(this);
            if (!m_worker || !m_worker->Create()) {
                delete m_worker;
                m_worker = nullptr;
                hr = E_OUTOFMEMORY;
            }
        }
    }
    if (phr && FAILED(hr)) *phr = hr;
}

OutputQueue::~OutputQueue()
{
    if (m_worker) {
        {
            std::lock_guard lock(m_lock);
            m_terminate = true;
        }
        m_wake.notify_all();
        m_space.notify_all();
        delete m_worker; // joins
        m_worker = nullptr;
    }
    std::lock_guard lock(m_lock);
    DiscardList();
    for (LONG i = 0; i < m_batched; ++i) m_batch[static_cast<std::size_t>(i)]->Release();
    m_batched = 0;
}

void OutputQueue::Push(const Entry& entry)
{
    if (m_used == m_ring.size()) {
        // Control entries may exceed the sample bound: grow the ring, keeping the order.
        std::vector<Entry> bigger(m_ring.size() * 2);
        for (std::size_t i = 0; i < m_used; ++i) bigger[i] = m_ring[(m_head + i) % m_ring.size()];
        m_ring.swap(bigger);
        m_head = 0;
    }
    m_ring[(m_head + m_used) % m_ring.size()] = entry;
    ++m_used;
    if (entry.kind == EntryKind::Sample) ++m_queuedSamples;
}

OutputQueue::Entry OutputQueue::Pop()
{
    Entry entry = m_ring[m_head];
    m_ring[m_head] = Entry{};
    m_head = (m_head + 1) % m_ring.size();
    --m_used;
    if (entry.kind == EntryKind::Sample) --m_queuedSamples;
    return entry;
}

void OutputQueue::DiscardList()
{
    while (m_used > 0) {
        Entry entry = Pop();
        if (entry.sample) entry.sample->Release();
    }
}

HRESULT OutputQueue::Receive(IMediaSample* sample)
{
    LONG processed = 0;
    return ReceiveMultiple(&sample, 1, &processed);
}

HRESULT OutputQueue::ReceiveMultiple(IMediaSample** samples, LONG count, LONG* processed)
{
    if (processed) *processed = 0;
    if (!m_worker) {
        // Direct delivery on the caller's thread.
        HRESULT result = S_OK;
        for (LONG i = 0; i < count; ++i) {
            {
                std::lock_guard lock(m_lock);
                result = m_flushing ? S_FALSE : m_hr;
            }
            if (result != S_OK) {
                samples[i]->Release();
                continue;
            }
            DeliverDirect(Entry{EntryKind::Sample, samples[i]});
            if (processed) ++*processed;
        }
        std::lock_guard lock(m_lock);
        return m_flushing ? S_FALSE : m_hr;
    }

    std::unique_lock lock(m_lock);
    for (LONG i = 0; i < count; ++i) {
        m_space.wait(lock, [this] { return m_queuedSamples < m_listSize || m_flushing || m_terminate; });
        if (m_flushing || m_terminate || m_hr != S_OK) {
            samples[i]->Release();
            continue;
        }
        Push(Entry{EntryKind::Sample, samples[i]});
        if (processed) ++*processed;
    }
    const HRESULT result = m_flushing ? S_FALSE : m_hr;
    lock.unlock();
    m_wake.notify_one();
    return result;
}

void OutputQueue::EOS()
{
    {
        std::lock_guard lock(m_lock);
        // An end of stream sent during a flush belongs to the data being flushed.
        if (m_flushing) return;
        if (m_worker) Push(Entry{EntryKind::EndOfStream});
    }
    if (m_worker)
        m_wake.notify_one();
    else
        DeliverDirect(Entry{EntryKind::EndOfStream});
}

void OutputQueue::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    const Entry entry{EntryKind::NewSegment, nullptr, start, stop, rate};
    if (!m_worker) {
        DeliverDirect(entry);
        return;
    }
    {
        std::lock_guard lock(m_lock);
        Push(entry);
    }
    m_wake.notify_one();
}

void OutputQueue::SendAnyway()
{
    if (!m_worker) {
        DeliverDirect(Entry{EntryKind::SendAnyway});
        return;
    }
    {
        std::lock_guard lock(m_lock);
        Push(Entry{EntryKind::SendAnyway});
    }
    m_wake.notify_one();
}

void OutputQueue::BeginFlush()
{
    {
        std::lock_guard lock(m_lock);
        m_flushing = true;
        DiscardList();
        // A batch being delivered is already out of m_batch (m_batched is 0 then).
        for (LONG i = 0; i < m_batched; ++i) m_batch[static_cast<std::size_t>(i)]->Release();
        m_batched = 0;
    }
    m_space.notify_all();
    m_pin->BeginFlush();
}

void OutputQueue::EndFlush()
{
    {
        std::unique_lock lock(m_lock);
        // The worker drops its batch when it sees the flush; wait until it has.
        m_idle.wait(lock, [this] { return !m_delivering; });
    }
    m_pin->EndFlush();
    std::lock_guard lock(m_lock);
    m_hr = S_OK;
    m_flushing = false;
}

bool OutputQueue::IsIdle()
{
    std::lock_guard lock(m_lock);
    return m_used == 0 && !m_delivering && m_batched == 0;
}

void OutputQueue::SendBatch(IMediaSample** batch, LONG count)
{
    if (count <= 0) return;
    LONG processed = 0;
    const HRESULT hr = m_inputPin->ReceiveMultiple(batch, count, &processed);
    for (LONG i = 0; i < count; ++i) batch[i]->Release();
    std::lock_guard lock(m_lock);
    if (hr != S_OK && m_hr == S_OK && !m_flushing) m_hr = hr;
}

void OutputQueue::DeliverDirect(const Entry& entry)
{
    // Producer's thread. The batch is built under m_lock (BeginFlush may empty it) and sent
    // without it.
    IMediaSample** batch = m_batch.data();
    LONG count = 0;
    {
        std::lock_guard lock(m_lock);
        if (entry.kind == EntryKind::Sample) {
            batch[m_batched++] = entry.sample;
            if (m_batched < m_batchSize && m_batchExact) return;
        }
        count = m_batched;
        m_batched = 0;
        m_delivering = true;
    }
    SendBatch(batch, count);
    if (entry.kind == EntryKind::EndOfStream) m_pin->EndOfStream();
    if (entry.kind == EntryKind::NewSegment) m_pin->NewSegment(entry.start, entry.stop, entry.rate);
    {
        std::lock_guard lock(m_lock);
        m_delivering = false;
    }
    m_idle.notify_all();
}

void OutputQueue::ThreadLoop()
{
    IMediaSample** batch = m_batch.data();
    std::unique_lock lock(m_lock);
    for (;;) {
        m_wake.wait(lock, [this] { return m_used > 0 || m_terminate; });
        if (m_terminate) break;

        Entry entry = Pop();
        m_space.notify_one();
        bool send = false;
        if (entry.kind == EntryKind::Sample) {
            batch[m_batched++] = entry.sample;
            send = m_batched == m_batchSize || (!m_batchExact && m_used == 0);
        } else {
            send = true;
        }
        if (!send) continue;

        const LONG count = m_batched;
        m_batched = 0;
        m_delivering = true;
        lock.unlock();
        if (count > 0) SendBatch(batch, count);
        if (entry.kind == EntryKind::EndOfStream) m_pin->EndOfStream();
        if (entry.kind == EntryKind::NewSegment) m_pin->NewSegment(entry.start, entry.stop, entry.rate);
        lock.lock();
        m_delivering = false;
        if (m_flushing) {
            // Samples batched before the flush are not sent after it.
            for (LONG i = 0; i < m_batched; ++i) batch[i]->Release();
            m_batched = 0;
        }
        m_idle.notify_all();
    }
}
