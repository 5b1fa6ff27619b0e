// A source pushes 100 000 timed pictures through a transform and the tee into two sinks, one of
// them slow, with small allocators for back-pressure, through cycles of run, pause, seek and
// stop. Everything handed out must come back, and the last segment must arrive whole and in
// order on both branches.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "pipeline/event_codes.h"
#include "pipeline/my_tee_filter.h"
#include "graph/class_factory.h"
#include "graph/graph_interfaces.h"
#include "support/harness.h"

namespace {

using namespace testing_filters;

constexpr std::int64_t kSamples = 100'000;
constexpr REFERENCE_TIME kFrame = 400000;

// Waits for the streams to get somewhere (the limit only ends a test that hangs).
void WaitUntil(const std::function<bool()>& done, std::chrono::seconds limit = std::chrono::seconds(60))
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
}

TEST(ThreadedPipeline, SamplesSurviveRunPauseSeekStopCyclesThroughATee)
{
    const LiveCounts before = LiveCounts::Now();
    std::atomic<int> completions{0};
    std::int64_t lastSegmentFirst = 0;
    {
        ComPtr<IGraphBuilder> graph;
        ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IGraphBuilder::iid, graph.PutVoid()),
                  S_OK);
        ComPtr<IMediaControl> control;
        ComPtr<IMediaEventEx> events;
        ComPtr<IMediaFilter> graphFilter;
        graph.As(control);
        graph.As(events);
        graph.As(graphFilter);
        ASSERT_EQ(graphFilter->SetSyncSource(nullptr), S_OK); // unpaced, as a conversion runs

        auto source = TestSource::Create({.sampleCount = kSamples, .frameDuration = kFrame, .bufferCount = 3});
        auto transform = TestTransform::Create(false, 2);
        IBaseFilter* teeRaw = nullptr;
        ASSERT_EQ(CMyTeeFilter::Create(&teeRaw), S_OK);
        auto tee = AdoptRef(static_cast<CMyTeeFilter*>(teeRaw));
        auto fast = TestSink::Create();
        auto slow = TestSink::Create({.delayEvery = 64, .delayMicroseconds = 500});
        graph->AddFilter(source.Get(), "Source");
        graph->AddFilter(transform.Get(), "Transform");
        graph->AddFilter(tee.Get(), "Tee");
        graph->AddFilter(fast.Get(), "Fast");
        graph->AddFilter(slow.Get(), "Slow");
        ASSERT_EQ(graph->ConnectDirect(source->Pin(), transform->GetPin(0), nullptr), S_OK);
        ASSERT_EQ(graph->ConnectDirect(transform->GetPin(1), tee->GetPin(0), nullptr), S_OK);
        ASSERT_EQ(graph->ConnectDirect(tee->GetPin(1), fast->Pin(), nullptr), S_OK);
        ASSERT_EQ(graph->ConnectDirect(tee->GetPin(2), slow->Pin(), nullptr), S_OK);

        events->SetNotifyCallback([&] {
            // Runs on a streaming thread; count completions only.
            ++completions;
        });

        ComPtr<IMediaSeeking> seeking;
        ASSERT_EQ(QueryInterfaceTo(source->Pin(), seeking), S_OK);
        auto seekTo = [&](std::int64_t index) {
            LONGLONG position = index * kFrame;
            ASSERT_EQ(seeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr,
                                            AM_SEEKING_NoPositioning),
                      S_OK);
        };

        // Cycles that interrupt the stream at every stage.
        const std::int64_t seekTargets[] = {50'000, 10, 99'990, 1234, 70'000, 3};
        for (std::int64_t target : seekTargets) {
            ASSERT_EQ(control->Run(), S_OK);
            const std::int64_t seen = slow->Received();
            WaitUntil([&] { return slow->Received() > seen + 200 || slow->EndOfStreams() > 0; });
            ASSERT_EQ(control->Pause(), S_OK);
            seekTo(target); // while paused: flush and a new segment
            ASSERT_EQ(control->Run(), S_OK);
            const std::int64_t resumed = slow->Received();
            WaitUntil([&] { return slow->Received() > resumed + 5 || slow->EndOfStreams() > 0; });
            seekTo(target + 7); // while running
            const std::int64_t sought = slow->Received();
            WaitUntil([&] { return slow->Received() > sought + 5 || slow->EndOfStreams() > 0; });
            ASSERT_EQ(control->Stop(), S_OK);
        }

        // The last run: from the start to the end of the stream, with the events of the cycles
        // cleared away.
        {
            LONG code = 0;
            LONG_PTR p1 = 0, p2 = 0;
            while (events->GetEvent(&code, &p1, &p2, 0) == S_OK) {
            }
        }
        const int fastEnds = fast->EndOfStreams();
        const int slowEnds = slow->EndOfStreams();
        completions = 0;
        lastSegmentFirst = 0;
        seekTo(lastSegmentFirst);
        ASSERT_EQ(control->Run(), S_OK);
        LONG code = 0;
        ASSERT_EQ(events->WaitForCompletion(600'000, &code), S_OK);
        EXPECT_EQ(code, EC_COMPLETE);
        ASSERT_EQ(control->Stop(), S_OK);

        for (TestSink* sink : {fast.Get(), slow.Get()}) {
            const auto indices = sink->SegmentIndices();
            const auto times = sink->SegmentTimes();
            ASSERT_EQ(indices.size(), static_cast<std::size_t>(kSamples - lastSegmentFirst));
            for (std::size_t i = 0; i < indices.size(); ++i) {
                ASSERT_EQ(indices[i], lastSegmentFirst + static_cast<std::int64_t>(i)) << "at " << i;
                ASSERT_EQ(times[i], static_cast<REFERENCE_TIME>(i) * kFrame) << "at " << i;
            }
        }
        EXPECT_GE(source->Delivered(), kSamples);
        // A picture caught by a flush or a stop is transformed but refused downstream, so the
        // source does not count it: at most one per interruption (two seeks and a stop a cycle,
        // and the last seek).
        EXPECT_GE(transform->Transformed(), source->Delivered());
        EXPECT_LE(transform->Transformed() - source->Delivered(), 3 * std::ssize(seekTargets) + 1);

        // One EC_COMPLETE, once both sinks ended.
        EXPECT_EQ(fast->EndOfStreams(), fastEnds + 1);
        EXPECT_EQ(slow->EndOfStreams(), slowEnds + 1);
        LONG_PTR p1 = 0, p2 = 0;
        int completes = 0;
        while (events->GetEvent(&code, &p1, &p2, 0) == S_OK) completes += code == EC_COMPLETE;
        EXPECT_EQ(completes, 1);
        EXPECT_EQ(completions.load(), 1);
        events->SetNotifyCallback(nullptr);
    }
    EXPECT_EQ(LiveCounts::Now(), before) << "a sample, allocator, filter or thread was left alive";
}

} // namespace
