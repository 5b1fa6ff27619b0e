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
#include <libavformat/avformat.h>
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

bool Opens(AVCodecContext* codec, const AVCodec* encoder) { return avcodec_open2(codec, encoder, nullptr) >= 0; }

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

namespace {

// Where a header written into nothing has got to (MP4 and MOV want to seek in their output).
struct Nowhere {
    std::int64_t position = 0, size = 0;
};

int DiscardBytes(void* opaque, std::uint8_t*, int size)
{
    auto* nowhere = static_cast<Nowhere*>(opaque);
    nowhere->position += size;
    nowhere->size = std::max(nowhere->size, nowhere->position);
    return size;
}

std::int64_t SeekNowhere(void* opaque, std::int64_t offset, int whence)
{
    auto* nowhere = static_cast<Nowhere*>(opaque);
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE: return nowhere->size;
    case SEEK_SET: nowhere->position = offset; break;
    case SEEK_CUR: nowhere->position += offset; break;
    case SEEK_END: nowhere->position = nowhere->size + offset; break;
    default: return -1;
    }
    return nowhere->position;
}

// A stream of the parameters `codec` opens with.
bool AddStream(AVFormatContext* format, const AVCodec* encoder, AVCodecContext* codec)
{
    AVStream* stream = avformat_new_stream(format, nullptr);
    if (!stream) return false;
    if (format->oformat->flags & AVFMT_GLOBALHEADER) codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (!Opens(codec, encoder) || avcodec_parameters_from_context(stream->codecpar, codec) < 0) return false;
    stream->time_base = codec->time_base;
    return true;
}

} // namespace

bool ContainerTakes(const WriterSettings& w, const std::string& extension)
{
    const AVOutputFormat* container = av_guess_format(nullptr, ("probe" + extension).c_str(), nullptr);
    if (!container || (container->flags & AVFMT_NOFILE)) return true; // nothing to ask
    AVFormatContext* made = nullptr;
    if (avformat_alloc_output_context2(&made, container, nullptr, nullptr) < 0 || !made) return true;
    std::vector<ffmpeg::CodecContextPtr> codecs; // outlive the format context that refers to them
    ffmpeg::OutputContextPtr format(made);
    const auto add = [&](const char* name, bool video) {
        const AVCodec* encoder = avcodec_find_encoder_by_name(name);
        if (!encoder) return false;
        codecs.emplace_back(avcodec_alloc_context3(encoder));
        AVCodecContext* codec = codecs.back().get();
        if (!codec) return false;
        if (video) {
            codec->width = w.Width > 0 ? w.Width : 720;
            codec->height = w.Height > 0 ? w.Height : 480;
            codec->time_base = OutputWriter::TimeBase(w.FrameRate > 0 ? w.FrameRate : 29970);
            codec->framerate = av_inv_q(codec->time_base);
            codec->pix_fmt = encoder->pix_fmts ? encoder->pix_fmts[0] : AV_PIX_FMT_YUV420P;
            codec->bit_rate = w.VideoBitRate;
            codec->gop_size = 30;
            codec->max_b_frames = 0;
            codec->sample_aspect_ratio = {1, 1};
            if (encoder->id == AV_CODEC_ID_MJPEG) codec->strict_std_compliance = FF_COMPLIANCE_UNOFFICIAL;
        } else {
            bool s16 = !encoder->sample_fmts;
            for (const AVSampleFormat* f = encoder->sample_fmts; f && *f != AV_SAMPLE_FMT_NONE; ++f) s16 = s16 || *f == AV_SAMPLE_FMT_S16;
            codec->sample_fmt = s16 ? AV_SAMPLE_FMT_S16 : encoder->sample_fmts[0];
            codec->sample_rate = w.SampleRate;
            codec->bit_rate = w.AudioBitRate;
            av_channel_layout_default(&codec->ch_layout, std::max(1, w.Channel));
            codec->time_base = {1, std::max(1, w.SampleRate)};
        }
        return AddStream(format.get(), encoder, codec);
    };
    // Today's library encoders go into the containers of their profiles (MKV, MP4, WebM), which
    // take them; they are not opened here (that takes a while, and their headers come from it).
    if (w.hasVideo && !OutputWriter::IsCopy(w.VideoCodecName) && !LibraryEncoder(w.VideoCodecName) && !add(w.VideoCodecName, true))
        return false;
    if (w.hasAudio && !OutputWriter::IsCopy(w.AudioCodecName) && !add(w.AudioCodecName, false)) return false;
    if (format->nb_streams == 0) return true;
    constexpr int kBuffer = 4096;
    auto* buffer = static_cast<std::uint8_t*>(av_malloc(kBuffer));
    if (!buffer) return true;
    Nowhere nowhere;
    ffmpeg::IoContextPtr io(avio_alloc_context(buffer, kBuffer, 1, &nowhere, nullptr, DiscardBytes, SeekNowhere));
    if (!io) {
        av_free(buffer);
        return true;
    }
    format->pb = io.get();
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
    const int header = avformat_write_header(format.get(), nullptr);
    format.reset(); // before the I/O context it writes to
    return header >= 0;
}

bool SettingsWork(const WriterSettings& w, const std::string& extension)
{
    return VideoSettingsWork(w) && AudioSettingsWork(w) && ContainerTakes(w, extension);
}

std::string WorkingItems(const std::string& list, const WriterSettings& w, void (*apply)(WriterSettings&, const std::string&),
                         const SettingsTest& works)
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
    if (w.hasVideo && !OutputWriter::IsCopy(w.VideoCodecName))
        if (std::string refusal = EncoderSettingsRefusal(w, w.VideoCodecName); !refusal.empty()) return refusal;
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
    const bool containerWorks = videoWorks && audioWorks && ContainerTakes(w, record.FormatExt);
    if (containerWorks) return {};
    const SettingsTest whole = [&](const WriterSettings& trial) { return SettingsWork(trial, record.FormatExt); };
    for (const Setting& s : settings) {
        if (videoWorks && audioWorks) {
            // The container refuses: any setting may be why.
            const std::string working = WorkingItems(*s.list, w, s.apply, whole);
            if (working.empty() || working == *s.list) continue;
            std::string values;
            for (const auto& [value, label] : Items(working)) values += (values.empty() ? "" : ", ") + label;
            return "The " + std::string(s.name) + " " + s.value + " cannot be kept in " + record.FormatExt + " files; these can: " + values;
        }
        if ((s.works == VideoSettingsWork) == videoWorks && (s.works == AudioSettingsWork) == audioWorks) continue;
        const std::string working = WorkingItems(*s.list, w, s.apply, s.works);
        if (working.empty()) continue; // another setting is at fault
        std::string values;
        for (const auto& [value, label] : Items(working)) values += (values.empty() ? "" : ", ") + label;
        const std::string encoder = s.works == VideoSettingsWork ? w.VideoCodecName : w.AudioCodecName;
        return "The " + std::string(s.name) + " " + s.value + " cannot be encoded by " + encoder + "; these can: " + values;
    }
    if (videoWorks && audioWorks) return "These settings cannot be kept in " + record.FormatExt + " files; choose others in Settings";
    const std::string encoder = videoWorks ? w.AudioCodecName : w.VideoCodecName;
    return "The " + std::string(videoWorks ? "sound" : "video") + " encoder " + encoder +
           " does not take this profile's settings; choose others in Settings";
}
