#pragma once
// CopiedOutput: a stream of a file copied as the source codes it (the profile's codec "copy", a
// sound track kept, subtitles). Its format is told by who feeds it, once as the connection says
// and once more as its first frame shows, until the header is written; its packets come whole,
// with their times on the file's time line. DVD LPCM in a container that holds plain PCM only
// (Matroska) is unpacked into the same samples, at the same rate and depth.

#include <cstdint>
#include <vector>

#include "ffmpeg/ffmpeg_handles.h"
#include "write/muxer.h"

// What a file's streams are.
enum class StreamKind { kVideo, kAudio, kSubtitle };

// The coded format of a copied stream.
struct CopiedFormat {
    AVCodecID codec = AV_CODEC_ID_NONE;
    int sampleRate = 0; // sound
    int channels = 0;
    int bitsPerSample = 0; // PCM
    int width = 0;         // pictures and subtitles
    int height = 0;
    AVRational sampleAspect{0, 1};
    AVRational frameRate{0, 1};
    AVFieldOrder fieldOrder = AV_FIELD_UNKNOWN;
    std::vector<std::uint8_t> extradata; // what the container keeps of the codec's set-up
};

// One coded frame of a copied stream, on the file's time line (100 ns).
struct CopiedPacket {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::int64_t pts = 0;
    std::int64_t dts = 0;
    std::int64_t duration = 0;
    bool key = true;
    // A subtitle shown when its range begins comes before it: what it shows before this time
    // (the range's place in the file) is cut, and a copied picture of it is not written.
    std::int64_t cutBefore = -1;
    // Subtitles: where their range ends in the file (−1: not said); a subtitle shown past it is
    // cut there.
    std::int64_t cutAfter = -1;
};

class CopiedOutput {
public:
    CopiedOutput(Muxer& muxer, WriteFailure& failure) : m_muxer(&muxer), m_failure(&failure), m_packet(ffmpeg::MakePacket()) {}

    // Adds the stream, its format told later; `label` for sound and subtitles, `first` the
    // file's default of its kind.
    bool Add(AVMediaType type, const StreamLabel* label, bool first);
    AVStream* Stream() const { return m_stream; }
    bool Confirmed() const { return m_confirmed; }
    // The format; once the header is written it stays as written. False on a failure.
    bool Describe(const CopiedFormat& format, bool confirmed);
    // A frame: 0, or −1 on a failure. Packets must come in decoding order with rising `dts`.
    int Write(const CopiedPacket& packet);
    // Where its last packet ends (100 ns; 0 before any), and how many were written.
    std::int64_t End() const { return m_end; }
    std::int64_t Packets() const { return m_packets; }
    // The file is closed: the stream is no more.
    void Free() { m_stream = nullptr; }

private:
    // Sets up the unpacking of DVD LPCM; false when it cannot be.
    bool UnpackLpcm(const CopiedFormat& format);
    // One DVD LPCM packet written as plain PCM; false on a failure.
    bool WriteUnpacked(const CopiedPacket& packet);

    Muxer* m_muxer;
    WriteFailure* m_failure;
    ffmpeg::PacketPtr m_packet;
    AVStream* m_stream = nullptr;
    bool m_confirmed = false; // its first frame said its format
    std::int64_t m_end = 0;   // 100 ns
    std::int64_t m_packets = 0;
    ffmpeg::CodecContextPtr m_unpacker;
    ffmpeg::FramePtr m_unpacked;
};
