#include "decode/audio_decoder_filter.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "decode/media_codec.h"
#include "pipeline/format_blocks.h"
#include "pipeline/media_guids.h"
#include "com/debug_log.h"

extern "C" {
#include <libavutil/opt.h>
}

namespace {

constexpr AVRational kReferenceTimeBase{1, 10000000};
constexpr WORD kPs2PcmTag = 0xF521;

bool IsPs2Pcm(const CMediaType& type) { return type.subtype == FourCCGuid(kPs2PcmTag); }

} // namespace

CAudioDecoderFilter::CAudioDecoderFilter(IUnknown* outer)
    : CTransformFilter("CAudioDecoderFilter", outer, CLSID_MpegAudioDecoder), m_feeder(65536, m_errors),
      m_frame(ffmpeg::MakeFrame())
{
}

CAudioDecoderFilter::~CAudioDecoderFilter()
{
    CloseDecoder();
    av_channel_layout_uninit(&m_converterLayout);
}

HRESULT CAudioDecoderFilter::CreateInstance(IUnknown* outer, REFIID riid, void** ppv)
{
    return CreateDecoder<CAudioDecoderFilter>(outer, riid, ppv);
}

HRESULT CAudioDecoderFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IDecoderDamage::iid) return GetInterface(static_cast<IDecoderDamage*>(this), ppv);
    return CTransformFilter::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CAudioDecoderFilter::CheckInputType(const CMediaType* input)
{
    if (!input || input->majortype != MEDIATYPE_Audio) return VFW_E_TYPE_NOT_ACCEPTED;
    const WAVEFORMATEX* wfe = WaveFormatOf(*input);
    if (IsPs2Pcm(*input))
        return wfe && wfe->nChannels > 0 && wfe->nSamplesPerSec > 0 && input->cbFormat >= sizeof(WAVEFORMATEX) + 4
                   ? S_OK
                   : VFW_E_TYPE_NOT_ACCEPTED;
    const AVCodecID id = AudioCodecOf(*input);
    if (id == AV_CODEC_ID_NONE || !avcodec_find_decoder(id)) return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT CAudioDecoderFilter::CheckTransform(const CMediaType* input, const CMediaType* output)
{
    if (CheckInputType(input) != S_OK) return VFW_E_TYPE_NOT_ACCEPTED;
    const WAVEFORMATEX* wfe = output ? WaveFormatOf(*output) : nullptr;
    if (!wfe || output->majortype != MEDIATYPE_Audio || output->subtype != MEDIASUBTYPE_PCM ||
        wfe->wBitsPerSample != 16 || wfe->nChannels == 0 || wfe->nChannels > 8 || wfe->nSamplesPerSec == 0)
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT CAudioDecoderFilter::GetMediaType(int position, CMediaType* type)
{
    if (position < 0) return E_INVALIDARG;
    if (position > 0 || !m_input || !m_input->IsConnected()) return VFW_S_NO_MORE_ITEMS;
    const WAVEFORMATEX* in = WaveFormatOf(m_input->CurrentMediaType());
    const WORD channels = static_cast<WORD>(in && in->nChannels ? std::min<WORD>(in->nChannels, 8) : 2);
    const DWORD rate = in && in->nSamplesPerSec ? in->nSamplesPerSec : 48000;
    type->ResetFormatBuffer();
    type->majortype = MEDIATYPE_Audio;
    type->subtype = MEDIASUBTYPE_PCM;
    type->formattype = FORMAT_WaveFormatEx;
    auto* wfe = reinterpret_cast<WAVEFORMATEX*>(type->AllocFormatBuffer(sizeof(WAVEFORMATEX)));
    if (!wfe) return E_OUTOFMEMORY;
    wfe->wFormatTag = WAVE_FORMAT_PCM;
    wfe->nChannels = channels;
    wfe->nSamplesPerSec = rate;
    wfe->wBitsPerSample = 16;
    wfe->nBlockAlign = static_cast<WORD>(channels * 2);
    wfe->nAvgBytesPerSec = wfe->nBlockAlign * rate;
    type->SetSampleSize(wfe->nBlockAlign);
    return S_OK;
}

HRESULT CAudioDecoderFilter::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    if (!m_input || !m_input->IsConnected()) return E_UNEXPECTED;
    ALLOCATOR_PROPERTIES wanted = *request;
    wanted.cBuffers = std::max<LONG>(request->cBuffers, 4);
    wanted.cbBuffer = std::max<LONG>(request->cbBuffer, kBufferBytes);
    wanted.cbAlign = std::max<LONG>(request->cbAlign, 1);
    ALLOCATOR_PROPERTIES actual{};
    const HRESULT hr = allocator->SetProperties(&wanted, &actual);
    if (FAILED(hr)) return hr;
    return actual.cbBuffer < kBufferBytes ? E_FAIL : S_OK;
}

HRESULT CAudioDecoderFilter::SetMediaType(PIN_DIRECTION direction, const CMediaType* type)
{
    // Connections are made while stopped: no sample is on its way, so no receive lock.
    if (direction == PINDIR_INPUT) return OpenDecoder(*type) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    const WAVEFORMATEX* wfe = WaveFormatOf(*type);
    m_outputChannels = wfe->nChannels;
    m_outputRate = static_cast<int>(wfe->nSamplesPerSec);
    m_converter.reset();
    return S_OK;
}

HRESULT CAudioDecoderFilter::BreakConnect(PIN_DIRECTION direction)
{
    if (direction == PINDIR_INPUT) CloseDecoder(); // stopped, as for SetMediaType
    return CTransformFilter::BreakConnect(direction);
}

bool CAudioDecoderFilter::OpenDecoder(const CMediaType& type)
{
    CloseDecoder();
    const WAVEFORMATEX* wfe = WaveFormatOf(type);
    m_inputType = type;
    m_nextStart = 0;
    m_haveTime = false;
    m_discontinuity = true;
    m_hdmvLpcm = false;
    if (type.subtype == MEDIASUBTYPE_HDMV_LPCM_AUDIO) {
        // The format keeps the channel assignment after the wave format.
        if (!wfe || type.cbFormat < sizeof(WAVEFORMATEX) + 1) return false;
        const std::uint8_t assignment = type.pbFormat[sizeof(WAVEFORMATEX)];
        const std::uint8_t rate = wfe->nSamplesPerSec == 192000 ? 5 : wfe->nSamplesPerSec == 96000 ? 4 : 1;
        const std::uint8_t bits = wfe->wBitsPerSample == 24 ? 3 : wfe->wBitsPerSample == 20 ? 2 : 1;
        m_hdmvLpcmHeader[2] = static_cast<std::uint8_t>(assignment << 4 | rate);
        m_hdmvLpcmHeader[3] = static_cast<std::uint8_t>(bits << 6);
        m_hdmvLpcm = true;
    }
    if (IsPs2Pcm(type)) {
        if (!wfe || type.cbFormat < sizeof(WAVEFORMATEX) + 4) return false;
        std::memcpy(&m_ps2Interleave, type.pbFormat + sizeof(WAVEFORMATEX), 4);
        m_ps2Pcm = m_ps2Interleave >= 2 && m_ps2Interleave % 2 == 0;
        return m_ps2Pcm;
    }
    const AVCodec* codec = avcodec_find_decoder(AudioCodecOf(type));
    if (!codec) return false;
    ffmpeg::CodecContextPtr context(avcodec_alloc_context3(codec));
    if (!context) return false;
    if (wfe) {
        if (wfe->nChannels) av_channel_layout_default(&context->ch_layout, wfe->nChannels);
        context->sample_rate = static_cast<int>(wfe->nSamplesPerSec);
        context->block_align = wfe->nBlockAlign;
        context->bits_per_coded_sample = wfe->wBitsPerSample;
        const std::size_t extra = std::min<std::size_t>(wfe->cbSize, type.cbFormat - sizeof(WAVEFORMATEX));
        if (extra && codec->id == AV_CODEC_ID_AAC) {
            context->extradata = static_cast<std::uint8_t*>(av_mallocz(extra + AV_INPUT_BUFFER_PADDING_SIZE));
            if (!context->extradata) return false;
            std::memcpy(context->extradata, type.pbFormat + sizeof(WAVEFORMATEX), extra);
            context->extradata_size = static_cast<int>(extra);
        }
    }
    context->pkt_timebase = kReferenceTimeBase;
    if (avcodec_open2(context.get(), codec, nullptr) < 0) return false;
    // Compressed sound arrives in PES-sized pieces that need not hold whole frames: the parser
    // cuts them into frames (AC-3, DTS, MPEG audio).
    if (codec->id == AV_CODEC_ID_AC3 || codec->id == AV_CODEC_ID_DTS || codec->id == AV_CODEC_ID_MP1 ||
        codec->id == AV_CODEC_ID_MP2 || codec->id == AV_CODEC_ID_MP3) {
        m_parser = ffmpeg::MakeParser(codec->id);
        if (!m_parser) return false;
    }
    m_codec = std::move(context);
    return true;
}

void CAudioDecoderFilter::CloseDecoder()
{
    m_parser.reset();
    m_codec.reset();
    m_converter.reset();
    m_ps2Pcm = false;
}

HRESULT CAudioDecoderFilter::StartStreaming()
{
    m_flushPending = true; // a new run starts clean
    m_damaged.Clear();
    m_errors.Reset();
    return CTransformFilter::StartStreaming();
}

HRESULT CAudioDecoderFilter::EndFlush()
{
    // Reset by the streaming thread before its next sample (it may hold the receive lock now).
    m_flushed = true;
    m_flushPending = true;
    return CTransformFilter::EndFlush();
}

void CAudioDecoderFilter::ApplyPendingFlush()
{
    if (!m_flushPending.exchange(false)) return;
    if (m_codec) avcodec_flush_buffers(m_codec.get());
    ResetParser();
    m_converter.reset();
    m_haveTime = false;
    m_discontinuity = true;
    // A start counts from 0; after a flush (a seek) the old count would place the first frames
    // without a time stamp at the old place.
    m_waitForTime = m_flushed.exchange(false);
    if (!m_waitForTime) m_nextStart = 0;
}

HRESULT CAudioDecoderFilter::Receive(IMediaSample* sample)
{
    ApplyPendingFlush();
    if (!m_output || !m_output->IsConnected()) return S_OK;
    AM_MEDIA_TYPE* changed = nullptr;
    if (sample->GetMediaType(&changed) == S_OK && changed) {
        // A stream switch: what the old decoder holds is finished first.
        const CMediaType type(*changed);
        DeleteMediaType(changed);
        if (type != m_inputType) {
            Drain();
            if (CheckInputType(&type) != S_OK || !OpenDecoder(type)) return VFW_E_TYPE_NOT_ACCEPTED;
        }
    }
    if (sample->IsDiscontinuity() == S_OK) m_discontinuity = true;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    REFERENCE_TIME start = 0, stop = 0;
    const std::int64_t pts = SUCCEEDED(sample->GetTime(&start, &stop)) ? start : AV_NOPTS_VALUE;
    if (m_ps2Pcm) return DecodePs2Pcm(data, sample->GetActualDataLength(), pts);
    if (!m_codec) return VFW_E_NOT_CONNECTED;
    const int size = sample->GetActualDataLength();
    if (m_hdmvLpcm && size > 0) {
        m_withHeader.resize(static_cast<std::size_t>(size) + 4);
        m_hdmvLpcmHeader[0] = static_cast<std::uint8_t>(size >> 8);
        m_hdmvLpcmHeader[1] = static_cast<std::uint8_t>(size);
        std::memcpy(m_withHeader.data(), m_hdmvLpcmHeader, 4);
        std::memcpy(m_withHeader.data() + 4, data, static_cast<std::size_t>(size));
        return Decode(m_withHeader.data(), size + 4, pts);
    }
    return Decode(data, size, pts);
}

HRESULT CAudioDecoderFilter::Decode(const BYTE* data, int size, std::int64_t pts)
{
    return m_feeder.Feed(
        m_codec.get(), m_parser.get(), data, size, pts, [this] { return ReceiveFrames(); },
        [this](std::int64_t lostPts) { NoteLostSound(lostPts); });
}

HRESULT CAudioDecoderFilter::ReceiveFrames()
{
    return m_feeder.ReceiveFrames(
        m_codec.get(), m_frame.get(),
        [this](const AVFrame* frame) {
            if (frame->sample_rate > 0 && frame->nb_samples > 0)
                m_frameLength = static_cast<REFERENCE_TIME>(frame->nb_samples) * 10000000 / frame->sample_rate;
            return DeliverSound(frame);
        },
        [this](std::int64_t lostPts) { NoteLostSound(lostPts); });
}

void CAudioDecoderFilter::NoteLostSound(REFERENCE_TIME pts)
{
    // The end of a range may cut the last frame short: that loss is expected, not damage.
    if (m_draining) return;
    const REFERENCE_TIME start = pts != AV_NOPTS_VALUE ? pts : m_nextStart;
    m_damaged.Add(start, start + m_frameLength, m_frameLength);
}

HRESULT CAudioDecoderFilter::DeliverSound(const AVFrame* frame)
{
    if (m_outputChannels <= 0 || m_outputRate <= 0) return S_OK;
    if (frame) {
        // Times follow the sample count; a time stamp that disagrees by more than 20 ms (or the
        // first after a discontinuity) sets them anew.
        const std::int64_t pts = frame->best_effort_timestamp;
        if (pts != AV_NOPTS_VALUE && (!m_haveTime || m_discontinuity || std::llabs(pts - m_nextStart) > 200000)) {
            m_nextStart = pts;
            m_haveTime = true;
            m_waitForTime = false;
        }
        if (m_waitForTime) return S_OK;
        const bool direct = frame->format == AV_SAMPLE_FMT_S16 && frame->ch_layout.nb_channels == m_outputChannels &&
                            frame->sample_rate == m_outputRate && !m_converter;
        if (direct) {
            return DeliverBytes(frame->data[0], static_cast<std::size_t>(frame->nb_samples) * m_outputChannels * 2,
                                static_cast<std::size_t>(frame->nb_samples));
        }
        if (!m_converter || m_converterRate != frame->sample_rate || m_converterFormat != frame->format ||
            av_channel_layout_compare(&m_converterLayout, &frame->ch_layout) != 0) {
            AVChannelLayout outLayout{};
            av_channel_layout_default(&outLayout, m_outputChannels);
            SwrContext* converter = nullptr;
            // (FFmpeg 5.1 declares the input layout non-const.)
            const int made = swr_alloc_set_opts2(&converter, &outLayout, AV_SAMPLE_FMT_S16, m_outputRate,
                                                 const_cast<AVChannelLayout*>(&frame->ch_layout), static_cast<AVSampleFormat>(frame->format),
                                                 frame->sample_rate, 0, nullptr);
            av_channel_layout_uninit(&outLayout);
            m_converter.reset(converter);
            if (made < 0 || swr_init(m_converter.get()) < 0) {
                m_converter.reset();
                return E_FAIL;
            }
            av_channel_layout_uninit(&m_converterLayout);
            av_channel_layout_copy(&m_converterLayout, &frame->ch_layout);
            m_converterRate = frame->sample_rate;
            m_converterFormat = frame->format;
        }
    }
    if (!m_converter) return S_OK;
    const int capacity = swr_get_out_samples(m_converter.get(), frame ? frame->nb_samples : 0);
    if (capacity <= 0) return S_OK;
    const std::size_t bytes = static_cast<std::size_t>(capacity) * m_outputChannels * 2;
    if (m_converted.size() < bytes) m_converted.resize(bytes);
    std::uint8_t* out = m_converted.data();
    const int converted = swr_convert(m_converter.get(), &out, capacity,
                                      frame ? const_cast<const std::uint8_t**>(frame->extended_data) : nullptr,
                                      frame ? frame->nb_samples : 0);
    if (converted < 0 && frame) {
        m_errors.Note("swr_convert", converted);
        NoteLostSound(frame->best_effort_timestamp);
    }
    if (converted <= 0) return S_OK;
    return DeliverBytes(m_converted.data(), static_cast<std::size_t>(converted) * m_outputChannels * 2,
                        static_cast<std::size_t>(converted));
}

HRESULT CAudioDecoderFilter::DeliverBytes(const BYTE* data, std::size_t bytes, std::size_t frames)
{
    const std::size_t blockAlign = static_cast<std::size_t>(m_outputChannels) * 2;
    const std::size_t chunkFrames = static_cast<std::size_t>(kBufferBytes) / blockAlign;
    while (frames > 0) {
        const std::size_t n = std::min(frames, chunkFrames);
        ComPtr<IMediaSample> sample;
        HRESULT hr = m_output->GetDeliveryBuffer(sample.Put(), nullptr, nullptr, 0);
        if (FAILED(hr)) return hr;
        BYTE* out = nullptr;
        sample->GetPointer(&out);
        std::memcpy(out, data, n * blockAlign);
        REFERENCE_TIME start = m_nextStart;
        REFERENCE_TIME stop = start + static_cast<REFERENCE_TIME>(n) * 10000000 / m_outputRate;
        m_nextStart = stop;
        sample->SetActualDataLength(static_cast<long>(n * blockAlign));
        sample->SetTime(&start, &stop);
        sample->SetMediaTime(nullptr, nullptr);
        sample->SetSyncPoint(TRUE);
        sample->SetPreroll(FALSE);
        sample->SetDiscontinuity(m_discontinuity ? TRUE : FALSE);
        m_discontinuity = false;
        hr = m_output->Deliver(sample.Get());
        if (hr != S_OK) return hr;
        data += n * blockAlign;
        frames -= n;
    }
    (void)bytes;
    return S_OK;
}

HRESULT CAudioDecoderFilter::DecodePs2Pcm(const BYTE* data, int size, std::int64_t pts)
{
    const WAVEFORMATEX* wfe = WaveFormatOf(m_inputType);
    const int channels = wfe->nChannels;
    const std::size_t block = static_cast<std::size_t>(m_ps2Interleave) * channels;
    const std::size_t blocks = static_cast<std::size_t>(size) / block;
    if (blocks == 0) return S_OK;
    if (pts != AV_NOPTS_VALUE && (!m_haveTime || m_discontinuity)) {
        m_nextStart = pts;
        m_haveTime = true;
    }
    const std::size_t perChannel = m_ps2Interleave / 2;
    const std::size_t frames = blocks * perChannel;
    if (m_converted.size() < frames * channels * 2) m_converted.resize(frames * channels * 2);
    auto* out = reinterpret_cast<std::int16_t*>(m_converted.data());
    for (std::size_t b = 0; b < blocks; ++b) {
        const BYTE* in = data + b * block;
        for (std::size_t s = 0; s < perChannel; ++s)
            for (int c = 0; c < channels; ++c) {
                const BYTE* p = in + static_cast<std::size_t>(c) * m_ps2Interleave + s * 2;
                *out++ = static_cast<std::int16_t>(p[0] | (p[1] << 8));
            }
    }
    if (channels == m_outputChannels && static_cast<int>(wfe->nSamplesPerSec) == m_outputRate)
        return DeliverBytes(m_converted.data(), frames * channels * 2, frames);
    return S_OK; // the output always takes the input's format
}

void CAudioDecoderFilter::ResetParser()
{
    if (m_parser) m_parser = ffmpeg::MakeParser(m_codec->codec_id);
}

HRESULT CAudioDecoderFilter::Drain()
{
    HRESULT hr = S_OK;
    m_draining = true;
    if (m_codec) hr = Decode(nullptr, 0, AV_NOPTS_VALUE);
    if (hr == S_OK && m_codec && avcodec_send_packet(m_codec.get(), nullptr) == 0) hr = ReceiveFrames();
    m_draining = false;
    if (hr == S_OK) hr = DeliverSound(nullptr);
    if (m_codec) avcodec_flush_buffers(m_codec.get());
    ResetParser();
    m_converter.reset();
    return hr;
}

HRESULT CAudioDecoderFilter::EndOfStream()
{
    ApplyPendingFlush();
    if (m_output && m_output->IsConnected()) Drain();
    return CTransformFilter::EndOfStream();
}
