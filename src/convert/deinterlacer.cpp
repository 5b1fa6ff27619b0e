#include "convert/deinterlacer.h"

#include <cstdio>
#include <cstring>

#include "com/debug_log.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/imgutils.h>
}

namespace {

constexpr int kAlign = 64; // row alignment the filters' vector code is happy with
constexpr AVRational kTimeBase{1, 1000}; // picture numbers go in as milliseconds
constexpr AVRational kTelecineTimeBase{1, 10000000}; // the inverse telecine's times, 100 ns

int Aligned(int value) { return (value + kAlign - 1) / kAlign * kAlign; }

void CopyRows(std::uint8_t* to, int toStride, const std::uint8_t* from, int fromStride, int width, int height)
{
    for (int row = 0; row < height; ++row)
        std::memcpy(to + static_cast<std::ptrdiff_t>(row) * toStride, from + static_cast<std::ptrdiff_t>(row) * fromStride,
                    static_cast<std::size_t>(width));
}

} // namespace

Deinterlacer::Deinterlacer() : m_in(ffmpeg::MakeFrame()), m_out(ffmpeg::MakeFrame()) {}

Deinterlacer::~Deinterlacer() { Close(); }

bool Deinterlacer::Open(int width, int height, bool all)
{
    Close();
    m_all = all;
    m_telecinePeriod = 0;
    return Open(width, height);
}

bool Deinterlacer::OpenInverseTelecine(int width, int height, std::int64_t period)
{
    Close();
    if (period <= 0) return false;
    m_telecinePeriod = period;
    return Open(width, height);
}

bool Deinterlacer::Open(int width, int height)
{
    if (width < 4 || height < 4 || (width & 1) || (height & 1) || !m_in || !m_out) return false;
    m_width = width;
    m_height = height;
    const int lumaStride = Aligned(width), chromaStride = Aligned(width / 2);
    const auto size = static_cast<std::size_t>(lumaStride) * height + 2 * static_cast<std::size_t>(chromaStride) * (height / 2);
    // Room to align the start, and padding the filters' vector code may read into.
    m_pool.reset(av_buffer_pool_init(size + kAlign + AV_INPUT_BUFFER_PADDING_SIZE, nullptr));
    if (!m_pool || !Build()) {
        Close();
        return false;
    }
    return true;
}

bool Deinterlacer::Build()
{
    m_graph.reset();
    m_source = m_sink = nullptr;
    const AVFilter* deinterlace = avfilter_get_by_name("bwdif");
    if (!deinterlace) deinterlace = avfilter_get_by_name("yadif");
    const AVFilter* buffer = avfilter_get_by_name("buffer");
    const AVFilter* buffersink = avfilter_get_by_name("buffersink");
    const AVFilter* fieldmatch = avfilter_get_by_name("fieldmatch");
    const AVFilter* decimate = avfilter_get_by_name("decimate");
    if (!deinterlace || !buffer || !buffersink) {
        DebugLog("deinterlacer: libavfilter has neither bwdif nor yadif\n");
        return false;
    }
    const bool telecine = m_telecinePeriod > 0;
    if (telecine && (!fieldmatch || !decimate)) {
        DebugLog("deinterlacer: libavfilter lacks fieldmatch or decimate\n");
        return false;
    }
    m_filterName = telecine ? fieldmatch->name : deinterlace->name;
    m_graph.reset(avfilter_graph_alloc());
    if (!m_graph) return false;
    const AVRational timeBase = telecine ? kTelecineTimeBase : kTimeBase;
    char sourceArgs[160];
    std::snprintf(sourceArgs, sizeof sourceArgs, "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=1/1", m_width,
                  m_height, static_cast<int>(AV_PIX_FMT_YUV420P), timeBase.num, timeBase.den);
    if (telecine) {
        // decimate times its pictures by the rate they come at.
        AVRational rate{};
        av_reduce(&rate.num, &rate.den, kTelecineTimeBase.den, m_telecinePeriod, 1 << 30);
        const std::size_t used = std::strlen(sourceArgs);
        std::snprintf(sourceArgs + used, sizeof sourceArgs - used, ":frame_rate=%d/%d", rate.num, rate.den);
    }
    // One picture out per picture in; the field order from each picture's marks (top first when
    // unmarked); every picture, or only those marked as interlaced. After a field match, only
    // what it marks as still combed.
    const char* options = telecine || !m_all ? "mode=send_frame:parity=auto:deint=interlaced" : "mode=send_frame:parity=auto:deint=all";
    AVFilterContext* match = nullptr;
    AVFilterContext* filter = nullptr;
    AVFilterContext* drop = nullptr;
    int result = avfilter_graph_create_filter(&m_source, buffer, "in", sourceArgs, nullptr, m_graph.get());
    if (result >= 0 && telecine)
        result = avfilter_graph_create_filter(&match, fieldmatch, "fieldmatch", "order=auto:combmatch=full", nullptr, m_graph.get());
    if (result >= 0) result = avfilter_graph_create_filter(&filter, deinterlace, "deinterlace", options, nullptr, m_graph.get());
    if (result >= 0 && telecine) result = avfilter_graph_create_filter(&drop, decimate, "decimate", nullptr, nullptr, m_graph.get());
    if (result >= 0) result = avfilter_graph_create_filter(&m_sink, buffersink, "out", nullptr, nullptr, m_graph.get());
    AVFilterContext* chain[] = {m_source, match, filter, drop, m_sink};
    AVFilterContext* previous = nullptr;
    for (AVFilterContext* next : chain) {
        if (result < 0 || !next) continue;
        if (previous) result = avfilter_link(previous, 0, next, 0);
        previous = next;
    }
    if (result >= 0) result = avfilter_graph_config(m_graph.get(), nullptr);
    if (result < 0) {
        DebugLog("deinterlacer: cannot set up %s: %s\n", m_filterName, ffmpeg::ErrorText(result).c_str());
        m_graph.reset();
        m_source = m_sink = nullptr;
        return false;
    }
    return true;
}

void Deinterlacer::Close()
{
    m_graph.reset();
    m_source = m_sink = nullptr;
    if (m_in) av_frame_unref(m_in.get());
    if (m_out) av_frame_unref(m_out.get());
    m_pool.reset();
}

bool Deinterlacer::Reset() { return m_pool && Build(); }

bool Deinterlacer::Push(const std::uint8_t* yv12, bool interlaced, bool topFieldFirst, std::int64_t number)
{
    if (!m_graph || !yv12) return false;
    AVBufferRef* buffer = av_buffer_pool_get(m_pool.get());
    if (!buffer) return false;
    AVFrame* frame = m_in.get();
    const int lumaStride = Aligned(m_width), chromaStride = Aligned(m_width / 2);
    std::uint8_t* base = buffer->data + (kAlign - reinterpret_cast<std::uintptr_t>(buffer->data) % kAlign) % kAlign;
    frame->buf[0] = buffer;
    frame->data[0] = base;
    frame->data[1] = base + static_cast<std::ptrdiff_t>(lumaStride) * m_height;
    frame->data[2] = frame->data[1] + static_cast<std::ptrdiff_t>(chromaStride) * (m_height / 2);
    frame->linesize[0] = lumaStride;
    frame->linesize[1] = frame->linesize[2] = chromaStride;
    frame->width = m_width;
    frame->height = m_height;
    frame->format = AV_PIX_FMT_YUV420P;
    frame->pts = number;
    frame->interlaced_frame = interlaced ? 1 : 0;
    frame->top_field_first = topFieldFirst ? 1 : 0;
    // YV12 holds Cr before Cb; the filter's 4:2:0 planes are Y, Cb, Cr.
    const std::size_t luma = static_cast<std::size_t>(m_width) * m_height, chroma = luma / 4;
    CopyRows(frame->data[0], lumaStride, yv12, m_width, m_width, m_height);
    CopyRows(frame->data[1], chromaStride, yv12 + luma + chroma, m_width / 2, m_width / 2, m_height / 2);
    CopyRows(frame->data[2], chromaStride, yv12 + luma, m_width / 2, m_width / 2, m_height / 2);
    // The source takes the frame's reference and leaves the frame blank for the next picture.
    const int result = av_buffersrc_add_frame(m_source, frame);
    if (m_errors.Note("av_buffersrc_add_frame", result)) {
        av_frame_unref(frame);
        return false;
    }
    return true;
}

bool Deinterlacer::End()
{
    if (!m_graph) return false;
    const int result = av_buffersrc_add_frame(m_source, nullptr);
    m_errors.Note("av_buffersrc_add_frame", result);
    return result >= 0;
}

bool Deinterlacer::Pull(std::uint8_t* yv12, std::int64_t& number)
{
    if (!m_graph || !yv12) return false;
    const int result = av_buffersink_get_frame(m_sink, m_out.get());
    if (result < 0) {
        m_errors.Note("av_buffersink_get_frame", result);
        return false;
    }
    const AVFrame* frame = m_out.get();
    const std::size_t luma = static_cast<std::size_t>(m_width) * m_height, chroma = luma / 4;
    CopyRows(yv12, m_width, frame->data[0], frame->linesize[0], m_width, m_height);
    CopyRows(yv12 + luma, m_width / 2, frame->data[2], frame->linesize[2], m_width / 2, m_height / 2);
    CopyRows(yv12 + luma + chroma, m_width / 2, frame->data[1], frame->linesize[1], m_width / 2, m_height / 2);
    // bwdif counts in half the source's time base (it can make two pictures of one), decimate in
    // a base of its own.
    number = av_rescale_q(frame->pts, av_buffersink_get_time_base(m_sink), m_telecinePeriod > 0 ? kTelecineTimeBase : kTimeBase);
    av_frame_unref(m_out.get());
    return true;
}
