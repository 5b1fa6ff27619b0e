// Every profile of Format.xml converts a 3-second stretch of a test title into a file that
// ffprobe reads with the profile's codecs, frame size, sample rate, channel count and length.

#include <gtest/gtest.h>

#include <filesystem>

#include "convert/conversion_support.h"
#include "support/test_names.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace {

using namespace testing_filters;

class EveryProfile : public ::testing::TestWithParam<int> {};

TEST_P(EveryProfile, ConvertsThreeSecondsOfATitle)
{
    const ProfileRecord& profile = Profile(GetParam());
    const WriterSettings& w = profile.writer;
    SCOPED_TRACE(profile.ProfileName);
    OpenTestDisc disc("ntsc_4x3");
    const std::string folder = OutputFolder("profile-" + std::to_string(GetParam()));
    const auto result = Convert(disc, {MakeRunTask(disc, 0, profile, -1, 2000, 3000)}, Settings(profile, folder));
    ASSERT_EQ(result.failed, 0) << (result.messages.empty() ? "" : result.messages.front());
    ASSERT_EQ(result.files.size(), 1u);
    const Probe probe = ProbeFile(result.files[0]);
    EXPECT_EQ(w.hasVideo, !probe.videoCodec.empty()) << "an audio profile's file holds no pictures";
    EXPECT_EQ(w.hasAudio, !probe.audioCodec.empty());
    if (w.hasVideo) {
        EXPECT_EQ(probe.videoCodec, avcodec_get_name(avcodec_find_encoder_by_name(w.VideoCodecName)->id));
        EXPECT_EQ(probe.width, w.Width);
        EXPECT_EQ(probe.height, w.Height);
        EXPECT_NEAR(probe.frames / probe.frameRate, 3.0, 0.1);
    }
    if (w.hasAudio) {
        EXPECT_EQ(probe.audioCodec, avcodec_get_name(avcodec_find_encoder_by_name(w.AudioCodecName)->id));
        EXPECT_EQ(probe.sampleRate, w.SampleRate);
        EXPECT_EQ(probe.channels, w.Channel);
        // The decoded sound (resampled to 48 kHz): 3 s, plus what an encoder pads its last frame
        // with (up to 2048 samples for WMA).
        const double seconds = static_cast<double>(MonoSound(result.files[0]).size()) / 48000;
        EXPECT_GE(seconds, 2.9);
        EXPECT_LE(seconds, 3.15);
    }
    // The container's own length, where it keeps one (SWF does not); ASF adds an audio frame of
    // encoder delay before the first picture.
    if (probe.duration > 0) {
        EXPECT_NEAR(probe.duration, 3.0, profile.FormatExt == ".asf" || profile.FormatExt == ".wmv" ? 0.15 : 0.1);
    }
    std::filesystem::remove_all(folder);
}

INSTANTIATE_TEST_SUITE_P(FormatXml, EveryProfile, ::testing::Range(0, 107),
                         [](const ::testing::TestParamInfo<int>& test) { return ProfileTestName(test.param); });

} // namespace
