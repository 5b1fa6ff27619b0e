#pragma once
// PacketFramer: cuts a coded stream that arrives in pieces of any size (the payloads of a disc's
// packets) into the whole frames a container stores, each with its time, its decoding time and
// whether it is a key frame. Times are 100 ns, as the pipeline counts.
//
// A piece's time belongs to the first frame that begins in it; frames that begin without one
// get theirs from the frames before: sound by adding up frame lengths, MPEG pictures from
// their place in the group of pictures (temporal reference). Decoding times rise with every
// frame and never pass the frame's own time, as a container that reorders pictures wants.
//
// Streams that come in whole frames already (H.264 access units and VC-1 frames from the
// splitter, Blu-ray graphics segments) are passed on as they come.
//
// One framer per stream, on that stream's thread.

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "ffmpeg/ffmpeg_handles.h"

class PacketFramer {
public:
    static constexpr std::int64_t kNoTime = INT64_MIN;

    struct Frame {
        const std::uint8_t* data = nullptr;
        std::size_t size = 0;
        std::int64_t pts = kNoTime;
        std::int64_t dts = kNoTime;
        std::int64_t duration = 0;
        bool key = false;
    };
    using FrameFn = std::function<bool(const Frame&)>; // false stops the feeding

    // For a stream of `codec`; false when the codec is not one that can be copied.
    bool Open(AVCodecID codec);
    // Feeds a piece; `start` is kNoTime when it has none. Calls `out` for every frame that is
    // whole; false when `out` said stop.
    bool Feed(const std::uint8_t* data, std::size_t size, std::int64_t start, const FrameFn& out);
    // The last frame, at the end of the stream.
    bool Drain(const FrameFn& out);
    // Forgets what is held (a seek, a break in the data); times start afresh.
    void Reset();

    AVCodecID Codec() const { return m_codec; }
    // What the frames showed of the stream: its exact codec (E-AC-3 where AC-3 was said), sample
    // rate and channels, picture size and rate. Null before the first frame.
    const AVCodecContext* Stream() const { return m_framed ? m_context.get() : nullptr; }
    // How the pictures' fields are ordered, as the last picture said (MPEG video).
    AVFieldOrder FieldOrder() const { return m_parser ? static_cast<AVFieldOrder>(m_parser->field_order) : AV_FIELD_UNKNOWN; }

private:
    bool Emit(const std::uint8_t* data, std::size_t size, std::int64_t pts, const FrameFn& out);
    // A frame's length in 100 ns, from what the parser learnt (0 when unknown).
    std::int64_t Duration() const;
    // MPEG video: where a picture without a time lies, from its temporal reference.
    std::int64_t PictureTime(const std::uint8_t* data, std::size_t size, std::int64_t pts);
    bool IsKey(const std::uint8_t* data, std::size_t size) const;
    std::int64_t DecodingTime(std::int64_t pts, std::int64_t duration);

    AVCodecID m_codec = AV_CODEC_ID_NONE;
    ffmpeg::ParserPtr m_parser;          // null for streams that come whole
    ffmpeg::CodecContextPtr m_context;   // what the parser fills in
    bool m_framed = false;
    std::int64_t m_nextPts = kNoTime;    // where the next frame would begin, going by lengths
    std::int64_t m_lpcmDuration = 0;     // DVD LPCM: the latest packet's length
    // MPEG pictures: the time of temporal reference 0 of the current group, and the fields each
    // picture of the group seen so far is shown for, by temporal reference (0: not seen yet).
    std::int64_t m_groupBase = kNoTime;
    std::array<std::uint8_t, 1024> m_groupFields{};
    std::int64_t m_shownEnd = kNoTime;   // where the latest-shown picture so far ends
    // Decoding times: the last few presentation times, lowest first.
    std::vector<std::int64_t> m_reorder;
    std::int64_t m_lastDts = kNoTime;
};
