#include "write/encoder_options.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/dict.h>
#include <libavutil/pixdesc.h>
}

namespace {

struct EncoderFacts {
    std::string_view name;
    QualityScale scale;
    std::vector<std::string> speeds; // fastest first
    std::string_view defaultSpeed;
    std::string_view speedOption;    // the option the preset goes to
    std::string_view twoPassRefusal;
    std::vector<int> depths;
};

const std::vector<EncoderFacts>& Facts()
{
    static const std::vector<EncoderFacts> facts{
        {"libx264",
         {0, 51, 20, "CRF: lower is better and larger; 18–23 look like the disc"},
         {"ultrafast", "superfast", "veryfast", "faster", "fast", "medium", "slow", "slower", "veryslow"},
         "medium", "preset", "", {8}},
        {"libx265",
         {0, 51, 22, "CRF: lower is better and larger; 20–26 look like the disc"},
         {"ultrafast", "superfast", "veryfast", "faster", "fast", "medium", "slow", "slower", "veryslow"},
         "medium", "preset", "", {8, 10}},
        {"libsvtav1",
         {1, 63, 30, "CRF: lower is better and larger; 25–35 look like the disc"},
         {"12", "11", "10", "9", "8", "7", "6", "5", "4", "3", "2", "1", "0"},
         "8", "preset", "SVT-AV1 cannot encode in two passes in this FFmpeg; choose constant quality or one pass", {8, 10}},
        {"libvpx-vp9",
         {0, 63, 32, "CQ: lower is better and larger; 28–36 look like the disc"},
         {"5", "4", "3", "2", "1", "0"},
         "4", "cpu-used", "", {8}},
    };
    return facts;
}

const EncoderFacts* FactsOf(std::string_view encoder)
{
    for (const EncoderFacts& f : Facts())
        if (f.name == encoder) return &f;
    return nullptr;
}

} // namespace

const QualityScale* QualityScaleOf(std::string_view encoder)
{
    const EncoderFacts* f = FactsOf(encoder);
    return f ? &f->scale : nullptr;
}

std::vector<std::string> SpeedPresetsOf(std::string_view encoder)
{
    const EncoderFacts* f = FactsOf(encoder);
    return f ? f->speeds : std::vector<std::string>{};
}

std::string DefaultSpeedOf(std::string_view encoder)
{
    const EncoderFacts* f = FactsOf(encoder);
    return f ? std::string(f->defaultSpeed) : std::string();
}

std::string TwoPassRefusal(std::string_view encoder)
{
    const EncoderFacts* f = FactsOf(encoder);
    if (f) return std::string(f->twoPassRefusal);
    // The seed's encoders in libavcodec keep their statistics the generic way.
    const AVCodec* codec = avcodec_find_encoder_by_name(std::string(encoder).c_str());
    if (!codec || codec->type != AVMEDIA_TYPE_VIDEO) return std::string(encoder) + " is not a video encoder";
    return {};
}

std::vector<int> BitDepthsOf(std::string_view encoder)
{
    const EncoderFacts* f = FactsOf(encoder);
    return f ? f->depths : std::vector<int>{8};
}

bool KeepsStatsInContext(std::string_view encoder) { return encoder != "libx264" && encoder != "libx265"; }

bool ModernEncoding(const WriterSettings& w)
{
    const std::string_view name = w.VideoCodecName;
    return w.rateControl != kAverageBitrate || name == "libx265" || name == "libsvtav1" || name == "libvpx-vp9";
}

std::string EncoderSettingsRefusal(const WriterSettings& w, std::string_view encoder)
{
    const std::string name(encoder);
    const EncoderFacts* facts = FactsOf(encoder);
    if (w.rateControl == kConstantQuality) {
        if (!facts) return "The video encoder " + name + " has no constant quality; choose an average bitrate";
        const QualityScale& scale = facts->scale;
        if (w.quality < scale.lowest || w.quality > scale.highest)
            return "The quality " + std::to_string(w.quality) + " cannot be encoded by " + name + "; it takes " +
                   std::to_string(scale.lowest) + " to " + std::to_string(scale.highest) + " (" + scale.hint + ")";
    }
    if (w.rateControl == kTwoPass)
        if (const std::string refusal = TwoPassRefusal(encoder); !refusal.empty()) return refusal;
    if (w.Speed[0]) {
        const std::vector<std::string> speeds = SpeedPresetsOf(encoder);
        std::string all;
        for (const std::string& s : speeds) all += (all.empty() ? "" : ", ") + s;
        if (std::find(speeds.begin(), speeds.end(), std::string(w.Speed)) == speeds.end())
            return "The speed " + std::string(w.Speed) + " is not one of " + name + "'s" +
                   (speeds.empty() ? std::string(": it has none") : "; it takes " + all);
    }
    const std::vector<int> depths = BitDepthsOf(encoder);
    const int depth = w.bitDepth == 0 ? 8 : w.bitDepth; // 0: the encoder's own, 8 bits
    if (std::find(depths.begin(), depths.end(), depth) == depths.end())
        return "The bit depth " + std::to_string(w.bitDepth) + " cannot be encoded by " + name + "; it takes " +
               (depths.size() > 1 ? "8 or 10" : "8");
    return {};
}

bool ApplyEncoderSettings(const WriterSettings& w, const AVCodec* encoder, AVCodecContext* codec, const EncoderPass& pass,
                          AVDictionary** options, std::string* why)
{
    const std::string_view name = encoder->name;
    const EncoderFacts* facts = FactsOf(name);
    if (std::string refusal = EncoderSettingsRefusal(w, name); !refusal.empty()) {
        if (why) *why = std::move(refusal);
        return false;
    }
    const auto set = [&](const char* key, const std::string& value) { av_dict_set(options, key, value.c_str(), 0); };
    codec->bit_rate = w.VideoBitRate;
    // x265 talks on the standard error output of its own: errors only (SVT-AV1's log is set so
    // when the engine starts).
    std::string x265Params = "log-level=error";
    if (w.rateControl == kConstantQuality) {
        // With a bitrate, VP9's crf only caps it: constant quality needs none.
        codec->bit_rate = 0;
        set("crf", std::to_string(w.quality));
    }
    if (w.rateControl == kTwoPass && pass.pass > 0) {
        if (name == "libx265") {
            // x265's two passes go through its own parameters (the generic flags give it no file).
            x265Params += ":pass=" + std::to_string(pass.pass) + ":stats=" + pass.statsPath;
        } else if (name == "libx264") {
            codec->flags |= pass.pass == 1 ? AV_CODEC_FLAG_PASS1 : AV_CODEC_FLAG_PASS2;
            set("stats", pass.statsPath);
        } else {
            // libavcodec's own and libvpx: statistics handed over by the writer (stats_out, stats_in).
            codec->flags |= pass.pass == 1 ? AV_CODEC_FLAG_PASS1 : AV_CODEC_FLAG_PASS2;
        }
    }
    if (facts && w.Speed[0]) set(std::string(facts->speedOption).c_str(), w.Speed);
    if (name == "libx265") set("x265-params", x265Params);
    if (name == "libvpx-vp9") {
        set("row-mt", "1");
        set("deadline", "good");
    }
    if (w.bitDepth == 10) codec->pix_fmt = AV_PIX_FMT_YUV420P10LE;
    return true;
}
