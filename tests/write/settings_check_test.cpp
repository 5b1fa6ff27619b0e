// Settings that always work: every profile of the catalogue (the seed's and today's) encodes as it
// ships; a value an encoder refuses is found before a run, named, with the values that work; the
// lists keep only what encodes; today's encoders get their quality, speed and depth.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "profiles/profile_catalogue.h"
#include "support/shipped_catalogue.h"
#include "write/encoder_options.h"
#include "write/settings_check.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
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
    ASSERT_EQ(w.rateControl, kConstantQuality);
    EXPECT_EQ(av_dict_get(dict, "crf", nullptr, 0)->value, std::to_string(w.quality));
    EXPECT_STREQ(av_dict_get(dict, "cpu-used", nullptr, 0)->value, w.Speed);
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
    EXPECT_EQ(QualityScaleOf("mpeg4"), nullptr);
}

// Whether the encoder opens, at 64 × 64, with a profile's settings at this speed and depth, taking
// every option it was given.
bool Opens(const ProfileRecord& profile, const std::string& speed, int depth, std::string* why)
{
    WriterSettings w = profile.writer;
    StoreCodecName(w.Speed, speed.c_str());
    w.bitDepth = depth;
    const AVCodec* encoder = avcodec_find_encoder_by_name(w.VideoCodecName);
    AVCodecContext* codec = avcodec_alloc_context3(encoder);
    codec->width = codec->height = 64;
    codec->time_base = AVRational{1, 25};
    codec->framerate = AVRational{25, 1};
    codec->pix_fmt = AV_PIX_FMT_YUV420P;
    AVDictionary* options = nullptr;
    bool opened = ApplyEncoderSettings(w, encoder, codec, EncoderPass{}, &options, why) &&
                  avcodec_open2(codec, encoder, &options) == 0;
    if (opened && av_dict_count(options) > 0) {
        *why = std::string("not taken: ") + av_dict_get(options, "", nullptr, AV_DICT_IGNORE_SUFFIX)->key;
        opened = false;
    }
    av_dict_free(&options);
    // One picture and the end, and a packet back: the encoder works at these settings (and
    // SVT-AV1 is never freed untold of its end, where it would wait for ever).
    if (opened) {
        AVFrame* frame = av_frame_alloc();
        AVPacket* packet = av_packet_alloc();
        frame->width = frame->height = 64;
        frame->format = codec->pix_fmt;
        frame->pts = 0;
        int packets = 0;
        if (av_frame_get_buffer(frame, 0) == 0) {
            const ptrdiff_t lines[4] = {frame->linesize[0], frame->linesize[1], frame->linesize[2], frame->linesize[3]};
            av_image_fill_black(frame->data, lines, codec->pix_fmt, AVCOL_RANGE_MPEG, 64, 64);
            if (avcodec_send_frame(codec, frame) == 0 && avcodec_send_frame(codec, nullptr) == 0)
                while (avcodec_receive_packet(codec, packet) == 0) {
                    ++packets;
                    av_packet_unref(packet);
                }
        }
        if (packets == 0) {
            *why = "no packet from one picture";
            opened = false;
        }
        av_packet_free(&packet);
        av_frame_free(&frame);
    }
    avcodec_free_context(&codec);
    return opened;
}

TEST(EncoderOptions, WhatTheListsOfferEachEncoderTakes)
{
    // The quality scale lies in the encoder's own range, every speed and depth offered opens it,
    // and the speed a profile starts from is one of those offered.
    for (const int index : {108, 110, 112, 114}) {
        const ProfileRecord profile = Profile(index);
        const std::string name = profile.writer.VideoCodecName;
        SCOPED_TRACE(name);
        const AVCodec* encoder = avcodec_find_encoder_by_name(name.c_str());
        ASSERT_NE(encoder, nullptr);
        const QualityScale* scale = QualityScaleOf(name);
        ASSERT_NE(scale, nullptr);
        ASSERT_NE(encoder->priv_class, nullptr);
        const AVClass* options = encoder->priv_class;
        const AVOption* crf = av_opt_find(&options, "crf", nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ);
        ASSERT_NE(crf, nullptr);
        EXPECT_GE(scale->lowest, crf->min);
        EXPECT_LE(scale->highest, crf->max);
        EXPECT_TRUE(scale->lowest <= scale->suggested && scale->suggested <= scale->highest);

        const std::vector<std::string> speeds = SpeedPresetsOf(name);
        const std::string start = DefaultSpeedOf(name);
        EXPECT_NE(std::find(speeds.begin(), speeds.end(), start), speeds.end()) << start;
        EXPECT_EQ(std::string(profile.writer.Speed), start);
        std::string why;
        for (const std::string& speed : speeds) EXPECT_TRUE(Opens(profile, speed, 8, &why)) << speed << ": " << why;
        for (const int depth : BitDepthsOf(name)) EXPECT_TRUE(Opens(profile, start, depth, &why)) << depth << ": " << why;
    }
}

} // namespace
