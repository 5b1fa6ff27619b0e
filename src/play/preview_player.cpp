#include "play/preview_player.h"

#include <algorithm>
#include <memory>

#include "com/task_memory.h"
#include "convert/video_conversion_filter.h"
#include "play/snapshot.h"
#include "decode/video_decoder_filter.h"
#include "demux/mpeg_splitter_filter.h"
#include "dvd/disc_info.h"
#include "dvd/dvd_reader.h"
#include "graph/class_factory.h"
#include "pipeline/base_filter.h"
#include "pipeline/event_codes.h"

namespace {

constexpr GUID kTimeFormatMediaTime = MakeGuid("{7B785574-8C82-11CF-BC0C-00AA00AC74F6}");
constexpr CLSID kVideoMixingRenderer = MakeGuid("{B87BEB7B-8D29-423F-AE4D-6582C10175AC}");
constexpr double kSecond = 1e7; // 100 ns units
// State queries wait this long.
constexpr LONG kStateTimeoutMs = 10;

std::string WithCode(const char* text, HRESULT hr) { return text + std::to_string(static_cast<long>(hr)); }

bool Connected(IPin* pin)
{
    ComPtr<IPin> peer;
    return pin && SUCCEEDED(pin->ConnectedTo(peer.Put())) && peer;
}

} // namespace

PreviewPlayer::PreviewPlayer(MessageFn message) : m_message(std::move(message)) {}

PreviewPlayer::~PreviewPlayer() { Teardown(); }

void PreviewPlayer::Message(const std::string& text)
{
    if (m_message) m_message(text);
}

bool PreviewPlayer::CreateGraph(std::shared_ptr<SourceDisc> disc, void* window, const RECT* destination,
                                GraphNotifyCallback notify)
{
    Teardown();
    if (CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IGraphBuilder::iid, m_graph.PutVoid()) != S_OK) {
        Message("CoCreateInstance error");
        return false;
    }
    if (!CreateRenderers(window)) return false;
    if (FAILED(m_graph.As(m_control)) || FAILED(m_graph.As(m_events)) || FAILED(m_graph.As(m_seeking))) {
        Message("IID_IMediaSeeking error");
        return false;
    }
    if (notify) m_events->SetNotifyCallback(std::move(notify));
    // The renderers' completion reaches the window at once.
    m_events->CancelDefaultHandling(EC_COMPLETE);
    if (!CreateFront(std::move(disc))) return false;
    // The graph seeks through its filters: the time format is set once the splitter is in.
    if (FAILED(m_seeking->SetTimeFormat(&kTimeFormatMediaTime))) {
        Message("IID_IMediaSeeking error");
        return false;
    }
    if (m_windowless) {
        m_windowless->SetVideoPosition(nullptr, destination);
        m_windowless->RepaintVideo(window, nullptr);
        m_windowless->SetBorderColor(0);
    }
    return true;
}

bool PreviewPlayer::CreateRenderers(void* window) { return AddRenderer(window, m_renderer, m_windowless); }

bool PreviewPlayer::AddRenderer(void* window, ComPtr<IBaseFilter>& renderer, ComPtr<IVMRWindowlessControl>& windowless)
{
    HRESULT hr = CClassFactory::Instance().CreateInstance(kVideoMixingRenderer, nullptr, IBaseFilter::iid, renderer.PutVoid());
    if (FAILED(hr) || !renderer) {
        Message(WithCode("CLSID_VideoMixingRenderer9 error", hr));
        return false;
    }
    hr = m_graph->AddFilter(renderer.Get(), "Video Mixing Renderer");
    if (FAILED(hr)) {
        Message(WithCode("Add Video Render Filter error", hr));
        return false;
    }
    hr = QueryInterfaceTo(renderer.Get(), windowless);
    if (FAILED(hr)) {
        // Plays without a picture.
        Message(WithCode("IID_IVMRWindowlessControl9 error", hr));
        return true;
    }
    windowless->SetVideoClippingWindow(window);
    windowless->SetAspectRatioMode(VMR_ARMODE_LETTER_BOX);
    return true;
}

bool PreviewPlayer::CreateFront(std::shared_ptr<SourceDisc> disc)
{
    if (!disc) return false;
    const auto message = [this](const char* text) { Message(text); };
    if (!AddDiscFront(m_graph.Get(), m_source, m_splitter, message) ||
        !AddRegisteredFilter(m_graph.Get(), CLSID_MpegVideoDecoder, m_decoder, "Decoder", "CLSID_MpegDecoder error", message))
        return false;
    ComPtr<IMyDVDReader> reader;
    if (FAILED(QueryInterfaceTo(m_source.Get(), reader))) {
        Message("IID_IMyDVDReader error");
        return false;
    }
    if (FAILED(reader->SetDvdReader(disc->Handle()))) {
        Message("SetDvdReader error");
        return false;
    }
    m_disc = std::move(disc);
    return true;
}

bool PreviewPlayer::SetTitle(int titleIndex, int chapterIndex)
{
    if (!m_graph || !m_source || !m_splitter) return false;
    ComPtr<IMyDVDReader> reader;
    if (FAILED(QueryInterfaceTo(m_source.Get(), reader))) return false;
    m_control->Stop();
    reader->SetArea(titleIndex, chapterIndex);
    m_titleLength = 0;
    reader->GetDuration(&m_titleLength);
    m_seekBase = m_heldPosition = 0;

    const DiscInfo& info = m_disc->Info();
    int firstAudio = 0;
    if (titleIndex >= 0 && titleIndex < info.titleCount) {
        m_splitter->SetTitleInfo(&info.titles[titleIndex]);
        if (info.titles[titleIndex].audioCount > 0) firstAudio = info.titles[titleIndex].audioStreamId[0];
    }
    SetCellTimes(m_splitter.Get(), m_disc->Kind(), m_disc->CellMarks(titleIndex, chapterIndex));
    m_titleAspect = TitleAspect(m_disc->VideoOf(titleIndex));
    // The title's subpictures in the disc's own colours.
    if (m_decoder) static_cast<CVideoDecoderFilter*>(m_decoder.Get())->SetSubpicturePalette(m_disc->SubpicturePalette(titleIndex));
    if (!ConnectTitle()) return false;
    if (m_titleLength > 0) m_splitter->SetPlayRange(0, 0, m_titleLength);
    // The title's first listed track is heard unless another is chosen, as a conversion takes
    // it (the splitter's own pick is the track it rates highest, LPCM over AC-3).
    if (firstAudio != 0) ChooseStreams(firstAudio, 0);
    // The clock: the audio renderer's when the title has sound, else the system's.
    m_graph->SetDefaultSyncSource();
    return true;
}

bool PreviewPlayer::ConnectTitle()
{
    RemoveSoundFilters();
    // What an earlier title connected goes first: the splitter makes its outputs anew.
    for (int i = 0; i < 2; ++i)
        if (const ComPtr<IPin> in = PinOf(m_decoder.Get(), PINDIR_INPUT, i)) {
            ComPtr<IPin> peer;
            if (SUCCEEDED(in->ConnectedTo(peer.Put())) && peer) m_graph->Disconnect(peer.Get());
            m_graph->Disconnect(in.Get());
        }
    // Before: the filters already in the graph, so that those the sound brings in are known.
    std::vector<IBaseFilter*> before{m_source.Get(), m_splitter.Get(), m_decoder.Get(), m_conver.Get(), m_renderer.Get()};
    for (IBaseFilter* own : OwnFilters()) before.push_back(own);
    const auto message = [this](const char* text) { Message(text); };
    // The title's pictures; a title without them has no video pin, and that row is left out.
    const std::vector<GraphLink> pictures{
        {m_source.Get(), 0, m_splitter.Get(), 0, "get source output pin error", "get splitter input pin error", nullptr, true, true},
        {m_splitter.Get(), 0, m_decoder.Get(), 0, nullptr, "connect splitter and decoder error(video)",
         "connect splitter and decoder error(video)", true, false, true}};
    if (!ConnectLinks(m_graph.Get(), pictures, message).Ok()) return false;
    // The sound, through whatever the graph finds for it (by name: a title without sound has its
    // subpictures' output second).
    if (const ComPtr<IPin> sound = PinOf(m_splitter.Get(), PINDIR_OUTPUT, OutputIndexOf(m_splitter.Get(), "Audio"))) {
        if (!AddSoundFilters()) return false;
        if (FAILED(m_graph->Render(sound.Get()))) {
            Message("render splitter error(audio)");
            return false;
        }
    }
    // The subpictures into the decoder, when both pins are there (a failure leaves them out).
    if (const int subpictures = OutputIndexOf(m_splitter.Get(), "Subtitle"); subpictures >= 0)
        ConnectLinks(m_graph.Get(), {{m_splitter.Get(), subpictures, m_decoder.Get(), 1, nullptr, nullptr, nullptr, false, false, true}},
                     message);
    const ComPtr<IPin> decoderOut = PinOf(m_decoder.Get(), PINDIR_OUTPUT, 0);
    if (!decoderOut) {
        Message("get decoder output pin error");
        return false;
    }
    if (!Connected(decoderOut.Get()) && !ConnectPictures()) return false;
    if (m_conver) {
        // The pictures' way may stay connected from title to title: the deinterlacing follows
        // the setting, and the renderer is connected again for the title's shape.
        m_conver->SetDeinterlace(m_deinterlace);
        m_conver->SetDisplayAspects(0, 0, m_titleAspect.x, m_titleAspect.y);
        const std::vector<GraphLink> shown{{m_conver.Get(), 0, m_renderer.Get(), 0, "get video conver output pin error",
                                            "get render0 input pin0 error", nullptr, true, true}};
        if (!ConnectLinks(m_graph.Get(), shown, message).Ok()) return false;
    }
    ComPtr<IEnumFilters> filters;
    if (SUCCEEDED(m_graph->EnumFilters(filters.Put()))) {
        ComPtr<IBaseFilter> filter;
        ULONG fetched = 0;
        while (filters->Next(1, filter.Put(), &fetched) == S_OK)
            // (The picture path's own filter joins on the first title, after `before` was taken.)
            if (std::find(before.begin(), before.end(), filter.Get()) == before.end() &&
                filter.Get() != static_cast<IBaseFilter*>(m_conver.Get()))
                m_soundFilters.push_back(filter);
    }
    return true;
}

bool PreviewPlayer::ConnectPictures()
{
    // The pictures pass a conversion filter that only deinterlaces (no crop, same size), so that
    // what is shown, and a snapshot of it, is what a file gets.
    const auto message = [this](const char* text) { Message(text); };
    if (!m_conver && !AddNewFilter(m_graph.Get(), &CMyVideoConveFilter::Create, m_conver, "VideoConver",
                                   "CLSID_MyVideoConver error", message))
        return false;
    m_conver->SetDeinterlace(m_deinterlace);
    // Shown at the title's shape (the filter's output has square pixels unless told).
    m_conver->SetDisplayAspects(0, 0, m_titleAspect.x, m_titleAspect.y);
    const std::vector<GraphLink> rows{
        {m_decoder.Get(), 0, m_conver.Get(), 0, nullptr, "get video conver input pin error", "connect decoder and video conver error"},
        {m_conver.Get(), 0, m_renderer.Get(), 0, "get video conver output pin error", "get render0 input pin0 error"}};
    return ConnectLinks(m_graph.Get(), rows, message).Ok();
}

void PreviewPlayer::RemoveSoundFilters()
{
    for (auto& filter : m_soundFilters) m_graph->RemoveFilter(filter.Get());
    m_soundFilters.clear();
}

bool PreviewPlayer::InState(FILTER_STATE wanted)
{
    if (!m_control) return false;
    OAFilterState state = -1;
    if (FAILED(m_control->GetState(kStateTimeoutMs, &state))) return false;
    return state == wanted;
}


int PreviewPlayer::Play()
{
    if (m_control && !InState(State_Running)) m_control->Run();
    return 1;
}

int PreviewPlayer::Pause()
{
    if (m_control && !InState(State_Paused)) {
        m_heldPosition = StreamPosition();
        m_control->Pause();
    }
    return 1;
}

int PreviewPlayer::Stop()
{
    if (m_control && !InState(State_Stopped)) {
        if (m_disc) m_disc->Interrupt(true);
        m_control->Stop();
        if (m_disc) m_disc->Interrupt(false);
    }
    m_heldPosition = m_seekBase;
    return 1;
}

double PreviewPlayer::StreamPosition()
{
    REFERENCE_TIME streamTime = 0;
    auto* splitter = static_cast<CBaseFilter*>(m_splitter.Get());
    if (!splitter || FAILED(splitter->StreamTime(streamTime))) return m_heldPosition;
    const double length = static_cast<double>(m_titleLength) / 1000;
    return std::clamp(m_seekBase + static_cast<double>(std::max<REFERENCE_TIME>(0, streamTime)) / kSecond, 0.0,
                      length > 0 ? length : 1e9);
}

bool PreviewPlayer::GetPosition(double& seconds)
{
    if (!m_control) return false;
    seconds = InState(State_Running) ? StreamPosition() : m_heldPosition;
    return true;
}

bool PreviewPlayer::GetPlayLength(double& seconds)
{
    if (!m_seeking) return false;
    seconds = static_cast<double>(m_titleLength) / 1000;
    return true;
}

bool PreviewPlayer::GetStopPosition(double& seconds)
{
    LONGLONG stop = 0;
    if (!m_seeking || FAILED(m_seeking->GetStopPosition(&stop))) return false;
    seconds = static_cast<double>(stop) / kSecond;
    return true;
}

bool PreviewPlayer::SetPosition(double seconds)
{
    if (!m_seeking) return false;
    LONGLONG position = static_cast<LONGLONG>(std::max(0.0, seconds) * kSecond);
    if (FAILED(m_seeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning))) return false;
    m_seekBase = m_heldPosition = static_cast<double>(position) / kSecond;
    return true;
}

bool PreviewPlayer::GetStreams(std::vector<EngineStream>& streams)
{
    streams.clear();
    return m_splitter && ListStreams(m_splitter.Get(), streams);
}

bool PreviewPlayer::EnableStream(int index, bool on)
{
    return m_splitter && SUCCEEDED(m_splitter->Enable(index, on ? AMSTREAMSELECTENABLE_ENABLE : 0));
}

void PreviewPlayer::ChooseStreams(int audioStreamId, int subtitleId)
{
    const bool switched = m_splitter && EnableStreams(m_splitter.Get(), audioStreamId, subtitleId);
    // While playing, what the splitter has read ahead of the old track would be heard (or seen)
    // for seconds yet: playback starts again from where it is, with the new track.
    if (switched && !InState(State_Stopped)) {
        double position = 0;
        if (GetPosition(position)) SetPosition(position);
    }
}

void PreviewPlayer::ShowSubpictures(bool on)
{
    if (m_decoder) static_cast<CVideoDecoderFilter*>(m_decoder.Get())->ShowSubpictures(on);
}

bool PreviewPlayer::Snapshot(const std::string& path)
{
    if (!m_windowless) return false;
    BYTE* dib = nullptr;
    if (FAILED(m_windowless->GetCurrentImage(&dib)) || !dib) return false;
    const bool saved = SaveSnapshot(dib, path);
    CoTaskMemFree(dib);
    return saved;
}

void PreviewPlayer::SetNotify(GraphNotifyCallback notify)
{
    if (m_events) m_events->SetNotifyCallback(std::move(notify));
}

bool PreviewPlayer::NextEvent(LONG& code, LONG_PTR& param1, LONG_PTR& param2)
{
    if (!m_events || m_events->GetEvent(&code, &param1, &param2, 0) != S_OK) return false;
    m_events->FreeEventParams(code, param1, param2);
    return true;
}

void PreviewPlayer::Teardown()
{
    if (m_control) Stop();
    if (m_events) m_events->SetNotifyCallback(nullptr);
    m_events.Reset();
    if (m_graph) {
        RemoveSoundFilters();
        for (IBaseFilter* filter : {m_decoder.Get(), static_cast<IBaseFilter*>(m_conver.Get()), m_renderer.Get(),
                                    static_cast<IBaseFilter*>(m_splitter.Get()), m_source.Get()})
            if (filter) m_graph->RemoveFilter(filter);
    }
    m_decoder.Reset();
    m_conver.Reset();
    m_renderer.Reset();
    m_splitter.Reset();
    m_source.Reset();
    m_seeking.Reset();
    m_windowless.Reset();
    m_control.Reset();
    m_graph.Reset();
    m_titleLength = 0;
    m_seekBase = m_heldPosition = 0;
}
