// The encoding sink fed picture by picture and sound block by block: frame-rate conversion, the
// time range, completion, the preview pin, and sound kept in step with the pictures.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "write/conv_filter.h"
#include "convert/conversion_support.h"
#include "write/output_writer.h"
#include "pipeline/event_codes.h"
#include "pipeline/format_blocks.h"
#include "pipeline/media_guids.h"
#include "support/ffmpeg_tools.h"
#include "support/graph_fixture.h"
#include "support/harness.h"

namespace {

using namespace testing_filters;

class Sink : public GraphFixture {
protected:
    void TearDown() override
    {
        if (m_control) m_control->Stop();
        m_writer.Close();
        m_video = m_audio = nullptr;
        m_sink = nullptr;
        m_preview = nullptr;
        GraphFixture::TearDown();
        if (!m_path.empty()) std::filesystem::remove(m_path);
    }
    // A sink writing `settings` into a file, with the inputs asked for, paused.
    void Build(WriterSettings settings, bool video, bool audio, REFERENCE_TIME rangeStart = 0,
               REFERENCE_TIME rangeEnd = INT64_MAX / 2, bool preview = false)
    {
        m_settings = settings;
        m_width = settings.Width ? settings.Width : 64; // pictures still come for audio-only files
        m_height = settings.Height ? settings.Height : 48;
        m_path = TemporaryPath(std::string("sink") + (settings.hasVideo ? ".avi" : ".mp3"));
        ASSERT_TRUE(m_writer.Open(m_path, settings)) << m_writer.LastError();
        ASSERT_EQ(CConvFilter::Create(m_sink.Put()), S_OK);
        m_sink->SetWriter(&m_writer);
        m_sink->SetFrameDuration((1000000.0 / settings.FrameRate) * 10000);
        m_sink->SetRange(rangeStart, rangeEnd);
        m_graph->AddFilter(m_sink.Get(), "Conver");
        if (video) {
            m_video = TestSource::Pushing(MakeYv12Type(m_width, m_height));
            m_graph->AddFilter(m_video.Get(), "Video");
            ASSERT_EQ(m_graph->ConnectDirect(m_video->Pin(), m_sink->GetPin(1), nullptr), S_OK);
        }
        if (audio) {
            m_audio = TestSource::Pushing(PcmType(2, 48000));
            m_graph->AddFilter(m_audio.Get(), "Audio");
            ASSERT_EQ(m_graph->ConnectDirect(m_audio->Pin(), m_sink->GetPin(0), nullptr), S_OK);
        }
        if (preview) {
            m_preview = TestSink::Capture();
            m_graph->AddFilter(m_preview.Get(), "Preview");
            ASSERT_EQ(m_graph->ConnectDirect(m_sink->GetPin(2), m_preview->Pin(), nullptr), S_OK);
        }
        // A paused sink holds what it receives: the pushes below need a running graph.
        ASSERT_EQ(m_control->Run(), S_OK);
    }
    // A picture whose luma tells its index.
    void PushPicture(int index, REFERENCE_TIME start, REFERENCE_TIME stop)
    {
        std::vector<std::uint8_t> p(static_cast<std::size_t>(m_width) * m_height * 3 / 2, 128);
        std::fill(p.begin(), p.begin() + m_width * m_height, static_cast<std::uint8_t>(16 + (index % 28) * 8));
        ASSERT_EQ(m_video->Push(p.data(), p.size(), start, stop), S_OK);
    }
    void PushSound(REFERENCE_TIME start, int frames)
    {
        std::vector<std::int16_t> s(static_cast<std::size_t>(frames) * 2, 1000);
        const REFERENCE_TIME stop = start + static_cast<REFERENCE_TIME>(frames) * 10000000 / 48000;
        ASSERT_EQ(m_audio->Push(s.data(), s.size() * 2, start, stop), S_OK);
    }
    bool Completed()
    {
        LONG code = 0;
        LONG_PTR a = 0, b = 0;
        while (m_events->GetEvent(&code, &a, &b, 0) == S_OK) {
            m_events->FreeEventParams(code, a, b);
            if (code == EC_COMPLETE) return true;
        }
        return false;
    }

    WriterSettings m_settings{};
    int m_width = 0, m_height = 0;
    std::string m_path;
    OutputWriter m_writer;
    ComPtr<CConvFilter> m_sink;
    ComPtr<TestSource> m_video, m_audio;
    ComPtr<TestSink> m_preview;
};

// Counts the streaming threads the sink has held, and waits for a count.
class HoldCounter {
public:
    explicit HoldCounter(CConvFilter& sink)
    {
        sink.SetHoldObserver([this](bool) {
            std::lock_guard lock(m_lock);
            ++m_holds;
            m_changed.notify_all();
        });
    }
    void WaitFor(int holds)
    {
        std::unique_lock lock(m_lock);
        m_changed.wait(lock, [&] { return m_holds >= holds; });
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    int m_holds = 0; // guarded by m_lock
};

WriterSettings VideoOnly(int frameRate)
{
    WriterSettings w = Profile(58).writer; // AVI, MPEG-4 480 × 360
    w.FrameRate = frameRate;
    w.hasAudio = 0;
    return w;
}

TEST_F(Sink, FasterSourcesLoseFramesAndSlowerOnesRepeatThem)
{
    Build(VideoOnly(25000), true, false);
    // Frames written for each picture pushed, `count` pictures `interval` apart.
    auto push = [&](int first, int count, REFERENCE_TIME begin, REFERENCE_TIME interval) {
        std::vector<std::int64_t> perPicture;
        for (int i = 0; i < count; ++i) {
            const std::int64_t before = m_writer.VideoFrames();
            PushPicture(first + i, begin + i * interval, begin + (i + 1) * interval);
            perPicture.push_back(m_writer.VideoFrames() - before);
        }
        return perPicture;
    };
    // 300 pictures at 29.97 per second: 10 s, 250 output frames at 25; one picture in six is lost.
    const auto faster = push(0, 300, 0, 333667);
    EXPECT_NEAR(m_writer.VideoFrames(), 250, 1);
    EXPECT_TRUE(std::all_of(faster.begin(), faster.end(), [](std::int64_t n) { return n == 0 || n == 1; }));
    EXPECT_NEAR(std::count(faster.begin(), faster.end(), 0), 50, 1);
    // Then 150 pictures at 15 per second: 10 s more, 250 frames more; two pictures in three are
    // written twice.
    const std::int64_t before = m_writer.VideoFrames();
    const auto slower = push(300, 150, 300 * 333667LL, 666667);
    EXPECT_NEAR(m_writer.VideoFrames() - before, 250, 1);
    EXPECT_TRUE(std::all_of(slower.begin(), slower.end(), [](std::int64_t n) { return n == 1 || n == 2; }));
    EXPECT_NEAR(std::count(slower.begin(), slower.end(), 2), 100, 1);
}

TEST_F(Sink, FilmAtTheNtscRateRepeatsEveryFourthPicture)
{
    Build(VideoOnly(29970), true, false);
    // 23.976 pictures per second into 29.97: five frames for every four pictures.
    std::vector<std::int64_t> perPicture;
    for (int i = 0; i < 240; ++i) {
        const std::int64_t before = m_writer.VideoFrames();
        PushPicture(i, i * 417083LL, (i + 1) * 417083LL);
        perPicture.push_back(m_writer.VideoFrames() - before);
    }
    EXPECT_NEAR(m_writer.VideoFrames(), 300, 1);
    for (auto n : perPicture) EXPECT_TRUE(n == 1 || n == 2);
    EXPECT_EQ(std::count(perPicture.begin(), perPicture.end(), 2), 60);
}

TEST_F(Sink, TheRangeStartsAtTheFrameThatHoldsIt)
{
    // The range 60 s to 62 s of pictures from 59 s on.
    Build(VideoOnly(25000), true, false, 600000000, 620000000);
    for (int i = 0; i < 100; ++i) PushPicture(i, 590000000 + i * 400000LL, 590000000 + (i + 1) * 400000LL);
    m_video->PushEndOfStream();
    EXPECT_TRUE(Completed());
    m_control->Stop();
    ASSERT_TRUE(m_writer.Close());
    EXPECT_NEAR(m_writer.VideoFrames(), 51, 1); // 2 s, and the picture that straddles the end
    // The first frame is picture 25, the one whose interval holds 60 s.
    const auto pictures = GreyPictures(m_path);
    ASSERT_FALSE(pictures.empty());
    double mean = 0;
    for (auto v : pictures.front()) mean += v;
    mean /= static_cast<double>(pictures.front().size());
    EXPECT_NEAR(mean * 219 / 255 / 8, 25, 0.5); // grey expands the studio range
}

TEST_F(Sink, ARangeBeginsOnThePictureBoundaryNearestItsStart)
{
    // 60.03 s lies late in picture 25 (60.00 to 60.04 s): the file begins with picture 26.
    Build(VideoOnly(25000), true, false, 600300000, 620000000);
    for (int i = 0; i < 30; ++i) PushPicture(i, 590000000 + i * 400000LL, 590000000 + (i + 1) * 400000LL);
    EXPECT_EQ(m_sink->RangeStart(), 600400000);
    m_control->Stop();
    ASSERT_TRUE(m_writer.Close());
    const auto pictures = GreyPictures(m_path);
    ASSERT_FALSE(pictures.empty());
    double mean = 0;
    for (auto v : pictures.front()) mean += v;
    EXPECT_NEAR(mean / static_cast<double>(pictures.front().size()) * 219 / 255 / 8, 26, 0.5);
}

TEST_F(Sink, SoundIsPlacedFromWhereTheFirstPictureBeginsTheFile)
{
    WriterSettings w = Profile(58).writer;
    w.FrameRate = 25000;
    Build(w, true, true, 300000); // 30 ms: late in the first picture, so the file begins at 40 ms
    // The sound comes first and waits for the pictures (its thread is held in the sink).
    std::thread sound([&] { PushSound(0, 48000); });
    for (int i = 0; i < 30; ++i) PushPicture(i, i * 400000LL, (i + 1) * 400000LL);
    sound.join();
    EXPECT_EQ(m_sink->RangeStart(), 400000);
    // Exactly the 40 ms before the file's start are cut, nothing more or less.
    EXPECT_EQ(m_sink->SamplesCut(), 1920);
    EXPECT_EQ(m_sink->AudioSamplesWritten(), 48000 - 1920);
}

TEST_F(Sink, AStopReleasesSoundThatWaitsForPicturesThatNeverCome)
{
    WriterSettings w = Profile(58).writer;
    w.FrameRate = 25000;
    Build(w, true, true);
    HoldCounter holds(*m_sink);
    std::atomic<bool> returned{false};
    std::thread sound([&] {
        m_audio->Push(std::vector<std::int16_t>(9600).data(), 19200, 0, 1000000);
        returned = true;
    });
    holds.WaitFor(1); // held, waiting for where the file begins
    EXPECT_FALSE(returned.load());
    // The graph stops (as a failed run stops it): the held sound thread returns.
    m_control->Stop();
    sound.join();
    EXPECT_TRUE(returned.load());
    EXPECT_EQ(m_sink->AudioSamplesWritten(), 0);
}

TEST_F(Sink, AnAudioOnlyFileIgnoresPicturesAndCompletesOnEveryEnd)
{
    WriterSettings audioOnly = Profile(17).writer; // MP3
    audioOnly.FrameRate = 25000;
    Build(audioOnly, true, true);
    PushPicture(0, 0, 400000);
    PushSound(0, 4800);
    EXPECT_EQ(m_writer.VideoFrames(), 0);
    m_audio->PushEndOfStream();
    EXPECT_FALSE(Completed()); // "Video In" is connected and has not ended
    m_video->PushEndOfStream();
    EXPECT_TRUE(Completed());
}

TEST_F(Sink, CompletionWaitsOnlyForConnectedInputs)
{
    Build(VideoOnly(25000), true, false);
    PushPicture(0, 0, 400000);
    m_video->PushEndOfStream();
    EXPECT_TRUE(Completed());
}

TEST_F(Sink, APausedSinkHoldsItsSamplesUntilItRunsOrStops)
{
    Build(VideoOnly(25000), true, false);
    HoldCounter holds(*m_sink);
    ASSERT_EQ(m_control->Pause(), S_OK);
    std::atomic<bool> delivered{false};
    std::thread pusher([&] {
        PushPicture(0, 0, 400000);
        delivered = true;
    });
    holds.WaitFor(1); // the picture is held
    EXPECT_FALSE(delivered);
    EXPECT_EQ(m_writer.VideoFrames(), 0);
    ASSERT_EQ(m_control->Run(), S_OK);
    pusher.join();
    EXPECT_TRUE(delivered);
    EXPECT_EQ(m_writer.VideoFrames(), 1);
    // Stopping lets a held sample go as well.
    ASSERT_EQ(m_control->Pause(), S_OK);
    delivered = false;
    std::thread held([&] {
        m_video->Push(std::vector<std::uint8_t>(static_cast<std::size_t>(m_width) * m_height * 3 / 2, 128).data(),
                      static_cast<std::size_t>(m_width) * m_height * 3 / 2, 400000, 800000);
        delivered = true;
    });
    holds.WaitFor(2);
    EXPECT_FALSE(delivered);
    ASSERT_EQ(m_control->Stop(), S_OK);
    held.join();
    EXPECT_TRUE(delivered);
}

TEST_F(Sink, EveryFifthPictureIsOfferedForThePreviewUnlessItIsOff)
{
    Build(VideoOnly(25000), true, false, 0, INT64_MAX / 2, true);
    m_sink->SetPreviewEnabled(false);
    for (int i = 0; i < 20; ++i) PushPicture(i, i * 400000LL, (i + 1) * 400000LL);
    m_sink->SetPreviewEnabled(true);
    for (int i = 20; i < 40; ++i) PushPicture(i, i * 400000LL, (i + 1) * 400000LL);
    m_video->PushEndOfStream();
    ASSERT_TRUE(m_preview->WaitForEndOfStreams(1));
    ASSERT_EQ(m_preview->Samples().size(), 4u); // 20 pictures with the preview on
    for (const auto& s : m_preview->Samples()) EXPECT_FALSE(s.hasStart);
}

TEST_F(Sink, LateSoundGetsSilenceBeforeItAndEarlySoundIsCut)
{
    WriterSettings w = Profile(58).writer;
    w.FrameRate = 25000;
    Build(w, true, true);
    // Sound that starts 200 ms after the pictures.
    PushPicture(0, 0, 400000);
    PushSound(2000000, 4800);
    EXPECT_NEAR(static_cast<double>(m_sink->SilenceInserted()), 9600, 1);
    // Sound that overlaps what was written by 50 ms loses those 50 ms.
    PushSound(2000000 + 1000000 - 500000, 4800);
    EXPECT_NEAR(static_cast<double>(m_sink->SamplesCut()), 2400, 1);
    EXPECT_NEAR(static_cast<double>(m_sink->AudioSamplesWritten()), 9600 + 4800 + 2400, 2);
    // At the end the pictures are made up to the sound's length, then the sound to theirs.
    m_video->PushEndOfStream();
    m_audio->PushEndOfStream();
    EXPECT_TRUE(Completed());
    const double sound = static_cast<double>(m_sink->AudioSamplesWritten()) / 48000;
    const double pictures = static_cast<double>(m_writer.VideoFrames()) * 0.04;
    EXPECT_NEAR(sound, pictures, 0.001);
    EXPECT_GE(pictures, 0.35);
}

} // namespace
