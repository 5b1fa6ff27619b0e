#include "write/output_writer.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>

OutputWriter::OutputWriter() = default;

OutputWriter::~OutputWriter() { Close(); }

bool OutputWriter::IsCopy(const char* codecName) { return std::strcmp(codecName, "copy") == 0; }

void OutputWriter::Reset(const WriterSettings& settings, AspectRatio displayAspect, FileMarks marks)
{
    Close();
    m_audioTracks.clear();
    m_marks = std::move(marks);
    m_settings = settings;
    m_displayAspect = displayAspect;
    m_failure.Clear();
    m_video.Reset();
    m_copiedVideo.reset();
    m_subtitles.clear();
    m_textResults.clear();
}

bool OutputWriter::FindEncoders(const WriterSettings& settings, Encoders& found)
{
    // Encoders by name ("copy": the stream is copied); an unknown name fails.
    found.copyVideo = settings.hasVideo && IsCopy(settings.VideoCodecName);
    if (settings.hasVideo && settings.VideoCodecName[0] && !found.copyVideo) {
        found.video = avcodec_find_encoder_by_name(settings.VideoCodecName);
        if (!found.video) return m_failure.Fail(std::string("unknown video encoder ") + settings.VideoCodecName);
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
        if (!sound.copy && !encoder) return m_failure.Fail(std::string("unknown audio encoder ") + name);
        found.audio.push_back(encoder);
    }
    if (!found.video && !found.copyVideo && found.sounds.empty()) return m_failure.Fail("no encoder");
    return true;
}

bool OutputWriter::AddStreams(Encoders& found)
{
    if (found.video && !m_video.Add(found.video, m_settings, m_displayAspect, m_pass)) return false;
    if (found.copyVideo) {
        m_copiedVideo = std::make_unique<CopiedOutput>(m_muxer, m_failure);
        if (!m_copiedVideo->Add(AVMEDIA_TYPE_VIDEO, nullptr, true)) return false;
    }
    m_audioTracks.reserve(found.sounds.size());
    for (std::size_t i = 0; i < found.sounds.size(); ++i) {
        AudioTrack& track = m_audioTracks.emplace_back();
        if (found.audio[i]) {
            track.encoder = std::make_unique<SoundEncoder>(m_muxer, m_failure);
            if (!track.encoder->Add(found.audio[i], m_settings, found.sounds[i], i == 0)) return false;
        } else {
            track.copy = std::make_unique<CopiedOutput>(m_muxer, m_failure);
            if (!track.copy->Add(AVMEDIA_TYPE_AUDIO, &found.sounds[i], i == 0)) return false;
        }
    }
    if (!AddSubtitles()) return false;
    if (!HasVideo() && m_audioTracks.empty()) return m_failure.Fail("no stream");
    return true;
}

bool OutputWriter::AddSubtitles()
{
    m_subtitles.reserve(m_marks.subtitles.size());
    for (const StreamLabel& label : m_marks.subtitles) {
        SubtitleTrack& track = m_subtitles.emplace_back();
        track.label = label;
        if (label.textStream) {
            track.text = std::make_unique<TextStream>(m_muxer, m_failure);
            if (!track.text->Add(label, false)) return false;
        } else if (label.copy || !label.sidecar) {
            track.copy = std::make_unique<CopiedOutput>(m_muxer, m_failure);
            if (!track.copy->Add(AVMEDIA_TYPE_SUBTITLE, &label, false)) return false;
        }
        if (label.textStream || label.sidecar) {
            track.reader = std::make_unique<TextTrack>();
            track.reader->Start(label.language);
        }
    }
    const bool reads = std::any_of(m_subtitles.begin(), m_subtitles.end(), [](const SubtitleTrack& t) { return t.reader != nullptr; });
    if (reads) m_muxer.BeforePackets([this](std::int64_t time) { return WriteDueText(time); });
    return true;
}

int OutputWriter::TextCuesRead() const
{
    int read = -1;
    for (const SubtitleTrack& track : m_subtitles)
        if (track.reader) read = std::max(read, 0) + track.reader->CuesRead();
    return read;
}

bool OutputWriter::WriteDueText(std::int64_t time)
{
    for (SubtitleTrack& track : m_subtitles) {
        if (!track.reader) continue;
        for (const TextCue& cue : track.reader->Due(time))
            if (track.text && !track.text->Write(cue)) return false;
    }
    return !Failed();
}

void OutputWriter::FinishText()
{
    const std::int64_t end = Length();
    for (SubtitleTrack& track : m_subtitles) {
        if (!track.reader) continue;
        for (const TextCue& cue : track.reader->Finish(end))
            if (!Failed() && track.text) track.text->Write(cue);
        TextResult& result = m_textResults.emplace_back();
        result.label = track.label;
        result.cues = track.reader->Cues();
        result.language = track.reader->Language();
        result.fallback = track.reader->Fallback();
        result.problem = track.reader->Problem();
        result.decodeErrors = track.reader->DecodeErrors();
        track.reader.reset();
    }
}

bool OutputWriter::Open(const std::string& path, const WriterSettings& settings, AspectRatio displayAspect, int descriptor, FileMarks marks)
{
    Reset(settings, displayAspect, std::move(marks));
    m_path = path;
    bool created = false;
    auto failOpen = [&] {
        FreeState();
        if (created) ::unlink(path.c_str());
        return false;
    };
    Encoders found;
    if (!FindEncoders(settings, found)) return failOpen();
    if (!m_muxer.Create(path, m_marks.chapters)) return failOpen();
    if (!AddStreams(found)) return failOpen();
    if (!m_muxer.OpenBytes(path, descriptor, created)) return failOpen();
    // A file with copied pictures or sound waits for their first frames to write its header.
    m_muxer.WaitForHeader([this] { return CopiesConfirmed(); });
    if (!m_muxer.WriteHeaderWhenDue(false) && Failed()) return failOpen();
    return true;
}

bool OutputWriter::CopiesConfirmed() const
{
    if (m_copiedVideo && !m_copiedVideo->Confirmed()) return false;
    for (const AudioTrack& track : m_audioTracks)
        if (track.copy && !track.copy->Confirmed()) return false;
    for (const SubtitleTrack& subtitle : m_subtitles)
        if (subtitle.copy && !subtitle.copy->Confirmed()) return false;
    return true;
}

CopiedOutput* OutputWriter::CopiedOf(StreamKind kind, std::size_t index)
{
    return const_cast<CopiedOutput*>(static_cast<const OutputWriter*>(this)->CopiedOf(kind, index));
}

const CopiedOutput* OutputWriter::CopiedOf(StreamKind kind, std::size_t index) const
{
    const CopiedOutput* copy = nullptr;
    if (kind == StreamKind::kVideo && index == 0) copy = m_copiedVideo.get();
    if (kind == StreamKind::kAudio && index < m_audioTracks.size()) copy = m_audioTracks[index].copy.get();
    if (kind == StreamKind::kSubtitle && index < m_subtitles.size()) copy = m_subtitles[index].copy.get();
    return copy && copy->Stream() ? copy : nullptr;
}

TextTrack* OutputWriter::ReaderOf(StreamKind kind, std::size_t index)
{
    if (kind != StreamKind::kSubtitle || index >= m_subtitles.size() || !IsOpen()) return nullptr;
    return m_subtitles[index].reader.get();
}

OutputWriter::SoundFormat OutputWriter::AudioFormat(std::size_t track) const
{
    if (track < m_audioTracks.size() && m_audioTracks[track].encoder && m_audioTracks[track].encoder->Active())
        return {m_audioTracks[track].encoder->SampleRate(), m_audioTracks[track].encoder->Channels()};
    return {m_settings.SampleRate, m_settings.Channel};
}

bool OutputWriter::Copies(StreamKind kind, std::size_t index) const
{
    if (CopiedOf(kind, index)) return true;
    return kind == StreamKind::kSubtitle && index < m_subtitles.size() && m_subtitles[index].reader && IsOpen();
}

bool OutputWriter::DescribeCopied(StreamKind kind, std::size_t index, const CopiedFormat& format, bool confirmed)
{
    CopiedOutput* copy = CopiedOf(kind, index);
    TextTrack* reader = ReaderOf(kind, index);
    if ((!copy && !reader) || !IsOpen()) return false;
    if (reader) reader->Describe(format);
    return !copy || copy->Describe(format, confirmed);
}

int OutputWriter::WriteCopied(StreamKind kind, std::size_t index, const CopiedPacket& packet)
{
    CopiedOutput* copy = CopiedOf(kind, index);
    TextTrack* reader = ReaderOf(kind, index);
    if ((!copy && !reader) || !IsOpen()) return -1;
    if (reader) reader->Take(packet);
    // A subtitle begun before its range is read for the part within it; its picture stays out.
    if (packet.cutBefore >= 0 && packet.pts < packet.cutBefore) return 0;
    return copy ? copy->Write(packet) : 0;
}

std::int64_t OutputWriter::CopiedEnd(StreamKind kind, std::size_t index) const
{
    const CopiedOutput* copy = CopiedOf(kind, index);
    return copy ? copy->End() : 0;
}

std::int64_t OutputWriter::CopiedPackets(StreamKind kind, std::size_t index) const
{
    const CopiedOutput* copy = CopiedOf(kind, index);
    return copy ? copy->Packets() : 0;
}

int OutputWriter::WriteVideo(const std::uint8_t* picture)
{
    if (!IsOpen()) return -1;
    return m_video.Write(picture);
}

int OutputWriter::WriteAudio(std::size_t index, const std::uint8_t* data, std::size_t bytes)
{
    if (index >= m_audioTracks.size() || !IsOpen() || !m_audioTracks[index].encoder) return -1;
    return m_audioTracks[index].encoder->Write(data, bytes);
}

void OutputWriter::MoveChapter(std::size_t index, std::int64_t start) { m_muxer.MoveChapter(index, start); }

bool OutputWriter::Close()
{
    if (!IsOpen()) return true;
    if (!Failed()) {
        for (AudioTrack& track : m_audioTracks)
            if (!Failed() && track.encoder && track.encoder->Active()) track.encoder->FlushGathered();
        m_video.Finish();
        for (AudioTrack& track : m_audioTracks)
            if (!Failed() && track.encoder && track.encoder->Active()) track.encoder->Drain();
        m_muxer.WriteHeaderWhenDue(true);
    }
    FinishText();
    m_muxer.Finish(Length());
    FreeState();
    return !Failed();
}

std::int64_t OutputWriter::Length() const
{
    if (m_video.Active()) return m_video.Length();
    if (m_copiedVideo && m_copiedVideo->Stream()) return m_copiedVideo->End();
    std::int64_t length = 0;
    for (const AudioTrack& track : m_audioTracks)
        length = std::max(length, track.copy ? (track.copy->Stream() ? track.copy->End() : 0) : track.encoder ? track.encoder->Length() : 0);
    return length;
}

void OutputWriter::FreeState()
{
    m_video.Free();
    m_muxer.Free();
    if (m_copiedVideo) m_copiedVideo->Free();
    for (SubtitleTrack& track : m_subtitles) {
        if (track.copy) track.copy->Free();
        if (track.text) track.text->Free();
        track.reader.reset();
    }
    // The tracks' counts stay until the next Open (tests, progress); their encoders go.
    for (AudioTrack& track : m_audioTracks) {
        if (track.encoder) track.encoder->Free();
        if (track.copy) track.copy->Free();
    }
}
