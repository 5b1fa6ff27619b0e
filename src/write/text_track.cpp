#include "write/text_track.h"

#include <algorithm>
#include <climits>

#include "text/subtitle_reader.h"

#include <omp.h>

TextTrack::TextTrack() : m_packet(ffmpeg::MakePacket()) {}

TextTrack::~TextTrack()
{
    {
        // Gone without Finish (a file that failed): what is not read yet is not read.
        std::lock_guard lock(m_lock);
        m_stopping = true;
        m_abandoned = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void TextTrack::Start(const std::string& language)
{
    if (m_thread.joinable()) return;
    const std::string wanted = ReaderDataCode(language);
    m_thread = std::thread([this, wanted] { ReadLoop(wanted); });
}

std::string TextTrack::Language()
{
    std::lock_guard lock(m_lock);
    return m_language;
}

std::string TextTrack::Fallback()
{
    std::lock_guard lock(m_lock);
    return m_fallback;
}

std::string TextTrack::Problem()
{
    std::lock_guard lock(m_lock);
    return m_problem;
}

void TextTrack::Describe(const CopiedFormat& format)
{
    if (m_decoder && format.codec == m_format.codec && format.extradata == m_format.extradata) return;
    m_format = format;
    m_decoder.reset();
    m_decoderFailed = false;
}

bool TextTrack::OpenDecoder()
{
    if (m_decoder) return true;
    if (m_decoderFailed) return false;
    const AVCodecID id = m_format.codec == AV_CODEC_ID_NONE ? AV_CODEC_ID_DVD_SUBTITLE : m_format.codec;
    const AVCodec* codec = avcodec_find_decoder(id);
    ffmpeg::CodecContextPtr context(codec ? avcodec_alloc_context3(codec) : nullptr);
    if (!context) {
        m_decoderFailed = true;
        m_errors.NoteFailure("no decoder for the subtitle pictures");
        return false;
    }
    // DVD subpictures take their size and 16 colours as the copied stream describes them.
    if (!m_format.extradata.empty()) {
        context->extradata = static_cast<std::uint8_t*>(av_mallocz(m_format.extradata.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (context->extradata) {
            std::copy(m_format.extradata.begin(), m_format.extradata.end(), context->extradata);
            context->extradata_size = static_cast<int>(m_format.extradata.size());
        }
    }
    context->width = m_format.width;
    context->height = m_format.height;
    if (m_errors.Note("avcodec_open2", avcodec_open2(context.get(), codec, nullptr))) {
        m_decoderFailed = true;
        return false;
    }
    m_decoder = std::move(context);
    return true;
}

void TextTrack::Take(const CopiedPacket& packet)
{
    if (!packet.data || packet.size == 0 || !OpenDecoder()) return;
    m_packet->data = const_cast<std::uint8_t*>(packet.data);
    m_packet->size = static_cast<int>(packet.size);
    m_packet->pts = packet.pts;
    AVSubtitle subtitle{};
    int got = 0;
    const int used = avcodec_decode_subtitle2(m_decoder.get(), &subtitle, &got, m_packet.get());
    m_packet->data = nullptr;
    m_packet->size = 0;
    const bool dvd = m_decoder->codec_id == AV_CODEC_ID_DVD_SUBTITLE;
    if (m_errors.Note("avcodec_decode_subtitle2", used) || used < 0 || (dvd && !got && !WholeUnit(packet))) {
        // A damaged unit: the cue it was is listed to be checked, at its time.
        if (used >= 0) m_errors.NoteFailure("a damaged subtitle picture");
        Unreadable(packet);
        return;
    }
    // A whole DVD unit with nothing visible clears the screen.
    if (dvd && !got) subtitle = AVSubtitle{};
    if (got || dvd) Decoded(subtitle, packet);
    avsubtitle_free(&subtitle);
}

bool TextTrack::WholeUnit(const CopiedPacket& packet)
{
    if (packet.size < 4) return false;
    const std::size_t size = static_cast<std::size_t>(packet.data[0] << 8 | packet.data[1]);
    const std::size_t commands = static_cast<std::size_t>(packet.data[2] << 8 | packet.data[3]);
    return size == packet.size && commands >= 4 && commands + 4 <= size;
}

void TextTrack::Unreadable(const CopiedPacket& packet)
{
    const std::int64_t time = packet.pts;
    if ((packet.cutBefore >= 0 && time < packet.cutBefore) || (packet.cutAfter >= 0 && time >= packet.cutAfter)) return;
    std::lock_guard lock(m_lock);
    for (Pending& open : m_pending)
        if (open.start < time && (open.end == kOpen || open.end > time)) open.end = time;
    Pending cue;
    cue.start = time;
    if (packet.cutAfter >= 0) cue.limit = packet.cutAfter;
    cue.read = true; // nothing to read: its text stays empty
    m_pending.push_back(std::move(cue));
    m_changed.notify_all();
}

void TextTrack::Decoded(const AVSubtitle& subtitle, const CopiedPacket& packet)
{
    const std::int64_t time = packet.pts, cutBefore = packet.cutBefore;
    std::int64_t start = time + static_cast<std::int64_t>(subtitle.start_display_time) * 10000;
    // Presentation graphics give no end (UINT32_MAX), nor do subpictures without a stop command.
    const bool ends = subtitle.end_display_time > subtitle.start_display_time && subtitle.end_display_time != UINT32_MAX;
    Pending cue;
    cue.end = ends ? time + static_cast<std::int64_t>(subtitle.end_display_time) * 10000 : kOpen;
    // Shown when its range begins: the part before is cut (gone, when it ends before).
    if (cutBefore >= 0 && start < cutBefore) {
        if (cue.end != kOpen && cue.end <= cutBefore) return;
        start = cutBefore;
    }
    cue.start = start;
    // Shown past its range's end: cut there (gone, when it starts there).
    if (packet.cutAfter >= 0) {
        if (start >= packet.cutAfter) return;
        cue.limit = packet.cutAfter;
        if (cue.end != kOpen) cue.end = std::min(cue.end, cue.limit);
    }
    for (unsigned i = 0; i < subtitle.num_rects; ++i) {
        const AVSubtitleRect& rect = *subtitle.rects[i];
        if (rect.type != SUBTITLE_BITMAP || rect.w <= 0 || rect.h <= 0 || !rect.data[0] || !rect.data[1]) continue;
        IndexedPicture picture;
        picture.width = rect.w;
        picture.height = rect.h;
        picture.pixels.resize(static_cast<std::size_t>(rect.w) * static_cast<std::size_t>(rect.h));
        for (int row = 0; row < rect.h; ++row)
            std::copy_n(rect.data[0] + static_cast<std::ptrdiff_t>(row) * rect.linesize[0], rect.w,
                        picture.pixels.begin() + static_cast<std::ptrdiff_t>(row) * rect.w);
        const auto* colours = reinterpret_cast<const std::uint32_t*>(rect.data[1]);
        picture.colours.assign(colours, colours + std::clamp(rect.nb_colors, 0, 256));
        cue.pictures.push_back(std::move(picture));
    }
    std::lock_guard lock(m_lock);
    // A disc shows one subpicture at a time: a new one (an empty one too, which clears the
    // screen) ends those still shown.
    for (Pending& open : m_pending)
        if (open.start < start && (open.end == kOpen || open.end > start)) open.end = start;
    if (cue.pictures.empty()) return;
    m_pending.push_back(std::move(cue));
    m_changed.notify_all();
}

void TextTrack::ReadLoop(std::string language)
{
    // The reader's library splits each line's work over a team of OpenMP threads of its own (a
    // team of four, whatever the thread count asked for): beside the encoder, which has the
    // cores already, each track's reading stays on this one thread.
    omp_set_max_active_levels(0);
    SubtitleReader reader;
    const bool opened = reader.Open(language);
    {
        std::lock_guard lock(m_lock);
        m_language = reader.Language();
        m_fallback = reader.Fallback();
        m_problem = reader.Problem();
    }
    std::unique_lock lock(m_lock);
    while (!m_abandoned) {
        auto next = std::find_if(m_pending.begin(), m_pending.end(), [](const Pending& p) { return !p.read; });
        if (next == m_pending.end()) {
            if (m_stopping) return;
            m_changed.wait(lock);
            continue;
        }
        // Pending cues keep their place while they are read (only read ones leave the queue).
        Pending& cue = *next;
        std::vector<IndexedPicture> pictures = std::move(cue.pictures);
        lock.unlock();
        TextCue read;
        int confidence = 0, parts = 0;
        for (const IndexedPicture& picture : pictures) {
            const ReadText text = opened ? reader.Read(picture) : ReadText{};
            if (text.text.empty()) continue;
            read.text += (read.text.empty() ? "" : "\n") + text.text;
            confidence += text.confidence;
            ++parts;
        }
        read.confidence = parts ? confidence / parts : 0;
        lock.lock();
        cue.cue = std::move(read);
        cue.read = true;
        m_cuesRead.fetch_add(1, std::memory_order_relaxed);
        m_changed.notify_all();
    }
}

bool TextTrack::Ready(std::int64_t time)
{
    const Pending& first = m_pending.front();
    return first.start <= time && first.read && (first.end != kOpen || time >= LastEnd(first));
}

std::vector<TextCue> TextTrack::Due(std::int64_t time)
{
    std::vector<TextCue> due;
    std::unique_lock lock(m_lock);
    while (!m_pending.empty() && m_pending.front().start <= time) {
        Pending& first = m_pending.front();
        if (!first.read) {
            // The reader has not come to it yet: the file waits for it.
            m_changed.wait(lock);
            continue;
        }
        if (!Ready(time)) break;
        TextCue cue = std::move(first.cue);
        cue.start = first.start;
        cue.end = first.end != kOpen ? first.end : LastEnd(first);
        m_pending.pop_front();
        m_done.push_back(cue);
        due.push_back(std::move(cue));
    }
    return due;
}

std::vector<TextCue> TextTrack::Finish(std::int64_t fileEnd)
{
    std::vector<TextCue> due = Due(LLONG_MAX - kLongestOpenCue);
    {
        std::lock_guard lock(m_lock);
        m_stopping = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable()) m_thread.join();
    std::vector<TextCue> kept;
    for (TextCue& cue : due) {
        cue.end = std::min(cue.end, fileEnd);
        if (cue.end > cue.start) kept.push_back(std::move(cue));
    }
    for (TextCue& cue : m_done) cue.end = std::min(cue.end, fileEnd);
    m_done.erase(std::remove_if(m_done.begin(), m_done.end(), [](const TextCue& c) { return c.end <= c.start; }), m_done.end());
    return kept;
}
