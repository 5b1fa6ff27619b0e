#pragma once
// CBaseFilter: state, clock, graph membership and pin enumeration of every filter. Derived
// filters supply their pins (GetPinCount, GetPin) and own the filter lock they pass in.

#include <atomic>
#include <vector>
#include <mutex>
#include <string>

#include "pipeline/crit_sec.h"
#include "pipeline/interfaces.h"
#include "pipeline/unknown_object.h"
#include "com/com_ptr.h"

class CBasePin;

class CBaseFilter : public CUnknown, public IBaseFilter {
public:
    // `lock` is the filter lock, owned by the derived filter and alive as long as the filter.
    CBaseFilter(const char* objectName, IUnknown* outer, CCritSec* lock, REFCLSID clsid);
    ~CBaseFilter() override;

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IPersist
    HRESULT GetClassID(CLSID* clsid) override;

    // IMediaFilter; state changes are made by the application thread under the filter lock.
    HRESULT Stop() override;
    HRESULT Pause() override;
    HRESULT Run(REFERENCE_TIME start) override;
    HRESULT GetState(DWORD msTimeout, FILTER_STATE* state) override;
    HRESULT SetSyncSource(IReferenceClock* clock) override;
    HRESULT GetSyncSource(IReferenceClock** clock) override;

    // IBaseFilter
    HRESULT EnumPins(IEnumPins** pins) override;
    HRESULT FindPin(const char* id, IPin** pin) override;
    HRESULT QueryFilterInfo(FILTER_INFO* info) override;
    HRESULT JoinFilterGraph(IFilterGraph* graph, const char* name) override;
    HRESULT QueryVendorInfo(char** vendorInfo) override;

    // The filter's pins, indexed from 0; enumeration and lookup follow this order.
    virtual int GetPinCount() = 0;
    virtual CBasePin* GetPin(int index) = 0;

    // Sends an event to the graph's event sink (any thread). E_NOTIMPL outside a graph.
    HRESULT NotifyEvent(LONG eventCode, LONG_PTR param1, LONG_PTR param2);

    bool IsActive() const { return m_state.load() != State_Stopped; }
    bool IsStopped() const { return m_state.load() == State_Stopped; }
    FILTER_STATE State() const { return m_state.load(); }

    // Version of the pin list; enumerators go out of sync when it changes.
    int GetPinVersion() const { return m_pinVersion.load(); }
    void IncrementPinVersion() { ++m_pinVersion; }

    // The graph the filter belongs to (no reference held), or null.
    IFilterGraph* GetFilterGraph() const { return m_graph.load(); }
    // Current stream time: clock time minus the run start. VFW_E_NO_CLOCK without a clock.
    virtual HRESULT StreamTime(REFERENCE_TIME& time);
    // The clock and the time the filter last ran from (any thread).
    void ClockAndStart(ComPtr<IReferenceClock>& clock, REFERENCE_TIME& start);
    const std::string& FilterName() const { return m_name; } // application thread only

    // A streaming thread that waits for the filter's state to change (a renderer holding a sample
    // while paused, or until its time) registers an event for as long as it waits: every change of
    // state, and the start of a flush on an input pin, sets it. Any thread.
    void AddStateWaiter(CAMEvent* event);
    void RemoveStateWaiter(CAMEvent* event);
    void WakeStateWaiters();
    // Streaming threads waiting so now (tests, diagnostics).
    std::size_t StateWaiters();

protected:
    CCritSec* const m_lock;
    std::atomic<FILTER_STATE> m_state{State_Stopped}; // written under m_lock
    ComPtr<IReferenceClock> m_clock;                 // guarded by m_lock
    REFERENCE_TIME m_start = 0;                      // guarded by m_lock
    CLSID m_clsid;

private:
    std::atomic<IFilterGraph*> m_graph{nullptr};    // weak: the graph holds the filter
    std::atomic<IMediaEventSink*> m_sink{nullptr};  // weak, the graph's own sink
    std::string m_name;                             // guarded by m_lock
    std::mutex m_waitersLock;
    std::vector<CAMEvent*> m_stateWaiters;          // guarded by m_waitersLock
    std::atomic<int> m_pinVersion{1};
};

// Copies `text` into a task-memory string the caller frees.
HRESULT CopyTextToTaskMemory(const char* text, char** out);
