#include "write/text_stream.h"

#include <cstring>
#include <string>

namespace {

// The style the encoders take their defaults from, as a subtitle renderer's script header.
constexpr const char* kScriptHeader =
    "[Script Info]\r\nScriptType: v4.00+\r\nPlayResX: 384\r\nPlayResY: 288\r\n\r\n"
    "[V4+ Styles]\r\n"
    "Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, BackColour, Bold, Italic, "
    "Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, "
    "MarginV, Encoding\r\n"
    "Style: Default,Arial,16,&Hffffff,&Hffffff,&H0,&H0,0,0,0,0,100,100,0,0,1,1,0,2,10,10,10,0\r\n\r\n"
    "[Events]\r\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\r\n";

// A cue's text as an event line of that script: "\N" breaks lines, {\i1} … {\i0} slants.
std::string EventLine(const std::string& text)
{
    std::string line = "0,0,Default,,0,0,0,,";
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            line += "\\N";
        } else if (text.compare(i, 3, "<i>") == 0) {
            line += "{\\i1}";
            i += 2;
        } else if (text.compare(i, 4, "</i>") == 0) {
            line += "{\\i0}";
            i += 3;
        } else {
            line += text[i];
        }
    }
    return line;
}

} // namespace

AVCodecID TextStream::CodecFor(std::string_view container)
{
    if (container == "matroska") return AV_CODEC_ID_SUBRIP;
    if (container == "webm") return AV_CODEC_ID_WEBVTT;
    if (container == "mp4" || container == "mov" || container == "ipod" || container == "3gp") return AV_CODEC_ID_MOV_TEXT;
    return AV_CODEC_ID_NONE;
}

bool TextStream::Add(const StreamLabel& label, bool first)
{
    const AVCodecID id = CodecFor(m_muxer->Name());
    if (id == AV_CODEC_ID_NONE) return m_failure->Fail("files of this kind keep no text subtitles");
    const AVCodec* codec = avcodec_find_encoder(id);
    m_encoder.reset(codec ? avcodec_alloc_context3(codec) : nullptr);
    if (!m_encoder) return m_failure->Fail("no encoder for text subtitles");
    m_encoder->time_base = {1, 1000};
    const std::size_t headerSize = std::strlen(kScriptHeader);
    m_encoder->subtitle_header = static_cast<std::uint8_t*>(av_mallocz(headerSize + 1));
    if (!m_encoder->subtitle_header) return m_failure->Fail("out of memory");
    std::memcpy(m_encoder->subtitle_header, kScriptHeader, headerSize);
    m_encoder->subtitle_header_size = static_cast<int>(headerSize);
    const int opened = avcodec_open2(m_encoder.get(), codec, nullptr);
    if (m_failure->Tally().Note("avcodec_open2", opened) || opened < 0) return m_failure->Fail("cannot start the text subtitle encoder", opened);
    m_stream = m_muxer->NewStream();
    if (!m_stream) return false;
    const int copied = avcodec_parameters_from_context(m_stream->codecpar, m_encoder.get());
    if (copied < 0) return m_failure->Fail("cannot describe the text subtitles", copied);
    m_stream->time_base = kHundredNanoseconds;
    m_muxer->Label(m_stream, label);
    m_stream->disposition = (first ? AV_DISPOSITION_DEFAULT : 0) | (label.forced ? AV_DISPOSITION_FORCED : 0);
    m_buffer.resize(64 * 1024);
    return true;
}

bool TextStream::Write(const TextCue& cue)
{
    if (!m_stream || cue.text.empty() || cue.end <= cue.start) return true;
    std::string line = EventLine(cue.text);
    AVSubtitleRect rect{};
    rect.type = SUBTITLE_ASS;
    rect.ass = line.data();
    AVSubtitleRect* rects[] = {&rect};
    AVSubtitle subtitle{};
    subtitle.num_rects = 1;
    subtitle.rects = rects;
    subtitle.end_display_time = static_cast<std::uint32_t>((cue.end - cue.start) / 10000);
    const int size = avcodec_encode_subtitle(m_encoder.get(), m_buffer.data(), static_cast<int>(m_buffer.size()), &subtitle);
    if (m_failure->Tally().Note("avcodec_encode_subtitle", size) || size < 0) return m_failure->Fail("cannot code a text subtitle", size);
    if (av_new_packet(m_packet.get(), size) < 0) return m_failure->Fail("out of memory");
    std::memcpy(m_packet->data, m_buffer.data(), static_cast<std::size_t>(size));
    m_packet->pts = cue.start;
    m_packet->dts = cue.start;
    m_packet->duration = cue.end - cue.start;
    m_packet->flags = AV_PKT_FLAG_KEY;
    return m_muxer->WritePacket(m_packet.get(), m_stream, kHundredNanoseconds);
}
