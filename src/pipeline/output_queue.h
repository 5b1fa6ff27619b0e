#pragma once
// OutputQueue: delivers an output pin's samples and stream-control calls to the connected input
// pin, either on the caller's thread or on a thread of its own (queued). Samples are handed
// downstream in batches through ReceiveMultiple. The first failure (or S_FALSE) returned
// downstream is remembered and returned to later delivers until EndFlush.
//
// Ownership: Receive takes the sample's reference, success or failure; the queue holds it until
// the sample has been delivered or discarded.

#include <condition_variable>
#include <mutex>
#include <vector>

#include "pipeline/am_thread.h"
#include "pipeline/interfaces.h"
#include "pipeline/unknown_object.h"
#include "com/com_ptr.h"

class OutputQueue : public CBaseObject {
public:
    static constexpr LONG kDefaultListSize = 10;

    // `inputPin` is the connected downstream pin. `autoQueue`: queue only when the pin says its
    // Receive may block. `queue`: own thread (ignored when autoQueue decides). `batchSize`:
    // samples per ReceiveMultiple. `batchExact`: never send a partial batch unless told to.
    // `listSize`: queued samples beyond which Receive waits for the thread.
    OutputQueue(IPin* inputPin, HRESULT* phr, bool autoQueue = true, bool queue = true, LONG batchSize = 1,
                bool batchExact = false, LONG listSize = kDefaultListSize);
    ~OutputQueue() override;

    // Streaming thread of the producer: queues (or delivers) one sample. S_FALSE while
    // flushing, or the first failure returned downstream.
    HRESULT Receive(ComPtr<IMediaSample>&& sample);
    void EOS();
    void NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);
    // Sends a partial batch now.
    void SendAnyway();

    // Flushing thread: discard queued samples and pass the flush downstream at once.
    void BeginFlush();
    // Waits until nothing is being delivered, passes EndFlush downstream, forgets the failure.
    void EndFlush();

    // True when nothing is queued or being delivered.
    bool IsIdle();
    // Waits until the queue is idle (any thread but its own).
    void WaitUntilIdle();
    // Producers held in Receive because the list is full (tests, diagnostics).
    int WaitingProducers();
    // True when this queue runs its own thread.
    bool IsQueued() const { return m_worker != nullptr; }

private:
    enum class EntryKind { Sample, EndOfStream, NewSegment, SendAnyway };
    struct Entry {
        EntryKind kind = EntryKind::Sample;
        ComPtr<IMediaSample> sample; // Sample entries
        REFERENCE_TIME start = 0;
        REFERENCE_TIME stop = 0;
        double rate = 1.0;
    };
    class Worker;
    friend class Worker;

    void ThreadLoop();
    void Push(Entry&& entry); // m_lock held
    Entry Pop();              // m_lock held, list not empty
    // Delivers the first `count` samples of the batch downstream and lets them go (no lock held).
    void SendBatch(LONG count);
    void DiscardList();       // m_lock held
    void DiscardBatch();      // m_lock held
    // Non-queued delivery on the caller's thread.
    void DeliverDirect(Entry&& entry);

    ComPtr<IPin> m_pin;
    ComPtr<IMemInputPin> m_inputPin;
    const bool m_batchExact;
    const LONG m_batchSize;
    const LONG m_listSize;

    std::mutex m_lock;
    std::condition_variable m_wake;   // list gained an entry, or terminating
    std::condition_variable m_space;  // list lost an entry, or flushing/terminating
    std::condition_variable m_idle;   // the thread finished a delivery
    int m_waitingProducers = 0;       // guarded by m_lock
    std::vector<Entry> m_ring;        // guarded by m_lock: a ring of queued entries
    std::size_t m_head = 0;           // guarded by m_lock
    std::size_t m_used = 0;           // guarded by m_lock
    LONG m_queuedSamples = 0;         // guarded by m_lock
    bool m_flushing = false;          // guarded by m_lock
    bool m_terminate = false;         // guarded by m_lock
    bool m_delivering = false;        // guarded by m_lock
    HRESULT m_hr = S_OK;              // guarded by m_lock: first failure returned downstream

    // The batch being built: by the worker (queued) or the caller (direct). `m_batchPointers` is
    // the same samples as the array ReceiveMultiple takes (no references of its own).
    std::vector<ComPtr<IMediaSample>> m_batch;
    std::vector<IMediaSample*> m_batchPointers;
    LONG m_batched = 0;

    Worker* m_worker = nullptr; // owned; null when delivering directly
};
