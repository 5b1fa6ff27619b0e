#include "pipeline/transform_filter.h"

#include <cstddef>
#include <new>

#include "pipeline/event_codes.h"
#include "pipeline/transform_input_pin.h"
#include "pipeline/transform_output_pin.h"

CTransformFilter::CTransformFilter(const char* objectName, IUnknown* outer, REFCLSID clsid)
    : CBaseFilter(objectName, outer, &m_csFilter, clsid)
{
}

CTransformFilter::~CTransformFilter() = default;

void CTransformFilter::CreatePins()
{
    CAutoLock lock(&m_csFilter);
    if (m_input && m_output) return;
    HRESULT hr = S_OK;
    m_input.reset(new (std::nothrow) CTransformInputPin("Transform input pin", this, &hr, "XForm In"));
    m_output.reset(new (std::nothrow) CTransformOutputPin("Transform output pin", this, &hr, "XForm Out"));
    if (!m_input || !m_output || FAILED(hr)) {
        m_input.reset();
        m_output.reset();
    }
}

int CTransformFilter::GetPinCount() { return 2; }

CBasePin* CTransformFilter::GetPin(int index)
{
    if (!m_input || !m_output) CreatePins();
    if (index == 0) return m_input.get();
    if (index == 1) return m_output.get();
    return nullptr;
}

HRESULT CTransformFilter::FindPin(const char* id, IPin** pin)
{
    if (!id || !pin) return E_POINTER;
    *pin = nullptr;
    CBasePin* found = nullptr;
    if (std::string_view(id) == "In" || std::string_view(id) == "XForm In") found = GetPin(0);
    if (std::string_view(id) == "Out" || std::string_view(id) == "XForm Out") found = GetPin(1);
    if (!found) return VFW_E_NOT_FOUND;
    return ComPtr<IPin>(found).CopyTo(pin);
}

HRESULT CTransformFilter::Transform(IMediaSample*, IMediaSample*) { return E_UNEXPECTED; }

HRESULT CTransformFilter::StartStreaming() { return S_OK; }

HRESULT CTransformFilter::StopStreaming() { return S_OK; }

HRESULT CTransformFilter::AlterQuality(Quality) { return S_FALSE; }

HRESULT CTransformFilter::SetMediaType(PIN_DIRECTION, const CMediaType*) { return S_OK; }

HRESULT CTransformFilter::CheckConnect(PIN_DIRECTION, IPin*) { return S_OK; }

HRESULT CTransformFilter::BreakConnect(PIN_DIRECTION) { return S_OK; }

HRESULT CTransformFilter::CompleteConnect(PIN_DIRECTION, IPin*) { return S_OK; }

HRESULT CTransformFilter::Stop()
{
    {
        CAutoLock lock(&m_csFilter);
        if (m_state.load() == State_Stopped) return S_OK;
        if (!m_input || !m_input->IsConnected() || !m_output || !m_output->IsConnected()) {
            m_state = State_Stopped;
            m_eosDelivered = false;
            return S_OK;
        }
        // Release the upstream thread first: it may be waiting for one of our input buffers.
        m_input->Inactive();
    }
    // Wait for a sample in progress, then finish the stop (receive lock, then filter lock).
    CAutoLock receiveLock(&m_csReceive);
    CAutoLock lock(&m_csFilter);
    m_output->Inactive();
    const HRESULT hr = StopStreaming();
    if (SUCCEEDED(hr)) {
        m_state = State_Stopped;
        m_eosDelivered = false;
    }
    return hr;
}

HRESULT CTransformFilter::Pause()
{
    CAutoLock lock(&m_csFilter);
    HRESULT hr = S_OK;
    const bool wasStopped = m_state.load() == State_Stopped;
    if (m_state.load() == State_Paused) {
        // Nothing to do.
    } else if (!m_input || !m_input->IsConnected()) {
        // Without input there will be no data: tell downstream so that it can complete.
        if (m_output && m_output->IsConnected() && !m_eosDelivered) {
            m_output->DeliverEndOfStream();
            m_eosDelivered = true;
        }
        m_state = State_Paused;
    } else if (!m_output || !m_output->IsConnected()) {
        m_state = State_Paused;
    } else {
        // Streaming cannot run while we are stopped, so the receive lock is not needed here.
        if (m_state.load() == State_Stopped) hr = StartStreaming();
        if (SUCCEEDED(hr)) hr = CBaseFilter::Pause();
    }
    if (wasStopped) {
        // A new stream: its first skip reports a quality change again.
        m_sampleSkipped = false;
        m_qualityChanged = false;
    }
    return hr;
}

HRESULT CTransformFilter::InitializeOutputSample(IMediaSample* in, ComPtr<IMediaSample>& out)
{
    const AM_SAMPLE2_PROPERTIES* props = m_input->SampleProps();
    DWORD flags = 0;
    if (m_sampleSkipped) flags |= AM_GBF_PREVFRAMESKIPPED;
    if (!(props->dwSampleFlags & AM_SAMPLE_SPLICEPOINT)) flags |= AM_GBF_NOTASYNCPOINT;

    REFERENCE_TIME start = props->tStart;
    REFERENCE_TIME stop = props->tStop;
    const bool startValid = props->dwSampleFlags & AM_SAMPLE_TIMEVALID;
    const bool stopValid = props->dwSampleFlags & AM_SAMPLE_STOPVALID;
    HRESULT hr = m_output->GetDeliveryBuffer(out.Put(), startValid ? &start : nullptr, stopValid ? &stop : nullptr, flags);
    if (FAILED(hr)) return hr;
    IMediaSample* sample = out.Get();

    const bool discontinuity = (props->dwSampleFlags & AM_SAMPLE_DATADISCONTINUITY) || m_sampleSkipped;
    ComPtr<IMediaSample2> out2;
    if (SUCCEEDED(sample->QueryInterface(IMediaSample2::iid, out2.PutVoid()))) {
        AM_SAMPLE2_PROPERTIES outProps{};
        hr = out2->GetProperties(offsetof(AM_SAMPLE2_PROPERTIES, pbBuffer), reinterpret_cast<BYTE*>(&outProps));
        if (FAILED(hr)) return hr;
        outProps.dwTypeSpecificFlags = props->dwTypeSpecificFlags;
        // Keep the output's own attached type; take everything else from the input.
        outProps.dwSampleFlags = (outProps.dwSampleFlags & AM_SAMPLE_TYPECHANGED) |
                                 (props->dwSampleFlags & ~AM_SAMPLE_TYPECHANGED);
        if (discontinuity) outProps.dwSampleFlags |= AM_SAMPLE_DATADISCONTINUITY;
        outProps.tStart = props->tStart;
        outProps.tStop = props->tStop;
        outProps.cbData = offsetof(AM_SAMPLE2_PROPERTIES, dwStreamId);
        hr = out2->SetProperties(offsetof(AM_SAMPLE2_PROPERTIES, dwStreamId), reinterpret_cast<BYTE*>(&outProps));
        if (FAILED(hr)) return hr;
    } else {
        if (startValid) sample->SetTime(&start, stopValid ? &stop : nullptr);
        if (props->dwSampleFlags & AM_SAMPLE_SPLICEPOINT) sample->SetSyncPoint(TRUE);
        if (discontinuity) sample->SetDiscontinuity(TRUE);
        if (props->dwSampleFlags & AM_SAMPLE_PREROLL) sample->SetPreroll(TRUE);
    }
    LONGLONG mediaStart = 0;
    LONGLONG mediaStop = 0;
    if (in->GetMediaTime(&mediaStart, &mediaStop) == S_OK) sample->SetMediaTime(&mediaStart, &mediaStop);
    return S_OK;
}

HRESULT CTransformFilter::Receive(IMediaSample* sample)
{
    const AM_SAMPLE2_PROPERTIES* props = m_input->SampleProps();
    if (props->dwStreamId != AM_STREAM_MEDIA) return m_output->Deliver(sample);

    ComPtr<IMediaSample> out;
    HRESULT hr = InitializeOutputSample(sample, out);
    if (FAILED(hr)) return hr;
    hr = Transform(sample, out.Get());
    if (FAILED(hr)) return hr;
    if (hr == S_OK) {
        hr = m_output->Deliver(out.Get());
        m_sampleSkipped = false;
    } else {
        // S_FALSE: the sample is skipped, which is no error for upstream.
        m_sampleSkipped = true;
        if (!m_qualityChanged) {
            NotifyEvent(EC_QUALITY_CHANGE, 0, 0);
            m_qualityChanged = true;
        }
        hr = S_OK;
    }
    return hr;
}

HRESULT CTransformFilter::EndOfStream()
{
    if (!m_output || !m_output->IsConnected()) return S_OK;
    m_eosDelivered = true;
    return m_output->DeliverEndOfStream();
}

HRESULT CTransformFilter::BeginFlush()
{
    if (!m_output || !m_output->IsConnected()) return S_OK;
    return m_output->DeliverBeginFlush();
}

HRESULT CTransformFilter::EndFlush()
{
    if (!m_output || !m_output->IsConnected()) return S_OK;
    return m_output->DeliverEndFlush();
}

HRESULT CTransformFilter::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    if (!m_output || !m_output->IsConnected()) return S_OK;
    return m_output->DeliverNewSegment(start, stop, rate);
}
