#pragma once
// CTransformInputPin ("XForm In"): passes connection, type checks and streaming to its
// CTransformFilter under the filter's receive lock.

#include "pipeline/base_input_pin.h"
#include "pipeline/crit_sec.h"

class CTransformFilter;

// The receive path of a pin that transforms what it receives (the transform filter's, a
// decoder's): under the filter's receive lock, the base pin's checks, then `handle`, whose result
// is returned. Streaming thread; the sample stays the caller's.
template <class Handle>
HRESULT ReceiveUnderLock(CCritSec& receiveLock, CBaseInputPin& pin, IMediaSample* sample, Handle&& handle)
{
    CAutoLock lock(&receiveLock);
    const HRESULT hr = pin.CBaseInputPin::Receive(sample);
    return hr == S_OK ? handle(sample) : hr;
}

// The end of the stream on such a pin: under the receive lock, and only while streaming.
template <class Handle>
HRESULT EndOfStreamUnderLock(CCritSec& receiveLock, CBaseInputPin& pin, Handle&& handle)
{
    CAutoLock lock(&receiveLock);
    const HRESULT hr = pin.CheckStreaming();
    return hr == S_OK ? handle() : hr;
}

class CTransformInputPin : public CBaseInputPin {
public:
    CTransformInputPin(const char* objectName, CTransformFilter* filter, HRESULT* phr, const char* pinName);

    HRESULT CheckConnect(IPin* pin) override;
    HRESULT BreakConnect() override;
    HRESULT CompleteConnect(IPin* receivePin) override;
    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT SetMediaType(const CMediaType* type) override;

    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;
    HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

private:
    CTransformFilter* const m_transform;
};
