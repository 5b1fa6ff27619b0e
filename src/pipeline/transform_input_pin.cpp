#include "pipeline/transform_input_pin.h"

#include "pipeline/transform_filter.h"
#include "pipeline/transform_output_pin.h"

CTransformInputPin::CTransformInputPin(const char* objectName, CTransformFilter* filter, HRESULT* phr,
                                       const char* pinName)
    : CBaseInputPin(objectName, filter, &filter->m_csFilter, phr, pinName), m_transform(filter)
{
}

HRESULT CTransformInputPin::CheckConnect(IPin* pin)
{
    const HRESULT hr = m_transform->CheckConnect(PINDIR_INPUT, pin);
    if (FAILED(hr)) return hr;
    return CBaseInputPin::CheckConnect(pin);
}

HRESULT CTransformInputPin::BreakConnect()
{
    m_transform->BreakConnect(PINDIR_INPUT);
    return CBaseInputPin::BreakConnect();
}

HRESULT CTransformInputPin::CompleteConnect(IPin* receivePin)
{
    const HRESULT hr = m_transform->CompleteConnect(PINDIR_INPUT, receivePin);
    if (FAILED(hr)) return hr;
    return CBaseInputPin::CompleteConnect(receivePin);
}

HRESULT CTransformInputPin::CheckMediaType(const CMediaType* type)
{
    HRESULT hr = m_transform->CheckInputType(type);
    if (hr != S_OK) return hr;
    CTransformOutputPin* output = m_transform->OutputPin();
    if (output && output->IsConnected()) hr = m_transform->CheckTransform(type, &output->CurrentMediaType());
    return hr;
}

HRESULT CTransformInputPin::SetMediaType(const CMediaType* type)
{
    const HRESULT hr = CBaseInputPin::SetMediaType(type);
    if (FAILED(hr)) return hr;
    return m_transform->SetMediaType(PINDIR_INPUT, type);
}

HRESULT CTransformInputPin::Receive(IMediaSample* sample)
{
    return ReceiveUnderLock(m_transform->m_csReceive, *this, sample, [this](IMediaSample* s) { return m_transform->Receive(s); });
}

HRESULT CTransformInputPin::EndOfStream()
{
    return EndOfStreamUnderLock(m_transform->m_csReceive, *this, [this] { return m_transform->EndOfStream(); });
}

HRESULT CTransformInputPin::BeginFlush()
{
    CAutoLock lock(&m_transform->m_csFilter);
    if (!IsConnected() || !m_transform->OutputPin() || !m_transform->OutputPin()->IsConnected())
        return VFW_E_NOT_CONNECTED;
    const HRESULT hr = CBaseInputPin::BeginFlush();
    if (FAILED(hr)) return hr;
    return m_transform->BeginFlush();
}

HRESULT CTransformInputPin::EndFlush()
{
    CAutoLock lock(&m_transform->m_csFilter);
    if (!IsConnected() || !m_transform->OutputPin() || !m_transform->OutputPin()->IsConnected())
        return VFW_E_NOT_CONNECTED;
    const HRESULT hr = CBaseInputPin::EndFlush();
    if (FAILED(hr)) return hr;
    return m_transform->EndFlush();
}

HRESULT CTransformInputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    CBasePin::NewSegment(start, stop, rate);
    return m_transform->NewSegment(start, stop, rate);
}
