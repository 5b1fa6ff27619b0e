#include "write/video_encoder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

extern "C" {
#include <libavutil/imgutils.h>
}

#include "write/encoding.h"

AVRational VideoEncoder::TimeBase(std::int32_t frameRate)
{
    if (frameRate == 23976) return {1001, 24000};
    if (frameRate == 29970) return {1001, 30000};
    const int perSecond = frameRate / 1000;
    return {1, perSecond > 0 ? perSecond : 25};
}

bool VideoEncoder::Add(const AVCodec* encoder, const WriterSettings& w, AspectRatio displayAspect, const EncoderPass& pass)
{
    m_settings = w;
    m_pass = pass;
    AVStream* stream = m_muxer.NewStream();
    if (!stream) return false;
    ffmpeg::CodecContextPtr codec(avcodec_alloc_context3(encoder));
    if (!codec) return m_failure.Fail("cannot make the video encoder");
    codec->width = w.Width;
    codec->height = w.Height;
    codec->time_base = TimeBase(w.FrameRate);
    codec->framerate = av_inv_q(codec->time_base);
    codec->pix_fmt = encoder->pix_fmts ? encoder->pix_fmts[0] : AV_PIX_FMT_YUV420P;
    if (ModernEncoding(w)) {
        // A key picture every few seconds, and the encoder's own B pictures.
        codec->gop_size = std::max(1, w.FrameRate / 1000) * 5;
    } else {
        codec->gop_size = std::max(1, w.FrameRate / 1000); // a key frame a second
        codec->max_b_frames = 0;
    }
    AVDictionary* options = nullptr;
    std::string refusal;
    if (!ApplyEncoderSettings(w, encoder, codec.get(), m_pass, &options, &refusal)) {
        av_dict_free(&options);
        return m_failure.Fail(refusal);
    }
    // The second of two passes, for encoders whose statistics go through libavcodec: the first
    // pass's, read back (they stay ours: libavcodec does not free them).
    m_statsOut.clear();
    if (m_pass.pass == 2 && KeepsStatsInContext(encoder->name)) {
        std::FILE* stats = std::fopen(m_pass.statsPath.c_str(), "rb");
        m_statsIn.clear();
        if (stats) {
            char chunk[4096];
            for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, stats)) > 0;) m_statsIn.append(chunk, got);
            std::fclose(stats);
        }
        if (m_statsIn.empty()) {
            av_dict_free(&options);
            return m_failure.Fail("the first pass left no statistics in " + m_pass.statsPath);
        }
        codec->stats_in = m_statsIn.data();
    }
    const AspectRatio pixel = SampleAspect(w.Width, w.Height, displayAspect);
    codec->sample_aspect_ratio = AVRational{pixel.x, pixel.y};
    codec->thread_count = 0;
    if (encoder->id == AV_CODEC_ID_MJPEG) codec->strict_std_compliance = FF_COMPLIANCE_UNOFFICIAL;
    if (m_muxer.GlobalHeader()) codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    stream->sample_aspect_ratio = codec->sample_aspect_ratio;
    stream->disposition = AV_DISPOSITION_DEFAULT;
    const bool opened = OpenEncoder(m_failure, codec.get(), encoder, stream, "video", &options);
    av_dict_free(&options);
    if (!opened) return false;
    // H.265 in MP4 and MOV as Apple's players want it.
    if (encoder->id == AV_CODEC_ID_HEVC && (m_muxer.Name() == "mp4" || m_muxer.Name() == "mov"))
        stream->codecpar->codec_tag = MKTAG('h', 'v', 'c', '1');

    m_frame = ffmpeg::MakeFrame();
    if (!m_frame) return m_failure.Fail("out of memory");
    m_frame->format = AV_PIX_FMT_YUV420P;
    m_frame->width = w.Width;
    m_frame->height = w.Height;
    if (m_failure.Refused("av_frame_get_buffer", av_frame_get_buffer(m_frame.get(), 0), "out of memory")) return false;
    if (codec->pix_fmt != AV_PIX_FMT_YUV420P) {
        m_converter.reset(sws_getContext(w.Width, w.Height, AV_PIX_FMT_YUV420P, w.Width, w.Height, codec->pix_fmt, SWS_BICUBIC, nullptr,
                                         nullptr, nullptr));
        m_converted = ffmpeg::MakeFrame();
        if (!m_converter || !m_converted) return m_failure.Fail("cannot convert pictures for the video encoder");
        m_converted->format = codec->pix_fmt;
        m_converted->width = w.Width;
        m_converted->height = w.Height;
        if (m_failure.Refused("av_frame_get_buffer", av_frame_get_buffer(m_converted.get(), 0), "out of memory")) return false;
    }
    m_codec = std::move(codec);
    m_stream = stream;
    return true;
}

int VideoEncoder::Write(const std::uint8_t* picture)
{
    if (!m_stream || m_failure.Failed() || !picture) return -1;
    const int w = m_settings.Width, h = m_settings.Height;
    // The encoder may still hold the last picture: it gets a buffer of its own then.
    if (m_failure.Refused("av_frame_make_writable", av_frame_make_writable(m_frame.get()), "out of memory")) return -1;
    const std::uint8_t* luma = picture;
    const std::uint8_t* cr = picture + static_cast<std::size_t>(w) * h;
    const std::uint8_t* cb = cr + static_cast<std::size_t>(w / 2) * (h / 2);
    av_image_copy_plane(m_frame->data[0], m_frame->linesize[0], luma, w, w, h);
    av_image_copy_plane(m_frame->data[1], m_frame->linesize[1], cb, w / 2, w / 2, h / 2);
    av_image_copy_plane(m_frame->data[2], m_frame->linesize[2], cr, w / 2, w / 2, h / 2);
    AVFrame* frame = m_frame.get();
    if (m_converter) {
        if (m_failure.Refused("av_frame_make_writable", av_frame_make_writable(m_converted.get()), "out of memory")) return -1;
        const int scaled = sws_scale(m_converter.get(), m_frame->data, m_frame->linesize, 0, h, m_converted->data, m_converted->linesize);
        if (m_failure.Refused("sws_scale", scaled, "cannot convert the picture for the encoder")) return -1;
        if (scaled == 0) {
            m_failure.Tally().NoteFailure("sws_scale gave no rows");
            return m_failure.Fail("cannot convert the picture for the encoder"), -1;
        }
        frame = m_converted.get();
    }
    frame->pts = m_frames++;
    std::string* stats = m_pass.pass == 1 ? &m_statsOut : nullptr;
    return EncodeInto(m_muxer, m_failure, m_packet.get(), m_codec.get(), m_stream, frame, m_packets, true, stats) ? 0 : -1;
}

bool VideoEncoder::Finish()
{
    if (!m_stream || m_failure.Failed()) return !m_failure.Failed();
    // An encoder that was given nothing is not drained: SVT-AV1 waits for ever for the pictures
    // it expects before the end.
    if (m_frames > 0) {
        m_ended = true;
        EncodeInto(m_muxer, m_failure, m_packet.get(), m_codec.get(), m_stream, nullptr, m_packets, true,
                   m_pass.pass == 1 ? &m_statsOut : nullptr);
    }
    // The first pass's statistics, where libavcodec handed them over (the last at the end).
    if (!m_failure.Failed() && m_pass.pass == 1 && KeepsStatsInContext(m_codec->codec->name)) {
        if (m_codec->stats_out) m_statsOut += m_codec->stats_out;
        std::FILE* stats = std::fopen(m_pass.statsPath.c_str(), "wb");
        // A full disk may say so only when the file is closed.
        const bool written = stats && std::fwrite(m_statsOut.data(), 1, m_statsOut.size(), stats) == m_statsOut.size();
        const bool closed = stats && std::fclose(stats) == 0;
        if (!written || !closed) m_failure.Fail("cannot write the first pass's statistics to " + m_pass.statsPath);
    }
    return !m_failure.Failed();
}

std::int64_t VideoEncoder::Length() const { return av_rescale_q(m_frames, TimeBase(m_settings.FrameRate), kHundredNanoseconds); }

void VideoEncoder::EndQuietly()
{
    // SVT-AV1 waits for ever when it is freed without having been told its end, and when told
    // its end before any picture. Such an encoder (a file given up, a run that failed before its
    // first picture) is given a black picture when it had none, and its end; what it still makes
    // is dropped.
    if (!m_codec || m_ended || std::strcmp(m_codec->codec->name, "libsvtav1") != 0) return;
    m_ended = true;
    AVCodecContext* codec = m_codec.get();
    AVFrame* frame = m_converter ? m_converted.get() : m_frame.get();
    if (m_frames == 0) {
        if (!frame || av_frame_make_writable(frame) < 0) return;
        const ptrdiff_t lines[4] = {frame->linesize[0], frame->linesize[1], frame->linesize[2], frame->linesize[3]};
        av_image_fill_black(frame->data, lines, static_cast<AVPixelFormat>(frame->format), AVCOL_RANGE_MPEG, frame->width, frame->height);
        frame->pts = 0;
        if (avcodec_send_frame(codec, frame) < 0) return;
    }
    if (avcodec_send_frame(codec, nullptr) < 0) return;
    ffmpeg::PacketPtr packet(av_packet_alloc());
    while (packet && avcodec_receive_packet(codec, packet.get()) >= 0) av_packet_unref(packet.get());
}

void VideoEncoder::Free()
{
    EndQuietly();
    m_codec.reset();
    m_ended = false;
    m_stream = nullptr;
    m_converter.reset();
    m_converted.reset();
    m_frame.reset();
}
