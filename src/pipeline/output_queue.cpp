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
        m_batch.resize(static_cast<std::size_t>(m_batchSize));
        m_batchPointers.assign(static_cast<std::size_t>(m_batchSize), nullptr);
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
    DiscardBatch();
}

void OutputQueue::Push(Entry&& entry)
{
    if (m_used == m_ring.size()) {
        // Control entries may exceed the sample bound: grow the ring, keeping the order.
        std::vector<Entry> bigger(m_ring.size() * 2);
        for (std::size_t i = 0; i < m_used; ++i) bigger[i] = std::move(m_ring[(m_head + i) % m_ring.size()]);
        m_ring.swap(bigger);
        m_head = 0;
    }
    if (entry.kind == EntryKind::Sample) ++m_queuedSamples;
    m_ring[(m_head + m_used) % m_ring.size()] = std::move(entry);
    ++m_used;
}

OutputQueue::Entry OutputQueue::Pop()
{
    Entry entry = std::move(m_ring[m_head]);
    m_ring[m_head] = Entry{};
    m_head = (m_head + 1) % m_ring.size();
    --m_used;
    if (entry.kind == EntryKind::Sample) --m_queuedSamples;
    return entry;
}

void OutputQueue::DiscardList()
{
    while (m_used > 0) Pop(); // each sample goes with its entry
}

void OutputQueue::DiscardBatch()
{
    for (LONG i = 0; i < m_batched; ++i) m_batch[static_cast<std::size_t>(i)].Reset();
    m_batched = 0;
}

HRESULT OutputQueue::Receive(ComPtr<IMediaSample>&& sample)
{
    if (!m_worker) {
        // Direct delivery on the caller's thread.
        {
            std::lock_guard lock(m_lock);
            const HRESULT result = m_flushing ? S_FALSE : m_hr;
            if (result != S_OK) return result; // the sample goes with `sample`
        }
        DeliverDirect(Entry{EntryKind::Sample, std::move(sample)});
        std::lock_guard lock(m_lock);
        return m_flushing ? S_FALSE : m_hr;
    }

    std::unique_lock lock(m_lock);
    ++m_waitingProducers;
    m_space.wait(lock, [this] { return m_queuedSamples < m_listSize || m_flushing || m_terminate; });
    --m_waitingProducers;
    if (!m_flushing && !m_terminate && m_hr == S_OK) Push(Entry{EntryKind::Sample, std::move(sample)});
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
        if (m_worker) Push(Entry{EntryKind::EndOfStream, nullptr});
    }
    if (m_worker)
        m_wake.notify_one();
    else
        DeliverDirect(Entry{EntryKind::EndOfStream, nullptr});
}

void OutputQueue::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    Entry entry{EntryKind::NewSegment, nullptr, start, stop, rate};
    if (!m_worker) {
        DeliverDirect(std::move(entry));
        return;
    }
    {
        std::lock_guard lock(m_lock);
        Push(std::move(entry));
    }
    m_wake.notify_one();
}

void OutputQueue::SendAnyway()
{
    if (!m_worker) {
        DeliverDirect(Entry{EntryKind::SendAnyway, nullptr});
        return;
    }
    {
        std::lock_guard lock(m_lock);
        Push(Entry{EntryKind::SendAnyway, nullptr});
    }
    m_wake.notify_one();
}

void OutputQueue::BeginFlush()
{
    {
        std::lock_guard lock(m_lock);
        m_flushing = true;
        DiscardList();
        // A batch being delivered is already out of the count (m_batched is 0 then).
        DiscardBatch();
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

void OutputQueue::WaitUntilIdle()
{
    std::unique_lock lock(m_lock);
    m_idle.wait(lock, [this] { return m_used == 0 && !m_delivering && m_batched == 0; });
}

int OutputQueue::WaitingProducers()
{
    std::lock_guard lock(m_lock);
    return m_waitingProducers;
}

void OutputQueue::SendBatch(LONG count)
{
    if (count <= 0) return;
    for (LONG i = 0; i < count; ++i) m_batchPointers[static_cast<std::size_t>(i)] = m_batch[static_cast<std::size_t>(i)].Get();
    LONG processed = 0;
    const HRESULT hr = m_inputPin->ReceiveMultiple(m_batchPointers.data(), count, &processed);
    for (LONG i = 0; i < count; ++i) m_batch[static_cast<std::size_t>(i)].Reset();
    std::lock_guard lock(m_lock);
    if (hr != S_OK && m_hr == S_OK && !m_flushing) m_hr = hr;
}

void OutputQueue::DeliverDirect(Entry&& entry)
{
    // Producer's thread. The batch is built under m_lock (BeginFlush may empty it) and sent
    // without it.
    LONG count = 0;
    {
        std::lock_guard lock(m_lock);
        if (entry.kind == EntryKind::Sample) {
            m_batch[static_cast<std::size_t>(m_batched++)] = std::move(entry.sample);
            if (m_batched < m_batchSize && m_batchExact) return;
        }
        count = m_batched;
        m_batched = 0;
        m_delivering = true;
    }
    SendBatch(count);
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
    std::unique_lock lock(m_lock);
    for (;;) {
        m_wake.wait(lock, [this] { return m_used > 0 || m_terminate; });
        if (m_terminate) break;

        Entry entry = Pop();
        m_space.notify_one();
        bool send = false;
        if (entry.kind == EntryKind::Sample) {
            m_batch[static_cast<std::size_t>(m_batched++)] = std::move(entry.sample);
            send = m_batched == m_batchSize || (!m_batchExact && m_used == 0);
        } else {
            send = true;
        }
        if (!send) continue;

        const LONG count = m_batched;
        m_batched = 0;
        m_delivering = true;
        lock.unlock();
        if (count > 0) SendBatch(count);
        if (entry.kind == EntryKind::EndOfStream) m_pin->EndOfStream();
        if (entry.kind == EntryKind::NewSegment) m_pin->NewSegment(entry.start, entry.stop, entry.rate);
        lock.lock();
        m_delivering = false;
        // Samples batched before a flush are not sent after it.
        if (m_flushing) DiscardBatch();
        m_idle.notify_all();
    }
}
