#pragma once
// CBaseSplitterFilter: the generic part of the splitter. It owns the input pin ("Input", which
// pulls from an IAsyncReader), the output pins, the demultiplexing thread, the seeking state and
// the delivery of packets to the output pins. A derived splitter supplies stream discovery
// (BuildOutputPins), seeking inside its data (SeekDemux) and the packet reader (RunDemux).
//
// Locks: the filter lock (state changes, ApplySeek, pin enumeration), the pin-map lock, the
// pending-media-type lock. The demultiplexing thread never holds the filter lock while reading.

#include <atomic>
#include <condition_variable>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "demux/base_splitter_output_pin.h"
#include "demux/packet.h"
#include "demux/splitter_interfaces.h"
#include "pipeline/am_thread.h"
#include "pipeline/base_filter.h"
#include "pipeline/base_pin.h"

class CBaseSplitterFilter;

class CBaseSplitterInputPin : public CBasePin {
public:
    CBaseSplitterInputPin(CBaseSplitterFilter* filter, CCritSec* lock, HRESULT* phr);

    // Every type is accepted; the peer must offer IAsyncReader.
    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT CheckConnect(IPin* pin) override;
    HRESULT CompleteConnect(IPin* receivePin) override;
    HRESULT BreakConnect() override;
    HRESULT BeginFlush() override { return S_OK; }
    HRESULT EndFlush() override { return S_OK; }
    IAsyncReader* Reader() const { return m_reader.Get(); }

private:
    CBaseSplitterFilter* const m_splitter;
    ComPtr<IAsyncReader> m_reader;
};

class CBaseSplitterFilter : public CBaseFilter, public IMediaSeeking, public IKeyFrameInfo, public IBufferInfo {
public:
    enum Command : DWORD { kCommandExit = 0, kCommandSeek = 1 };
    // Marks the key of a second pin for a stream that has one already: every packet of the
    // stream goes to both.
    static constexpr DWORD kMirrorId = 0x80000000u;

    CBaseSplitterFilter(const char* objectName, IUnknown* outer, HRESULT* phr, REFCLSID clsid);
    ~CBaseSplitterFilter() override;

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // Output pins first, the input pin last.
    int GetPinCount() override;
    CBasePin* GetPin(int index) override;

    HRESULT Stop() override;
    HRESULT Pause() override;
    HRESULT Run(REFERENCE_TIME start) override;

    // Connection of the input (application thread).
    virtual HRESULT ReleaseOutputPins();
    virtual HRESULT BuildOutputPins(IAsyncReader* reader) = 0;

    // The demultiplexing thread's work.
    virtual HRESULT PrepareDemux() { return S_OK; }
    virtual void SeekDemux(REFERENCE_TIME time) = 0;
    virtual void RunDemux() = 0;
    // Seeks (application thread); `seeker` identifies the caller so that a seek that arrives
    // through every output pin is carried out once.
    virtual HRESULT ApplySeek(const void* seeker, LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                              DWORD stopFlags);

    // Demultiplexing thread: queues a packet on the pin serving its stream. S_FALSE when no
    // active pin serves it; a failure when every active pin is down.
    HRESULT DeliverPacket(PacketPtr packet);
    // Demultiplexing thread: whether every active pin of continuous media (subtitles do not count)
    // has delivered a packet that starts at `time` or later. Streams are interleaved with some
    // distance in the data, so the sound of a moment comes after its pictures; a stream that
    // ended early holds the answer back only until another is `slack` beyond `time`.
    bool ActivePinsReached(REFERENCE_TIME time, REFERENCE_TIME slack);
    // Flow control: some active pin runs dry (the demultiplexer may read on).
    bool IsAnyPinDrying();
    // Flow control: a pin took packets from its queue, dropped them, or stopped taking them. Wakes
    // the demultiplexing thread waiting for room. Any thread.
    void RoomMade();
    // Flow control: `pin`'s delivery thread took a packet from its queue. Wakes the waiting
    // demultiplexing thread once every kRoomBatch packets, so that it queues a batch before it
    // waits again rather than one packet each time, and at once when the queue ran empty (that
    // pin's filters may wait for its stream). Any thread.
    void PacketTaken(CBaseSplitterOutputPin& pin);
    // Demultiplexing thread: waits until `ready` holds, asking again whenever room is made. The
    // pins get what was queued for them in a batch first: their threads make the room.
    template <class Ready>
    void WaitForRoom(Ready ready)
    {
        if (ready()) return;
        WakeDeliveries();
        std::unique_lock lock(m_roomLock);
        // Counted before `ready` is asked again under the lock: a pin that makes room after that
        // sees the waiter (RoomMade).
        m_takenWhileWaiting = 0;
        ++m_roomWaiters;
        m_roomMade.wait(lock, ready);
        --m_roomWaiters;
    }
    // Wakes every pin's delivery thread for packets queued in a batch. Does nothing outside
    // RunDemux, so the source's read hook may call it from any thread.
    void WakeDeliveries();
    // True when a command waits for the demultiplexing thread.
    bool CommandPending();

    CBaseSplitterOutputPin* GetOutputPin(DWORD streamId);
    double PlaybackRate() const { return m_rate.load(); }
    PacketPool& Pool() { return m_pool; }

    // IMediaSeeking
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

    // IKeyFrameInfo
    HRESULT GetKeyFrameCount(UINT& frames) override;
    HRESULT GetKeyFrames(const GUID* format, REFERENCE_TIME* times, UINT& frames) override;

    // IBufferInfo
    int GetCount() override;
    HRESULT GetStatus(int index, int& samples, int& size) override;
    DWORD GetPriority() override;

protected:
    friend class CBaseSplitterInputPin;
    using DemuxThread = CMemberThread<CBaseSplitterFilter>;

    void DemuxLoop(DemuxThread& thread);
    // Ends and joins the demultiplexing thread (destructors of derived splitters).
    void EndDemuxThread();
    // Posts a command to the demultiplexing thread and waits for its reply.
    DWORD SendCommand(DWORD command);
    // Gives the source (when it offers ISyncReader) the event that ends its retries.
    void SetSourceBreakEvent(CAMEvent* event);
    void AddOutputPin(DWORD streamId, std::unique_ptr<CBaseSplitterOutputPin> pin); // filter lock held
    // Points the pin serving `from` at stream `to`, whose next packet carries `type`.
    HRESULT RetargetOutputPin(DWORD from, DWORD to, const CMediaType& type);
    void DeliverBeginFlush();
    void DeliverEndFlush();

    CCritSec m_csFilter;
    std::mutex m_pinMapLock;
    std::map<DWORD, CBaseSplitterOutputPin*> m_pinMap; // guarded by m_pinMapLock
    std::mutex m_pendingLock;
    std::map<DWORD, CMediaType> m_pendingTypes;        // guarded by m_pendingLock
    std::list<std::unique_ptr<CBaseSplitterOutputPin>> m_retiredPins; // application thread
    std::unique_ptr<CBaseSplitterInputPin> m_inputPin;
    std::vector<std::unique_ptr<CBaseSplitterOutputPin>> m_outputPins; // changed under m_csFilter while stopped

    // Times in 100 ns. Written by the application thread under m_csFilter (and by the demux thread
    // for the current position).
    std::atomic<REFERENCE_TIME> m_duration{0};
    std::atomic<REFERENCE_TIME> m_start{0};
    std::atomic<REFERENCE_TIME> m_stop{0};
    std::atomic<REFERENCE_TIME> m_current{0};
    std::atomic<REFERENCE_TIME> m_newStart{0};
    std::atomic<REFERENCE_TIME> m_newStop{0};
    std::atomic<double> m_rate{1.0}; // written by the application thread under m_csFilter

    // Demultiplexing thread only.
    std::vector<DWORD> m_discontinuitySent;
    std::vector<CBaseSplitterOutputPin*> m_activePins;
    std::vector<REFERENCE_TIME> m_activeTimes; // the latest packet start per active pin

    std::atomic<bool> m_flushing{false};
    CAMEvent m_endFlush{false};
    CAMEvent m_commandEvent{true}; // set while a command waits for the demultiplexing thread
    CAMEvent m_flushOrCommand{false}; // wakes the demultiplexing thread waiting for either
    std::atomic<int> m_priority{0}; // 0 normal, −1 below normal
    REFERENCE_TIME m_lastSeekStart = kInvalidTime;
    REFERENCE_TIME m_lastSeekStop = kInvalidTime;
    std::vector<const void*> m_seekers;

    PacketPool m_pool;
    std::unique_ptr<DemuxThread> m_thread; // application thread
    std::mutex m_roomLock;
    std::condition_variable m_roomMade; // a queue shrank or a pin stopped taking packets
    std::atomic<int> m_roomWaiters{0};  // the demultiplexing thread waits in WaitForRoom
    static constexpr int kRoomBatch = 64;
    std::atomic<int> m_takenWhileWaiting{0};
    // Demultiplexing thread: packets go to the pins in batches (while RunDemux runs).
    std::atomic<bool> m_batchWakes{false};
};
