#pragma once
// TextStream: a subtitle stream of text in a file, in the form its container keeps: SubRip in
// Matroska, timed text (mov_text) in MP4, M4V, MOV and 3GP, WebVTT in WebM. Cues are coded with
// libavcodec's encoder of that form, line breaks and italics kept.

#include <cstdint>
#include <string_view>
#include <vector>

#include "ffmpeg/ffmpeg_handles.h"
#include "text/text_cues.h"
#include "write/muxer.h"

class TextStream {
public:
    TextStream(Muxer& muxer, WriteFailure& failure) : m_muxer(&muxer), m_failure(&failure), m_packet(ffmpeg::MakePacket()) {}

    // The form a container keeps text subtitles in; AV_CODEC_ID_NONE for one that keeps none.
    static AVCodecID CodecFor(std::string_view container);
    // Adds the stream to the file (before its header): false, with the failure told, when the
    // container keeps no text or the encoder cannot start.
    bool Add(const StreamLabel& label, bool first);
    AVStream* Stream() const { return m_stream; }
    // A cue, at its time; a cue without text is not written. False on a failure.
    bool Write(const TextCue& cue);
    void Free() { m_stream = nullptr; m_encoder.reset(); }

private:
    Muxer* m_muxer;
    WriteFailure* m_failure;
    ffmpeg::PacketPtr m_packet;
    ffmpeg::CodecContextPtr m_encoder;
    AVStream* m_stream = nullptr;
    std::vector<std::uint8_t> m_buffer;
};
