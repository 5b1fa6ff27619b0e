#include "demux/base_splitter_filter.h"

#include <algorithm>

#include "com/debug_log.h"

// ---- Input pin ----

CBaseSplitterInputPin::CBaseSplitterInputPin(CBaseSplitterFilter* filter, CCritSec* lock, HRESULT* phr)
    : CBasePin("Splitter input pin", filter, lock, phr, "Input", PINDIR_INPUT), m_splitter(filter)
{
}

HRESULT CBaseSplitterInputPin::CheckMediaType(const CMediaType*) { return S_OK; }

HRESULT CBaseSplitterInputPin::CheckConnect(IPin* pin)
{
    HRESULT hr = CBasePin::CheckConnect(pin);
    if (FAILED(hr)) return hr;
    ComPtr<IAsyncReader> reader;
    return SUCCEEDED(QueryInterfaceTo(pin, reader)) ? S_OK : E_NOINTERFACE;
}

HRESULT CBaseSplitterInputPin::CompleteConnect(IPin* receivePin)
{
    HRESULT hr = CBasePin::CompleteConnect(receivePin);
    if (FAILED(hr)) return hr;
    ComPtr<IAsyncReader> reader;
    hr = QueryInterfaceTo(receivePin, reader);
    if (FAILED(hr)) return hr;
    hr = m_splitter->ReleaseOutputPins();
    if (FAILED(hr)) return hr;
    hr = m_splitter->BuildOutputPins(reader.Get());
    if (FAILED(hr)) return hr;
    m_reader = reader;
    return S_OK;
}

HRESULT CBaseSplitterInputPin::BreakConnect()
{
    m_splitter->ReleaseOutputPins();
    m_reader = nullptr;
    return CBasePin::BreakConnect();
}

// ---- Filter ----

CBaseSplitterFilter::CBaseSplitterFilter(const char* objectName, IUnknown* outer, HRESULT* phr, REFCLSID clsid)
    : CBaseFilter(objectName, outer, &m_csFilter, clsid)
{
    m_inputPin = std::make_unique<CBaseSplitterInputPin>(this, &m_csFilter, phr);
}

CBaseSplitterFilter::~CBaseSplitterFilter() { EndDemuxThread(); }

void CBaseSplitterFilter::EndDemuxThread()
{
    if (m_thread) {
        SendCommand(kCommandExit);
        m_thread.reset();
    }
}

DWORD CBaseSplitterFilter::SendCommand(DWORD command)
{
    // A source stuck retrying a bad read gives up when it sees the event; a demultiplexing thread
    // waiting for a flush to end looks at it too.
    m_commandEvent.Set();
    m_flushOrCommand.Set();
    return m_thread->CallWorker(command);
}

void CBaseSplitterFilter::SetSourceBreakEvent(CAMEvent* event)
{
    IAsyncReader* reader = m_inputPin ? m_inputPin->Reader() : nullptr;
    ComPtr<ISyncReader> sync;
    if (reader && SUCCEEDED(QueryInterfaceTo(reader, sync))) sync->SetBreakEvent(event);
}

HRESULT CBaseSplitterFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IFileSourceFilter::iid) {
        // Only a splitter behind a source: the input pin always exists.
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    if (riid == IMediaSeeking::iid) return GetInterface(static_cast<IMediaSeeking*>(this), ppv);
    if (riid == IKeyFrameInfo::iid) return GetInterface(static_cast<IKeyFrameInfo*>(this), ppv);
    if (riid == IBufferInfo::iid) return GetInterface(static_cast<IBufferInfo*>(this), ppv);
    return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

int CBaseSplitterFilter::GetPinCount() { return static_cast<int>(m_outputPins.size()) + 1; }

CBasePin* CBaseSplitterFilter::GetPin(int index)
{
    if (index >= 0 && index < static_cast<int>(m_outputPins.size())) return m_outputPins[static_cast<std::size_t>(index)].get();
    if (index == static_cast<int>(m_outputPins.size())) return m_inputPin.get();
    return nullptr;
}

CBaseSplitterOutputPin* CBaseSplitterFilter::GetOutputPin(DWORD streamId)
{
    std::lock_guard lock(m_pinMapLock);
    auto it = m_pinMap.find(streamId);
    return it == m_pinMap.end() ? nullptr : it->second;
}

void CBaseSplitterFilter::AddOutputPin(DWORD streamId, std::unique_ptr<CBaseSplitterOutputPin> pin)
{
    {
        std::lock_guard lock(m_pinMapLock);
        m_pinMap[streamId] = pin.get();
    }
    m_outputPins.push_back(std::move(pin));
    IncrementPinVersion();
}

HRESULT CBaseSplitterFilter::ReleaseOutputPins()
{
    m_duration = 0;
    m_retiredPins.clear();
    CAutoLock lock(&m_csFilter);
    if (!IsStopped()) return VFW_E_NOT_STOPPED;
    for (auto& pin : m_outputPins) {
        if (IPin* peer = pin->GetConnected()) {
            peer->Disconnect();
            pin->Disconnect();
        }
        m_retiredPins.push_back(std::move(pin));
    }
    m_outputPins.clear();
    IncrementPinVersion();
    {
        std::lock_guard pins(m_pinMapLock);
        m_pinMap.clear();
    }
    std::lock_guard pending(m_pendingLock);
    m_pendingTypes.clear();
    return S_OK;
}

HRESULT CBaseSplitterFilter::RetargetOutputPin(DWORD from, DWORD to, const CMediaType& type)
{
    std::lock_guard lock(m_pinMapLock);
    auto it = m_pinMap.find(from);
    if (it == m_pinMap.end()) return E_FAIL;
    CBaseSplitterOutputPin* pin = it->second;
    if (from == to) return S_OK;
    if (IPin* peer = pin->GetConnected()) {
        if (peer->QueryAccept(&type) != S_OK) return VFW_E_TYPE_NOT_ACCEPTED;
    }
    m_pinMap.erase(it);
    m_pinMap[to] = pin;
    std::lock_guard pending(m_pendingLock);
    m_pendingTypes[to] = type;
    return S_OK;
}

HRESULT CBaseSplitterFilter::Stop()
{
    CAutoLock lock(&m_csFilter);
    DebugLog("Stop\n");
    DeliverBeginFlush();
    if (m_thread) {
        SendCommand(kCommandExit);
        m_thread.reset();
    }
    DeliverEndFlush();
    return CBaseFilter::Stop();
}

HRESULT CBaseSplitterFilter::Pause()
{
    CAutoLock lock(&m_csFilter);
    DebugLog("Pause\n");
    const FILTER_STATE previous = m_state.load();
    HRESULT hr = CBaseFilter::Pause();
    if (FAILED(hr)) return hr;
    if (previous == State_Stopped) {
        DebugLog("Pause State_Stopped Create\n");
        m_thread = std::make_unique<DemuxThread>(this, &CBaseSplitterFilter::DemuxLoop);
        if (!m_thread->Create()) {
            m_thread.reset();
            return E_FAIL;
        }
    }
    return S_OK;
}

HRESULT CBaseSplitterFilter::Run(REFERENCE_TIME start)
{
    CAutoLock lock(&m_csFilter);
    return CBaseFilter::Run(start);
}

void CBaseSplitterFilter::DeliverBeginFlush()
{
    m_flushing = true;
    m_endFlush.Reset();
    for (auto& pin : m_outputPins) pin->DeliverBeginFlush();
}

void CBaseSplitterFilter::DeliverEndFlush()
{
    for (auto& pin : m_outputPins) pin->DeliverEndFlush();
    m_flushing = false;
    m_endFlush.Set();
    m_flushOrCommand.Set();
}

bool CBaseSplitterFilter::CommandPending() { return m_thread && m_thread->CheckRequest(nullptr); }

void CBaseSplitterFilter::DemuxLoop(DemuxThread& thread)
{
    SetSourceBreakEvent(&m_commandEvent);
    struct Unset {
        CBaseSplitterFilter* filter;
        ~Unset() { filter->SetSourceBreakEvent(nullptr); }
    } unset{this};
    if (FAILED(PrepareDemux())) {
        for (;;) {
            const DWORD command = thread.GetRequest();
            m_commandEvent.Reset();
            thread.Reply(0);
            if (command == kCommandExit) return;
        }
    }
    m_endFlush.Set();
    m_flushing = false;
    DWORD command = static_cast<DWORD>(-1);
    for (;;) {
        m_priority = 0;
        // Written by ApplySeek before it called us; the filter lock is not ours to take here.
        m_start = m_newStart.load();
        m_stop = m_newStop.load();
        SeekDemux(m_start.load());
        if (command != static_cast<DWORD>(-1)) thread.Reply(0);
        // The caller we replied to ends its flush next. On the first pass nobody waits for a
        // reply, and a seek or stop that began meanwhile has reset the event and now waits for
        // this thread: take its command first.
        bool flushed = false;
        while (!(flushed = m_endFlush.Wait(0)) && !m_commandEvent.Wait(0)) m_flushOrCommand.Wait();
        if (!flushed) {
            command = thread.GetRequest();
            m_commandEvent.Reset();
            if (command == kCommandExit) {
                thread.Reply(0);
                return;
            }
            continue;
        }

        m_activePins.clear();
        m_activeTimes.clear();
        for (auto& pin : m_outputPins) {
            if (!pin->IsConnected()) continue;
            m_activePins.push_back(pin.get());
            m_activeTimes.push_back(kInvalidTime);
            pin->DeliverNewSegment(m_start.load(), m_stop.load(), m_rate.load());
        }
        m_discontinuitySent.clear();
        m_batchWakes = true;
        RunDemux();
        WakeDeliveries();
        m_batchWakes = false;
        for (CBaseSplitterOutputPin* pin : m_activePins) {
            if (CommandPending()) break;
            pin->QueueEndOfStream();
        }
        command = thread.GetRequest();
        m_commandEvent.Reset();
        if (command == kCommandExit) {
            thread.Reply(0);
            return;
        }
    }
}

HRESULT CBaseSplitterFilter::DeliverPacket(PacketPtr packet)
{
    // A stream with a second pin (kMirrorId) goes to both.
    if (!(packet->streamId & kMirrorId) && GetOutputPin(packet->streamId | kMirrorId)) {
        PacketPtr twin = m_pool.Take();
        twin->streamId = packet->streamId | kMirrorId;
        twin->start = packet->start;
        twin->stop = packet->stop;
        twin->discontinuity = packet->discontinuity;
        twin->syncPoint = packet->syncPoint;
        twin->Append(packet->data.data(), packet->data.size());
        const HRESULT twinResult = DeliverPacket(std::move(twin));
        if (FAILED(twinResult)) {
            m_pool.Give(std::move(packet));
            return twinResult;
        }
    }
    CBaseSplitterOutputPin* pin = GetOutputPin(packet->streamId);
    const auto active = std::find(m_activePins.begin(), m_activePins.end(), pin);
    if (!pin || !pin->IsConnected() || active == m_activePins.end()) {
        m_pool.Give(std::move(packet));
        return S_FALSE;
    }
    const auto place = static_cast<std::size_t>(active - m_activePins.begin());
    if (packet->HasStart()) {
        m_current = packet->start;
        m_activeTimes[place] = packet->start;
        packet->start -= m_start.load();
        packet->stop -= m_start.load();
    }
    {
        std::lock_guard lock(m_pendingLock);
        auto it = m_pendingTypes.find(packet->streamId);
        if (it != m_pendingTypes.end()) {
            packet->mediaType = std::make_unique<CMediaType>(it->second);
            m_pendingTypes.erase(it);
        }
    }
    const DWORD id = packet->streamId;
    const bool first = std::find(m_discontinuitySent.begin(), m_discontinuitySent.end(), id) == m_discontinuitySent.end();
    if (first) packet->discontinuity = true;
    HRESULT hr = pin->QueuePacket(std::move(packet), m_batchWakes.load());
    if (hr != S_OK) {
        pin->WakeIfPending();
        m_activePins.erase(m_activePins.begin() + static_cast<std::ptrdiff_t>(place));
        m_activeTimes.erase(m_activeTimes.begin() + static_cast<std::ptrdiff_t>(place));
        if (!m_activePins.empty()) hr = S_OK; // the others go on
    } else if (first) {
        m_discontinuitySent.push_back(id);
    }
    return hr;
}

bool CBaseSplitterFilter::ActivePinsReached(REFERENCE_TIME time, REFERENCE_TIME slack)
{
    bool all = true, any = false, farBeyond = false;
    for (std::size_t i = 0; i < m_activePins.size(); ++i) {
        if (m_activePins[i]->IsDiscontinuous()) continue;
        any = true;
        const REFERENCE_TIME last = m_activeTimes[i];
        if (last == kInvalidTime || last < time) all = false;
        if (last != kInvalidTime && last >= time + slack) farBeyond = true;
    }
    if (!any) return m_current.load() >= time;
    return all || farBeyond;
}

void CBaseSplitterFilter::RoomMade()
{
    // Called for every packet a pin takes: nobody to tell most of the time.
    if (m_roomWaiters.load() == 0) return;
    {
        std::lock_guard lock(m_roomLock);
    }
    m_roomMade.notify_all();
}

void CBaseSplitterFilter::PacketTaken(CBaseSplitterOutputPin& pin)
{
    if (m_roomWaiters.load() == 0) return;
    if (m_takenWhileWaiting.fetch_add(1) + 1 < kRoomBatch && pin.QueueCount() > 0) return;
    m_takenWhileWaiting = 0;
    RoomMade();
}

void CBaseSplitterFilter::WakeDeliveries()
{
    if (!m_batchWakes.load()) return; // outside RunDemux nothing is batched (and the pins may change)
    for (CBaseSplitterOutputPin* pin : m_activePins) pin->WakeIfPending();
}

bool CBaseSplitterFilter::IsAnyPinDrying()
{
    constexpr std::size_t kPackets = 100, kBytes = 262144, kMaxPackets = 3000, kMaxBytes = 1048576;
    std::size_t totalPackets = 0, totalBytes = 0;
    bool empty = false, low = false;
    for (CBaseSplitterOutputPin* pin : m_activePins) {
        if (pin->IsDiscontinuous()) continue;
        const std::size_t count = pin->QueueCount();
        const std::size_t size = pin->QueueSize();
        totalPackets += count;
        totalBytes += size;
        if (count == 0) empty = true;
        if (count < kPackets || size < kBytes) {
            low = true;
            if (m_priority.load() == 0 && (count <= 32 || size <= 87380)) {
                for (auto& p : m_outputPins) p->SetLowPriority(true);
                m_priority = -1;
            }
        }
    }
    if (!low && m_priority.load() != 0 && (totalPackets > kMaxPackets * 2 / 3 || totalBytes > kMaxBytes * 2 / 3)) {
        for (auto& p : m_outputPins) p->SetLowPriority(false);
        m_priority = 0;
    }
    // A pin with nothing to deliver gets its stream's next packets however far the others are
    // ahead (its filters may wait for them). Otherwise the queues together stay within bounds: a
    // pin whose stream is sparse in the data (sound beside the pictures) would else let the
    // pictures' queue grow by seconds while its own never fills (7.5 MB on a DVD conversion).
    // A megabyte is more than a second of DVD pictures, ahead of what the encoders need.
    return empty || (totalPackets < kMaxPackets && totalBytes < kMaxBytes);
}

HRESULT CBaseSplitterFilter::ApplySeek(const void* seeker, LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                                       DWORD stopFlags)
{
    CAutoLock lock(&m_csFilter);
    const DWORD currentMode = currentFlags & AM_SEEKING_PositioningBitsMask;
    const DWORD stopMode = stopFlags & AM_SEEKING_PositioningBitsMask;
    if ((!current && !stop) || (currentMode == 0 && stopMode == 0)) return S_OK;

    REFERENCE_TIME newCurrent = m_current;
    if (current) {
        if (currentMode == AM_SEEKING_AbsolutePositioning) newCurrent = *current;
        else if (currentMode == AM_SEEKING_RelativePositioning || currentMode == AM_SEEKING_IncrementalPositioning)
            newCurrent = m_current + *current;
    }
    REFERENCE_TIME newStop = m_stop;
    if (stop) {
        if (stopMode == AM_SEEKING_AbsolutePositioning) newStop = *stop;
        else if (stopMode == AM_SEEKING_RelativePositioning) newStop = m_stop.load() + *stop;
        else if (stopMode == AM_SEEKING_IncrementalPositioning) newStop = newCurrent + *stop;
    }
    if (newCurrent == m_current && newStop == m_stop) return S_OK;

    if (newCurrent == m_lastSeekStart && newStop == m_lastSeekStop &&
        std::find(m_seekers.begin(), m_seekers.end(), seeker) == m_seekers.end()) {
        // Another output pin passing on the same seek.
        m_seekers.push_back(seeker);
        return S_OK;
    }
    m_lastSeekStart = newCurrent;
    m_lastSeekStop = newStop;
    m_seekers.assign(1, seeker);
    m_current = newCurrent;
    m_newStart = newCurrent;
    m_newStop = newStop;
    if (m_thread) {
        DeliverBeginFlush();
        SendCommand(kCommandSeek);
        DeliverEndFlush();
    }
    return S_OK;
}

// ---- IMediaSeeking ----

HRESULT CBaseSplitterFilter::GetCapabilities(DWORD* capabilities)
{
    if (!capabilities) return E_POINTER;
    *capabilities = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanSeekForwards | AM_SEEKING_CanSeekBackwards |
                    AM_SEEKING_CanGetCurrentPos | AM_SEEKING_CanGetDuration; // 55
    return S_OK;
}

HRESULT CBaseSplitterFilter::CheckCapabilities(DWORD* capabilities)
{
    if (!capabilities) return E_POINTER;
    DWORD ours = 0;
    GetCapabilities(&ours);
    const DWORD wanted = *capabilities;
    *capabilities &= ours;
    if (*capabilities == wanted) return S_OK;
    return *capabilities ? S_FALSE : E_FAIL;
}

HRESULT CBaseSplitterFilter::IsFormatSupported(const GUID* format)
{
    if (!format) return E_POINTER;
    return *format == TIME_FORMAT_MEDIA_TIME ? S_OK : S_FALSE;
}

HRESULT CBaseSplitterFilter::QueryPreferredFormat(GUID* format) { return GetTimeFormat(format); }

HRESULT CBaseSplitterFilter::GetTimeFormat(GUID* format)
{
    if (!format) return E_POINTER;
    *format = TIME_FORMAT_MEDIA_TIME;
    return S_OK;
}

HRESULT CBaseSplitterFilter::IsUsingTimeFormat(const GUID* format) { return IsFormatSupported(format); }

HRESULT CBaseSplitterFilter::SetTimeFormat(const GUID* format)
{
    return IsFormatSupported(format) == S_OK ? S_OK : E_INVALIDARG;
}

HRESULT CBaseSplitterFilter::GetDuration(LONGLONG* duration)
{
    if (!duration) return E_POINTER;
    *duration = m_duration.load();
    return S_OK;
}

HRESULT CBaseSplitterFilter::GetStopPosition(LONGLONG* stop)
{
    if (!stop) return E_POINTER;
    CAutoLock lock(&m_csFilter);
    *stop = m_stop.load();
    return S_OK;
}

HRESULT CBaseSplitterFilter::GetCurrentPosition(LONGLONG* current)
{
    if (!current) return E_POINTER;
    *current = m_current.load();
    DebugLog("curpos:%lld\n", static_cast<long long>(*current));
    return S_OK;
}

HRESULT CBaseSplitterFilter::ConvertTimeFormat(LONGLONG*, const GUID*, LONGLONG, const GUID*) { return E_NOTIMPL; }

HRESULT CBaseSplitterFilter::SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags)
{
    return ApplySeek(this, current, currentFlags, stop, stopFlags);
}

HRESULT CBaseSplitterFilter::GetPositions(LONGLONG* current, LONGLONG* stop)
{
    if (current) *current = m_current.load();
    if (stop) *stop = m_stop.load();
    return S_OK;
}

HRESULT CBaseSplitterFilter::GetAvailable(LONGLONG* earliest, LONGLONG* latest)
{
    if (earliest) *earliest = 0;
    if (latest) *latest = m_duration.load();
    return S_OK;
}

HRESULT CBaseSplitterFilter::SetRate(double rate)
{
    if (rate <= 0) return E_INVALIDARG;
    CAutoLock lock(&m_csFilter);
    m_rate = rate;
    return S_OK;
}

HRESULT CBaseSplitterFilter::GetRate(double* rate)
{
    if (!rate) return E_POINTER;
    *rate = m_rate.load();
    return S_OK;
}

HRESULT CBaseSplitterFilter::GetPreroll(LONGLONG* preroll)
{
    if (!preroll) return E_POINTER;
    *preroll = 0;
    return S_OK;
}

HRESULT CBaseSplitterFilter::GetKeyFrameCount(UINT&) { return E_NOTIMPL; }

HRESULT CBaseSplitterFilter::GetKeyFrames(const GUID*, REFERENCE_TIME*, UINT&) { return E_NOTIMPL; }

int CBaseSplitterFilter::GetCount() { return static_cast<int>(m_outputPins.size()); }

HRESULT CBaseSplitterFilter::GetStatus(int index, int& samples, int& size)
{
    if (index < 0 || index >= static_cast<int>(m_outputPins.size())) return E_INVALIDARG;
    CBaseSplitterOutputPin* pin = m_outputPins[static_cast<std::size_t>(index)].get();
    samples = static_cast<int>(pin->QueueCount());
    size = static_cast<int>(pin->QueueSize());
    return pin->IsConnected() ? S_OK : S_FALSE;
}

DWORD CBaseSplitterFilter::GetPriority() { return static_cast<DWORD>(m_priority.load()); }
