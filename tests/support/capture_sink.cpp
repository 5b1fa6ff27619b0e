#include "support/capture_sink.h"

#include "pipeline/event_codes.h"

namespace testing_filters {

CaptureSinkPin::CaptureSinkPin(CaptureSink* sink, HRESULT* phr)
    : CBaseInputPin("Capture pin", sink, &sink->m_csFilter, phr, "In"), m_sink(sink)
{
}

HRESULT CaptureSinkPin::CheckMediaType(const CMediaType*) { return S_OK; }

HRESULT CaptureSinkPin::Receive(IMediaSample* sample)
{
    // Held across the flushing check and the append, so that a flush that forgets what arrived
    // cannot be followed by a sample from before it.
    std::lock_guard hold(m_sink->m_receiveLock);
    const HRESULT hr = CBaseInputPin::Receive(sample);
    if (hr != S_OK) return hr;
    const int failAfter = m_sink->m_failAfter.load();
    if (failAfter >= 0 && m_sink->m_received.fetch_add(1) >= failAfter) return m_sink->m_failure.load();
    CapturedSample info;
    REFERENCE_TIME start = 0, stop = 0;
    info.hasStart = SUCCEEDED(sample->GetTime(&start, &stop));
    info.start = start;
    info.stop = stop;
    info.discontinuity = sample->IsDiscontinuity() == S_OK;
    info.syncPoint = sample->IsSyncPoint() == S_OK;
    AM_MEDIA_TYPE* type = nullptr;
    info.typeChanged = sample->GetMediaType(&type) == S_OK;
    if (type) DeleteMediaType(type);
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    info.size = static_cast<std::size_t>(sample->GetActualDataLength());
    std::lock_guard lock(m_sink->m_lock);
    info.offset = m_sink->m_bytes.size();
    m_sink->m_bytes.insert(m_sink->m_bytes.end(), data, data + info.size);
    m_sink->m_samples.push_back(info);
    return S_OK;
}

HRESULT CaptureSinkPin::EndOfStream()
{
    const HRESULT hr = CheckStreaming();
    if (hr != S_OK) return hr;
    ++m_sink->m_endOfStreams;
    m_sink->NotifyEvent(EC_COMPLETE, S_OK, 0);
    return S_OK;
}

HRESULT CaptureSinkPin::BeginFlush()
{
    ++m_sink->m_flushes;
    const HRESULT hr = CBaseInputPin::BeginFlush();
    if (m_sink->m_forgetOnFlush) {
        std::lock_guard hold(m_sink->m_receiveLock);
        m_sink->Clear();
        m_sink->m_endOfStreams = 0;
    }
    return hr;
}

CaptureSink::CaptureSink() : CBaseFilter("CaptureSink", nullptr, &m_csFilter, GUID_NULL)
{
    HRESULT hr = S_OK;
    m_pin = std::make_unique<CaptureSinkPin>(this, &hr);
}

std::vector<std::uint8_t> CaptureSink::Bytes()
{
    std::lock_guard lock(m_lock);
    return m_bytes;
}

std::vector<CapturedSample> CaptureSink::Samples()
{
    std::lock_guard lock(m_lock);
    return m_samples;
}

void CaptureSink::Clear()
{
    std::lock_guard lock(m_lock);
    m_bytes.clear();
    m_samples.clear();
}

} // namespace testing_filters
