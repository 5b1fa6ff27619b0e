// Demultiplexes a file with the MPEG splitter, every output pin into a sink that only counts,
// and prints the throughput. bench/demux.sh runs it against ffmpeg's demuxer.
//
// Usage: bench_demux FILE [PASSES]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "demux/mpeg_splitter_filter.h"
#include "pipeline/event_codes.h"
#include "graph/class_factory.h"
#include "graph/graph_interfaces.h"
#include "support/file_source.h"
#include "support/harness.h"

namespace {

using namespace testing_filters;

// One pass over the file; false when the splitter does not take it.
bool Demultiplex(const std::string& path, std::int64_t* samples)
{
    ComPtr<IGraphBuilder> graph;
    if (CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IGraphBuilder::iid, graph.PutVoid()) != S_OK)
        return false;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEventEx> events;
    ComPtr<IMediaFilter> timing;
    graph.As(control);
    graph.As(events);
    graph.As(timing);
    timing->SetSyncSource(nullptr); // as fast as it goes

    auto source = FileSourceFilter::Create(path);
    if (!source) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        return false;
    }
    IBaseFilter* raw = nullptr;
    CMpegSplitterFilter::Create(&raw);
    auto splitter = AdoptRef(static_cast<CMpegSplitterFilter*>(raw));
    graph->AddFilter(source.Get(), "Source");
    graph->AddFilter(splitter.Get(), "Splitter");
    const HRESULT hr = graph->ConnectDirect(source->GetPin(0), splitter->GetPin(splitter->GetPinCount() - 1), nullptr);
    if (FAILED(hr)) {
        std::fprintf(stderr, "the splitter refuses %s: %s\n", path.c_str(), HResultName(hr));
        return false;
    }
    TestSink::Options options;
    options.record = false;
    std::vector<ComPtr<TestSink>> sinks;
    for (int i = 0; i + 1 < splitter->GetPinCount(); ++i) {
        auto sink = TestSink::Create(options);
        graph->AddFilter(sink.Get(), nullptr);
        graph->ConnectDirect(splitter->GetPin(i), sink->Pin(), nullptr);
        sinks.push_back(sink);
    }
    LONG code = 0;
    if (control->Run() != S_OK || events->WaitForCompletion(INFINITE, &code) != S_OK || code != EC_COMPLETE) return false;
    control->Stop();
    for (const auto& sink : sinks) *samples += sink->Received();
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE [PASSES]\n", argv[0]);
        return 2;
    }
    const std::string path = argv[1];
    const int passes = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
    HRESULT hr = S_OK;
    CAsyncFileReader probe(path.c_str(), hr);
    LONGLONG size = 0;
    probe.Length(&size, nullptr);
    double best = 0;
    for (int i = 0; i < passes; ++i) {
        std::int64_t samples = 0;
        const auto start = std::chrono::steady_clock::now();
        if (!Demultiplex(path, &samples)) return 1;
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double rate = static_cast<double>(size) / 1e6 / seconds;
        best = std::max(best, rate);
        std::printf("pass %d: %lld bytes, %lld samples, %.4f s, %.1f MB/s\n", i + 1, static_cast<long long>(size),
                    static_cast<long long>(samples), seconds, rate);
    }
    std::printf("best %.1f MB/s\n", best);
    return 0;
}
