#include "decode/subpicture_decoder.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <string>

namespace {

// Studio-range Y'CbCr of an RGB colour (ITU-R BT.601).
void RgbToYcc(std::uint32_t argb, std::uint8_t& y, std::uint8_t& cb, std::uint8_t& cr)
{
    const int r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
    y = static_cast<std::uint8_t>(16 + ((66 * r + 129 * g + 25 * b + 128) >> 8));
    cb = static_cast<std::uint8_t>(128 + ((-38 * r - 74 * g + 112 * b + 128) >> 8));
    cr = static_cast<std::uint8_t>(128 + ((112 * r - 94 * g - 18 * b + 128) >> 8));
}

} // namespace

SubpictureDecoder::SubpictureDecoder() : m_packet(ffmpeg::MakePacket()) { Open(kDvd); }

bool SubpictureDecoder::Open(Kind kind)
{
    if (kind == m_kind && m_codec) return true;
    m_codec.reset();
    m_kind = kind;
    m_unitTimed = false;
    {
        std::lock_guard lock(m_lock);
        m_pictures.clear();
    }
    const AVCodec* codec = avcodec_find_decoder(kind == kDvd ? AV_CODEC_ID_DVD_SUBTITLE : AV_CODEC_ID_HDMV_PGS_SUBTITLE);
    if (!codec) return false;
    m_codec.reset(avcodec_alloc_context3(codec));
    if (!m_codec) {
        m_errors.NoteFailure("no memory for the subpicture decoder");
        return false;
    }
    // A DVD's colours go to the decoder as its "palette" option, "rrggbb,rrggbb,…".
    AVDictionary* options = nullptr;
    if (kind == kDvd && m_palette.size() == 16) {
        std::string text;
        for (std::uint32_t colour : m_palette) {
            char entry[8];
            std::snprintf(entry, sizeof entry, "%06x", colour & 0xFFFFFF);
            text += (text.empty() ? "" : ",") + std::string(entry);
        }
        av_dict_set(&options, "palette", text.c_str(), 0);
    }
    if (m_errors.Note("avcodec_open2", avcodec_open2(m_codec.get(), codec, &options))) m_codec.reset();
    av_dict_free(&options);
    return m_codec != nullptr;
}

void SubpictureDecoder::SetPalette(std::vector<std::uint32_t> palette)
{
    if (palette == m_palette) return;
    m_palette = std::move(palette);
    // Opened again with it, when it draws DVD subpictures.
    if (m_kind == kDvd && m_codec) {
        m_codec.reset();
        Open(kDvd);
    }
}

void SubpictureDecoder::Decode(const std::uint8_t* data, int size, bool hasTime, REFERENCE_TIME start)
{
    if (!m_codec || !data || size <= 0) return;
    if (hasTime) {
        m_unitStart = start;
        m_unitTimed = true;
    }
    // The decoder keeps a unit that is not complete yet and answers with nothing.
    m_packet->data = const_cast<std::uint8_t*>(data);
    m_packet->size = size;
    AVSubtitle subtitle{};
    int got = 0;
    const int used = avcodec_decode_subtitle2(m_codec.get(), &subtitle, &got, m_packet.get());
    // A damaged unit is counted and passed over; the pictures go on without it.
    if (!m_errors.Note("avcodec_decode_subtitle2", used) && used >= 0 && got) {
        if (m_unitTimed) Add(subtitle, m_unitStart);
        avsubtitle_free(&subtitle);
    }
    m_packet->data = nullptr;
    m_packet->size = 0;
}

void SubpictureDecoder::Add(const AVSubtitle& subtitle, REFERENCE_TIME pts)
{
    const REFERENCE_TIME start = pts + static_cast<REFERENCE_TIME>(subtitle.start_display_time) * 10000;
    // Presentation graphics give no end (UINT32_MAX): the next display set ends them.
    const REFERENCE_TIME stop = subtitle.end_display_time > subtitle.start_display_time && subtitle.end_display_time != UINT32_MAX
                                    ? pts + static_cast<REFERENCE_TIME>(subtitle.end_display_time) * 10000
                                    : LLONG_MAX; // until the next one
    std::vector<Picture> made;
    for (unsigned i = 0; i < subtitle.num_rects; ++i) {
        const AVSubtitleRect& rect = *subtitle.rects[i];
        if (rect.type != SUBTITLE_BITMAP || rect.w <= 0 || rect.h <= 0 || !rect.data[0] || !rect.data[1]) continue;
        Picture picture;
        picture.start = start;
        picture.stop = stop;
        picture.x = rect.x;
        picture.y = rect.y;
        picture.width = rect.w;
        picture.height = rect.h;
        const std::size_t n = static_cast<std::size_t>(rect.w) * static_cast<std::size_t>(rect.h);
        picture.luma.resize(n);
        picture.cb.resize(n);
        picture.cr.resize(n);
        picture.alpha.resize(n);
        const auto* palette = reinterpret_cast<const std::uint32_t*>(rect.data[1]);
        for (int row = 0; row < rect.h; ++row) {
            for (int col = 0; col < rect.w; ++col) {
                const std::uint8_t index = rect.data[0][row * rect.linesize[0] + col];
                const std::uint32_t colour = index < rect.nb_colors ? palette[index] : 0;
                const std::size_t at = static_cast<std::size_t>(row) * rect.w + col;
                RgbToYcc(colour, picture.luma[at], picture.cb[at], picture.cr[at]);
                picture.alpha[at] = static_cast<std::uint8_t>(colour >> 24);
            }
        }
        made.push_back(std::move(picture));
    }
    std::lock_guard lock(m_lock);
    // A new subpicture ends the ones still open.
    for (Picture& open : m_pictures)
        if (open.stop == LLONG_MAX && open.start < start) open.stop = start;
    for (Picture& picture : made) m_pictures.push_back(std::move(picture));
    std::stable_sort(m_pictures.begin(), m_pictures.end(),
                     [](const Picture& a, const Picture& b) { return a.start < b.start; });
}

void SubpictureDecoder::Flush()
{
    if (m_codec) avcodec_flush_buffers(m_codec.get());
    m_unitTimed = false;
    std::lock_guard lock(m_lock);
    m_pictures.clear();
}

std::size_t SubpictureDecoder::Count()
{
    std::lock_guard lock(m_lock);
    return m_pictures.size();
}

void SubpictureDecoder::Blend(REFERENCE_TIME time, std::uint8_t* y, int yStride, std::uint8_t* cb, std::uint8_t* cr,
                              int cStride, int width, int height)
{
    std::lock_guard lock(m_lock);
    // Subpictures over before this picture will not be needed again (pictures come in order).
    m_pictures.erase(std::remove_if(m_pictures.begin(), m_pictures.end(),
                                    [time](const Picture& p) { return p.stop <= time; }),
                     m_pictures.end());
    for (const Picture& p : m_pictures) {
        if (p.start > time) break;
        const int x0 = std::max(0, p.x), y0 = std::max(0, p.y);
        const int x1 = std::min(width, p.x + p.width), y1 = std::min(height, p.y + p.height);
        for (int row = y0; row < y1; ++row) {
            const std::size_t line = static_cast<std::size_t>(row - p.y) * p.width;
            std::uint8_t* out = y + static_cast<std::ptrdiff_t>(row) * yStride;
            for (int col = x0; col < x1; ++col) {
                const std::size_t at = line + (col - p.x);
                const int a = p.alpha[at];
                if (a) out[col] = static_cast<std::uint8_t>((out[col] * (255 - a) + p.luma[at] * a + 127) / 255);
            }
        }
        // Chroma: one sample per 2 × 2 pixels, from the pixel at its top left.
        for (int row = (y0 + 1) / 2; row < (y1 + 1) / 2; ++row) {
            const int sourceRow = std::clamp(row * 2, y0, y1 - 1) - p.y;
            std::uint8_t* outCb = cb + static_cast<std::ptrdiff_t>(row) * cStride;
            std::uint8_t* outCr = cr + static_cast<std::ptrdiff_t>(row) * cStride;
            for (int col = (x0 + 1) / 2; col < (x1 + 1) / 2; ++col) {
                const std::size_t at = static_cast<std::size_t>(sourceRow) * p.width + (std::clamp(col * 2, x0, x1 - 1) - p.x);
                const int a = p.alpha[at];
                if (!a) continue;
                outCb[col] = static_cast<std::uint8_t>((outCb[col] * (255 - a) + p.cb[at] * a + 127) / 255);
                outCr[col] = static_cast<std::uint8_t>((outCr[col] * (255 - a) + p.cr[at] * a + 127) / 255);
            }
        }
    }
}
