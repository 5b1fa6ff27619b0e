// Settings that always work: every profile of the catalogue (the seed's and today's) encodes as it
// ships; a value an encoder refuses is found before a run, named, with the values that work; the
// lists keep only what encodes; today's encoders get their quality, speed and depth.

#include <gtest/gtest.h>

#include <string>

#include "profiles/profile_catalogue.h"
#include "support/shipped_catalogue.h"
#include "write/encoder_options.h"
#include "write/settings_check.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/dict.h>
}

namespace {

ProfileCatalogue& Catalogue() { return testing_filters::WholeCatalogue(); }

ProfileRecord Profile(int index)
{
    ProfileRecord record;
    EXPECT_TRUE(Catalogue().FindByIndex(index, &record)) << index;
    return record;
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(SettingsCheck, EveryShippedProfileEncodesAsItShips)
{
    ASSERT_EQ(Catalogue().Count(), 115u);
    for (int index = 0; index < 115; ++index) {
        const ProfileRecord record = Profile(index);
        EXPECT_EQ(SettingsRefusal(record, record.writer), "") << index << " " << record.ProfileName;
    }
}

TEST(SettingsCheck, ARefusedValueIsNamedWithTheValuesThatWork)
{
    // H.263 takes five sizes: 320*240 of the 3GP profile's list fails, and is said so.
    ProfileRecord phone = Profile(55);
    ASSERT_EQ(std::string(phone.writer.VideoCodecName), "h263");
    phone.writer.Width = 320;
    phone.writer.Height = 240;
    const std::string size = SettingsRefusal(phone, phone.writer);
    EXPECT_TRUE(Has(size, "The size 320*240 cannot be encoded by h263; these can: 128*96, 176*144, 352*288")) << size;
    EXPECT_EQ(WorkingItems(phone.Resolutions, phone.writer, ApplySize, VideoSettingsWork), "128*96,176*144,352*288");

    // Sound: a rate Opus does not take, a channel count MP2 does not.
    ProfileRecord vp9 = Profile(114);
    vp9.writer.SampleRate = 44100;
    vp9.SampleRates = "44100,48000";
    const std::string rate = SettingsRefusal(vp9, vp9.writer);
    EXPECT_TRUE(Has(rate, "The sample rate 44100 cannot be encoded by libopus; these can: 48000")) << rate;
    ProfileRecord mpeg = Profile(9); // MPEG-2 with MP2 sound
    ASSERT_EQ(std::string(mpeg.writer.AudioCodecName), "mp2");
    mpeg.writer.Channel = 6;
    mpeg.Channels = "1$Mono,2$Stereo,6$5.1";
    const std::string channels = SettingsRefusal(mpeg, mpeg.writer);
    EXPECT_TRUE(Has(channels, "The channel count 6 cannot be encoded by mp2; these can: Mono, Stereo")) << channels;

    // The container may refuse what the encoder takes: DV keeps its sound at 48 kHz only here.
    ProfileRecord dv = Profile(2);
    dv.writer.SampleRate = 32000;
    const std::string container = SettingsRefusal(dv, dv.writer);
    EXPECT_TRUE(Has(container, "The sample rate 32000 cannot be kept in .dv files; these can: 48000")) << container;

    // Quality, speed and depth of today's encoders.
    ProfileRecord h264 = Profile(108);
    h264.writer.quality = 70;
    EXPECT_TRUE(Has(SettingsRefusal(h264, h264.writer), "it takes 0 to 51"));
    h264 = Profile(108);
    std::snprintf(h264.writer.Speed, sizeof h264.writer.Speed, "warp");
    EXPECT_TRUE(Has(SettingsRefusal(h264, h264.writer), "ultrafast, superfast"));
    h264 = Profile(108);
    h264.writer.bitDepth = 10;
    EXPECT_TRUE(Has(SettingsRefusal(h264, h264.writer), "it takes 8"));
    ProfileRecord hevc = Profile(110);
    hevc.writer.bitDepth = 10;
    EXPECT_EQ(SettingsRefusal(hevc, hevc.writer), "");
    ProfileRecord av1 = Profile(112);
    av1.writer.rateControl = kTwoPass;
    EXPECT_TRUE(Has(SettingsRefusal(av1, av1.writer), "two passes"));
    // A seed encoder has no constant quality.
    ProfileRecord avi = Profile(1);
    avi.writer.rateControl = kConstantQuality;
    avi.writer.quality = 20;
    EXPECT_TRUE(Has(SettingsRefusal(avi, avi.writer), "has no constant quality"));
}

TEST(EncoderOptions, TheCheckBeforeARunAndTheEncodersSetUpAgree)
{
    // Whatever the check before a run lets through, the encoder's set-up takes, and what it
    // refuses the set-up refuses with the same words.
    const auto applies = [](const WriterSettings& w, std::string* why) {
        const AVCodec* encoder = avcodec_find_encoder_by_name(w.VideoCodecName);
        AVCodecContext* codec = avcodec_alloc_context3(encoder);
        AVDictionary* dict = nullptr;
        const bool ok = ApplyEncoderSettings(w, encoder, codec, EncoderPass{}, &dict, why);
        av_dict_free(&dict);
        avcodec_free_context(&codec);
        return ok;
    };
    for (const int index : {5, 108, 110, 112, 114}) {
        const ProfileRecord profile = Profile(index);
        for (const int depth : {0, 8, 10, 12}) {
            for (const char* speed : {"", "medium", "4", "warp"}) {
                WriterSettings w = profile.writer;
                w.bitDepth = depth;
                StoreCodecName(w.Speed, speed);
                SCOPED_TRACE(std::string(w.VideoCodecName) + " depth " + std::to_string(depth) + " speed " + speed);
                const std::string refusal = SettingsRefusal(profile, w);
                std::string why;
                EXPECT_EQ(applies(w, &why), refusal.empty()) << refusal << " / " << why;
                if (!refusal.empty()) {
                    EXPECT_EQ(why, refusal);
                }
            }
        }
    }
    // A depth of 0 is the encoder's own 8 bits, for both.
    WriterSettings w = Profile(108).writer;
    w.bitDepth = 0;
    EXPECT_EQ(SettingsRefusal(Profile(108), w), "");
}

TEST(EncoderOptions, TodaysEncodersAreAskedForQualitySpeedAndDepth)
{
    const auto options = [](const char* encoderName, const WriterSettings& w, AVCodecContext** made) {
        const AVCodec* encoder = avcodec_find_encoder_by_name(encoderName);
        AVCodecContext* codec = avcodec_alloc_context3(encoder);
        AVDictionary* dict = nullptr;
        std::string why;
        EXPECT_TRUE(ApplyEncoderSettings(w, encoder, codec, EncoderPass{}, &dict, &why)) << why;
        *made = codec;
        return dict;
    };
    WriterSettings w = Profile(114).writer; // VP9: constant quality needs the bitrate at 0
    AVCodecContext* codec = nullptr;
    AVDictionary* dict = options("libvpx-vp9", w, &codec);
    EXPECT_STREQ(av_dict_get(dict, "crf", nullptr, 0)->value, "32");
    EXPECT_STREQ(av_dict_get(dict, "cpu-used", nullptr, 0)->value, "4");
    EXPECT_STREQ(av_dict_get(dict, "row-mt", nullptr, 0)->value, "1");
    EXPECT_EQ(codec->bit_rate, 0);
    av_dict_free(&dict);
    avcodec_free_context(&codec);

    w = Profile(110).writer; // x265 at 10 bits, two passes through its own parameters
    w.bitDepth = 10;
    w.rateControl = kTwoPass;
    const AVCodec* x265 = avcodec_find_encoder_by_name("libx265");
    codec = avcodec_alloc_context3(x265);
    std::string why;
    ASSERT_TRUE(ApplyEncoderSettings(w, x265, codec, EncoderPass{1, "/tmp/stats.log"}, &dict, &why)) << why;
    EXPECT_EQ(codec->pix_fmt, AV_PIX_FMT_YUV420P10LE);
    EXPECT_EQ(codec->bit_rate, w.VideoBitRate);
    EXPECT_STREQ(av_dict_get(dict, "x265-params", nullptr, 0)->value, "log-level=error:pass=1:stats=/tmp/stats.log");
    av_dict_free(&dict);
    avcodec_free_context(&codec);

    // The seed's profiles keep the seed's set-up.
    EXPECT_FALSE(ModernEncoding(Profile(5).writer));
    EXPECT_TRUE(ModernEncoding(Profile(108).writer));
    EXPECT_EQ(DefaultSpeedOf("libsvtav1"), "8");
    ASSERT_NE(QualityScaleOf("libx264"), nullptr);
    EXPECT_EQ(QualityScaleOf("libx264")->suggested, 20);
    EXPECT_EQ(QualityScaleOf("mpeg4"), nullptr);
}

} // namespace
