// The splitter on MPEG transport streams made by ffmpeg: PES packets spread over many transport
// packets, a "TFrc" prefix, H.264 turned into length-prefixed access units and ADTS AAC into bare
// frames, each compared with what ffmpeg's demuxer extracts from the same file.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "pipeline/format_blocks.h"
#include "pipeline/media_guids.h"
#include "support/ffmpeg_tools.h"
#include "support/file_source.h"
#include "splitter_fixture.h"

namespace {

using namespace testing_filters;

using Bytes = std::vector<std::uint8_t>;

class SplitterTransportStream : public SplitterFixture {
protected:
    static void SetUpTestSuite()
    {
        s_mpeg2 = TemporaryPath("mpeg2-ac3.ts");
        s_h264 = TemporaryPath("h264-aac.ts");
        const std::vector<std::string> sources = {"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                                                  "testsrc=size=352x288:rate=25", "-f", "lavfi", "-i",
                                                  "sine=frequency=440:sample_rate=48000", "-t", "3"};
        auto mpeg2 = WithOptions(sources, "-c:v mpeg2video -b:v 3M -c:a ac3 -b:a 192k -f mpegts");
        mpeg2.push_back(s_mpeg2);
        RunTool(mpeg2);
        auto h264 = WithOptions(sources, "-pix_fmt yuv420p -c:v libx264 -x264-params aud=1 -g 25 -c:a aac -b:a 128k -f mpegts");
        h264.push_back(s_h264);
        RunTool(h264);
    }
    static void TearDownTestSuite()
    {
        std::filesystem::remove(s_mpeg2);
        std::filesystem::remove(s_h264);
    }

    std::vector<std::size_t> SampleSizes(const std::string& pin)
    {
        std::vector<std::size_t> sizes;
        for (const auto& s : m_sinks[pin]->Samples()) sizes.push_back(s.size);
        return sizes;
    }

    static inline std::string s_mpeg2;
    static inline std::string s_h264;
};

TEST_F(SplitterTransportStream, EachPesPacketArrivesWholeAsFfmpegReadsIt)
{
    const Bytes file = ReadFileBytes(s_mpeg2);
    ASSERT_GT(file.size(), 188u * 100);
    ASSERT_EQ(ConnectSplitter(file), S_OK);
    ASSERT_EQ(m_splitter->GetPinCount(), 4);
    CMediaType video, audio;
    m_splitter->GetPin(0)->GetMediaType(0, &video);
    m_splitter->GetPin(1)->GetMediaType(0, &audio);
    EXPECT_EQ(video.subtype, MEDIASUBTYPE_MPEG2_VIDEO);
    EXPECT_EQ(audio.subtype, MEDIASUBTYPE_DOLBY_AC3);
    const auto names = StreamNames();
    ASSERT_FALSE(names.empty());
    EXPECT_NE(names[0].find("352x288, 25.000 fps"), std::string::npos) << names[0];

    ConnectSinks();
    RunToCompletion();
    for (const char* pin : {"Video", "Audio"}) {
        const std::string specifier = std::string(pin) == "Video" ? "v:0" : "a:0";
        EXPECT_EQ(SampleSizes(pin), PacketSizes(s_mpeg2, specifier)) << pin;
        EXPECT_TRUE(m_sinks[pin]->Bytes() == ExtractStream(s_mpeg2, specifier)) << pin;
    }
}

TEST_F(SplitterTransportStream, AFileOnDiskIsReadThroughTheFileReader)
{
    auto source = FileSourceFilter::Create(s_mpeg2);
    ASSERT_TRUE(source);
    ASSERT_EQ(ConnectSplitter(source.Get()), S_OK);
    ConnectSinks();
    RunToCompletion();
    EXPECT_TRUE(m_sinks["Video"]->Bytes() == ExtractStream(s_mpeg2, "v:0"));
    EXPECT_TRUE(m_sinks["Audio"]->Bytes() == ExtractStream(s_mpeg2, "a:0"));
    EXPECT_FALSE(source->Reader()->HasErrors());
}

TEST_F(SplitterTransportStream, AFileStartingWithTFrcIsReadFromItsTransportPackets)
{
    Bytes file(1660, 0);
    const char tag[] = {'T', 'F', 'r', 'c'};
    std::copy(tag, tag + 4, file.begin());
    const Bytes ts = ReadFileBytes(s_mpeg2);
    file.insert(file.end(), ts.begin(), ts.end());
    ASSERT_EQ(ConnectSplitter(file), S_OK);
    ConnectSinks();
    RunToCompletion();
    EXPECT_TRUE(m_sinks["Video"]->Bytes() == ExtractStream(s_mpeg2, "v:0"));
}

// The NAL units of an Annex B stream, each without its start code and trailing zero bytes.
std::vector<Bytes> AnnexBUnits(const Bytes& s)
{
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i + 3 <= s.size(); ++i)
        if (s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1) starts.push_back(i + 3);
    std::vector<Bytes> units;
    for (std::size_t k = 0; k < starts.size(); ++k) {
        std::size_t end = k + 1 < starts.size() ? starts[k + 1] - 3 : s.size();
        while (end > starts[k] && s[end - 1] == 0) --end;
        units.emplace_back(s.begin() + static_cast<std::ptrdiff_t>(starts[k]), s.begin() + static_cast<std::ptrdiff_t>(end));
    }
    return units;
}

TEST_F(SplitterTransportStream, H264ArrivesAsLengthPrefixedAccessUnits)
{
    ASSERT_EQ(ConnectSplitter(ReadFileBytes(s_h264)), S_OK);
    CMediaType video;
    m_splitter->GetPin(0)->GetMediaType(0, &video);
    ASSERT_EQ(video.subtype, MEDIASUBTYPE_AVC1);
    ASSERT_TRUE(HasFormatBlock(video, FORMAT_MPEG2_VIDEO, sizeof(MPEG2VIDEOINFO)));
    const auto* info = reinterpret_cast<const MPEG2VIDEOINFO*>(video.pbFormat);
    EXPECT_EQ(info->hdr.bmiHeader.biWidth, 352);
    EXPECT_EQ(info->hdr.bmiHeader.biHeight, 288);
    EXPECT_EQ(info->dwFlags, 4u);
    EXPECT_EQ(info->hdr.AvgTimePerFrame, 400000);

    ConnectSinks();
    RunToCompletion();
    const Bytes bytes = m_sinks["Video"]->Bytes();
    const auto samples = m_sinks["Video"]->Samples();
    EXPECT_EQ(samples.size(), 75u); // one per picture, the last one included
    std::vector<Bytes> ours;
    for (const auto& sample : samples) {
        // Each sample: an access-unit delimiter first, then units that fill it exactly.
        std::size_t at = sample.offset;
        const std::size_t end = sample.offset + sample.size;
        ASSERT_GT(sample.size, 5u);
        EXPECT_EQ(bytes[at + 4] & 0x1F, 9);
        while (at < end) {
            ASSERT_LE(at + 4, end);
            const std::size_t length = (std::size_t{bytes[at]} << 24) | (std::size_t{bytes[at + 1]} << 16) |
                                       (std::size_t{bytes[at + 2]} << 8) | bytes[at + 3];
            ASSERT_LE(at + 4 + length, end);
            Bytes unit(bytes.begin() + static_cast<std::ptrdiff_t>(at + 4),
                       bytes.begin() + static_cast<std::ptrdiff_t>(at + 4 + length));
            while (!unit.empty() && unit.back() == 0) unit.pop_back();
            ours.push_back(std::move(unit));
            at += 4 + length;
        }
    }
    EXPECT_TRUE(ours == AnnexBUnits(ExtractStream(s_h264, "v:0")));
}

TEST_F(SplitterTransportStream, AdtsAacArrivesAsBareFrames)
{
    ASSERT_EQ(ConnectSplitter(ReadFileBytes(s_h264)), S_OK);
    CMediaType audio;
    m_splitter->GetPin(1)->GetMediaType(0, &audio);
    ASSERT_EQ(audio.subtype, MEDIASUBTYPE_AAC);
    ConnectSinks();
    RunToCompletion();

    // The frames of ffmpeg's ADTS stream, without their headers.
    const Bytes adts = ExtractStream(s_h264, "a:0");
    std::vector<Bytes> frames;
    for (std::size_t at = 0; at + 7 <= adts.size();) {
        ASSERT_EQ(adts[at], 0xFF);
        const std::size_t length = ((adts[at + 3] & 3u) << 11) | (std::size_t{adts[at + 4]} << 3) | (adts[at + 5] >> 5);
        const std::size_t header = (adts[at + 1] & 1) ? 7 : 9;
        ASSERT_LE(at + length, adts.size());
        frames.emplace_back(adts.begin() + static_cast<std::ptrdiff_t>(at + header),
                            adts.begin() + static_cast<std::ptrdiff_t>(at + length));
        at += length;
    }
    ASSERT_GT(frames.size(), 100u);
    const Bytes bytes = m_sinks["Audio"]->Bytes();
    std::vector<Bytes> ours;
    for (const auto& sample : m_sinks["Audio"]->Samples())
        ours.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(sample.offset),
                          bytes.begin() + static_cast<std::ptrdiff_t>(sample.offset + sample.size));
    // The stream's last frame waits for a following sync word that never comes.
    ASSERT_GE(ours.size() + 1, frames.size());
    ours.resize(std::min(ours.size(), frames.size()));
    EXPECT_TRUE(std::equal(ours.begin(), ours.end(), frames.begin()));

    // A PES packet's time belongs to the first frame that starts in it, also when the frame before
    // runs on from the packet before: every timed frame is at its place among the 1024-sample
    // frames at 48 kHz.
    const auto& samples = m_sinks["Audio"]->Samples();
    const CapturedSample* first = nullptr;
    int timed = 0;
    for (std::size_t k = 0; k < samples.size(); ++k) {
        if (!samples[k].hasStart) continue;
        ++timed;
        if (!first) {
            first = &samples[k];
            continue;
        }
        const auto between = static_cast<double>(k - static_cast<std::size_t>(first - samples.data()));
        EXPECT_NEAR(static_cast<double>(samples[k].start - first->start), between * 1024 * 10000000 / 48000, 10000)
            << "frame " << k;
    }
    EXPECT_GT(timed, 10);
}

} // namespace
