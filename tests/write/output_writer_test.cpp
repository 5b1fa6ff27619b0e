// The output writer: files for profiles of many containers and codecs, read back with ffprobe
// and ffmpeg; time bases and key-frame intervals; audio-only files; PCM packets; what fails.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "write/output_writer.h"
#include "profiles/profile_catalogue.h"
#include "support/test_names.h"
#include "support/ffmpeg_tools.h"
#include "support/shipped_catalogue.h"

namespace {

using namespace testing_filters;

ProfileCatalogue& Catalogue()
{
    ProfileCatalogue* catalogue = ShippedCatalogue();
    EXPECT_NE(catalogue, nullptr);
    static ProfileCatalogue empty;
    return catalogue ? *catalogue : empty;
}

// key=value lines of ffprobe's default output, one map per section.
std::map<std::string, std::string> Probe(const std::string& file, const std::string& arguments)
{
    std::istringstream out(ToolOutput(WithOptions({"ffprobe", "-v", "error", "-of", "default=nw=1", file}, arguments)));
    std::map<std::string, std::string> values;
    for (std::string line; std::getline(out, line);) {
        const auto eq = line.find('=');
        if (eq != std::string::npos && !values.count(line.substr(0, eq))) values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return values;
}

double Rational(const std::string& text)
{
    const auto slash = text.find('/');
    if (slash == std::string::npos) return std::stod(text);
    const double den = std::stod(text.substr(slash + 1));
    return den ? std::stod(text.substr(0, slash)) / den : 0;
}

// A moving picture, YV12.
std::vector<std::uint8_t> Picture(int width, int height, int index)
{
    std::vector<std::uint8_t> p(static_cast<std::size_t>(width) * height * 3 / 2, 128);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) p[static_cast<std::size_t>(y) * width + x] = static_cast<std::uint8_t>(x + y + 4 * index);
    return p;
}

// A 440 Hz tone, 16-bit interleaved, continuing from sample `first`.
std::vector<std::uint8_t> Tone(int rate, int channels, std::int64_t first, int samples)
{
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(samples) * channels * 2);
    auto* out = reinterpret_cast<std::int16_t*>(bytes.data());
    for (int i = 0; i < samples; ++i) {
        const auto v = static_cast<std::int16_t>(8000 * std::sin(2 * M_PI * 440 * static_cast<double>(first + i) / rate));
        for (int c = 0; c < channels; ++c) *out++ = v;
    }
    return bytes;
}

struct Written {
    std::string path;
    int frames = 0;
    std::int64_t samples = 0;
    int audioWrites = 0;
};

// One second of pictures and sound through the writer for profile `index`.
Written WriteOneSecond(int index, const std::string& name)
{
    ProfileRecord profile;
    EXPECT_TRUE(Catalogue().FindByIndex(index, &profile));
    const WriterSettings& w = profile.writer;
    Written written;
    written.path = TemporaryPath(name + profile.FormatExt);
    OutputWriter writer;
    EXPECT_TRUE(writer.Open(written.path, w)) << writer.LastError();
    const double fps = w.hasVideo ? w.FrameRate / 1000.0 : 30.0;
    const int frames = static_cast<int>(std::lround(fps));
    for (int i = 0; i < frames; ++i) {
        if (w.hasVideo) {
            EXPECT_EQ(writer.WriteVideo(Picture(w.Width, w.Height, i).data()), 0) << writer.LastError();
            ++written.frames;
        }
        if (w.hasAudio) {
            // The sound of one picture at the profile's exact frame rate.
            const auto end = static_cast<std::int64_t>(std::llround((i + 1) * w.SampleRate / fps));
            const int samples = static_cast<int>(end - written.samples);
            const auto tone = Tone(w.SampleRate, w.Channel, written.samples, samples);
            EXPECT_EQ(writer.WriteAudio(tone.data(), tone.size()), 0) << writer.LastError();
            written.samples += samples;
            ++written.audioWrites;
        }
    }
    EXPECT_TRUE(writer.Close()) << writer.LastError();
    EXPECT_FALSE(writer.IsOpen());
    return written;
}

class WriterRoundTrip : public ::testing::TestWithParam<int> {};

TEST_P(WriterRoundTrip, FfprobeReadsBackWhatWasWritten)
{
    ProfileRecord profile;
    ASSERT_TRUE(Catalogue().FindByIndex(GetParam(), &profile));
    const WriterSettings& w = profile.writer;
    SCOPED_TRACE(profile.ProfileName);
    const Written written = WriteOneSecond(GetParam(), "round-trip-" + std::to_string(GetParam()));
    ASSERT_TRUE(std::filesystem::exists(written.path));

    if (w.hasVideo) {
        auto v = Probe(written.path, "-select_streams v:0 -count_frames -show_entries "
                                     "stream=codec_name,width,height,avg_frame_rate,r_frame_rate,nb_read_frames");
        const AVCodec* encoder = avcodec_find_encoder_by_name(w.VideoCodecName);
        ASSERT_TRUE(encoder);
        EXPECT_EQ(v["codec_name"], avcodec_get_name(encoder->id));
        EXPECT_EQ(v["width"], std::to_string(w.Width));
        EXPECT_EQ(v["height"], std::to_string(w.Height));
        const double rate = Rational(v["r_frame_rate"]);
        EXPECT_NEAR(rate, w.FrameRate / 1000.0, 0.01) << v["r_frame_rate"];
        // Every picture is in the file, the last ones included.
        EXPECT_EQ(v["nb_read_frames"], std::to_string(written.frames));
        auto f = Probe(written.path, "-show_entries format=duration");
        EXPECT_NEAR(std::stod(f["duration"]), written.frames / (w.FrameRate / 1000.0), 1.5 / (w.FrameRate / 1000.0) + 0.05);
    }
    if (w.hasAudio) {
        auto a = Probe(written.path, "-select_streams a:0 -show_entries stream=codec_name,sample_rate,channels");
        const AVCodec* encoder = avcodec_find_encoder_by_name(w.AudioCodecName);
        ASSERT_TRUE(encoder);
        EXPECT_EQ(a["codec_name"], avcodec_get_name(encoder->id));
        EXPECT_EQ(a["sample_rate"], std::to_string(w.SampleRate));
        EXPECT_EQ(a["channels"], std::to_string(w.Channel));
        // The sound decodes to what was written, the last partial frame included; a decoder may
        // keep one frame for its overlap (WMA).
        const std::string pcm = TemporaryPath("round-trip.pcm");
        RunTool({"ffmpeg", "-v", "error", "-y", "-i", written.path, "-map", "0:a:0", "-f", "s16le", "-ac", "1", pcm});
        const auto decoded = static_cast<std::int64_t>(std::filesystem::file_size(pcm) / 2);
        std::filesystem::remove(pcm);
        const std::int64_t frame = encoder->id == AV_CODEC_ID_WMAV2 ? 2048 : 64;
        EXPECT_GE(decoded, written.samples - frame);
        EXPECT_LE(decoded, written.samples + 4096);
    }
    std::filesystem::remove(written.path);
}

// A dozen containers and codecs, with and without pictures.
INSTANTIATE_TEST_SUITE_P(Profiles, WriterRoundTrip,
                         ::testing::Values(0, 1, 2, 3, 5, 6, 8, 10, 11, 55, 66, 91, 12, 14, 17, 19, 52),
                         [](const ::testing::TestParamInfo<int>& test) { return ProfileTestName(test.param); });

TEST(OutputWriter, TimeBasesAndKeyFrameIntervals)
{
    const AVRational ntsc = OutputWriter::TimeBase(29970);
    EXPECT_EQ(ntsc.num, 1001);
    EXPECT_EQ(ntsc.den, 30000);
    const AVRational film = OutputWriter::TimeBase(23976);
    EXPECT_EQ(film.num, 1001);
    EXPECT_EQ(film.den, 24000);
    const AVRational pal = OutputWriter::TimeBase(25000);
    EXPECT_EQ(pal.num, 1);
    EXPECT_EQ(pal.den, 25);

    // 25 frames per second: a key frame every 25 pictures.
    const Written written = WriteOneSecond(58, "gop");
    std::istringstream keys(ToolOutput({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries", "frame=key_frame",
                                        "-of", "csv=p=0", written.path}));
    std::vector<int> keyFrames;
    int index = 0;
    for (std::string line; std::getline(keys, line); ++index)
        if (line.rfind('1', 0) == 0) keyFrames.push_back(index);
    std::filesystem::remove(written.path);
    EXPECT_EQ(keyFrames, (std::vector<int>{0}));
    ASSERT_EQ(index, 25);
}

TEST(OutputWriter, PcmOutputIsOnePacketPerBuffer)
{
    ProfileRecord profile;
    ASSERT_TRUE(Catalogue().FindByIndex(91, &profile)); // AVI, Motion JPEG and 16-bit PCM
    const std::string path = TemporaryPath("pcm.avi");
    OutputWriter writer;
    ASSERT_TRUE(writer.Open(path, profile.writer));
    std::int64_t first = 0;
    for (int samples : {1600, 7, 4000, 1602}) {
        const auto tone = Tone(48000, 2, first, samples);
        ASSERT_EQ(writer.WriteAudio(tone.data(), tone.size()), 0);
        first += samples;
    }
    EXPECT_EQ(writer.AudioPackets(), 4);
    ASSERT_TRUE(writer.Close());
    EXPECT_EQ(writer.AudioPackets(), 4); // nothing held back for the end
    // Every sample is in the file.
    const std::string pcm = TemporaryPath("pcm.raw");
    RunTool({"ffmpeg", "-v", "error", "-y", "-i", path, "-map", "0:a:0", "-f", "s16le", pcm});
    EXPECT_EQ(std::filesystem::file_size(pcm), static_cast<std::uintmax_t>(first * 4));
    std::filesystem::remove(pcm);
    std::filesystem::remove(path);
}

TEST(OutputWriter, AnAudioOnlyProfileHasOneStreamAndRefusesPictures)
{
    ProfileRecord profile;
    ASSERT_TRUE(Catalogue().FindByIndex(17, &profile)); // MP3
    const std::string path = TemporaryPath("audio-only.mp3");
    OutputWriter writer;
    ASSERT_TRUE(writer.Open(path, profile.writer));
    EXPECT_FALSE(writer.HasVideo());
    EXPECT_TRUE(writer.HasAudio());
    const std::vector<std::uint8_t> picture(64, 0);
    EXPECT_EQ(writer.WriteVideo(picture.data()), -1);
    const auto tone = Tone(44100, 2, 0, 44100);
    EXPECT_EQ(writer.WriteAudio(tone.data(), tone.size()), 0);
    EXPECT_TRUE(writer.Close());
    auto s = Probe(path, "-show_entries format=nb_streams");
    EXPECT_EQ(s["nb_streams"], "1");
    std::filesystem::remove(path);
}

TEST(OutputWriter, WhatCannotBeWrittenFailsWithoutAFile)
{
    ProfileRecord profile;
    ASSERT_TRUE(Catalogue().FindByIndex(1, &profile));
    OutputWriter writer;
    // An encoder libavcodec does not know.
    WriterSettings unknown = profile.writer;
    std::snprintf(unknown.VideoCodecName, sizeof unknown.VideoCodecName, "%s", "no-such-codec");
    const std::string path = TemporaryPath("unknown-encoder.avi");
    EXPECT_FALSE(writer.Open(path, unknown));
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(writer.LastError().empty());
    // A name without a container.
    const std::string odd = TemporaryPath("no-container.xyz123");
    EXPECT_FALSE(writer.Open(odd, profile.writer));
    EXPECT_FALSE(std::filesystem::exists(odd));
    // A size the encoder refuses (H.263 takes five): the error names the settings to change.
    ProfileRecord phone;
    ASSERT_TRUE(Catalogue().FindByIndex(55, &phone));
    ASSERT_STREQ(phone.writer.VideoCodecName, "h263");
    WriterSettings refused = phone.writer;
    refused.Width = 320;
    refused.Height = 240;
    const std::string small = TemporaryPath("refused-size.3gp");
    EXPECT_FALSE(writer.Open(small, refused));
    EXPECT_NE(writer.LastError().find("video encoder h263 with the size 320x240"), std::string::npos) << writer.LastError();
    EXPECT_NE(writer.LastError().find("(change them in Settings)"), std::string::npos) << writer.LastError();
    EXPECT_FALSE(std::filesystem::exists(small));
    // A folder that does not exist.
    EXPECT_FALSE(writer.Open("/nonexistent-folder/out.avi", profile.writer));
    // Closed writers take nothing.
    const std::vector<std::uint8_t> bytes(4096, 0);
    EXPECT_EQ(writer.WriteAudio(bytes.data(), bytes.size()), -1);
    EXPECT_TRUE(writer.Close());
}

TEST(OutputWriter, MergedTitlesContinueTheTimeLineAndNothingCarriesIntoTheNextFile)
{
    ProfileRecord profile;
    ASSERT_TRUE(Catalogue().FindByIndex(7, &profile)); // MP4, MPEG-4 and AAC
    const WriterSettings& w = profile.writer;
    OutputWriter writer;
    const std::string first = TemporaryPath("first.mp4");
    ASSERT_TRUE(writer.Open(first, w));
    // Sound short of an AAC frame at the end of the first file.
    const auto tone = Tone(w.SampleRate, w.Channel, 0, 1500);
    writer.WriteAudio(tone.data(), tone.size());
    for (int i = 0; i < 10; ++i) writer.WriteVideo(Picture(w.Width, w.Height, i).data());
    EXPECT_EQ(writer.VideoFrames(), 10);
    ASSERT_TRUE(writer.Close());
    const std::string second = TemporaryPath("second.mp4");
    ASSERT_TRUE(writer.Open(second, w));
    EXPECT_EQ(writer.AudioSamples(), 0);
    EXPECT_EQ(writer.VideoFrames(), 0);
    writer.WriteVideo(Picture(w.Width, w.Height, 0).data());
    ASSERT_TRUE(writer.Close());
    // The first file has its 1500 samples (the last AAC frame a short one), the second none.
    auto decodedSamples = [](const std::string& file) {
        const std::string pcm = TemporaryPath("merged.raw");
        RunTool({"ffmpeg", "-v", "error", "-y", "-i", file, "-map", "0:a:0", "-f", "s16le", "-ac", "1", pcm});
        const auto n = std::filesystem::exists(pcm) ? static_cast<std::int64_t>(std::filesystem::file_size(pcm) / 2) : 0;
        std::filesystem::remove(pcm);
        return n;
    };
    EXPECT_GE(decodedSamples(first), 1500);
    EXPECT_LT(decodedSamples(first), 1500 + 1024);
    EXPECT_EQ(decodedSamples(second), 0);
    std::filesystem::remove(first);
    std::filesystem::remove(second);
}

TEST(OutputWriter, ChapterMarksEndAtTheFilesEndAndMovedOrLateOnesAreLeftOut)
{
    // A file cut short (a cancelled run) keeps the marks it reaches; a mark moved before 0 (a
    // merged title that failed) is gone; the others end where the next begins, the last at the end.
    ProfileRecord profile;
    ASSERT_TRUE(Catalogue().FindByIndex(11, &profile)); // MKV
    const WriterSettings& w = profile.writer;
    for (const char* name : {"marks.mkv", "marks.mp4"}) {
        SCOPED_TRACE(name);
        const std::string path = TemporaryPath(name);
        OutputWriter writer;
        FileMarks marks;
        marks.chapters = {{"A", 0}, {"B", 5000000}, {"C", 7000000}, {"D", 30000000}};
        ASSERT_TRUE(writer.Open(path, w, {}, -1, marks)) << writer.LastError();
        writer.MoveChapter(2, -1);
        writer.MoveChapter(1, 6000000);
        const int frames = static_cast<int>(std::lround(w.FrameRate * 2 / 1000.0)); // 2 s
        for (int i = 0; i < frames; ++i) ASSERT_EQ(writer.WriteVideo(Picture(w.Width, w.Height, i).data()), 0);
        ASSERT_TRUE(writer.Close()) << writer.LastError();
        const std::string chapters = ToolOutput({"ffprobe", "-v", "error", "-show_chapters", "-of", "csv=p=0", path});
        std::istringstream lines(chapters);
        std::vector<std::string> found;
        for (std::string line; std::getline(lines, line);) found.push_back(line);
        ASSERT_EQ(found.size(), 2u) << chapters;
        // id,time_base,start,start_time,end,end_time,title
        auto field = [](const std::string& line, int n) {
            std::istringstream in(line);
            std::string value;
            for (int i = 0; i <= n; ++i) std::getline(in, value, ',');
            return value;
        };
        EXPECT_EQ(field(found[0], 6), "A");
        EXPECT_NEAR(std::stod(field(found[0], 5)), 0.6, 0.01);
        EXPECT_EQ(field(found[1], 6), "B");
        EXPECT_NEAR(std::stod(field(found[1], 3)), 0.6, 0.01);
        EXPECT_NEAR(std::stod(field(found[1], 5)), 2.0, 0.05);
        std::filesystem::remove(path);
    }
}

TEST(OutputWriter, SeveralSoundStreamsEachKeepTheirOwnSoundLabelAndTime)
{
    // Two labelled streams of one encoder: each holds what was written to it (a tone of its own
    // pitch), the first is the default, both as long as the pictures.
    for (int index : {5, 11}) { // H.264 and AAC in MP4; H.264 and Vorbis in MKV
        ProfileRecord profile;
        ASSERT_TRUE(Catalogue().FindByIndex(index, &profile));
        const WriterSettings& w = profile.writer;
        const std::string path = TemporaryPath(std::string("tracks") + profile.FormatExt);
        SCOPED_TRACE(path);
        FileMarks marks;
        marks.audio = {{"eng", "English AAC 2.0"}, {"fra", "French AAC 2.0"}};
        OutputWriter writer;
        ASSERT_TRUE(writer.Open(path, w, {}, -1, marks)) << writer.LastError();
        ASSERT_EQ(writer.AudioTracks(), 2u);
        const int frames = static_cast<int>(std::lround(w.FrameRate / 1000.0)); // a second
        const auto perFrame = static_cast<int>(w.SampleRate * 1000LL / w.FrameRate);
        for (int i = 0; i < frames; ++i) {
            ASSERT_EQ(writer.WriteVideo(Picture(w.Width, w.Height, i).data()), 0) << writer.LastError();
            for (std::size_t track = 0; track < 2; ++track) {
                const double pitch = track == 0 ? 440 : 880;
                std::vector<std::uint8_t> bytes(static_cast<std::size_t>(perFrame) * w.Channel * 2);
                auto* out = reinterpret_cast<std::int16_t*>(bytes.data());
                for (int n = 0; n < perFrame; ++n) {
                    const double t = static_cast<double>(static_cast<std::int64_t>(i) * perFrame + n) / w.SampleRate;
                    for (int c = 0; c < w.Channel; ++c) *out++ = static_cast<std::int16_t>(8000 * std::sin(2 * M_PI * pitch * t));
                }
                ASSERT_EQ(writer.WriteAudio(track, bytes.data(), bytes.size()), 0) << writer.LastError();
            }
        }
        EXPECT_EQ(writer.AudioSamples(0), writer.AudioSamples(1));
        EXPECT_EQ(writer.WriteAudio(2, nullptr, 0), -1);
        ASSERT_TRUE(writer.Close()) << writer.LastError();

        for (int track = 0; track < 2; ++track) {
            const std::string stream = "a:" + std::to_string(track);
            auto values = Probe(path, "-select_streams " + stream +
                                          " -show_entries stream=codec_type:stream_tags=language,title,handler_name:stream_disposition=default");
            EXPECT_EQ(values["TAG:language"], track == 0 ? "eng" : "fra");
            // MP4 keeps the name as the track's handler's.
            EXPECT_EQ(values[index == 5 ? "TAG:handler_name" : "TAG:title"], track == 0 ? "English AAC 2.0" : "French AAC 2.0");
            EXPECT_EQ(values["DISPOSITION:default"], track == 0 ? "1" : "0");
            // Its own tone: the zero crossings of its decoded sound.
            const std::string pcm = TemporaryPath("track.raw");
            RunTool({"ffmpeg", "-v", "error", "-y", "-i", path, "-map", "0:" + stream, "-ac", "1", "-f", "s16le", pcm});
            std::ifstream in(pcm, std::ios::binary);
            std::vector<char> raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            std::filesystem::remove(pcm);
            int rising = 0;
            std::int16_t last = 0;
            for (std::size_t b = 0; b + 1 < raw.size(); b += 2) {
                std::int16_t v;
                std::memcpy(&v, raw.data() + b, 2);
                if (last < 0 && v >= 0) ++rising;
                last = v;
            }
            const double seconds = static_cast<double>(raw.size()) / 2 / w.SampleRate;
            ASSERT_GT(seconds, 0.9);
            EXPECT_NEAR(rising / seconds, track == 0 ? 440 : 880, 20);
        }
        std::filesystem::remove(path);
    }
}

} // namespace
