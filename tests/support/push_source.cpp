#include "support/push_source.h"

#include <cstring>

#include "pipeline/format_blocks.h"
#include "pipeline/media_guids.h"

namespace testing_filters {

CMediaType PcmType(int channels, int rate)
{
    CMediaType type;
    type.majortype = MEDIATYPE_Audio;
    type.subtype = MEDIASUBTYPE_PCM;
    type.formattype = FORMAT_WaveFormatEx;
    auto* wfe = reinterpret_cast<WAVEFORMATEX*>(type.AllocFormatBuffer(sizeof(WAVEFORMATEX)));
    wfe->wFormatTag = WAVE_FORMAT_PCM;
    wfe->nChannels = static_cast<WORD>(channels);
    wfe->nSamplesPerSec = static_cast<DWORD>(rate);
    wfe->wBitsPerSample = 16;
    wfe->nBlockAlign = static_cast<WORD>(channels * 2);
    wfe->nAvgBytesPerSec = wfe->nBlockAlign * wfe->nSamplesPerSec;
    return type;
}


PushSourcePin::PushSourcePin(CBaseFilter* filter, CCritSec* lock, const CMediaType& type, long bufferSize, HRESULT* phr)
    : CBaseOutputPin("PushSourcePin", filter, lock, phr, "Out"), m_type(type), m_bufferSize(bufferSize)
{
}

HRESULT PushSourcePin::CheckMediaType(const CMediaType* type) { return *type == m_type ? S_OK : S_FALSE; }

HRESULT PushSourcePin::GetMediaType(int position, CMediaType* type)
{
    if (position != 0) return VFW_S_NO_MORE_ITEMS;
    *type = m_type;
    return S_OK;
}

HRESULT PushSourcePin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES*)
{
    ALLOCATOR_PROPERTIES want{2, static_cast<LONG>(m_bufferSize), 1, 0}, got{};
    return allocator->SetProperties(&want, &got);
}

PushSource::PushSource(const CMediaType& type, long bufferSize) : CBaseFilter("PushSource", nullptr, &m_lock, GUID_NULL)
{
    HRESULT hr = S_OK;
    m_pin = std::make_unique<PushSourcePin>(this, &m_lock, type, bufferSize, &hr);
}

ComPtr<PushSource> PushSource::Create(const CMediaType& type, long bufferSize)
{
    return ComPtr<PushSource>(new PushSource(type, bufferSize));
}

HRESULT PushSource::Push(const void* data, std::size_t bytes, REFERENCE_TIME start, REFERENCE_TIME stop)
{
    IMediaSample* sample = nullptr;
    HRESULT hr = m_pin->GetDeliveryBuffer(&sample, nullptr, nullptr, 0);
    if (FAILED(hr)) return hr;
    BYTE* out = nullptr;
    sample->GetPointer(&out);
    if (bytes) std::memcpy(out, data, bytes);
    sample->SetActualDataLength(static_cast<long>(bytes));
    sample->SetTime(&start, &stop);
    hr = m_pin->Deliver(sample);
    sample->Release();
    return hr;
}

} // namespace testing_filters
