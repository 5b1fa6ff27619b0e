// The conversion engine's graph: which filters a profile gets, the settings pushed into them,
// the streams it reports, and the messages of a failed build.

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "convert/conversion_support.h"
#include "pipeline/event_codes.h"
#include "decode/video_decoder_filter.h"
#include "graph/class_factory.h"
#include "support/ffmpeg_tools.h"

namespace {

using namespace testing_filters;

class Engine : public ::testing::Test {
protected:
    static void SetUpTestSuite() { RegisterPlatformDecoders(); }
    void TearDown() override
    {
        m_engine.Teardown();
        m_engine.CloseOutput();
        if (!m_path.empty()) std::filesystem::remove(m_path);
    }
    bool Build(const ProfileRecord& profile, const ClipSettings& clip, int title = 0, int chapter = -1)
    {
        m_path = TemporaryPath("engine" + profile.FormatExt);
        EXPECT_TRUE(m_engine.OpenOutput(m_path, profile.writer));
        return m_engine.Build(m_disc.source, title, chapter, clip);
    }
    bool Has(const char* name)
    {
        ComPtr<IBaseFilter> filter;
        return SUCCEEDED(m_engine.Graph()->FindFilterByName(name, filter.Put())) && filter;
    }

    OpenTestDisc m_disc{"ntsc_4x3"};
    std::vector<std::string> m_messages;
    ConversionEngine m_engine{[this](const std::string& m) { m_messages.push_back(m); }};
    std::string m_path;
};

TEST_F(Engine, AVideoProfileBuildsTheWholeGraphPaused)
{
    ClipSettings clip = MakeRunTask(m_disc, 0, Profile(5)).task.clip;
    ASSERT_TRUE(Build(Profile(5), clip));
    for (const char* name : {"Conver", "Reader", "Splitter", "VideoDecoder", "AudioDecoder", "AudioConver", "VideoConver"})
        EXPECT_TRUE(Has(name)) << name;
    EXPECT_EQ(m_engine.TitleLength(), 8008);
    // Whole titles are read to the end of their data, some seconds past their playing time, but
    // no further (a damaged time stamp far beyond would make the file run on).
    EXPECT_EQ(m_engine.Sink()->RangeStart(), 0);
    EXPECT_GE(m_engine.Sink()->RangeEnd(), 80080000LL + 50000000);
    EXPECT_LE(m_engine.Sink()->RangeEnd(), 80080000LL + 100000000);
    OAFilterState state = State_Stopped;
    ComPtr<IMediaControl> control;
    m_engine.Graph()->QueryInterface(IMediaControl::iid, control.PutVoid());
    control->GetState(1000, &state);
    EXPECT_EQ(state, State_Paused);
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(Engine, FurtherSoundTracksGetBranchesOfTheirOwnAndOnesNotInTheDataAreSaid)
{
    // Three sound streams in the file: the title's English track first, its French one (C000),
    // and C100, which its data does not hold.
    const ProfileRecord& profile = Profile(11); // MKV
    m_path = TemporaryPath("engine.mkv");
    FileMarks marks;
    marks.audio.resize(3);
    ASSERT_TRUE(m_engine.OpenOutput(m_path, profile.writer, {}, -1, marks));
    ConversionEngine::BuildOptions options;
    options.moreAudio = {0xC000, 0xC100, 0xC000};
    ASSERT_TRUE(m_engine.Build(m_disc.source, 0, -1, MakeRunTask(m_disc, 0, profile).task.clip, options));
    for (const char* name : {"AudioDecoder", "AudioDecoder 2", "AudioConver 2"}) EXPECT_TRUE(Has(name)) << name;
    EXPECT_FALSE(Has("AudioDecoder 3"));
    // C100's stream keeps its place with an input that nothing feeds.
    EXPECT_EQ(m_engine.Sink()->SoundInputs(), 3);
    EXPECT_FALSE(m_engine.Sink()->SoundConnected(2));
    EXPECT_EQ(m_engine.SoundNotFound(), std::vector<std::uint16_t>{0xC100});
    // Built again, the list is the new build's.
    ASSERT_TRUE(m_engine.Build(m_disc.source, 0, -1, MakeRunTask(m_disc, 0, profile).task.clip, {}));
    EXPECT_TRUE(m_engine.SoundNotFound().empty());
}

TEST_F(Engine, ACopiedTrackTheDataLacksKeepsItsPlaceAndTheFileIsWritten)
{
    // Copied sound: C100 (listed, not in the data) before the French track. The French sound
    // keeps the third stream, as labelled, and the missing track's stream is there, empty.
    const ProfileRecord& profile = Profile(11); // MKV
    m_path = TemporaryPath("engine-copies.mkv");
    WriterSettings settings = profile.writer;
    std::snprintf(settings.AudioCodecName, sizeof settings.AudioCodecName, "copy");
    FileMarks marks;
    marks.audio.resize(3);
    for (StreamLabel& label : marks.audio) label.copy = true;
    marks.audio[2].language = "fra";
    ASSERT_TRUE(m_engine.OpenOutput(m_path, settings, {}, -1, marks));
    ConversionEngine::BuildOptions options;
    options.moreAudio = {0xC100, 0xC000};
    ClipSettings clip = MakeRunTask(m_disc, 1, profile).task.clip;
    ASSERT_TRUE(m_engine.Build(m_disc.source, 1, -1, clip, options));
    EXPECT_EQ(m_engine.SoundNotFound(), std::vector<std::uint16_t>{0xC100});
    EXPECT_EQ(m_engine.Sink()->SoundInputs(), 3);
    ASSERT_EQ(m_engine.Run(), S_OK);
    LONG code = 0;
    LONG_PTR a = 0, b = 0;
    bool completed = false;
    for (int i = 0; i < 600 && !completed; ++i) completed = m_engine.NextEvent(code, a, b, 100) && code == EC_COMPLETE;
    ASSERT_TRUE(completed);
    m_engine.Teardown();
    ASSERT_TRUE(m_engine.CloseOutput()) << m_engine.Writer().LastError();
    const std::string streams = ToolOutput({"ffprobe", "-v", "error", "-show_entries", "stream=codec_name:stream_tags=language",
                                            "-of", "csv=p=0", m_path});
    EXPECT_EQ(streams, "h264\nac3\nac3\nmp2,fra\n") << streams;
}

TEST_F(Engine, AnAudioOnlyProfileBuildsNoPictureBranch)
{
    ClipSettings clip = MakeRunTask(m_disc, 0, Profile(17)).task.clip;
    ASSERT_TRUE(Build(Profile(17), clip));
    for (const char* name : {"Conver", "Reader", "Splitter", "AudioDecoder", "AudioConver"}) EXPECT_TRUE(Has(name)) << name;
    EXPECT_FALSE(Has("VideoDecoder"));
    EXPECT_FALSE(Has("VideoConver"));
    EXPECT_FALSE(m_engine.Sink()->GetPin(1)->IsConnected());
    EXPECT_TRUE(m_engine.Sink()->GetPin(0)->IsConnected());
}

TEST_F(Engine, ATrimmedTaskGivesTheSinkItsRange)
{
    ClipSettings clip;
    clip.trimStart = 90000;
    clip.trimLength = 30000;
    ASSERT_TRUE(Build(Profile(5), clip));
    EXPECT_EQ(m_engine.Sink()->RangeStart(), 900000000);
    EXPECT_EQ(m_engine.Sink()->RangeEnd(), 1200000000);
}

TEST_F(Engine, StreamsAreReportedWithTheirIdentifiers)
{
    ClipSettings clip = MakeRunTask(m_disc, 0, Profile(5)).task.clip;
    ASSERT_TRUE(Build(Profile(5), clip));
    std::vector<EngineStream> streams;
    ASSERT_TRUE(m_engine.GetStreams(streams));
    ASSERT_EQ(streams.size(), 5u);
    EXPECT_EQ(streams[0].kind, EngineStream::kVideo);
    EXPECT_EQ(streams[0].width, 720);
    EXPECT_EQ(streams[0].height, 480);
    EXPECT_EQ(streams[0].timePerFrame, 333666);
    EXPECT_EQ(streams[1].kind, EngineStream::kAudio);
    EXPECT_EQ(streams[1].identifier, 0x80);
    EXPECT_EQ(streams[1].sampleRate, 48000);
    EXPECT_EQ(streams[1].channels, 2);
    EXPECT_EQ(streams[1].bitRate, 192000);
    EXPECT_EQ(streams[2].identifier, 0x00); // MP2: (0000,c0,00)
    EXPECT_EQ(streams[3].kind, EngineStream::kSubpicture);
    EXPECT_EQ(streams[3].identifier, 0x20);
    EXPECT_EQ(streams[4].identifier, 0x21);
    EXPECT_TRUE(m_engine.EnableStream(2, true));
    EXPECT_FALSE(m_engine.EnableStream(2, false)); // a stream is chosen, never unchosen
}

TEST_F(Engine, AMissingDecoderIsReportedAndTheTaskSkipped)
{
    auto& factory = CClassFactory::Instance();
    ASSERT_TRUE(factory.Unregister(CLSID_MpegVideoDecoder));
    ClipSettings clip = MakeRunTask(m_disc, 0, Profile(5)).task.clip;
    EXPECT_FALSE(Build(Profile(5), clip));
    RegisterPlatformDecoders();
    ASSERT_FALSE(m_messages.empty());
    EXPECT_EQ(m_messages.front(), "CLSID_MpegDecoder error");

    // The run counts the task as failed, leaves no file for it, and goes on with the next: an
    // audio-only task, which needs no video decoder.
    Convert(m_disc, {}, Settings(Profile(5), OutputFolder("warm-up"))); // registers the decoders once
    factory.Unregister(CLSID_MpegVideoDecoder);
    const std::string folder = OutputFolder("missing-decoder");
    RunTask sound = MakeRunTask(m_disc, 1, Profile(5));
    RunSettings settings = Settings(Profile(5), folder);
    auto result = Convert(m_disc, {MakeRunTask(m_disc, 0, Profile(5)), sound}, settings);
    RegisterPlatformDecoders();
    EXPECT_EQ(result.failed, 2);
    EXPECT_TRUE(result.files.empty());
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(folder) / "Title_01.mp4"));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(folder) / "Title_02.mp4"));
    ASSERT_GE(result.messages.size(), 2u);
    EXPECT_EQ(result.messages[0], "CLSID_MpegDecoder error");
    EXPECT_EQ(result.messages[1], "Could not convert Title_01.mp4");

    ProfileRecord mp3 = Profile(17);
    RunSettings audioOnly = Settings(mp3, OutputFolder("missing-decoder-mp3"));
    factory.Unregister(CLSID_MpegVideoDecoder);
    result = Convert(m_disc, {MakeRunTask(m_disc, 1, mp3)}, audioOnly);
    RegisterPlatformDecoders();
    EXPECT_EQ(result.failed, 0);
    EXPECT_EQ(result.files.size(), 1u);
}

TEST_F(Engine, WithoutAPreviewRendererAConversionStillRuns)
{
    ClipSettings clip = MakeRunTask(m_disc, 1, Profile(5)).task.clip;
    ASSERT_TRUE(Build(Profile(5), clip, 1));
    EXPECT_FALSE(m_engine.ConnectPreview(nullptr));
    m_engine.ShowPreview(false);
    ASSERT_EQ(m_engine.Run(), S_OK);
    LONG code = 0;
    LONG_PTR a = 0, b = 0;
    bool completed = false;
    for (int i = 0; i < 600 && !completed; ++i)
        completed = m_engine.NextEvent(code, a, b, 100) && code == EC_COMPLETE;
    EXPECT_TRUE(completed);
    REFERENCE_TIME position = 0, duration = 0;
    m_engine.Progress(position, duration);
    EXPECT_NEAR(static_cast<double>(position) / 1e7, 4.0, 0.1);
    EXPECT_NEAR(static_cast<double>(duration) / 1e7, 4.0, 0.1);
}

} // namespace

TEST(RunOutputs, OnlyTasksThatTakePartWriteFilesAndAMergeWritesOne)
{
    auto task = [](const char* name, bool checked, std::int64_t lengthMs) {
        RunTask t;
        t.outputName = name;
        t.checked = checked;
        t.task.clip.trimLength = lengthMs;
        return t;
    };
    const std::vector<RunTask> tasks = {task("Title_01.mp4", false, 8000), task("Title_02.mp4", true, 0),
                                        task("Title_03.mp4", true, 999), task("Title_04.mp4", true, 4000)};
    EXPECT_EQ(RunOutputNames(tasks, false), (std::vector<std::string>{"Title_03.mp4", "Title_04.mp4"}));
    EXPECT_EQ(RunOutputNames(tasks, true), (std::vector<std::string>{"Title_03.mp4"}));
    EXPECT_TRUE(RunOutputNames({task("Title_01.mp4", false, 8000)}, false).empty());
}
