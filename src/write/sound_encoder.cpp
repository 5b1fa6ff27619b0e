#include "write/sound_encoder.h"

#include <algorithm>

#include "write/encoding.h"

namespace {

constexpr int kMaxAudioChunk = 32768; // samples per frame for encoders that take any size

bool Supports(const AVSampleFormat* formats, AVSampleFormat wanted)
{
    for (const AVSampleFormat* f = formats; f && *f != AV_SAMPLE_FMT_NONE; ++f)
        if (*f == wanted) return true;
    return false;
}

} // namespace

bool SoundEncoder::Add(const AVCodec* encoder, const WriterSettings& w, const StreamLabel& label, bool first)
{
    AVStream* stream = m_muxer->NewStream();
    if (!stream) return false;
    ffmpeg::CodecContextPtr codec(avcodec_alloc_context3(encoder));
    if (!codec) return m_failure->Fail("cannot make the audio encoder");
    // 16-bit samples when the encoder takes them; otherwise its own format, converted to.
    codec->sample_fmt = !encoder->sample_fmts || Supports(encoder->sample_fmts, AV_SAMPLE_FMT_S16) ? AV_SAMPLE_FMT_S16 : encoder->sample_fmts[0];
    codec->bit_rate = w.AudioBitRate;
    codec->sample_rate = label.sampleRate > 0 ? label.sampleRate : w.SampleRate;
    av_channel_layout_default(&codec->ch_layout, std::max(1, label.channels > 0 ? label.channels : w.Channel));
    codec->time_base = {1, codec->sample_rate};
    if (m_muxer->GlobalHeader()) codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (!OpenEncoder(*m_failure, codec.get(), encoder, stream, "audio")) return false;
    m_muxer->Label(stream, label);
    stream->disposition = first ? AV_DISPOSITION_DEFAULT : 0;

    // One frame buffer that fits the encoder's frame (or any chunk, for encoders without one).
    const int chunk = codec->frame_size > 0 ? codec->frame_size : kMaxAudioChunk;
    m_frame = ffmpeg::MakeFrame();
    if (!m_frame) return m_failure->Fail("out of memory");
    m_frame->format = codec->sample_fmt;
    av_channel_layout_copy(&m_frame->ch_layout, &codec->ch_layout);
    m_frame->sample_rate = codec->sample_rate;
    m_frame->nb_samples = chunk;
    if (m_failure->Refused("av_frame_get_buffer", av_frame_get_buffer(m_frame.get(), 0), "out of memory")) return false;
    if (codec->sample_fmt != AV_SAMPLE_FMT_S16) {
        SwrContext* converter = nullptr;
        const int result = swr_alloc_set_opts2(&converter, &codec->ch_layout, codec->sample_fmt, codec->sample_rate, &codec->ch_layout,
                                               AV_SAMPLE_FMT_S16, codec->sample_rate, 0, nullptr);
        m_converter.reset(converter);
        if (m_failure->Refused("swr_alloc_set_opts2", result, "cannot convert samples for the audio encoder") ||
            m_failure->Refused("swr_init", swr_init(converter), "cannot convert samples for the audio encoder"))
            return false;
        m_staging.assign(static_cast<std::size_t>(chunk) * codec->ch_layout.nb_channels * 2, 0);
    }
    // A new FIFO for every file: nothing of the last file's sound carries over.
    m_fifo.reset(av_audio_fifo_alloc(AV_SAMPLE_FMT_S16, codec->ch_layout.nb_channels, chunk * 4));
    if (!m_fifo) return m_failure->Fail("out of memory");
    m_sampleRate = codec->sample_rate;
    m_codec = std::move(codec);
    m_stream = stream;
    return true;
}

int SoundEncoder::Write(const std::uint8_t* data, std::size_t bytes)
{
    if (!m_codec || m_failure->Failed()) return -1;
    const int channels = m_codec->ch_layout.nb_channels;
    const int samples = static_cast<int>(bytes / (2 * static_cast<std::size_t>(channels)));
    if (samples > 0) {
        void* planes[1] = {const_cast<std::uint8_t*>(data)};
        if (!m_failure->Whole("av_audio_fifo_write", av_audio_fifo_write(m_fifo.get(), planes, samples), samples, "out of memory"))
            return -1;
    }
    return EncodeGathered(false) ? 0 : -1;
}

bool SoundEncoder::EncodeGathered(bool flush)
{
    AVCodecContext* codec = m_codec.get();
    AVAudioFifo* fifo = m_fifo.get();
    AVFrame* frame = m_frame.get();
    const bool fixedSize = codec->frame_size > 0 && !(codec->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
    const int chunk = codec->frame_size > 0 ? codec->frame_size : kMaxAudioChunk;
    while (av_audio_fifo_size(fifo) > 0) {
        const int available = av_audio_fifo_size(fifo);
        if (fixedSize && available < chunk && !flush) break;
        const int n = std::min(available, chunk);
        if (m_failure->Refused("av_frame_make_writable", av_frame_make_writable(frame), "out of memory")) return false;
        // Frames that must be whole get the rest of the last one as silence.
        const int frameSamples = fixedSize && !(codec->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME) ? chunk : n;
        frame->nb_samples = frameSamples;
        if (m_converter) {
            std::uint8_t* staging[1] = {m_staging.data()};
            const int read = av_audio_fifo_read(fifo, reinterpret_cast<void**>(staging), n);
            if (!m_failure->Whole("av_audio_fifo_read", read, n, "cannot read the sound to encode")) return false;
            const std::uint8_t* in[1] = {m_staging.data()};
            const int converted = swr_convert(m_converter.get(), frame->data, n, in, n);
            if (!m_failure->Whole("swr_convert", converted, n, "cannot convert the sound for the encoder")) return false;
        } else {
            const int read = av_audio_fifo_read(fifo, reinterpret_cast<void**>(frame->data), n);
            if (!m_failure->Whole("av_audio_fifo_read", read, n, "cannot read the sound to encode")) return false;
        }
        if (frameSamples > n) av_samples_set_silence(frame->data, n, frameSamples - n, codec->ch_layout.nb_channels, codec->sample_fmt);
        frame->pts = m_samples;
        m_samples += n;
        if (!EncodeInto(*m_muxer, *m_failure, m_packet.get(), codec, m_stream, frame, m_packets)) return false;
    }
    return true;
}

bool SoundEncoder::Drain()
{
    if (!m_codec || m_samples == 0 || m_failure->Failed()) return !m_failure->Failed();
    return EncodeInto(*m_muxer, *m_failure, m_packet.get(), m_codec.get(), m_stream, nullptr, m_packets);
}

std::int64_t SoundEncoder::Length() const
{
    return av_rescale_q(m_samples, AVRational{1, std::max(1, m_sampleRate)}, kHundredNanoseconds);
}

void SoundEncoder::Free()
{
    m_codec.reset();
    m_stream = nullptr;
    m_frame.reset();
    m_converter.reset();
    m_fifo.reset();
}
