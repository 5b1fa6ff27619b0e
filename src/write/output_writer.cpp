#include "write/output_writer.h"

#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
}

namespace {

constexpr int kMaxAudioChunk = 32768; // samples per frame for encoders that take any size
// What libavformat gathers before it writes: a failed write is seen within this many bytes.
constexpr int kIoBufferSize = 64 * 1024;

// libavformat's writes, onto the descriptor; a short write is finished, an error returned.
int WriteToDescriptor(void* opaque, std::uint8_t* data, int size)
{
    const int fd = *static_cast<int*>(opaque);
    int done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, static_cast<std::size_t>(size - done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return AVERROR(errno);
        if (n == 0) return AVERROR(EIO);
        done += static_cast<int>(n);
    }
    return done;
}

std::int64_t SeekDescriptor(void* opaque, std::int64_t offset, int whence)
{
    const int fd = *static_cast<int*>(opaque);
    if (whence & AVSEEK_SIZE) {
        struct stat status {};
        return ::fstat(fd, &status) == 0 ? static_cast<std::int64_t>(status.st_size) : AVERROR(errno);
    }
    const off_t at = ::lseek(fd, static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
    return at < 0 ? AVERROR(errno) : static_cast<std::int64_t>(at);
}

constexpr AVRational kHundredNanoseconds{1, 10000000}; // as the run counts: chapters, copied packets

void SetTag(AVDictionary** tags, const char* key, const std::string& value)
{
    if (!value.empty()) av_dict_set(tags, key, value.c_str(), 0);
}

bool Supports(const AVSampleFormat* formats, AVSampleFormat wanted)
{
    for (const AVSampleFormat* f = formats; f && *f != AV_SAMPLE_FMT_NONE; ++f)
        if (*f == wanted) return true;
    return false;
}

} // namespace

OutputWriter::OutputWriter() : m_packet(ffmpeg::MakePacket()) {}

OutputWriter::~OutputWriter() { Close(); }

AVRational OutputWriter::TimeBase(std::int32_t frameRate)
{
    if (frameRate == 23976) return {1001, 24000};
    if (frameRate == 29970) return {1001, 30000};
    const int perSecond = frameRate / 1000;
    return {1, perSecond > 0 ? perSecond : 25};
}

bool OutputWriter::Refused(const char* call, int result, const std::string& what)
{
    if (!m_errors.Note(call, result) && result >= 0) return false;
    Fail(what, result);
    return true;
}

bool OutputWriter::Whole(const char* call, int result, int wanted, const std::string& what)
{
    if (Refused(call, result, what)) return false;
    if (result == wanted) return true;
    m_errors.NoteFailure(call);
    return Fail(what);
}

bool OutputWriter::Fail(const std::string& what, int error)
{
    m_reason = error ? ffmpeg::ErrorText(error) : what;
    m_error = error ? what + ": " + m_reason : what;
    m_failed = true;
    return false;
}

void OutputWriter::Reset(const std::string& path, const WriterSettings& settings, AspectRatio displayAspect, FileMarks marks)
{
    Close();
    m_audioTracks.clear();
    m_marks = std::move(marks);
    m_settings = settings;
    m_displayAspect = displayAspect;
    m_failed = false;
    m_error.clear();
    m_reason.clear();
    m_videoFrames = 0;
    m_videoPackets = 0;
    m_headerWritten = false;
    m_headerDue = false;
    m_waiting.clear();
    m_copiedVideo = CopiedStream{};
    m_subtitles.clear();
    m_path = path;
}

bool OutputWriter::FindEncoders(const WriterSettings& settings, Encoders& found)
{
    // Encoders by name ("copy": the stream is copied); an unknown name fails.
    found.copyVideo = settings.hasVideo && IsCopy(settings.VideoCodecName);
    if (settings.hasVideo && settings.VideoCodecName[0] && !found.copyVideo) {
        found.video = avcodec_find_encoder_by_name(settings.VideoCodecName);
        if (!found.video) return Fail(std::string("unknown video encoder ") + settings.VideoCodecName);
    }
    if (settings.hasAudio && settings.AudioCodecName[0]) {
        found.sounds = m_marks.audio;
        if (found.sounds.empty()) {
            found.sounds.emplace_back();
            found.sounds.back().copy = IsCopy(settings.AudioCodecName);
        }
    }
    for (const StreamLabel& sound : found.sounds) {
        const char* name = !sound.encoder.empty() ? sound.encoder.c_str() : settings.AudioCodecName;
        const AVCodec* encoder = sound.copy || IsCopy(name) ? nullptr : avcodec_find_encoder_by_name(name);
        if (!sound.copy && !encoder) return Fail(std::string("unknown audio encoder ") + name);
        found.audio.push_back(encoder);
    }
    if (!found.video && !found.copyVideo && found.sounds.empty()) return Fail("no encoder");
    return true;
}

bool OutputWriter::AddStreams(Encoders& found)
{
    if (found.video && !AddVideoStream(found.video)) return false;
    if (found.copyVideo && !AddCopiedStream(m_copiedVideo, AVMEDIA_TYPE_VIDEO, nullptr, true)) return false;
    m_audioTracks.reserve(found.sounds.size());
    for (std::size_t i = 0; i < found.sounds.size(); ++i) {
        if (found.audio[i] && !AddAudioStream(found.audio[i], found.sounds[i], i == 0)) return false;
        if (!found.audio[i]) {
            m_audioTracks.emplace_back();
            if (!AddCopiedStream(m_audioTracks.back().copy, AVMEDIA_TYPE_AUDIO, &found.sounds[i], i == 0)) return false;
        }
    }
    m_subtitles.resize(m_marks.subtitles.size());
    for (std::size_t i = 0; i < m_subtitles.size(); ++i)
        if (!AddCopiedStream(m_subtitles[i], AVMEDIA_TYPE_SUBTITLE, &m_marks.subtitles[i], false)) return false;
    if (!HasVideo() && m_audioTracks.empty()) return Fail("no stream");
    return true;
}

bool OutputWriter::OpenBytes(const std::string& path, int descriptor, bool& created)
{
    // The bytes go through our own I/O context: to the descriptor we were given (a part the run
    // created exclusively), or to the file named, made here.
    if (descriptor < 0) {
        descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (descriptor < 0) return Fail("cannot create " + path, AVERROR(errno));
        created = true;
        m_ownedFd = descriptor;
    }
    m_fd = descriptor;
    auto* buffer = static_cast<std::uint8_t*>(av_malloc(kIoBufferSize));
    if (!buffer) return Fail("out of memory");
    m_io.reset(avio_alloc_context(buffer, kIoBufferSize, 1, &m_fd, nullptr, WriteToDescriptor, SeekDescriptor));
    if (!m_io) {
        av_free(buffer);
        return Fail("out of memory");
    }
    m_format->pb = m_io.get();
    m_format->flags |= AVFMT_FLAG_CUSTOM_IO;
    return true;
}

bool OutputWriter::Open(const std::string& path, const WriterSettings& settings, AspectRatio displayAspect,
                        int descriptor, FileMarks marks)
{
    Reset(path, settings, displayAspect, std::move(marks));
    bool created = false;
    auto failOpen = [&](const std::string& what, int error = 0) {
        if (!m_failed) Fail(what, error);
        FreeState();
        if (created) ::unlink(path.c_str());
        return false;
    };
    Encoders found;
    if (!FindEncoders(settings, found)) return failOpen(m_error);

    const AVOutputFormat* container = av_guess_format(nullptr, path.c_str(), nullptr);
    if (!container) return failOpen("no container for " + path);
    AVFormatContext* format = nullptr;
    const int allocated = avformat_alloc_output_context2(&format, container, nullptr, path.c_str());
    if (Refused("avformat_alloc_output_context2", allocated, "cannot make the output context") || !format)
        return failOpen("cannot make the output context", allocated);
    m_formatOwner.reset(format);
    m_format = format;

    if (!AddStreams(found)) return failOpen(m_error);
    if (!(container->flags & AVFMT_NOFILE) && !OpenBytes(path, descriptor, created)) return failOpen(m_error);
    // A file with copied pictures or sound waits for their first frames to write its header.
    m_headerDue = true;
    if (!WriteHeaderWhenDue(false) && m_failed) return failOpen(m_error);
    return true;
}

bool OutputWriter::IsCopy(const char* codecName) { return std::strcmp(codecName, "copy") == 0; }

bool OutputWriter::WriteHeaderWhenDue(bool now)
{
    if (!m_headerDue || m_failed) return !m_failed;
    bool ready = m_copiedVideo.confirmed || !m_copiedVideo.stream;
    for (const AudioTrack& track : m_audioTracks)
        if (track.copy.stream && !track.copy.confirmed) ready = false;
    for (const CopiedStream& subtitle : m_subtitles)
        if (!subtitle.confirmed) ready = false;
    // Streams that never show a frame must not hold the whole file back.
    constexpr std::size_t kMostWaiting = 4096;
    if (!ready && !now && m_waiting.size() < kMostWaiting) return true;
    m_headerDue = false;
    // Matroska's optional CRC-32 elements are left out, as mkvmerge leaves them: checking every
    // element's bytes took a quarter of a copy's time.
    AVDictionary* options = nullptr;
    if (std::strcmp(m_format->oformat->name, "matroska") == 0 || std::strcmp(m_format->oformat->name, "webm") == 0)
        av_dict_set(&options, "write_crc32", "0", 0);
    const int header = avformat_write_header(m_format, &options);
    av_dict_free(&options);
    if (m_errors.Note("avformat_write_header", header) || header < 0) return Fail("cannot write the header", header);
    m_headerWritten = true;
    while (!m_waiting.empty()) {
        auto [packet, stream] = std::move(m_waiting.front());
        m_waiting.pop_front();
        if (!WritePacket(packet.get(), stream, kHundredNanoseconds)) return false;
    }
    return true;
}

bool OutputWriter::WritePacket(AVPacket* packet, AVStream* stream, AVRational from)
{
    packet->stream_index = stream->index;
    if (m_headerDue) {
        ffmpeg::PacketPtr kept(av_packet_alloc());
        if (!kept) return Fail("out of memory");
        av_packet_move_ref(kept.get(), packet);
        av_packet_rescale_ts(kept.get(), from, kHundredNanoseconds);
        m_waiting.emplace_back(std::move(kept), stream);
        return WriteHeaderWhenDue(false);
    }
    av_packet_rescale_ts(packet, from, stream->time_base);
    const int written = av_interleaved_write_frame(m_format, packet);
    av_packet_unref(packet);
    if (m_errors.Note("av_interleaved_write_frame", written) || written < 0) return Fail("cannot write to " + m_path, written);
    return true;
}

bool OutputWriter::AddCopiedStream(CopiedStream& copy, AVMediaType type, const StreamLabel* label, bool first)
{
    AVStream* stream = avformat_new_stream(m_format, nullptr);
    if (!stream) return Fail("Could not alloc stream");
    stream->codecpar->codec_type = type;
    stream->time_base = kHundredNanoseconds;
    if (label) LabelStream(stream, *label);
    stream->disposition = (first ? AV_DISPOSITION_DEFAULT : 0) | (label && label->forced ? AV_DISPOSITION_FORCED : 0);
    copy = CopiedStream{};
    copy.stream = stream;
    return true;
}

void OutputWriter::LabelStream(AVStream* stream, const StreamLabel& label)
{
    SetTag(&stream->metadata, "language", label.language);
    SetTag(&stream->metadata, "title", label.title);
    // MP4 and MOV keep a track's name as its handler's.
    if (std::strcmp(m_format->oformat->name, "matroska") != 0 && std::strcmp(m_format->oformat->name, "webm") != 0)
        SetTag(&stream->metadata, "handler_name", label.title);
}

OutputWriter::CopiedStream* OutputWriter::CopiedOf(StreamKind kind, std::size_t index)
{
    return const_cast<CopiedStream*>(static_cast<const OutputWriter*>(this)->CopiedOf(kind, index));
}

const OutputWriter::CopiedStream* OutputWriter::CopiedOf(StreamKind kind, std::size_t index) const
{
    const CopiedStream* copy = nullptr;
    if (kind == StreamKind::kVideo && index == 0) copy = &m_copiedVideo;
    if (kind == StreamKind::kAudio && index < m_audioTracks.size()) copy = &m_audioTracks[index].copy;
    if (kind == StreamKind::kSubtitle && index < m_subtitles.size()) copy = &m_subtitles[index];
    return copy && copy->stream ? copy : nullptr;
}

OutputWriter::SoundFormat OutputWriter::AudioFormat(std::size_t track) const
{
    if (track < m_audioTracks.size() && m_audioTracks[track].codec)
        return {m_audioTracks[track].codec->sample_rate, m_audioTracks[track].codec->ch_layout.nb_channels};
    return {m_settings.SampleRate, m_settings.Channel};
}

bool OutputWriter::Copies(StreamKind kind, std::size_t index) const { return CopiedOf(kind, index) != nullptr; }

bool OutputWriter::DescribeCopied(StreamKind kind, std::size_t index, const CopiedFormat& format, bool confirmed)
{
    CopiedStream* copy = CopiedOf(kind, index);
    if (!copy || !m_format) return false;
    // Once the header is out, the format stays as written.
    if (m_headerWritten) return true;
    AVCodecParameters* p = copy->stream->codecpar;
    p->codec_id = format.codec;
    // DVD LPCM goes into MPEG program streams as it is; Matroska takes its samples as plain PCM.
    const bool programStream = std::string_view(m_format->oformat->name).find("mpeg") != std::string_view::npos ||
                               std::strcmp(m_format->oformat->name, "vob") == 0 || std::strcmp(m_format->oformat->name, "dvd") == 0;
    if (kind == StreamKind::kAudio && format.codec == AV_CODEC_ID_PCM_DVD && !programStream) {
        if (!UnpackLpcm(*copy, format)) return false;
        copy->confirmed = copy->confirmed || confirmed;
        return true;
    }
    copy->unpacker.reset();
    if (p->codec_type == AVMEDIA_TYPE_AUDIO) {
        p->sample_rate = format.sampleRate;
        av_channel_layout_uninit(&p->ch_layout);
        if (format.channels > 0) av_channel_layout_default(&p->ch_layout, format.channels);
        p->bits_per_coded_sample = format.bitsPerSample;
        p->bits_per_raw_sample = format.bitsPerSample;
        if (format.codec == AV_CODEC_ID_PCM_S16LE || format.codec == AV_CODEC_ID_PCM_S16BE)
            p->block_align = 2 * std::max(1, format.channels);
        if (format.codec == AV_CODEC_ID_PCM_S24LE) p->block_align = 3 * std::max(1, format.channels);
    } else {
        p->width = format.width;
        p->height = format.height;
    }
    if (p->codec_type == AVMEDIA_TYPE_VIDEO) {
        p->sample_aspect_ratio = format.sampleAspect;
        copy->stream->sample_aspect_ratio = format.sampleAspect;
        p->field_order = format.fieldOrder;
        if (format.frameRate.num > 0) {
            copy->stream->avg_frame_rate = format.frameRate;
            copy->stream->r_frame_rate = format.frameRate;
        }
        // B pictures: the container reorders them by their time stamps.
        p->video_delay = format.codec == AV_CODEC_ID_MPEG2VIDEO || format.codec == AV_CODEC_ID_MPEG1VIDEO ? 2 : 4;
    }
    av_freep(&p->extradata);
    p->extradata_size = 0;
    if (!format.extradata.empty()) {
        p->extradata = static_cast<std::uint8_t*>(av_mallocz(format.extradata.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!p->extradata) return Fail("out of memory");
        std::memcpy(p->extradata, format.extradata.data(), format.extradata.size());
        p->extradata_size = static_cast<int>(format.extradata.size());
    }
    copy->confirmed = copy->confirmed || confirmed;
    return true;
}

bool OutputWriter::UnpackLpcm(CopiedStream& copy, const CopiedFormat& format)
{
    const int bits = format.bitsPerSample > 16 ? 24 : 16;
    AVCodecParameters* p = copy.stream->codecpar;
    p->codec_id = bits == 24 ? AV_CODEC_ID_PCM_S24LE : AV_CODEC_ID_PCM_S16LE;
    p->sample_rate = format.sampleRate;
    av_channel_layout_uninit(&p->ch_layout);
    av_channel_layout_default(&p->ch_layout, std::max(1, format.channels));
    p->bits_per_coded_sample = bits;
    p->bits_per_raw_sample = bits;
    p->block_align = bits / 8 * std::max(1, format.channels);
    av_freep(&p->extradata);
    p->extradata_size = 0;
    const AVCodec* decoder = avcodec_find_decoder(AV_CODEC_ID_PCM_DVD);
    copy.unpacker.reset(decoder ? avcodec_alloc_context3(decoder) : nullptr);
    copy.unpacked = ffmpeg::MakeFrame();
    if (!copy.unpacker || !copy.unpacked) return Fail("out of memory");
    // Each packet's own header says its rate, depth and channels; these are the stream's.
    copy.unpacker->sample_rate = format.sampleRate;
    av_channel_layout_default(&copy.unpacker->ch_layout, std::max(1, format.channels));
    copy.unpacker->bits_per_coded_sample = bits;
    return !Refused("avcodec_open2", avcodec_open2(copy.unpacker.get(), decoder, nullptr), "cannot unpack the LPCM sound");
}

bool OutputWriter::WriteUnpacked(CopiedStream& copy, const CopiedPacket& packet)
{
    // The packet as the disc has it (its three header bytes first) into the decoder, which gives
    // the samples (16 bits, or 24 in the top of 32) interleaved.
    if (Refused("av_new_packet", av_new_packet(m_packet.get(), static_cast<int>(packet.size)), "out of memory")) return false;
    std::memcpy(m_packet->data, packet.data, packet.size);
    const int sent = avcodec_send_packet(copy.unpacker.get(), m_packet.get());
    av_packet_unref(m_packet.get());
    if (m_errors.Note("avcodec_send_packet", sent)) return true; // a damaged packet is passed over
    std::int64_t at = packet.pts;
    const bool deep = copy.stream->codecpar->codec_id == AV_CODEC_ID_PCM_S24LE;
    const int channels = copy.stream->codecpar->ch_layout.nb_channels;
    while (avcodec_receive_frame(copy.unpacker.get(), copy.unpacked.get()) == 0) {
        AVFrame* frame = copy.unpacked.get();
        const int values = frame->nb_samples * frame->ch_layout.nb_channels;
        if (frame->ch_layout.nb_channels != channels || frame->sample_rate <= 0) {
            av_frame_unref(frame);
            continue; // a packet that says another layout than the stream's: not this stream's samples
        }
        const int bytes = values * (deep ? 3 : 2);
        if (Refused("av_new_packet", av_new_packet(m_packet.get(), bytes), "out of memory")) return false;
        std::uint8_t* out = m_packet->data;
        if (deep && frame->format == AV_SAMPLE_FMT_S32) {
            const auto* in = reinterpret_cast<const std::int32_t*>(frame->data[0]);
            for (int i = 0; i < values; ++i) {
                const std::uint32_t v = static_cast<std::uint32_t>(in[i]) >> 8;
                *out++ = static_cast<std::uint8_t>(v);
                *out++ = static_cast<std::uint8_t>(v >> 8);
                *out++ = static_cast<std::uint8_t>(v >> 16);
            }
        } else if (!deep && frame->format == AV_SAMPLE_FMT_S16) {
            std::memcpy(out, frame->data[0], static_cast<std::size_t>(bytes));
        } else {
            av_frame_unref(frame);
            av_packet_unref(m_packet.get());
            continue;
        }
        const std::int64_t duration = av_rescale(frame->nb_samples, 10000000, frame->sample_rate);
        m_packet->pts = m_packet->dts = at;
        m_packet->duration = duration;
        m_packet->flags |= AV_PKT_FLAG_KEY;
        copy.end = std::max(copy.end, at + duration);
        ++copy.packets;
        at += duration;
        av_frame_unref(frame);
        if (!WritePacket(m_packet.get(), copy.stream, kHundredNanoseconds)) return false;
    }
    return true;
}

int OutputWriter::WriteCopied(StreamKind kind, std::size_t index, const CopiedPacket& packet)
{
    CopiedStream* copy = CopiedOf(kind, index);
    if (!copy || !m_format || m_failed || !packet.data || packet.size == 0) return -1;
    if (copy->unpacker) return WriteUnpacked(*copy, packet) ? 0 : -1;
    if (Refused("av_new_packet", av_new_packet(m_packet.get(), static_cast<int>(packet.size)), "out of memory")) return -1;
    std::memcpy(m_packet->data, packet.data, packet.size);
    m_packet->pts = packet.pts;
    m_packet->dts = packet.dts;
    m_packet->duration = packet.duration;
    if (packet.key) m_packet->flags |= AV_PKT_FLAG_KEY;
    copy->end = std::max(copy->end, packet.pts + packet.duration);
    ++copy->packets;
    return WritePacket(m_packet.get(), copy->stream, kHundredNanoseconds) ? 0 : -1;
}

std::int64_t OutputWriter::CopiedEnd(StreamKind kind, std::size_t index) const
{
    const CopiedStream* copy = CopiedOf(kind, index);
    return copy ? copy->end : 0;
}

std::int64_t OutputWriter::CopiedPackets(StreamKind kind, std::size_t index) const
{
    const CopiedStream* copy = CopiedOf(kind, index);
    return copy ? copy->packets : 0;
}

bool OutputWriter::AddVideoStream(const AVCodec* encoder)
{
    AVStream* stream = avformat_new_stream(m_format, nullptr);
    if (!stream) return Fail("Could not alloc stream");
    ffmpeg::CodecContextPtr codec(avcodec_alloc_context3(encoder));
    if (!codec) return Fail("cannot make the video encoder");
    const WriterSettings& w = m_settings;
    codec->width = w.Width;
    codec->height = w.Height;
    codec->time_base = TimeBase(w.FrameRate);
    codec->framerate = av_inv_q(codec->time_base);
    codec->pix_fmt = encoder->pix_fmts ? encoder->pix_fmts[0] : AV_PIX_FMT_YUV420P;
    if (ModernEncoding(w)) {
        // A key picture every few seconds, and the encoder's own B pictures.
        codec->gop_size = std::max(1, w.FrameRate / 1000) * 5;
    } else {
        codec->gop_size = std::max(1, w.FrameRate / 1000); // a key frame a second
        codec->max_b_frames = 0;
    }
    AVDictionary* options = nullptr;
    std::string refusal;
    if (!ApplyEncoderSettings(w, encoder, codec.get(), m_pass, &options, &refusal)) {
        av_dict_free(&options);
        return Fail(refusal);
    }
    // The second of two passes, for encoders whose statistics go through libavcodec: the first
    // pass's, read back (they stay ours: libavcodec does not free them).
    m_statsOut.clear();
    if (m_pass.pass == 2 && KeepsStatsInContext(encoder->name)) {
        std::FILE* stats = std::fopen(m_pass.statsPath.c_str(), "rb");
        m_statsIn.clear();
        if (stats) {
            char chunk[4096];
            for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, stats)) > 0;) m_statsIn.append(chunk, got);
            std::fclose(stats);
        }
        if (m_statsIn.empty()) {
            av_dict_free(&options);
            return Fail("the first pass left no statistics in " + m_pass.statsPath);
        }
        codec->stats_in = m_statsIn.data();
    }
    const AspectRatio pixel = SampleAspect(w.Width, w.Height, m_displayAspect);
    codec->sample_aspect_ratio = AVRational{pixel.x, pixel.y};
    codec->thread_count = 0;
    if (encoder->id == AV_CODEC_ID_MJPEG) codec->strict_std_compliance = FF_COMPLIANCE_UNOFFICIAL;
    if (m_format->oformat->flags & AVFMT_GLOBALHEADER) codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    stream->sample_aspect_ratio = codec->sample_aspect_ratio;
    stream->disposition = AV_DISPOSITION_DEFAULT;
    const bool opened = OpenEncoder(codec.get(), encoder, stream, "video", &options);
    av_dict_free(&options);
    if (!opened) return false;
    // H.265 in MP4 and MOV as Apple's players want it.
    const std::string_view container = m_format->oformat->name;
    if (encoder->id == AV_CODEC_ID_HEVC && (container == "mp4" || container == "mov")) stream->codecpar->codec_tag = MKTAG('h', 'v', 'c', '1');

    m_videoFrame = ffmpeg::MakeFrame();
    if (!m_videoFrame) return Fail("out of memory");
    m_videoFrame->format = AV_PIX_FMT_YUV420P;
    m_videoFrame->width = w.Width;
    m_videoFrame->height = w.Height;
    if (Refused("av_frame_get_buffer", av_frame_get_buffer(m_videoFrame.get(), 0), "out of memory")) return false;
    if (codec->pix_fmt != AV_PIX_FMT_YUV420P) {
        m_converter.reset(sws_getContext(w.Width, w.Height, AV_PIX_FMT_YUV420P, w.Width, w.Height, codec->pix_fmt,
                                         SWS_BICUBIC, nullptr, nullptr, nullptr));
        m_convertedFrame = ffmpeg::MakeFrame();
        if (!m_converter || !m_convertedFrame) return Fail("cannot convert pictures for the video encoder");
        m_convertedFrame->format = codec->pix_fmt;
        m_convertedFrame->width = w.Width;
        m_convertedFrame->height = w.Height;
        if (Refused("av_frame_get_buffer", av_frame_get_buffer(m_convertedFrame.get(), 0), "out of memory")) return false;
    }
    m_videoCodec = std::move(codec);
    m_video = stream;
    return true;
}

bool OutputWriter::OpenEncoder(AVCodecContext* codec, const AVCodec* encoder, AVStream* stream, const char* kind,
                               AVDictionary** options)
{
    int result = avcodec_open2(codec, encoder, options);
    if (m_errors.Note("avcodec_open2", result) || result < 0) {
        // Say with what it was opened: the user changes those settings.
        char used[160];
        if (codec->codec_type == AVMEDIA_TYPE_VIDEO)
            std::snprintf(used, sizeof used, " with the size %dx%d, the frame rate %.5g and the bitrate %lld kbit/s", codec->width,
                          codec->height, av_q2d(codec->framerate), static_cast<long long>(codec->bit_rate / 1000));
        else
            std::snprintf(used, sizeof used, " with the sample rate %d Hz, %d channels and the bitrate %lld kbit/s", codec->sample_rate,
                          codec->ch_layout.nb_channels, static_cast<long long>(codec->bit_rate / 1000));
        return Fail(std::string("cannot open the ") + kind + " encoder " + encoder->name + used + " (change them in Settings)", result);
    }
    result = avcodec_parameters_from_context(stream->codecpar, codec);
    if (m_errors.Note("avcodec_parameters_from_context", result) || result < 0)
        return Fail(std::string("cannot set the ") + kind + " stream's parameters", result);
    stream->time_base = codec->time_base;
    return true;
}

bool OutputWriter::AddAudioStream(const AVCodec* encoder, const StreamLabel& label, bool first)
{
    AVStream* stream = avformat_new_stream(m_format, nullptr);
    if (!stream) return Fail("Could not alloc stream");
    ffmpeg::CodecContextPtr codec(avcodec_alloc_context3(encoder));
    if (!codec) return Fail("cannot make the audio encoder");
    const WriterSettings& w = m_settings;
    // 16-bit samples when the encoder takes them; otherwise its own format, converted to.
    codec->sample_fmt = !encoder->sample_fmts || Supports(encoder->sample_fmts, AV_SAMPLE_FMT_S16)
                            ? AV_SAMPLE_FMT_S16
                            : encoder->sample_fmts[0];
    codec->bit_rate = w.AudioBitRate;
    codec->sample_rate = label.sampleRate > 0 ? label.sampleRate : w.SampleRate;
    av_channel_layout_default(&codec->ch_layout, std::max(1, label.channels > 0 ? label.channels : w.Channel));
    codec->time_base = {1, codec->sample_rate};
    if (m_format->oformat->flags & AVFMT_GLOBALHEADER) codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (!OpenEncoder(codec.get(), encoder, stream, "audio")) return false;
    LabelStream(stream, label);
    stream->disposition = first ? AV_DISPOSITION_DEFAULT : 0;

    AudioTrack track;
    // One frame buffer that fits the encoder's frame (or any chunk, for encoders without one).
    const int chunk = codec->frame_size > 0 ? codec->frame_size : kMaxAudioChunk;
    track.frame = ffmpeg::MakeFrame();
    if (!track.frame) return Fail("out of memory");
    track.frame->format = codec->sample_fmt;
    av_channel_layout_copy(&track.frame->ch_layout, &codec->ch_layout);
    track.frame->sample_rate = codec->sample_rate;
    track.frame->nb_samples = chunk;
    if (Refused("av_frame_get_buffer", av_frame_get_buffer(track.frame.get(), 0), "out of memory")) return false;
    if (codec->sample_fmt != AV_SAMPLE_FMT_S16) {
        SwrContext* converter = nullptr;
        const int result = swr_alloc_set_opts2(&converter, &codec->ch_layout, codec->sample_fmt, codec->sample_rate,
                                               &codec->ch_layout, AV_SAMPLE_FMT_S16, codec->sample_rate, 0, nullptr);
        track.converter.reset(converter);
        if (Refused("swr_alloc_set_opts2", result, "cannot convert samples for the audio encoder") ||
            Refused("swr_init", swr_init(converter), "cannot convert samples for the audio encoder"))
            return false;
        track.staging.assign(static_cast<std::size_t>(chunk) * codec->ch_layout.nb_channels * 2, 0);
    }
    // A new FIFO for every file: nothing of the last file's sound carries over.
    track.fifo.reset(av_audio_fifo_alloc(AV_SAMPLE_FMT_S16, codec->ch_layout.nb_channels, chunk * 4));
    if (!track.fifo) return Fail("out of memory");
    track.sampleRate = codec->sample_rate;
    track.codec = std::move(codec);
    track.stream = stream;
    m_audioTracks.push_back(std::move(track));
    return true;
}

bool OutputWriter::Encode(AVCodecContext* codec, AVStream* stream, const AVFrame* frame, std::int64_t& packets)
{
    int sent = avcodec_send_frame(codec, frame);
    for (;;) {
        // Packets first, then (when the encoder was full) the frame again.
        for (;;) {
            const int received = avcodec_receive_packet(codec, m_packet.get());
            if (ffmpeg::StatusOf(received) != ffmpeg::Status::Ok) {
                if (m_errors.Note("avcodec_receive_packet", received)) return Fail("encoding failed", received);
                break; // again or drained
            }
            // Encoders with B pictures leave the duration unset; MP4's edit list would then end
            // at the last picture's start and players would drop it. A picture lasts one tick.
            if (codec == m_videoCodec.get() && m_packet->duration <= 0) m_packet->duration = 1;
            if (!WritePacket(m_packet.get(), stream, codec->time_base)) return false;
            ++packets;
            if (m_pass.pass == 1 && codec->stats_out && codec == m_videoCodec.get()) m_statsOut += codec->stats_out;
        }
        if (ffmpeg::StatusOf(sent) != ffmpeg::Status::Again) break;
        sent = avcodec_send_frame(codec, frame);
    }
    if (m_errors.Note("avcodec_send_frame", sent)) return Fail("encoding failed", sent);
    return true;
}

int OutputWriter::WriteVideo(const std::uint8_t* picture)
{
    if (!m_video || !m_format || m_failed || !picture) return -1;
    const int w = m_settings.Width, h = m_settings.Height;
    // The encoder may still hold the last picture: it gets a buffer of its own then.
    if (Refused("av_frame_make_writable", av_frame_make_writable(m_videoFrame.get()), "out of memory")) return -1;
    const std::uint8_t* luma = picture;
    const std::uint8_t* cr = picture + static_cast<std::size_t>(w) * h;
    const std::uint8_t* cb = cr + static_cast<std::size_t>(w / 2) * (h / 2);
    av_image_copy_plane(m_videoFrame->data[0], m_videoFrame->linesize[0], luma, w, w, h);
    av_image_copy_plane(m_videoFrame->data[1], m_videoFrame->linesize[1], cb, w / 2, w / 2, h / 2);
    av_image_copy_plane(m_videoFrame->data[2], m_videoFrame->linesize[2], cr, w / 2, w / 2, h / 2);
    AVFrame* frame = m_videoFrame.get();
    if (m_converter) {
        if (Refused("av_frame_make_writable", av_frame_make_writable(m_convertedFrame.get()), "out of memory")) return -1;
        const int scaled = sws_scale(m_converter.get(), m_videoFrame->data, m_videoFrame->linesize, 0, h, m_convertedFrame->data,
                                     m_convertedFrame->linesize);
        if (Refused("sws_scale", scaled, "cannot convert the picture for the encoder")) return -1;
        if (scaled == 0) {
            m_errors.NoteFailure("sws_scale gave no rows");
            return Fail("cannot convert the picture for the encoder"), -1;
        }
        frame = m_convertedFrame.get();
    }
    frame->pts = m_videoFrames++;
    return Encode(m_videoCodec.get(), m_video, frame, m_videoPackets) ? 0 : -1;
}

int OutputWriter::WriteAudio(std::size_t index, const std::uint8_t* data, std::size_t bytes)
{
    if (index >= m_audioTracks.size() || !m_format || m_failed || !m_audioTracks[index].codec) return -1;
    AudioTrack& track = m_audioTracks[index];
    const int channels = track.codec->ch_layout.nb_channels;
    const int samples = static_cast<int>(bytes / (2 * static_cast<std::size_t>(channels)));
    if (samples > 0) {
        void* planes[1] = {const_cast<std::uint8_t*>(data)};
        if (!Whole("av_audio_fifo_write", av_audio_fifo_write(track.fifo.get(), planes, samples), samples, "out of memory"))
            return -1;
    }
    return EncodeAudioFifo(track, false) ? 0 : -1;
}

bool OutputWriter::EncodeAudioFifo(AudioTrack& track, bool flush)
{
    AVCodecContext* codec = track.codec.get();
    AVAudioFifo* fifo = track.fifo.get();
    AVFrame* frame = track.frame.get();
    const bool fixedSize = codec->frame_size > 0 && !(codec->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
    const int chunk = codec->frame_size > 0 ? codec->frame_size : kMaxAudioChunk;
    while (av_audio_fifo_size(fifo) > 0) {
        const int available = av_audio_fifo_size(fifo);
        if (fixedSize && available < chunk && !flush) break;
        const int n = std::min(available, chunk);
        if (Refused("av_frame_make_writable", av_frame_make_writable(frame), "out of memory")) return false;
        // Frames that must be whole get the rest of the last one as silence.
        const int frameSamples = fixedSize && !(codec->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME) ? chunk : n;
        frame->nb_samples = frameSamples;
        if (track.converter) {
            std::uint8_t* staging[1] = {track.staging.data()};
            const int read = av_audio_fifo_read(fifo, reinterpret_cast<void**>(staging), n);
            if (!Whole("av_audio_fifo_read", read, n, "cannot read the sound to encode")) return false;
            const std::uint8_t* in[1] = {track.staging.data()};
            const int converted = swr_convert(track.converter.get(), frame->data, n, in, n);
            if (!Whole("swr_convert", converted, n, "cannot convert the sound for the encoder")) return false;
        } else {
            const int read = av_audio_fifo_read(fifo, reinterpret_cast<void**>(frame->data), n);
            if (!Whole("av_audio_fifo_read", read, n, "cannot read the sound to encode")) return false;
        }
        if (frameSamples > n)
            av_samples_set_silence(frame->data, n, frameSamples - n, codec->ch_layout.nb_channels, codec->sample_fmt);
        frame->pts = track.samples;
        track.samples += n;
        if (!Encode(codec, track.stream, frame, track.packets)) return false;
    }
    return true;
}

bool OutputWriter::Close()
{
    if (!m_format) return true;
    if (!m_failed) {
        for (AudioTrack& track : m_audioTracks)
            if (!m_failed && track.codec) EncodeAudioFifo(track, true);
        // An encoder that was given nothing is not drained: SVT-AV1 waits for ever for the
        // pictures it expects before the end.
        if (m_video && !m_failed && m_videoFrames > 0) {
            m_videoEnded = true;
            Encode(m_videoCodec.get(), m_video, nullptr, m_videoPackets);
        }
        // The first pass's statistics, where libavcodec handed them over (the last at the end).
        if (m_video && !m_failed && m_pass.pass == 1 && KeepsStatsInContext(m_videoCodec->codec->name)) {
            if (m_videoCodec->stats_out) m_statsOut += m_videoCodec->stats_out;
            std::FILE* stats = std::fopen(m_pass.statsPath.c_str(), "wb");
            // A full disk may say so only when the file is closed.
            const bool written = stats && std::fwrite(m_statsOut.data(), 1, m_statsOut.size(), stats) == m_statsOut.size();
            const bool closed = stats && std::fclose(stats) == 0;
            if (!written || !closed) Fail("cannot write the first pass's statistics to " + m_pass.statsPath);
        }
        for (AudioTrack& track : m_audioTracks)
            if (!m_failed && track.codec && track.samples > 0) Encode(track.codec.get(), track.stream, nullptr, track.packets);
        WriteHeaderWhenDue(true);
    }
    if (m_headerWritten && !m_failed) {
        if (AddChapters()) PlaceChapters(Length());
        if (!m_failed) {
            const int trailer = av_write_trailer(m_format);
            if (m_errors.Note("av_write_trailer", trailer) || trailer < 0) Fail("cannot finish " + m_path, trailer);
        }
    }
    if (m_io && !m_failed) {
        // What is still buffered goes out now; a full disk is said here at the latest.
        avio_flush(m_io.get());
        if (m_errors.Note("avio_flush", m_io->error)) Fail("cannot write to " + m_path, m_io->error);
    }
    FreeState();
    return !m_failed;
}

bool OutputWriter::HoldsChapters(const AVOutputFormat* container)
{
    static const char* const kHolders[] = {"mp4", "mov", "ipod", "3gp", "3g2", "matroska", "webm"};
    for (const char* name : kHolders)
        if (std::strcmp(container->name, name) == 0) return true;
    return false;
}

void OutputWriter::MoveChapter(std::size_t index, std::int64_t start)
{
    if (index < m_marks.chapters.size()) m_marks.chapters[index].start = start;
}

bool OutputWriter::AddChapters()
{
    // Only at the end, when the times are known: Matroska writes the chapters it has at the header
    // and never again, and MP4 given them before the header writes its chapter track with those
    // times at once, and that track's length counts as the file's (a cancelled file would seem
    // whole). Given at the end, MP4 and MOV make their chapter track and list ("chpl") of the
    // final times, 3GP its list, Matroska and WebM their own chapters.
    if (m_marks.chapters.empty() || !HoldsChapters(m_format->oformat) || m_format->nb_chapters > 0) return true;
    auto** list = static_cast<AVChapter**>(av_calloc(m_marks.chapters.size(), sizeof(AVChapter*)));
    if (!list) return Fail("out of memory");
    m_format->chapters = list;
    for (std::size_t i = 0; i < m_marks.chapters.size(); ++i) {
        auto* chapter = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
        if (!chapter) return Fail("out of memory");
        chapter->id = static_cast<std::int64_t>(i + 1);
        chapter->time_base = kHundredNanoseconds;
        list[i] = chapter;
        m_format->nb_chapters = static_cast<unsigned>(i + 1);
    }
    return true;
}

void OutputWriter::PlaceChapters(std::int64_t length)
{
    if (m_format->nb_chapters == 0) return;
    // The marks that fall in the file, in time order, each up to the next.
    std::vector<const OutputChapter*> kept;
    for (const OutputChapter& c : m_marks.chapters)
        if (c.start >= 0 && (c.start < length || length <= 0)) kept.push_back(&c);
    std::stable_sort(kept.begin(), kept.end(), [](const OutputChapter* a, const OutputChapter* b) { return a->start < b->start; });
    for (unsigned i = 0; i < m_format->nb_chapters; ++i) {
        AVChapter* chapter = m_format->chapters[i];
        av_dict_free(&chapter->metadata);
        if (i >= kept.size()) {
            av_freep(&m_format->chapters[i]);
            continue;
        }
        chapter->start = kept[i]->start;
        chapter->end = i + 1 < kept.size() ? kept[i + 1]->start : std::max(length, chapter->start + 1);
        SetTag(&chapter->metadata, "title", kept[i]->name);
    }
    m_format->nb_chapters = static_cast<unsigned>(kept.size());
}

std::int64_t OutputWriter::Length() const
{
    if (m_video) return av_rescale_q(m_videoFrames, TimeBase(m_settings.FrameRate), kHundredNanoseconds);
    if (m_copiedVideo.stream) return m_copiedVideo.end;
    std::int64_t length = 0;
    for (const AudioTrack& track : m_audioTracks)
        length = std::max(length, track.copy.stream ? track.copy.end
                                                    : av_rescale_q(track.samples, AVRational{1, std::max(1, track.sampleRate)}, kHundredNanoseconds));
    return length;
}

void OutputWriter::EndEncoderQuietly()
{
    // SVT-AV1 waits for ever when it is freed without having been told its end, and when told
    // its end before any picture. Such an encoder (a file given up, a run that failed before its
    // first picture) is given a black picture when it had none, and its end; what it still makes
    // is dropped.
    if (!m_videoCodec || m_videoEnded || std::strcmp(m_videoCodec->codec->name, "libsvtav1") != 0) return;
    m_videoEnded = true;
    AVCodecContext* codec = m_videoCodec.get();
    AVFrame* frame = m_converter ? m_convertedFrame.get() : m_videoFrame.get();
    if (m_videoFrames == 0) {
        if (!frame || av_frame_make_writable(frame) < 0) return;
        const ptrdiff_t lines[4] = {frame->linesize[0], frame->linesize[1], frame->linesize[2], frame->linesize[3]};
        av_image_fill_black(frame->data, lines, static_cast<AVPixelFormat>(frame->format), AVCOL_RANGE_MPEG, frame->width, frame->height);
        frame->pts = 0;
        if (avcodec_send_frame(codec, frame) < 0) return;
    }
    if (avcodec_send_frame(codec, nullptr) < 0) return;
    ffmpeg::PacketPtr packet(av_packet_alloc());
    while (packet && avcodec_receive_packet(codec, packet.get()) >= 0) av_packet_unref(packet.get());
}

void OutputWriter::FreeState()
{
    EndEncoderQuietly();
    m_videoCodec.reset();
    m_videoEnded = false;
    m_formatOwner.reset();
    m_format = nullptr;
    m_io.reset();
    m_fd = -1;
    if (m_ownedFd >= 0 && ::close(m_ownedFd) != 0 && !m_failed) Fail("cannot write to " + m_path, AVERROR(errno));
    m_ownedFd = -1;
    m_video = nullptr;
    m_copiedVideo.stream = nullptr;
    for (CopiedStream& copy : m_subtitles) copy.stream = nullptr;
    m_waiting.clear();
    m_headerDue = false;
    m_converter.reset();
    m_convertedFrame.reset();
    m_videoFrame.reset();
    // The tracks' counts stay until the next Open (tests, progress); their encoders go.
    for (AudioTrack& track : m_audioTracks) {
        track.codec.reset();
        track.stream = nullptr;
        track.copy.stream = nullptr;
        track.frame.reset();
        track.converter.reset();
        track.fifo.reset();
    }
    m_headerWritten = false;
}
