// Every profile of the shipped catalogue works with FFmpeg: its encoders open with the profile's
// settings, and the container guessed from its extension takes a few encoded frames, a header and
// a trailer that ffprobe reads back with the expected codecs, frame size, sample rate and channels.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include "profiles/profile_catalogue.h"
#include "support/shipped_catalogue.h"

namespace {

struct CodecContextDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct OutputDeleter {
    void operator()(AVFormatContext* f) const
    {
        if (f->pb && !(f->oformat->flags & AVFMT_NOFILE)) avio_closep(&f->pb);
        avformat_free_context(f);
    }
};
using CodecContext = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using Frame = std::unique_ptr<AVFrame, FrameDeleter>;
using Packet = std::unique_ptr<AVPacket, PacketDeleter>;
using Output = std::unique_ptr<AVFormatContext, OutputDeleter>;

AVRational TimeBase(int frameRate)
{
    if (frameRate == 23976) return {1001, 24000};
    if (frameRate == 29970) return {1001, 30000};
    return {1, frameRate / 1000};
}

std::string RunCommand(const std::string& command)
{
    std::string out;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) return out;
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe.get())) out.append(buffer, n);
    return out;
}

// Writes every packet the encoder has for us; `frame` null drains it.
bool Encode(AVCodecContext* codec, AVFrame* frame, AVFormatContext* output, AVStream* stream, AVPacket* packet)
{
    if (avcodec_send_frame(codec, frame) < 0) return false;
    for (;;) {
        const int result = avcodec_receive_packet(codec, packet);
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return true;
        if (result < 0) return false;
        av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        if (av_interleaved_write_frame(output, packet) < 0) return false;
    }
}

class ProfileWithFfmpeg : public ::testing::TestWithParam<int> {
protected:
    static void SetUpTestSuite()
    {
        s_catalogue = testing_filters::ShippedCatalogue();
        ASSERT_NE(s_catalogue, nullptr);
    }
    static ProfileCatalogue* s_catalogue;
};
ProfileCatalogue* ProfileWithFfmpeg::s_catalogue = nullptr;

TEST_P(ProfileWithFfmpeg, EncodesAndMuxesAFileThatFfprobeReads)
{
    ProfileRecord profile;
    ASSERT_TRUE(s_catalogue->FindByIndex(GetParam(), &profile));
    const WriterSettings& w = profile.writer;
    SCOPED_TRACE(profile.ProfileName);
    const auto folder = std::filesystem::temp_directory_path() / "zuzidero-profiles";
    std::filesystem::create_directories(folder);
    const std::string path = (folder / ("profile" + std::to_string(profile.index) + profile.FormatExt)).string();

    AVFormatContext* raw = nullptr;
    ASSERT_GE(avformat_alloc_output_context2(&raw, nullptr, nullptr, path.c_str()), 0) << "no container for " << path;
    Output output(raw);
    const bool globalHeader = output->oformat->flags & AVFMT_GLOBALHEADER;

    CodecContext video, audio;
    AVStream* videoStream = nullptr;
    AVStream* audioStream = nullptr;
    if (w.hasVideo) {
        const AVCodec* encoder = avcodec_find_encoder_by_name(w.VideoCodecName);
        ASSERT_NE(encoder, nullptr) << w.VideoCodecName;
        video.reset(avcodec_alloc_context3(encoder));
        video->width = w.Width;
        video->height = w.Height;
        video->time_base = TimeBase(w.FrameRate);
        video->framerate = av_inv_q(video->time_base);
        video->pix_fmt = encoder->pix_fmts ? encoder->pix_fmts[0] : AV_PIX_FMT_YUV420P;
        video->bit_rate = w.VideoBitRate;
        video->gop_size = w.FrameRate / 1000;
        video->max_b_frames = 0;
        video->sample_aspect_ratio = {1, 1};
        if (std::string(w.VideoCodecName) == "mjpeg") video->strict_std_compliance = FF_COMPLIANCE_UNOFFICIAL;
        if (globalHeader) video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        ASSERT_EQ(avcodec_open2(video.get(), encoder, nullptr), 0) << "video encoder " << w.VideoCodecName;
        videoStream = avformat_new_stream(output.get(), nullptr);
        ASSERT_NE(videoStream, nullptr);
        avcodec_parameters_from_context(videoStream->codecpar, video.get());
        videoStream->time_base = video->time_base;
        videoStream->sample_aspect_ratio = {1, 1};
    }
    {
        const AVCodec* encoder = avcodec_find_encoder_by_name(w.AudioCodecName);
        ASSERT_NE(encoder, nullptr) << w.AudioCodecName;
        audio.reset(avcodec_alloc_context3(encoder));
        audio->sample_rate = w.SampleRate;
        av_channel_layout_default(&audio->ch_layout, w.Channel);
        audio->sample_fmt = encoder->sample_fmts ? encoder->sample_fmts[0] : AV_SAMPLE_FMT_S16;
        audio->bit_rate = w.AudioBitRate;
        audio->time_base = {1, w.SampleRate};
        if (globalHeader) audio->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        ASSERT_EQ(avcodec_open2(audio.get(), encoder, nullptr), 0) << "audio encoder " << w.AudioCodecName;
        audioStream = avformat_new_stream(output.get(), nullptr);
        ASSERT_NE(audioStream, nullptr);
        avcodec_parameters_from_context(audioStream->codecpar, audio.get());
        audioStream->time_base = audio->time_base;
    }
    if (!(output->oformat->flags & AVFMT_NOFILE)) {
        ASSERT_GE(avio_open(&output->pb, path.c_str(), AVIO_FLAG_WRITE), 0);
    }
    ASSERT_GE(avformat_write_header(output.get(), nullptr), 0);

    Packet packet(av_packet_alloc());
    if (video) {
        Frame frame(av_frame_alloc());
        frame->format = video->pix_fmt;
        frame->width = video->width;
        frame->height = video->height;
        ASSERT_GE(av_frame_get_buffer(frame.get(), 0), 0);
        for (int i = 0; i < 10; ++i) {
            av_frame_make_writable(frame.get());
            for (int plane = 0; plane < 4 && frame->data[plane]; ++plane) {
                // Planes past the first are at most as tall as the picture.
                const int rows = plane ? video->height / 2 : video->height;
                std::memset(frame->data[plane], 96 + 8 * i, static_cast<std::size_t>(frame->linesize[plane]) * rows);
            }
            frame->pts = i;
            ASSERT_TRUE(Encode(video.get(), frame.get(), output.get(), videoStream, packet.get()));
        }
        ASSERT_TRUE(Encode(video.get(), nullptr, output.get(), videoStream, packet.get()));
    }
    {
        Frame frame(av_frame_alloc());
        frame->format = audio->sample_fmt;
        frame->nb_samples = audio->frame_size > 0 ? audio->frame_size : 1024;
        av_channel_layout_copy(&frame->ch_layout, &audio->ch_layout);
        frame->sample_rate = audio->sample_rate;
        ASSERT_GE(av_frame_get_buffer(frame.get(), 0), 0);
        std::int64_t samples = 0;
        while (samples < w.SampleRate / 2) {
            av_frame_make_writable(frame.get());
            av_samples_set_silence(frame->data, 0, frame->nb_samples, w.Channel, audio->sample_fmt);
            frame->pts = samples;
            samples += frame->nb_samples;
            ASSERT_TRUE(Encode(audio.get(), frame.get(), output.get(), audioStream, packet.get()));
        }
        ASSERT_TRUE(Encode(audio.get(), nullptr, output.get(), audioStream, packet.get()));
    }
    ASSERT_EQ(av_write_trailer(output.get()), 0);
    output.reset();

    // What an independent reader finds in the file.
    const std::string probe = RunCommand("ffprobe -v error -show_entries stream=codec_type,codec_name,width,height,"
                                  "sample_rate,channels -of default=noprint_wrappers=1 '" + path + "'");
    const std::string audioCodec = avcodec_get_name(audio->codec_id);
    EXPECT_NE(probe.find("codec_name=" + audioCodec), std::string::npos) << probe;
    EXPECT_NE(probe.find("sample_rate=" + std::to_string(w.SampleRate)), std::string::npos) << probe;
    EXPECT_NE(probe.find("channels=" + std::to_string(w.Channel)), std::string::npos) << probe;
    if (video) {
        EXPECT_NE(probe.find("codec_name=" + std::string(avcodec_get_name(video->codec_id))), std::string::npos) << probe;
        EXPECT_NE(probe.find("width=" + std::to_string(w.Width)), std::string::npos) << probe;
        EXPECT_NE(probe.find("height=" + std::to_string(w.Height)), std::string::npos) << probe;
    } else {
        EXPECT_EQ(probe.find("codec_type=video"), std::string::npos) << probe;
    }
    std::filesystem::remove(path);
}

INSTANTIATE_TEST_SUITE_P(EveryProfile, ProfileWithFfmpeg, ::testing::Range(0, 107));

} // namespace
