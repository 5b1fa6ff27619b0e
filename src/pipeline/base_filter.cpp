#include "pipeline/base_filter.h"

#include <cstring>

#include "pipeline/base_pin.h"
#include "pipeline/enum_pins.h"
#include "pipeline/event_codes.h"
#include "com/task_memory.h"

HRESULT CopyTextToTaskMemory(const char* text, char** out)
{
    if (!out) return E_POINTER;
    const std::size_t length = std::strlen(text);
    auto* copy = static_cast<char*>(CoTaskMemAlloc(length + 1));
    if (!copy) {
        *out = nullptr;
        return E_OUTOFMEMORY;
    }
    std::memcpy(copy, text, length + 1);
    *out = copy;
    return S_OK;
}

CBaseFilter::CBaseFilter(const char* objectName, IUnknown* outer, CCritSec* lock, REFCLSID clsid)
    : CUnknown(objectName, outer), m_lock(lock), m_clsid(clsid)
{
}

CBaseFilter::~CBaseFilter() = default;

HRESULT CBaseFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IBaseFilter::iid) return GetInterface(static_cast<IBaseFilter*>(this), ppv);
    if (riid == IMediaFilter::iid) return GetInterface(static_cast<IMediaFilter*>(this), ppv);
    if (riid == IPersist::iid) return GetInterface(static_cast<IPersist*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CBaseFilter::GetClassID(CLSID* clsid)
{
    if (!clsid) return E_POINTER;
    *clsid = m_clsid;
    return S_OK;
}

HRESULT CBaseFilter::Stop()
{
    CAutoLock lock(m_lock);
    HRESULT result = S_OK;
    if (m_state.load() != State_Stopped) {
        for (int i = 0, n = GetPinCount(); i < n; ++i) {
            CBasePin* pin = GetPin(i);
            if (pin && pin->IsConnected()) {
                const HRESULT hr = pin->Inactive();
                if (FAILED(hr) && SUCCEEDED(result)) result = hr;
            }
        }
    }
    m_state = State_Stopped;
    WakeStateWaiters();
    return result;
}

void CBaseFilter::AddStateWaiter(CAMEvent* event)
{
    std::lock_guard lock(m_waitersLock);
    m_stateWaiters.push_back(event);
}

void CBaseFilter::RemoveStateWaiter(CAMEvent* event)
{
    std::lock_guard lock(m_waitersLock);
    std::erase(m_stateWaiters, event);
}

std::size_t CBaseFilter::StateWaiters()
{
    std::lock_guard lock(m_waitersLock);
    return m_stateWaiters.size();
}

void CBaseFilter::WakeStateWaiters()
{
    std::lock_guard lock(m_waitersLock);
    for (CAMEvent* event : m_stateWaiters) event->Set();
}

HRESULT CBaseFilter::Pause()
{
    CAutoLock lock(m_lock);
    if (m_state.load() == State_Stopped) {
        for (int i = 0, n = GetPinCount(); i < n; ++i) {
            CBasePin* pin = GetPin(i);
            if (pin && pin->IsConnected()) {
                const HRESULT hr = pin->Active();
                if (FAILED(hr)) return hr;
            }
        }
    }
    m_state = State_Paused;
    WakeStateWaiters();
    return S_OK;
}

HRESULT CBaseFilter::Run(REFERENCE_TIME start)
{
    CAutoLock lock(m_lock);
    m_start = start;
    if (m_state.load() == State_Stopped) {
        const HRESULT hr = Pause();
        if (FAILED(hr)) return hr;
    }
    if (m_state.load() != State_Running) {
        for (int i = 0, n = GetPinCount(); i < n; ++i) {
            CBasePin* pin = GetPin(i);
            if (pin && pin->IsConnected()) {
                const HRESULT hr = pin->Run(start);
                if (FAILED(hr)) return hr;
            }
        }
    }
    m_state = State_Running;
    WakeStateWaiters();
    return S_OK;
}

HRESULT CBaseFilter::GetState(DWORD, FILTER_STATE* state)
{
    if (!state) return E_POINTER;
    *state = m_state.load();
    return S_OK;
}

HRESULT CBaseFilter::SetSyncSource(IReferenceClock* clock)
{
    CAutoLock lock(m_lock);
    m_clock = clock;
    return S_OK;
}

HRESULT CBaseFilter::GetSyncSource(IReferenceClock** clock)
{
    if (!clock) return E_POINTER;
    CAutoLock lock(m_lock);
    return m_clock.CopyTo(clock);
}

HRESULT CBaseFilter::StreamTime(REFERENCE_TIME& time)
{
    CAutoLock lock(m_lock);
    if (!m_clock) return VFW_E_NO_CLOCK;
    const HRESULT hr = m_clock->GetTime(&time);
    if (FAILED(hr)) return hr;
    time -= m_start;
    return S_OK;
}

void CBaseFilter::ClockAndStart(ComPtr<IReferenceClock>& clock, REFERENCE_TIME& start)
{
    CAutoLock lock(m_lock);
    clock = m_clock;
    start = m_start;
}

HRESULT CBaseFilter::EnumPins(IEnumPins** pins)
{
    if (!pins) return E_POINTER;
    *pins = nullptr;
    auto* enumerator = new (std::nothrow) CEnumPins(this, nullptr);
    if (!enumerator) return E_OUTOFMEMORY;
    return GetInterface(static_cast<IEnumPins*>(enumerator), reinterpret_cast<void**>(pins));
}

HRESULT CBaseFilter::FindPin(const char* id, IPin** pin)
{
    if (!id || !pin) return E_POINTER;
    *pin = nullptr;
    CAutoLock lock(m_lock);
    for (int i = 0, n = GetPinCount(); i < n; ++i) {
        CBasePin* candidate = GetPin(i);
        if (candidate && candidate->Name() == id) {
            *pin = candidate;
            candidate->AddRef();
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

HRESULT CBaseFilter::QueryFilterInfo(FILTER_INFO* info)
{
    if (!info) return E_POINTER;
    CAutoLock lock(m_lock);
    std::memset(info->achName, 0, sizeof info->achName);
    std::strncpy(info->achName, m_name.c_str(), sizeof info->achName - 1);
    info->pGraph = m_graph.load();
    if (info->pGraph) info->pGraph->AddRef();
    return S_OK;
}

HRESULT CBaseFilter::JoinFilterGraph(IFilterGraph* graph, const char* name)
{
    CAutoLock lock(m_lock);
    m_graph = graph;
    IMediaEventSink* sink = nullptr;
    if (graph) {
        // The sink is the graph's own object: keep it without a reference, as the graph.
        ComPtr<IMediaEventSink> eventSink;
        if (SUCCEEDED(QueryInterfaceTo(graph, eventSink))) sink = eventSink.Get();
    }
    m_sink = sink;
    m_name = name ? name : "";
    return S_OK;
}

HRESULT CBaseFilter::QueryVendorInfo(char**) { return E_NOTIMPL; }

HRESULT CBaseFilter::NotifyEvent(LONG eventCode, LONG_PTR param1, LONG_PTR param2)
{
    IMediaEventSink* sink = m_sink.load();
    if (!sink) return E_NOTIMPL;
    // A completion names the filter that completed, as the graph counts completions per filter.
    if (eventCode == EC_COMPLETE && param2 == 0)
        param2 = reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this));
    return sink->Notify(eventCode, param1, param2);
}
