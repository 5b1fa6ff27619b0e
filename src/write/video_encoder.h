#pragma once
// VideoEncoder: the picture stream of a file, encoded with the profile's encoder and settings.
// It takes 4:2:0 pictures of the profile's size (converted where the encoder wants another pixel
// format), numbers them in the codec's time base, keeps a first pass's statistics for the second
// (two-pass rate control), and at the end drains what the encoder holds.

#include <cstdint>
#include <string>

#include "ffmpeg/ffmpeg_handles.h"
#include "profiles/profile_record.h"
#include "write/display_ratio.h"
#include "write/encoder_options.h"
#include "write/muxer.h"

class VideoEncoder {
public:
    VideoEncoder(Muxer& muxer, WriteFailure& failure) : m_muxer(muxer), m_failure(failure), m_packet(ffmpeg::MakePacket()) {}

    // The codec time base a frame rate gives (frames per 1000 s; 23976 and 29970 are NTSC's).
    static AVRational TimeBase(std::int32_t frameRate);

    // Adds the stream and opens `encoder` for it; false (failed) when it cannot.
    bool Add(const AVCodec* encoder, const WriterSettings& settings, AspectRatio displayAspect, const EncoderPass& pass);
    bool Active() const { return m_stream != nullptr; }
    // One picture: 0 when the encoder took it, −1 on a failure.
    int Write(const std::uint8_t* picture);
    // The end: what the encoder holds is written (an encoder given nothing is not drained:
    // SVT-AV1 would wait for ever), and a first pass's statistics are saved.
    bool Finish();
    // Frees the encoder (ending one that cannot be freed without its end quietly). The count
    // of pictures stays.
    void Free();
    std::int64_t Frames() const { return m_frames; }
    // Where the pictures end on the file's time line (100 ns).
    std::int64_t Length() const;
    void Reset() { m_frames = m_packets = 0; }

private:
    // Ends an encoder that cannot be freed without its end (SVT-AV1), dropping what it makes.
    void EndQuietly();

    Muxer& m_muxer;
    WriteFailure& m_failure;
    ffmpeg::PacketPtr m_packet;
    WriterSettings m_settings{};
    EncoderPass m_pass;
    std::string m_statsOut; // the first pass's statistics, as libavcodec hands them over
    std::string m_statsIn;  // the second pass's, read back
    ffmpeg::CodecContextPtr m_codec;
    AVStream* m_stream = nullptr;
    ffmpeg::FramePtr m_frame;     // a view of the caller's picture
    ffmpeg::FramePtr m_converted; // in the encoder's pixel format, when it is not 4:2:0
    ffmpeg::SwsPtr m_converter;
    std::int64_t m_frames = 0;
    std::int64_t m_packets = 0;
    bool m_ended = false; // the encoder was told its end
};
