#include "write/encoding.h"

#include <cstdio>

bool EncodeInto(Muxer& muxer, WriteFailure& failure, AVPacket* scratch, AVCodecContext* codec, AVStream* stream, const AVFrame* frame,
                std::int64_t& packets, bool picture, std::string* stats)
{
    int sent = avcodec_send_frame(codec, frame);
    for (;;) {
        // Packets first, then (when the encoder was full) the frame again.
        for (;;) {
            const int received = avcodec_receive_packet(codec, scratch);
            if (ffmpeg::StatusOf(received) != ffmpeg::Status::Ok) {
                if (failure.Tally().Note("avcodec_receive_packet", received)) return failure.Fail("encoding failed", received);
                break; // again or drained
            }
            // Encoders with B pictures leave the duration unset; MP4's edit list would then end
            // at the last picture's start and players would drop it. A picture lasts one tick.
            if (picture && scratch->duration <= 0) scratch->duration = 1;
            if (!muxer.WritePacket(scratch, stream, codec->time_base)) return false;
            ++packets;
            if (stats && codec->stats_out) *stats += codec->stats_out;
        }
        if (ffmpeg::StatusOf(sent) != ffmpeg::Status::Again) break;
        sent = avcodec_send_frame(codec, frame);
    }
    if (failure.Tally().Note("avcodec_send_frame", sent)) return failure.Fail("encoding failed", sent);
    return true;
}

bool OpenEncoder(WriteFailure& failure, AVCodecContext* codec, const AVCodec* encoder, AVStream* stream, const char* kind,
                 AVDictionary** options)
{
    int result = avcodec_open2(codec, encoder, options);
    if (failure.Tally().Note("avcodec_open2", result) || result < 0) {
        // Say with what it was opened: the user changes those settings.
        char used[160];
        if (codec->codec_type == AVMEDIA_TYPE_VIDEO)
            std::snprintf(used, sizeof used, " with the size %dx%d, the frame rate %.5g and the bitrate %lld kbit/s", codec->width,
                          codec->height, av_q2d(codec->framerate), static_cast<long long>(codec->bit_rate / 1000));
        else
            std::snprintf(used, sizeof used, " with the sample rate %d Hz, %d channels and the bitrate %lld kbit/s", codec->sample_rate,
                          codec->ch_layout.nb_channels, static_cast<long long>(codec->bit_rate / 1000));
        return failure.Fail(std::string("cannot open the ") + kind + " encoder " + encoder->name + used + " (change them in Settings)", result);
    }
    result = avcodec_parameters_from_context(stream->codecpar, codec);
    if (failure.Tally().Note("avcodec_parameters_from_context", result) || result < 0)
        return failure.Fail(std::string("cannot set the ") + kind + " stream's parameters", result);
    stream->time_base = codec->time_base;
    return true;
}
