#include "play/snapshot.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "com/debug_log.h"
#include "ffmpeg/ffmpeg_errors.h"
#include "ffmpeg/ffmpeg_handles.h"
#include "pipeline/format_blocks.h"

extern "C" {
#include <libavutil/opt.h>
}

namespace {

struct ImageType {
    const char* extension;
    AVCodecID codec;
    AVPixelFormat pixels;
    const char* muxer;
};

constexpr ImageType kTypes[] = {
    {"bmp", AV_CODEC_ID_BMP, AV_PIX_FMT_BGR24, "image2"},
    {"jpeg", AV_CODEC_ID_MJPEG, AV_PIX_FMT_YUVJ420P, "image2"},
    {"jpg", AV_CODEC_ID_MJPEG, AV_PIX_FMT_YUVJ420P, "image2"},
    {"gif", AV_CODEC_ID_GIF, AV_PIX_FMT_RGB8, "gif"},
};

const ImageType* TypeOf(const std::string& path)
{
    const auto dot = path.rfind('.');
    if (dot == std::string::npos) return nullptr;
    std::string extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) { return std::tolower(c); });
    for (const ImageType& type : kTypes)
        if (extension == type.extension) return &type;
    return nullptr;
}

// The DIB's pixels converted into a frame of the encoder's format.
ffmpeg::FramePtr ConvertPicture(const BITMAPINFOHEADER& header, const BYTE* pixels, AVPixelFormat format)
{
    const int width = header.biWidth, height = std::abs(header.biHeight);
    ffmpeg::FramePtr frame = ffmpeg::MakeFrame();
    if (!frame) return nullptr;
    frame->width = width;
    frame->height = height;
    frame->format = format;
    if (av_frame_get_buffer(frame.get(), 0) < 0) return nullptr;
    ffmpeg::SwsPtr scaler(sws_getContext(width, height, AV_PIX_FMT_BGRA, width, height, format, SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!scaler) return nullptr;
    const int stride = width * 4;
    // Bottom-up pictures are read from their last row, with a negative stride.
    const bool topDown = header.biHeight < 0;
    const std::uint8_t* source[4] = {topDown ? pixels : pixels + static_cast<std::ptrdiff_t>(stride) * (height - 1), nullptr, nullptr, nullptr};
    const int strides[4] = {topDown ? stride : -stride, 0, 0, 0};
    if (sws_scale(scaler.get(), source, strides, 0, height, frame->data, frame->linesize) != height) return nullptr;
    return frame;
}

} // namespace

namespace {

bool WriteSnapshot(const BYTE* dib, const std::string& path);

} // namespace

bool SaveSnapshot(const BYTE* dib, const std::string& path)
{
    // A picture that could not be written whole leaves no file behind (its name is new: a
    // snapshot never replaces one).
    std::error_code error;
    const bool existed = std::filesystem::exists(std::filesystem::symlink_status(path, error));
    const bool saved = WriteSnapshot(dib, path);
    if (!saved && !existed) std::filesystem::remove(path, error);
    return saved;
}

namespace {

bool WriteSnapshot(const BYTE* dib, const std::string& path)
{
    const ImageType* type = TypeOf(path);
    if (!dib || !type) return false;
    BITMAPINFOHEADER header;
    std::memcpy(&header, dib, sizeof header);
    if (header.biWidth <= 0 || header.biHeight == 0 || header.biBitCount != 32) return false;
    const BYTE* pixels = dib + header.biSize;

    const AVCodec* codec = avcodec_find_encoder(type->codec);
    if (!codec) return false;
    ffmpeg::CodecContextPtr context(avcodec_alloc_context3(codec));
    if (!context) return false;
    context->width = header.biWidth;
    context->height = std::abs(header.biHeight);
    context->pix_fmt = type->pixels;
    context->time_base = AVRational{1, 25};
    if (type->codec == AV_CODEC_ID_MJPEG) {
        // Good quality: a fixed quantiser near the top of the scale.
        context->flags |= AV_CODEC_FLAG_QSCALE;
        context->global_quality = FF_QP2LAMBDA * 2;
    }
    if (ffmpeg::StatusOf(avcodec_open2(context.get(), codec, nullptr)) != ffmpeg::Status::Ok) return false;
    ffmpeg::FramePtr frame = ConvertPicture(header, pixels, type->pixels);
    if (!frame) return false;
    frame->pts = 0;
    if (type->codec == AV_CODEC_ID_MJPEG) frame->quality = context->global_quality;

    ffmpeg::PacketPtr packet = ffmpeg::MakePacket();
    if (!packet || avcodec_send_frame(context.get(), frame.get()) < 0 || avcodec_send_frame(context.get(), nullptr) < 0 ||
        avcodec_receive_packet(context.get(), packet.get()) < 0)
        return false;

    AVFormatContext* raw = nullptr;
    if (avformat_alloc_output_context2(&raw, nullptr, type->muxer, path.c_str()) < 0 || !raw) return false;
    ffmpeg::OutputContextPtr output(raw);
    AVStream* stream = avformat_new_stream(output.get(), nullptr);
    if (!stream || avcodec_parameters_from_context(stream->codecpar, context.get()) < 0) return false;
    stream->time_base = context->time_base;
    // The image muxer writes its files itself; the others write through an opened file.
    if (!(output->oformat->flags & AVFMT_NOFILE) && avio_open(&output->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) {
        DebugLog("snapshot: cannot write %s\n", path.c_str());
        return false;
    }
    AVDictionary* options = nullptr;
    // One picture under exactly this name (no numbered sequence).
    if (std::string(type->muxer) == "image2") av_dict_set(&options, "update", "1", 0);
    const int written = avformat_write_header(output.get(), &options);
    av_dict_free(&options);
    if (written < 0) return false;
    packet->stream_index = stream->index;
    packet->pts = packet->dts = 0;
    if (av_interleaved_write_frame(output.get(), packet.get()) < 0) return false;
    if (av_write_trailer(output.get()) < 0) return false;
    // The file we opened is closed here: a write the system reports only then (a full disk, a
    // network folder) fails the picture.
    if (!(output->oformat->flags & AVFMT_NOFILE) && avio_closep(&output->pb) < 0) {
        DebugLog("snapshot: cannot finish %s\n", path.c_str());
        return false;
    }
    return true;
}

} // namespace
