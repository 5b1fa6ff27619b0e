#include "graph/filter_graph.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <new>
#include <set>

#include "pipeline/event_codes.h"
#include "pipeline/media_type.h"
#include "com/debug_log.h"
#include "graph/class_factory.h"
#include "graph/system_clock.h"

namespace {

constexpr int kMaxConnectDepth = 5;
// Filters start running this far after the run call, so that all of them start together.
constexpr REFERENCE_TIME kRunLatency = 10 * kUnitsPerMillisecond;

// The pins of a filter in its own order, each with a reference.
std::vector<ComPtr<IPin>> PinsOf(IBaseFilter* filter)
{
    std::vector<ComPtr<IPin>> pins;
    ComPtr<IEnumPins> pinEnum;
    if (FAILED(filter->EnumPins(pinEnum.Put())) || !pinEnum) return pins;
    for (;;) {
        IPin* pin = nullptr;
        ULONG fetched = 0;
        if (pinEnum->Next(1, &pin, &fetched) != S_OK || fetched != 1) break;
        pins.push_back(AdoptRef(pin));
    }
    return pins;
}

PIN_DIRECTION DirectionOf(IPin* pin)
{
    PIN_DIRECTION dir = PINDIR_INPUT;
    pin->QueryDirection(&dir);
    return dir;
}

bool IsConnected(IPin* pin)
{
    ComPtr<IPin> peer;
    return SUCCEEDED(pin->ConnectedTo(peer.Put())) && peer;
}

ComPtr<IBaseFilter> OwnerOf(IPin* pin)
{
    PIN_INFO info{};
    if (FAILED(pin->QueryPinInfo(&info))) return nullptr;
    return AdoptRef(info.pFilter);
}

// The filters directly downstream of `filter`.
std::vector<ComPtr<IBaseFilter>> DownstreamOf(IBaseFilter* filter)
{
    std::vector<ComPtr<IBaseFilter>> result;
    for (auto& pin : PinsOf(filter)) {
        if (DirectionOf(pin.Get()) != PINDIR_OUTPUT) continue;
        ComPtr<IPin> peer;
        if (FAILED(pin->ConnectedTo(peer.Put())) || !peer) continue;
        if (auto owner = OwnerOf(peer.Get())) result.push_back(owner);
    }
    return result;
}

// Renderers and sinks report completion: filters that say so, or that take input and give none.
bool IsRendererFilter(IBaseFilter* filter)
{
    ComPtr<IAMFilterMiscFlags> misc;
    if (SUCCEEDED(QueryInterfaceTo(filter, misc)))
        return (misc->GetMiscFlags() & AM_FILTER_MISC_FLAGS_IS_RENDERER) != 0;
    bool hasInput = false;
    for (auto& pin : PinsOf(filter)) {
        if (DirectionOf(pin.Get()) == PINDIR_OUTPUT) return false;
        hasInput = true;
    }
    return hasInput;
}

// True when `out` offers a type the registration takes (or either side is unspecific).
bool OffersRegisteredType(IPin* out, const std::vector<RegisteredMediaType>& wanted)
{
    if (wanted.empty()) return true;
    ComPtr<IEnumMediaTypes> types;
    if (FAILED(out->EnumMediaTypes(types.Put())) || !types) return true;
    bool offeredAny = false;
    for (;;) {
        AM_MEDIA_TYPE* type = nullptr;
        ULONG fetched = 0;
        if (types->Next(1, &type, &fetched) != S_OK || fetched != 1) break;
        offeredAny = true;
        bool match = false;
        for (const auto& w : wanted) {
            if (w.majorType == type->majortype && (w.subtype == GUID_NULL || w.subtype == type->subtype)) match = true;
        }
        DeleteMediaType(type);
        if (match) return true;
    }
    return !offeredAny;
}

} // namespace

// IMediaFilter of the graph, kept apart because its Run/GetState differ from IMediaControl's.
class CFilterGraph::MediaFilterFacet final : public IMediaFilter {
public:
    explicit MediaFilterFacet(CFilterGraph* graph) : m_graph(graph) {}
    HRESULT QueryInterface(REFIID riid, void** ppv) override { return m_graph->QueryInterface(riid, ppv); }
    ULONG AddRef() override { return m_graph->AddRef(); }
    ULONG Release() override { return m_graph->Release(); }
    HRESULT GetClassID(CLSID* clsid) override
    {
        if (!clsid) return E_POINTER;
        *clsid = CLSID_FilterGraph;
        return S_OK;
    }
    HRESULT Stop() override { return m_graph->Stop(); }
    HRESULT Pause() override { return m_graph->Pause(); }
    HRESULT Run(REFERENCE_TIME) override { return m_graph->Run(); }
    HRESULT GetState(DWORD msTimeout, FILTER_STATE* state) override
    {
        if (!state) return E_POINTER;
        OAFilterState s = 0;
        const HRESULT hr = m_graph->GetState(static_cast<LONG>(msTimeout), &s);
        *state = static_cast<FILTER_STATE>(s);
        return hr;
    }
    HRESULT SetSyncSource(IReferenceClock* clock) override { return m_graph->SetSyncSource(clock); }
    HRESULT GetSyncSource(IReferenceClock** clock) override { return m_graph->GetSyncSource(clock); }

private:
    CFilterGraph* m_graph;
};

// Enumerates a snapshot of the graph's filters.
class CEnumFilters final : public CUnknown, public IEnumFilters {
public:
    explicit CEnumFilters(std::vector<ComPtr<IBaseFilter>> filters)
        : CUnknown("CEnumFilters", nullptr), m_filters(std::move(filters))
    {
    }
    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv) return E_POINTER;
        if (riid == IEnumFilters::iid) return GetInterface(static_cast<IEnumFilters*>(this), ppv);
        return CUnknown::NonDelegatingQueryInterface(riid, ppv);
    }
    HRESULT Next(ULONG count, IBaseFilter** filters, ULONG* fetched) override
    {
        if (!filters) return E_POINTER;
        ULONG got = 0;
        while (got < count && m_position < m_filters.size()) {
            m_filters[m_position++].CopyTo(&filters[got++]);
        }
        if (fetched) *fetched = got;
        return got == count ? S_OK : S_FALSE;
    }
    HRESULT Skip(ULONG count) override
    {
        m_position = std::min<std::size_t>(m_position + count, m_filters.size());
        return m_position < m_filters.size() ? S_OK : S_FALSE;
    }
    HRESULT Reset() override
    {
        m_position = 0;
        return S_OK;
    }
    HRESULT Clone(IEnumFilters** clone) override
    {
        if (!clone) return E_POINTER;
        auto* copy = new (std::nothrow) CEnumFilters(m_filters);
        if (!copy) return E_OUTOFMEMORY;
        copy->m_position = m_position;
        return GetInterface(static_cast<IEnumFilters*>(copy), reinterpret_cast<void**>(clone));
    }

private:
    std::vector<ComPtr<IBaseFilter>> m_filters;
    std::size_t m_position = 0;
};

CFilterGraph::CFilterGraph(const char* objectName, IUnknown* outer, HRESULT*)
    : CUnknown(objectName, outer), m_timeFormat(TIME_FORMAT_MEDIA_TIME), m_mediaFilter(new MediaFilterFacet(this))
{
}

CFilterGraph::~CFilterGraph()
{
    // Keep the object alive (count 1) while its filters let go of it.
    Stop();
    for (auto& filter : FilterSnapshot()) RemoveFilter(filter.Get());
    m_clock = nullptr;
    delete m_mediaFilter;
}

HRESULT CFilterGraph::CreateInstance(IUnknown* outer, REFIID riid, void** ppv)
{
    return CreateComObjectAs(riid, ppv, [outer](HRESULT* hr) { return new (std::nothrow) CFilterGraph("CFilterGraph", outer, hr); });
}

HRESULT CFilterGraph::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IGraphBuilder::iid) return GetInterface(static_cast<IGraphBuilder*>(this), ppv);
    if (riid == IFilterGraph::iid) return GetInterface(static_cast<IFilterGraph*>(this), ppv);
    if (riid == IMediaControl::iid) return GetInterface(static_cast<IMediaControl*>(this), ppv);
    if (riid == IMediaEventEx::iid) return GetInterface(static_cast<IMediaEventEx*>(this), ppv);
    if (riid == IMediaEvent::iid) return GetInterface(static_cast<IMediaEvent*>(this), ppv);
    if (riid == IMediaSeeking::iid) return GetInterface(static_cast<IMediaSeeking*>(this), ppv);
    if (riid == IMediaEventSink::iid) return GetInterface(static_cast<IMediaEventSink*>(this), ppv);
    if (riid == IMediaFilter::iid || riid == IPersist::iid)
        return GetInterface(static_cast<IMediaFilter*>(m_mediaFilter), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

// ---- Filters ----

std::vector<ComPtr<IBaseFilter>> CFilterGraph::FilterSnapshot()
{
    CAutoLock lock(&m_csGraph);
    std::vector<ComPtr<IBaseFilter>> filters;
    filters.reserve(m_filters.size());
    for (auto& entry : m_filters) filters.push_back(entry.filter);
    return filters;
}

bool CFilterGraph::ContainsFilter(IBaseFilter* filter)
{
    CAutoLock lock(&m_csGraph);
    return std::any_of(m_filters.begin(), m_filters.end(), [&](const FilterEntry& e) { return e.filter == filter; });
}

std::string CFilterGraph::UniqueName(const char* wanted, bool* renamed)
{
    auto taken = [this](const std::string& name) {
        return std::any_of(m_filters.begin(), m_filters.end(), [&](const FilterEntry& e) { return e.name == name; });
    };
    std::string base = wanted ? wanted : "";
    *renamed = false;
    if (!base.empty() && !taken(base)) return base;
    *renamed = !base.empty();
    for (int n = 1;; ++n) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, base.empty() ? "%04d" : " %04d", n);
        std::string candidate = base + suffix;
        if (!taken(candidate)) return candidate;
    }
}

HRESULT CFilterGraph::AddFilter(IBaseFilter* filter, const char* name)
{
    if (!filter) return E_POINTER;
    CAutoLock lock(&m_csGraph);
    if (ContainsFilter(filter)) return VFW_E_DUPLICATE_NAME;
    bool renamed = false;
    std::string unique = UniqueName(name, &renamed);
    const HRESULT hr = filter->JoinFilterGraph(static_cast<IFilterGraph*>(this), unique.c_str());
    if (FAILED(hr)) return hr;
    if (m_clock) filter->SetSyncSource(m_clock.Get());
    m_filters.push_back(FilterEntry{filter, std::move(unique)});
    return renamed ? VFW_S_DUPLICATE_NAME : S_OK;
}

HRESULT CFilterGraph::RemoveFilter(IBaseFilter* filter)
{
    if (!filter) return E_POINTER;
    CAutoLock lock(&m_csGraph);
    auto it = std::find_if(m_filters.begin(), m_filters.end(), [&](const FilterEntry& e) { return e.filter == filter; });
    if (it == m_filters.end()) return VFW_E_NOT_FOUND;
    ComPtr<IBaseFilter> keep = it->filter;
    if (m_state != State_Stopped) filter->Stop();
    for (auto& pin : PinsOf(filter)) {
        ComPtr<IPin> peer;
        if (SUCCEEDED(pin->ConnectedTo(peer.Put())) && peer) {
            // Upstream side first, as a connection was made.
            if (DirectionOf(pin.Get()) == PINDIR_INPUT) {
                peer->Disconnect();
                pin->Disconnect();
            } else {
                pin->Disconnect();
                peer->Disconnect();
            }
        }
    }
    filter->SetSyncSource(nullptr);
    filter->JoinFilterGraph(nullptr, nullptr);
    m_filters.erase(it);
    return S_OK;
}

HRESULT CFilterGraph::EnumFilters(IEnumFilters** filters)
{
    if (!filters) return E_POINTER;
    *filters = nullptr;
    auto* enumerator = new (std::nothrow) CEnumFilters(FilterSnapshot());
    if (!enumerator) return E_OUTOFMEMORY;
    return GetInterface(static_cast<IEnumFilters*>(enumerator), reinterpret_cast<void**>(filters));
}

HRESULT CFilterGraph::FindFilterByName(const char* name, IBaseFilter** filter)
{
    if (!name || !filter) return E_POINTER;
    *filter = nullptr;
    CAutoLock lock(&m_csGraph);
    for (auto& entry : m_filters) {
        if (entry.name == name) return entry.filter.CopyTo(filter);
    }
    return VFW_E_NOT_FOUND;
}

std::vector<ComPtr<IBaseFilter>> CFilterGraph::SortedFilters()
{
    // Depth-first over downstream links; a filter is listed after everything downstream of it.
    const auto filters = FilterSnapshot();
    std::vector<ComPtr<IBaseFilter>> order;
    std::set<IBaseFilter*> visited;
    std::function<void(IBaseFilter*)> visit = [&](IBaseFilter* filter) {
        if (!visited.insert(filter).second) return;
        for (auto& next : DownstreamOf(filter)) visit(next.Get());
        order.push_back(filter);
    };
    for (auto& filter : filters) visit(filter.Get());
    // Filters reached downstream that are not in the graph are not ours to drive.
    std::erase_if(order, [&](const ComPtr<IBaseFilter>& f) {
        return std::none_of(filters.begin(), filters.end(), [&](const ComPtr<IBaseFilter>& g) { return g == f; });
    });
    return order;
}

// ---- Connections ----

HRESULT CFilterGraph::ConnectDirect(IPin* out, IPin* in, const AM_MEDIA_TYPE* type)
{
    if (!out || !in) return E_POINTER;
    auto outOwner = OwnerOf(out);
    auto inOwner = OwnerOf(in);
    if (!outOwner || !inOwner || !ContainsFilter(outOwner.Get()) || !ContainsFilter(inOwner.Get()))
        return VFW_E_NOT_IN_GRAPH;
    if (DirectionOf(out) != PINDIR_OUTPUT || DirectionOf(in) != PINDIR_INPUT) return VFW_E_INVALID_DIRECTION;
    return out->Connect(in, type);
}

HRESULT CFilterGraph::Reconnect(IPin* pin)
{
    if (!pin) return E_POINTER;
    ComPtr<IPin> peer;
    if (FAILED(pin->ConnectedTo(peer.Put())) || !peer) return VFW_E_NOT_CONNECTED;
    IPin* out = DirectionOf(pin) == PINDIR_OUTPUT ? pin : peer.Get();
    IPin* in = out == pin ? peer.Get() : pin;
    CMediaType type;
    out->ConnectionMediaType(&type);
    out->Disconnect();
    in->Disconnect();
    return ConnectDirect(out, in, &type);
}

HRESULT CFilterGraph::Disconnect(IPin* pin)
{
    if (!pin) return E_POINTER;
    return pin->Disconnect();
}

HRESULT CFilterGraph::Connect(IPin* out, IPin* in)
{
    if (!out || !in) return E_POINTER;
    if (DirectionOf(out) != PINDIR_OUTPUT || DirectionOf(in) != PINDIR_INPUT) return VFW_E_INVALID_DIRECTION;
    if (IsConnected(out) || IsConnected(in)) return VFW_E_ALREADY_CONNECTED;
    return ConnectInternal(out, in, 0);
}

bool CFilterGraph::ConnectThrough(IBaseFilter* filter, IPin* out, IPin* in, int depth)
{
    for (auto& input : PinsOf(filter)) {
        if (DirectionOf(input.Get()) != PINDIR_INPUT || IsConnected(input.Get())) continue;
        if (FAILED(ConnectDirect(out, input.Get(), nullptr))) continue;
        for (auto& output : PinsOf(filter)) {
            if (DirectionOf(output.Get()) != PINDIR_OUTPUT || IsConnected(output.Get())) continue;
            if (SUCCEEDED(ConnectInternal(output.Get(), in, depth + 1))) return true;
        }
        out->Disconnect();
        input->Disconnect();
    }
    return false;
}

HRESULT CFilterGraph::ConnectInternal(IPin* out, IPin* in, int depth)
{
    if (SUCCEEDED(ConnectDirect(out, in, nullptr))) return S_OK;
    if (depth >= kMaxConnectDepth) return VFW_E_CANNOT_CONNECT;

    auto outOwner = OwnerOf(out);
    auto inOwner = OwnerOf(in);
    // Filters already in the graph with a free input first.
    for (auto& filter : FilterSnapshot()) {
        if (filter == outOwner || filter == inOwner) continue;
        if (ConnectThrough(filter.Get(), out, in, depth)) return S_OK;
    }
    // Then registered filters, best merit first.
    for (const auto& registration : CClassFactory::Instance().FiltersByMerit()) {
        if (registration.isRenderer || !OffersRegisteredType(out, registration.inputTypes)) continue;
        ComPtr<IBaseFilter> filter;
        if (FAILED(CoCreateInstance(registration.clsid, nullptr, CLSCTX_INPROC_SERVER, IBaseFilter::iid, filter.PutVoid())))
            continue;
        if (FAILED(AddFilter(filter.Get(), registration.name.c_str()))) continue;
        if (ConnectThrough(filter.Get(), out, in, depth)) return S_OK;
        RemoveFilter(filter.Get());
    }
    return VFW_E_CANNOT_CONNECT;
}

HRESULT CFilterGraph::Render(IPin* out)
{
    if (!out) return E_POINTER;
    if (DirectionOf(out) != PINDIR_OUTPUT) return VFW_E_INVALID_DIRECTION;
    if (IsConnected(out)) return VFW_E_ALREADY_CONNECTED;
    return RenderInternal(out, 0);
}

bool CFilterGraph::RenderThrough(IBaseFilter* filter, IPin* out, int depth)
{
    for (auto& input : PinsOf(filter)) {
        if (DirectionOf(input.Get()) != PINDIR_INPUT || IsConnected(input.Get())) continue;
        if (FAILED(ConnectDirect(out, input.Get(), nullptr))) continue;
        bool hasOutputs = false;
        int rendered = 0;
        for (auto& output : PinsOf(filter)) {
            if (DirectionOf(output.Get()) != PINDIR_OUTPUT) continue;
            hasOutputs = true;
            if (!IsConnected(output.Get()) && SUCCEEDED(RenderInternal(output.Get(), depth + 1))) ++rendered;
        }
        if (!hasOutputs || rendered > 0) return true;
        out->Disconnect();
        input->Disconnect();
    }
    return false;
}

HRESULT CFilterGraph::RenderInternal(IPin* out, int depth)
{
    if (depth >= kMaxConnectDepth) return VFW_E_CANNOT_RENDER;
    auto outOwner = OwnerOf(out);
    for (auto& filter : FilterSnapshot()) {
        if (filter == outOwner) continue;
        if (RenderThrough(filter.Get(), out, depth)) return S_OK;
    }
    for (const auto& registration : CClassFactory::Instance().FiltersByMerit()) {
        if (!OffersRegisteredType(out, registration.inputTypes)) continue;
        ComPtr<IBaseFilter> filter;
        if (FAILED(CoCreateInstance(registration.clsid, nullptr, CLSCTX_INPROC_SERVER, IBaseFilter::iid, filter.PutVoid())))
            continue;
        if (FAILED(AddFilter(filter.Get(), registration.name.c_str()))) continue;
        if (RenderThrough(filter.Get(), out, depth)) return S_OK;
        RemoveFilter(filter.Get());
    }
    return VFW_E_CANNOT_RENDER;
}

HRESULT CFilterGraph::RenderFile(const char*, const char*) { return E_NOTIMPL; }

HRESULT CFilterGraph::AddSourceFilter(const char*, const char*, IBaseFilter** filter)
{
    if (filter) *filter = nullptr;
    return E_NOTIMPL;
}

HRESULT CFilterGraph::SetLogFile(DWORD_PTR) { return S_OK; }

HRESULT CFilterGraph::Abort() { return S_OK; }

HRESULT CFilterGraph::ShouldOperationContinue() { return S_OK; }

// ---- Clock and state ----

HRESULT CFilterGraph::SetDefaultSyncSource()
{
    CAutoLock lock(&m_csGraph);
    ComPtr<IReferenceClock> clock;
    // A filter's own clock (an audio renderer's) wins, downstream filters first.
    for (auto& filter : SortedFilters()) {
        if (SUCCEEDED(QueryInterfaceTo(filter.Get(), clock))) break;
    }
    if (!clock) {
        const HRESULT hr = CSystemClock::CreateInstance(nullptr, IReferenceClock::iid, clock.PutVoid());
        if (FAILED(hr)) return hr;
    }
    m_clockChosen = false; // chosen by default, not by the application
    m_clock = clock;
    for (auto& entry : m_filters) entry.filter->SetSyncSource(m_clock.Get());
    return S_OK;
}

HRESULT CFilterGraph::SetSyncSource(IReferenceClock* clock)
{
    CAutoLock lock(&m_csGraph);
    if (m_state != State_Stopped) return VFW_E_NOT_STOPPED;
    m_clock = clock;
    m_clockChosen = true;
    for (auto& entry : m_filters) entry.filter->SetSyncSource(clock);
    return S_OK;
}

HRESULT CFilterGraph::GetSyncSource(IReferenceClock** clock)
{
    if (!clock) return E_POINTER;
    CAutoLock lock(&m_csGraph);
    return m_clock.CopyTo(clock);
}

REFERENCE_TIME CFilterGraph::ClockNow()
{
    REFERENCE_TIME now = 0;
    if (m_clock) m_clock->GetTime(&now);
    return now;
}

HRESULT CFilterGraph::PauseInternal()
{
    if (m_state == State_Paused) return S_OK;
    if (m_state == State_Stopped) {
        if (!m_clock && !m_clockChosen) SetDefaultSyncSource();
        m_pausedStreamTime = 0;
        ResetCompletion();
    } else if (m_clock) {
        m_pausedStreamTime = ClockNow() - m_streamStart;
    }
    for (auto& filter : SortedFilters()) {
        const HRESULT hr = filter->Pause();
        if (FAILED(hr)) {
            DebugLog("graph: a filter failed to pause\n");
            for (auto& f : SortedFilters()) f->Stop();
            m_state = State_Stopped;
            return hr;
        }
    }
    m_state = State_Paused;
    return S_OK;
}

HRESULT CFilterGraph::RunInternal()
{
    if (m_state == State_Running) return S_OK;
    HRESULT hr = PauseInternal();
    if (FAILED(hr)) return hr;
    // Stream time goes on from where it was paused.
    m_streamStart = m_clock ? ClockNow() + kRunLatency - m_pausedStreamTime : 0;
    for (auto& filter : SortedFilters()) {
        hr = filter->Run(m_streamStart);
        if (FAILED(hr)) {
            DebugLog("graph: a filter failed to run\n");
            for (auto& f : SortedFilters()) f->Stop();
            m_state = State_Stopped;
            return hr;
        }
    }
    m_state = State_Running;
    return S_OK;
}

HRESULT CFilterGraph::Run()
{
    CAutoLock lock(&m_csGraph);
    return RunInternal();
}

HRESULT CFilterGraph::Pause()
{
    CAutoLock lock(&m_csGraph);
    return PauseInternal();
}

HRESULT CFilterGraph::Stop()
{
    CAutoLock lock(&m_csGraph);
    HRESULT result = S_OK;
    for (auto& filter : SortedFilters()) {
        const HRESULT hr = filter->Stop();
        if (FAILED(hr) && SUCCEEDED(result)) result = hr;
    }
    m_state = State_Stopped;
    m_pausedStreamTime = 0;
    return result;
}

HRESULT CFilterGraph::StopWhenReady()
{
    CAutoLock lock(&m_csGraph);
    if (m_state == State_Stopped) {
        const HRESULT hr = PauseInternal();
        if (FAILED(hr)) return hr;
    }
    return Stop();
}

HRESULT CFilterGraph::GetState(LONG msTimeout, OAFilterState* state)
{
    if (!state) return E_POINTER;
    std::vector<ComPtr<IBaseFilter>> filters;
    {
        CAutoLock lock(&m_csGraph);
        *state = m_state;
        filters = SortedFilters();
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(msTimeout < 0 ? 0 : msTimeout);
    HRESULT result = S_OK;
    for (auto& filter : filters) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        FILTER_STATE filterState = State_Stopped;
        const HRESULT hr = filter->GetState(static_cast<DWORD>(std::max<long long>(0, left.count())), &filterState);
        if (FAILED(hr)) return hr;
        if (hr == VFW_S_STATE_INTERMEDIATE) result = hr;
        else if (hr == VFW_S_CANT_CUE && result == S_OK) result = hr;
    }
    return result;
}

// ---- Events ----

void CFilterGraph::ResetCompletion()
{
    std::vector<IBaseFilter*> renderers;
    for (auto& filter : FilterSnapshot())
        if (IsRendererFilter(filter.Get())) renderers.push_back(filter.Get());
    std::lock_guard lock(m_eventLock);
    m_pendingCompletion = std::move(renderers);
    m_completeSent = false;
    m_completionCode = 0;
}

void CFilterGraph::QueueEvent(const GraphEvent& event)
{
    bool notify = false;
    {
        std::lock_guard lock(m_eventLock);
        m_events.push_back(event);
        m_eventHandle.Set();
        if (event.code == EC_COMPLETE || event.code == EC_ERRORABORT || event.code == EC_USERABORT) {
            if (m_completionCode == 0) m_completionCode = event.code;
        }
        notify = !(m_notifyFlags & AM_MEDIAEVENT_NONOTIFY);
    }
    m_eventArrived.notify_all();
    // Under its own lock: whoever clears the callback waits for a call that is running.
    if (notify) {
        std::lock_guard lock(m_notifyLock);
        if (m_notify) m_notify();
    }
}

HRESULT CFilterGraph::Notify(LONG eventCode, LONG_PTR param1, LONG_PTR param2)
{
    if (eventCode == EC_COMPLETE) {
        std::unique_lock lock(m_eventLock);
        if (m_defaultCompleteHandling) {
            // One EC_COMPLETE for the graph, once every renderer and sink has finished.
            auto* sender = reinterpret_cast<IBaseFilter*>(param2);
            auto it = std::find(m_pendingCompletion.begin(), m_pendingCompletion.end(), sender);
            if (it != m_pendingCompletion.end())
                m_pendingCompletion.erase(it);
            else if (!m_pendingCompletion.empty() && sender == nullptr)
                m_pendingCompletion.pop_back();
            if (!m_pendingCompletion.empty() || m_completeSent) return S_OK;
            m_completeSent = true;
            lock.unlock();
            DebugLog("EC_COMPLETE\r\n");
            QueueEvent(GraphEvent{EC_COMPLETE, S_OK, 0});
            return S_OK;
        }
    }
    QueueEvent(GraphEvent{eventCode, param1, param2});
    return S_OK;
}

HRESULT CFilterGraph::GetEventHandle(CAMEvent** event)
{
    if (!event) return E_POINTER;
    *event = &m_eventHandle;
    return S_OK;
}

HRESULT CFilterGraph::GetEvent(LONG* eventCode, LONG_PTR* param1, LONG_PTR* param2, LONG msTimeout)
{
    if (!eventCode || !param1 || !param2) return E_POINTER;
    std::unique_lock lock(m_eventLock);
    auto ready = [this] { return !m_events.empty(); };
    if (msTimeout < 0)
        m_eventArrived.wait(lock, ready);
    else if (!m_eventArrived.wait_for(lock, std::chrono::milliseconds(msTimeout), ready))
        return E_ABORT;
    const GraphEvent event = m_events.front();
    m_events.pop_front();
    if (m_events.empty()) m_eventHandle.Reset();
    *eventCode = event.code;
    *param1 = event.param1;
    *param2 = event.param2;
    return S_OK;
}

HRESULT CFilterGraph::WaitForCompletion(LONG msTimeout, LONG* eventCode)
{
    if (!eventCode) return E_POINTER;
    std::unique_lock lock(m_eventLock);
    auto done = [this] { return m_completionCode != 0; };
    if (msTimeout < 0)
        m_eventArrived.wait(lock, done);
    else if (!m_eventArrived.wait_for(lock, std::chrono::milliseconds(msTimeout), done)) {
        *eventCode = 0;
        return E_ABORT;
    }
    *eventCode = m_completionCode;
    return S_OK;
}

HRESULT CFilterGraph::CancelDefaultHandling(LONG eventCode)
{
    if (eventCode != EC_COMPLETE) return S_FALSE;
    std::lock_guard lock(m_eventLock);
    m_defaultCompleteHandling = false;
    return S_OK;
}

HRESULT CFilterGraph::RestoreDefaultHandling(LONG eventCode)
{
    if (eventCode != EC_COMPLETE) return S_FALSE;
    std::lock_guard lock(m_eventLock);
    m_defaultCompleteHandling = true;
    return S_OK;
}

HRESULT CFilterGraph::FreeEventParams(LONG, LONG_PTR, LONG_PTR)
{
    // Our events carry plain values only.
    return S_OK;
}

HRESULT CFilterGraph::SetNotifyCallback(GraphNotifyCallback callback)
{
    std::lock_guard lock(m_notifyLock);
    m_notify = std::move(callback);
    return S_OK;
}

HRESULT CFilterGraph::SetNotifyFlags(LONG noNotifyFlags)
{
    std::lock_guard lock(m_eventLock);
    m_notifyFlags = noNotifyFlags;
    return S_OK;
}

HRESULT CFilterGraph::GetNotifyFlags(LONG* noNotifyFlags)
{
    if (!noNotifyFlags) return E_POINTER;
    std::lock_guard lock(m_eventLock);
    *noNotifyFlags = m_notifyFlags;
    return S_OK;
}

// ---- Seeking ----

std::vector<ComPtr<IMediaSeeking>> CFilterGraph::SeekingFilters()
{
    // Renderers pass seeks upstream to the source; without seeking renderers, any filter that
    // offers seeking is asked.
    std::vector<ComPtr<IMediaSeeking>> renderers;
    std::vector<ComPtr<IMediaSeeking>> others;
    for (auto& filter : SortedFilters()) {
        ComPtr<IMediaSeeking> seeking;
        if (FAILED(QueryInterfaceTo(filter.Get(), seeking))) continue;
        (IsRendererFilter(filter.Get()) ? renderers : others).push_back(seeking);
    }
    return renderers.empty() ? others : renderers;
}

// Asks every seeking filter in turn; the first success answers.
#define ZZ_FIRST_SUCCESS(call)                                        \
    HRESULT result = E_NOTIMPL;                                       \
    for (auto& seeking : SeekingFilters()) {                          \
        result = seeking->call;                                       \
        if (SUCCEEDED(result)) return result;                         \
    }                                                                 \
    return result;

HRESULT CFilterGraph::GetCapabilities(DWORD* capabilities) { ZZ_FIRST_SUCCESS(GetCapabilities(capabilities)) }
HRESULT CFilterGraph::CheckCapabilities(DWORD* capabilities) { ZZ_FIRST_SUCCESS(CheckCapabilities(capabilities)) }
HRESULT CFilterGraph::IsFormatSupported(const GUID* format) { ZZ_FIRST_SUCCESS(IsFormatSupported(format)) }

HRESULT CFilterGraph::QueryPreferredFormat(GUID* format)
{
    if (!format) return E_POINTER;
    *format = TIME_FORMAT_MEDIA_TIME;
    return S_OK;
}

HRESULT CFilterGraph::GetTimeFormat(GUID* format)
{
    if (!format) return E_POINTER;
    CAutoLock lock(&m_csGraph);
    *format = m_timeFormat;
    return S_OK;
}

HRESULT CFilterGraph::IsUsingTimeFormat(const GUID* format)
{
    if (!format) return E_POINTER;
    CAutoLock lock(&m_csGraph);
    return *format == m_timeFormat ? S_OK : S_FALSE;
}

HRESULT CFilterGraph::SetTimeFormat(const GUID* format)
{
    if (!format) return E_POINTER;
    CAutoLock lock(&m_csGraph);
    if (m_state != State_Stopped) return VFW_E_WRONG_STATE;
    HRESULT result = E_NOTIMPL;
    for (auto& seeking : SeekingFilters()) {
        result = seeking->SetTimeFormat(format);
        if (FAILED(result)) return result;
    }
    if (SUCCEEDED(result)) m_timeFormat = *format;
    return result;
}

HRESULT CFilterGraph::GetDuration(LONGLONG* duration)
{
    if (!duration) return E_POINTER;
    HRESULT result = E_NOTIMPL;
    LONGLONG longest = 0;
    for (auto& seeking : SeekingFilters()) {
        LONGLONG value = 0;
        const HRESULT hr = seeking->GetDuration(&value);
        if (FAILED(hr)) continue;
        longest = std::max(longest, value);
        result = S_OK;
    }
    if (SUCCEEDED(result)) *duration = longest;
    return result;
}

HRESULT CFilterGraph::GetStopPosition(LONGLONG* stop) { ZZ_FIRST_SUCCESS(GetStopPosition(stop)) }
HRESULT CFilterGraph::GetCurrentPosition(LONGLONG* current) { ZZ_FIRST_SUCCESS(GetCurrentPosition(current)) }

HRESULT CFilterGraph::ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                        const GUID* sourceFormat)
{
    ZZ_FIRST_SUCCESS(ConvertTimeFormat(target, targetFormat, source, sourceFormat))
}

HRESULT CFilterGraph::GetPositions(LONGLONG* current, LONGLONG* stop) { ZZ_FIRST_SUCCESS(GetPositions(current, stop)) }
HRESULT CFilterGraph::GetAvailable(LONGLONG* earliest, LONGLONG* latest) { ZZ_FIRST_SUCCESS(GetAvailable(earliest, latest)) }
HRESULT CFilterGraph::GetRate(double* rate) { ZZ_FIRST_SUCCESS(GetRate(rate)) }
HRESULT CFilterGraph::GetPreroll(LONGLONG* preroll) { ZZ_FIRST_SUCCESS(GetPreroll(preroll)) }

#undef ZZ_FIRST_SUCCESS

HRESULT CFilterGraph::SetRate(double rate)
{
    HRESULT result = E_NOTIMPL;
    for (auto& seeking : SeekingFilters()) {
        result = seeking->SetRate(rate);
        if (FAILED(result)) return result;
    }
    return result;
}

HRESULT CFilterGraph::SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags)
{
    CAutoLock lock(&m_csGraph);
    const auto targets = SeekingFilters();
    if (targets.empty()) return E_NOTIMPL;
    const bool wasRunning = m_state == State_Running;
    // A running graph pauses for the seek and runs again with stream time starting anew.
    if (wasRunning) {
        for (auto& filter : SortedFilters()) filter->Pause();
        m_state = State_Paused;
    }
    // Completion counting restarts before the sources do: they may end the new segment at once.
    if ((currentFlags & AM_SEEKING_PositioningBitsMask) != AM_SEEKING_NoPositioning) {
        ResetCompletion();
        m_pausedStreamTime = 0;
    }
    HRESULT result = S_OK;
    for (auto& seeking : targets) {
        const HRESULT hr = seeking->SetPositions(current, currentFlags, stop, stopFlags);
        if (FAILED(hr) && SUCCEEDED(result)) result = hr;
    }
    if (wasRunning) RunInternal();
    return result;
}
