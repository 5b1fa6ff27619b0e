#include "convert/conversion_engine.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "convert/audio_conversion_filter.h"
#include "convert/file_marks.h"
#include "convert/video_conversion_filter.h"
#include "demux/mpeg_splitter_filter.h"
#include "dvd/dvd_reader.h"
#include "pipeline/event_codes.h"
#include "pipeline/format_blocks.h"
#include "pipeline/media_guids.h"
#include "com/task_memory.h"
#include "decode/audio_decoder_filter.h"
#include "ffmpeg/ffmpeg_handles.h"
#include "decode/video_decoder_filter.h"
#include "graph/class_factory.h"
#include "com/debug_log.h"

namespace {

constexpr GUID kTimeFormatMediaTime = MakeGuid("{7B785574-8C82-11CF-BC0C-00AA00AC74F6}");

} // namespace

ConversionEngine::ConversionEngine(MessageFn message) : m_message(std::move(message)) {}

ConversionEngine::~ConversionEngine()
{
    Teardown();
    CloseOutput();
}

void ConversionEngine::Message(const char* text)
{
    if (m_message) m_message(text);
}

bool ConversionEngine::OpenOutput(const std::string& path, const WriterSettings& settings, AspectRatio displayAspect,
                                  int descriptor, FileMarks marks)
{
    m_profile = settings;
    m_outputAspect = displayAspect;
    return m_writer.Open(path, settings, displayAspect, descriptor, std::move(marks));
}

bool ConversionEngine::CloseOutput() { return m_writer.Close(); }

bool ConversionEngine::Build(std::shared_ptr<SourceDisc> disc, int titleIndex, int chapterIndex, const ClipSettings& clip,
                             const BuildOptions& options)
{
    Teardown();
    m_titleIndex = titleIndex;
    m_disc = std::move(disc);
    if (!m_disc) return false;
    m_nothingReadable = false;
    m_soundNotFound.clear();
    m_subtitlesNotFound.clear();
    if (CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IGraphBuilder::iid, m_graph.PutVoid()) != S_OK)
        return false;
    if (FAILED(m_graph.As(m_control)) || FAILED(m_graph.As(m_events))) return false;
    if (options.notify) m_events->SetNotifyCallback(options.notify);
    // The sink's completion reaches the run at once.
    m_events->CancelDefaultHandling(EC_COMPLETE);
    // Conversions run as fast as the pipeline goes.
    ComPtr<IMediaFilter> timing;
    if (SUCCEEDED(m_graph.As(timing))) timing->SetSyncSource(nullptr);
    m_clip = clip;
    if (!CreateFilters(titleIndex, chapterIndex)) return false;
    if (m_videoConver) m_videoConver->SetDeinterlace(options.deinterlace);
    if (!ConnectFilters(options.subpictures)) return false;
    if (options.preview && m_writer.HasVideo() && !m_writer.Copies(StreamKind::kVideo)) AttachPreview(options.preview);
    ChooseStreams(options.subtitleId, options.audioStreamId);
    // The first track has its pin now; the others get pins of their own.
    m_soundTracks.assign(1, options.audioStreamId ? options.audioStreamId : static_cast<std::uint16_t>(m_firstAudioStreamId));
    if (m_profile.hasAudio && !ConnectMoreSound(options.moreAudio, options.audioStreamId ? options.audioStreamId
                                                                                       : static_cast<std::uint16_t>(m_firstAudioStreamId)))
        return false;
    if (!ConnectSubtitleTracks(options.subtitleTracks)) return false;
    DescribeUnfedCopies();
    // Copied streams are written from where this task begins in the file.
    m_sink->SetFileOffset(m_writer.Length());
    return SUCCEEDED(m_control->Pause());
}

void ConversionEngine::ChooseStreams(std::uint16_t subtitleId, std::uint16_t audioStreamId)
{
    if (!m_splitter) return;
    // Without a choice, the sound is the title's first listed track (the splitter's own pick is
    // the track it scores highest, not the one the disc lists first).
    if (audioStreamId == 0) audioStreamId = static_cast<std::uint16_t>(m_firstAudioStreamId);
    EnableStreams(m_splitter.Get(), audioStreamId, subtitleId);
}

bool ConversionEngine::CreateFilters(int titleIndex, int chapterIndex)
{
    const WriterSettings& w = m_profile;
    const bool video = w.hasVideo != 0, audio = w.hasAudio != 0;

    if (FAILED(CConvFilter::Create(m_sink.Put()))) return false;
    m_graph->AddFilter(m_sink.Get(), "Conver");
    m_sink->SetWriter(&m_writer);
    m_sink->SetFrameDuration(w.FrameRate > 0 ? (1000000.0 / w.FrameRate) * 10000 : 400000);

    const auto message = [this](const char* text) { Message(text); };
    if (!AddDiscFront(m_graph.Get(), m_source, m_splitter, message)) return false;
    if (SUCCEEDED(QueryInterfaceTo(static_cast<IBaseFilter*>(m_splitter.Get()), m_seeking)))
        m_seeking->SetTimeFormat(&kTimeFormatMediaTime);
    // The scanner learns from the title record which streams to expect (before the connection).
    const DiscInfo& info = m_disc->Info();
    m_firstAudioStreamId = 0;
    if (titleIndex >= 0 && titleIndex < info.titleCount) {
        m_splitter->SetTitleInfo(&info.titles[titleIndex]);
        if (info.titles[titleIndex].audioCount > 0) m_firstAudioStreamId = info.titles[titleIndex].audioStreamId[0];
    }

    // Streams the writer copies go from the splitter to the sink as they are.
    const bool decodeVideo = video && !m_writer.Copies(StreamKind::kVideo);
    const bool decodeAudio = audio && !m_writer.Copies(StreamKind::kAudio, 0);
    if (decodeVideo && !AddRegisteredFilter(m_graph.Get(), CLSID_MpegVideoDecoder, m_videoDecoder, "VideoDecoder",
                                            "CLSID_MpegDecoder error", message))
        return false;
    // Burned-in subpictures in the disc's own colours.
    if (decodeVideo)
        static_cast<CVideoDecoderFilter*>(m_videoDecoder.Get())->SetSubpicturePalette(m_disc->SubpicturePalette(titleIndex));
    if (decodeAudio && (!AddRegisteredFilter(m_graph.Get(), CLSID_MpegAudioDecoder, m_audioDecoder, "AudioDecoder",
                                       "CLSID_MpaDecoder error", message) ||
                  !AddNewFilter(m_graph.Get(), &CMyAudioConveFilter::Create, m_audioConver, "AudioConver",
                                "CLSID_MyAudioConver error", message)))
        return false;
    if (decodeVideo && !AddNewFilter(m_graph.Get(), &CMyVideoConveFilter::Create, m_videoConver, "VideoConver",
                                     "CLSID_MyVideoConver error", message))
        return false;
    return OpenArea(titleIndex, chapterIndex);
}

bool ConversionEngine::OpenArea(int titleIndex, int chapterIndex)
{
    // The cells of the title, and for a chapter those from it and from the next one, each asked
    // of the disc once.
    const std::vector<Disc::CellMark> title = m_disc->CellMarks(titleIndex, -1);
    std::vector<Disc::CellMark> fromChapter, fromNext;
    if (chapterIndex >= 0) {
        fromChapter = m_disc->CellMarks(titleIndex, chapterIndex);
        fromNext = m_disc->CellMarks(titleIndex, chapterIndex + 1);
    }
    // A chapter converts as that stretch of its title, the way a trim does: reading goes on past
    // the chapter's last sector until every stream has passed its end. (The sound of a chapter's
    // last half second lies in the next chapter's sectors; reading the chapter's sectors alone
    // lost it, and called it unreadable.)
    if (chapterIndex >= 0) {
        if (!title.empty() && !fromChapter.empty()) {
            const auto start = static_cast<std::int64_t>(title.back().ms - fromChapter.back().ms + 0.5);
            const auto length = static_cast<std::int64_t>(fromChapter.back().ms - (fromNext.empty() ? 0.0 : fromNext.back().ms) + 0.5);
            const std::int64_t into = std::clamp<std::int64_t>(m_clip.trimStart, 0, length);
            m_clip.trimStart = start + into;
            m_clip.trimLength = std::clamp<std::int64_t>(m_clip.trimLength, 0, length - into);
            chapterIndex = -1;
        }
    }
    ComPtr<IMyDVDReader> reader;
    if (FAILED(QueryInterfaceTo(m_source.Get(), reader))) {
        Message("IID_IMyDVDReader error");
        return false;
    }
    if (FAILED(reader->SetDvdReader(m_disc->Handle())) || FAILED(reader->SetArea(titleIndex, chapterIndex))) {
        Message("SetDvdReader error");
        return false;
    }
    reader->GetDuration(&m_titleLength);
    // Where the cells start in the area and in time: the splitter seeks by them, and takes each
    // cell's times from its own start (cells may start their time stamps again).
    const std::vector<Disc::CellMark>& cells = chapterIndex >= 0 ? fromChapter : title;
    SetCellTimes(m_splitter.Get(), m_disc->Kind(), cells);
    // A chapter's length: its cells' playing time.
    if (chapterIndex >= 0) {
        const std::size_t own = cells.size() > fromNext.size() ? cells.size() - fromNext.size() : 0;
        if (own > 0 && own < cells.size() && cells[own].ms > 0) m_titleLength = static_cast<LONGLONG>(cells[own].ms);
    }
    ApplyClip(titleIndex);
    return true;
}

void ConversionEngine::ApplyClip(int titleIndex)
{
    const WriterSettings& w = m_profile;
    // The whole title (or chapter) is read to the end of its data: the disc's playing time
    // must not cut the last pictures off.
    const bool whole = m_clip.trimStart <= 0 && m_clip.trimLength >= m_titleLength;
    // Nothing may lie far beyond the title's end: a damaged time stamp there would make the
    // file run on with one picture.
    constexpr LONGLONG kBeyondEndMs = 10000;
    m_sink->SetRange(m_clip.trimStart * 10000, whole && m_titleLength > 0 ? (m_titleLength + kBeyondEndMs) * 10000
                                               : whole ? INT64_MAX / 2
                                                       : (m_clip.trimStart + m_clip.trimLength) * 10000);
    m_sink->SetExpectedLength((whole ? m_titleLength : std::min(m_clip.trimLength, m_titleLength - m_clip.trimStart)) * 10000);

    const PictureSettings& p = m_clip.picture;
    if (m_videoConver) {
        m_videoConver->SetRects(p.zoomMode, p.cropLeft, p.cropTop, p.cropRight, p.cropBottom, 0, 0, w.Width, w.Height);
        // The title's shape from its video attributes (the stream's own may be missing or wrong).
        const AspectRatio source = TitleAspect(m_disc->VideoOf(titleIndex));
        m_videoConver->SetDisplayAspects(source.x, source.y, m_outputAspect.x, m_outputAspect.y);
        m_videoConver->SetHue(p.hue);
        m_videoConver->SetBrightness(p.brightness);
        m_videoConver->SetSaturation(p.saturation);
    }
    if (m_audioConver) {
        const OutputWriter::SoundFormat format = m_writer.AudioFormat(0);
        m_audioConver->SetOutputFormat(static_cast<std::uint16_t>(format.channels), format.sampleRate);
        m_audioConver->SetVolume(p.volume);
    }
    if (m_titleLength > 0)
        m_splitter->SetPlayRange(whole ? 0 : m_clip.trimStart, whole ? 0 : m_clip.trimLength, m_titleLength);
}

bool ConversionEngine::ConnectFilters(bool subpictures)
{
    IBaseFilter* sink = m_sink.Get();
    IBaseFilter* splitter = m_splitter.Get();
    const auto message = [this](const char* text) { Message(text); };
    // The splitter makes its outputs once it reads the title: one per kind of stream it finds.
    const LinkResult source =
        ConnectLinks(m_graph.Get(), {{m_source.Get(), 0, splitter, 0, "get source output pin error", "get splitter input pin error"}},
                     message);
    if (!source.Ok()) {
        if (source.hr == ZZ_E_SCRAMBLED)
            Message(EncryptedText(m_titleIndex, m_disc->Kind()).c_str());
        else
            m_nothingReadable = true; // the splitter finds no stream in the title's data
        return false;
    }
    // Found by name: a title without sound has no "Audio" output (and its subpictures' output
    // comes second), a file without pictures no "Video".
    const int videoPin = OutputIndexOf(splitter, "Video");
    const int soundPin = OutputIndexOf(splitter, "Audio");
    const int subpicturePin = OutputIndexOf(splitter, "Subtitle");
    if (m_profile.hasAudio && soundPin < 0) {
        // The file's first sound stream stays unfed: the sink fills it with silence (a title
        // without sound in a merged file keeps the sound after it in step).
        DebugLog("engine: title %d has no sound in its data\n", m_titleIndex + 1);
        if (m_firstAudioStreamId != 0) m_soundNotFound.push_back(static_cast<std::uint16_t>(m_firstAudioStreamId));
        if (m_audioDecoder) m_graph->RemoveFilter(m_audioDecoder.Get());
        if (m_audioConver) m_graph->RemoveFilter(m_audioConver.Get());
    }
    const bool video = m_profile.hasVideo != 0 && m_videoDecoder, audio = m_profile.hasAudio != 0 && m_audioDecoder && soundPin >= 0;
    IBaseFilter* videoConver = m_videoConver.Get();
    IBaseFilter* audioConver = m_audioConver.Get();
    std::vector<GraphLink> rows;
    if (video) rows.push_back({splitter, videoPin, m_videoDecoder.Get(), 0, nullptr, "connect splitter and decoder error(video)",
                               "connect splitter and decoder error(video)"});
    if (audio) rows.push_back({splitter, soundPin, m_audioDecoder.Get(), 0, nullptr, "connect splitter and decoder error(audio)",
                               "connect splitter and decoder error(audio)"});
    if (video && subpictures && subpicturePin >= 0)
        rows.push_back({splitter, subpicturePin, m_videoDecoder.Get(), 1, nullptr, nullptr, nullptr, false});
    if (video)
        rows.push_back({m_videoDecoder.Get(), 0, videoConver, 0, "get video decoder output pin error", "get video conver input pin error",
                        "connect video decoder and video conver error", true, true});
    if (audio) {
        rows.push_back({m_audioDecoder.Get(), 0, audioConver, 0, "get audio decoder output pin error", "get audio conver input pin error",
                        "connect audio decoder and audio conver error", true, true});
        rows.push_back({audioConver, 0, sink, 0, "get audio conver output pin error", "get mConver input pin 0 error",
                        "connect audio conver out pin to mConver error", true, true});
    }
    if (video)
        rows.push_back({videoConver, 0, sink, 1, "get video conver output pin error", "get mConver input pin error",
                        "connect video conver out pin to mConver error", true, true});
    // Copied streams: the splitter's pins straight to the sink.
    if (m_profile.hasVideo && !video)
        rows.push_back({splitter, videoPin, sink, 1, "get splitter output pin error", "get mConver input pin error",
                        "connect splitter and mConver error(video)"});
    if (m_profile.hasAudio && !m_audioDecoder && soundPin >= 0)
        rows.push_back({splitter, soundPin, sink, 0, nullptr, "get mConver input pin 0 error", "connect splitter and mConver error(audio)"});
    const LinkResult linked = ConnectLinks(m_graph.Get(), rows, message);
    if (linked.Ok()) return true;
    if (linked.hr == ZZ_E_SCRAMBLED) Message(EncryptedText(m_titleIndex, m_disc->Kind()).c_str());
    return false;
}

bool ConversionEngine::ConnectMoreSound(const std::vector<std::uint16_t>& tracks, std::uint16_t first)
{
    std::vector<EngineStream> streams;
    if (tracks.empty() || !ListStreams(m_splitter.Get(), streams)) return true;
    const auto message = [this](const char* text) { Message(text); };
    std::vector<std::uint16_t> taken{first};
    for (std::uint16_t id : tracks) {
        // As many as the file has sound streams for.
        if (m_moreSound.size() + 1 >= m_writer.AudioTracks()) break;
        if (std::find(taken.begin(), taken.end(), id) != taken.end()) continue;
        taken.push_back(id);
        auto stream = std::find_if(streams.rbegin(), streams.rend(),
                                   [&](const EngineStream& s) { return s.kind == EngineStream::kAudio && s.streamId == id; });
        const int pin = stream == streams.rend() ? -1 : m_splitter->AddSoundPin(stream->index);
        m_soundTracks.push_back(id);
        if (pin < 0) {
            // Listed for the title, but not in its data: the file's stream for it stays empty, and
            // keeps its place (an unconnected input), so that the tracks after it keep theirs.
            m_soundNotFound.push_back(id);
            m_moreSound.emplace_back();
            m_sink->AddSoundInput();
            continue;
        }
        // The sink's inputs: the first sound, the pictures, then the further sounds.
        const int sinkInput = static_cast<int>(m_moreSound.size()) + 2;
        const std::size_t track = m_moreSound.size() + 1;
        if (m_writer.Copies(StreamKind::kAudio, track)) {
            m_moreSound.emplace_back();
            m_sink->AddSoundInput();
            const GraphLink copy{m_splitter.Get(), pin, m_sink.Get(), sinkInput, "get splitter output pin error",
                                 "get mConver input pin error", "connect splitter and mConver error(audio)"};
            if (!ConnectLinks(m_graph.Get(), {copy}, message).Ok()) return false;
            continue;
        }
        SoundBranch branch;
        const std::string number = std::to_string(m_moreSound.size() + 2);
        if (!AddRegisteredFilter(m_graph.Get(), CLSID_MpegAudioDecoder, branch.decoder, ("AudioDecoder " + number).c_str(),
                                 "CLSID_MpaDecoder error", message) ||
            !AddNewFilter(m_graph.Get(), &CMyAudioConveFilter::Create, branch.conver, ("AudioConver " + number).c_str(),
                          "CLSID_MyAudioConver error", message))
            return false;
        const OutputWriter::SoundFormat format = m_writer.AudioFormat(track);
        branch.conver->SetOutputFormat(static_cast<std::uint16_t>(format.channels), format.sampleRate);
        branch.conver->SetVolume(m_clip.picture.volume);
        m_sink->AddSoundInput();
        const std::vector<GraphLink> rows{
            {m_splitter.Get(), pin, branch.decoder.Get(), 0, "get splitter output pin error", "connect splitter and decoder error(audio)",
             "connect splitter and decoder error(audio)"},
            {branch.decoder.Get(), 0, branch.conver.Get(), 0, "get audio decoder output pin error", "get audio conver input pin error",
             "connect audio decoder and audio conver error", true, true},
            {branch.conver.Get(), 0, m_sink.Get(), sinkInput, "get audio conver output pin error", "get mConver input pin error",
             "connect audio conver out pin to mConver error", true, true}};
        m_moreSound.push_back(std::move(branch));
        if (!ConnectLinks(m_graph.Get(), rows, message).Ok()) return false;
    }
    return true;
}

void ConversionEngine::DescribeUnfedCopies()
{
    // What the title's record says of a track: its coding and channels (DVD sound is at 48 kHz).
    const TitleInfo* title = m_titleIndex >= 0 && m_titleIndex < m_disc->Info().titleCount ? &m_disc->Info().titles[m_titleIndex] : nullptr;
    for (std::size_t k = 0; k < m_writer.AudioTracks(); ++k) {
        if (!m_writer.Copies(StreamKind::kAudio, k) || m_sink->SoundConnected(static_cast<int>(k))) continue;
        CopiedFormat format;
        format.codec = AV_CODEC_ID_AC3;
        format.sampleRate = 48000;
        format.channels = 2;
        format.bitsPerSample = 16;
        for (int i = 0; title && k < m_soundTracks.size() && i < std::clamp(title->audioCount, 0, kMaxAudioStreams); ++i) {
            if (title->audioStreamId[i] != m_soundTracks[k]) continue;
            static const std::pair<std::int32_t, AVCodecID> kCodings[] = {
                {kAudioFormatAc3, AV_CODEC_ID_AC3}, {kAudioFormatEac3, AV_CODEC_ID_EAC3}, {kAudioFormatDts, AV_CODEC_ID_DTS},
                {kAudioFormatMpeg1, AV_CODEC_ID_MP2}, {kAudioFormatMpeg2, AV_CODEC_ID_MP2}, {kAudioFormatMp3, AV_CODEC_ID_MP3},
                {kAudioFormatLpcm, AV_CODEC_ID_PCM_DVD}};
            for (const auto& [coding, codec] : kCodings)
                if (coding == title->audioFormat[i]) format.codec = codec;
            format.channels = ShownChannelCount(title->audioChannelsMinusOne[i]);
        }
        m_writer.DescribeCopied(StreamKind::kAudio, k, format, true);
    }
    if (m_writer.Copies(StreamKind::kVideo) && !m_sink->GetPin(1)->IsConnected()) {
        const TitleVideo picture = m_disc->VideoOf(m_titleIndex);
        CopiedFormat format;
        format.codec = m_disc->Kind() == DiscKind::kDvd ? AV_CODEC_ID_MPEG2VIDEO : AV_CODEC_ID_H264;
        format.width = picture.width;
        format.height = picture.height;
        m_writer.DescribeCopied(StreamKind::kVideo, 0, format, true);
    }
}

CopiedFormat ConversionEngine::SubtitleFormat(const EngineStream& stream) const
{
    CopiedFormat format;
    const bool graphics = IsGraphicsSubtitle(stream.streamId, m_disc->Kind());
    format.codec = graphics ? AV_CODEC_ID_HDMV_PGS_SUBTITLE : AV_CODEC_ID_DVD_SUBTITLE;
    const TitleVideo picture = m_disc->VideoOf(m_titleIndex);
    format.width = picture.width;
    format.height = picture.height;
    if (graphics) return format;
    // What libavcodec's DVD subtitle decoder reads: the picture's size and the 16 colours.
    std::string setup = "size: " + std::to_string(picture.width) + "x" + std::to_string(picture.height) + "\n";
    const std::vector<std::uint32_t> palette = m_disc->SubpicturePalette(m_titleIndex);
    if (palette.size() == 16) {
        setup += "palette:";
        for (std::size_t i = 0; i < palette.size(); ++i) {
            char colour[16];
            std::snprintf(colour, sizeof colour, "%s %06x", i ? "," : "", palette[i] & 0xFFFFFF);
            setup += colour;
        }
        setup += "\n";
    }
    format.extradata.assign(setup.begin(), setup.end());
    return format;
}

bool ConversionEngine::ConnectSubtitleTracks(const std::vector<std::uint16_t>& tracks)
{
    std::vector<EngineStream> streams;
    ListStreams(m_splitter.Get(), streams);
    const auto message = [this](const char* text) { Message(text); };
    for (std::size_t j = 0; j < tracks.size() && j < m_writer.SubtitleStreams(); ++j) {
        // Every subtitle stream of the file is described, found in the data or not: the header
        // waits for them.
        EngineStream described;
        described.kind = EngineStream::kSubpicture;
        described.streamId = tracks[j];
        m_writer.DescribeCopied(StreamKind::kSubtitle, j, SubtitleFormat(described), true);
        auto stream = std::find_if(streams.rbegin(), streams.rend(), [&](const EngineStream& s) {
            return s.kind == EngineStream::kSubpicture && s.streamId == tracks[j];
        });
        const int pin = stream == streams.rend() ? -1 : m_splitter->AddSubtitlePin(stream->index);
        // Inputs past the sounds: one per stream of the file, connected or not, so that each
        // stream keeps its place.
        m_sink->AddSubtitleInput();
        if (pin < 0) {
            m_subtitlesNotFound.push_back(tracks[j]);
            continue;
        }
        const int sinkInput = 1 + m_sink->SoundInputs() + static_cast<int>(j);
        const GraphLink link{m_splitter.Get(), pin, m_sink.Get(), sinkInput, "get splitter output pin error",
                             "get mConver input pin error", "connect splitter and mConver error(subtitle)"};
        if (!ConnectLinks(m_graph.Get(), {link}, message).Ok()) return false;
    }
    return true;
}

bool ConversionEngine::ConnectPreview(IBaseFilter* renderer)
{
    if (!m_sink || !m_graph) return false;
    if (!m_writer.HasVideo() || m_writer.Copies(StreamKind::kVideo)) return true;
    if (!renderer) return false;
    m_control->Stop();
    const bool connected = AttachPreview(renderer);
    m_control->Pause();
    return connected;
}

bool ConversionEngine::AttachPreview(IBaseFilter* renderer)
{
    m_graph->AddFilter(renderer, "Video Mixing Renderer");
    m_preview = ComPtr<IBaseFilter>(renderer);
    // "Video Pre", the sink's one output.
    const GraphLink preview{m_sink.Get(), 0, renderer, 0, "get mConver output pin error", "get mConver input pin error",
                            "connect video conver out pin to mConver error", true, true};
    return ConnectLinks(m_graph.Get(), {preview}, [this](const char* text) { Message(text); }).Ok();
}

void ConversionEngine::ShowPreview(bool on)
{
    if (m_sink) m_sink->SetPreviewEnabled(on);
}

bool ConversionEngine::GetStreams(std::vector<EngineStream>& streams)
{
    streams.clear();
    return m_splitter && ListStreams(m_splitter.Get(), streams);
}

bool ConversionEngine::EnableStream(int index, bool on)
{
    return m_splitter && SUCCEEDED(m_splitter->Enable(index, on ? AMSTREAMSELECTENABLE_ENABLE : 0));
}

HRESULT ConversionEngine::Run() { return m_control ? m_control->Run() : E_UNEXPECTED; }
HRESULT ConversionEngine::Pause() { return m_control ? m_control->Pause() : E_UNEXPECTED; }
HRESULT ConversionEngine::Stop()
{
    if (!m_control) return E_UNEXPECTED;
    // A damaged drive's retries would hold the stop up: reads give up while the graph stops.
    if (m_disc) m_disc->Interrupt(true);
    const HRESULT hr = m_control->Stop();
    if (m_disc) m_disc->Interrupt(false);
    return hr;
}

bool ConversionEngine::NextEvent(LONG& code, LONG_PTR& param1, LONG_PTR& param2, LONG ms)
{
    if (!m_events || m_events->GetEvent(&code, &param1, &param2, ms) != S_OK) return false;
    m_events->FreeEventParams(code, param1, param2);
    return true;
}

void ConversionEngine::Progress(REFERENCE_TIME& position, REFERENCE_TIME& duration)
{
    position = 0;
    duration = 1;
    if (!m_sink) return;
    if (m_profile.hasVideo)
        position = m_sink->NextVideoSlot();
    else if (m_profile.hasAudio)
        position = m_sink->AudioPosition();
    else if (m_seeking)
        m_seeking->GetCurrentPosition(&position);
    LONGLONG length = 0;
    if (m_seeking && SUCCEEDED(m_seeking->GetDuration(&length)) && length > 0) duration = length;
}

REFERENCE_TIME ConversionEngine::StartShift() const
{
    if (!m_sink || !m_writer.Copies(StreamKind::kVideo)) return 0;
    return std::max<REFERENCE_TIME>(0, m_clip.trimStart * 10000 - m_sink->RangeStart());
}

std::string ConversionEngine::EncryptedText(int titleIndex, DiscKind kind)
{
    return "Title " + std::to_string(titleIndex + 1) +
           (kind == DiscKind::kDvd ? " is encrypted; libdvdcss is needed to read it"
                                   : " is encrypted; ZuZidero reads unencrypted Blu-ray folders and files only");
}

std::string ConversionEngine::NothingReadableText(int titleIndex)
{
    return "Title " + std::to_string(titleIndex + 1) + " holds nothing that can be read";
}

std::vector<LostStretch> ConversionEngine::Lost()
{
    std::vector<LostStretch> lost = m_sink ? m_sink->Lost() : std::vector<LostStretch>{};
    // Where the file begins on the title's time line (the sink moves the trim's start onto a
    // picture boundary).
    const REFERENCE_TIME start = m_sink ? m_sink->RangeStart() : m_clip.trimStart * 10000;
    if (m_splitter)
        for (const auto& [from, to] : m_splitter->SkippedStretches()) lost.push_back({from - start, to - start});
    // Pictures and sound decoded from damaged data, or not decoded at all.
    const REFERENCE_TIME end = m_sink ? m_sink->RangeEnd() - start : INT64_MAX;
    // Stretches the title's navigation plays whose data is not there (a missing clip): they
    // take no time in the file, and are said where they would have been.
    for (const Disc::MissingStretch& missing : m_disc ? m_disc->Missing(m_titleIndex) : std::vector<Disc::MissingStretch>{}) {
        const auto at = static_cast<REFERENCE_TIME>(missing.atMs * 10000) - start;
        if (at >= 0 && at <= end) lost.push_back({at, at + static_cast<REFERENCE_TIME>(missing.ms * 10000)});
    }
    std::vector<IBaseFilter*> decoders{m_videoDecoder.Get(), m_audioDecoder.Get()};
    for (const SoundBranch& branch : m_moreSound) decoders.push_back(branch.decoder.Get());
    for (IBaseFilter* decoder : decoders) {
        ComPtr<IDecoderDamage> damage;
        if (!decoder || FAILED(QueryInterfaceTo(decoder, damage))) continue;
        for (const auto& [from, to] : damage->DamagedStretches())
            if (to - start > 0 && from - start < end) lost.push_back({std::max<REFERENCE_TIME>(from - start, 0), to - start});
    }
    return MergeLost(std::move(lost));
}

void ConversionEngine::Teardown()
{
    if (m_control) Stop();
    if (m_events) m_events->SetNotifyCallback(nullptr);
    m_control = nullptr;
    m_events = nullptr;
    m_seeking = nullptr;
    m_videoDecoder = nullptr;
    m_audioDecoder = nullptr;
    m_videoConver = nullptr;
    m_audioConver = nullptr;
    m_moreSound.clear();
    m_splitter = nullptr;
    m_source = nullptr;
    if (m_graph && m_sink) m_graph->RemoveFilter(m_sink.Get());
    m_sink = nullptr;
    m_preview = nullptr;
    m_graph = nullptr;
    m_titleLength = 0;
}
