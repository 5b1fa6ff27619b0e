// The video and audio decoders behind the splitter on fixture titles, compared with what ffmpeg
// decodes from the same title: every picture, the sound, and the subpictures burned in where
// and when they were authored.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "demux/mpeg_splitter_filter.h"
#include "dvd/dvd_reader.h"
#include "dvd/my_dvd.h"
#include "pipeline/event_codes.h"
#include "pipeline/format_blocks.h"
#include "pipeline/media_guids.h"
#include "decode/audio_decoder_filter.h"
#include "decode/video_decoder_filter.h"
#include "graph/class_factory.h"
#include "support/test_names.h"
#include "support/harness.h"
#include "support/ffmpeg_tools.h"
#include "support/graph_fixture.h"
#include "support/memory_source.h"
#include "support/reference_reader.h"
#include "support/test_discs.h"

namespace {

using namespace testing_filters;
using Bytes = std::vector<std::uint8_t>;

// PSNR of two 8-bit pictures of the same size; infinity when they are equal.
double Psnr(const std::uint8_t* a, const std::uint8_t* b, std::size_t size)
{
    double sum = 0;
    for (std::size_t i = 0; i < size; ++i) {
        const double d = static_cast<double>(a[i]) - b[i];
        sum += d * d;
    }
    if (sum == 0) return std::numeric_limits<double>::infinity();
    return 10 * std::log10(255.0 * 255.0 / (sum / static_cast<double>(size)));
}

class DecoderTest : public GraphFixture {
protected:
    static void SetUpTestSuite() { RegisterPlatformDecoders(); }

    void TearDown() override
    {
        if (m_control) m_control->Stop();
        m_video = m_audio = nullptr;
        m_filters.clear();
        GraphFixture::TearDown();
        if (!m_vob.empty()) std::filesystem::remove(m_vob);
    }

    ComPtr<IBaseFilter> Create(REFCLSID clsid, const char* name)
    {
        ComPtr<IBaseFilter> filter;
        EXPECT_EQ(CClassFactory::Instance().CreateInstance(clsid, nullptr, IBaseFilter::iid, filter.PutVoid()), S_OK);
        if (filter) m_graph->AddFilter(filter.Get(), name);
        m_filters.push_back(filter);
        return filter;
    }
    static IPin* Pin(IBaseFilter* filter, int index)
    {
        return static_cast<CBaseFilter*>(filter)->GetPin(index);
    }

    // Reader → splitter → decoders → capture sinks for a title; subpictures into the video
    // decoder when asked.
    void Build(const std::string& disc, int title, bool subpictures)
    {
        m_path = TestDisc(disc);
        m_title = title;
        m_disc = OpenDisc(m_path);
        m_handle = m_disc.Get();
        ASSERT_NE(m_handle, 0u);
        m_info = std::make_unique<DiscInfo>();
        MyDVDGetInfo(m_handle, m_info.get());
        IBaseFilter* raw = nullptr;
        ASSERT_EQ(CDVDReader::Create(&raw), S_OK);
        auto reader = AdoptRef(raw);
        static_cast<CDVDReader*>(raw)->SetDvdReader(m_handle);
        static_cast<CDVDReader*>(raw)->SetArea(title, -1);
        ASSERT_EQ(CMpegSplitterFilter::Create(&raw), S_OK);
        auto splitter = AdoptRef(static_cast<CMpegSplitterFilter*>(raw));
        splitter->SetTitleInfo(&m_info->titles[title]);
        const auto ms = static_cast<LONGLONG>(m_info->titles[title].durationMs);
        splitter->SetPlayRange(0, ms, ms);
        m_graph->AddFilter(reader.Get(), "Reader");
        m_graph->AddFilter(splitter.Get(), "Splitter");
        m_filters.push_back(reader);
        m_filters.push_back(ComPtr<IBaseFilter>(splitter.Get()));
        ASSERT_EQ(m_graph->ConnectDirect(Pin(reader.Get(), 0), splitter->GetPin(splitter->GetPinCount() - 1), nullptr), S_OK);

        auto video = Create(CLSID_MpegVideoDecoder, "VideoDecoder");
        auto audio = Create(CLSID_MpegAudioDecoder, "AudioDecoder");
        ASSERT_TRUE(video && audio);
        ASSERT_EQ(m_graph->ConnectDirect(splitter->GetPin(0), Pin(video.Get(), 0), nullptr), S_OK);
        ASSERT_EQ(m_graph->ConnectDirect(splitter->GetPin(1), Pin(audio.Get(), 0), nullptr), S_OK);
        if (subpictures) {
            ASSERT_EQ(m_graph->ConnectDirect(splitter->GetPin(2), Pin(video.Get(), 1), nullptr), S_OK);
        }
        m_video = TestSink::Capture();
        m_audio = TestSink::Capture();
        m_graph->AddFilter(m_video.Get(), "VideoSink");
        m_graph->AddFilter(m_audio.Get(), "AudioSink");
        ASSERT_EQ(m_graph->ConnectDirect(Pin(video.Get(), 2), m_video->Pin(), nullptr), S_OK);
        ASSERT_EQ(m_graph->ConnectDirect(Pin(audio.Get(), 1), m_audio->Pin(), nullptr), S_OK);
    }
    void Run()
    {
        ASSERT_EQ(m_control->Run(), S_OK);
        LONG code = 0;
        ASSERT_EQ(m_events->WaitForCompletion(120000, &code), S_OK);
        ASSERT_EQ(code, EC_COMPLETE);
        ASSERT_EQ(m_control->Stop(), S_OK);
    }
    // The title as a VOB file, for ffmpeg.
    const std::string& Vob()
    {
        if (m_vob.empty()) {
            m_vob = TemporaryPath("decoder-title-" + std::to_string(m_title) + ".vob");
            const auto bytes = ReadTitleWithLibdvdread(m_path, m_title).bytes;
            std::ofstream(m_vob, std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        }
        return m_vob;
    }
    // ffmpeg's pictures of the title's video, every decoded picture once, as I420.
    Bytes FfmpegPictures()
    {
        const std::string out = TemporaryPath("pictures.yuv");
        RunTool({"ffmpeg", "-v", "error", "-y", "-i", Vob(), "-map", "0:v:0", "-fps_mode", "passthrough", "-f", "rawvideo",
                 "-pix_fmt", "yuv420p", out});
        Bytes bytes = ReadFileBytes(out);
        std::filesystem::remove(out);
        return bytes;
    }
    // Our pictures as I420 (the decoder gives YV12, Cr before Cb).
    Bytes OurPictures(int width, int height)
    {
        Bytes yv12 = m_video->Bytes();
        const std::size_t luma = static_cast<std::size_t>(width) * height, chroma = luma / 4;
        for (std::size_t at = 0; at + luma + 2 * chroma <= yv12.size(); at += luma + 2 * chroma)
            std::swap_ranges(yv12.begin() + static_cast<std::ptrdiff_t>(at + luma),
                             yv12.begin() + static_cast<std::ptrdiff_t>(at + luma + chroma),
                             yv12.begin() + static_cast<std::ptrdiff_t>(at + luma + chroma));
        return yv12;
    }

    std::string m_path;
    int m_title = 0;
    std::string m_vob;
    OwnedDisc m_disc; // outlives the graph, which borrows it
    DiscHandle m_handle = 0;
    std::unique_ptr<DiscInfo> m_info;
    std::vector<ComPtr<IBaseFilter>> m_filters;
    ComPtr<TestSink> m_video;
    ComPtr<TestSink> m_audio;
};

struct DecodeCase {
    const char* disc;
    int title;
    int width, height;
    const char* audioStream; // ffmpeg's identifier of the stream the splitter serves
    REFERENCE_TIME frameTime;
};

void PrintTo(const DecodeCase& c, std::ostream* os) { *os << TitleTestName(c.disc, c.title); }

class DecodesLikeFfmpeg : public DecoderTest, public ::testing::WithParamInterface<DecodeCase> {};

TEST_P(DecodesLikeFfmpeg, EveryPictureAndTheSound)
{
    const DecodeCase& c = GetParam();
    Build(c.disc, c.title, false);
    Run();

    // The output type: YV12 of the title's size with a video-info-2 block.
    CMediaType type;
    m_video->Pin()->ConnectionMediaType(&type);
    EXPECT_EQ(type.subtype, MEDIASUBTYPE_YV12);
    EXPECT_EQ(type.formattype, FORMAT_VideoInfo2);

    const std::size_t frameBytes = static_cast<std::size_t>(c.width) * c.height * 3 / 2;
    const Bytes ours = OurPictures(c.width, c.height);
    const Bytes theirs = FfmpegPictures();
    ASSERT_GT(theirs.size(), 0u);
    ASSERT_EQ(ours.size() % frameBytes, 0u);
    EXPECT_EQ(ours.size() / frameBytes, theirs.size() / frameBytes) << "picture count";
    const std::size_t frames = std::min(ours.size(), theirs.size()) / frameBytes;
    double worst = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < frames; ++i)
        worst = std::min(worst, Psnr(ours.data() + i * frameBytes, theirs.data() + i * frameBytes, frameBytes));
    EXPECT_GE(worst, 50.0);

    // Times: from 0, one frame apart, every sample timed.
    const auto samples = m_video->Samples();
    ASSERT_FALSE(samples.empty());
    EXPECT_TRUE(samples.front().discontinuity);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        ASSERT_TRUE(samples[i].hasStart);
        EXPECT_NEAR(static_cast<double>(samples[i].start - samples[0].start), static_cast<double>(i * c.frameTime),
                    static_cast<double>(i + 1)) << i;
        EXPECT_EQ(samples[i].stop - samples[i].start, c.frameTime);
    }

    // Sound: as long as ffmpeg's, within one audio frame, and the same signal.
    CMediaType sound;
    m_audio->Pin()->ConnectionMediaType(&sound);
    ASSERT_EQ(sound.subtype, MEDIASUBTYPE_PCM);
    const auto* wfe = reinterpret_cast<const WAVEFORMATEX*>(sound.pbFormat);
    EXPECT_EQ(wfe->wBitsPerSample, 16);
    const std::string pcm = TemporaryPath("sound.pcm");
    RunTool({"ffmpeg", "-v", "error", "-y", "-i", Vob(), "-map", std::string("0:i:") + c.audioStream, "-f", "s16le", "-ac",
             std::to_string(wfe->nChannels), "-ar", std::to_string(wfe->nSamplesPerSec), pcm});
    const Bytes reference = ReadFileBytes(pcm);
    std::filesystem::remove(pcm);
    const Bytes decoded = m_audio->Bytes();
    ASSERT_GT(reference.size(), 0u);
    const long long frameBytesAudio = 1536LL * wfe->nBlockAlign;
    EXPECT_LE(std::llabs(static_cast<long long>(decoded.size()) - static_cast<long long>(reference.size())),
              frameBytesAudio);
    const std::size_t common = std::min(decoded.size(), reference.size()) / 2;
    const auto* a = reinterpret_cast<const std::int16_t*>(decoded.data());
    const auto* b = reinterpret_cast<const std::int16_t*>(reference.data());
    int largest = 0;
    for (std::size_t i = 0; i < common; ++i) largest = std::max(largest, std::abs(a[i] - b[i]));
    EXPECT_LE(largest, 2);
}

INSTANTIATE_TEST_SUITE_P(FixtureTitles, DecodesLikeFfmpeg,
                         ::testing::Values(DecodeCase{"ntsc_4x3", 1, 720, 480, "0x80", 333666},
                                           DecodeCase{"pal_16x9", 1, 720, 576, "0xa0", 400000}),
                         [](const ::testing::TestParamInfo<DecodeCase>& test) {
                             return TitleTestName(test.param.disc, test.param.title);
                         });

TEST_F(DecoderTest, SubpicturesAreBurnedInWhereAndWhenAuthored)
{
    // Title 1 of the NTSC disc: a white box at (180, 360), 360 × 48, from 0.5 s to 1.5 s.
    Build("ntsc_4x3", 1, true);
    Run();
    constexpr int kWidth = 720, kHeight = 480;
    constexpr std::size_t kFrame = kWidth * kHeight * 3 / 2;
    const Bytes ours = OurPictures(kWidth, kHeight);
    const Bytes plain = FfmpegPictures();
    ASSERT_EQ(ours.size(), plain.size());
    const auto samples = m_video->Samples();
    int shown = 0;
    for (std::size_t i = 0; i < ours.size() / kFrame; ++i) {
        const std::uint8_t* a = ours.data() + i * kFrame;
        const std::uint8_t* b = plain.data() + i * kFrame;
        const double seconds = static_cast<double>(samples[i].start - samples[0].start) / 1e7;
        // Pixels that differ from the plain picture, inside and outside the box (luma).
        long inside = 0, outside = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                if (a[y * kWidth + x] == b[y * kWidth + x]) continue;
                const bool inBox = x >= 180 && x < 540 && y >= 360 && y < 408;
                (inBox ? inside : outside) += 1;
            }
        EXPECT_EQ(outside, 0) << "picture " << i;
        if (seconds >= 0.5 && seconds < 1.5) {
            EXPECT_GT(inside, 360 * 48 * 9 / 10) << "picture " << i << " at " << seconds << " s";
            ++shown;
        } else {
            EXPECT_EQ(inside, 0) << "picture " << i << " at " << seconds << " s";
        }
    }
    EXPECT_EQ(shown, 30); // 1 s at 29.97 pictures per second
}

TEST_F(DecoderTest, AnAudioStreamSwitchDecodesTheOtherTrack)
{
    Build("ntsc_4x3", 1, false);
    auto* splitter = static_cast<CMpegSplitterFilter*>(m_filters[1].Get());
    ASSERT_EQ(splitter->Enable(2, AMSTREAMSELECTENABLE_ENABLE), S_OK); // the MP2 track
    Run();
    const auto samples = m_audio->Samples();
    ASSERT_FALSE(samples.empty());
    EXPECT_TRUE(samples.front().discontinuity);
    // The same sound as ffmpeg decodes from that track, and as long.
    const std::string pcm = TemporaryPath("switched.pcm");
    RunTool({"ffmpeg", "-v", "error", "-y", "-i", Vob(), "-map", "0:i:0x1c0", "-f", "s16le", "-ac", "2", "-ar", "48000", pcm});
    const Bytes reference = ReadFileBytes(pcm);
    std::filesystem::remove(pcm);
    const Bytes decoded = m_audio->Bytes();
    ASSERT_GT(reference.size(), 0u);
    EXPECT_LE(std::llabs(static_cast<long long>(decoded.size()) - static_cast<long long>(reference.size())), 1152 * 4);
    const auto* a = reinterpret_cast<const std::int16_t*>(decoded.data());
    const auto* b = reinterpret_cast<const std::int16_t*>(reference.data());
    int largest = 0;
    for (std::size_t i = 0; i < std::min(decoded.size(), reference.size()) / 2; ++i) largest = std::max(largest, std::abs(a[i] - b[i]));
    EXPECT_LE(largest, 2);
}

TEST_F(DecoderTest, ASeekFlushesTheDecodersAndTheyGoOnFromThere)
{
    Build("ntsc_4x3", 0, true);
    m_video->ForgetOnFlush();
    m_audio->ForgetOnFlush();
    auto* splitter = static_cast<CMpegSplitterFilter*>(m_filters[1].Get());
    ASSERT_EQ(m_control->Run(), S_OK);
    ASSERT_TRUE(m_video->WaitForReceived(1)); // streaming, when the seek comes
    ComPtr<IMediaSeeking> seeking;
    ASSERT_EQ(QueryInterfaceTo(static_cast<IPin*>(splitter->GetPin(0)), seeking), S_OK);
    LONGLONG start = 5 * 10000000LL, stop = 8 * 10000000LL;
    ASSERT_EQ(seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, &stop, AM_SEEKING_AbsolutePositioning), S_OK);
    ASSERT_TRUE(m_video->WaitForEndOfStreams(1));
    ASSERT_TRUE(m_audio->WaitForEndOfStreams(1));
    ASSERT_EQ(m_video->EndOfStreams(), 1);
    const auto pictures = m_video->Samples();
    const auto sound = m_audio->Samples();
    ASSERT_FALSE(pictures.empty());
    ASSERT_FALSE(sound.empty());
    EXPECT_TRUE(pictures.front().discontinuity);
    EXPECT_TRUE(sound.front().discontinuity);
    // Times are relative to the seek target; decoding starts at a key picture shortly before it
    // and runs on to the end of the title (about 3 s later).
    EXPECT_LT(pictures.front().start, 0);
    EXPECT_GT(pictures.front().start, -25000000);
    EXPECT_GT(pictures.back().start, 25000000);
    // Pictures at 5 s onwards are full pictures of the title (no half-decoded ones): about 90 of them.
    EXPECT_GT(pictures.size(), 80u);
    m_control->Stop();
}

TEST_F(DecoderTest, ATitleReadFromAPlayStartGivesOnlyWholePictures)
{
    // A seek lands inside a group of pictures: the first video packet opens with the end of a
    // picture whose start was never read, and the pictures after it refer to pictures that were
    // not decoded. None of that may come out as a picture.
    Build("ntsc_4x3", 0, false);
    auto* splitter = static_cast<CMpegSplitterFilter*>(m_filters[1].Get());
    ASSERT_EQ(splitter->SetPlayRange(3300, 2000, static_cast<LONGLONG>(m_info->titles[0].durationMs)), S_OK);
    Run();

    // ffmpeg's pictures of the whole title: ours must be a run of them, each whole.
    const Bytes theirs = FfmpegPictures();
    const Bytes ours = OurPictures(720, 480);
    constexpr std::size_t kFrame = 720 * 480 * 3 / 2;
    ASSERT_GT(ours.size() / kFrame, 60u);
    ASSERT_LT(ours.size() / kFrame, theirs.size() / kFrame);
    std::size_t first = 0;
    double best = 0;
    for (std::size_t j = 0; j < theirs.size() / kFrame; ++j) {
        const double psnr = Psnr(ours.data(), theirs.data() + j * kFrame, kFrame);
        if (psnr > best) best = psnr, first = j;
    }
    EXPECT_GE(best, 50.0) << "the first picture is no whole picture of the title";
    for (std::size_t i = 0; i < ours.size() / kFrame && first + i < theirs.size() / kFrame; ++i)
        EXPECT_GE(Psnr(ours.data() + i * kFrame, theirs.data() + (first + i) * kFrame, kFrame), 50.0) << "picture " << i;
    // Decoding starts at the group of pictures before the play start (3.3 s, picture 99).
    EXPECT_LE(first, 99u);
    EXPECT_GE(first, 99u - 60);
    EXPECT_EQ(first % 15, 0u) << "a group of the title starts every 15 pictures";
}

struct EncodedFile {
    const char* name;
    const char* encoding; // ffmpeg's output options
    int width, height;
};

void PrintTo(const EncodedFile& f, std::ostream* os) { *os << f.name; }

class DecodesFilesLikeFfmpeg : public DecoderTest, public ::testing::WithParamInterface<EncodedFile> {};

TEST_P(DecodesFilesLikeFfmpeg, PicturesAndSound)
{
    const EncodedFile& f = GetParam();
    const std::string file = TemporaryPath(f.name);
    auto encode = WithOptions({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                               "testsrc2=size=" + std::to_string(f.width) + "x" + std::to_string(f.height) + ":rate=25", "-f",
                               "lavfi", "-i", "sine=frequency=500:sample_rate=48000", "-t", "2"},
                              f.encoding);
    encode.push_back(file);
    RunTool(encode);
    auto source = MemorySourceFilter::Create(ReadFileBytes(file));
    IBaseFilter* raw = nullptr;
    ASSERT_EQ(CMpegSplitterFilter::Create(&raw), S_OK);
    auto splitter = AdoptRef(static_cast<CMpegSplitterFilter*>(raw));
    m_graph->AddFilter(source.Get(), "Source");
    m_graph->AddFilter(splitter.Get(), "Splitter");
    m_filters.push_back(ComPtr<IBaseFilter>(source.Get()));
    m_filters.push_back(ComPtr<IBaseFilter>(splitter.Get()));
    ASSERT_EQ(m_graph->ConnectDirect(source->GetPin(0), splitter->GetPin(splitter->GetPinCount() - 1), nullptr), S_OK);
    auto video = Create(CLSID_MpegVideoDecoder, "VideoDecoder");
    auto audio = Create(CLSID_MpegAudioDecoder, "AudioDecoder");
    ASSERT_EQ(m_graph->ConnectDirect(splitter->GetPin(0), Pin(video.Get(), 0), nullptr), S_OK);
    ASSERT_EQ(m_graph->ConnectDirect(splitter->GetPin(1), Pin(audio.Get(), 0), nullptr), S_OK);
    // A peer may ask for a video-info block instead of video info 2.
    CMediaType plain;
    ASSERT_EQ(static_cast<CBasePin*>(Pin(video.Get(), 2))->GetMediaType(1, &plain), S_OK);
    EXPECT_EQ(plain.formattype, FORMAT_VideoInfo);
    EXPECT_EQ(reinterpret_cast<const VIDEOINFOHEADER*>(plain.pbFormat)->bmiHeader.biWidth, f.width);
    m_video = TestSink::Capture();
    m_audio = TestSink::Capture();
    m_graph->AddFilter(m_video.Get(), "VideoSink");
    m_graph->AddFilter(m_audio.Get(), "AudioSink");
    ASSERT_EQ(m_graph->ConnectDirect(Pin(video.Get(), 2), m_video->Pin(), nullptr), S_OK);
    ASSERT_EQ(m_graph->ConnectDirect(Pin(audio.Get(), 1), m_audio->Pin(), nullptr), S_OK);
    Run();

    const std::string yuv = TemporaryPath("decoders.yuv");
    RunTool({"ffmpeg", "-v", "error", "-y", "-i", file, "-map", "0:v:0", "-fps_mode", "passthrough", "-f", "rawvideo", "-pix_fmt",
             "yuv420p", yuv});
    const Bytes theirs = ReadFileBytes(yuv);
    std::filesystem::remove(yuv);
    const Bytes ours = OurPictures(f.width, f.height);
    const std::size_t frame = static_cast<std::size_t>(f.width) * f.height * 3 / 2;
    ASSERT_EQ(ours.size(), theirs.size()) << "pictures: " << ours.size() / frame << " against " << theirs.size() / frame;
    for (std::size_t i = 0; i < ours.size() / frame; ++i)
        EXPECT_GE(Psnr(ours.data() + i * frame, theirs.data() + i * frame, frame), 50.0) << "picture " << i;

    CMediaType sound;
    m_audio->Pin()->ConnectionMediaType(&sound);
    const auto* wfe = reinterpret_cast<const WAVEFORMATEX*>(sound.pbFormat);
    const std::string pcm = TemporaryPath("decoders.pcm");
    RunTool({"ffmpeg", "-v", "error", "-y", "-i", file, "-map", "0:a:0", "-f", "s16le", "-ac", std::to_string(wfe->nChannels),
             "-ar", std::to_string(wfe->nSamplesPerSec), pcm});
    const auto reference = static_cast<long long>(ReadFileBytes(pcm).size());
    std::filesystem::remove(pcm);
    std::filesystem::remove(file);
    ASSERT_GT(reference, 0);
    EXPECT_LE(std::llabs(static_cast<long long>(m_audio->Bytes().size()) - reference), 2048LL * wfe->nBlockAlign);
}

INSTANTIATE_TEST_SUITE_P(
    Files, DecodesFilesLikeFfmpeg,
    ::testing::Values(EncodedFile{"h264-aac.ts", "-pix_fmt yuv420p -c:v libx264 -g 25 -c:a aac -b:a 128k -f mpegts", 320, 240},
                      EncodedFile{"mpeg1-mp2.mpg", "-c:v mpeg1video -c:a mp2 -f mpeg", 352, 288},
                      EncodedFile{"mpeg2-dts.vob", "-c:v mpeg2video -c:a dca -strict -2 -f vob", 352, 288}),
    [](const ::testing::TestParamInfo<EncodedFile>& test) { return TestName(test.param.name); });

TEST_F(DecoderTest, TheVideoDecoderTakesOnlyWhatItCanDecode)
{
    auto video = Create(CLSID_MpegVideoDecoder, "VideoDecoder");
    ASSERT_TRUE(video);
    auto* in = static_cast<CBasePin*>(Pin(video.Get(), 0));
    CMediaType mpeg2;
    mpeg2.majortype = MEDIATYPE_Video;
    mpeg2.subtype = MEDIASUBTYPE_MPEG2_VIDEO;
    mpeg2.formattype = FORMAT_MPEG2_VIDEO;
    auto* info = reinterpret_cast<MPEG2VIDEOINFO*>(mpeg2.AllocFormatBuffer(sizeof(MPEG2VIDEOINFO)));
    info->hdr.bmiHeader.biWidth = 720;
    info->hdr.bmiHeader.biHeight = 480;
    EXPECT_EQ(in->CheckMediaType(&mpeg2), S_OK);
    info->hdr.bmiHeader.biWidth = 0;
    EXPECT_EQ(in->CheckMediaType(&mpeg2), VFW_E_TYPE_NOT_ACCEPTED);
    CMediaType yv12;
    yv12.majortype = MEDIATYPE_Video;
    yv12.subtype = MEDIASUBTYPE_YV12;
    EXPECT_EQ(in->CheckMediaType(&yv12), VFW_E_TYPE_NOT_ACCEPTED);
    // The subpicture input takes DVD subpictures only.
    auto* sub = static_cast<CBasePin*>(Pin(video.Get(), 1));
    CMediaType spu;
    spu.majortype = MEDIATYPE_Video;
    spu.subtype = MEDIASUBTYPE_DVD_SUBPICTURE;
    EXPECT_EQ(sub->CheckMediaType(&spu), S_OK);
    EXPECT_EQ(sub->CheckMediaType(&mpeg2), VFW_E_TYPE_NOT_ACCEPTED);
    // No output type before the input is connected.
    CMediaType out;
    EXPECT_EQ(static_cast<CBasePin*>(Pin(video.Get(), 2))->GetMediaType(0, &out), VFW_S_NO_MORE_ITEMS);
}

} // namespace
