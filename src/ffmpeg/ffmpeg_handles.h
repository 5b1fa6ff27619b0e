#pragma once
// Owning handles for FFmpeg objects: each frees its object with the library's own call.

#include <cstdlib>
#include <cstdarg>
#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace ffmpeg {

struct CodecContextFree {
    void operator()(AVCodecContext* p) const { avcodec_free_context(&p); }
};
struct FrameFree {
    void operator()(AVFrame* p) const { av_frame_free(&p); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsFree {
    void operator()(SwsContext* p) const { sws_freeContext(p); }
};
struct SwrFree {
    void operator()(SwrContext* p) const { swr_free(&p); }
};
struct ParserFree {
    void operator()(AVCodecParserContext* p) const { av_parser_close(p); }
};
struct AudioFifoFree {
    void operator()(AVAudioFifo* p) const { av_audio_fifo_free(p); }
};
struct FilterGraphFree {
    void operator()(AVFilterGraph* p) const { avfilter_graph_free(&p); }
};
struct BufferPoolFree {
    void operator()(AVBufferPool* p) const { av_buffer_pool_uninit(&p); }
};
// A format context for writing: the file (when the format has one and libavformat opened it) is
// closed with it. A context of our own (AVFMT_FLAG_CUSTOM_IO) stays with its owner.
struct OutputContextFree {
    void operator()(AVFormatContext* p) const
    {
        if (p->pb && !(p->oformat->flags & AVFMT_NOFILE) && !(p->flags & AVFMT_FLAG_CUSTOM_IO)) avio_closep(&p->pb);
        avformat_free_context(p);
    }
};
// An I/O context made with avio_alloc_context, and its buffer (which libavformat may have
// replaced with one of its own).
struct IoContextFree {
    void operator()(AVIOContext* p) const
    {
        av_freep(&p->buffer);
        avio_context_free(&p);
    }
};
struct Free {
    void operator()(void* p) const { av_free(p); }
};

using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
using SwsPtr = std::unique_ptr<SwsContext, SwsFree>;
using SwrPtr = std::unique_ptr<SwrContext, SwrFree>;
using ParserPtr = std::unique_ptr<AVCodecParserContext, ParserFree>;
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, AudioFifoFree>;
using FilterGraphPtr = std::unique_ptr<AVFilterGraph, FilterGraphFree>;
using BufferPoolPtr = std::unique_ptr<AVBufferPool, BufferPoolFree>;
using OutputContextPtr = std::unique_ptr<AVFormatContext, OutputContextFree>;
using IoContextPtr = std::unique_ptr<AVIOContext, IoContextFree>;
template <typename T>
using BufferPtr = std::unique_ptr<T, Free>;

inline FramePtr MakeFrame() { return FramePtr(av_frame_alloc()); }
inline PacketPtr MakePacket() { return PacketPtr(av_packet_alloc()); }
inline ParserPtr MakeParser(AVCodecID id) { return ParserPtr(av_parser_init(id)); }

// The log callback that sends FFmpeg's own log to the program's debug log (ZUZIDERO_DEBUG=1 shows
// it), never straight to the terminal; the engine's registration installs it. Any thread.
void LogToDebugLog(void* context, int level, const char* format, va_list args);

// FFmpeg's message for an error code.
inline std::string ErrorText(int error)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return text;
}

} // namespace ffmpeg
