// Samples per second from a source through one transform to a sink, with 1 and with 8 buffers
// per allocator, against a hand-written chain doing the same work. The ratio of the two is the
// cost of the framework (pins, samples, allocators, state checks) per sample.

#include <benchmark/benchmark.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "pipeline/event_codes.h"
#include "graph/class_factory.h"
#include "graph/graph_interfaces.h"
#include "support/harness.h"

namespace {

using namespace testing_filters;

constexpr std::int64_t kSamples = 20'000;
constexpr int kWidth = 16;
constexpr int kHeight = 16;

void PipelineThroughTransform(benchmark::State& state)
{
    const auto buffers = static_cast<LONG>(state.range(0));
    ComPtr<IGraphBuilder> graph;
    CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IGraphBuilder::iid, graph.PutVoid());
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEventEx> events;
    ComPtr<IMediaFilter> graphFilter;
    graph.As(control);
    graph.As(events);
    graph.As(graphFilter);
    graphFilter->SetSyncSource(nullptr);

    auto source = TestSource::Create({.sampleCount = kSamples, .bufferCount = buffers, .width = kWidth, .height = kHeight});
    auto transform = TestTransform::Create(false, buffers);
    auto sink = TestSink::Create({.record = false});
    graph->AddFilter(source.Get(), "Source");
    graph->AddFilter(transform.Get(), "Transform");
    graph->AddFilter(sink.Get(), "Sink");
    graph->ConnectDirect(source->Pin(), transform->GetPin(0), nullptr);
    graph->ConnectDirect(transform->GetPin(1), sink->Pin(), nullptr);
    ComPtr<IMediaSeeking> seeking;
    QueryInterfaceTo(source->Pin(), seeking);

    for (auto _ : state) {
        LONGLONG start = 0;
        seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
        control->Run();
        LONG code = 0;
        events->WaitForCompletion(-1, &code);
        control->Stop();
        LONG_PTR p1 = 0, p2 = 0;
        while (events->GetEvent(&code, &p1, &p2, 0) == S_OK) {
        }
    }
    state.SetItemsProcessed(state.iterations() * kSamples);
}

// The peer: the same chain written by hand. A worker thread takes a buffer from a locked pool
// of `buffers`, writes the index, takes a second buffer from another pool, copies, hands the copy
// to the consumer through a virtual call and gives both buffers back, as the source, the
// transform and the sink do on the source's streaming thread.
class Pool {
public:
    Pool(int count, std::size_t size) : m_storage(static_cast<std::size_t>(count), std::vector<unsigned char>(size))
    {
        for (auto& b : m_storage) m_free.push_back(b.data());
    }
    unsigned char* Get()
    {
        std::unique_lock lock(m_lock);
        m_cv.wait(lock, [this] { return !m_free.empty(); });
        auto* b = m_free.back();
        m_free.pop_back();
        return b;
    }
    void Put(unsigned char* b)
    {
        {
            std::lock_guard lock(m_lock);
            m_free.push_back(b);
        }
        m_cv.notify_one();
    }

private:
    std::vector<std::vector<unsigned char>> m_storage;
    std::vector<unsigned char*> m_free;
    std::mutex m_lock;
    std::condition_variable m_cv;
};

struct Consumer {
    virtual ~Consumer() = default;
    virtual void Take(const unsigned char* data) = 0;
};

struct CountingConsumer final : Consumer {
    void Take(const unsigned char* data) override
    {
        std::int64_t index;
        std::memcpy(&index, data, sizeof index);
        benchmark::DoNotOptimize(index);
        ++count;
    }
    std::int64_t count = 0;
};

void PlainChainPeer(benchmark::State& state)
{
    const int buffers = static_cast<int>(state.range(0));
    const std::size_t size = kWidth * kHeight * 3 / 2;
    Pool first(buffers, size);
    Pool second(buffers, size);
    CountingConsumer consumer;
    Consumer* sink = &consumer;
    for (auto _ : state) {
        std::thread worker([&] {
            for (std::int64_t i = 0; i < kSamples; ++i) {
                unsigned char* in = first.Get();
                std::memcpy(in, &i, sizeof i);
                unsigned char* out = second.Get();
                std::memcpy(out, in, size);
                sink->Take(out);
                second.Put(out);
                first.Put(in);
            }
        });
        worker.join();
    }
    benchmark::DoNotOptimize(consumer.count);
    state.SetItemsProcessed(state.iterations() * kSamples);
}

BENCHMARK(PipelineThroughTransform)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(PlainChainPeer)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
