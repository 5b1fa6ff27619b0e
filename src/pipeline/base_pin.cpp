#include "pipeline/base_pin.h"

#include <cstring>

#include "pipeline/base_filter.h"
#include "pipeline/enum_media_types.h"

CBasePin::CBasePin(const char* objectName, CBaseFilter* filter, CCritSec* lock, HRESULT*, const char* pinName,
                   PIN_DIRECTION direction)
    : CUnknown(objectName, nullptr), m_filter(filter), m_lock(lock), m_name(pinName ? pinName : ""),
      m_direction(direction)
{
}

CBasePin::~CBasePin() = default;

HRESULT CBasePin::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IPin::iid) return GetInterface(static_cast<IPin*>(this), ppv);
    if (riid == IQualityControl::iid) return GetInterface(static_cast<IQualityControl*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

ULONG CBasePin::NonDelegatingAddRef() { return m_filter->AddRef(); }

ULONG CBasePin::NonDelegatingRelease() { return m_filter->Release(); }

bool CBasePin::IsStopped() const { return m_filter->IsStopped(); }

HRESULT CBasePin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* type)
{
    if (!receivePin) return E_POINTER;
    CAutoLock lock(m_lock);
    if (m_connected) return VFW_E_ALREADY_CONNECTED;
    if (!IsStopped() && !m_canReconnectWhenActive) return VFW_E_NOT_STOPPED;
    // A pin that cannot take this peer at all says why, whatever the types.
    const HRESULT check = CheckConnect(receivePin);
    BreakConnect();
    if (FAILED(check)) return check;
    if (type) {
        const CMediaType proposed(*type);
        return AgreeMediaType(receivePin, &proposed);
    }
    return AgreeMediaType(receivePin, nullptr);
}

HRESULT CBasePin::AgreeMediaType(IPin* receivePin, const CMediaType* type)
{
    // A fully specified type is the only one tried.
    if (type && type->IsFullySpecified()) return AttemptConnection(receivePin, type);

    // Otherwise the receiving pin's types first, then our own. A failure that says more than
    // "this type will not do" (a source whose data is unusable, say) is what the caller gets.
    HRESULT telling = S_OK;
    for (int pass = 0; pass < 2; ++pass) {
        IPin* offerer = pass == 0 ? receivePin : static_cast<IPin*>(this);
        ComPtr<IEnumMediaTypes> types;
        if (FAILED(offerer->EnumMediaTypes(types.Put())) || !types) continue;
        const HRESULT hr = TryMediaTypes(receivePin, type, types.Get(), &telling);
        if (SUCCEEDED(hr)) return S_OK;
    }
    return FAILED(telling) ? telling : VFW_E_NO_ACCEPTABLE_TYPES;
}

HRESULT CBasePin::TryMediaTypes(IPin* receivePin, const CMediaType* partial, IEnumMediaTypes* types, HRESULT* telling)
{
    if (FAILED(types->Reset())) return VFW_E_NO_ACCEPTABLE_TYPES;
    for (;;) {
        AM_MEDIA_TYPE* offered = nullptr;
        ULONG fetched = 0;
        if (types->Next(1, &offered, &fetched) != S_OK || fetched != 1) break;
        const CMediaType candidate(*offered);
        DeleteMediaType(offered);
        if (partial && !candidate.MatchesPartial(partial)) continue;
        const HRESULT hr = AttemptConnection(receivePin, &candidate);
        if (SUCCEEDED(hr)) return S_OK;
        if (telling && SUCCEEDED(*telling) && hr != E_FAIL && hr != E_INVALIDARG && hr != VFW_E_TYPE_NOT_ACCEPTED)
            *telling = hr;
    }
    return VFW_E_NO_ACCEPTABLE_TYPES;
}

HRESULT CBasePin::AttemptConnection(IPin* receivePin, const CMediaType* type)
{
    HRESULT hr = CheckConnect(receivePin);
    if (FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    hr = CheckMediaType(type);
    if (hr != S_OK) {
        BreakConnect();
        return FAILED(hr) ? hr : VFW_E_TYPE_NOT_ACCEPTED;
    }
    // Take the type as ours, let the peer accept it, then finish on our side.
    m_connected = receivePin;
    m_mt = *type;
    hr = receivePin->ReceiveConnection(this, type);
    if (SUCCEEDED(hr)) {
        hr = SetMediaType(type);
        if (SUCCEEDED(hr)) hr = CompleteConnect(receivePin);
        if (SUCCEEDED(hr)) return S_OK;
        receivePin->Disconnect();
    }
    m_connected = nullptr;
    m_mt.ResetFormatBuffer();
    BreakConnect();
    return hr;
}

HRESULT CBasePin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type)
{
    if (!connector || !type) return E_POINTER;
    CAutoLock lock(m_lock);
    if (m_connected) return VFW_E_ALREADY_CONNECTED;
    if (!IsStopped() && !m_canReconnectWhenActive) return VFW_E_NOT_STOPPED;
    HRESULT hr = CheckConnect(connector);
    if (FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    const CMediaType proposed(*type);
    hr = CheckMediaType(&proposed);
    if (hr != S_OK) {
        BreakConnect();
        return FAILED(hr) ? hr : VFW_E_TYPE_NOT_ACCEPTED;
    }
    m_connected = connector;
    m_mt = proposed;
    hr = SetMediaType(&proposed);
    if (SUCCEEDED(hr)) hr = CompleteConnect(connector);
    if (FAILED(hr)) {
        m_connected = nullptr;
        m_mt.ResetFormatBuffer();
        BreakConnect();
    }
    return hr;
}

HRESULT CBasePin::Disconnect()
{
    CAutoLock lock(m_lock);
    if (!IsStopped()) return VFW_E_NOT_STOPPED;
    return DisconnectInternal();
}

HRESULT CBasePin::DisconnectInternal()
{
    if (!m_connected) return S_FALSE;
    const HRESULT hr = BreakConnect();
    if (FAILED(hr)) return hr;
    m_connected = nullptr;
    m_mt.ResetFormatBuffer();
    return S_OK;
}

HRESULT CBasePin::ConnectedTo(IPin** pin)
{
    if (!pin) return E_POINTER;
    CAutoLock lock(m_lock);
    *pin = nullptr;
    if (!m_connected) return VFW_E_NOT_CONNECTED;
    return m_connected.CopyTo(pin);
}

HRESULT CBasePin::ConnectionMediaType(AM_MEDIA_TYPE* type)
{
    if (!type) return E_POINTER;
    CAutoLock lock(m_lock);
    if (!m_connected) {
        *type = AM_MEDIA_TYPE{};
        return VFW_E_NOT_CONNECTED;
    }
    return CopyMediaType(type, &m_mt);
}

HRESULT CBasePin::QueryPinInfo(PIN_INFO* info)
{
    if (!info) return E_POINTER;
    info->pFilter = m_filter;
    m_filter->AddRef();
    info->dir = m_direction;
    std::memset(info->achName, 0, sizeof info->achName);
    std::strncpy(info->achName, m_name.c_str(), sizeof info->achName - 1);
    return S_OK;
}

HRESULT CBasePin::QueryDirection(PIN_DIRECTION* dir)
{
    if (!dir) return E_POINTER;
    *dir = m_direction;
    return S_OK;
}

HRESULT CBasePin::QueryId(char** id) { return CopyTextToTaskMemory(m_name.c_str(), id); }

HRESULT CBasePin::QueryAccept(const AM_MEDIA_TYPE* type)
{
    if (!type) return E_POINTER;
    const CMediaType proposed(*type);
    const HRESULT hr = CheckMediaType(&proposed);
    return hr == S_OK ? S_OK : S_FALSE;
}

HRESULT CBasePin::EnumMediaTypes(IEnumMediaTypes** types)
{
    if (!types) return E_POINTER;
    *types = nullptr;
    auto* enumerator = new (std::nothrow) CEnumMediaTypes(this, nullptr);
    if (!enumerator) return E_OUTOFMEMORY;
    return GetInterface(static_cast<IEnumMediaTypes*>(enumerator), reinterpret_cast<void**>(types));
}

HRESULT CBasePin::QueryInternalConnections(IPin**, ULONG*) { return E_NOTIMPL; }

HRESULT CBasePin::EndOfStream() { return S_OK; }

HRESULT CBasePin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    m_segmentStart = start;
    m_segmentStop = stop;
    m_segmentRate = rate;
    return S_OK;
}

HRESULT CBasePin::Notify(IBaseFilter*, Quality) { return E_NOTIMPL; }

HRESULT CBasePin::SetSink(IQualityControl* sink)
{
    CAutoLock lock(m_lock);
    m_qualitySink = sink;
    return S_OK;
}

HRESULT CBasePin::GetMediaType(int position, CMediaType*)
{
    return position < 0 ? E_INVALIDARG : VFW_S_NO_MORE_ITEMS;
}

HRESULT CBasePin::SetMediaType(const CMediaType* type)
{
    m_mt = *type;
    return S_OK;
}

HRESULT CBasePin::CheckConnect(IPin* pin)
{
    PIN_DIRECTION other;
    const HRESULT hr = pin->QueryDirection(&other);
    if (FAILED(hr)) return hr;
    return other == m_direction ? VFW_E_INVALID_DIRECTION : S_OK;
}

HRESULT CBasePin::BreakConnect() { return S_OK; }

HRESULT CBasePin::CompleteConnect(IPin*) { return S_OK; }

HRESULT CBasePin::Active() { return S_OK; }

HRESULT CBasePin::Inactive()
{
    m_runTimeError = false;
    return S_OK;
}

HRESULT CBasePin::Run(REFERENCE_TIME) { return S_OK; }
