#pragma once
// CaptureSink: a renderer that keeps everything it receives: the bytes, and per sample its
// times, flags and attached media type. It reports EC_COMPLETE at end of stream.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "pipeline/base_filter.h"
#include "pipeline/base_input_pin.h"

namespace testing_filters {

struct CapturedSample {
    bool hasStart = false;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    bool discontinuity = false;
    bool syncPoint = false;
    bool typeChanged = false;
    std::size_t offset = 0; // where its bytes begin in the capture
    std::size_t size = 0;
};

class CaptureSink;

class CaptureSinkPin : public CBaseInputPin {
public:
    CaptureSinkPin(CaptureSink* sink, HRESULT* phr);
    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;

private:
    CaptureSink* const m_sink;
};

class CaptureSink : public CBaseFilter {
public:
    CaptureSink();
    static ComPtr<CaptureSink> Create() { return ComPtr<CaptureSink>(new CaptureSink); }

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override { return index == 0 ? m_pin.get() : nullptr; }
    CaptureSinkPin* Pin() { return m_pin.get(); }

    // Copies of what arrived (any thread).
    std::vector<std::uint8_t> Bytes();
    std::vector<CapturedSample> Samples();
    int EndOfStreams() const { return m_endOfStreams.load(); }
    int Flushes() const { return m_flushes.load(); }
    // Forgets what arrived.
    void Clear();
    // Forget what arrived (and the ends of stream) at every flush, so that what is kept is what
    // followed the last seek. Stopping the upstream filter flushes too.
    void ForgetOnFlush() { m_forgetOnFlush = true; }
    // From the sample after the first `samples`, Receive fails with `result` (a broken
    // downstream filter).
    void FailAfter(int samples, HRESULT result)
    {
        m_failAfter = samples;
        m_failure = result;
    }

private:
    friend class CaptureSinkPin;
    CCritSec m_csFilter;
    std::unique_ptr<CaptureSinkPin> m_pin;
    std::mutex m_receiveLock; // a sample's check and append against a forgetting flush
    std::mutex m_lock;
    std::vector<std::uint8_t> m_bytes;      // guarded by m_lock
    std::vector<CapturedSample> m_samples;  // guarded by m_lock
    std::atomic<int> m_endOfStreams{0};
    std::atomic<int> m_flushes{0};
    std::atomic<bool> m_forgetOnFlush{false};
    std::atomic<int> m_failAfter{-1};
    std::atomic<HRESULT> m_failure{S_OK};
    std::atomic<int> m_received{0};
};

} // namespace testing_filters
