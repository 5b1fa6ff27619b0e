#pragma once
// CFilterGraph: our graph manager. It holds filters under names, connects their pins (directly,
// or inserting filters already in the graph or registered ones), changes the state of every
// filter from the renderers upstream, hands out a reference clock and the stream start time,
// queues the filters' events for the application and forwards seeking to the filters that
// offer it.
//
// Threads: building, state changes and seeking come from the application thread, the one that
// owns the graph (a conversion's: the workspace's run thread or zuzidero-cli's main thread; the
// preview's: the window's). Filters call Notify from any thread; Notify takes only the event lock.

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "pipeline/crit_sec.h"
#include "pipeline/interfaces.h"
#include "pipeline/unknown_object.h"
#include "com/com_ptr.h"
#include "graph/graph_interfaces.h"

class CFilterGraph : public CUnknown,
                     public IGraphBuilder,
                     public IMediaControl,
                     public IMediaEventEx,
                     public IMediaSeeking,
                     public IMediaEventSink {
public:
    CFilterGraph(const char* objectName, IUnknown* outer, HRESULT* phr);
    ~CFilterGraph() override;

    // Class-factory entry point.
    static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv);

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IFilterGraph
    HRESULT AddFilter(IBaseFilter* filter, const char* name) override;
    HRESULT RemoveFilter(IBaseFilter* filter) override;
    HRESULT EnumFilters(IEnumFilters** filters) override;
    HRESULT FindFilterByName(const char* name, IBaseFilter** filter) override;
    HRESULT ConnectDirect(IPin* out, IPin* in, const AM_MEDIA_TYPE* type) override;
    HRESULT Reconnect(IPin* pin) override;
    HRESULT Disconnect(IPin* pin) override;
    HRESULT SetDefaultSyncSource() override;

    // IGraphBuilder
    HRESULT Connect(IPin* out, IPin* in) override;
    HRESULT Render(IPin* out) override;
    HRESULT RenderFile(const char* file, const char* playList) override;
    HRESULT AddSourceFilter(const char* file, const char* filterName, IBaseFilter** filter) override;
    HRESULT SetLogFile(DWORD_PTR file) override;
    HRESULT Abort() override;
    HRESULT ShouldOperationContinue() override;

    // IMediaControl
    HRESULT Run() override;
    HRESULT Pause() override;
    HRESULT Stop() override;
    HRESULT GetState(LONG msTimeout, OAFilterState* state) override;
    HRESULT StopWhenReady() override;

    // IMediaEvent / IMediaEventEx
    HRESULT GetEventHandle(CAMEvent** event) override;
    HRESULT GetEvent(LONG* eventCode, LONG_PTR* param1, LONG_PTR* param2, LONG msTimeout) override;
    HRESULT WaitForCompletion(LONG msTimeout, LONG* eventCode) override;
    HRESULT CancelDefaultHandling(LONG eventCode) override;
    HRESULT RestoreDefaultHandling(LONG eventCode) override;
    HRESULT FreeEventParams(LONG eventCode, LONG_PTR param1, LONG_PTR param2) override;
    HRESULT SetNotifyCallback(GraphNotifyCallback callback) override;
    HRESULT SetNotifyFlags(LONG noNotifyFlags) override;
    HRESULT GetNotifyFlags(LONG* noNotifyFlags) override;

    // IMediaEventSink (filters, any thread)
    HRESULT Notify(LONG eventCode, LONG_PTR param1, LONG_PTR param2) override;

    // IMediaSeeking, forwarded to the filters that offer seeking
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

    // The clock the graph hands its filters; null runs the graph unpaced. Application thread.
    HRESULT SetSyncSource(IReferenceClock* clock);
    HRESULT GetSyncSource(IReferenceClock** clock);

private:
    struct FilterEntry {
        ComPtr<IBaseFilter> filter;
        std::string name;
    };
    struct GraphEvent {
        LONG code;
        LONG_PTR param1;
        LONG_PTR param2;
    };
    class MediaFilterFacet;

    // Snapshot of the filters, downstream ones first (the order of state changes).
    std::vector<ComPtr<IBaseFilter>> SortedFilters();
    std::vector<ComPtr<IBaseFilter>> FilterSnapshot();
    bool ContainsFilter(IBaseFilter* filter);
    std::string UniqueName(const char* wanted, bool* renamed);

    HRESULT ConnectInternal(IPin* out, IPin* in, int depth);
    bool ConnectThrough(IBaseFilter* filter, IPin* out, IPin* in, int depth);
    HRESULT RenderInternal(IPin* out, int depth);
    bool RenderThrough(IBaseFilter* filter, IPin* out, int depth);
    HRESULT PauseInternal();
    HRESULT RunInternal();
    REFERENCE_TIME ClockNow();

    // Restarts completion counting over the graph's current renderers.
    void ResetCompletion();
    void QueueEvent(const GraphEvent& event);
    std::vector<ComPtr<IMediaSeeking>> SeekingFilters();

    CCritSec m_csGraph;
    std::vector<FilterEntry> m_filters;   // guarded by m_csGraph, in the order added
    FILTER_STATE m_state = State_Stopped; // guarded by m_csGraph
    ComPtr<IReferenceClock> m_clock;      // guarded by m_csGraph
    bool m_clockChosen = false;           // guarded by m_csGraph: SetSyncSource was called
    REFERENCE_TIME m_streamStart = 0;     // guarded by m_csGraph
    REFERENCE_TIME m_pausedStreamTime = 0; // guarded by m_csGraph: stream time reached at pause
    GUID m_timeFormat;                    // guarded by m_csGraph

    std::mutex m_eventLock;
    std::condition_variable m_eventArrived;
    std::deque<GraphEvent> m_events;                // guarded by m_eventLock
    CAMEvent m_eventHandle{true};                   // set while m_events is not empty
    std::mutex m_notifyLock;                        // held while the callback runs and while it is set
    GraphNotifyCallback m_notify;                   // guarded by m_notifyLock
    LONG m_notifyFlags = 0;                         // guarded by m_eventLock
    bool m_defaultCompleteHandling = true;          // guarded by m_eventLock
    std::vector<IBaseFilter*> m_pendingCompletion;  // guarded by m_eventLock: identities only
    bool m_completeSent = false;                    // guarded by m_eventLock
    LONG m_completionCode = 0;                      // guarded by m_eventLock: 0 until done

    MediaFilterFacet* m_mediaFilter;
};
