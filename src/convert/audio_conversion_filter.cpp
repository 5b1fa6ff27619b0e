#include "convert/audio_conversion_filter.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "pipeline/format_blocks.h"
#include "pipeline/media_guids.h"

extern "C" {
#include <libavutil/opt.h>
}

namespace {

const WAVEFORMATEX* WaveFormatOf(const CMediaType& type)
{
    if (type.formattype != FORMAT_WaveFormatEx || !type.pbFormat || type.cbFormat < sizeof(WAVEFORMATEX)) return nullptr;
    return reinterpret_cast<const WAVEFORMATEX*>(type.pbFormat);
}

} // namespace

CMyAudioConveFilter::CMyAudioConveFilter(IUnknown* outer)
    : CTransformFilter("CMyAudioConveFilter", outer, CLSID_MyAudioConveFilter),
      m_ring(new (std::nothrow) std::uint8_t[kRingBytes])
{
}

CMyAudioConveFilter::~CMyAudioConveFilter() = default;

HRESULT CMyAudioConveFilter::Create(CMyAudioConveFilter** filter)
{
    if (!filter) return E_POINTER;
    ComPtr<CMyAudioConveFilter> made = CreateComObject<CMyAudioConveFilter>(nullptr);
    *filter = made && made->m_ring ? made.Detach() : nullptr; // without its ring the filter is released here
    return *filter ? S_OK : E_OUTOFMEMORY;
}

HRESULT CMyAudioConveFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IMyAudioConvFilter::iid) return GetInterface(static_cast<IMyAudioConvFilter*>(this), ppv);
    return CTransformFilter::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CMyAudioConveFilter::SetOutputFormat(std::uint16_t channels, std::int32_t sampleRate)
{
    m_outputChannels = channels;
    m_outputRate = sampleRate;
    return S_OK;
}

HRESULT CMyAudioConveFilter::SetVolume(std::int32_t volume)
{
    // No lock: the editor's slider changes it while sound flows (the renderer may hold the
    // streaming thread while its queue is full).
    m_volume = volume;
    return S_OK;
}

HRESULT CMyAudioConveFilter::CheckInputType(const CMediaType* input)
{
    if (!input || input->majortype != MEDIATYPE_Audio || input->subtype != MEDIASUBTYPE_PCM || !WaveFormatOf(*input))
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT CMyAudioConveFilter::CheckTransform(const CMediaType*, const CMediaType*) { return S_OK; }

HRESULT CMyAudioConveFilter::SetMediaType(PIN_DIRECTION direction, const CMediaType* type)
{
    const WAVEFORMATEX* wfe = WaveFormatOf(*type);
    if (direction == PINDIR_INPUT) {
        if (!wfe) return VFW_E_TYPE_NOT_ACCEPTED;
        m_inputType = *type;
        if (m_outputChannels == 0xFFFF) m_outputChannels = wfe->nChannels;
        if (m_outputRate == 0x0FFFFFFF) m_outputRate = static_cast<std::int32_t>(wfe->nSamplesPerSec);
        m_outputTemplate = *type;
        return S_OK;
    }
    const WAVEFORMATEX* in = WaveFormatOf(m_inputType);
    if (!in) return E_UNEXPECTED;
    if (in->nChannels != m_outputChannels || static_cast<std::int32_t>(in->nSamplesPerSec) != m_outputRate)
        m_resample = true; // stays set for the life of the filter
    m_resampler.reset();
    if (m_resample) {
        AVChannelLayout outLayout{}, inLayout{};
        av_channel_layout_default(&outLayout, m_outputChannels);
        av_channel_layout_default(&inLayout, in->nChannels);
        SwrContext* resampler = nullptr;
        int result = swr_alloc_set_opts2(&resampler, &outLayout, AV_SAMPLE_FMT_S16, m_outputRate, &inLayout,
                                         AV_SAMPLE_FMT_S16, static_cast<int>(in->nSamplesPerSec), 0, nullptr);
        av_channel_layout_uninit(&outLayout);
        av_channel_layout_uninit(&inLayout);
        m_resampler.reset(resampler);
        if (result >= 0) {
            // A 16-tap filter with 2^10 phases, no linear interpolation, cut-off at 0.8.
            av_opt_set_int(resampler, "filter_size", 16, 0);
            av_opt_set_int(resampler, "phase_shift", 10, 0);
            av_opt_set_int(resampler, "linear_interp", 0, 0);
            av_opt_set_double(resampler, "cutoff", 0.8, 0);
            result = swr_init(resampler);
        }
        if (m_errors.Note("swr_init", result) || result < 0) {
            m_resampler.reset();
            return E_FAIL;
        }
        if (!m_resampleBuffer) m_resampleBuffer.reset(new (std::nothrow) std::uint8_t[kResampleBytes]);
        if (!m_resampleBuffer) return E_FAIL;
    }
    m_inputChannels = in->nChannels;
    m_bytesPerInputFrame = 2 * in->nChannels;
    return S_OK;
}

HRESULT CMyAudioConveFilter::GetMediaType(int position, CMediaType* type)
{
    if (position < 0) return E_INVALIDARG;
    if (position > 0 || !m_input || !m_input->IsConnected()) return VFW_S_NO_MORE_ITEMS;
    *type = m_outputTemplate;
    auto* wfe = reinterpret_cast<WAVEFORMATEX*>(type->pbFormat);
    if (!WaveFormatOf(*type)) return VFW_S_NO_MORE_ITEMS;
    if (wfe->nChannels != m_outputChannels || static_cast<std::int32_t>(wfe->nSamplesPerSec) != m_outputRate) {
        wfe->nChannels = m_outputChannels;
        wfe->nSamplesPerSec = static_cast<DWORD>(m_outputRate);
        wfe->nBlockAlign = static_cast<WORD>(2 * m_outputChannels);
        wfe->nAvgBytesPerSec = wfe->nBlockAlign * wfe->nSamplesPerSec;
    }
    return S_OK;
}

HRESULT CMyAudioConveFilter::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES*)
{
    if (!m_input || !m_input->IsConnected()) return E_UNEXPECTED;
    ALLOCATOR_PROPERTIES wanted{4, kOutputBufferBytes, 1, 0};
    ALLOCATOR_PROPERTIES actual{};
    const HRESULT hr = allocator->SetProperties(&wanted, &actual);
    if (FAILED(hr)) return hr;
    return actual.cBuffers < 4 || actual.cbBuffer < kOutputBufferBytes ? E_FAIL : S_OK;
}

int CMyAudioConveFilter::Resample(const std::uint8_t* data, int frames)
{
    if (!m_resampler) return 0;
    std::uint8_t* out = m_resampleBuffer.get();
    const int capacity = static_cast<int>(kResampleBytes / (2 * static_cast<std::size_t>(m_outputChannels)));
    const int made = swr_convert(m_resampler.get(), &out, capacity, data ? &data : nullptr, frames);
    m_errors.Note("swr_convert", made);
    return std::max(made, 0);
}

void CMyAudioConveFilter::WriteRing(const std::uint8_t* data, std::size_t bytes)
{
    const std::size_t taken = std::min(bytes, kRingBytes - m_fill);
    // The ring holds many output buffers; it fills only when every input gives more sound than
    // an output buffer takes. What does not fit is counted and logged, never dropped unsaid.
    if (taken < bytes) m_errors.NoteFailure("the sound ring is full: sound was dropped");
    const std::size_t first = std::min(taken, kRingBytes - m_write);
    std::memcpy(m_ring.get() + m_write, data, first);
    std::memcpy(m_ring.get(), data + first, taken - first);
    m_write = (m_write + taken) % kRingBytes;
    m_fill += taken;
}

std::size_t CMyAudioConveFilter::ReadRing(std::uint8_t* to, std::size_t capacity)
{
    const std::size_t n = std::min(m_fill, capacity);
    const std::size_t first = std::min(n, kRingBytes - m_read);
    std::memcpy(to, m_ring.get() + m_read, first);
    std::memcpy(to + first, m_ring.get(), n - first);
    m_read = (m_read + n) % kRingBytes;
    m_fill -= n;
    return n;
}

void CMyAudioConveFilter::ApplyVolume(std::uint8_t* data, std::size_t bytes) const
{
    const std::int32_t volume = m_volume.load();
    if (volume == 256) return;
    auto* samples = reinterpret_cast<std::int16_t*>(data);
    for (std::size_t i = 0; i < bytes / 2; ++i)
        samples[i] = static_cast<std::int16_t>(std::clamp((samples[i] * volume + 128) >> 8, -32768, 32767));
}

HRESULT CMyAudioConveFilter::Transform(IMediaSample* in, IMediaSample* out)
{
    BYTE* source = nullptr;
    BYTE* target = nullptr;
    if (FAILED(in->GetPointer(&source)) || FAILED(out->GetPointer(&target)) || !target) return E_FAIL;
    if (m_flushRing) {
        // After a flush the sound held from before it belongs to another position.
        m_flushRing = false;
        m_read = m_write = m_fill = 0;
        if (m_resampler) m_errors.Note("swr_init", swr_init(m_resampler.get()));
    }
    const long n = in->GetActualDataLength();
    if (m_resample) {
        const int made = Resample(source, n / m_bytesPerInputFrame);
        WriteRing(m_resampleBuffer.get(), static_cast<std::size_t>(made) * m_outputChannels * 2);
    } else if (source && n > 0) {
        WriteRing(source, static_cast<std::size_t>(n));
    }
    const std::size_t read = ReadRing(target, static_cast<std::size_t>(out->GetSize()));
    ApplyVolume(target, read);
    out->SetActualDataLength(static_cast<long>(read));
    REFERENCE_TIME start = 0, stop = 0;
    if (SUCCEEDED(in->GetTime(&start, &stop))) m_lastStop = stop;
    return S_OK;
}

HRESULT CMyAudioConveFilter::EndFlush()
{
    m_flushRing = true;
    return CTransformFilter::EndFlush();
}

HRESULT CMyAudioConveFilter::EndOfStream()
{
    // What the resampler holds back and what the ring still has are the stream's last sound.
    if (m_output && m_output->IsConnected() && !m_flushRing) {
        if (m_resample) {
            const int made = Resample(nullptr, 0);
            WriteRing(m_resampleBuffer.get(), static_cast<std::size_t>(made) * m_outputChannels * 2);
        }
        const int blockAlign = 2 * m_outputChannels;
        while (m_fill > 0) {
            ComPtr<IMediaSample> sample;
            if (FAILED(m_output->GetDeliveryBuffer(sample.Put(), nullptr, nullptr, 0))) break;
            BYTE* target = nullptr;
            sample->GetPointer(&target);
            const std::size_t read = ReadRing(target, static_cast<std::size_t>(sample->GetSize()));
            ApplyVolume(target, read);
            sample->SetActualDataLength(static_cast<long>(read));
            REFERENCE_TIME start = m_lastStop;
            REFERENCE_TIME stop = start + static_cast<REFERENCE_TIME>(read / blockAlign) * 10000000 / m_outputRate;
            m_lastStop = stop;
            sample->SetTime(&start, &stop);
            if (m_output->Deliver(sample.Get()) != S_OK) break;
        }
    }
    return CTransformFilter::EndOfStream();
}
