#include "pipeline/pos_pass_thru.h"

#include <cmath>

namespace {
REFTIME ToSeconds(LONGLONG units) { return static_cast<REFTIME>(units) / kUnitsPerSecond; }
LONGLONG ToUnits(REFTIME seconds) { return static_cast<LONGLONG>(std::llround(seconds * kUnitsPerSecond)); }
} // namespace

CPosPassThru::CPosPassThru(const char* objectName, IUnknown* outer, HRESULT* phr, IPin* pin)
    : CMediaPosition(objectName, outer), m_pin(pin)
{
    if (!pin && phr) *phr = E_POINTER;
}

CPosPassThru::~CPosPassThru() = default;

HRESULT CPosPassThru::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IMediaSeeking::iid) return GetInterface(static_cast<IMediaSeeking*>(this), ppv);
    return CMediaPosition::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CPosPassThru::GetPeerSeeking(ComPtr<IMediaSeeking>& peer)
{
    if (!m_pin) return E_NOTIMPL;
    ComPtr<IPin> connected;
    if (FAILED(m_pin->ConnectedTo(connected.Put())) || !connected) return VFW_E_NOT_CONNECTED;
    if (FAILED(QueryInterfaceTo(connected.Get(), peer))) return E_NOTIMPL;
    return S_OK;
}

// Each call forwards to the peer, or returns the reason there is none.
#define ZZ_FORWARD(call)                          \
    ComPtr<IMediaSeeking> peer;                   \
    if (HRESULT hr = GetPeerSeeking(peer); FAILED(hr)) return hr; \
    return peer->call;

HRESULT CPosPassThru::GetCapabilities(DWORD* capabilities) { ZZ_FORWARD(GetCapabilities(capabilities)) }
HRESULT CPosPassThru::CheckCapabilities(DWORD* capabilities) { ZZ_FORWARD(CheckCapabilities(capabilities)) }
HRESULT CPosPassThru::IsFormatSupported(const GUID* format) { ZZ_FORWARD(IsFormatSupported(format)) }
HRESULT CPosPassThru::QueryPreferredFormat(GUID* format) { ZZ_FORWARD(QueryPreferredFormat(format)) }
HRESULT CPosPassThru::GetTimeFormat(GUID* format) { ZZ_FORWARD(GetTimeFormat(format)) }
HRESULT CPosPassThru::IsUsingTimeFormat(const GUID* format) { ZZ_FORWARD(IsUsingTimeFormat(format)) }
HRESULT CPosPassThru::SetTimeFormat(const GUID* format) { ZZ_FORWARD(SetTimeFormat(format)) }
HRESULT CPosPassThru::GetDuration(LONGLONG* duration) { ZZ_FORWARD(GetDuration(duration)) }
HRESULT CPosPassThru::GetStopPosition(LONGLONG* stop) { ZZ_FORWARD(GetStopPosition(stop)) }
HRESULT CPosPassThru::GetCurrentPosition(LONGLONG* current) { ZZ_FORWARD(GetCurrentPosition(current)) }
HRESULT CPosPassThru::ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                        const GUID* sourceFormat)
{
    ZZ_FORWARD(ConvertTimeFormat(target, targetFormat, source, sourceFormat))
}
HRESULT CPosPassThru::SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags)
{
    ZZ_FORWARD(SetPositions(current, currentFlags, stop, stopFlags))
}
HRESULT CPosPassThru::GetPositions(LONGLONG* current, LONGLONG* stop) { ZZ_FORWARD(GetPositions(current, stop)) }
HRESULT CPosPassThru::GetAvailable(LONGLONG* earliest, LONGLONG* latest) { ZZ_FORWARD(GetAvailable(earliest, latest)) }
HRESULT CPosPassThru::SetRate(double rate) { ZZ_FORWARD(SetRate(rate)) }
HRESULT CPosPassThru::GetRate(double* rate) { ZZ_FORWARD(GetRate(rate)) }
HRESULT CPosPassThru::GetPreroll(LONGLONG* preroll) { ZZ_FORWARD(GetPreroll(preroll)) }

#undef ZZ_FORWARD

HRESULT CPosPassThru::get_Duration(REFTIME* length)
{
    if (!length) return E_POINTER;
    LONGLONG units = 0;
    const HRESULT hr = GetDuration(&units);
    if (SUCCEEDED(hr)) *length = ToSeconds(units);
    return hr;
}

HRESULT CPosPassThru::put_CurrentPosition(REFTIME time)
{
    LONGLONG units = ToUnits(time);
    return SetPositions(&units, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
}

HRESULT CPosPassThru::get_CurrentPosition(REFTIME* time)
{
    if (!time) return E_POINTER;
    LONGLONG units = 0;
    const HRESULT hr = GetCurrentPosition(&units);
    if (SUCCEEDED(hr)) *time = ToSeconds(units);
    return hr;
}

HRESULT CPosPassThru::get_StopTime(REFTIME* time)
{
    if (!time) return E_POINTER;
    LONGLONG units = 0;
    const HRESULT hr = GetStopPosition(&units);
    if (SUCCEEDED(hr)) *time = ToSeconds(units);
    return hr;
}

HRESULT CPosPassThru::put_StopTime(REFTIME time)
{
    LONGLONG units = ToUnits(time);
    return SetPositions(nullptr, AM_SEEKING_NoPositioning, &units, AM_SEEKING_AbsolutePositioning);
}

HRESULT CPosPassThru::get_PrerollTime(REFTIME* time)
{
    if (!time) return E_POINTER;
    LONGLONG units = 0;
    const HRESULT hr = GetPreroll(&units);
    if (SUCCEEDED(hr)) *time = ToSeconds(units);
    return hr;
}

HRESULT CPosPassThru::put_PrerollTime(REFTIME) { return E_NOTIMPL; }

HRESULT CPosPassThru::put_Rate(double rate) { return SetRate(rate); }

HRESULT CPosPassThru::get_Rate(double* rate) { return GetRate(rate); }

HRESULT CPosPassThru::CanSeekForward(LONG* canSeek)
{
    if (!canSeek) return E_POINTER;
    DWORD caps = AM_SEEKING_CanSeekForwards;
    const HRESULT hr = CheckCapabilities(&caps);
    if (FAILED(hr)) return hr;
    *canSeek = hr == S_OK ? -1 : 0;
    return S_OK;
}

HRESULT CPosPassThru::CanSeekBackward(LONG* canSeek)
{
    if (!canSeek) return E_POINTER;
    DWORD caps = AM_SEEKING_CanSeekBackwards;
    const HRESULT hr = CheckCapabilities(&caps);
    if (FAILED(hr)) return hr;
    *canSeek = hr == S_OK ? -1 : 0;
    return S_OK;
}
