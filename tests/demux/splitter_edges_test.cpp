// The splitter's scan, seeking and delivery on edited copies of test-disc titles: scrambled
// packets, other sub-stream numbers, missing streams, time-stamp jumps, play ranges and seeks.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <memory>
#include <string>
#include <vector>

#include "dvd/my_dvd.h"
#include "pipeline/media_guids.h"
#include "support/program_stream_tools.h"
#include "support/reference_reader.h"
#include "support/test_discs.h"
#include "splitter_fixture.h"

namespace {

using namespace testing_filters;

constexpr REFERENCE_TIME kSecond = 10000000;

// A title's bytes and record, read once per disc and title.
struct TitleData {
    std::vector<std::uint8_t> bytes;
    TitleInfo info{};
};

const TitleData& LoadTitle(const std::string& disc, int title)
{
    static std::map<std::string, TitleData> cache;
    const std::string key = disc + "#" + std::to_string(title);
    auto found = cache.find(key);
    if (found != cache.end()) return found->second;
    TitleData data;
    const std::string path = TestDisc(disc);
    data.bytes = ReadTitleWithLibdvdread(path, title).bytes;
    const OwnedDisc opened = OpenDisc(path);
    auto info = std::make_unique<DiscInfo>();
    MyDVDGetInfo(opened.Get(), info.get());
    data.info = info->titles[title];
    return cache.emplace(key, std::move(data)).first->second;
}

class SplitterEdges : public SplitterFixture {
protected:
    MemorySourceFilter* Source() { return static_cast<MemorySourceFilter*>(m_source.Get()); }
    // The start times of a pin's samples.
    std::vector<REFERENCE_TIME> Starts(const std::string& pin)
    {
        std::vector<REFERENCE_TIME> starts;
        for (const auto& s : m_sinks[pin]->Samples())
            if (s.hasStart) starts.push_back(s.start);
        return starts;
    }
    // Waits until every sink has had its end of stream (after the last seek).
    void WaitForEndOfStreams()
    {
        for (const auto& [name, sink] : m_sinks) ASSERT_TRUE(sink->WaitForEndOfStreams(1)) << "no end of stream on " << name;
    }
    ComPtr<IMediaSeeking> PinSeeking(int pin)
    {
        ComPtr<IMediaSeeking> seeking;
        QueryInterfaceTo(static_cast<IPin*>(m_splitter->GetPin(pin)), seeking);
        return seeking;
    }
};

TEST_F(SplitterEdges, ScrambledPacketsFailTheConnection)
{
    auto bytes = LoadTitle("ntsc_4x3", 0).bytes;
    ForEachPesPacket(bytes, [&](PesPacket& p) {
        if (p.id == 0xE0 && p.header) bytes[p.header] |= 0x10; // scrambling control 01
    });
    EXPECT_EQ(ConnectSplitter(bytes), ZZ_E_SCRAMBLED);
    EXPECT_EQ(m_splitter->GetPinCount(), 1); // only the input
    EXPECT_FALSE(m_splitter->GetPin(0)->IsConnected());
}

TEST_F(SplitterEdges, AStrayScrambledPacketIsPassedOverAndNoted)
{
    // One video packet near the start with its scrambling bits set, as damage leaves them: the
    // title is no encrypted title; the packet is passed over and the stream goes on to its end.
    auto bytes = LoadTitle("ntsc_4x3", 0).bytes;
    int video = 0;
    ForEachPesPacket(bytes, [&](PesPacket& p) {
        if (p.id == 0xE0 && p.header && ++video == 5) bytes[p.header] |= 0x10;
    });
    ASSERT_EQ(ConnectSplitter(bytes), S_OK);
    ConnectSinks();
    RunToCompletion();
    const auto starts = Starts("Video");
    ASSERT_FALSE(starts.empty());
    EXPECT_GT(starts.back(), 7 * kSecond);
    const auto skipped = m_splitter->SkippedStretches();
    ASSERT_EQ(skipped.size(), 1u);
    EXPECT_LT(skipped[0].first, kSecond);
    EXPECT_LE(skipped[0].first, skipped[0].second);
}

TEST_F(SplitterEdges, AnotherAc3SubStreamKeepsItsNumber)
{
    auto bytes = LoadTitle("ntsc_4x3", 0).bytes;
    ForEachPesPacket(bytes, [&](PesPacket& p) {
        if (p.id == 0xBD && bytes[p.payload] == 0x80) bytes[p.payload] = 0x81;
    });
    ASSERT_EQ(ConnectSplitter(bytes), S_OK);
    const auto names = StreamNames();
    EXPECT_NE(std::find(names.begin(), names.end(), "Audio - Dolby Digital, 48.0 kHz, 2 chn, 192.0 kbit/s (0000,bd,81)"),
              names.end());
}

TEST_F(SplitterEdges, SubpictureEntriesWithoutSubpicturePackets)
{
    // No subpicture stream at all: the placeholder keeps a subtitle pin next to the video.
    ASSERT_EQ(ConnectSplitter(LoadTitle("two_sets", 0).bytes), S_OK);
    auto names = StreamNames();
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(names.back(), "Video - DVD Sub Picture (0000,00,00)");
    ASSERT_EQ(m_splitter->GetPinCount(), 4);
    EXPECT_EQ(m_splitter->GetPin(2)->Name(), "Subtitle");
}

TEST_F(SplitterEdges, TheTitleRecordAnnouncesSubpicturesTheScanMissed)
{
    // The subpicture packets turned into padding; the title record still lists both streams.
    const TitleData& title = LoadTitle("ntsc_4x3", 0);
    auto bytes = title.bytes;
    ForEachPesPacket(bytes, [&](PesPacket& p) {
        if (p.id == 0xBD && (bytes[p.payload] & 0xE0) == 0x20) bytes[p.start + 3] = 0xBE;
    });
    ASSERT_EQ(ConnectSplitter(bytes, &title.info), S_OK);
    const auto names = StreamNames();
    ASSERT_GE(names.size(), 2u);
    EXPECT_EQ(names[names.size() - 2], "Video - DVD Sub Picture (0000,bd,20)");
    EXPECT_EQ(names[names.size() - 1], "Video - DVD Sub Picture (0000,bd,21)");
}

TEST_F(SplitterEdges, TheScanGoesOnUntilEveryAnnouncedAudioStreamIsFound)
{
    // The MP2 track begins 2 MiB into the title.
    const TitleData& title = LoadTitle("ntsc_4x3", 0);
    constexpr std::size_t kHidden = 2u << 20;
    ASSERT_GT(title.bytes.size(), kHidden + (512u << 10));
    auto bytes = title.bytes;
    ForEachPesPacket(bytes, [&](PesPacket& p) {
        if (p.id == 0xC0 && p.start < kHidden) bytes[p.start + 3] = 0xBE;
    });
    ASSERT_EQ(ConnectSplitter(bytes, &title.info), S_OK);
    const auto names = StreamNames();
    EXPECT_NE(std::find(names.begin(), names.end(), "Audio - MPEG1 - Layer 2, 48.0 kHz, 2 chn, 192.0 kbit/s (0000,c0,00)"),
              names.end());
    // The scan stopped within a window or two of the stream's first packet.
    EXPECT_GT(Source()->Stream().FurthestRead(), static_cast<LONGLONG>(kHidden));
    EXPECT_LT(Source()->Stream().FurthestRead(), static_cast<LONGLONG>(kHidden + (384u << 10)));
}

TEST_F(SplitterEdges, WithoutTheStreamTheScanStopsEarly)
{
    TitleInfo oneTrack = LoadTitle("ntsc_4x3", 0).info;
    oneTrack.audioCount = 1; // AC-3 only
    ASSERT_EQ(ConnectSplitter(LoadTitle("ntsc_4x3", 0).bytes, &oneTrack), S_OK);
    EXPECT_LT(Source()->Stream().FurthestRead(), 512 << 10);
}

TEST_F(SplitterEdges, AShortTitleMissingAnAnnouncedTrackStillConnects)
{
    // Shorter than the scan windows, with a record that lists a DTS track it does not carry.
    TitleInfo record = LoadTitle("ntsc_4x3", 2).info;
    record.audioStreamId[record.audioCount++] = 0xBD88;
    ASSERT_EQ(ConnectSplitter(LoadTitle("ntsc_4x3", 2).bytes, &record), S_OK);
    EXPECT_EQ(m_splitter->GetPinCount(), 4);
}

TEST_F(SplitterEdges, DataWithoutAnMpegContainerIsRefused)
{
    EXPECT_FALSE(SUCCEEDED(ConnectSplitter(std::vector<std::uint8_t>(300000, 0x5A))));
    EXPECT_EQ(m_splitter->GetPinCount(), 1);
}

TEST_F(SplitterEdges, APlayRangeStartsNearItsStartAndEndsAtItsEnd)
{
    ASSERT_EQ(ConnectSplitter(LoadTitle("ntsc_4x3", 0).bytes), S_OK);
    m_splitter->SetPlayRange(3000, 2000, 8000);
    ConnectSinks();
    RunToCompletion();
    const auto starts = Starts("Video");
    ASSERT_FALSE(starts.empty());
    // Demultiplexing begins a second ahead of the play start (a GOP earlier at most) …
    EXPECT_GE(starts.front(), 3 * kSecond - 2 * kSecond);
    EXPECT_LE(starts.front(), 3 * kSecond);
    // … and ends once every stream has reached the play end: the sound of a moment lies later
    // in the data than its pictures, and a stop at the pictures' end cut the last sound off.
    const auto sound = Starts("Audio");
    ASSERT_FALSE(sound.empty());
    for (const auto* stream : {&starts, &sound}) {
        EXPECT_GE(stream->back(), 5 * kSecond);
        EXPECT_LE(stream->back(), 5 * kSecond + 3 * kSecond / 2);
    }
    LONGLONG duration = 0;
    m_splitter->GetDuration(&duration);
    EXPECT_EQ(duration, 2 * kSecond);
}

TEST_F(SplitterEdges, SeeksThroughEveryPinHappenOnceAndEarlySeeksStartAtTheBeginning)
{
    const auto& bytes = LoadTitle("ntsc_4x3", 0).bytes;
    ASSERT_EQ(ConnectSplitter(bytes), S_OK);
    ConnectSinks();
    for (const auto& [name, sink] : m_sinks) sink->ForgetOnFlush();
    ASSERT_EQ(m_control->Pause(), S_OK);
    LONGLONG start = kSecond / 2, stop = 0;
    m_splitter->GetDuration(&stop);
    for (int pin = 0; pin < 3; ++pin) {
        ASSERT_EQ(PinSeeking(pin)->SetPositions(&start, AM_SEEKING_AbsolutePositioning, &stop,
                                                AM_SEEKING_AbsolutePositioning),
                  S_OK);
    }
    ASSERT_EQ(m_sinks.size(), 3u);
    for (const auto& [name, sink] : m_sinks) EXPECT_EQ(sink->Flushes(), 1) << name;
    WaitForEndOfStreams();
    // A seek to half a second reads from byte 0: the video starts with the title's first GOP.
    const auto video = m_sinks["Video"]->Bytes();
    ASSERT_GE(video.size(), 4u);
    EXPECT_EQ(std::vector<std::uint8_t>(video.begin(), video.begin() + 4),
              (std::vector<std::uint8_t>{0x00, 0x00, 0x01, 0xB3}));
}

TEST_F(SplitterEdges, ALongSeekSettlesShortlyBeforeItsTarget)
{
    const TitleData& title = LoadTitle("ntsc_4x3", 0);
    ASSERT_EQ(ConnectSplitter(title.bytes), S_OK);
    // The title's length, as the application passes it from the disc.
    const auto ms = static_cast<LONGLONG>(title.info.durationMs);
    m_splitter->SetPlayRange(0, ms, ms);
    ConnectSinks();
    for (const auto& [name, sink] : m_sinks) sink->ForgetOnFlush();
    ASSERT_EQ(m_control->Pause(), S_OK);
    LONGLONG start = 6 * kSecond, stop = 8 * kSecond;
    ASSERT_EQ(PinSeeking(0)->SetPositions(&start, AM_SEEKING_AbsolutePositioning, &stop, AM_SEEKING_AbsolutePositioning),
              S_OK);
    WaitForEndOfStreams();
    // Times are relative to the seek target. The search settles on a packet 1 to 1.5 s before it;
    // the video packets muxed around that one lie within half a second or so of it.
    const auto starts = Starts("Video");
    ASSERT_FALSE(starts.empty());
    EXPECT_GE(starts.front(), -kSecond * 5 / 2);
    EXPECT_LE(starts.front(), -kSecond / 2);
    EXPECT_GE(starts.back(), kSecond); // and it runs on to the end
}

TEST_F(SplitterEdges, AStreamThatFailsDownstreamAbortsTheGraph)
{
    // A filter behind one pin breaks: that stream can never end, so waiting for the graph to
    // complete would wait for ever. The graph hears of the failure instead.
    ASSERT_EQ(ConnectSplitter(LoadTitle("ntsc_4x3", 1).bytes), S_OK);
    ConnectSinks();
    m_sinks["Video"]->FailAfter(10, E_FAIL);
    ASSERT_EQ(m_control->Run(), S_OK);
    LONG code = 0;
    ASSERT_EQ(m_events->WaitForCompletion(20000, &code), S_OK);
    EXPECT_EQ(code, EC_ERRORABORT);
    ASSERT_EQ(m_control->Stop(), S_OK);
}

TEST_F(SplitterEdges, OutputPinsStayWhileRunning)
{
    ASSERT_EQ(ConnectSplitter(LoadTitle("ntsc_4x3", 1).bytes), S_OK);
    ConnectSinks();
    // The pictures' sink holds its first sample until let go, so that the video pin's queue fills.
    SampleGate gate;
    gate.Hold(*m_sinks["Video"].Get());
    ASSERT_EQ(m_control->Run(), S_OK);
    EXPECT_EQ(m_splitter->ReleaseOutputPins(), VFW_E_NOT_STOPPED);
    EXPECT_EQ(m_splitter->GetPinCount(), 4);
    // Queue status of each pin: the held one's packets wait in its queue, with their bytes.
    ASSERT_EQ(m_splitter->GetCount(), 3);
    ASSERT_EQ(m_splitter->GetPin(0)->Name(), "Video");
    int samples = 0, size = 0;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(1); // a hang, not a measure
    while (m_splitter->GetStatus(0, samples, size) == S_OK && samples == 0 && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::yield();
    EXPECT_EQ(m_splitter->GetStatus(0, samples, size), S_OK);
    EXPECT_GT(samples, 0);
    EXPECT_GT(size, samples);
    EXPECT_EQ(m_splitter->GetStatus(3, samples, size), E_INVALIDARG);
    gate.Open();
    LONG code = 0;
    ASSERT_EQ(m_events->WaitForCompletion(60000, &code), S_OK);
    ASSERT_EQ(m_control->Stop(), S_OK);
    EXPECT_EQ(m_splitter->ReleaseOutputPins(), S_OK);
    EXPECT_EQ(m_splitter->GetPinCount(), 1);
}

TEST_F(SplitterEdges, PacketsReachTheirPinsWhileTheSourceIsSlow)
{
    // The demultiplexer hands packets to the pins' threads in batches; a batch must not wait
    // behind a read from a slow drive, or playback would stall on sound it already has.
    ASSERT_EQ(ConnectSplitter(LoadTitle("ntsc_4x3", 0).bytes), S_OK);
    ConnectSinks();
    Source()->Stream().HoldReadsBeyond(2 * 65536);
    ASSERT_EQ(m_control->Run(), S_OK);
    const bool held = Source()->Stream().WaitUntilHeld();
    std::map<std::string, bool> reached;
    for (const auto& [name, sink] : m_sinks)
        if (name != "Subtitle") reached[name] = held && sink->WaitForReceived(1);
    Source()->Stream().ReleaseReads();
    ASSERT_TRUE(held);
    for (const auto& [name, got] : reached) EXPECT_TRUE(got) << "nothing reached " << name << " while the source was slow";
    LONG code = 0;
    ASSERT_EQ(m_events->WaitForCompletion(60000, &code), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
}

TEST_F(SplitterEdges, SoundGoesOnWhileThePicturesQueueIsFullAndHeld)
{
    // The pictures' filter holds its first picture (an encoder busy for a while): their queue
    // fills to the queues' bound and the demultiplexer waits for room. The sound's pin, taking
    // packets freely, runs dry again and again, and each time the demultiplexer must read on
    // for it, however few packets that pin took since the wait began.
    ASSERT_EQ(ConnectSplitter(LoadTitle("long_title", 0).bytes), S_OK);
    ConnectSinks();
    SampleGate gate;
    gate.Hold(*m_sinks["Video"].Get());
    std::mutex soundLock;
    std::condition_variable soundMoved;
    REFERENCE_TIME soundReached = kInvalidTime; // guarded by soundLock
    m_sinks["Audio"]->SetPresentCallback([&](IMediaSample* sample) {
        REFERENCE_TIME start = 0, stop = 0;
        if (FAILED(sample->GetTime(&start, &stop))) return;
        std::lock_guard lock(soundLock);
        soundReached = std::max(soundReached, start);
        soundMoved.notify_all();
    });
    ASSERT_EQ(m_control->Run(), S_OK);
    bool reached = false;
    {
        std::unique_lock lock(soundLock);
        // A minute without is a hang, not a measure.
        reached = soundMoved.wait_for(lock, std::chrono::minutes(1), [&] { return soundReached >= 30 * kSecond; });
    }
    gate.Open();
    EXPECT_TRUE(reached) << "the sound stopped at " << soundReached / 10000 << " ms while the pictures were held";
    LONG code = 0;
    ASSERT_EQ(m_events->WaitForCompletion(60000, &code), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
}

TEST_F(SplitterEdges, ATimeStampJumpIsFoldedOnVideoAndKeptOnSubtitles)
{
    // From the first subtitle packet on, every time stamp is six seconds later.
    const TitleData& title = LoadTitle("ntsc_4x3", 0);
    auto bytes = title.bytes;
    std::size_t jumpAt = bytes.size();
    ForEachPesPacket(bytes, [&](PesPacket& p) {
        if (p.id == 0xBD && bytes[p.payload] == 0x20) jumpAt = std::min(jumpAt, p.start);
    });
    ASSERT_LT(jumpAt, bytes.size()) << "the title has no subtitle packet";
    constexpr std::int64_t kJump = 6 * 90000;
    ForEachPesPacket(bytes, [&](PesPacket& p) {
        if (p.start >= jumpAt && p.hasPts) WritePts(bytes, p, ReadPts(bytes, p) + kJump);
    });
    ASSERT_EQ(ConnectSplitter(bytes, &title.info), S_OK); // the record names the subpicture streams
    ConnectSinks();
    RunToCompletion();

    const auto video = Starts("Video");
    ASSERT_GT(video.size(), 10u);
    REFERENCE_TIME largestVideoStep = 0;
    for (std::size_t i = 1; i < video.size(); ++i)
        largestVideoStep = std::max<REFERENCE_TIME>(largestVideoStep, std::llabs(video[i] - video[i - 1]));
    EXPECT_LT(largestVideoStep, 5 * kSecond);

    const auto subtitles = Starts("Subtitle");
    ASSERT_FALSE(subtitles.empty());
    EXPECT_GT(subtitles.back(), 6 * kSecond); // still six seconds later than the picture it belonged to
}

} // namespace
