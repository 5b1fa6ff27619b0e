#include "write/packet_framer.h"

#include <algorithm>

#include "com/debug_log.h"

namespace {

constexpr int kMpegReorder = 2;  // B pictures between two references, as DVDs have them
constexpr int kOtherReorder = 4; // H.264 and VC-1 pyramids

bool ComesWhole(AVCodecID codec)
{
    return codec == AV_CODEC_ID_H264 || codec == AV_CODEC_ID_VC1 || codec == AV_CODEC_ID_HDMV_PGS_SUBTITLE ||
           codec == AV_CODEC_ID_PCM_DVD;
}

// What the three header bytes that begin each DVD LPCM packet say: the samples' depth, rate and
// channels. False for bytes that say none of the DVD's.
bool ReadLpcmHeader(const std::uint8_t* data, std::size_t size, int& bits, int& rate, int& channels)
{
    if (size < 3) return false;
    static constexpr int kBits[4] = {16, 20, 24, 0};
    static constexpr int kRates[4] = {48000, 96000, 44100, 32000};
    bits = kBits[data[1] >> 6];
    rate = kRates[(data[1] >> 4) & 3];
    channels = (data[1] & 7) + 1;
    return bits > 0;
}

bool IsVideo(AVCodecID codec) { return avcodec_get_type(codec) == AVMEDIA_TYPE_VIDEO; }

// The picture header (00 00 01 00) of an MPEG picture, or null.
const std::uint8_t* PictureHeader(const std::uint8_t* data, std::size_t size)
{
    for (std::size_t i = 0; i + 6 <= size; ++i)
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1 && data[i + 3] == 0) return data + i;
    return nullptr;
}

bool HasGroupHeader(const std::uint8_t* data, std::size_t size)
{
    for (std::size_t i = 0; i + 4 <= size; ++i) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
            if (data[i + 3] == 0xB8) return true;
            if (data[i + 3] == 0x00) return false; // the picture begins: no group header before it
        }
    }
    return false;
}

} // namespace

bool PacketFramer::Open(AVCodecID codec)
{
    m_parser.reset();
    m_context.reset();
    m_codec = codec;
    switch (codec) {
    case AV_CODEC_ID_AC3:
    case AV_CODEC_ID_EAC3:
    case AV_CODEC_ID_DTS:
    case AV_CODEC_ID_MP1:
    case AV_CODEC_ID_MP2:
    case AV_CODEC_ID_MP3:
    case AV_CODEC_ID_MPEG1VIDEO:
    case AV_CODEC_ID_MPEG2VIDEO:
    case AV_CODEC_ID_DVD_SUBTITLE: m_parser = ffmpeg::MakeParser(codec); break;
    default:
        if (!ComesWhole(codec)) return false;
    }
    const AVCodec* decoder = avcodec_find_decoder(codec);
    m_context.reset(avcodec_alloc_context3(decoder));
    if (!m_context || (!ComesWhole(codec) && !m_parser)) return false;
    m_context->codec_id = codec;
    m_context->codec_type = avcodec_get_type(codec);
    Reset();
    return true;
}

void PacketFramer::Reset()
{
    if (m_parser) m_parser = ffmpeg::MakeParser(m_codec);
    m_nextPts = kNoTime;
    m_groupBase = kNoTime;
    m_groupFields.fill(0);
    m_shownEnd = kNoTime;
    m_reorder.clear();
    m_lastDts = kNoTime;
}

bool PacketFramer::Feed(const std::uint8_t* data, std::size_t size, std::int64_t start, const FrameFn& out)
{
    if (!m_context || !data) return true;
    if (!m_parser) return Emit(data, size, start, out);
    std::int64_t pts = start == kNoTime ? AV_NOPTS_VALUE : start;
    while (size > 0) {
        std::uint8_t* frame = nullptr;
        int frameSize = 0;
        const int used = av_parser_parse2(m_parser.get(), m_context.get(), &frame, &frameSize, data,
                                          static_cast<int>(std::min<std::size_t>(size, INT32_MAX)), pts, AV_NOPTS_VALUE, 0);
        if (used < 0) {
            DebugLog("framer: the %s parser refuses a piece of %zu bytes\n", avcodec_get_name(m_codec), size);
            return true;
        }
        data += used;
        size -= static_cast<std::size_t>(used);
        pts = AV_NOPTS_VALUE; // the time belongs to the piece's first frame only
        if (frameSize > 0) {
            const std::int64_t at = m_parser->pts == AV_NOPTS_VALUE ? kNoTime : m_parser->pts;
            if (!Emit(frame, static_cast<std::size_t>(frameSize), at, out)) return false;
        }
        if (used == 0 && frameSize == 0) break;
    }
    return true;
}

bool PacketFramer::Drain(const FrameFn& out)
{
    if (!m_parser || !m_context) return true;
    std::uint8_t* frame = nullptr;
    int frameSize = 0;
    av_parser_parse2(m_parser.get(), m_context.get(), &frame, &frameSize, nullptr, 0, AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
    if (frameSize <= 0) return true;
    return Emit(frame, static_cast<std::size_t>(frameSize), m_parser->pts == AV_NOPTS_VALUE ? kNoTime : m_parser->pts, out);
}

std::int64_t PacketFramer::Duration() const
{
    const AVCodecContext* c = m_context.get();
    if (m_codec == AV_CODEC_ID_PCM_DVD) return m_lpcmDuration;
    if (c->codec_type == AVMEDIA_TYPE_AUDIO) {
        if (!m_parser || m_parser->duration <= 0 || c->sample_rate <= 0) return 0;
        return static_cast<std::int64_t>(m_parser->duration) * 10000000 / c->sample_rate;
    }
    if (c->codec_type == AVMEDIA_TYPE_VIDEO && c->framerate.num > 0 && c->framerate.den > 0) {
        // The parser counts a picture's fields less one: 1 for a frame, 2 for one that repeats
        // its first field (3:2 pulldown).
        const int fields = m_parser && m_parser->repeat_pict > 0 ? 1 + m_parser->repeat_pict : 2;
        return av_rescale(10000000LL * fields, c->framerate.den, 2LL * c->framerate.num);
    }
    return 0;
}

std::int64_t PacketFramer::PictureTime(const std::uint8_t* data, std::size_t size, std::int64_t pts)
{
    const std::uint8_t* header = PictureHeader(data, size);
    const AVCodecContext* c = m_context.get();
    if (!header || c->framerate.num <= 0) return pts;
    const int reference = header[4] << 2 | header[5] >> 6;
    // A picture is shown for its fields: two, or three when it repeats its first (the film
    // pictures of soft telecine), so the group's pictures before it are added up field by field.
    // A group without a time of its own is shown right after the pictures before it.
    if (HasGroupHeader(data, size)) {
        m_groupBase = m_shownEnd;
        m_groupFields.fill(0);
    }
    m_groupFields[static_cast<std::size_t>(reference)] =
        static_cast<std::uint8_t>(m_parser && m_parser->repeat_pict > 0 ? 1 + m_parser->repeat_pict : 2);
    // Each picture's length rounded as the pictures' own lengths are (Duration).
    const auto length = [&](std::int64_t fields) { return av_rescale(10000000 * fields, c->framerate.den, 2LL * c->framerate.num); };
    std::int64_t before = 0;
    bool known = true; // every picture shown before this one has been seen
    for (int r = 0; r < reference; ++r) {
        const std::uint8_t fields = m_groupFields[static_cast<std::size_t>(r)];
        known = known && fields > 0;
        before += length(fields > 0 ? fields : 2);
    }
    if (pts != kNoTime) {
        // The group's start from this picture's own time, where every picture before it is
        // known (a reference picture that comes before the B pictures it is shown after leaves
        // the start that the group's first picture gave).
        if (known || m_groupBase == kNoTime) m_groupBase = pts - before;
        return pts;
    }
    return m_groupBase == kNoTime ? kNoTime : m_groupBase + before;
}

bool PacketFramer::IsKey(const std::uint8_t* data, std::size_t size) const
{
    switch (m_codec) {
    case AV_CODEC_ID_MPEG1VIDEO:
    case AV_CODEC_ID_MPEG2VIDEO: {
        const std::uint8_t* header = PictureHeader(data, size);
        return header && ((header[5] >> 3) & 7) == 1; // an I picture
    }
    case AV_CODEC_ID_H264:
        // Length-prefixed units: an IDR slice, or a recovery point where decoding may start.
        for (std::size_t i = 0; i + 5 <= size;) {
            const std::size_t length = std::size_t{data[i]} << 24 | std::size_t{data[i + 1]} << 16 | std::size_t{data[i + 2]} << 8 | data[i + 3];
            const int type = data[i + 4] & 0x1F;
            if (type == 5) return true;
            if (type == 6 && i + 5 < size && data[i + 5] == 6) return true;
            if (length == 0) break;
            i += 4 + length;
        }
        return false;
    case AV_CODEC_ID_VC1: return size >= 4 && data[0] == 0 && data[1] == 0 && data[2] == 1 && data[3] == 0x0F;
    default: return true;
    }
}

std::int64_t PacketFramer::DecodingTime(std::int64_t pts, std::int64_t duration)
{
    if (!IsVideo(m_codec)) return pts;
    const std::size_t delay = m_codec == AV_CODEC_ID_MPEG2VIDEO || m_codec == AV_CODEC_ID_MPEG1VIDEO ? kMpegReorder : kOtherReorder;
    if (m_reorder.empty()) {
        // Before the first picture, as if pictures of its length had come.
        const std::int64_t step = std::max<std::int64_t>(duration, 1);
        for (std::size_t i = 0; i <= delay; ++i) m_reorder.push_back(pts - static_cast<std::int64_t>(delay + 1 - i) * step);
    }
    m_reorder[0] = pts;
    for (std::size_t i = 0; i + 1 < m_reorder.size() && m_reorder[i] > m_reorder[i + 1]; ++i) std::swap(m_reorder[i], m_reorder[i + 1]);
    std::int64_t dts = m_reorder[0];
    if (m_lastDts != kNoTime && dts <= m_lastDts) dts = m_lastDts + 1;
    dts = std::min(dts, pts);
    m_lastDts = dts;
    return dts;
}

bool PacketFramer::Emit(const std::uint8_t* data, std::size_t size, std::int64_t pts, const FrameFn& out)
{
    m_framed = true;
    if (m_codec == AV_CODEC_ID_PCM_DVD) {
        // A packet of LPCM lasts as long as its samples play.
        int bits = 0, rate = 0, channels = 0;
        m_lpcmDuration = 0;
        if (ReadLpcmHeader(data, size, bits, rate, channels)) {
            m_context->sample_rate = rate;
            av_channel_layout_uninit(&m_context->ch_layout);
            av_channel_layout_default(&m_context->ch_layout, channels);
            m_context->bits_per_coded_sample = bits;
            m_lpcmDuration = static_cast<std::int64_t>(size - 3) * 8 / (bits * channels) * 10000000 / rate;
        }
    }
    const std::int64_t duration = Duration();
    if (m_codec == AV_CODEC_ID_MPEG2VIDEO || m_codec == AV_CODEC_ID_MPEG1VIDEO) pts = PictureTime(data, size, pts);
    if (pts == kNoTime) pts = m_nextPts;
    if (pts == kNoTime) return true; // nothing yet to place it by
    m_nextPts = pts + duration;
    m_shownEnd = m_shownEnd == kNoTime ? pts + duration : std::max(m_shownEnd, pts + duration);
    Frame frame;
    frame.data = data;
    frame.size = size;
    frame.pts = pts;
    frame.duration = duration;
    frame.key = IsKey(data, size);
    frame.dts = DecodingTime(pts, duration);
    return out(frame);
}
