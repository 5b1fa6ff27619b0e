#include "write/copied_stream.h"

#include <algorithm>
#include <cstdlib>

extern "C" {
#include <libavutil/mathematics.h>
#include <libavutil/rational.h>
}

#include "com/debug_log.h"
#include "decode/media_codec.h"
#include "pipeline/format_blocks.h"
#include "pipeline/media_guids.h"

namespace {

AVRational FrameRateOf(REFERENCE_TIME perFrame)
{
    if (perFrame <= 0) return {0, 1};
    // NTSC's rates, which the 100-ns figure only comes near.
    for (const AVRational ntsc : {AVRational{24000, 1001}, AVRational{30000, 1001}, AVRational{60000, 1001}})
        if (std::llabs(perFrame - av_rescale(10000000, ntsc.den, ntsc.num)) <= 1) return ntsc;
    return av_d2q(1e7 / static_cast<double>(perFrame), 120000);
}

} // namespace

void CopiedStream::Connect(const CMediaType& type)
{
    CopiedFormat format;
    if (m_kind == StreamKind::kAudio) {
        format.codec = AudioCodecOf(type);
        if (const WAVEFORMATEX* wave = WaveFormatOf(type)) {
            format.sampleRate = static_cast<int>(wave->nSamplesPerSec);
            format.channels = wave->nChannels;
            format.bitsPerSample = wave->wBitsPerSample;
        }
    } else if (m_kind == StreamKind::kVideo) {
        format.codec = VideoCodecOf(type.subtype);
        if (const BITMAPINFOHEADER* header = VideoBitmapHeaderOf(type)) {
            format.width = header->biWidth;
            format.height = std::abs(header->biHeight);
        }
        REFERENCE_TIME perFrame = 0;
        if ((type.formattype == FORMAT_VideoInfo2 || type.formattype == FORMAT_MPEG2_VIDEO) && type.cbFormat >= sizeof(VIDEOINFOHEADER2)) {
            const auto* info = reinterpret_cast<const VIDEOINFOHEADER2*>(type.pbFormat);
            perFrame = info->AvgTimePerFrame;
            // The shape it is shown at, as the shape of its pixels (720×480 at 16:9: 32:27).
            if (info->dwPictAspectRatioX > 0 && info->dwPictAspectRatioY > 0 && format.width > 0 && format.height > 0)
                av_reduce(&format.sampleAspect.num, &format.sampleAspect.den,
                          static_cast<std::int64_t>(info->dwPictAspectRatioX) * format.height,
                          static_cast<std::int64_t>(info->dwPictAspectRatioY) * format.width, 1 << 20);
        } else if ((type.formattype == FORMAT_VideoInfo || type.formattype == FORMAT_MPEGVideo) && type.cbFormat >= sizeof(VIDEOINFOHEADER)) {
            perFrame = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat)->AvgTimePerFrame;
        }
        format.frameRate = FrameRateOf(perFrame);
        format.extradata = VideoExtradataOf(type);
    } else {
        format.codec = type.subtype == MEDIASUBTYPE_HDMVSUB ? AV_CODEC_ID_HDMV_PGS_SUBTITLE : AV_CODEC_ID_DVD_SUBTITLE;
    }
    m_format = format;
    m_confirmed = m_kind == StreamKind::kSubtitle;
    if (!m_framer.Open(format.codec)) DebugLog("sink: stream %d/%zu cannot be framed\n", static_cast<int>(m_kind), m_index);
    // Subtitle streams are described by who sets the file up (their palette comes with the title).
    if (m_kind != StreamKind::kSubtitle) m_sink.Describe(*this, false);
}

void CopiedStream::Reset()
{
    m_framer.Reset();
    m_group.clear();
    m_groupBytes = 0;
    m_ended = false;
    m_end = kUnset;
    m_lastDts = kUnset;
}

void CopiedStream::Confirm()
{
    // The first frame says exactly what the stream is (E-AC-3 where the type said AC-3).
    if (const AVCodecContext* stream = m_framer.Stream()) {
        if (stream->codec_id != AV_CODEC_ID_NONE) m_format.codec = stream->codec_id;
        if (stream->sample_rate > 0) m_format.sampleRate = stream->sample_rate;
        if (stream->ch_layout.nb_channels > 0) m_format.channels = stream->ch_layout.nb_channels;
        if (stream->bits_per_coded_sample > 0 && m_kind == StreamKind::kAudio) m_format.bitsPerSample = stream->bits_per_coded_sample;
        if (stream->width > 0 && stream->height > 0 && m_kind == StreamKind::kVideo) {
            m_format.width = stream->width;
            m_format.height = stream->height;
        }
        if (stream->framerate.num > 0 && m_kind == StreamKind::kVideo) m_format.frameRate = stream->framerate;
        m_format.fieldOrder = m_framer.FieldOrder();
    }
    m_confirmed = true;
    m_sink.Describe(*this, true);
}

bool CopiedStream::Place(const PacketFramer::Frame& frame)
{
    if (!m_confirmed) Confirm();
    return m_kind == StreamKind::kVideo ? PlacePicture(frame) : PlaceOther(frame);
}

bool CopiedStream::PlaceOther(const PacketFramer::Frame& frame)
{
    const REFERENCE_TIME start = m_sink.RangeStart();
    if (m_kind == StreamKind::kSubtitle && !m_ended && frame.pts < start && frame.pts >= start - kShownBefore)
        return WriteShownBefore(frame);
    if (m_ended || frame.pts < start || frame.pts >= m_sink.RangeEnd()) return true;
    const REFERENCE_TIME at = frame.pts - start;
    if (m_kind == StreamKind::kAudio) {
        // DVD LPCM's samples run on from packet to packet (a group of samples may begin in one
        // and end in the next): a packet whose time is a little early (a muxer's jitter) follows
        // the one before, since leaving it out would put every later sample out of step.
        constexpr REFERENCE_TIME kJitter = 400000; // 40 ms
        if (m_format.codec == AV_CODEC_ID_PCM_DVD && m_end != kUnset && at < m_end && m_end - at < kJitter) {
            PacketFramer::Frame following = frame;
            following.pts = following.dts = m_end + start;
            m_sink.SoundAt(m_index, m_end);
            return WriteFrame(following);
        }
        // Sound the data repeats (an overlap where cells join) is written once; a gap stays a gap
        // and, when long, is data that could not be read.
        constexpr REFERENCE_TIME kOverlap = 10000; // 1 ms
        if (m_end != kUnset && at < m_end - kOverlap) return true;
        const REFERENCE_TIME before = m_end == kUnset ? 0 : m_end;
        if (at - before > kLostAtLeast) m_sink.LostData(before, at);
        m_sink.SoundAt(m_index, at);
    }
    return WriteFrame(frame);
}

bool CopiedStream::PlacePicture(const PacketFramer::Frame& frame)
{
    if (m_ended) return true;
    if (!m_sink.StartFixed()) {
        const REFERENCE_TIME start = m_sink.RangeStart();
        const auto hold = [this](const PacketFramer::Frame& f) {
            m_group.emplace_back(f, std::vector<std::uint8_t>(f.data, f.data + f.size));
            m_groupBytes += f.size;
        };
        // A key picture within a few milliseconds of the start is at it (a chapter's start, in
        // the disc's milliseconds).
        constexpr REFERENCE_TIME kAtStart = 100000;
        if (frame.key && frame.pts <= start + kAtStart) {
            // A group that may begin the file; the one before it does not.
            m_group.clear();
            m_groupBytes = 0;
            hold(frame);
            return true;
        }
        if (frame.key && m_group.empty()) {
            // The first key picture lies past the start: the file begins with it.
            hold(frame);
            return StartPictures();
        }
        if (frame.key) {
            if (!StartPictures()) return false;
        } else {
            // Pictures before the first key picture cannot be shown; a group without end is let go.
            constexpr std::size_t kMostHeld = 64u << 20;
            if (m_group.empty()) return true;
            if (m_groupBytes + frame.size > kMostHeld) {
                m_group.clear();
                m_groupBytes = 0;
                return true;
            }
            hold(frame);
            return true;
        }
    }
    if (frame.key && frame.pts >= m_sink.RangeEnd()) {
        m_ended = true;
        return true;
    }
    // The leading pictures of an open group are shown before its key picture and need the group
    // before: where that group is not in the file, they are left out.
    const REFERENCE_TIME start = m_sink.RangeStart();
    if (frame.pts < start) return true;
    const REFERENCE_TIME at = frame.pts - start;
    const REFERENCE_TIME before = m_end == kUnset ? 0 : m_end;
    if (at - before > kLostAtLeast) m_sink.LostData(before, at);
    if (!WriteFrame(frame)) return false;
    m_sink.PicturesWritten(m_end);
    return true;
}

bool CopiedStream::StartPictures()
{
    if (m_group.empty()) return true;
    m_sink.BeginFileAt(m_group.front().first.pts);
    auto group = std::move(m_group);
    m_group.clear();
    m_groupBytes = 0;
    for (auto& [frame, bytes] : group) {
        frame.data = bytes.data();
        if (!PlacePicture(frame)) return false;
    }
    return true;
}

bool CopiedStream::WriteShownBefore(const PacketFramer::Frame& frame)
{
    const REFERENCE_TIME offset = m_sink.FileOffset();
    CopiedPacket packet;
    packet.data = frame.data;
    packet.size = frame.size;
    packet.pts = packet.dts = offset + frame.pts - m_sink.RangeStart();
    packet.duration = frame.duration;
    packet.cutBefore = offset;
    packet.cutAfter = offset + m_sink.RangeEnd() - m_sink.RangeStart();
    return m_sink.Write(*this, packet);
}

bool CopiedStream::WriteFrame(const PacketFramer::Frame& frame)
{
    const REFERENCE_TIME start = m_sink.RangeStart();
    const REFERENCE_TIME offset = m_sink.FileOffset();
    CopiedPacket packet;
    packet.data = frame.data;
    packet.size = frame.size;
    packet.pts = offset + frame.pts - start;
    packet.dts = offset + frame.dts - start;
    packet.duration = frame.duration;
    packet.key = frame.key;
    if (m_kind == StreamKind::kSubtitle) packet.cutAfter = offset + m_sink.RangeEnd() - start;
    // Decoding times rise, and begin no earlier than the task does in the file.
    const REFERENCE_TIME lowest = m_lastDts == kUnset ? offset : m_lastDts + 1;
    packet.dts = std::max(packet.dts, lowest);
    if (packet.dts > packet.pts) {
        // Out of order beyond repair (damaged data): left out, and said to be lost.
        DebugLog("sink: a copied frame at %.3f s comes out of order and is left out\n", static_cast<double>(frame.pts - start) / 1e7);
        m_sink.LostData(frame.pts - start, frame.pts - start + std::max<REFERENCE_TIME>(frame.duration, 1));
        return true;
    }
    if (!m_sink.Write(*this, packet)) return false;
    m_lastDts = packet.dts;
    m_end = std::max(m_end == kUnset ? 0 : m_end, frame.pts - start + frame.duration);
    return true;
}

void CopiedStream::End()
{
    m_framer.Drain([this](const PacketFramer::Frame& frame) { return Place(frame); });
    // A range that ends within the first group held: that group begins the file.
    if (m_kind == StreamKind::kVideo && !m_sink.StartFixed()) StartPictures();
}
