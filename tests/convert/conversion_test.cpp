// Whole conversions of the test discs through the conversion run, every output read back with
// ffprobe and ffmpeg: files per title and merged, trims and chapters, tracks and subtitles,
// sound and picture in step, the whole PAL picture, cancel, damaged discs and failures.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>
#include <tuple>

#include <sys/mount.h>
#include <sys/resource.h>
#include <csignal>

#include "convert/conversion_support.h"
#include "write/part_file.h"
#include "decode/video_decoder_filter.h"
#include "support/ffmpeg_tools.h"
#include "support/program_stream_tools.h"
#include "support/reference_reader.h"
#include "support/test_discs.h"

namespace {

using namespace testing_filters;

constexpr int kMpeg2Profile = 9; // MPEG-2, 720 × 480, 29.97 pictures per second, MP2
constexpr int kMp4Profile = 5;   // H.264 and AAC, 640 × 480
constexpr int kMp3Profile = 17;  // MP3 only

// The title's own pictures, as grey 64 × 48, decoded by ffmpeg from its VOB bytes.
std::vector<std::vector<std::uint8_t>> TitlePictures(const OpenTestDisc& disc, int title)
{
    const std::string vob = TemporaryPath("title.vob");
    const auto bytes = ReadTitleWithLibdvdread(disc.path, title).bytes;
    std::ofstream(vob, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    auto pictures = GreyPictures(vob);
    std::filesystem::remove(vob);
    return pictures;
}

double MeanDifference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b)
{
    double sum = 0;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) sum += std::abs(a[i] - b[i]);
    return sum / static_cast<double>(std::max<std::size_t>(a.size(), 1));
}

TEST(Conversion, OneFilePerCheckedTitleHoldingEveryPicture)
{
    OpenTestDisc disc("ntsc_4x3");
    const ProfileRecord& profile = Profile(kMpeg2Profile);
    const std::string folder = OutputFolder("per-title");
    std::vector<RunTask> tasks = {MakeRunTask(disc, 0, profile), MakeRunTask(disc, 1, profile)};
    RunTask unchecked = MakeRunTask(disc, 2, profile);
    unchecked.checked = false;
    tasks.push_back(unchecked);
    const auto result = Convert(disc, tasks, Settings(profile, folder));
    ASSERT_EQ(result.failed, 0);
    ASSERT_EQ(result.files.size(), 2u);
    EXPECT_EQ(std::filesystem::path(result.files[0]).filename(), "Title_01.mpg");
    EXPECT_EQ(std::filesystem::path(result.files[1]).filename(), "Title_02.mpg");
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(folder) / "Title_03.mpg"));

    for (int title = 0; title < 2; ++title) {
        const auto source = TitlePictures(disc, title);
        const auto output = GreyPictures(result.files[static_cast<std::size_t>(title)]);
        ASSERT_EQ(output.size(), source.size()) << "title " << title + 1;
        EXPECT_LT(MeanDifference(output.front(), source.front()), 6) << "the first picture";
        EXPECT_LT(MeanDifference(output.back(), source.back()), 6) << "the last picture";
        const Probe probe = ProbeFile(result.files[static_cast<std::size_t>(title)]);
        EXPECT_EQ(probe.videoCodec, "mpeg2video");
        EXPECT_EQ(probe.audioCodec, "mp2");
        EXPECT_EQ(probe.width, 720);
        EXPECT_EQ(probe.height, 480);
    }
}

TEST(Conversion, MergedTitlesMakeOneFileOfTheirLength)
{
    OpenTestDisc disc("ntsc_4x3");
    const ProfileRecord& profile = Profile(kMp4Profile);
    RunSettings settings = Settings(profile, OutputFolder("merged"));
    settings.merge = true;
    const auto result = Convert(disc, {MakeRunTask(disc, 0, profile), MakeRunTask(disc, 1, profile)}, settings);
    ASSERT_EQ(result.files.size(), 1u);
    EXPECT_EQ(std::filesystem::path(result.files[0]).filename(), "Title_01.mp4");
    const Probe probe = ProbeFile(result.files[0]);
    const double expected = (disc.info->titles[0].durationMs + disc.info->titles[1].durationMs) / 1000;
    EXPECT_NEAR(probe.duration, expected, 0.1);
    EXPECT_NEAR(probe.frames, expected * 30000 / 1001, 2);
}

TEST(Conversion, TrimStartAndLengthAreHonoured)
{
    OpenTestDisc disc("ntsc_4x3");
    const ProfileRecord& profile = Profile(kMpeg2Profile);
    const auto result = Convert(disc, {MakeRunTask(disc, 0, profile, -1, 2000, 3000)}, Settings(profile, OutputFolder("trim")));
    ASSERT_EQ(result.files.size(), 1u);
    const Probe probe = ProbeFile(result.files[0]);
    EXPECT_NEAR(probe.frames, 90, 1); // 3 s at 29.97
    // The first picture is the source's picture at 2 s.
    const auto source = TitlePictures(disc, 0);
    const auto output = GreyPictures(result.files[0]);
    ASSERT_FALSE(output.empty());
    std::size_t best = 0;
    for (std::size_t i = 0; i < source.size(); ++i)
        if (MeanDifference(output.front(), source[i]) < MeanDifference(output.front(), source[best])) best = i;
    EXPECT_NEAR(static_cast<double>(best), 2.0 * 30000 / 1001, 1.5);
}

TEST(Conversion, AChapterConvertsJustThatChapter)
{
    OpenTestDisc disc("ntsc_4x3"); // title 1: chapters at 0, 2, 4 and 6 s
    const ProfileRecord& profile = Profile(kMp4Profile);
    const auto result = Convert(disc, {MakeRunTask(disc, 0, profile, 1)}, Settings(profile, OutputFolder("chapter")));
    ASSERT_EQ(result.files.size(), 1u);
    EXPECT_EQ(std::filesystem::path(result.files[0]).filename(), "Chapter_01_02.mp4");
    const Probe probe = ProbeFile(result.files[0]);
    EXPECT_NEAR(probe.frames, 60, 2);
    EXPECT_NEAR(probe.duration, 2.0, 0.1);
    // Nothing is missing: the chapter's last half second of sound lies in the next chapter's
    // sectors, and is read from there.
    EXPECT_TRUE(result.damage.empty()) << (result.damage.empty() ? "" : DamageText(result.damage[0]));
    EXPECT_NEAR(static_cast<double>(MonoSound(result.files[0]).size()) / 48000, 2.0, 0.1);

    // Sound alone, and the title's last chapter, the same.
    const ProfileRecord& mp3 = Profile(kMp3Profile);
    for (int chapter : {1, 3}) {
        const auto sound = Convert(disc, {MakeRunTask(disc, 0, mp3, chapter)}, Settings(mp3, OutputFolder("chapter-mp3")));
        ASSERT_EQ(sound.files.size(), 1u);
        EXPECT_TRUE(sound.damage.empty()) << "chapter " << chapter + 1;
        EXPECT_NEAR(static_cast<double>(MonoSound(sound.files[0]).size()) / 48000, 2.0, 0.1) << "chapter " << chapter + 1;
    }
}

TEST(Conversion, AudioOnlyAndVideoOnlyProfiles)
{
    OpenTestDisc disc("ntsc_4x3");
    const auto audio = Convert(disc, {MakeRunTask(disc, 1, Profile(kMp3Profile))}, Settings(Profile(kMp3Profile), OutputFolder("audio-only")));
    ASSERT_EQ(audio.files.size(), 1u);
    Probe probe = ProbeFile(audio.files[0]);
    EXPECT_EQ(probe.streams, 1);
    EXPECT_EQ(probe.audioCodec, "mp3");
    EXPECT_NEAR(probe.duration, disc.info->titles[1].durationMs / 1000, 0.1);

    ProfileRecord silent = Profile(kMpeg2Profile);
    silent.writer.hasAudio = 0;
    const auto video = Convert(disc, {MakeRunTask(disc, 1, silent)}, Settings(silent, OutputFolder("video-only")));
    ASSERT_EQ(video.files.size(), 1u);
    probe = ProbeFile(video.files[0]);
    EXPECT_EQ(probe.streams, 1);
    EXPECT_EQ(probe.videoCodec, "mpeg2video");
    EXPECT_EQ(probe.frames, 120);
}

TEST(Conversion, TheChosenAudioTrackIsTheOneHeard)
{
    OpenTestDisc disc("ntsc_4x3"); // title 1: AC-3 at 440 Hz, MP2 at 660 Hz
    const ProfileRecord& profile = Profile(kMp3Profile);
    auto first = Convert(disc, {MakeRunTask(disc, 0, profile)}, Settings(profile, OutputFolder("track-1")));
    RunSettings second = Settings(profile, OutputFolder("track-2"));
    second.selectedAudioStreamId = 0xC000;
    auto other = Convert(disc, {MakeRunTask(disc, 0, profile)}, second);
    ASSERT_EQ(first.files.size(), 1u);
    ASSERT_EQ(other.files.size(), 1u);
    EXPECT_NEAR(ToneFrequency(MonoSound(first.files[0]), 5), 440, 10);
    const auto sound = MonoSound(other.files[0]);
    EXPECT_NEAR(ToneFrequency(sound, 5), 660, 10);
    EXPECT_NEAR(ToneFrequency(sound, 0.5), 660, 20) << "the first track's opening in the file";
}

TEST(Conversion, MergedTitlesMustBringAsManySoundTracks)
{
    OpenTestDisc disc("ntsc_4x3"); // every title: AC-3 English (BD80) and MP2 French (C000)
    const ProfileRecord& profile = Profile(kMp4Profile);
    RunSettings settings = Settings(profile, OutputFolder("merge-tracks"));
    settings.merge = true;
    settings.severalSoundStreams = true;
    RunTask two = MakeRunTask(disc, 0, profile);
    two.task.audioStreamId = 0xBD80;
    two.task.moreAudio = {0xC000};
    RunTask one = MakeRunTask(disc, 1, profile);
    const std::string refusal = MergeRefusal({two, one}, settings);
    EXPECT_NE(refusal.find("different numbers of audio tracks"), std::string::npos) << refusal;
    EXPECT_NE(refusal.find("has 2, "), std::string::npos) << refusal;
    // The run refuses it too, before anything is written.
    const auto result = Convert(disc, {two, one}, settings);
    EXPECT_TRUE(result.files.empty());
    EXPECT_EQ(result.failed, 1);
    // As many each, or a format that keeps one track: nothing to refuse.
    one.task.moreAudio = {0xBD80};
    EXPECT_EQ(MergeRefusal({two, one}, settings), "");
    settings.severalSoundStreams = false;
    one.task.moreAudio.clear();
    EXPECT_EQ(MergeRefusal({two, one}, settings), "");
}

TEST(Conversion, AChosenSubtitleIsBurnedInAndNoneBurnsNothing)
{
    OpenTestDisc disc("ntsc_4x3"); // title 2: English box 0.5–1.5 s, German (yellow) box 1.0–1.8 s
    const ProfileRecord& profile = Profile(kMpeg2Profile);
    RunSettings german = Settings(profile, OutputFolder("subtitle-de"));
    german.selectedSubtitleId = 0xBD21;
    RunSettings none = Settings(profile, OutputFolder("subtitle-none"));
    none.subtitles = false;
    const auto with = Convert(disc, {MakeRunTask(disc, 1, profile)}, german);
    const auto without = Convert(disc, {MakeRunTask(disc, 1, profile)}, none);
    ASSERT_EQ(with.files.size(), 1u);
    ASSERT_EQ(without.files.size(), 1u);
    const auto a = GreyPictures(with.files[0]);
    const auto b = GreyPictures(without.files[0]);
    ASSERT_EQ(a.size(), b.size());
    const auto source = TitlePictures(disc, 1);
    ASSERT_EQ(b.size(), source.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        // The box: 180–540 × 360–408 of 720 × 480, in the 64 × 48 grey picture.
        double inside = 0;
        for (int y = 37; y < 40; ++y)
            for (int x = 17; x < 47; ++x) inside += a[i][static_cast<std::size_t>(y * 64 + x)] - b[i][static_cast<std::size_t>(y * 64 + x)];
        inside /= 3 * 30;
        const double seconds = static_cast<double>(i) * 1001 / 30000;
        if (seconds >= 1.05 && seconds < 1.75) {
            EXPECT_GT(inside, 20) << "picture " << i << " at " << seconds << " s";
        } else if (seconds < 0.95 || seconds >= 1.85) {
            EXPECT_LT(std::abs(inside), 3) << "picture " << i << " at " << seconds << " s";
        }
        // Without subtitles the output is the plain title.
        EXPECT_LT(MeanDifference(b[i], source[i]), 6) << "picture " << i;
    }
}

TEST(Conversion, SubpicturesAreBurnedInTheDiscsOwnColours)
{
    // The title's chain gives the subpictures' colours: white for the English box, yellow for the
    // German one. Without them libavcodec guessed, and drew both white.
    OpenTestDisc disc("ntsc_4x3"); // title 2: English box 0.5–1.5 s, German (yellow) box 1.0–1.8 s
    const std::vector<std::uint32_t> palette = disc.source->SubpicturePalette(1);
    ASSERT_EQ(palette.size(), 16u);
    EXPECT_EQ(palette[0], 0xFFFFFFu);
    EXPECT_EQ(palette[1] & 0xF0F0F0, 0xF0F000u) << std::hex << palette[1];
    const ProfileRecord& profile = Profile(kMp4Profile);
    for (const auto& [subtitle, at, yellow] : {std::tuple{0xBD20, "1.2", false}, std::tuple{0xBD21, "1.6", true}}) {
        RunSettings settings = Settings(profile, OutputFolder("subtitle-colour"));
        settings.selectedSubtitleId = subtitle;
        const auto result = Convert(disc, {MakeRunTask(disc, 1, profile)}, settings);
        ASSERT_EQ(result.files.size(), 1u);
        // The box's middle, 300–340 × 370–380 of 720 × 480, in the profile's picture.
        const std::string rgb = ToolOutput({"ffmpeg", "-v", "error", "-ss", at, "-i", result.files[0], "-frames:v", "1", "-vf",
                                            "scale=720:480,crop=40:10:300:370", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"});
        ASSERT_EQ(rgb.size(), 40u * 10 * 3);
        double mean[3] = {};
        for (std::size_t i = 0; i < rgb.size(); ++i) mean[i % 3] += static_cast<unsigned char>(rgb[i]) / 400.0;
        SCOPED_TRACE(yellow ? "German" : "English");
        EXPECT_GT(mean[0], 220);
        EXPECT_GT(mean[1], 220);
        if (yellow)
            EXPECT_LT(mean[2], 60);
        else
            EXPECT_GT(mean[2], 220);
    }
}

// Every tone burst has its flash within a frame period, and there are as many of each.
void ExpectInStep(const std::string& file, int expectedFlashes)
{
    const auto flashes = FlashTimes(file);
    const auto clicks = ClickTimes(file);
    SCOPED_TRACE(file);
    EXPECT_EQ(static_cast<int>(flashes.size()), expectedFlashes);
    ASSERT_EQ(flashes.size(), clicks.size());
    const double period = 1 / ProbeFile(file).frameRate;
    for (std::size_t i = 0; i < flashes.size(); ++i)
        EXPECT_LE(std::abs(flashes[i] - clicks[i]), period + 0.002)
            << "burst " << i << ": flash at " << flashes[i] << " s, tone at " << clicks[i] << " s";
}

TEST(Conversion, SoundAndPictureStayInStep)
{
    OpenTestDisc disc("sync"); // title 1: two cells of 6 s, flashes at 1, 3, 5 s of each; title 2: one cell
    const ProfileRecord& profile = Profile(kMp4Profile);
    // Whole title, across the cell boundary where the time stamps start again.
    auto whole = Convert(disc, {MakeRunTask(disc, 0, profile)}, Settings(profile, OutputFolder("sync-whole")));
    ASSERT_EQ(whole.files.size(), 1u);
    ExpectInStep(whole.files[0], 6);
    // Trimmed: 2.5 s to 8.5 s holds the flashes at 3, 5 and 7 s (the second cell's first).
    auto trimmed = Convert(disc, {MakeRunTask(disc, 0, profile, -1, 2500, 6000)}, Settings(profile, OutputFolder("sync-trim")));
    ASSERT_EQ(trimmed.files.size(), 1u);
    ExpectInStep(trimmed.files[0], 3);
    // Merged: the second title's flashes stay in step behind the first's.
    RunSettings merged = Settings(profile, OutputFolder("sync-merge"));
    merged.merge = true;
    auto both = Convert(disc, {MakeRunTask(disc, 1, profile), MakeRunTask(disc, 0, profile)}, merged);
    ASSERT_EQ(both.files.size(), 1u);
    ExpectInStep(both.files[0], 9);
    // At 25 pictures per second too.
    const ProfileRecord& pal = Profile(58);
    auto avi = Convert(disc, {MakeRunTask(disc, 0, pal)}, Settings(pal, OutputFolder("sync-25")));
    ASSERT_EQ(avi.files.size(), 1u);
    ExpectInStep(avi.files[0], 6);
}

// Where picture and sound of each burst are against each other (s, the sound's minus the
// picture's), for one conversion of the sync disc's title 1.
std::vector<double> BurstOffsets(const OpenTestDisc& disc, const ProfileRecord& profile, std::int64_t startMs,
                                 std::int64_t lengthMs, const std::string& folder)
{
    const auto result = Convert(disc, {MakeRunTask(disc, 0, profile, -1, startMs, lengthMs)}, Settings(profile, OutputFolder(folder)));
    if (result.files.size() != 1) return {};
    const auto flashes = FlashTimes(result.files[0]);
    const auto clicks = ClickTimes(result.files[0]);
    std::vector<double> offsets;
    for (std::size_t i = 0; i < flashes.size() && i < clicks.size(); ++i) offsets.push_back(clicks[i] - flashes[i]);
    return offsets;
}

TEST(Conversion, TrimsStartingAnywhereInAGroupOfPicturesKeepPictureAndSoundInStep)
{
    // The disc's groups of pictures are half a second (15 pictures) long. A trim that starts
    // inside one, at ten places, or inside the second cell (whose time stamps start again),
    // shows every flash with its tone within 10 ms, as the whole title does.
    OpenTestDisc disc("sync");
    const ProfileRecord& profile = Profile(kMpeg2Profile);
    for (const auto& offset : BurstOffsets(disc, profile, 0, -1, "gop-whole")) EXPECT_LE(std::abs(offset), 0.010) << "whole title";
    std::vector<std::int64_t> starts;
    for (int k = 0; k < 10; ++k) starts.push_back(1500 + 50 * k);
    for (std::int64_t second : {6100, 6250, 6433, 6720}) starts.push_back(second);
    for (const std::int64_t start : starts) {
        const auto offsets = BurstOffsets(disc, profile, start, 2000, "gop-" + std::to_string(start));
        ASSERT_EQ(offsets.size(), 1u) << "trim from " << start << " ms";
        EXPECT_LE(std::abs(offsets[0]), 0.010) << "trim from " << start << " ms: the tone is " << offsets[0] * 1000
                                               << " ms after the flash";
    }
}

TEST(Conversion, ATrimInsideALaterCellHoldsItsWholeRangeInStep)
{
    // Title 1 of the sync disc: two cells of 180 pictures (6.006 s), the second starting its
    // time stamps again; flashes at 1, 3 and 5 s of each. 7.5 s to 11.5 s holds the second
    // cell's flashes at 3 and 5 s: 9.006 and 11.006 s of the title.
    OpenTestDisc disc("sync");
    const ProfileRecord& profile = Profile(kMp4Profile);
    const auto result = Convert(disc, {MakeRunTask(disc, 0, profile, -1, 7500, 4000)}, Settings(profile, OutputFolder("trim-cell")));
    ASSERT_EQ(result.files.size(), 1u);
    EXPECT_EQ(result.failed, 0);
    const Probe probe = ProbeFile(result.files[0]);
    EXPECT_NEAR(probe.frames, 4.0 * 30000 / 1001, 1.5);
    EXPECT_NEAR(probe.duration, 4.0, 0.1);
    ExpectInStep(result.files[0], 2);
    const auto flashes = FlashTimes(result.files[0]);
    ASSERT_EQ(flashes.size(), 2u);
    const double period = 1001.0 / 30000;
    EXPECT_NEAR(flashes[0], 9.009 - 7.5, period + 0.002);
    EXPECT_NEAR(flashes[1], 11.011 - 7.5, period + 0.002);
}

TEST(Conversion, TheLastSecondOfATrimHasItsSound)
{
    OpenTestDisc disc("ntsc_4x3"); // title 1: a steady 440 Hz tone
    const ProfileRecord& profile = Profile(kMp4Profile);
    const auto result = Convert(disc, {MakeRunTask(disc, 0, profile, -1, 2000, 3000)}, Settings(profile, OutputFolder("trim-end")));
    ASSERT_EQ(result.files.size(), 1u);
    const auto sound = MonoSound(result.files[0]);
    ASSERT_GT(sound.size(), 48000u * 29 / 10);
    auto rms = [&](std::size_t from, std::size_t to) {
        double sum = 0;
        for (std::size_t i = from; i < to; ++i) sum += static_cast<double>(sound[i]) * sound[i];
        return std::sqrt(sum / static_cast<double>(to - from));
    };
    const double opening = rms(4800, 28800);
    ASSERT_GT(opening, 1000);
    // Every tenth of the last second sounds as loud as the opening (the end's last 40 ms aside:
    // the encoder's final frame).
    const std::size_t end = 48000 * 3 - 2000;
    for (std::size_t from = end - 48000; from + 4800 <= end; from += 4800)
        EXPECT_NEAR(rms(from, from + 4800), opening, opening * 0.1) << "at " << static_cast<double>(from) / 48000 << " s";
}

TEST(Conversion, APalWidescreenTitleKeepsItsWholePicture)
{
    OpenTestDisc disc("pal_16x9");
    const ProfileRecord& profile = Profile(58); // AVI, 480 × 360 at 25 pictures per second, as the disc
    const RunTask task = MakeRunTask(disc, 0, profile);
    EXPECT_EQ(task.task.clip.picture.cropRight, 720);
    EXPECT_EQ(task.task.clip.picture.cropBottom, 576);
    const auto result = Convert(disc, {task}, Settings(profile, OutputFolder("pal")));
    ASSERT_EQ(result.files.size(), 1u);
    // The whole 720 × 576 picture shown at 16:9: 480 × 268 between bars of 46 rows; against the
    // upper 720 × 480 only (what a fixed 720 × 480 crop keeps) in the same place.
    const std::string vob = TemporaryPath("pal.vob");
    const auto bytes = ReadTitleWithLibdvdread(disc.path, 0).bytes;
    std::ofstream(vob, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    const std::string whole = TemporaryPath("pal-whole.mkv"), top = TemporaryPath("pal-top.mkv");
    RunTool({"ffmpeg", "-v", "error", "-y", "-i", vob, "-map", "0:v:0", "-vf", "scale=480:268,pad=480:360:0:46", "-c:v", "ffv1",
             whole});
    RunTool({"ffmpeg", "-v", "error", "-y", "-i", vob, "-map", "0:v:0", "-vf", "crop=720:480:0:0,scale=480:268,pad=480:360:0:46",
             "-c:v", "ffv1", top});
    std::filesystem::remove(vob);
    const auto ours = GreyPictures(result.files[0]);
    const auto expected = GreyPictures(whole);
    const auto cut = GreyPictures(top);
    std::filesystem::remove(whole);
    std::filesystem::remove(top);
    ASSERT_GT(ours.size(), 30u);
    ASSERT_GT(expected.size(), 30u);
    // The picture's bottom rows (the pattern's last sixth, rows 36 to 41 of 48) are there.
    auto bottom = [](const std::vector<std::uint8_t>& p) {
        return std::vector<std::uint8_t>(p.begin() + 36 * 64, p.begin() + 42 * 64);
    };
    const double kept = MeanDifference(bottom(ours[30]), bottom(expected[30]));
    EXPECT_LT(kept, 8);
    EXPECT_GT(MeanDifference(bottom(ours[30]), bottom(cut[30])), kept + 5);
}

TEST(Conversion, CancelLeavesAValidFileOfWhatWasConverted)
{
    OpenTestDisc disc("sync");
    const ProfileRecord& profile = Profile(kMp4Profile);
    RegisterPlatformDecoders();
    const std::string folder = OutputFolder("cancel");
    RunSettings settings = Settings(profile, folder);
    settings.picture = MakeRunTask(disc, 0, profile).task.clip.picture;
    ConversionRun run(disc.source, {MakeRunTask(disc, 0, profile)}, settings);
    ASSERT_TRUE(run.Start());
    double position = 0;
    while (run.Step(20)) {
        const RunProgress p = run.Progress();
        if (p.fraction > 0.4) {
            position = static_cast<double>(p.position) / 1e7;
            run.Cancel();
        }
    }
    EXPECT_TRUE(run.Cancelled());
    ASSERT_EQ(run.FilesWritten().size(), 1u);
    // The pictures run to about where the run was (the sound, converted faster, may run on).
    const Probe probe = ProbeFile(run.FilesWritten()[0]);
    EXPECT_EQ(probe.videoCodec, "h264");
    const double pictures = probe.frames / probe.frameRate;
    EXPECT_GT(pictures, position - 0.5);
    EXPECT_LT(pictures, position + 1.5);
    EXPECT_LT(pictures, 11);
}

TEST(Conversion, APausedRunStandsStillAndCancelsAtOnce)
{
    OpenTestDisc disc("sync");
    const ProfileRecord& profile = Profile(kMp4Profile);
    RegisterPlatformDecoders();
    const std::string folder = OutputFolder("pause");
    RunSettings settings = Settings(profile, folder);
    ConversionRun run(disc.source, {MakeRunTask(disc, 0, profile)}, settings);
    ASSERT_TRUE(run.Start());
    while (run.Step(20) && run.Progress().fraction < 0.2) {
    }
    run.Pause();
    run.Step(300);
    const REFERENCE_TIME paused = run.Progress().position;
    for (int i = 0; i < 10; ++i) run.Step(100);
    // Nothing is encoded while paused: the sink holds the samples.
    EXPECT_EQ(run.Progress().position, paused);
    EXPECT_FALSE(run.Finished());
    run.Cancel();
    EXPECT_TRUE(run.Cancelled());
    ASSERT_EQ(run.FilesWritten().size(), 1u);
    const Probe probe = ProbeFile(run.FilesWritten()[0]);
    EXPECT_NEAR(probe.frames / probe.frameRate, static_cast<double>(paused) / 1e7, 1.0);
}

TEST(Conversion, ElapsedTimeRunsAcrossTitlesLeavesPausesOutAndNeverGoesBack)
{
    OpenTestDisc disc("ntsc_4x3");
    const ProfileRecord& profile = Profile(kMp3Profile);
    RegisterPlatformDecoders();
    std::int64_t now = 0; // the run's clock, moved by the test: 100 ms a step
    ConversionRun run(disc.source, {MakeRunTask(disc, 0, profile), MakeRunTask(disc, 1, profile), MakeRunTask(disc, 2, profile)},
                      Settings(profile, OutputFolder("elapsed")), {}, [&] { return now; });
    ASSERT_TRUE(run.Start());
    std::int64_t last = 0;
    bool paused = false;
    std::size_t tasksSeen = 0;
    while (run.Step(20)) {
        now += 100;
        const RunProgress p = run.Progress();
        EXPECT_GE(p.elapsedMs, last) << "task " << p.task;
        last = p.elapsedMs;
        tasksSeen = std::max(tasksSeen, p.task + 1);
        if (!paused && p.task == 1 && p.running) {
            // A minute's pause in the second title is left out.
            run.Pause();
            ASSERT_FALSE(run.Progress().running);
            now += 60000;
            EXPECT_EQ(run.Progress().elapsedMs, last);
            run.Continue();
            paused = true;
        }
    }
    EXPECT_TRUE(paused);
    EXPECT_EQ(tasksSeen, 3u);
    ASSERT_EQ(run.FilesWritten().size(), 3u);
    // From the start to the end of the whole run, but for the pause.
    EXPECT_EQ(run.Progress().elapsedMs, now - 60000);
    EXPECT_EQ(run.Progress().remainingMs, 0);
}

TEST(Conversion, UnreadableBlocksAreSkippedAndTheTitleConvertsToItsEnd)
{
    OpenTestDisc disc("ntsc_4x3");
    int failed = 0;
    MyDVDSetReadFaultHook(disc.handle, [&](int, std::uint32_t sector) {
        if (sector >= 600 && sector < 640) {
            ++failed;
            return ReadFault::Fail;
        }
        return sector >= 900 && sector < 910 ? ReadFault::Zero : ReadFault::None;
    });
    const ProfileRecord& profile = Profile(kMp4Profile);
    const auto result = Convert(disc, {MakeRunTask(disc, 0, profile)}, Settings(profile, OutputFolder("damaged")));
    EXPECT_GT(failed, 0);
    EXPECT_GE(MyDVDSkippedSectors(disc.handle), 40);
    ASSERT_EQ(result.files.size(), 1u);
    EXPECT_EQ(result.failed, 0);
    const Probe probe = ProbeFile(result.files[0]);
    EXPECT_NEAR(probe.duration, disc.info->titles[0].durationMs / 1000, 0.1);
}

TEST(Conversion, ATitleWhoseOpeningCannotBeReadConvertsFromItsFirstReadablePicture)
{
    // The drive fails the title's first 48 sectors (every retry): the rest converts, the file
    // keeps the title's length, and the opening is what could not be read.
    OpenTestDisc disc("ntsc_4x3");
    MyDVDSetReadFaultHook(disc.handle, [](int, std::uint32_t sector) { return sector < 48 ? ReadFault::Fail : ReadFault::None; });
    const ProfileRecord& profile = Profile(kMp4Profile);
    const auto result = Convert(disc, {MakeRunTask(disc, 0, profile)}, Settings(profile, OutputFolder("opening")));
    MyDVDSetReadFaultHook(disc.handle, nullptr);
    ASSERT_EQ(result.failed, 0) << (result.messages.empty() ? "" : result.messages[0]);
    ASSERT_EQ(result.files.size(), 1u);
    ASSERT_EQ(result.damage.size(), 1u);
    ASSERT_FALSE(result.damage[0].lost.empty());
    EXPECT_EQ(result.damage[0].lost[0].start, 0);
    EXPECT_GT(result.damage[0].lost[0].stop, 1000000);
    EXPECT_NEAR(ProbeFile(result.files[0]).duration, disc.info->titles[0].durationMs / 1000.0, 0.2);
}

TEST(Conversion, CancelDoesNotWaitForADamagedDrivesRetries)
{
    // From sector 300 on every read fails, slowly, as a damaged drive does (a read of ten sectors
    // with its retries takes seconds; the title's end, many minutes). A cancel does not wait for
    // the retries: it lets the read under way end and starts no other. What was converted is kept.
    OpenTestDisc disc("ntsc_4x3");
    std::atomic<int> failures{0};
    MyDVDSetReadFaultHook(disc.handle, [&](int, std::uint32_t sector) {
        if (sector < 300) return ReadFault::None;
        ++failures;
        // The drive's slowness, imitated: the test waits for the failures, not for this time.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return ReadFault::Fail;
    });
    const ProfileRecord& profile = Profile(kMp4Profile);
    RegisterPlatformDecoders();
    RunSettings settings = Settings(profile, OutputFolder("cancel-retries"));
    settings.picture = MakeRunTask(disc, 0, profile).task.clip.picture;
    ConversionRun run(disc.source, {MakeRunTask(disc, 0, profile)}, settings);
    ASSERT_TRUE(run.Start());
    while (run.Step(20) && failures.load() < 3) {
    }
    ASSERT_FALSE(run.Finished());
    const int before = failures.load();
    run.Cancel();
    // The reads under way on the reading threads may end; none other is started.
    EXPECT_LE(failures.load() - before, 2);
    EXPECT_TRUE(run.Cancelled());
    ASSERT_EQ(run.FilesWritten().size(), 1u);
    EXPECT_EQ(ProbeFile(run.FilesWritten()[0]).videoCodec, "h264");
    MyDVDSetReadFaultHook(disc.handle, nullptr);
}

TEST(Conversion, WhatCouldNotBeReadIsSaidStretchByStretch)
{
    const FileDamage damage{"/out/Title_01.mp4", {{150000000, 220000000}, {630000000, 632000000}}};
    EXPECT_EQ(DamageText(damage), "Title_01.mp4: 7.2 s could not be read, at 00:00:15\u201300:00:22, 00:01:03\u201300:01:04");
    const FileDamage tiny{"/out/Title_02.mp4", {{95000000, 95333667}}};
    EXPECT_EQ(DamageText(tiny), "Title_02.mp4: under 0.1 s could not be read, at 00:00:09\u201300:00:10");
    // Gaps half a second apart or less are one stretch; those further apart stay two.
    const auto merged = MergeLost({{31000000, 40000000}, {10000000, 20000000}, {22000000, 25000000}});
    ASSERT_EQ(merged.size(), 2u);
    EXPECT_EQ(merged[0].start, 10000000);
    EXPECT_EQ(merged[0].stop, 25000000);
    EXPECT_EQ(merged[1].start, 31000000);
}

TEST(Conversion, SoundTheDecoderRefusesIsReportedAsLost)
{
    // A copy of the PAL disc in which one LPCM packet, about half-way, claims an impossible
    // sample depth: libav refuses it, which loses 10 ms of sound. Nothing else is wrong.
    const std::filesystem::path copy = TemporaryPath("refused-lpcm");
    std::filesystem::remove_all(copy);
    std::filesystem::copy(TestDisc("pal_16x9"), copy, std::filesystem::copy_options::recursive);
    const std::filesystem::path vob = copy / "VIDEO_TS" / "VTS_01_1.VOB";
    std::vector<std::uint8_t> bytes(std::filesystem::file_size(vob));
    std::ifstream(vob, std::ios::binary).read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    std::vector<PesPacket> lpcm;
    std::int64_t firstPts = INT64_MAX;
    ForEachPesPacket(bytes, [&](PesPacket& p) {
        if (p.hasPts) firstPts = std::min(firstPts, ReadPts(bytes, p));
        if (p.id == 0xBD && p.hasPts && p.payload + 6 < p.end && bytes[p.payload] == 0xA0) lpcm.push_back(p);
    });
    ASSERT_GT(lpcm.size(), 100u);
    const PesPacket& damaged = lpcm[lpcm.size() / 3]; // in title 1, whose 6 s come first
    bytes[damaged.payload + 5] |= 0xC0;               // quantisation 3: no such depth
    std::ofstream(vob, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    const double at = static_cast<double>(ReadPts(bytes, damaged) - firstPts) / 90000;

    OpenTestDisc disc(copy.string());
    const ProfileRecord& profile = Profile(kMp4Profile);
    RunSettings settings = Settings(profile, OutputFolder("refused-lpcm"));
    settings.selectedAudioStreamId = 0xBDA0;
    const auto result = Convert(disc, {MakeRunTask(disc, 0, profile)}, settings);
    ASSERT_EQ(result.failed, 0);
    ASSERT_EQ(result.files.size(), 1u);
    ASSERT_EQ(result.damage.size(), 1u) << "the refused packet is not reported";
    ASSERT_EQ(result.damage[0].lost.size(), 1u);
    const LostStretch& lost = result.damage[0].lost[0];
    EXPECT_NEAR(static_cast<double>(lost.start) / 1e7, at, 0.1);
    EXPECT_LT(lost.stop - lost.start, 500000); // about the packet's own length, not more
    std::filesystem::remove_all(copy);
}

TEST(Conversion, AFileThatCannotBeCreatedIsReportedAndCountsAsFailed)
{
    OpenTestDisc disc("ntsc_4x3");
    const ProfileRecord& profile = Profile(kMp4Profile);
    const auto result =
        Convert(disc, {MakeRunTask(disc, 0, profile), MakeRunTask(disc, 1, profile)}, Settings(profile, "/nonexistent-folder"));
    EXPECT_EQ(result.failed, 2);
    EXPECT_TRUE(result.files.empty());
    ASSERT_FALSE(result.messages.empty());
    EXPECT_EQ(result.messages[0], "Could not create output file /nonexistent-folder/Title_01.mp4: No such file or directory");
}

TEST(Conversion, ANameTakenFollowsItsTasksRule)
{
    // Three titles' names are taken: one is kept beside ("Title_01 (2).mp3", as is a second
    // "(2)" that is there too), one replaces the old file, one fails and leaves the old file.
    OpenTestDisc disc("ntsc_4x3");
    const ProfileRecord& profile = Profile(kMp3Profile);
    const std::string folder = OutputFolder("names-taken");
    for (const char* name : {"Title_01.mp3", "Title_01 (2).mp3", "Title_02.mp3"}) std::ofstream(folder + "/" + name) << "old";
    std::vector<RunTask> tasks{MakeRunTask(disc, 0, profile), MakeRunTask(disc, 1, profile)};
    tasks[0].ifNameTaken = IfNameTaken::kKeepBoth;
    tasks[1].ifNameTaken = IfNameTaken::kReplace;
    auto result = Convert(disc, tasks, Settings(profile, folder));
    EXPECT_EQ(result.failed, 0);
    EXPECT_EQ(result.files, (std::vector<std::string>{folder + "/Title_01 (3).mp3", folder + "/Title_02.mp3"}));
    for (const char* old : {"Title_01.mp3", "Title_01 (2).mp3"}) {
        std::ifstream in(folder + "/" + old);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "old") << old;
    }
    EXPECT_GT(ProbeFile(folder + "/Title_02.mp3").duration, 3.0);
    EXPECT_GT(ProbeFile(folder + "/Title_01 (3).mp3").duration, 7.0);
    // The default: a name taken while the run converts (another program, a second run) keeps
    // the old file; the finished one goes beside it, and the run says where.
    tasks = {MakeRunTask(disc, 1, profile)};
    std::ofstream(folder + "/Title_02.mp3") << "old";
    result = Convert(disc, tasks, Settings(profile, folder));
    EXPECT_EQ(result.failed, 0);
    EXPECT_EQ(result.files, std::vector<std::string>{folder + "/Title_02 (2).mp3"});
    EXPECT_GT(ProbeFile(folder + "/Title_02 (2).mp3").duration, 3.0);
    EXPECT_NE(std::find(result.messages.begin(), result.messages.end(),
                        "Title_02.mp3 appeared in the output folder while it was converted; the new file is Title_02 (2).mp3"),
              result.messages.end());
    std::ifstream in(folder + "/Title_02.mp3");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "old");
}

TEST(Conversion, AFinishedFileThatCannotTakeItsNameIsKeptAndSaidWhere)
{
    // A folder appears under the name while the file is converted, and the user said to replace
    // what is there: a folder is not replaced, and the converted file stays as its part.
    OpenTestDisc disc("ntsc_4x3");
    const ProfileRecord& profile = Profile(kMp3Profile);
    const std::string folder = OutputFolder("name-is-folder");
    RegisterPlatformDecoders();
    RunSettings settings = Settings(profile, folder);
    settings.overwrite = true;
    std::vector<std::string> messages;
    ConversionRun run(disc.source, {MakeRunTask(disc, 0, profile)}, settings, [&](const std::string& m) { messages.push_back(m); });
    ASSERT_TRUE(run.Start());
    std::filesystem::create_directory(folder + "/Title_01.mp3");
    while (run.Step(20)) {
    }
    EXPECT_EQ(run.TasksFailed(), 1);
    EXPECT_TRUE(run.FilesWritten().empty());
    const std::vector<std::string> parts = OrphanedParts(folder);
    ASSERT_EQ(parts.size(), 1u);
    EXPECT_GT(ProbeFile(parts[0]).duration, 7.0);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Could not write output file " + folder + "/Title_01.mp3: Is a directory; the converted file is kept as " + parts[0]);
}

TEST(Conversion, TwoFilesOfOneNameAreRefusedBeforeTheRun)
{
    OpenTestDisc disc("ntsc_4x3");
    const ProfileRecord& profile = Profile(kMp3Profile);
    const std::string folder = OutputFolder("one-name");
    std::vector<RunTask> tasks{MakeRunTask(disc, 0, profile), MakeRunTask(disc, 1, profile)};
    tasks[1].outputName = tasks[0].outputName;
    RunSettings settings = Settings(profile, folder);
    settings.overwrite = true;
    const auto result = Convert(disc, tasks, settings);
    EXPECT_EQ(result.failed, 1);
    EXPECT_TRUE(result.files.empty());
    ASSERT_FALSE(result.messages.empty());
    EXPECT_EQ(result.messages[0], "Two files of this run would be named Title_01.mp3: give each title a name of its own");
    EXPECT_TRUE(std::filesystem::is_empty(folder));
}

TEST(Conversion, LinksWhereThePartsWouldGoAreNotFollowed)
{
    // Links to a file outside the output folder under the old part name and under the first
    // names this run will try: the run writes a part of its own, and the file outside stays.
    OpenTestDisc disc("ntsc_4x3");
    const ProfileRecord& profile = Profile(kMp3Profile);
    const std::string folder = OutputFolder("part-links"), outside = OutputFolder("part-links-outside");
    const std::string victim = outside + "/victim.mp3";
    std::ofstream(victim) << "precious";
    RunSettings settings = Settings(profile, folder);
    settings.partNameSeed = 1234;
    const std::string target = folder + "/Title_01.mp3";
    std::filesystem::create_symlink(victim, target + ".part");
    for (int attempt = 0; attempt < 3; ++attempt)
        std::filesystem::create_symlink(victim, PartFile::CandidateName(target, settings.partNameSeed, attempt));
    const auto result = Convert(disc, {MakeRunTask(disc, 0, profile)}, settings);
    ASSERT_EQ(result.files, std::vector<std::string>{target});
    EXPECT_NEAR(ProbeFile(target).duration, disc.info->titles[0].durationMs / 1000.0, 0.2);
    std::ifstream in(victim);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "precious");
    // Only the links that were there, and the file.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 5);
}

TEST(Conversion, ACancelledFileNeverTakesTheFinalName)
{
    OpenTestDisc disc("sync");
    const ProfileRecord& profile = Profile(kMp4Profile);
    RegisterPlatformDecoders();
    const std::string folder = OutputFolder("cancel-name");
    for (const char* expected : {"Title_01 (partial).mp4", "Title_01 (partial 2).mp4"}) {
        ConversionRun run(disc.source, {MakeRunTask(disc, 0, profile)}, Settings(profile, folder));
        ASSERT_TRUE(run.Start());
        while (run.Step(20) && run.Progress().fraction < 0.1) {
        }
        run.Cancel();
        ASSERT_EQ(run.FilesWritten().size(), 1u);
        EXPECT_EQ(std::filesystem::path(run.FilesWritten()[0]).filename(), expected);
        EXPECT_EQ(ProbeFile(run.FilesWritten()[0]).videoCodec, "h264");
    }
    EXPECT_FALSE(std::filesystem::exists(folder + "/Title_01.mp4"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 2);
}

// A folder whose file system holds `bytes`: a tmpfs where one may be mounted, else a folder in
// which this process may not write files larger than that (RLIMIT_FSIZE).
class SmallFileSystem {
public:
    SmallFileSystem(const std::string& folder, long bytes) : m_folder(folder)
    {
        const std::string options = "size=" + std::to_string(bytes);
        m_mounted = ::mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) == 0;
        if (!m_mounted) {
            std::signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead
            ::getrlimit(RLIMIT_FSIZE, &m_previous);
            rlimit limit = m_previous;
            limit.rlim_cur = static_cast<rlim_t>(bytes);
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
    }
    ~SmallFileSystem()
    {
        if (m_mounted)
            ::umount(m_folder.c_str());
        else
            ::setrlimit(RLIMIT_FSIZE, &m_previous);
    }
    // What the system says when the file system is full.
    std::string Reason() const { return m_mounted ? "No space left on device" : "File too large"; }

private:
    std::string m_folder;
    bool m_mounted = false;
    rlimit m_previous{};
};

TEST(Conversion, AFullDiskStopsTheRunAtTheFailingWrite)
{
    OpenTestDisc disc("sync"); // 12 s and 6 s, about 500 KB and 250 KB as MPEG-2
    const ProfileRecord& profile = Profile(kMpeg2Profile);
    RegisterPlatformDecoders();
    const std::string folder = OutputFolder("full");
    SmallFileSystem full(folder, 128 * 1024); // a few seconds of the title's pictures
    std::vector<std::string> messages;
    ConversionRun run(disc.source, {MakeRunTask(disc, 0, profile), MakeRunTask(disc, 1, profile)},
                      Settings(profile, folder), [&](const std::string& text) { messages.push_back(text); });
    ASSERT_TRUE(run.Start());
    double furthest = 0;
    while (run.Step(20)) {
        const RunProgress p = run.Progress();
        if (p.task == 0) furthest = std::max(furthest, p.fraction);
    }
    // The run gave the file up where the disk filled, not at the title's end, and said why.
    EXPECT_LT(furthest, 0.5);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages[0], "Could not write output file " + folder + "/Title_01.mpg: " + full.Reason())
        << messages[0];
    EXPECT_EQ(run.TasksFailed(), 2);
    EXPECT_TRUE(run.FilesWritten().empty());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 0);
}

TEST(Conversion, TasksOfNoLengthArePassedOverAndShortOnesConvert)
{
    // A range of half a second is converted (it was passed over without a word); one of no length
    // holds nothing.
    OpenTestDisc disc("ntsc_4x3");
    const ProfileRecord& profile = Profile(kMp3Profile);
    const std::string folder = OutputFolder("short");
    const auto result = Convert(disc, {MakeRunTask(disc, 0, profile, -1, 0, 0), MakeRunTask(disc, 1, profile, -1, 0, 500)},
                                Settings(profile, folder));
    ASSERT_EQ(result.files.size(), 1u);
    EXPECT_EQ(std::filesystem::path(result.files[0]).filename(), "Title_02.mp3");
    EXPECT_NEAR(ProbeFile(result.files[0]).duration, 0.5, 0.1);
}

} // namespace
