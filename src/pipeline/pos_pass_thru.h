#pragma once
// CPosPassThru: seeking and position control of a filter with inputs, forwarded to the output
// pin connected to one of its input pins, so that a seek made at the end of a graph reaches the
// source. With the input unconnected every call fails (VFW_E_NOT_CONNECTED), and a peer without
// seeking gives E_NOTIMPL; nothing upstream is reached.
//
// The object is aggregated by the pin or filter that hands it out (`outer`).

#include "pipeline/media_position.h"
#include "com/com_ptr.h"

class CPosPassThru : public CMediaPosition, public IMediaSeeking {
public:
    // `pin` is the input pin whose upstream peer receives the calls; it outlives this object.
    CPosPassThru(const char* objectName, IUnknown* outer, HRESULT* phr, IPin* pin);
    ~CPosPassThru() override;

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

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

    // IMediaPosition, carried out through the peer's IMediaSeeking in media time.
    HRESULT get_Duration(REFTIME* length) override;
    HRESULT put_CurrentPosition(REFTIME time) override;
    HRESULT get_CurrentPosition(REFTIME* time) override;
    HRESULT get_StopTime(REFTIME* time) override;
    HRESULT put_StopTime(REFTIME time) override;
    HRESULT get_PrerollTime(REFTIME* time) override;
    HRESULT put_PrerollTime(REFTIME time) override;
    HRESULT put_Rate(double rate) override;
    HRESULT get_Rate(double* rate) override;
    HRESULT CanSeekForward(LONG* canSeek) override;
    HRESULT CanSeekBackward(LONG* canSeek) override;

private:
    // The upstream peer's seeking interface.
    HRESULT GetPeerSeeking(ComPtr<IMediaSeeking>& peer);

    IPin* const m_pin; // weak: the pin belongs to the filter that aggregates us
};
