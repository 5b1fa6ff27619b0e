#pragma once
// PushSource: a source filter whose one output pin delivers, on the test's own thread, exactly the
// samples the test pushes, with the times it gives.

#include <cstdint>
#include <memory>
#include <vector>

#include "pipeline/base_filter.h"
#include "pipeline/base_output_pin.h"

namespace testing_filters {

// Interleaved 16-bit PCM with a wave-format block.
CMediaType PcmType(int channels, int rate);

class PushSourcePin : public CBaseOutputPin {
public:
    PushSourcePin(CBaseFilter* filter, CCritSec* lock, const CMediaType& type, long bufferSize, HRESULT* phr);
    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT GetMediaType(int position, CMediaType* type) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

private:
    CMediaType m_type;
    long m_bufferSize;
};

class PushSource : public CBaseFilter {
public:
    // Offers exactly `type`; samples hold at most `bufferSize` bytes.
    static ComPtr<PushSource> Create(const CMediaType& type, long bufferSize = 1 << 20);
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override { return index == 0 ? m_pin.get() : nullptr; }
    PushSourcePin* Pin() { return m_pin.get(); }
    // Delivers one sample (the graph must be paused or running).
    HRESULT Push(const void* data, std::size_t bytes, REFERENCE_TIME start, REFERENCE_TIME stop);
    HRESULT PushEndOfStream() { return m_pin->DeliverEndOfStream(); }

private:
    PushSource(const CMediaType& type, long bufferSize);
    CCritSec m_lock;
    std::unique_ptr<PushSourcePin> m_pin;
};

} // namespace testing_filters
