// Placing a copied stream's frames on the file's time line, against a sink that records what it
// is told: where copied pictures begin and end, which sound frames are kept, what is told as
// lost, and that a failed write stops the placing.

#include <gtest/gtest.h>

#include <vector>

#include "write/copied_stream.h"

namespace {

constexpr REFERENCE_TIME kMs = 10000;
constexpr REFERENCE_TIME kFrame = 400000; // 40 ms

struct Written {
    REFERENCE_TIME pts, dts;
    bool key;
};

class RecordingSink : public CopiedStream::Sink {
public:
    REFERENCE_TIME start = 0, end = 0, offset = 0;
    bool fixed = false;
    int failAt = -1; // the write that fails (−1: none)
    std::vector<Written> written;
    std::vector<std::pair<REFERENCE_TIME, REFERENCE_TIME>> lost;
    REFERENCE_TIME picturesEnd = -1;
    std::vector<REFERENCE_TIME> soundAt;

    REFERENCE_TIME RangeStart() const override { return start; }
    bool StartFixed() const override { return fixed; }
    REFERENCE_TIME RangeEnd() const override { return end; }
    REFERENCE_TIME FileOffset() const override { return offset; }
    void BeginFileAt(REFERENCE_TIME at) override
    {
        start = at;
        fixed = true;
    }
    void LostData(REFERENCE_TIME from, REFERENCE_TIME to) override { lost.emplace_back(from, to); }
    void PicturesWritten(REFERENCE_TIME to) override { picturesEnd = to; }
    void SoundAt(std::size_t, REFERENCE_TIME position) override { soundAt.push_back(position); }
    void Describe(const CopiedStream&, bool) override {}
    bool Write(const CopiedStream&, const CopiedPacket& packet) override
    {
        if (static_cast<int>(written.size()) == failAt) return false;
        written.push_back({packet.pts, packet.dts, packet.key});
        return true;
    }
};

const std::uint8_t kBytes[4] = {1, 2, 3, 4};

PacketFramer::Frame FrameAt(REFERENCE_TIME pts, REFERENCE_TIME dts, bool key)
{
    PacketFramer::Frame frame;
    frame.data = kBytes;
    frame.size = sizeof kBytes;
    frame.pts = pts;
    frame.dts = dts;
    frame.duration = kFrame;
    frame.key = key;
    return frame;
}

TEST(CopiedStream, PicturesBeginAtTheKeyPictureBeforeTheStartAndEndBeforeTheKeyPictureAtTheEnd)
{
    RecordingSink sink;
    sink.start = 1000 * kMs;
    sink.end = 2500 * kMs;
    sink.offset = 5000 * kMs; // the task's place in a merged file
    CopiedStream pictures(StreamKind::kVideo, 0, sink);
    // A group whose key picture lies before the start, with two leading pictures of the group
    // before it (shown earlier, decoded after it): the group begins the file, the leading ones
    // are left out.
    const REFERENCE_TIME key = 900 * kMs;
    EXPECT_TRUE(pictures.Place(FrameAt(300 * kMs, 300 * kMs, true))); // an earlier group: let go
    EXPECT_TRUE(pictures.Place(FrameAt(key, key - 2 * kFrame, true)));
    EXPECT_TRUE(pictures.Place(FrameAt(key - 2 * kFrame, key - kFrame, false)));
    EXPECT_TRUE(pictures.Place(FrameAt(key - kFrame, key, false)));
    EXPECT_TRUE(sink.written.empty()) << "the group is held until a key picture past the start";
    EXPECT_TRUE(pictures.Place(FrameAt(key + 12 * kFrame, key + 11 * kFrame, true)));
    ASSERT_TRUE(sink.fixed);
    EXPECT_EQ(sink.start, key) << "the file begins at the held group's key picture";
    ASSERT_EQ(sink.written.size(), 2u);
    EXPECT_TRUE(sink.written[0].key);
    EXPECT_EQ(sink.written[0].pts, sink.offset);
    EXPECT_EQ(sink.written[1].pts, sink.offset + 12 * kFrame);
    EXPECT_GE(sink.written[0].dts, sink.offset) << "decoding begins no earlier than the task in the file";
    EXPECT_EQ(sink.picturesEnd, 13 * kFrame);
    // A long gap is data that could not be read; the key picture at the range's end ends it.
    EXPECT_TRUE(pictures.Place(FrameAt(key + 30 * kFrame, key + 29 * kFrame, false)));
    ASSERT_EQ(sink.lost.size(), 1u);
    EXPECT_EQ(sink.lost[0], std::make_pair(13 * kFrame, 30 * kFrame));
    EXPECT_TRUE(pictures.Place(FrameAt(2500 * kMs, 2500 * kMs - kFrame, true)));
    EXPECT_TRUE(pictures.Place(FrameAt(2500 * kMs + kFrame, 2500 * kMs, false)));
    EXPECT_EQ(sink.written.size(), 3u) << "nothing after the key picture at the end";
}

TEST(CopiedStream, ARangeThatEndsInsideTheFirstGroupIsThatGroup)
{
    RecordingSink sink;
    sink.start = 1000 * kMs;
    sink.end = 1100 * kMs;
    CopiedStream pictures(StreamKind::kVideo, 0, sink);
    EXPECT_TRUE(pictures.Place(FrameAt(1000 * kMs, 1000 * kMs, true)));
    EXPECT_TRUE(pictures.Place(FrameAt(1000 * kMs + kFrame, 1000 * kMs + kFrame, false)));
    pictures.End();
    EXPECT_TRUE(sink.fixed);
    EXPECT_EQ(sink.written.size(), 2u);
    // Afresh for another run: nothing held, nothing written yet.
    pictures.Reset();
    EXPECT_EQ(pictures.WrittenEnd(), INT64_MIN);
}

TEST(CopiedStream, SoundKeepsTheFramesInItsRangeOnceAndTellsLongGaps)
{
    RecordingSink sink;
    sink.start = 1000 * kMs;
    sink.end = 3000 * kMs;
    sink.fixed = true;
    CopiedStream sound(StreamKind::kAudio, 1, sink);
    const auto at = [](REFERENCE_TIME ms) { return FrameAt(ms * kMs, ms * kMs, true); };
    EXPECT_TRUE(sound.Place(at(960)));   // before the range
    EXPECT_TRUE(sound.Place(at(1000)));
    EXPECT_TRUE(sound.Place(at(1040)));
    EXPECT_TRUE(sound.Place(at(1020)));  // repeated where cells join: written once
    EXPECT_TRUE(sound.Place(at(2080)));  // a second without sound
    EXPECT_TRUE(sound.Place(at(3000)));  // past the range
    ASSERT_EQ(sink.written.size(), 3u);
    EXPECT_EQ(sink.written[0].pts, 0);
    EXPECT_EQ(sink.written[2].pts, 1080 * kMs);
    ASSERT_EQ(sink.lost.size(), 1u);
    EXPECT_EQ(sink.lost[0], std::make_pair(80 * kMs, 1080 * kMs));
    EXPECT_EQ(sink.soundAt.back(), 1080 * kMs);
    EXPECT_EQ(sound.WrittenEnd(), 1080 * kMs + kFrame);
}

TEST(CopiedStream, AFrameOutOfOrderIsLeftOutAndAFailedWriteStopsThePlacing)
{
    RecordingSink sink;
    sink.end = 1000 * kMs;
    sink.fixed = true;
    CopiedStream subtitles(StreamKind::kSubtitle, 0, sink);
    EXPECT_TRUE(subtitles.Place(FrameAt(100 * kMs, 100 * kMs, true)));
    // Decoded at or before the last one written, shown before it can be decoded: damaged.
    EXPECT_TRUE(subtitles.Place(FrameAt(200 * kMs, 100 * kMs, true)));
    EXPECT_TRUE(subtitles.Place(FrameAt(100 * kMs, 90 * kMs, true)));
    EXPECT_EQ(sink.written.size(), 2u);
    ASSERT_EQ(sink.lost.size(), 1u);
    EXPECT_EQ(sink.lost[0].first, 100 * kMs);
    sink.failAt = 2;
    EXPECT_FALSE(subtitles.Place(FrameAt(300 * kMs, 300 * kMs, true)));
    EXPECT_EQ(sink.written.size(), 2u);
}

} // namespace
