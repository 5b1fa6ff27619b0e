#include "write/settings_check.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "ffmpeg/ffmpeg_handles.h"
#include "write/encoder_options.h"
#include "write/output_writer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

namespace {

// The items of an option list, as (value, label).
std::vector<std::pair<std::string, std::string>> Items(const std::string& list)
{
    std::vector<std::pair<std::string, std::string>> items;
    std::size_t from = 0;
    while (from < list.size()) {
        const std::size_t comma = std::min(list.find(',', from), list.size());
        const std::string item = list.substr(from, comma - from);
        const std::size_t dollar = item.find('$');
        if (!item.empty()) items.emplace_back(item.substr(0, dollar), dollar == std::string::npos ? item : item.substr(dollar + 1));
        from = comma + 1;
    }
    return items;
}

bool LibraryEncoder(std::string_view name) { return QualityScaleOf(name) != nullptr; }

bool Opens(AVCodecContext* codec, const AVCodec* encoder)
{
    // The encoders' own complaints are not the user's business here.
    const int level = av_log_get_level();
    av_log_set_level(AV_LOG_QUIET);
    const int result = avcodec_open2(codec, encoder, nullptr);
    av_log_set_level(level);
    return result >= 0;
}

} // namespace

void ApplySize(WriterSettings& w, const std::string& value)
{
    int width = 0, height = 0;
    if (std::sscanf(value.c_str(), "%d*%d", &width, &height) == 2) {
        w.Width = width;
        w.Height = height;
    }
}
void ApplyFrameRate(WriterSettings& w, const std::string& value) { w.FrameRate = std::atoi(value.c_str()); }
void ApplyVideoBitRate(WriterSettings& w, const std::string& value) { w.VideoBitRate = std::atoi(value.c_str()); }
void ApplySampleRate(WriterSettings& w, const std::string& value) { w.SampleRate = std::atoi(value.c_str()); }
void ApplyChannels(WriterSettings& w, const std::string& value) { w.Channel = std::atoi(value.c_str()); }
void ApplyAudioBitRate(WriterSettings& w, const std::string& value) { w.AudioBitRate = std::atoi(value.c_str()); }

bool VideoSettingsWork(const WriterSettings& w)
{
    if (!w.hasVideo || OutputWriter::IsCopy(w.VideoCodecName)) return true;
    const AVCodec* encoder = avcodec_find_encoder_by_name(w.VideoCodecName);
    if (!encoder) return false;
    // 0: the source's size (a DVD's, to ask the encoder about); a width alone, a 4:3 height.
    const int width = w.Width > 0 ? w.Width : 720;
    const int height = w.Height > 0 ? w.Height : (w.Width > 0 ? w.Width * 3 / 4 & ~1 : 480);
    // 4:2:0 pictures have even sizes.
    if (width % 2 || height % 2 || width < 16 || height < 16) return false;
    if (LibraryEncoder(encoder->name)) return true;
    ffmpeg::CodecContextPtr codec(avcodec_alloc_context3(encoder));
    if (!codec) return false;
    codec->width = width;
    codec->height = height;
    codec->time_base = OutputWriter::TimeBase(w.FrameRate > 0 ? w.FrameRate : 29970);
    codec->framerate = av_inv_q(codec->time_base);
    codec->pix_fmt = encoder->pix_fmts ? encoder->pix_fmts[0] : AV_PIX_FMT_YUV420P;
    codec->bit_rate = w.VideoBitRate;
    codec->gop_size = std::max(1, (w.FrameRate > 0 ? w.FrameRate : 29970) / 1000);
    codec->max_b_frames = 0;
    codec->sample_aspect_ratio = {1, 1};
    if (encoder->id == AV_CODEC_ID_MJPEG) codec->strict_std_compliance = FF_COMPLIANCE_UNOFFICIAL;
    return Opens(codec.get(), encoder);
}

bool AudioSettingsWork(const WriterSettings& w)
{
    if (!w.hasAudio || OutputWriter::IsCopy(w.AudioCodecName)) return true;
    const AVCodec* encoder = avcodec_find_encoder_by_name(w.AudioCodecName);
    if (!encoder || w.SampleRate <= 0 || w.Channel <= 0) return false;
    ffmpeg::CodecContextPtr codec(avcodec_alloc_context3(encoder));
    if (!codec) return false;
    bool s16 = !encoder->sample_fmts;
    for (const AVSampleFormat* f = encoder->sample_fmts; f && *f != AV_SAMPLE_FMT_NONE; ++f) s16 = s16 || *f == AV_SAMPLE_FMT_S16;
    codec->sample_fmt = s16 ? AV_SAMPLE_FMT_S16 : encoder->sample_fmts[0];
    codec->sample_rate = w.SampleRate;
    codec->bit_rate = w.AudioBitRate;
    av_channel_layout_default(&codec->ch_layout, w.Channel);
    codec->time_base = {1, w.SampleRate};
    return Opens(codec.get(), encoder);
}

std::string WorkingItems(const std::string& list, const WriterSettings& w, void (*apply)(WriterSettings&, const std::string&),
                         bool (*works)(const WriterSettings&))
{
    std::string kept;
    std::size_t from = 0;
    while (from < list.size()) {
        const std::size_t comma = std::min(list.find(',', from), list.size());
        const std::string item = list.substr(from, comma - from);
        WriterSettings trial = w;
        apply(trial, item.substr(0, item.find('$')));
        if (!item.empty() && works(trial)) kept += (kept.empty() ? "" : ",") + item;
        from = comma + 1;
    }
    return kept;
}

std::string SettingsRefusal(const ProfileRecord& record, const WriterSettings& w)
{
    // What the encoders of today's formats take beyond their sizes.
    if (w.hasVideo && !OutputWriter::IsCopy(w.VideoCodecName)) {
        const std::string name = w.VideoCodecName;
        if (w.rateControl == kConstantQuality) {
            const QualityScale* scale = QualityScaleOf(name);
            if (!scale) return "The video encoder " + name + " has no constant quality; choose an average bitrate";
            if (w.quality < scale->lowest || w.quality > scale->highest)
                return "The quality " + std::to_string(w.quality) + " cannot be encoded by " + name + "; it takes " +
                       std::to_string(scale->lowest) + " to " + std::to_string(scale->highest) + " (" + scale->hint + ")";
        }
        if (w.rateControl == kTwoPass)
            if (const std::string refusal = TwoPassRefusal(name); !refusal.empty()) return refusal;
        if (w.Speed[0]) {
            const std::vector<std::string> speeds = SpeedPresetsOf(name);
            std::string all;
            bool known = false;
            for (const std::string& s : speeds) {
                all += (all.empty() ? "" : ", ") + s;
                known = known || s == w.Speed;
            }
            if (!known)
                return "The speed " + std::string(w.Speed) + " is not one of " + name + "'s" +
                       (speeds.empty() ? std::string(": it has none") : "; it takes " + all);
        }
        const std::vector<int> depths = BitDepthsOf(name);
        if (std::find(depths.begin(), depths.end(), w.bitDepth) == depths.end())
            return "The bit depth " + std::to_string(w.bitDepth) + " cannot be encoded by " + name + "; it takes " +
                   (depths.size() > 1 ? "8 or 10" : "8");
    }
    // Which listed setting the encoder refuses: each in turn, the others as they are.
    struct Setting {
        const char* name;
        const std::string* list;
        std::string value;
        void (*apply)(WriterSettings&, const std::string&);
        bool (*works)(const WriterSettings&);
    };
    char size[32];
    std::snprintf(size, sizeof size, "%d*%d", w.Width, w.Height);
    const Setting settings[] = {
        {"size", &record.Resolutions, size, ApplySize, VideoSettingsWork},
        {"frame rate", &record.FrameRates, std::to_string(w.FrameRate), ApplyFrameRate, VideoSettingsWork},
        {"video bitrate", &record.VideoBitRates, std::to_string(w.VideoBitRate), ApplyVideoBitRate, VideoSettingsWork},
        {"sample rate", &record.SampleRates, std::to_string(w.SampleRate), ApplySampleRate, AudioSettingsWork},
        {"channel count", &record.Channels, std::to_string(w.Channel), ApplyChannels, AudioSettingsWork},
        {"audio bitrate", &record.AudioBitRates, std::to_string(w.AudioBitRate), ApplyAudioBitRate, AudioSettingsWork},
    };
    const bool videoWorks = VideoSettingsWork(w), audioWorks = AudioSettingsWork(w);
    if (videoWorks && audioWorks) return {};
    for (const Setting& s : settings) {
        if ((s.works == VideoSettingsWork) == videoWorks && (s.works == AudioSettingsWork) == audioWorks) continue;
        const std::string working = WorkingItems(*s.list, w, s.apply, s.works);
        if (working.empty()) continue; // another setting is at fault
        std::string values;
        for (const auto& [value, label] : Items(working)) values += (values.empty() ? "" : ", ") + label;
        const std::string encoder = s.works == VideoSettingsWork ? w.VideoCodecName : w.AudioCodecName;
        return "The " + std::string(s.name) + " " + s.value + " cannot be encoded by " + encoder + "; these can: " + values;
    }
    const std::string encoder = videoWorks ? w.AudioCodecName : w.VideoCodecName;
    return "The " + std::string(videoWorks ? "sound" : "video") + " encoder " + encoder +
           " does not take this profile's settings; choose others in Settings";
}
