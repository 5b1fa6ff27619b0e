#pragma once
// CopiedStream: one stream a conversion writes as the source codes it. A framer cuts what comes
// in into whole frames, and each frame is placed at its own time from where the file begins:
// copied pictures begin at the key picture at or before the range's start (the group that may
// begin the file is held until a key picture past the start shows that it does, and the leading
// pictures of an open group, which need the group before, are left out) and end before the
// first key picture at or after the range's end; copied sound and subtitles keep the frames
// that begin within the range. Sound the data repeats is written once, DVD LPCM that comes a
// little early follows on, and a long gap is told as lost; a frame whose decoding time cannot
// be put in order is left out and told as lost.
//
// Threads: the sink's; it calls every method under its own lock but the framer's feeding.

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "pipeline/media_type.h"
#include "write/output_writer.h"
#include "write/packet_framer.h"

// Shorter gaps are a stream's own (sound that starts a little after the pictures, cells that
// join with a pause); longer ones are data that could not be read.
inline constexpr REFERENCE_TIME kLostAtLeast = 5000000;

class CopiedStream {
public:
    // What placing needs from the sink the stream is written by, and what it tells it. Times
    // are the source's (100 ns) unless said otherwise.
    class Sink {
    public:
        virtual ~Sink() = default;
        // Where the file begins, and whether it is fixed (by the first picture placed).
        virtual REFERENCE_TIME RangeStart() const = 0;
        virtual bool StartFixed() const = 0;
        virtual REFERENCE_TIME RangeEnd() const = 0;
        // Where this task begins on the file's time line.
        virtual REFERENCE_TIME FileOffset() const = 0;
        // The copied pictures begin the file at `start`.
        virtual void BeginFileAt(REFERENCE_TIME start) = 0;
        // From the range start: a stretch that came without data, the pictures' end so far, a
        // sound stream's position.
        virtual void LostData(REFERENCE_TIME start, REFERENCE_TIME stop) = 0;
        virtual void PicturesWritten(REFERENCE_TIME end) = 0;
        virtual void SoundAt(std::size_t index, REFERENCE_TIME position) = 0;
        // The stream's format, as the connection says (`confirmed` false) or its first frame.
        virtual void Describe(const CopiedStream& stream, bool confirmed) = 0;
        // False when the writer failed.
        virtual bool Write(const CopiedStream& stream, const CopiedPacket& packet) = 0;
    };

    CopiedStream(StreamKind kind, std::size_t index, Sink& sink) : m_kind(kind), m_index(index), m_sink(sink) {}

    StreamKind Kind() const { return m_kind; }
    std::size_t Index() const { return m_index; }
    const CopiedFormat& Format() const { return m_format; }
    PacketFramer& Framer() { return m_framer; }
    // The latest frame's end, from the range start (INT64_MIN: nothing written).
    REFERENCE_TIME WrittenEnd() const { return m_end; }

    // The format as the connection's media type says; the framer opens for its codec.
    void Connect(const CMediaType& type);
    // Places one whole frame; false when the writer failed (nothing more is placed then).
    bool Place(const PacketFramer::Frame& frame);
    // The stream's data has ended: what the framer holds is placed, and a range that ends
    // within the first group held has that group begin the file.
    void End();
    // A new run: nothing placed, nothing held.
    void Reset();

private:
    // Refines the format from the first frame's stream, once.
    void Confirm();
    bool PlacePicture(const PacketFramer::Frame& frame);
    bool PlaceOther(const PacketFramer::Frame& frame);
    // The held group begins the file.
    bool StartPictures();
    bool WriteFrame(const PacketFramer::Frame& frame);
    // A subtitle that begins at most kShownBefore before the range: written at its own time,
    // before the range's place in the file, for a reader to cut to the range.
    static constexpr REFERENCE_TIME kShownBefore = 100000000; // 10 s
    bool WriteShownBefore(const PacketFramer::Frame& frame);

    static constexpr REFERENCE_TIME kUnset = INT64_MIN;
    const StreamKind m_kind;
    const std::size_t m_index;
    Sink& m_sink;
    PacketFramer m_framer;
    CopiedFormat m_format;
    bool m_confirmed = false;
    REFERENCE_TIME m_end = kUnset;     // the latest frame's end, from the range start
    REFERENCE_TIME m_lastDts = kUnset; // the latest decoding time written, on the file's time line
    // Pictures: the group that may begin the file, held in decoding order.
    std::vector<std::pair<PacketFramer::Frame, std::vector<std::uint8_t>>> m_group;
    std::size_t m_groupBytes = 0;
    bool m_ended = false; // past the range's end
};
