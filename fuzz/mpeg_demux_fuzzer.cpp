// Fuzz target: the MPEG splitter on a memory byte source, from the container scan through the
// demultiplexing loop and the output pins into capturing sinks, with stream selection.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "demux/mpeg_splitter_filter.h"
#include "com/task_memory.h"
#include "graph/class_factory.h"
#include "graph/graph_interfaces.h"
#include "support/harness.h"
#include "support/memory_source.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace testing_filters;
    ComPtr<IGraphBuilder> graph;
    if (CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IGraphBuilder::iid, graph.PutVoid()) != S_OK)
        return 0;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEventEx> events;
    graph.As(control);
    graph.As(events);

    auto source = MemorySourceFilter::Create(std::vector<std::uint8_t>(data, data + size));
    IBaseFilter* raw = nullptr;
    if (CMpegSplitterFilter::Create(&raw) != S_OK) return 0;
    auto splitter = AdoptRef(static_cast<CMpegSplitterFilter*>(raw));
    graph->AddFilter(source.Get(), "Source");
    graph->AddFilter(splitter.Get(), "Splitter");
    if (graph->ConnectDirect(source->GetPin(0), splitter->GetPin(splitter->GetPinCount() - 1), nullptr) == S_OK) {
        std::vector<ComPtr<TestSink>> sinks;
        for (int i = 0; i + 1 < splitter->GetPinCount(); ++i) {
            auto sink = TestSink::Capture();
            graph->AddFilter(sink.Get(), nullptr);
            graph->ConnectDirect(splitter->GetPin(i), sink->Pin(), nullptr);
            sinks.push_back(sink);
        }
        // Every stream's description, then a switch to the last one of its class.
        DWORD count = 0;
        splitter->Count(&count);
        for (DWORD i = 0; i < count; ++i) {
            AM_MEDIA_TYPE* type = nullptr;
            char* name = nullptr;
            splitter->Info(static_cast<LONG>(i), &type, nullptr, nullptr, nullptr, &name, nullptr, nullptr);
            if (type) DeleteMediaType(type);
            CoTaskMemFree(name);
        }
        if (count > 1) splitter->Enable(static_cast<LONG>(count - 1), AMSTREAMSELECTENABLE_ENABLE);
        if (control->Run() == S_OK) {
            LONG code = 0;
            events->WaitForCompletion(20000, &code);
        }
        if (std::getenv("ZUZIDERO_FUZZ_VERBOSE")) {
            for (std::size_t i = 0; i < sinks.size(); ++i)
                std::fprintf(stderr, "pin %zu: %zu samples, %zu bytes\n", i, sinks[i]->Samples().size(), sinks[i]->Bytes().size());
        }
        control->Stop();
    }
    return 0;
}
