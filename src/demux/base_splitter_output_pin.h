#pragma once
// CBaseSplitterOutputPin: an output pin of the splitter with its packet queue and its delivery
// thread, which turns packets into samples and pushes them downstream, so that a slow decoder on
// one stream never blocks the reading of the others. Seeking is forwarded to the filter.
//
// Threads: the demultiplexing thread queues packets; the delivery thread delivers them; the
// application thread flushes, starts segments, activates and deactivates.

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "demux/packet.h"
#include "pipeline/am_thread.h"
#include "pipeline/base_output_pin.h"

class CBaseSplitterFilter;

class CBaseSplitterOutputPin : public CBaseOutputPin, public IMediaSeeking {
public:
    CBaseSplitterOutputPin(std::vector<CMediaType> types, const char* name, CBaseSplitterFilter* filter, CCritSec* lock,
                           HRESULT* phr, int buffers = 0);
    ~CBaseSplitterOutputPin() override;

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // Framework pin operations.
    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT GetMediaType(int position, CMediaType* type) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT Active() override;
    HRESULT Inactive() override;
    HRESULT SetMediaType(const CMediaType* type) override;

    // Called by the filter (application thread): flushes and segments.
    HRESULT DeliverBeginFlush() override;
    HRESULT DeliverEndFlush() override;
    HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

    // Demultiplexing thread: waits while the queues are full, then queues (the pin takes the
    // packet, success or failure). S_FALSE without a delivery thread or while flushing.
    // `batched` leaves the delivery thread asleep until a few packets are queued or WakeIfPending
    // is called: waking it for every packet costs two system calls a packet.
    HRESULT QueuePacket(PacketPtr packet, bool batched = false);
    // Demultiplexing thread: wakes the delivery thread for packets queued in a batch. Called
    // before the demultiplexer waits (for room, for the source) and when it stops.
    void WakeIfPending();
    HRESULT QueueEndOfStream();
    std::size_t QueueCount() { return m_queue.Count(); }
    std::size_t QueueSize() { return m_queue.Size(); }
    // Subtitles and subpictures come when they come: they never count as drying. Any thread.
    virtual bool IsDiscontinuous();
    // The delivery thread's niceness follows the filter's flow control.
    void SetLowPriority(bool low);

    // The pin's types (the first is the one it offers).
    const std::vector<CMediaType>& OfferedTypes() const { return m_types; }

    // IMediaSeeking, forwarded to the filter.
    HRESULT GetCapabilities(DWORD* capabilities) override;
    HRESULT CheckCapabilities(DWORD* capabilities) override;
    HRESULT IsFormatSupported(const GUID* format) override;
    HRESULT QueryPreferredFormat(GUID* format) override;
    HRESULT GetTimeFormat(GUID* format) override;
    HRESULT IsUsingTimeFormat(const GUID* format) override;
    HRESULT SetTimeFormat(const GUID* format) override;
    HRESULT GetDuration(LONGLONG* duration) override;
    HRESULT GetStopPosition(LONGLONG* stop) override;
    HRESULT GetCurrentPosition(LONGLONG* current) override;
    HRESULT ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                              const GUID* sourceFormat) override;
    HRESULT SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) override;
    HRESULT GetPositions(LONGLONG* current, LONGLONG* stop) override;
    HRESULT GetAvailable(LONGLONG* earliest, LONGLONG* latest) override;
    HRESULT SetRate(double rate) override;
    HRESULT GetRate(double* rate) override;
    HRESULT GetPreroll(LONGLONG* preroll) override;

protected:
    // Delivery thread: turns one packet into a sample and delivers it. The pin keeps the packet.
    virtual HRESULT DeliverPacket(PacketPtr packet);
    // Delivery thread: end of stream downstream.
    virtual HRESULT DeliverEos();
    CBaseSplitterFilter* Splitter() const { return m_splitter; }
    PacketPool& Pool();
    // A type change whose packet a flush dropped before it went downstream (a track switched
    // just before a seek): the next sample carries it instead, or the decoder would be fed the
    // new stream as the old one. Any thread.
    void KeepUndeliveredType(std::unique_ptr<CMediaType> type);
    std::unique_ptr<CMediaType> TakeUndeliveredType();
    // A packet that will not go downstream: its type change is kept, the packet goes back to
    // the pool.
    void Discard(PacketPtr packet);

    std::vector<CMediaType> m_types; // guarded by m_lock (the filter lock)

private:
    using Worker = CMemberThread<CBaseSplitterOutputPin>;
    void DeliveryLoop(Worker& worker);

    CBaseSplitterFilter* const m_splitter;
    std::mutex m_typeLock;
    std::unique_ptr<CMediaType> m_undeliveredType; // guarded by m_typeLock
    std::atomic<bool> m_hasUndeliveredType{false};  // looked at for every packet without the lock
    const int m_buffers;
    PacketQueue m_queue;
    std::unique_ptr<Worker> m_worker; // application thread
    std::mutex m_deliverLock;         // held by the delivery thread while a sample goes downstream
    std::atomic<unsigned> m_flushCount{0}; // flushes begun
    unsigned m_packetFlushCount = 0;       // delivery thread: the count when its packet was taken
    WakeSignal m_wake;                // packets queued, or the thread must go
    std::atomic<bool> m_wakePending{false}; // packets queued in a batch, the thread not yet woken
    std::atomic<HRESULT> m_deliveryResult{S_OK};
    std::atomic<bool> m_flushing{false};
    std::atomic<bool> m_flushed{false};
    CAMEvent m_endFlush{true};
    std::atomic<bool> m_exit{false};
    std::atomic<int> m_threadId{0};
    std::atomic<bool> m_lowPriority{false};
    std::atomic<bool> m_discontinuousMedia{false}; // the connection type's kind, kept at every change

};
