// Decodes the video of an MPEG file and converts every picture as a conversion does: 720 × 480
// to 640 × 480 (bicubic) with luma gain, hue rotation and chroma gain, into a sink that only
// counts. Prints pictures and pictures per second; bench/video.sh runs it against ffmpeg.
//
// Usage: bench_video FILE [PASSES]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "convert/video_conversion_filter.h"
#include "demux/mpeg_splitter_filter.h"
#include "pipeline/event_codes.h"
#include "decode/video_decoder_filter.h"
#include "graph/class_factory.h"
#include "graph/graph_interfaces.h"
#include "support/file_source.h"
#include "support/harness.h"

namespace {

using namespace testing_filters;

std::int64_t DecodeAndConvert(const std::string& path)
{
    ComPtr<IGraphBuilder> graph;
    if (CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IGraphBuilder::iid, graph.PutVoid()) != S_OK)
        return -1;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEventEx> events;
    ComPtr<IMediaFilter> timing;
    graph.As(control);
    graph.As(events);
    graph.As(timing);
    timing->SetSyncSource(nullptr);

    auto source = FileSourceFilter::Create(path);
    if (!source) return -1;
    IBaseFilter* raw = nullptr;
    CMpegSplitterFilter::Create(&raw);
    auto splitter = AdoptRef(static_cast<CMpegSplitterFilter*>(raw));
    ComPtr<IBaseFilter> decoder;
    CClassFactory::Instance().CreateInstance(CLSID_MpegVideoDecoder, nullptr, IBaseFilter::iid, decoder.PutVoid());
    ComPtr<CMyVideoConveFilter> convert;
    CMyVideoConveFilter::Create(convert.Put());
    TestSink::Options options;
    options.record = false;
    auto sink = TestSink::Create(options);
    graph->AddFilter(source.Get(), "Reader");
    graph->AddFilter(splitter.Get(), "Splitter");
    graph->AddFilter(decoder.Get(), "VideoDecoder");
    graph->AddFilter(convert.Get(), "VideoConver");
    graph->AddFilter(sink.Get(), "Sink");
    auto* decoderFilter = static_cast<CBaseFilter*>(decoder.Get());
    if (FAILED(graph->ConnectDirect(source->GetPin(0), splitter->GetPin(splitter->GetPinCount() - 1), nullptr)) ||
        FAILED(graph->ConnectDirect(splitter->GetPin(0), decoderFilter->GetPin(0), nullptr)))
        return -1;
    convert->SetRects(1, 0, 0, 720, 480, 0, 0, 640, 480);
    convert->SetBrightness(141); // +10 %
    convert->SetSaturation(77);  // × 1.2
    convert->SetHue(30);
    if (FAILED(graph->ConnectDirect(decoderFilter->GetPin(2), convert->GetPin(0), nullptr)) ||
        FAILED(graph->ConnectDirect(convert->GetPin(1), sink->Pin(), nullptr)))
        return -1;
    LONG code = 0;
    if (control->Run() != S_OK || events->WaitForCompletion(INFINITE, &code) != S_OK) return -1;
    control->Stop();
    return sink->Received();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE [PASSES]\n", argv[0]);
        return 2;
    }
    RegisterPlatformDecoders();
    const int passes = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
    double best = 0;
    for (int i = 0; i < passes; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const std::int64_t pictures = DecodeAndConvert(argv[1]);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (pictures <= 0) {
            std::fprintf(stderr, "nothing decoded from %s\n", argv[1]);
            return 1;
        }
        best = std::max(best, static_cast<double>(pictures) / seconds);
        std::printf("pass %d: %lld pictures, %.3f s, %.1f fps\n", i + 1, static_cast<long long>(pictures), seconds,
                    static_cast<double>(pictures) / seconds);
    }
    std::printf("best %.1f fps\n", best);
    return 0;
}
