// The preview player with its sound: titles of the test discs played through the audio renderer
// into SDL's disk driver (which writes what the device played to a file, at the device's pace),
// with a test renderer for the pictures that keeps the time of each.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "convert/conversion_support.h"
#include "play/preview_controller.h"
#include "play/preview_player.h"
#include "decode/video_decoder_filter.h"
#include "demux/media_disc.h"
#include "graph/class_factory.h"
#include "pipeline/event_codes.h"
#include "pipeline/media_guids.h"
#include "render/audio_renderer.h"
#include "support/ffmpeg_tools.h"
#include "support/harness.h"

namespace testing_filters {
namespace {

constexpr CLSID kVideoMixingRenderer = MakeGuid("{B87BEB7B-8D29-423F-AE4D-6582C10175AC}");

// Timing bounds: the sanitizers slow everything several times over on two cores.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr double kSlack = 3.0;
#else
constexpr double kSlack = 1.0;
#endif

// A picture as the test renderer presented it.
struct Shown {
    REFERENCE_TIME start = 0;
    int brightness = 0;              // the luma at the picture's centre
    std::int64_t soundPosition = 0;  // the byte of sound being heard then
    // The silence the device had played of its own by then (its queue empty after the seek, on a
    // busy machine): the heard file holds it, the renderer's count of its own sound does not.
    std::int64_t deviceSilence = 0;
};

// What the test renderer saw, filled on the streaming thread.
struct Screen {
    std::mutex lock;
    std::condition_variable shown; // with lock: a picture was presented
    std::vector<Shown> pictures;
    CAudioRenderer* sound = nullptr; // the graph's audio renderer, when it has one
    std::string soundFile;           // what the device plays, written by SDL's disk driver
    int width = 720, height = 480;
};
Screen* g_screen = nullptr;

HRESULT CreatePictureSink(IUnknown*, REFIID riid, void** ppv)
{
    TestSink::Options options;
    options.record = false;
    options.onlySubtype = MEDIASUBTYPE_YV12;
    options.presentByClock = true;
    ComPtr<TestSink> sink = TestSink::Create(options);
    sink->SetPresentCallback([](IMediaSample* sample) {
        Screen* screen = g_screen;
        if (!screen) return;
        Shown shown;
        REFERENCE_TIME stop = 0;
        sample->GetTime(&shown.start, &stop);
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        std::lock_guard lock(screen->lock);
        if (data && sample->GetActualDataLength() >= screen->width * screen->height)
            shown.brightness = data[(screen->height / 2) * screen->width + screen->width / 2];
        if (screen->sound) {
            shown.soundPosition = screen->sound->PlayingPosition();
            std::error_code error;
            const auto written = static_cast<std::int64_t>(std::filesystem::file_size(screen->soundFile, error));
            if (!error) shown.deviceSilence = std::max<std::int64_t>(0, written - screen->sound->PlayedBytes());
        }
        screen->pictures.push_back(shown);
        screen->shown.notify_all();
    });
    return sink->QueryInterface(riid, ppv);
}

class PreviewTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        RegisterPlatformDecoders();
        RegisterRenderers();
        CClassFactory::Instance().Register(FilterRegistration{
            .clsid = kVideoMixingRenderer,
            .name = "Video Mixing Renderer",
            .merit = MERIT_DO_NOT_USE,
            .create = &CreatePictureSink,
            .inputTypes = {{MEDIATYPE_Video, MEDIASUBTYPE_YV12}},
            .isRenderer = true,
        });
    }

    void SetUp() override
    {
        m_soundFile = TemporaryPath("played.raw");
        std::remove(m_soundFile.c_str());
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", m_soundFile.c_str(), 1);
        g_screen = &m_screen;
    }

    void TearDown() override
    {
        m_player.Teardown();
        g_screen = nullptr;
    }

    // Opens a title of a test disc in the player, ready to play.
    void Open(OpenTestDisc& disc, int title)
    {
        ASSERT_TRUE(m_player.CreateGraph(disc.source, nullptr, nullptr)) << Messages();
        ASSERT_TRUE(m_player.SetTitle(title, -1)) << Messages();
        std::lock_guard lock(m_screen.lock);
        m_screen.sound = Sound();
        m_screen.soundFile = m_soundFile;
    }

    std::string Messages() const
    {
        std::string all;
        for (const std::string& m : m_messages) all += m + "\n";
        return all;
    }

    CAudioRenderer* Sound()
    {
        for (auto& filter : m_player.SoundFilters()) {
            CLSID clsid{};
            filter->GetClassID(&clsid);
            if (clsid == CLSID_DSoundRender) return static_cast<CAudioRenderer*>(filter.Get());
        }
        return nullptr;
    }

    // The sound the device played: the first channel of 16-bit frames.
    std::vector<std::int16_t> PlayedSound(int channels)
    {
        std::ifstream file(m_soundFile, std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        std::vector<std::int16_t> mono;
        const std::size_t frame = static_cast<std::size_t>(channels) * 2;
        for (std::size_t i = 0; i + frame <= bytes.size(); i += frame) {
            std::int16_t value;
            std::memcpy(&value, bytes.data() + i, 2);
            mono.push_back(value);
        }
        return mono;
    }

    std::vector<Shown> Pictures()
    {
        std::lock_guard lock(m_screen.lock);
        return m_screen.pictures;
    }

    // Lets `seconds` of the title play: waits until a picture that lies that far beyond the
    // latest one shown so far (on the stream's time line, which a seek or a change of track starts
    // again) has been presented. Playback paces the pictures, so this takes about that long.
    void PlayFor(double seconds)
    {
        std::unique_lock lock(m_screen.lock);
        REFERENCE_TIME latest = 0;
        for (const Shown& p : m_screen.pictures) latest = std::max(latest, p.start);
        const auto wanted = latest + static_cast<REFERENCE_TIME>(seconds * 1e7);
        const std::size_t before = m_screen.pictures.size();
        const auto reached = [&] {
            for (std::size_t i = before; i < m_screen.pictures.size(); ++i)
                if (m_screen.pictures[i].start >= wanted) return true;
            return false;
        };
        ASSERT_TRUE(m_screen.shown.wait_for(lock, std::chrono::minutes(1), reached))
            << "no picture of " << static_cast<double>(wanted) / 1e7 << " s was shown";
    }
    // Waits, while the player is paused, until the paused device has played `bytes` of its own
    // silence into the heard file: the device's time goes on while the player's stands still.
    void WaitForTheDevicesSilence(std::int64_t bytes)
    {
        const auto size = [this] {
            std::error_code error;
            return static_cast<std::int64_t>(std::filesystem::file_size(m_soundFile, error));
        };
        const std::int64_t until = size() + bytes;
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(1); // a hang, not a measure
        while (size() < until && std::chrono::steady_clock::now() < giveUp) std::this_thread::yield();
        ASSERT_GE(size(), until) << "the paused device played nothing";
    }

    std::vector<std::string> m_messages;
    PreviewPlayer m_player{[this](const std::string& text) { m_messages.push_back(text); }};
    Screen m_screen;
    std::string m_soundFile;
};

TEST_F(PreviewTest, ATitlePlaysThroughTheAudioDeviceAtItsPitchForThePlayedTime)
{
    OpenTestDisc disc("ntsc_4x3"); // title 1: AC-3 English at 440 Hz
    Open(disc, 0);
    CAudioRenderer* sound = Sound();
    ASSERT_NE(sound, nullptr) << "the sound was not rendered to the audio renderer: " << m_player.SoundFilters().size() << " filters behind the splitter's sound; " << Messages();
    const auto started = std::chrono::steady_clock::now();
    m_player.Play();
    PlayFor(2.0);
    const double played = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    ASSERT_TRUE(sound->HasDevice()) << "SDL's disk driver did not open";
    const WAVEFORMATEX format = sound->Format();
    m_player.Stop();

    const std::vector<std::int16_t> heard = PlayedSound(format.nChannels);
    ASSERT_EQ(format.nSamplesPerSec, 48000u);
    // The device took the sound at its own pace: about as much as the time it played (less the
    // start, more by the queue it holds).
    const double seconds = static_cast<double>(heard.size()) / 48000;
    EXPECT_GT(seconds, played - 0.6 * kSlack);
    EXPECT_LT(seconds, played + 0.4);
    // Skipping the device's first buffers, the tone is the track's.
    ASSERT_GT(heard.size(), 48000u);
    const std::vector<std::int16_t> steady(heard.begin() + 4800, heard.end());
    EXPECT_NEAR(ToneFrequency(steady, 1.0), 440, 10);
    // And pictures came at the film's pace, not as fast as they decode.
    const auto pictures = Pictures();
    EXPECT_GT(static_cast<double>(pictures.size()), 29.97 * (played - 0.8 * kSlack));
    EXPECT_LT(static_cast<double>(pictures.size()), 29.97 * (played + 0.5));
}

TEST_F(PreviewTest, TheClockFollowsThePlayedSoundAndHoldsWhilePaused)
{
    OpenTestDisc disc("ntsc_4x3");
    Open(disc, 0);
    CAudioRenderer* sound = Sound();
    ASSERT_NE(sound, nullptr);
    ComPtr<IReferenceClock> clock;
    ComPtr<IMediaFilter> timing;
    ASSERT_TRUE(SUCCEEDED(QueryInterfaceTo(m_player.Graph(), timing)));
    m_player.Play();
    ASSERT_TRUE(SUCCEEDED(timing->GetSyncSource(clock.Put())) && clock);
    ComPtr<IReferenceClock> own;
    ASSERT_TRUE(SUCCEEDED(QueryInterfaceTo(static_cast<IBaseFilter*>(sound), own)));
    EXPECT_EQ(clock.Get(), own.Get()) << "the graph does not run on the audio renderer's clock";

    PlayFor(0.8);
    ASSERT_TRUE(sound->HasDevice());
    const double bytesPerSecond = sound->Format().nAvgBytesPerSec;
    REFERENCE_TIME t1 = 0, t2 = 0;
    clock->GetTime(&t1);
    const std::int64_t p1 = sound->PlayingPosition();
    PlayFor(1.0);
    clock->GetTime(&t2);
    const std::int64_t p2 = sound->PlayingPosition();
    // The clock moved as far as the sound did.
    EXPECT_NEAR(static_cast<double>(t2 - t1) / 1e7, static_cast<double>(p2 - p1) / bytesPerSecond, 0.03 * kSlack);
    EXPECT_GT(p2, p1);

    m_player.Pause();
    REFERENCE_TIME t3 = 0, t4 = 0;
    clock->GetTime(&t3);
    const std::int64_t p3 = sound->PlayedBytes();
    WaitForTheDevicesSilence(static_cast<std::int64_t>(0.4 * bytesPerSecond));
    clock->GetTime(&t4);
    EXPECT_EQ(t3, t4) << "the clock ran on while paused";
    EXPECT_EQ(p3, sound->PlayedBytes()) << "the device played on while paused";
    // Playing again goes on from there.
    m_player.Play();
    PlayFor(0.4);
    REFERENCE_TIME t5 = 0;
    clock->GetTime(&t5);
    EXPECT_GT(t5, t4);
    EXPECT_GT(sound->PlayedBytes(), p3);
}

TEST_F(PreviewTest, ASeekPlaysFromTheNewPlaceWithSoundAndPictureInStep)
{
    OpenTestDisc disc("sync"); // title 2: one cell of 6 s, a white picture and a 1 kHz burst at 1, 3 and 5 s
    Open(disc, 1);
    CAudioRenderer* sound = Sound();
    ASSERT_NE(sound, nullptr);
    m_player.Play();
    PlayFor(0.5);
    ASSERT_TRUE(sound->HasDevice());
    ASSERT_TRUE(m_player.SetPosition(2.5));
    const std::int64_t seekedAt = sound->PlayedBytes();
    const std::size_t picturesBefore = Pictures().size();
    PlayFor(1.6);
    const WAVEFORMATEX format = sound->Format();
    m_player.Stop();

    // The first white picture after the seek, and the byte of sound heard when it was shown.
    const auto pictures = Pictures();
    ASSERT_GT(pictures.size(), picturesBefore);
    auto flash = std::find_if(pictures.begin() + static_cast<std::ptrdiff_t>(picturesBefore), pictures.end(),
                              [](const Shown& p) { return p.brightness > 200; });
    ASSERT_NE(flash, pictures.end()) << "no white picture after the seek";
    // The picture of 3.0 s, half a second into the new place.
    EXPECT_NEAR(static_cast<double>(flash->start) / 1e7, 0.5, 0.05);

    const std::vector<std::int16_t> heard = PlayedSound(format.nChannels);
    const std::size_t from = static_cast<std::size_t>(seekedAt / format.nBlockAlign);
    ASSERT_LT(from, heard.size());
    auto click = std::find_if(heard.begin() + static_cast<std::ptrdiff_t>(from), heard.end(),
                              [](std::int16_t s) { return std::abs(s) > 8000; });
    ASSERT_NE(click, heard.end()) << "no burst after the seek: " << heard.size() << " frames heard, the seek at " << from
                                  << ", the flash shown at " << flash->soundPosition / format.nBlockAlign;
    const double clickAt = static_cast<double>(click - heard.begin()) / format.nSamplesPerSec;
    // Where the flash was in the heard file: the renderer's position, after the device's own silence.
    const double flashAt =
        static_cast<double>((flash->soundPosition + flash->deviceSilence) / format.nBlockAlign) / format.nSamplesPerSec;
    RecordProperty("flash_minus_burst_ms", static_cast<int>((flashAt - clickAt) * 1000));
    // Heard and seen within a frame period of each other.
    EXPECT_NEAR(flashAt, clickAt, 1001.0 / 30000 * kSlack) << "flash at " << flashAt << " s of sound, burst at " << clickAt;
    // And the sound played from the new place: the burst half a second after the seek.
    EXPECT_NEAR(clickAt - static_cast<double>(from) / format.nSamplesPerSec, 0.5, 0.15 * kSlack);
}

TEST_F(PreviewTest, ATitleWithoutSoundPacesOnTheSystemClock)
{
    OpenTestDisc disc("silent"); // one title of 4 s, no sound
    Open(disc, 0);
    EXPECT_EQ(Sound(), nullptr) << "something was rendered for sound";
    EXPECT_TRUE(m_player.SoundFilters().empty());
    const auto started = std::chrono::steady_clock::now();
    m_player.Play();
    PlayFor(1.5);
    const double played = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const auto pictures = Pictures();
    ASSERT_FALSE(pictures.empty());
    // Paced: the pictures shown are those of the time played, not the whole title at once.
    EXPECT_LT(static_cast<double>(pictures.back().start) / 1e7, played + 0.1);
    EXPECT_GT(static_cast<double>(pictures.back().start) / 1e7, played - 0.5 * kSlack);
    double position = 0;
    ASSERT_TRUE(m_player.GetPosition(position));
    EXPECT_NEAR(position, played, 0.3 * kSlack);
    EXPECT_TRUE(m_messages.empty() || m_messages.front().rfind("IID_IVMRWindowlessControl9 error", 0) == 0);
}

TEST_F(PreviewTest, WithoutAnAudioDeviceTheSoundIsDiscardedAndPlaybackStillPaces)
{
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    OpenTestDisc disc("ntsc_4x3");
    Open(disc, 0);
    CAudioRenderer* sound = Sound();
    ASSERT_NE(sound, nullptr);
    const auto started = std::chrono::steady_clock::now();
    m_player.Play();
    PlayFor(1.5);
    const double played = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_FALSE(sound->HasDevice());
    const auto pictures = Pictures();
    ASSERT_FALSE(pictures.empty());
    EXPECT_LT(static_cast<double>(pictures.back().start) / 1e7, played + 0.1);
    EXPECT_GT(static_cast<double>(pictures.back().start) / 1e7, played - 0.5 * kSlack);
}

TEST_F(PreviewTest, AnotherTitlePlaysWithItsPicturesAndSound)
{
    OpenTestDisc disc("ntsc_4x3"); // title 2: 4 s, AC-3 at 550 Hz
    Open(disc, 0);
    ASSERT_TRUE(m_player.SetTitle(1, -1)) << Messages();
    {
        std::lock_guard lock(m_screen.lock);
        m_screen.sound = Sound();
    }
    CAudioRenderer* sound = Sound();
    ASSERT_NE(sound, nullptr);
    EXPECT_EQ(m_player.SoundFilters().size(), 2u) << "the first title's sound filters stayed in the graph";
    m_player.Play();
    PlayFor(1.2);
    const WAVEFORMATEX format = sound->Format();
    m_player.Stop();
    EXPECT_GT(Pictures().size(), 20u);
    const std::vector<std::int16_t> heard = PlayedSound(format.nChannels);
    ASSERT_GT(heard.size(), 24000u);
    EXPECT_NEAR(ToneFrequency(std::vector<std::int16_t>(heard.begin() + 4800, heard.end()), 0.5), 550, 10);
    EXPECT_TRUE(Messages().find("error(") == std::string::npos) << Messages();
}

TEST_F(PreviewTest, ChoosingAnotherTrackWhilePlayingIsHeardAtOnce)
{
    OpenTestDisc disc("ntsc_4x3"); // title 1: AC-3 English at 440 Hz (stream 80BD), MP2 French at 660 Hz
    Open(disc, 0);
    CAudioRenderer* sound = Sound();
    ASSERT_NE(sound, nullptr);
    m_player.Play();
    PlayFor(0.8);
    std::vector<EngineStream> streams;
    ASSERT_TRUE(m_player.GetStreams(streams));
    int french = 0;
    for (const EngineStream& s : streams)
        if (s.kind == EngineStream::kAudio && s.streamId != disc.info->titles[0].audioStreamId[0]) french = s.streamId;
    ASSERT_NE(french, 0);
    const std::int64_t switched = sound->PlayedBytes();
    m_player.ChooseStreams(french, 0);
    PlayFor(1.2);
    const WAVEFORMATEX format = sound->Format();
    m_player.Stop();
    const std::vector<std::int16_t> heard = PlayedSound(format.nChannels);
    // Half a second after the switch, the French track's tone.
    const std::size_t from = static_cast<std::size_t>(switched / format.nBlockAlign) + 24000;
    ASSERT_GT(heard.size(), from + 12000);
    EXPECT_NEAR(ToneFrequency(std::vector<std::int16_t>(heard.begin() + static_cast<std::ptrdiff_t>(from), heard.end()), 0.5), 660, 10);
}

TEST_F(PreviewTest, SurroundSoundAndLpcmPlayAtTheirPitchTheFirstListedFirst)
{
    // Title 1: AC-3 5.1 English at 440 Hz listed first, LPCM stereo Japanese at 660 Hz (which the
    // splitter on its own would pick).
    OpenTestDisc disc("pal_16x9");
    Open(disc, 0);
    CAudioRenderer* sound = Sound();
    ASSERT_NE(sound, nullptr);
    m_player.Play();
    PlayFor(1.0);
    const WAVEFORMATEX surround = sound->Format();
    ASSERT_TRUE(sound->HasDevice());
    ASSERT_GE(surround.nChannels, 2); // as the decoder gives it
    m_player.Stop();
    std::vector<std::int16_t> heard = PlayedSound(surround.nChannels);
    ASSERT_GT(heard.size(), 24000u);
    EXPECT_NEAR(ToneFrequency(std::vector<std::int16_t>(heard.begin() + 4800, heard.end()), 0.5), 440, 10);

    // The LPCM track, chosen before playing.
    ASSERT_GE(disc.info->titles[0].audioCount, 2);
    m_player.ChooseStreams(disc.info->titles[0].audioStreamId[1], 0);
    m_player.SetPosition(0);
    m_player.Play();
    PlayFor(1.0);
    const WAVEFORMATEX lpcm = sound->Format();
    m_player.Stop();
    EXPECT_EQ(lpcm.nChannels, 2);
    heard = PlayedSound(lpcm.nChannels);
    ASSERT_GT(heard.size(), 24000u);
    EXPECT_NEAR(ToneFrequency(std::vector<std::int16_t>(heard.begin() + 4800, heard.end()), 0.5), 660, 10);
}

TEST_F(PreviewTest, ABlurayTitlePlaysItsPicturesAndBothKindsOfSound)
{
    // The main title: H.264 with AC-3 English at 440 Hz listed first and Blu-ray LPCM at 660 Hz.
    RegisterMediaDiscs();
    OpenTestDisc disc("bluray");
    Open(disc, 0);
    CAudioRenderer* sound = Sound();
    ASSERT_NE(sound, nullptr);
    m_player.Play();
    PlayFor(1.0);
    m_player.Stop();
    EXPECT_GT(Pictures().size(), 10u) << Messages();
    std::vector<std::int16_t> heard = PlayedSound(sound->Format().nChannels);
    ASSERT_GT(heard.size(), 24000u);
    EXPECT_NEAR(ToneFrequency(std::vector<std::int16_t>(heard.begin() + 4800, heard.end()), 0.5), 440, 10);

    m_player.ChooseStreams(0x1101, 0);
    m_player.SetPosition(0);
    m_player.Play();
    PlayFor(1.0);
    m_player.Stop();
    heard = PlayedSound(sound->Format().nChannels);
    ASSERT_GT(heard.size(), 24000u);
    EXPECT_NEAR(ToneFrequency(std::vector<std::int16_t>(heard.begin() + 4800, heard.end()), 0.5), 660, 10);
}

TEST_F(PreviewTest, PlayingToTheEndTellsCompletion)
{
    OpenTestDisc disc("ntsc_4x3"); // title 3: 2 s
    Open(disc, 2);
    m_player.SetPosition(1.0);
    CAMEvent event(true);
    m_player.SetNotify([&] { event.Set(); });
    m_player.Play();
    bool complete = false;
    // The graph's events, as they come (the limit only ends a test that hangs).
    while (!complete && event.Wait(60000)) {
        event.Reset();
        LONG code = 0;
        LONG_PTR p1 = 0, p2 = 0;
        while (m_player.NextEvent(code, p1, p2))
            if (code == EC_COMPLETE) complete = true;
    }
    m_player.SetNotify(nullptr);
    EXPECT_TRUE(complete) << "no completion of a 1 s stretch";
}

// The window's preview logic over a real player: a task's title plays with the task's track,
// pause and resume keep the title, a track chosen for another title leaves it alone, a title
// that cannot be set up leaves nothing playing, and the end stops it.
TEST_F(PreviewTest, TheControllerPlaysATasksTitleAndStopsAtItsEnd)
{
    OpenTestDisc disc("ntsc_4x3"); // title 3: 2 s
    PreviewController controller(std::make_unique<PreviewPlayer>([this](const std::string& text) { m_messages.push_back(text); }));
    CAMEvent event(true);
    ASSERT_TRUE(controller.Prepare(disc.source, nullptr, [&] { event.Set(); })) << Messages();
    EXPECT_FALSE(controller.Resume()) << "nothing is paused";
    EXPECT_FALSE(controller.Position());

    ConversionTask missing;
    missing.titleIndex = 99;
    EXPECT_FALSE(controller.Play(missing, 0));
    EXPECT_EQ(controller.PlayingTitle(), -1);

    ConversionTask task = MakeTitleTask(2, disc.info->titles[2], disc.source->VideoOf(2));
    task.audioStreamId = disc.info->titles[2].audioStreamId[0];
    ASSERT_TRUE(controller.Play(task, 0)) << Messages();
    EXPECT_EQ(controller.PlayingTitle(), 2);
    controller.Pause();
    EXPECT_TRUE(controller.Paused());
    EXPECT_EQ(controller.PlayingTitle(), 2);
    controller.ChooseAudio(1, 0x81); // another title's choice: nothing changes here
    EXPECT_TRUE(controller.Resume());
    EXPECT_FALSE(controller.Paused());
    controller.Seek(0.5);
    bool ended = false;
    // The graph's events, as they come (the limit only ends a test that hangs).
    while (!ended && event.Wait(60000)) {
        event.Reset();
        ended = controller.HandleEvents();
    }
    EXPECT_TRUE(ended) << "no end of the title's second half";
    EXPECT_EQ(controller.PlayingTitle(), -1) << "the end stops it";
    EXPECT_FALSE(controller.Position());
    controller.Teardown();
}

} // namespace
} // namespace testing_filters
