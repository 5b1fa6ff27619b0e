// Fuzz target: the splitter output pin's reshaping of AAC, H.264 and VC-1 packets into frames,
// with its time-stamp repair and packet queue, fed by a splitter that cuts the input into
// packets and delivers them to a capturing sink.
//
// Input: one byte choosing the stream (AAC, H.264, VC-1), then records of a 16-bit length, a
// flag byte (1 time stamp, 2 discontinuity, 4 sync point, 8 media type, 16 a jump of 10 s) and
// that many bytes of payload.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "demux/base_splitter_filter.h"
#include "demux/mpeg_splitter_output_pin.h"
#include "pipeline/format_blocks.h"
#include "pipeline/media_guids.h"
#include "graph/class_factory.h"
#include "graph/graph_interfaces.h"
#include "support/harness.h"
#include "support/memory_source.h"

namespace {

CMediaType StreamType(std::uint8_t choice)
{
    CMediaType mt;
    switch (choice % 3) {
    case 0: {
        mt.majortype = MEDIATYPE_Audio;
        mt.subtype = MEDIASUBTYPE_AAC;
        mt.formattype = FORMAT_WaveFormatEx;
        auto* wfe = reinterpret_cast<WAVEFORMATEX*>(mt.AllocFormatBuffer(sizeof(WAVEFORMATEX)));
        wfe->wFormatTag = 0xFF;
        wfe->nChannels = 2;
        wfe->nSamplesPerSec = 48000;
        break;
    }
    case 1: {
        mt.majortype = MEDIATYPE_Video;
        mt.subtype = MEDIASUBTYPE_AVC1;
        mt.formattype = FORMAT_MPEG2_VIDEO;
        auto* info = reinterpret_cast<MPEG2VIDEOINFO*>(mt.AllocFormatBuffer(sizeof(MPEG2VIDEOINFO)));
        info->hdr.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info->dwFlags = 4;
        break;
    }
    default: {
        mt.majortype = MEDIATYPE_Video;
        mt.subtype = MEDIASUBTYPE_WVC1;
        mt.formattype = FORMAT_VideoInfo;
        auto* info = reinterpret_cast<VIDEOINFOHEADER*>(mt.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
        info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        break;
    }
    }
    return mt;
}

class RecordSplitter : public CBaseSplitterFilter {
public:
    RecordSplitter(const std::uint8_t* data, std::size_t size, HRESULT* phr)
        : CBaseSplitterFilter("RecordSplitter", nullptr, phr, GUID_NULL), m_data(data), m_size(size)
    {
    }
    ~RecordSplitter() override { EndDemuxThread(); }

    HRESULT BuildOutputPins(IAsyncReader*) override
    {
        m_type = StreamType(m_data[0]);
        HRESULT hr = S_OK;
        CAutoLock lock(&m_csFilter);
        AddOutputPin(1, std::make_unique<CMpegSplitterOutputPin>(std::vector<CMediaType>{m_type}, "Output", this,
                                                                 &m_csFilter, &hr));
        return hr;
    }
    void SeekDemux(REFERENCE_TIME) override {}
    void RunDemux() override
    {
        std::size_t at = 1;
        REFERENCE_TIME time = 0;
        while (at + 3 <= m_size && !CommandPending()) {
            const std::size_t length = std::min<std::size_t>((m_data[at] << 8) | m_data[at + 1], m_size - at - 3);
            const std::uint8_t flags = m_data[at + 2];
            at += 3;
            PacketPtr packet = Pool().Take();
            packet->streamId = 1;
            time += (flags & 16) ? 100000000 : 400000;
            if (flags & 1) {
                packet->start = time;
                packet->stop = time + 1;
            }
            packet->appendable = !(flags & 1);
            packet->discontinuity = (flags & 2) != 0;
            packet->syncPoint = (flags & 4) != 0;
            if (flags & 8) packet->mediaType = std::make_unique<CMediaType>(m_type);
            packet->data.assign(m_data + at, m_data + at + length);
            at += length;
            if (FAILED(DeliverPacket(std::move(packet)))) break;
        }
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    CMediaType m_type;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace testing_filters;
    if (size < 1) return 0;
    ComPtr<IGraphBuilder> graph;
    if (CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IGraphBuilder::iid, graph.PutVoid()) != S_OK)
        return 0;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEventEx> events;
    graph.As(control);
    graph.As(events);

    auto source = MemorySourceFilter::Create(std::vector<std::uint8_t>(16, 0));
    HRESULT hr = S_OK;
    ComPtr<RecordSplitter> splitter(new RecordSplitter(data, size, &hr));
    auto sink = TestSink::Capture();
    graph->AddFilter(source.Get(), "Source");
    graph->AddFilter(splitter.Get(), "Splitter");
    graph->AddFilter(sink.Get(), "Sink");
    if (graph->ConnectDirect(source->GetPin(0), splitter->GetPin(splitter->GetPinCount() - 1), nullptr) == S_OK &&
        graph->ConnectDirect(splitter->GetPin(0), sink->Pin(), nullptr) == S_OK && control->Run() == S_OK) {
        LONG code = 0;
        events->WaitForCompletion(20000, &code);
        if (std::getenv("ZUZIDERO_FUZZ_VERBOSE"))
            std::fprintf(stderr, "%zu samples, %zu bytes\n", sink->Samples().size(), sink->Bytes().size());
    }
    control->Stop();
    return 0;
}
