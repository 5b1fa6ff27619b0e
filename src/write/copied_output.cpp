#include "write/copied_output.h"

#include <algorithm>
#include <cstring>

bool CopiedOutput::Add(AVMediaType type, const StreamLabel* label, bool first)
{
    AVStream* stream = m_muxer->NewStream();
    if (!stream) return false;
    stream->codecpar->codec_type = type;
    stream->time_base = kHundredNanoseconds;
    if (label) m_muxer->Label(stream, *label);
    stream->disposition = (first ? AV_DISPOSITION_DEFAULT : 0) | (label && label->forced ? AV_DISPOSITION_FORCED : 0);
    m_stream = stream;
    m_confirmed = false;
    m_end = 0;
    m_packets = 0;
    return true;
}

bool CopiedOutput::Describe(const CopiedFormat& format, bool confirmed)
{
    // Once the header is out, the format stays as written.
    if (m_muxer->HeaderWritten()) return true;
    AVCodecParameters* p = m_stream->codecpar;
    p->codec_id = format.codec;
    // DVD LPCM goes into MPEG program streams as it is; Matroska takes its samples as plain PCM.
    const std::string_view name = m_muxer->Name();
    const bool programStream = name.find("mpeg") != std::string_view::npos || name == "vob" || name == "dvd";
    if (p->codec_type == AVMEDIA_TYPE_AUDIO && format.codec == AV_CODEC_ID_PCM_DVD && !programStream) {
        if (!UnpackLpcm(format)) return false;
        m_confirmed = m_confirmed || confirmed;
        return true;
    }
    m_unpacker.reset();
    if (p->codec_type == AVMEDIA_TYPE_AUDIO) {
        p->sample_rate = format.sampleRate;
        av_channel_layout_uninit(&p->ch_layout);
        if (format.channels > 0) av_channel_layout_default(&p->ch_layout, format.channels);
        p->bits_per_coded_sample = format.bitsPerSample;
        p->bits_per_raw_sample = format.bitsPerSample;
        if (format.codec == AV_CODEC_ID_PCM_S16LE || format.codec == AV_CODEC_ID_PCM_S16BE) p->block_align = 2 * std::max(1, format.channels);
        if (format.codec == AV_CODEC_ID_PCM_S24LE) p->block_align = 3 * std::max(1, format.channels);
    } else {
        p->width = format.width;
        p->height = format.height;
    }
    if (p->codec_type == AVMEDIA_TYPE_VIDEO) {
        p->sample_aspect_ratio = format.sampleAspect;
        m_stream->sample_aspect_ratio = format.sampleAspect;
        p->field_order = format.fieldOrder;
        if (format.frameRate.num > 0) {
            m_stream->avg_frame_rate = format.frameRate;
            m_stream->r_frame_rate = format.frameRate;
        }
        // B pictures: the container reorders them by their time stamps.
        p->video_delay = format.codec == AV_CODEC_ID_MPEG2VIDEO || format.codec == AV_CODEC_ID_MPEG1VIDEO ? 2 : 4;
    }
    av_freep(&p->extradata);
    p->extradata_size = 0;
    if (!format.extradata.empty()) {
        p->extradata = static_cast<std::uint8_t*>(av_mallocz(format.extradata.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!p->extradata) return m_failure->Fail("out of memory");
        std::memcpy(p->extradata, format.extradata.data(), format.extradata.size());
        p->extradata_size = static_cast<int>(format.extradata.size());
    }
    m_confirmed = m_confirmed || confirmed;
    return true;
}

bool CopiedOutput::UnpackLpcm(const CopiedFormat& format)
{
    const int bits = format.bitsPerSample > 16 ? 24 : 16;
    AVCodecParameters* p = m_stream->codecpar;
    p->codec_id = bits == 24 ? AV_CODEC_ID_PCM_S24LE : AV_CODEC_ID_PCM_S16LE;
    p->sample_rate = format.sampleRate;
    av_channel_layout_uninit(&p->ch_layout);
    av_channel_layout_default(&p->ch_layout, std::max(1, format.channels));
    p->bits_per_coded_sample = bits;
    p->bits_per_raw_sample = bits;
    p->block_align = bits / 8 * std::max(1, format.channels);
    av_freep(&p->extradata);
    p->extradata_size = 0;
    const AVCodec* decoder = avcodec_find_decoder(AV_CODEC_ID_PCM_DVD);
    m_unpacker.reset(decoder ? avcodec_alloc_context3(decoder) : nullptr);
    m_unpacked = ffmpeg::MakeFrame();
    if (!m_unpacker || !m_unpacked) return m_failure->Fail("out of memory");
    // Each packet's own header says its rate, depth and channels; these are the stream's.
    m_unpacker->sample_rate = format.sampleRate;
    av_channel_layout_default(&m_unpacker->ch_layout, std::max(1, format.channels));
    m_unpacker->bits_per_coded_sample = bits;
    return !m_failure->Refused("avcodec_open2", avcodec_open2(m_unpacker.get(), decoder, nullptr), "cannot unpack the LPCM sound");
}

bool CopiedOutput::WriteUnpacked(const CopiedPacket& packet)
{
    // The packet as the disc has it (its three header bytes first) into the decoder, which gives
    // the samples (16 bits, or 24 in the top of 32) interleaved.
    if (m_failure->Refused("av_new_packet", av_new_packet(m_packet.get(), static_cast<int>(packet.size)), "out of memory")) return false;
    std::memcpy(m_packet->data, packet.data, packet.size);
    const int sent = avcodec_send_packet(m_unpacker.get(), m_packet.get());
    av_packet_unref(m_packet.get());
    if (m_failure->Tally().Note("avcodec_send_packet", sent)) return true; // a damaged packet is passed over
    std::int64_t at = packet.pts;
    const bool deep = m_stream->codecpar->codec_id == AV_CODEC_ID_PCM_S24LE;
    const int channels = m_stream->codecpar->ch_layout.nb_channels;
    while (avcodec_receive_frame(m_unpacker.get(), m_unpacked.get()) == 0) {
        AVFrame* frame = m_unpacked.get();
        const int values = frame->nb_samples * frame->ch_layout.nb_channels;
        if (frame->ch_layout.nb_channels != channels || frame->sample_rate <= 0) {
            av_frame_unref(frame);
            continue; // a packet that says another layout than the stream's: not this stream's samples
        }
        const int bytes = values * (deep ? 3 : 2);
        if (m_failure->Refused("av_new_packet", av_new_packet(m_packet.get(), bytes), "out of memory")) return false;
        std::uint8_t* out = m_packet->data;
        if (deep && frame->format == AV_SAMPLE_FMT_S32) {
            const auto* in = reinterpret_cast<const std::int32_t*>(frame->data[0]);
            for (int i = 0; i < values; ++i) {
                const std::uint32_t v = static_cast<std::uint32_t>(in[i]) >> 8;
                *out++ = static_cast<std::uint8_t>(v);
                *out++ = static_cast<std::uint8_t>(v >> 8);
                *out++ = static_cast<std::uint8_t>(v >> 16);
            }
        } else if (!deep && frame->format == AV_SAMPLE_FMT_S16) {
            std::memcpy(out, frame->data[0], static_cast<std::size_t>(bytes));
        } else {
            av_frame_unref(frame);
            av_packet_unref(m_packet.get());
            continue;
        }
        const std::int64_t duration = av_rescale(frame->nb_samples, 10000000, frame->sample_rate);
        m_packet->pts = m_packet->dts = at;
        m_packet->duration = duration;
        m_packet->flags |= AV_PKT_FLAG_KEY;
        m_end = std::max(m_end, at + duration);
        ++m_packets;
        at += duration;
        av_frame_unref(frame);
        if (!m_muxer->WritePacket(m_packet.get(), m_stream, kHundredNanoseconds)) return false;
    }
    return true;
}

int CopiedOutput::Write(const CopiedPacket& packet)
{
    if (!m_stream || m_failure->Failed() || !packet.data || packet.size == 0) return -1;
    if (m_unpacker) return WriteUnpacked(packet) ? 0 : -1;
    if (m_failure->Refused("av_new_packet", av_new_packet(m_packet.get(), static_cast<int>(packet.size)), "out of memory")) return -1;
    std::memcpy(m_packet->data, packet.data, packet.size);
    m_packet->pts = packet.pts;
    m_packet->dts = packet.dts;
    m_packet->duration = packet.duration;
    if (packet.key) m_packet->flags |= AV_PKT_FLAG_KEY;
    m_end = std::max(m_end, packet.pts + packet.duration);
    ++m_packets;
    return m_muxer->WritePacket(m_packet.get(), m_stream, kHundredNanoseconds) ? 0 : -1;
}
