#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "pipeline/event_codes.h"
#include "pipeline/media_guids.h"
#include "pipeline/mem_allocator.h"
#include "support/graph_fixture.h"

namespace {

using namespace testing_filters;

struct Event {
    LONG code;
    LONG_PTR param1;
};

class FilterTest : public GraphFixture {
protected:
    void Add(IBaseFilter* filter, const char* name) { ASSERT_TRUE(SUCCEEDED(m_graph->AddFilter(filter, name))); }
    // Every event queued so far, without waiting.
    std::vector<Event> DrainEvents(LONG firstWaitMs = 0)
    {
        std::vector<Event> events;
        LONG code = 0;
        LONG_PTR p1 = 0, p2 = 0;
        LONG wait = firstWaitMs;
        while (m_events->GetEvent(&code, &p1, &p2, wait) == S_OK) {
            events.push_back({code, p1});
            m_events->FreeEventParams(code, p1, p2);
            wait = 0;
        }
        return events;
    }
    static int Count(const std::vector<Event>& events, LONG code)
    {
        int n = 0;
        for (const auto& e : events) n += e.code == code;
        return n;
    }

};

TEST_F(FilterTest, TransformPinsAreNamedAndFound)
{
    auto transform = TestTransform::Create();
    EXPECT_EQ(transform->GetPinCount(), 2);
    ComPtr<IPin> in, out, none;
    EXPECT_EQ(transform->FindPin("XForm In", in.Put()), S_OK);
    EXPECT_EQ(transform->FindPin("XForm Out", out.Put()), S_OK);
    EXPECT_EQ(transform->FindPin("Nowhere", none.Put()), VFW_E_NOT_FOUND);
    PIN_DIRECTION dir;
    out->QueryDirection(&dir);
    EXPECT_EQ(dir, PINDIR_OUTPUT);
    CLSID clsid{};
    EXPECT_EQ(transform->GetClassID(&clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_TestTransform);
    ComPtr<IMemInputPin> notAnInput;
    EXPECT_EQ(out.As(notAnInput), E_NOINTERFACE);
}

TEST_F(FilterTest, TransformOutputBeforeInputFailsWithUnexpected)
{
    auto transform = TestTransform::Create();
    auto sink = TestSink::Create();
    Add(transform.Get(), "Transform");
    Add(sink.Get(), "Sink");
    IPin* out = transform->GetPin(1);
    EXPECT_EQ(out->Connect(sink->Pin(), nullptr), E_UNEXPECTED);
    EXPECT_EQ(m_graph->ConnectDirect(out, sink->Pin(), nullptr), E_UNEXPECTED);
    EXPECT_FALSE(sink->Pin()->IsConnected());

    // No types are offered and every type is refused until the input is connected.
    ComPtr<IEnumMediaTypes> types;
    ASSERT_EQ(out->EnumMediaTypes(types.Put()), S_OK);
    AM_MEDIA_TYPE* type = nullptr;
    ULONG fetched = 7;
    EXPECT_EQ(types->Next(1, &type, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    CMediaType yv12 = MakeYv12Type(16, 16);
    EXPECT_EQ(transform->OutputPin()->CheckMediaType(&yv12), E_INVALIDARG);
    EXPECT_EQ(transform->OutputPin()->GetMediaType(0, &yv12), VFW_S_NO_MORE_ITEMS);
}

TEST_F(FilterTest, ConnectionProtocolRefusals)
{
    auto source = TestSource::Create({.sampleCount = 10});
    auto transform = TestTransform::Create();
    auto sink = TestSink::Create();
    Add(source.Get(), "Source");
    Add(transform.Get(), "Transform");
    Add(sink.Get(), "Sink");

    // Two outputs cannot connect.
    EXPECT_EQ(source->Pin()->Connect(transform->GetPin(1), nullptr), VFW_E_INVALID_DIRECTION);
    // A fully given type the receiver refuses fails with that refusal.
    CMediaType audio(&MEDIATYPE_Audio);
    audio.formattype = FORMAT_WaveFormatEx;
    EXPECT_EQ(source->Pin()->Connect(transform->GetPin(0), &audio), VFW_E_TYPE_NOT_ACCEPTED);
    // A partial type that matches nothing offered finds no acceptable type.
    CMediaType partial(&MEDIATYPE_Audio);
    EXPECT_EQ(source->Pin()->Connect(transform->GetPin(0), &partial), VFW_E_NO_ACCEPTABLE_TYPES);

    ASSERT_EQ(m_graph->ConnectDirect(source->Pin(), transform->GetPin(0), nullptr), S_OK);
    EXPECT_EQ(source->Pin()->Connect(sink->Pin(), nullptr), VFW_E_ALREADY_CONNECTED);
    ASSERT_EQ(m_graph->ConnectDirect(transform->GetPin(1), sink->Pin(), nullptr), S_OK);
    EXPECT_TRUE(transform->OutputPin()->CurrentMediaType() == MakeYv12Type(16, 16));

    ASSERT_EQ(m_control->Pause(), S_OK);
    EXPECT_EQ(sink->Pin()->Disconnect(), VFW_E_NOT_STOPPED);
    ASSERT_EQ(m_control->Stop(), S_OK);
    EXPECT_EQ(sink->Pin()->Disconnect(), S_OK);
    EXPECT_EQ(sink->Pin()->Disconnect(), S_FALSE);
}

TEST_F(FilterTest, TransformThatSkipsEverySampleSendsOneQualityChangeAndDeliversNothing)
{
    auto source = TestSource::Create({.sampleCount = 50});
    auto transform = TestTransform::Create(/*skipAll=*/true);
    auto sink = TestSink::Create();
    Add(source.Get(), "Source");
    Add(transform.Get(), "Transform");
    Add(sink.Get(), "Sink");
    ASSERT_EQ(m_graph->ConnectDirect(source->Pin(), transform->GetPin(0), nullptr), S_OK);
    ASSERT_EQ(m_graph->ConnectDirect(transform->GetPin(1), sink->Pin(), nullptr), S_OK);

    ASSERT_EQ(m_control->Run(), S_OK);
    LONG code = 0;
    ASSERT_EQ(m_events->WaitForCompletion(10000, &code), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    const auto events = DrainEvents();
    EXPECT_EQ(Count(events, EC_QUALITY_CHANGE), 1);
    EXPECT_EQ(Count(events, EC_COMPLETE), 1);
    EXPECT_EQ(sink->Received(), 0);
    EXPECT_EQ(source->Delivered(), 50); // every receive succeeded
}

TEST_F(FilterTest, TransformCarriesTimesToTheSink)
{
    auto source = TestSource::Create({.sampleCount = 30});
    auto transform = TestTransform::Create();
    auto sink = TestSink::Create();
    Add(source.Get(), "Source");
    Add(transform.Get(), "Transform");
    Add(sink.Get(), "Sink");
    ASSERT_EQ(m_graph->ConnectDirect(source->Pin(), transform->GetPin(0), nullptr), S_OK);
    ASSERT_EQ(m_graph->ConnectDirect(transform->GetPin(1), sink->Pin(), nullptr), S_OK);
    ASSERT_EQ(m_control->Run(), S_OK);
    LONG code = 0;
    ASSERT_EQ(m_events->WaitForCompletion(10000, &code), S_OK);
    ASSERT_EQ(m_control->Stop(), S_OK);
    const auto indices = sink->SegmentIndices();
    const auto times = sink->SegmentTimes();
    ASSERT_EQ(indices.size(), 30u);
    for (std::size_t i = 0; i < indices.size(); ++i) {
        EXPECT_EQ(indices[i], static_cast<std::int64_t>(i));
        EXPECT_EQ(times[i], static_cast<REFERENCE_TIME>(i) * 400000);
    }
    EXPECT_EQ(sink->EndOfStreams(), 1);
}

// Waits for the sink to have received `count` samples, and no more.
bool ReceivedReaches(TestSink& sink, std::int64_t count) { return sink.WaitForReceived(count) && sink.Received() == count; }

TEST_F(FilterTest, OnATestClockEachPictureIsPresentedWhenItsTimeComesAndAPauseHoldsTheStreamTime)
{
    auto clock = TestClock::Create();
    clock->SetTime(10000000);
    auto source = TestSource::Create({.sampleCount = 6}); // 40 ms each
    auto sink = TestSink::Create({.presentByClock = true});
    Add(source.Get(), "Source");
    Add(sink.Get(), "Sink");
    ASSERT_EQ(m_graph->ConnectDirect(source->Pin(), sink->Pin(), nullptr), S_OK);
    ComPtr<IMediaFilter> timing;
    ASSERT_EQ(m_graph.As(timing), S_OK);
    ASSERT_EQ(timing->SetSyncSource(clock.Get()), S_OK);

    ASSERT_EQ(m_control->Run(), S_OK); // the stream starts 10 ms from now
    // The sink holds picture 0 for its time: nothing is presented until the clock moves.
    ASSERT_TRUE(clock->WaitForAdvises(1));
    EXPECT_EQ(sink->Received(), 0) << "presented before the clock moved";
    clock->Advance(100000);
    EXPECT_TRUE(ReceivedReaches(*sink, 1));
    ASSERT_TRUE(clock->WaitForAdvises(2)); // picture 1 held for its time
    clock->Advance(399999);                // just short of it: its advise does not fire
    EXPECT_EQ(clock->Waiting(), 1u);
    EXPECT_EQ(sink->Received(), 1);
    clock->Advance(1);
    EXPECT_TRUE(ReceivedReaches(*sink, 2));

    // Paused at stream time 40 ms: however far the clock goes, nothing more is presented; run
    // again, the stream goes on from where it stood.
    ASSERT_TRUE(clock->WaitForAdvises(3)); // picture 2 held for its time
    ASSERT_EQ(m_control->Pause(), S_OK);
    clock->Advance(50000000); // a paused sink looks at the clock no more
    EXPECT_EQ(sink->Received(), 2);
    ASSERT_EQ(m_control->Run(), S_OK);
    ASSERT_TRUE(clock->WaitForAdvises(4)); // held again, for its time in the new run
    clock->Advance(100000 + 399999);
    EXPECT_EQ(clock->Waiting(), 1u);
    EXPECT_EQ(sink->Received(), 2);
    clock->Advance(1);
    EXPECT_TRUE(ReceivedReaches(*sink, 3));
    ASSERT_EQ(m_control->Stop(), S_OK);
    EXPECT_EQ(clock->Waiting(), 0u) << "an advise outlived the stop";
}

TEST_F(FilterTest, SampleDuringFlushIsRefusedWithFalseAndNotCounted)
{
    auto sink = TestSink::Create();
    ComPtr<IMemAllocator> allocator;
    ASSERT_EQ(CMemAllocator::Create(allocator.Put()), S_OK);
    ALLOCATOR_PROPERTIES request{1, 64, 1, 0}, actual{};
    allocator->SetProperties(&request, &actual);
    allocator->Commit();
    IMediaSample* sample = nullptr;
    ASSERT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
    auto owned = AdoptRef(sample);

    ASSERT_EQ(sink->Pause(), S_OK);
    ASSERT_EQ(sink->Pin()->BeginFlush(), S_OK);
    EXPECT_EQ(sink->Pin()->Receive(sample), S_FALSE);
    EXPECT_EQ(sink->Received(), 0);
    ASSERT_EQ(sink->Pin()->EndFlush(), S_OK);
    EXPECT_EQ(sink->Pin()->Receive(sample), S_OK);
    EXPECT_EQ(sink->Received(), 1);

    ASSERT_EQ(sink->Stop(), S_OK);
    EXPECT_EQ(sink->Pin()->Receive(sample), VFW_E_WRONG_STATE);
    owned = nullptr;
    allocator->Decommit();
}

TEST_F(FilterTest, EndOfStreamWhileStoppedIsTheWrongState)
{
    auto source = TestSource::Create({.sampleCount = 5});
    auto transform = TestTransform::Create();
    auto sink = TestSink::Create();
    Add(source.Get(), "Source");
    Add(transform.Get(), "Transform");
    Add(sink.Get(), "Sink");
    ASSERT_EQ(m_graph->ConnectDirect(source->Pin(), transform->GetPin(0), nullptr), S_OK);
    ASSERT_EQ(m_graph->ConnectDirect(transform->GetPin(1), sink->Pin(), nullptr), S_OK);
    EXPECT_EQ(transform->GetPin(0)->EndOfStream(), VFW_E_WRONG_STATE);
    EXPECT_EQ(sink->EndOfStreams(), 0);
}

TEST_F(FilterTest, SeekWithTheSeekingInputUnconnectedReachesNoSource)
{
    auto source = TestSource::Create({.sampleCount = 5});
    auto transform = TestTransform::Create();
    Add(source.Get(), "Source");
    Add(transform.Get(), "Transform");

    ComPtr<IMediaSeeking> seeking;
    ASSERT_EQ(QueryInterfaceTo(transform->GetPin(1), seeking), S_OK);
    LONGLONG position = 2 * 400000;
    EXPECT_EQ(seeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning),
              VFW_E_NOT_CONNECTED);
    LONGLONG duration = 0;
    EXPECT_EQ(seeking->GetDuration(&duration), VFW_E_NOT_CONNECTED);
    ComPtr<IMediaPosition> position2;
    ASSERT_EQ(QueryInterfaceTo(transform->GetPin(1), position2), S_OK);
    EXPECT_EQ(position2->put_CurrentPosition(1.0), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(source->Pin()->SeekCount(), 0);

    // Connected, the same calls reach the source.
    ASSERT_EQ(m_graph->ConnectDirect(source->Pin(), transform->GetPin(0), nullptr), S_OK);
    EXPECT_EQ(seeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning),
              S_OK);
    EXPECT_EQ(seeking->GetDuration(&duration), S_OK);
    EXPECT_EQ(duration, 5 * 400000);
    REFTIME seconds = 0;
    EXPECT_EQ(position2->get_Duration(&seconds), S_OK);
    EXPECT_DOUBLE_EQ(seconds, 0.2);
    EXPECT_EQ(source->Pin()->SeekCount(), 1);
}

TEST_F(FilterTest, RefusedAttachedTypeAbortsTheStream)
{
    auto sink = TestSink::Create({.onlyMajorType = MEDIATYPE_Video});
    Add(sink.Get(), "Sink");
    ComPtr<IMemAllocator> allocator;
    ASSERT_EQ(CMemAllocator::Create(allocator.Put()), S_OK);
    ALLOCATOR_PROPERTIES request{1, 64, 1, 0}, actual{};
    allocator->SetProperties(&request, &actual);
    allocator->Commit();
    IMediaSample* sample = nullptr;
    ASSERT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
    auto owned = AdoptRef(sample);
    CMediaType audio(&MEDIATYPE_Audio);
    sample->SetMediaType(&audio);

    ASSERT_EQ(sink->Pause(), S_OK);
    EXPECT_EQ(sink->Pin()->Receive(sample), VFW_E_INVALIDMEDIATYPE);
    const auto events = DrainEvents();
    ASSERT_EQ(Count(events, EC_ERRORABORT), 1);
    for (const auto& e : events) {
        if (e.code == EC_ERRORABORT) {
            EXPECT_EQ(e.param1, VFW_E_TYPE_NOT_ACCEPTED);
        }
    }
    sample->SetMediaType(nullptr);
    EXPECT_EQ(sink->Pin()->Receive(sample), VFW_E_RUNTIME_ERROR);
    sink->Pin()->BeginFlush();
    sink->Pin()->EndFlush();
    EXPECT_EQ(sink->Pin()->Receive(sample), S_OK);
    sink->Stop();
    owned = nullptr;
    allocator->Decommit();
}

TEST_F(FilterTest, TypeEnumeratorGoesOutOfSyncWhenThePinsListChanges)
{
    auto source = TestSource::Create({});
    ComPtr<IEnumMediaTypes> types;
    ASSERT_EQ(source->Pin()->EnumMediaTypes(types.Put()), S_OK);
    source->Pin()->IncrementTypeVersion();
    AM_MEDIA_TYPE* type = nullptr;
    ULONG fetched = 0;
    EXPECT_EQ(types->Next(1, &type, &fetched), VFW_E_ENUM_OUT_OF_SYNC);
    ComPtr<IEnumMediaTypes> clone;
    EXPECT_EQ(types->Clone(clone.Put()), VFW_E_ENUM_OUT_OF_SYNC);
    ASSERT_EQ(types->Reset(), S_OK);
    ASSERT_EQ(types->Next(1, &type, &fetched), S_OK);
    EXPECT_TRUE(CMediaType(*type) == MakeYv12Type(16, 16));
    DeleteMediaType(type);
    EXPECT_EQ(types->Skip(1), S_FALSE);

    ComPtr<IEnumPins> pins;
    ASSERT_EQ(source->EnumPins(pins.Put()), S_OK);
    source->IncrementPinVersion();
    ComPtr<IPin> pin;
    EXPECT_EQ(pins->Next(1, pin.Put(), &fetched), VFW_E_ENUM_OUT_OF_SYNC);
    pins->Reset();
    ASSERT_EQ(pins->Next(1, pin.Put(), &fetched), S_OK);
    EXPECT_EQ(pin.Get(), static_cast<IPin*>(source->Pin()));
}

} // namespace
