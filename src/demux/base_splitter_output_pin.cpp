#include "demux/base_splitter_output_pin.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "demux/base_splitter_filter.h"
#include "pipeline/event_codes.h"
#include "pipeline/media_guids.h"

namespace {
constexpr std::size_t kHardQueueLimit = 209715200; // 200 MiB
// Packets a batch may queue before the delivery thread is woken anyway.
constexpr std::size_t kWakeBatch = 16;
constexpr CLSID kLine21Decoder = MakeGuid("{48025243-2D39-11CE-875D-00608CB78066}");

// True when a filter of class `clsid` is the filter of `peer` or lies downstream of it on the
// chain of connected pins.
bool DownstreamHasClass(IPin* peer, REFCLSID clsid, int depth = 0)
{
    if (!peer || depth > 16) return false;
    PIN_INFO info{};
    if (FAILED(peer->QueryPinInfo(&info)) || !info.pFilter) return false;
    auto filter = AdoptRef(info.pFilter);
    CLSID found{};
    if (SUCCEEDED(filter->GetClassID(&found)) && found == clsid) return true;
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.Put()))) return false;
    IPin* next = nullptr;
    ULONG fetched = 0;
    while (pins->Next(1, &next, &fetched) == S_OK) {
        auto owned = AdoptRef(next);
        PIN_DIRECTION dir;
        owned->QueryDirection(&dir);
        if (dir != PINDIR_OUTPUT) continue;
        ComPtr<IPin> nextPeer;
        if (SUCCEEDED(owned->ConnectedTo(nextPeer.Put())) && DownstreamHasClass(nextPeer.Get(), clsid, depth + 1))
            return true;
    }
    return false;
}
} // namespace

CBaseSplitterOutputPin::CBaseSplitterOutputPin(std::vector<CMediaType> types, const char* name,
                                               CBaseSplitterFilter* filter, CCritSec* lock, HRESULT* phr, int buffers)
    : CBaseOutputPin("Splitter output pin", filter, lock, phr, name), m_types(std::move(types)), m_splitter(filter),
      m_buffers(buffers > 0 ? buffers : 1)
{
    m_endFlush.Set();
}

CBaseSplitterOutputPin::~CBaseSplitterOutputPin()
{
    if (m_worker) {
        m_exit = true;
        m_wake.Ring();
        m_worker->CallWorker(0);
        m_worker.reset();
    }
    m_queue.RemoveAll(nullptr);
}

PacketPool& CBaseSplitterOutputPin::Pool() { return m_splitter->Pool(); }

HRESULT CBaseSplitterOutputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IMediaSeeking::iid) return GetInterface(static_cast<IMediaSeeking*>(this), ppv);
    return CBaseOutputPin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CBaseSplitterOutputPin::CheckMediaType(const CMediaType* type)
{
    for (const auto& offered : m_types)
        if (*type == offered) return S_OK;
    return E_INVALIDARG;
}

HRESULT CBaseSplitterOutputPin::GetMediaType(int position, CMediaType* type)
{
    if (position < 0) return E_INVALIDARG;
    if (position >= static_cast<int>(m_types.size())) return VFW_S_NO_MORE_ITEMS;
    *type = m_types[static_cast<std::size_t>(position)];
    return S_OK;
}

HRESULT CBaseSplitterOutputPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    ALLOCATOR_PROPERTIES wanted = *request;
    wanted.cBuffers = m_buffers;
    wanted.cbBuffer = std::max<LONG>(static_cast<LONG>(m_mt.lSampleSize), 1);
    if (wanted.cbAlign <= 0) wanted.cbAlign = 1;
    ALLOCATOR_PROPERTIES actual{};
    const HRESULT hr = allocator->SetProperties(&wanted, &actual);
    if (FAILED(hr)) return hr;
    return actual.cbBuffer < wanted.cbBuffer ? E_FAIL : S_OK;
}

HRESULT CBaseSplitterOutputPin::Active()
{
    CAutoLock lock(m_lock);
    if (!IsConnected()) return S_OK;
    const HRESULT hr = CBaseOutputPin::Active();
    if (FAILED(hr)) return hr;
    if (!m_worker) {
        m_exit = false;
        m_worker = std::make_unique<Worker>(this, &CBaseSplitterOutputPin::DeliveryLoop);
        if (!m_worker->Create()) {
            m_worker.reset();
            return E_FAIL;
        }
    }
    return S_OK;
}

HRESULT CBaseSplitterOutputPin::Inactive()
{
    CAutoLock lock(m_lock);
    if (m_worker) {
        m_exit = true;
        m_wake.Ring();
        m_worker->CallWorker(0);
        m_worker.reset();
    }
    std::unique_ptr<CMediaType> dropped;
    m_queue.RemoveAll(&Pool(), &dropped);
    KeepUndeliveredType(std::move(dropped));
    m_splitter->RoomMade();
    if (!IsConnected()) return S_OK;
    return CBaseOutputPin::Inactive();
}

namespace {

bool IsDiscontinuousType(const CMediaType& mt)
{
    return mt.majortype == MEDIATYPE_Text || mt.majortype == MEDIATYPE_ScriptCommand ||
           mt.majortype == MEDIATYPE_Subtitle || mt.subtype == MEDIASUBTYPE_DVD_SUBPICTURE ||
           mt.subtype == MEDIASUBTYPE_SVCD_SUBPICTURE || mt.subtype == MEDIASUBTYPE_CVD_SUBPICTURE;
}

} // namespace

bool CBaseSplitterOutputPin::IsDiscontinuous() { return m_discontinuousMedia.load(); }

HRESULT CBaseSplitterOutputPin::SetMediaType(const CMediaType* type)
{
    const HRESULT hr = CBaseOutputPin::SetMediaType(type);
    if (SUCCEEDED(hr) && type) m_discontinuousMedia = IsDiscontinuousType(*type);
    return hr;
}

void CBaseSplitterOutputPin::SetLowPriority(bool low)
{
    if (m_lowPriority.exchange(low) == low) return;
    const int tid = m_threadId.load();
    // Raising the priority again may be refused to an ordinary user; that is harmless.
    if (tid) setpriority(PRIO_PROCESS, static_cast<id_t>(tid), low ? 1 : 0);
}

HRESULT CBaseSplitterOutputPin::QueuePacket(PacketPtr packet, bool batched)
{
    // A packet turned away (no delivery thread, a flush under way) keeps its type change for
    // the next one: the track switch it carries is still to come downstream.
    if (!m_worker) {
        Discard(std::move(packet));
        return S_FALSE;
    }
    // Room comes when any pin's queue shrinks (RoomMade), not only this one's.
    m_splitter->WaitForRoom([this] {
        return m_deliveryResult.load() != S_OK || (m_splitter->IsAnyPinDrying() && m_queue.Size() <= kHardQueueLimit);
    });
    const HRESULT result = m_deliveryResult.load();
    if (result != S_OK) {
        Discard(std::move(packet));
        return result;
    }
    if (batched && m_queue.Count() + 1 < kWakeBatch && !IsDiscontinuous()) {
        // The delivery thread sleeps on if it is asleep; WakeIfPending wakes it.
        m_queue.Add(std::move(packet), &Pool());
        m_wakePending = true;
    } else {
        m_wakePending = false;
        m_queue.Add(std::move(packet), &Pool());
        m_wake.Ring();
    }
    return m_deliveryResult.load();
}

void CBaseSplitterOutputPin::WakeIfPending()
{
    if (m_wakePending.exchange(false)) m_wake.Ring();
}

HRESULT CBaseSplitterOutputPin::QueueEndOfStream()
{
    if (!m_worker) return S_FALSE;
    m_queue.Add(nullptr, nullptr);
    m_wake.Ring();
    return S_OK;
}

void CBaseSplitterOutputPin::DeliveryLoop(Worker& worker)
{
    m_threadId = static_cast<int>(syscall(SYS_gettid));
    m_deliveryResult = S_OK;
    m_flushing = false;
    m_flushed = false;
    m_endFlush.Set();
    for (;;) {
        m_wake.SleepUntil([this] { return m_exit.load() || m_queue.Count() > 0; });
        // The only request is "end": it is posted right after m_exit is set.
        if (m_exit.load() || worker.CheckRequest(nullptr)) {
            worker.GetRequest();
            m_threadId = 0;
            worker.Reply(S_OK);
            return;
        }
        PacketPtr packet;
        while (m_queue.Remove(packet)) {
            m_splitter->PacketTaken(*this);
            if (m_deliveryResult.load() == S_OK) {
                m_flushed = false;
                m_packetFlushCount = m_flushCount.load();
                const HRESULT hr = packet ? DeliverPacket(std::move(packet)) : DeliverEos();
                m_endFlush.Wait();
                if (hr != S_OK && !m_flushed.load()) {
                    m_deliveryResult = hr;
                    m_splitter->RoomMade(); // the demultiplexer must not wait for this pin any more
                    // A filter downstream failed (not a stop, nor a flush): its stream will never
                    // end, so the graph must know, or it would wait for its completion for ever.
                    if (FAILED(hr) && hr != VFW_E_WRONG_STATE && hr != VFW_E_NOT_COMMITTED && !m_flushing.load())
                        m_splitter->NotifyEvent(EC_ERRORABORT, hr, 0);
                    break;
                }
            }
            Pool().Give(std::move(packet));
        }
    }
}

HRESULT CBaseSplitterOutputPin::DeliverEos()
{
    std::lock_guard delivering(m_deliverLock);
    return m_flushCount.load() == m_packetFlushCount ? CBaseOutputPin::DeliverEndOfStream() : S_FALSE;
}

void CBaseSplitterOutputPin::KeepUndeliveredType(std::unique_ptr<CMediaType> type)
{
    if (!type) return;
    std::lock_guard lock(m_typeLock);
    m_undeliveredType = std::move(type);
    m_hasUndeliveredType = true;
}

std::unique_ptr<CMediaType> CBaseSplitterOutputPin::TakeUndeliveredType()
{
    if (!m_hasUndeliveredType.load()) return nullptr;
    std::lock_guard lock(m_typeLock);
    m_hasUndeliveredType = false;
    return std::move(m_undeliveredType);
}

void CBaseSplitterOutputPin::Discard(PacketPtr packet)
{
    if (!packet) return;
    KeepUndeliveredType(std::move(packet->mediaType));
    Pool().Give(std::move(packet));
}

HRESULT CBaseSplitterOutputPin::DeliverPacket(PacketPtr packet)
{
    const std::size_t size = packet->data.size();
    // The packet's type change, or one an earlier flush dropped; kept again unless a sample
    // takes it downstream.
    std::unique_ptr<CMediaType> type = std::move(packet->mediaType);
    if (std::unique_ptr<CMediaType> dropped = TakeUndeliveredType(); dropped && !type) type = std::move(dropped);
    struct KeepUnlessSent {
        CBaseSplitterOutputPin* pin;
        std::unique_ptr<CMediaType>& type;
        ~KeepUnlessSent() { pin->KeepUndeliveredType(std::move(type)); }
    } keep{this, type};
    if (size == 0) {
        Pool().Give(std::move(packet));
        return S_OK;
    }
    if (packet->HasStart()) {
        const double rate = m_splitter->PlaybackRate();
        if (rate != 1.0) {
            packet->start = static_cast<REFERENCE_TIME>(packet->start / rate);
            packet->stop = static_cast<REFERENCE_TIME>(packet->stop / rate);
        }
    }

    ComPtr<IMediaSample> sample;
    HRESULT hr = GetDeliveryBuffer(sample.Put(), nullptr, nullptr, 0);
    if (FAILED(hr)) return hr;
    if (static_cast<std::size_t>(sample->GetSize()) < size) {
        // A bigger packet than the buffers: make them half as large again as this one (the
        // small buffer goes back first, so that the allocator can let its memory go).
        sample.Reset();
        ALLOCATOR_PROPERTIES props{};
        ALLOCATOR_PROPERTIES actual{};
        m_allocator->GetProperties(&props);
        props.cbBuffer = static_cast<LONG>(size * 3 / 2);
        if (props.cBuffers > 1) {
            CBaseOutputPin::DeliverBeginFlush();
            CBaseOutputPin::DeliverEndFlush();
        }
        if (FAILED(hr = m_allocator->Decommit())) return hr;
        if (FAILED(hr = m_allocator->SetProperties(&props, &actual))) return hr;
        if (FAILED(hr = m_allocator->Commit())) return hr;
        if (FAILED(hr = GetDeliveryBuffer(sample.Put(), nullptr, nullptr, 0))) return hr;
    }
    if (type) {
        sample->SetMediaType(type.get());
        packet->discontinuity = true;
        CAutoLock lock(m_lock);
        m_types.assign(1, *type);
        m_mt = *type;
        m_discontinuousMedia = IsDiscontinuousType(m_mt);
    }
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    std::memcpy(data, packet->data.data(), size);
    sample->SetActualDataLength(static_cast<LONG>(size));
    if (packet->HasStart()) {
        REFERENCE_TIME start = packet->start;
        REFERENCE_TIME stop = packet->stop;
        sample->SetTime(&start, &stop);
    } else {
        sample->SetTime(nullptr, nullptr);
    }
    sample->SetMediaTime(nullptr, nullptr);
    sample->SetDiscontinuity(packet->discontinuity ? TRUE : FALSE);
    sample->SetSyncPoint(packet->syncPoint ? TRUE : FALSE);
    sample->SetPreroll(packet->HasStart() && packet->start < 0 ? TRUE : FALSE);
    {
        // A flush that began after this packet was taken drops it; one that begins while it is
        // downstream waits for it to come back (DeliverEndFlush).
        std::lock_guard delivering(m_deliverLock);
        const bool current = m_flushCount.load() == m_packetFlushCount;
        hr = current ? Deliver(sample.Get()) : S_FALSE;
        if (current && hr == S_OK) type.reset(); // downstream has it
    }
    Pool().Give(std::move(packet));
    return hr;
}

HRESULT CBaseSplitterOutputPin::DeliverBeginFlush()
{
    ++m_flushCount;
    m_endFlush.Reset();
    m_flushed = false;
    m_flushing = true;
    m_deliveryResult = S_FALSE;
    std::unique_ptr<CMediaType> dropped;
    m_queue.RemoveAll(&Pool(), &dropped);
    KeepUndeliveredType(std::move(dropped));
    m_splitter->RoomMade();
    HRESULT hr = S_OK;
    if (IsConnected()) {
        hr = CBaseOutputPin::DeliverBeginFlush();
        if (FAILED(hr)) m_endFlush.Set();
    }
    return hr;
}

HRESULT CBaseSplitterOutputPin::DeliverEndFlush()
{
    // Without a worker (a stop before the first run) there is nothing to wait for, but the
    // flush that went downstream must still end there, or the next run finds it flushing.
    if (!m_worker) return IsConnected() ? CBaseOutputPin::DeliverEndFlush() : S_FALSE;
    {
        // A sample from before the flush may still be on its way downstream (a decoder busy
        // with it): the flush ends only once it is back, or the stale picture would follow.
        std::lock_guard idle(m_deliverLock);
    }
    HRESULT hr = S_OK;
    if (IsConnected()) hr = CBaseOutputPin::DeliverEndFlush();
    m_deliveryResult = S_OK;
    m_flushing = false;
    m_flushed = true;
    m_endFlush.Set();
    return hr;
}

HRESULT CBaseSplitterOutputPin::DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    if (m_flushing.load() || !m_worker) return S_FALSE;
    const HRESULT hr = CBaseOutputPin::DeliverNewSegment(start, stop, rate);
    // The connection cannot change while the pin is active; the filter lock (held by a seek that
    // waits for this thread) is not needed to read it.
    if (hr == S_OK && DownstreamHasClass(GetConnected(), kLine21Decoder)) {
        PacketPtr packet = Pool().Take();
        packet->streamId = static_cast<DWORD>(-1);
        packet->start = -1;
        packet->stop = 0;
        packet->data = {' ', 0};
        QueuePacket(std::move(packet));
    }
    return hr;
}

// Seeking goes to the filter; positioning names this pin as the seeker.
HRESULT CBaseSplitterOutputPin::GetCapabilities(DWORD* c) { return m_splitter->GetCapabilities(c); }
HRESULT CBaseSplitterOutputPin::CheckCapabilities(DWORD* c) { return m_splitter->CheckCapabilities(c); }
HRESULT CBaseSplitterOutputPin::IsFormatSupported(const GUID* f) { return m_splitter->IsFormatSupported(f); }
HRESULT CBaseSplitterOutputPin::QueryPreferredFormat(GUID* f) { return m_splitter->QueryPreferredFormat(f); }
HRESULT CBaseSplitterOutputPin::GetTimeFormat(GUID* f) { return m_splitter->GetTimeFormat(f); }
HRESULT CBaseSplitterOutputPin::IsUsingTimeFormat(const GUID* f) { return m_splitter->IsUsingTimeFormat(f); }
HRESULT CBaseSplitterOutputPin::SetTimeFormat(const GUID* f) { return m_splitter->SetTimeFormat(f); }
HRESULT CBaseSplitterOutputPin::GetDuration(LONGLONG* d) { return m_splitter->GetDuration(d); }
HRESULT CBaseSplitterOutputPin::GetStopPosition(LONGLONG* s) { return m_splitter->GetStopPosition(s); }
HRESULT CBaseSplitterOutputPin::GetCurrentPosition(LONGLONG* c) { return m_splitter->GetCurrentPosition(c); }
HRESULT CBaseSplitterOutputPin::ConvertTimeFormat(LONGLONG* t, const GUID* tf, LONGLONG s, const GUID* sf)
{
    return m_splitter->ConvertTimeFormat(t, tf, s, sf);
}
HRESULT CBaseSplitterOutputPin::SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags)
{
    return m_splitter->ApplySeek(this, current, currentFlags, stop, stopFlags);
}
HRESULT CBaseSplitterOutputPin::GetPositions(LONGLONG* c, LONGLONG* s) { return m_splitter->GetPositions(c, s); }
HRESULT CBaseSplitterOutputPin::GetAvailable(LONGLONG* e, LONGLONG* l) { return m_splitter->GetAvailable(e, l); }
HRESULT CBaseSplitterOutputPin::SetRate(double r) { return m_splitter->SetRate(r); }
HRESULT CBaseSplitterOutputPin::GetRate(double* r) { return m_splitter->GetRate(r); }
HRESULT CBaseSplitterOutputPin::GetPreroll(LONGLONG* p) { return m_splitter->GetPreroll(p); }
