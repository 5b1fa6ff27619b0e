// The splitter behind the DVD source on every test disc: its pins and their types, the names it
// gives its streams, stream switching, and the elementary streams it delivers compared with what
// ffmpeg's demuxer extracts from the same title.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "demux/mpeg_splitter_filter.h"
#include "dvd/dvd_reader.h"
#include "dvd/my_dvd.h"
#include "pipeline/event_codes.h"
#include "pipeline/format_blocks.h"
#include "pipeline/media_guids.h"
#include "com/task_memory.h"
#include "support/test_names.h"
#include "support/harness.h"
#include "support/ffmpeg_tools.h"
#include "support/reference_reader.h"
#include "support/test_discs.h"
#include "splitter_fixture.h"

namespace {

using namespace testing_filters;

class SplitterDvdTest : public SplitterFixture {
protected:
    void TearDown() override
    {
        if (m_control) m_control->Stop();
        m_reader = nullptr;
        SplitterFixture::TearDown();
    }

    // Builds reader → splitter for a title of a disc; the connection's result.
    HRESULT Build(const std::string& disc, int title, bool playRange = true)
    {
        m_path = TestDisc(disc);
        m_disc = OpenDisc(m_path);
        m_handle = m_disc.Get();
        EXPECT_NE(m_handle, 0u);
        m_info = std::make_unique<DiscInfo>();
        MyDVDGetInfo(m_handle, m_info.get());
        m_title = title;
        IBaseFilter* raw = nullptr;
        EXPECT_EQ(CDVDReader::Create(&raw), S_OK);
        m_reader = AdoptRef(static_cast<CDVDReader*>(raw));
        m_reader->SetDvdReader(m_handle);
        m_reader->SetArea(title, -1);
        const HRESULT hr = ConnectSplitter(m_reader.Get(), &m_info->titles[title]);
        if (playRange) {
            const auto ms = static_cast<LONGLONG>(m_info->titles[title].durationMs);
            m_splitter->SetPlayRange(0, ms, ms);
        }
        return hr;
    }
    // Writes the title's bytes to a file for ffmpeg.
    std::string TitleFile()
    {
        const auto path = TemporaryPath(std::filesystem::path(m_path).filename().string() + "-" + std::to_string(m_title) + ".vob");
        const auto bytes = ReadTitleWithLibdvdread(m_path, m_title).bytes;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    std::string m_path;
    OwnedDisc m_disc; // outlives the graph, which borrows it
    DiscHandle m_handle = 0;
    std::unique_ptr<DiscInfo> m_info;
    int m_title = 0;
    ComPtr<CDVDReader> m_reader;
};

TEST_F(SplitterDvdTest, BuildsOnePinPerStreamClassWithItsType)
{
    ASSERT_EQ(Build("ntsc_4x3", 0), S_OK);
    ASSERT_EQ(m_splitter->GetPinCount(), 4);
    EXPECT_EQ(m_splitter->GetPin(0)->Name(), "Video");
    EXPECT_EQ(m_splitter->GetPin(1)->Name(), "Audio");
    EXPECT_EQ(m_splitter->GetPin(2)->Name(), "Subtitle");
    EXPECT_EQ(m_splitter->GetPin(3)->Name(), "Input");

    CMediaType video, audio, subtitle;
    m_splitter->GetPin(0)->GetMediaType(0, &video);
    m_splitter->GetPin(1)->GetMediaType(0, &audio);
    m_splitter->GetPin(2)->GetMediaType(0, &subtitle);
    EXPECT_EQ(video.subtype, MEDIASUBTYPE_MPEG2_VIDEO);
    ASSERT_TRUE(HasFormatBlock(video, FORMAT_MPEG2_VIDEO, sizeof(MPEG2VIDEOINFO)));
    const auto* info = reinterpret_cast<const MPEG2VIDEOINFO*>(video.pbFormat);
    EXPECT_EQ(info->hdr.bmiHeader.biWidth, 720);
    EXPECT_EQ(info->hdr.bmiHeader.biHeight, 480);
    EXPECT_EQ(info->hdr.dwPictAspectRatioX, 4u);
    EXPECT_EQ(info->hdr.dwPictAspectRatioY, 3u);
    EXPECT_EQ(info->hdr.AvgTimePerFrame, 333666);
    EXPECT_GT(info->cbSequenceHeader, 12u);
    // AC-3 outranks MPEG audio.
    EXPECT_EQ(audio.subtype, MEDIASUBTYPE_DOLBY_AC3);
    EXPECT_EQ(subtitle.subtype, MEDIASUBTYPE_DVD_SUBPICTURE);
    EXPECT_EQ(subtitle.majortype, MEDIATYPE_Video);

    // A splitter is only ever a splitter.
    ComPtr<IFileSourceFilter> fileSource;
    EXPECT_EQ(QueryInterfaceTo(m_splitter.Get(), fileSource), E_NOINTERFACE);
}

TEST_F(SplitterDvdTest, NamesEveryStream)
{
    ASSERT_EQ(Build("ntsc_4x3", 0), S_OK);
    const auto names = StreamNames();
    ASSERT_EQ(names.size(), 5u);
    EXPECT_EQ(names[0].rfind("Video - MPEG2, Main Profile, Main Level, 720x480, 29.970 fps, ", 0), 0u) << names[0];
    EXPECT_NE(names[0].find(" (0000,e0,00)"), std::string::npos) << names[0];
    EXPECT_EQ(names[1], "Audio - Dolby Digital, 48.0 kHz, 2 chn, 192.0 kbit/s (0000,bd,80)");
    EXPECT_EQ(names[2], "Audio - MPEG1 - Layer 2, 48.0 kHz, 2 chn, 192.0 kbit/s (0000,c0,00)");
    EXPECT_EQ(names[3], "Video - DVD Sub Picture (0000,bd,20)");
    EXPECT_EQ(names[4], "Video - DVD Sub Picture (0000,bd,21)");

    DWORD flags = 0, group = 9;
    LCID locale = 9;
    m_splitter->Info(2, nullptr, &flags, &locale, &group, nullptr, nullptr, nullptr);
    EXPECT_EQ(flags, 0u); // not served
    EXPECT_EQ(group, 1u);
    EXPECT_EQ(locale, 0u);
    m_splitter->Info(1, nullptr, &flags, nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(flags, 3u);
    AM_MEDIA_TYPE* type = nullptr;
    EXPECT_EQ(m_splitter->Info(99, &type, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(type, nullptr);
}

TEST_F(SplitterDvdTest, PalDiscWithSurroundAndPcm)
{
    ASSERT_EQ(Build("pal_16x9.iso", 0), S_OK);
    const auto names = StreamNames();
    ASSERT_EQ(names.size(), 4u);
    EXPECT_NE(names[0].find("720x576, 25.000 fps"), std::string::npos) << names[0];
    // LPCM ranks above AC-3.
    EXPECT_EQ(names[1], "Audio - DVD LPCM, 48.0 kHz, 2 chn, 16 bit, 1536.0 kbit/s (0000,bd,a0)");
    EXPECT_EQ(names[2], "Audio - Dolby Digital, 48.0 kHz, 6 chn, 192.0 kbit/s (0000,bd,80)");
    CMediaType video;
    m_splitter->GetPin(0)->GetMediaType(0, &video);
    const auto* info = reinterpret_cast<const MPEG2VIDEOINFO*>(video.pbFormat);
    EXPECT_EQ(info->hdr.dwPictAspectRatioX, 16u);
    EXPECT_EQ(info->hdr.dwPictAspectRatioY, 9u);
}

TEST_F(SplitterDvdTest, AStreamSwitchArrivesWithItsTypeAndADiscontinuity)
{
    ASSERT_EQ(Build("ntsc_4x3", 0), S_OK);
    ConnectSinks();
    ASSERT_EQ(m_splitter->Enable(2, AMSTREAMSELECTENABLE_ENABLE), S_OK); // the MP2 track
    EXPECT_EQ(m_splitter->Enable(2, 0), E_NOTIMPL);
    DWORD flags = 0;
    m_splitter->Info(2, nullptr, &flags, nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(flags, 3u);
    m_splitter->Info(1, nullptr, &flags, nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(flags, 0u);
    RunToCompletion();
    const auto samples = m_sinks["Audio"]->Samples();
    ASSERT_FALSE(samples.empty());
    EXPECT_TRUE(samples[0].typeChanged);
    EXPECT_TRUE(samples[0].discontinuity);
    const auto bytes = m_sinks["Audio"]->Bytes();
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes[0], 0xFF); // MPEG audio frames now
    EXPECT_EQ(bytes[1] & 0xE0, 0xE0);
    CMediaType now;
    m_splitter->GetPin(1)->GetMediaType(0, &now);
    EXPECT_EQ(now.subtype, FourCCGuid(WAVE_FORMAT_MPEG));
}

TEST_F(SplitterDvdTest, AStreamSwitchKeepsItsTypeThroughTheFlushThatFollows)
{
    // A player switches the track and seeks back at once, so that what was read ahead of the old
    // track is not heard. The new track's first packet, with the type change, may already be
    // queued when the seek's flush empties the queue: the type must still reach the decoder, or
    // it would be fed MPEG audio as AC-3.
    ASSERT_EQ(Build("ntsc_4x3", 0), S_OK);
    ConnectSinks();
    TestSink* sound = m_sinks["Audio"].Get();
    sound->ForgetOnFlush();
    // The sound's sink holds its first sample until let go, so that packets pile up behind it.
    SampleGate gate;
    gate.Hold(*sound);
    ASSERT_EQ(m_control->Run(), S_OK);
    ASSERT_TRUE(gate.WaitUntilHeld());
    int before = 0, size = 0;
    ASSERT_EQ(m_splitter->GetStatus(1, before, size), S_OK);
    ASSERT_EQ(m_splitter->Enable(2, AMSTREAMSELECTENABLE_ENABLE), S_OK); // the MP2 track
    // Until MP2 packets (the first with its type) are queued behind the held one.
    int queued = before;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(1); // a hang, not a measure
    while (m_splitter->GetStatus(1, queued, size) == S_OK && queued < before + 4 && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::yield();
    ASSERT_GE(queued, before + 4);
    // The seek flushes them; the held sample is let go once the flush has reached the sink.
    const int flushes = sound->Flushes();
    std::thread seek([&] {
        LONGLONG start = 0, stop = 0;
        m_splitter->GetDuration(&stop);
        ComPtr<IMediaSeeking> seeking;
        QueryInterfaceTo(static_cast<IPin*>(m_splitter->GetPin(0)), seeking);
        seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, &stop, AM_SEEKING_AbsolutePositioning);
    });
    while (sound->Flushes() == flushes && std::chrono::steady_clock::now() < giveUp) std::this_thread::yield();
    gate.Open();
    seek.join();
    ASSERT_TRUE(sound->WaitForEndOfStreams(1));
    const auto samples = sound->Samples();
    ASSERT_FALSE(samples.empty());
    EXPECT_TRUE(samples[0].typeChanged) << "the first sample of the new track came without its type";
    const auto bytes = sound->Bytes();
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes[0], 0xFF); // MPEG audio frames
    ASSERT_EQ(m_control->Stop(), S_OK);
}

struct FfmpegStream {
    const char* pin;
    const char* specifier; // ffmpeg's stream id
};

// Compares each pin's bytes and time stamps with ffmpeg's packets of the same stream.
void CompareWithFfmpeg(const std::string& vob, TestSink* sink, const std::string& specifier)
{
    const auto expected = ExtractStream(vob, specifier);
    const auto ours = sink->Bytes();
    ASSERT_FALSE(expected.empty()) << specifier;
    EXPECT_EQ(ours.size(), expected.size()) << specifier;
    EXPECT_TRUE(ours == expected) << specifier;

    // Presentation times, relative to the first, in 90 kHz ticks.
    const auto theirs = PacketPts(vob, specifier);
    std::vector<long long> mine;
    for (const auto& s : sink->Samples())
        if (s.hasStart) mine.push_back(s.start);
    ASSERT_EQ(mine.size(), theirs.size()) << specifier;
    for (std::size_t i = 0; i < mine.size(); ++i) {
        const long long expectedUnits = (theirs[i] - theirs[0]) * 10000 / 90;
        EXPECT_LE(std::llabs((mine[i] - mine[0]) - expectedUnits), 1) << specifier << " packet " << i;
    }
}

struct Title {
    const char* disc;
    int title;
    std::vector<FfmpegStream> streams;
};

void PrintTo(const Title& t, std::ostream* os) { *os << TitleTestName(t.disc, t.title); }

class SplitterMatchesFfmpeg : public SplitterDvdTest, public ::testing::WithParamInterface<Title> {};

TEST_P(SplitterMatchesFfmpeg, PinByPin)
{
    const Title& t = GetParam();
    ASSERT_EQ(Build(t.disc, t.title), S_OK);
    ConnectSinks();
    RunToCompletion();
    const std::string vob = TitleFile();
    for (const auto& stream : t.streams) {
        ASSERT_TRUE(m_sinks.count(stream.pin));
        CompareWithFfmpeg(vob, m_sinks[stream.pin].Get(), std::string("i:") + stream.specifier);
    }
    std::filesystem::remove(vob);
}

INSTANTIATE_TEST_SUITE_P(
    FixtureTitles, SplitterMatchesFfmpeg,
    ::testing::Values(Title{"ntsc_4x3", 0, {{"Video", "0x1e0"}, {"Audio", "0x80"}, {"Subtitle", "0x20"}}},
                      Title{"ntsc_4x3", 1, {{"Video", "0x1e0"}, {"Audio", "0x80"}}},
                      Title{"pal_16x9.iso", 0, {{"Video", "0x1e0"}, {"Audio", "0xa0"}, {"Subtitle", "0x20"}}},
                      Title{"two_sets", 0, {{"Video", "0x1e0"}, {"Audio", "0x1c0"}}},
                      Title{"two_sets", 1, {{"Video", "0x1e0"}, {"Audio", "0x80"}, {"Subtitle", "0x20"}}}),
    [](const ::testing::TestParamInfo<Title>& test) { return TitleTestName(test.param.disc, test.param.title); });

} // namespace
