// Copying coded streams: the framer cuts pieces of any size into the frames libavcodec made, with
// the times a disc's packets give and those it leaves out; the writer keeps what comes before a
// copied stream has said its format, then writes a file that ffprobe reads as the streams copied.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/ffmpeg_tools.h"
#include "support/test_names.h"
#include "write/output_writer.h"
#include "write/packet_framer.h"

namespace {

using namespace testing_filters;

struct Coded {
    std::vector<std::uint8_t> bytes;
    std::int64_t pts = 0; // in frames (pictures) or samples (sound)
    bool key = false;
};

// `count` frames of an encoder: MPEG-2 pictures of a moving gradient (groups of 6 with two B
// pictures between references, open groups) or AC-3 frames of a tone.
std::vector<Coded> Encode(AVCodecID id, int count)
{
    const AVCodec* codec = avcodec_find_encoder(id);
    ffmpeg::CodecContextPtr context(avcodec_alloc_context3(codec));
    std::vector<Coded> out;
    if (!context) return out;
    const bool video = id == AV_CODEC_ID_MPEG2VIDEO;
    if (video) {
        context->width = 352;
        context->height = 240;
        context->pix_fmt = AV_PIX_FMT_YUV420P;
        context->time_base = {1001, 30000};
        context->framerate = {30000, 1001};
        context->gop_size = 6;
        context->max_b_frames = 2;
        context->bit_rate = 2000000;
    } else {
        context->sample_rate = 48000;
        context->sample_fmt = AV_SAMPLE_FMT_FLTP;
        av_channel_layout_default(&context->ch_layout, 2);
        context->time_base = {1, 48000};
        context->bit_rate = 192000;
    }
    if (avcodec_open2(context.get(), codec, nullptr) < 0) return out;
    ffmpeg::FramePtr frame = ffmpeg::MakeFrame();
    ffmpeg::PacketPtr packet = ffmpeg::MakePacket();
    auto drain = [&] {
        while (avcodec_receive_packet(context.get(), packet.get()) == 0) {
            out.push_back({{packet->data, packet->data + packet->size}, packet->pts, (packet->flags & AV_PKT_FLAG_KEY) != 0});
            av_packet_unref(packet.get());
        }
    };
    for (int i = 0; i < count; ++i) {
        av_frame_unref(frame.get());
        if (video) {
            frame->format = AV_PIX_FMT_YUV420P;
            frame->width = 352;
            frame->height = 240;
        } else {
            frame->format = AV_SAMPLE_FMT_FLTP;
            frame->nb_samples = context->frame_size;
            av_channel_layout_default(&frame->ch_layout, 2);
            frame->sample_rate = 48000;
        }
        if (av_frame_get_buffer(frame.get(), 0) < 0) return out;
        if (video) {
            for (int y = 0; y < 240; ++y)
                for (int x = 0; x < 352; ++x) frame->data[0][y * frame->linesize[0] + x] = static_cast<std::uint8_t>(x + y + 7 * i);
            for (int plane = 1; plane < 3; ++plane)
                for (int y = 0; y < 120; ++y) std::fill_n(frame->data[plane] + y * frame->linesize[plane], 176, 128);
            frame->pts = i;
        } else {
            for (int c = 0; c < 2; ++c) {
                auto* samples = reinterpret_cast<float*>(frame->data[c]);
                for (int s = 0; s < frame->nb_samples; ++s)
                    samples[s] = 0.3f * std::sin(2 * 3.14159265f * 440.0f * static_cast<float>(i * frame->nb_samples + s) / 48000.0f);
            }
            frame->pts = static_cast<std::int64_t>(i) * context->frame_size;
        }
        if (avcodec_send_frame(context.get(), frame.get()) < 0) return out;
        drain();
    }
    avcodec_send_frame(context.get(), nullptr);
    drain();
    return out;
}

// The frames' bytes one after the other, and where each begins.
std::vector<std::uint8_t> Join(const std::vector<Coded>& frames, std::vector<std::size_t>* starts)
{
    std::vector<std::uint8_t> all;
    for (const Coded& f : frames) {
        starts->push_back(all.size());
        all.insert(all.end(), f.bytes.begin(), f.bytes.end());
    }
    return all;
}

struct Framed {
    std::vector<std::uint8_t> bytes;
    std::int64_t pts, dts, duration;
    bool key;
};

// What a framer gives, kept (its frames' bytes live only until the next call).
PacketFramer::FrameFn KeepInto(std::vector<Framed>& frames)
{
    return [&frames](const PacketFramer::Frame& f) {
        frames.push_back({{f.data, f.data + f.size}, f.pts, f.dts, f.duration, f.key});
        return true;
    };
}

constexpr std::int64_t kPicture = 333667; // 100 ns at 29.97 pictures a second

TEST(PacketFramer, PicturesComeWholeAtTheirTimesWithOrWithoutTimesOfTheirOwn)
{
    const std::vector<Coded> coded = Encode(AV_CODEC_ID_MPEG2VIDEO, 24);
    ASSERT_GE(coded.size(), 24u);
    std::vector<std::size_t> starts;
    const std::vector<std::uint8_t> stream = Join(coded, &starts);
    // As a disc's packets come: pieces of 2000 bytes, a time only where a picture begins in the
    // piece and that picture is the group's first or a reference (the small B pictures have none).
    for (const bool everyPicture : {true, false}) {
        SCOPED_TRACE(everyPicture ? "a time for each picture that begins in a piece" : "times for references only");
        PacketFramer framer;
        ASSERT_TRUE(framer.Open(AV_CODEC_ID_MPEG2VIDEO));
        std::vector<Framed> frames;
        const PacketFramer::FrameFn take = KeepInto(frames);
        constexpr std::size_t kPiece = 2000;
        for (std::size_t at = 0; at < stream.size(); at += kPiece) {
            const std::size_t size = std::min(kPiece, stream.size() - at);
            std::int64_t time = PacketFramer::kNoTime;
            for (std::size_t i = 0; i < coded.size(); ++i) {
                if (starts[i] >= at && starts[i] < at + size) {
                    if (everyPicture || coded[i].key || i % 3 == 0) time = 50000000 + coded[i].pts * kPicture;
                    break;
                }
            }
            ASSERT_TRUE(framer.Feed(stream.data() + at, size, time, take));
        }
        ASSERT_TRUE(framer.Drain(take));
        ASSERT_EQ(frames.size(), coded.size());
        std::int64_t lastDts = INT64_MIN;
        for (std::size_t i = 0; i < coded.size(); ++i) {
            SCOPED_TRACE("picture " + std::to_string(i));
            EXPECT_EQ(frames[i].bytes, coded[i].bytes);
            EXPECT_EQ(frames[i].key, coded[i].key);
            EXPECT_NEAR(frames[i].pts, 50000000 + coded[i].pts * kPicture, 2);
            EXPECT_NEAR(frames[i].duration, kPicture, 1);
            EXPECT_GT(frames[i].dts, lastDts);
            EXPECT_LE(frames[i].dts, frames[i].pts);
            lastDts = frames[i].dts;
        }
        ASSERT_NE(framer.Stream(), nullptr);
        EXPECT_EQ(framer.Stream()->width, 352);
        EXPECT_EQ(framer.Stream()->framerate.num * 1001, framer.Stream()->framerate.den * 30000);
    }
}

TEST(PacketFramer, SoundFramesFollowTheFirstTimeByTheirLength)
{
    const std::vector<Coded> coded = Encode(AV_CODEC_ID_AC3, 12);
    ASSERT_GE(coded.size(), 10u);
    std::vector<std::size_t> starts;
    const std::vector<std::uint8_t> stream = Join(coded, &starts);
    PacketFramer framer;
    ASSERT_TRUE(framer.Open(AV_CODEC_ID_AC3));
    std::vector<Framed> frames;
    const PacketFramer::FrameFn take = KeepInto(frames);
    // Odd pieces; only the first carries a time.
    for (std::size_t at = 0, piece = 333; at < stream.size(); at += piece, piece = piece * 7 % 1500 + 100)
        ASSERT_TRUE(framer.Feed(stream.data() + at, std::min(piece, stream.size() - at), at == 0 ? 1000000 : PacketFramer::kNoTime, take));
    ASSERT_TRUE(framer.Drain(take));
    ASSERT_EQ(frames.size(), coded.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i].bytes, coded[i].bytes) << "frame " << i;
        EXPECT_EQ(frames[i].pts, 1000000 + static_cast<std::int64_t>(i) * 320000) << "frame " << i; // 1536 samples: 32 ms
        EXPECT_EQ(frames[i].dts, frames[i].pts);
        EXPECT_TRUE(frames[i].key);
    }
    ASSERT_NE(framer.Stream(), nullptr);
    EXPECT_EQ(framer.Stream()->sample_rate, 48000);
    EXPECT_EQ(framer.Stream()->ch_layout.nb_channels, 2);
}

TEST(PacketFramer, CodecsThatCannotBeCopiedAreRefused)
{
    PacketFramer framer;
    EXPECT_FALSE(framer.Open(AV_CODEC_ID_PCM_BLURAY)); // the splitter takes its headers off
    EXPECT_FALSE(framer.Open(AV_CODEC_ID_AAC));
    EXPECT_TRUE(framer.Open(AV_CODEC_ID_DVD_SUBTITLE));
    EXPECT_TRUE(framer.Open(AV_CODEC_ID_HDMV_PGS_SUBTITLE));
}

TEST(PacketFramer, DvdLpcmPacketsLastAsLongAsTheirSamplesPlay)
{
    // Each packet begins with three header bytes: 24 bits at 96 kHz in two channels (0x91), or 16
    // bits at 48 kHz in two (0x01). Packets without a time follow the one before.
    PacketFramer framer;
    ASSERT_TRUE(framer.Open(AV_CODEC_ID_PCM_DVD));
    std::vector<Framed> frames;
    const PacketFramer::FrameFn take = KeepInto(frames);
    std::vector<std::uint8_t> deep(3 + 2004, 0), plain(3 + 1920, 0);
    deep[1] = 0x91;
    plain[1] = 0x01;
    ASSERT_TRUE(framer.Feed(deep.data(), deep.size(), 10000000, take));
    ASSERT_TRUE(framer.Feed(deep.data(), deep.size(), PacketFramer::kNoTime, take));
    ASSERT_EQ(frames.size(), 2u);
    const std::int64_t deepLength = 334 * 10000000LL / 96000; // 2004 bytes: 334 samples of 6 bytes
    EXPECT_EQ(frames[0].duration, deepLength);
    EXPECT_EQ(frames[1].pts, 10000000 + deepLength);
    ASSERT_NE(framer.Stream(), nullptr);
    EXPECT_EQ(framer.Stream()->sample_rate, 96000);
    EXPECT_EQ(framer.Stream()->bits_per_coded_sample, 24);
    EXPECT_EQ(framer.Stream()->ch_layout.nb_channels, 2);
    ASSERT_TRUE(framer.Feed(plain.data(), plain.size(), 20000000, take));
    EXPECT_EQ(frames.back().duration, 480 * 10000000LL / 48000);
}

TEST(OutputWriterCopies, TheHeaderWaitsForTheCopiedStreamsAndTheFileHoldsTheirFrames)
{
    const std::vector<Coded> pictures = Encode(AV_CODEC_ID_MPEG2VIDEO, 12);
    const std::vector<Coded> sound = Encode(AV_CODEC_ID_AC3, 12);
    ASSERT_FALSE(pictures.empty());
    ASSERT_FALSE(sound.empty());
    WriterSettings settings{};
    settings.hasVideo = 1;
    std::snprintf(settings.VideoCodecName, sizeof settings.VideoCodecName, "copy");
    settings.hasAudio = 1;
    std::snprintf(settings.AudioCodecName, sizeof settings.AudioCodecName, "copy");
    FileMarks marks;
    marks.audio.resize(1);
    marks.audio[0].copy = true;
    marks.audio[0].language = "eng";
    const std::string path = TemporaryPath("copied.mkv");
    OutputWriter writer;
    ASSERT_TRUE(writer.Open(path, settings, {}, -1, marks)) << writer.LastError();
    EXPECT_TRUE(writer.Copies(StreamKind::kVideo));
    EXPECT_TRUE(writer.Copies(StreamKind::kAudio, 0));
    CopiedFormat video;
    video.codec = AV_CODEC_ID_MPEG2VIDEO;
    video.width = 352;
    video.height = 240;
    video.sampleAspect = {10, 11};
    video.frameRate = {30000, 1001};
    CopiedFormat audio;
    audio.codec = AV_CODEC_ID_AC3;
    audio.sampleRate = 48000;
    audio.channels = 2;
    ASSERT_TRUE(writer.DescribeCopied(StreamKind::kVideo, 0, video, true));
    // The sound has not said its format yet: nothing is written, what comes is kept.
    ASSERT_TRUE(writer.DescribeCopied(StreamKind::kAudio, 0, audio, false));
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        CopiedPacket p;
        p.data = pictures[i].bytes.data();
        p.size = pictures[i].bytes.size();
        p.pts = pictures[i].pts * kPicture;
        p.dts = (static_cast<std::int64_t>(i) - 2) * kPicture;
        p.duration = kPicture;
        p.key = pictures[i].key;
        ASSERT_EQ(writer.WriteCopied(StreamKind::kVideo, 0, p), 0) << writer.LastError();
    }
    EXPECT_EQ(std::filesystem::file_size(path), 0u);
    ASSERT_TRUE(writer.DescribeCopied(StreamKind::kAudio, 0, audio, true));
    for (std::size_t i = 0; i < sound.size(); ++i) {
        CopiedPacket p;
        p.data = sound[i].bytes.data();
        p.size = sound[i].bytes.size();
        p.pts = p.dts = static_cast<std::int64_t>(i) * 320000;
        p.duration = 320000;
        ASSERT_EQ(writer.WriteCopied(StreamKind::kAudio, 0, p), 0) << writer.LastError();
    }
    EXPECT_EQ(writer.CopiedPackets(StreamKind::kVideo), static_cast<std::int64_t>(pictures.size()));
    EXPECT_EQ(writer.Length(), writer.CopiedEnd(StreamKind::kVideo));
    ASSERT_TRUE(writer.Close()) << writer.LastError();

    // The file's packets are the encoders' own, in the container's order for each stream.
    const std::string streams = ToolOutput({"ffprobe", "-v", "error", "-show_entries",
                                            "stream=codec_name,sample_aspect_ratio,sample_rate:stream_tags=language", "-of", "csv=p=0", path});
    EXPECT_NE(streams.find("mpeg2video,10:11"), std::string::npos) << streams;
    EXPECT_NE(streams.find("ac3,48000,eng"), std::string::npos) << streams;
    const std::string hashes = ToolOutput({"ffmpeg", "-v", "error", "-i", path, "-map", "0:a", "-c", "copy", "-f", "framemd5", "-"});
    std::istringstream lines(hashes);
    std::size_t packets = 0;
    for (std::string line; std::getline(lines, line);)
        if (!line.empty() && line[0] != '#') ++packets;
    EXPECT_EQ(packets, sound.size());
    std::filesystem::remove(path);
}

} // namespace
