#include "convert/graph_parts.h"

#include <cstdio>
#include <cstring>

#include "com/task_memory.h"
#include "demux/mpeg_splitter_filter.h"
#include "dvd/dvd_reader.h"
#include "graph/class_factory.h"
#include "pipeline/format_blocks.h"
#include "pipeline/media_guids.h"
#include "pipeline/media_type.h"

namespace {

// The values of "(%04x,%02x,%02x)" (PID, PES id, sub-stream id) in a stream's name; false when
// the name has none.
bool NameValues(const std::string& name, unsigned& pid, unsigned& pesId, unsigned& subId)
{
    const auto open = name.rfind('(');
    return open != std::string::npos && std::sscanf(name.c_str() + open, "(%04x,%02x,%02x)", &pid, &pesId, &subId) == 3;
}

// A track as the disc record lists it: a transport stream's by its PID, a program stream's by
// (PES id << 8) | sub-stream id.
int TrackId(unsigned pid, unsigned pesId, unsigned subId) { return static_cast<int>(pid ? pid : pesId << 8 | subId); }

} // namespace

ComPtr<IPin> PinOf(IBaseFilter* filter, PIN_DIRECTION direction, int n)
{
    if (!filter || n < 0) return nullptr;
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.Put()))) return nullptr;
    ComPtr<IPin> pin;
    ULONG fetched = 0;
    while (pins->Next(1, pin.Put(), &fetched) == S_OK) {
        PIN_DIRECTION d;
        pin->QueryDirection(&d);
        if (d == direction && n-- == 0) return pin;
    }
    return nullptr;
}

int OutputIndexOf(IBaseFilter* filter, const char* name)
{
    for (int n = 0;; ++n) {
        const ComPtr<IPin> pin = PinOf(filter, PINDIR_OUTPUT, n);
        if (!pin) return -1;
        PIN_INFO info{};
        if (FAILED(pin->QueryPinInfo(&info))) continue;
        if (info.pFilter) info.pFilter->Release();
        if (std::strcmp(info.achName, name) == 0) return n;
    }
}

LinkResult ConnectLinks(IGraphBuilder* graph, const std::vector<GraphLink>& rows, const std::function<void(const char*)>& message)
{
    const auto fail = [&](const char* text, HRESULT hr, std::size_t row) {
        if (text && message) message(text);
        return LinkResult{hr, row};
    };
    for (std::size_t row = 0; row < rows.size(); ++row) {
        const GraphLink& link = rows[row];
        const ComPtr<IPin> from = PinOf(link.from, PINDIR_OUTPUT, link.fromPin);
        if (!from) {
            if (!link.noOutput) continue;
            return fail(link.noOutput, E_FAIL, row);
        }
        const ComPtr<IPin> to = PinOf(link.to, PINDIR_INPUT, link.toPin);
        if (!to) {
            if (!link.noInput) continue;
            return fail(link.noInput, E_FAIL, row);
        }
        if (link.disconnectFirst) {
            graph->Disconnect(from.Get());
            graph->Disconnect(to.Get());
        }
        const HRESULT hr = link.intelligent ? graph->Connect(from.Get(), to.Get()) : graph->ConnectDirect(from.Get(), to.Get(), nullptr);
        if (FAILED(hr) && link.required) return fail(link.failed, hr, row);
    }
    return {};
}

bool ListStreams(CMpegSplitterFilter* splitter, std::vector<EngineStream>& streams)
{
    streams.clear();
    if (!splitter) return false;
    DWORD count = 0;
    if (FAILED(splitter->Count(&count))) return false;
    for (DWORD i = 0; i < count; ++i) {
        AM_MEDIA_TYPE* type = nullptr;
        char* name = nullptr;
        if (FAILED(splitter->Info(static_cast<LONG>(i), &type, nullptr, nullptr, nullptr, &name, nullptr, nullptr))) continue;
        EngineStream stream;
        stream.index = static_cast<int>(i);
        stream.name = name ? name : "";
        CoTaskMemFree(name);
        unsigned pid = 0, pesId = 0, subId = 0;
        const bool named = NameValues(stream.name, pid, pesId, subId);
        if (type) {
            const CMediaType mt(*type);
            DeleteMediaType(type);
            if ((mt.majortype == MEDIATYPE_Video && mt.subtype == MEDIASUBTYPE_DVD_SUBPICTURE) ||
                (mt.majortype == MEDIATYPE_Subtitle && mt.subtype == MEDIASUBTYPE_HDMVSUB)) {
                stream.kind = EngineStream::kSubpicture;
                stream.identifier = named ? static_cast<int>(subId) : -1;
                stream.streamId = named ? TrackId(pid, pesId, subId) : -1;
            } else if (mt.majortype == MEDIATYPE_Video) {
                stream.kind = EngineStream::kVideo;
                if ((mt.formattype == FORMAT_MPEG2_VIDEO || mt.formattype == FORMAT_VideoInfo2) && mt.cbFormat >= sizeof(VIDEOINFOHEADER2)) {
                    const auto* info = reinterpret_cast<const VIDEOINFOHEADER2*>(mt.pbFormat);
                    stream.width = info->bmiHeader.biWidth;
                    stream.height = info->bmiHeader.biHeight;
                    stream.bitRate = static_cast<int>(info->dwBitRate);
                    stream.timePerFrame = info->AvgTimePerFrame;
                } else if (mt.cbFormat >= sizeof(VIDEOINFOHEADER)) {
                    const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat);
                    stream.width = info->bmiHeader.biWidth;
                    stream.height = info->bmiHeader.biHeight;
                    stream.bitRate = static_cast<int>(info->dwBitRate);
                    stream.timePerFrame = info->AvgTimePerFrame;
                }
            } else if (mt.majortype == MEDIATYPE_Audio) {
                stream.kind = EngineStream::kAudio;
                stream.identifier = named ? static_cast<int>(subId) : -1;
                stream.streamId = named ? TrackId(pid, pesId, subId) : -1;
                if (mt.formattype == FORMAT_WaveFormatEx && mt.cbFormat >= sizeof(WAVEFORMATEX)) {
                    const auto* wfe = reinterpret_cast<const WAVEFORMATEX*>(mt.pbFormat);
                    stream.sampleRate = static_cast<int>(wfe->nSamplesPerSec);
                    stream.channels = wfe->nChannels;
                    stream.bitRate = static_cast<int>(wfe->nAvgBytesPerSec * 8);
                }
            }
        }
        streams.push_back(std::move(stream));
    }
    return true;
}

bool EnableStreams(CMpegSplitterFilter* splitter, int audioStreamId, int subtitleId)
{
    std::vector<EngineStream> streams;
    if (!ListStreams(splitter, streams)) return false;
    bool enabled = false;
    const auto enable = [&](EngineStream::Kind kind, int id) {
        if (id == 0) return;
        for (auto it = streams.rbegin(); it != streams.rend(); ++it)
            if (it->kind == kind && it->streamId == id)
                enabled |= SUCCEEDED(splitter->Enable(it->index, AMSTREAMSELECTENABLE_ENABLE));
    };
    enable(EngineStream::kSubpicture, subtitleId);
    enable(EngineStream::kAudio, audioStreamId);
    return enabled;
}

void SetCellTimes(CMpegSplitterFilter* splitter, DiscKind kind, const std::vector<Disc::CellMark>& cells)
{
    if (cells.size() <= 1 || kind != DiscKind::kDvd) return;
    std::vector<SplitterTimeMark> marks;
    for (std::size_t i = 0; i + 1 < cells.size(); ++i)
        marks.push_back({cells[i].position, static_cast<REFERENCE_TIME>(cells[i].ms * 10000)});
    splitter->SetTimeMap(marks.data(), static_cast<int>(marks.size()));
}

bool AddRegisteredFilter(IGraphBuilder* graph, REFCLSID clsid, ComPtr<IBaseFilter>& filter, const char* name,
                         const char* failure, const std::function<void(const char*)>& message)
{
    if (CClassFactory::Instance().CreateInstance(clsid, nullptr, IBaseFilter::iid, filter.PutVoid()) != S_OK) {
        message(failure);
        return false;
    }
    graph->AddFilter(filter.Get(), name);
    return true;
}

bool AddDiscFront(IGraphBuilder* graph, ComPtr<IBaseFilter>& reader, ComPtr<CMpegSplitterFilter>& splitter,
                  const std::function<void(const char*)>& message)
{
    if (!AddNewFilter(graph, &CDVDReader::Create, reader, "Reader", "CLSID_DVDSource error", message)) return false;
    IBaseFilter* raw = nullptr;
    if (FAILED(CMpegSplitterFilter::Create(&raw))) {
        message("CLSID_MpegSplitter error");
        return false;
    }
    splitter = AdoptRef(static_cast<CMpegSplitterFilter*>(raw));
    graph->AddFilter(splitter.Get(), "Splitter");
    return true;
}
