#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "pipeline/crit_sec.h"
#include "pipeline/event_codes.h"
#include "pipeline/media_guids.h"
#include "pipeline/my_tee_filter.h"
#include "graph/class_factory.h"
#include "graph/graph_interfaces.h"
#include "graph/system_clock.h"
#include "support/graph_fixture.h"

namespace {

using namespace testing_filters;

constexpr CLSID CLSID_TestConverter = MakeGuid("{6B1A2F10-0000-4000-8000-00000000B001}");
constexpr CLSID CLSID_TestI420Renderer = MakeGuid("{6B1A2F10-0000-4000-8000-00000000B002}");

// Turns YV12 into I420 (a relabelling is enough for the graph's purposes).
class SubtypeConverter : public CTransformFilter {
public:
    SubtypeConverter() : CTransformFilter("SubtypeConverter", nullptr, CLSID_TestConverter) {}
    HRESULT CheckInputType(const CMediaType* input) override
    {
        return input->subtype == MEDIASUBTYPE_YV12 ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT CheckTransform(const CMediaType*, const CMediaType* output) override
    {
        return output->subtype == MEDIASUBTYPE_I420 ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT GetMediaType(int position, CMediaType* type) override
    {
        if (position > 0) return VFW_S_NO_MORE_ITEMS;
        *type = InputPin()->CurrentMediaType();
        type->subtype = MEDIASUBTYPE_I420;
        return S_OK;
    }
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override
    {
        ALLOCATOR_PROPERTIES wanted = *request, actual{};
        wanted.cBuffers = 2;
        wanted.cbBuffer = static_cast<LONG>(InputPin()->CurrentMediaType().GetSampleSize());
        return allocator->SetProperties(&wanted, &actual);
    }
    HRESULT Transform(IMediaSample* in, IMediaSample* out) override
    {
        BYTE *src = nullptr, *dst = nullptr;
        in->GetPointer(&src);
        out->GetPointer(&dst);
        std::memcpy(dst, src, static_cast<std::size_t>(in->GetActualDataLength()));
        return out->SetActualDataLength(in->GetActualDataLength());
    }
};

template <class T>
HRESULT CreateAs(T* object, REFIID riid, void** ppv)
{
    return ComPtr<T>(object)->QueryInterface(riid, ppv);
}

class GraphTest : public GraphFixture {
protected:
    void TearDown() override
    {
        CClassFactory::Instance().Unregister(CLSID_TestConverter);
        CClassFactory::Instance().Unregister(CLSID_TestI420Renderer);
        GraphFixture::TearDown();
    }
    static void RegisterConverter()
    {
        CClassFactory::Instance().Register(FilterRegistration{
            .clsid = CLSID_TestConverter,
            .name = "Converter",
            .merit = MERIT_NORMAL,
            .create = [](IUnknown*, REFIID riid, void** ppv) { return CreateAs(new SubtypeConverter, riid, ppv); },
            .inputTypes = {{MEDIATYPE_Video, MEDIASUBTYPE_YV12}},
            .outputTypes = {{MEDIATYPE_Video, MEDIASUBTYPE_I420}}});
    }
    static void RegisterI420Renderer()
    {
        CClassFactory::Instance().Register(FilterRegistration{
            .clsid = CLSID_TestI420Renderer,
            .name = "I420 Renderer",
            .merit = MERIT_NORMAL,
            .create =
                [](IUnknown*, REFIID riid, void** ppv) {
                    return CreateAs(new TestSink({.onlySubtype = MEDIASUBTYPE_I420}), riid, ppv);
                },
            .inputTypes = {{MEDIATYPE_Video, MEDIASUBTYPE_I420}},
            .isRenderer = true});
    }
    std::vector<std::string> FilterNames()
    {
        std::vector<std::string> names;
        ComPtr<IEnumFilters> filters;
        m_graph->EnumFilters(filters.Put());
        ComPtr<IBaseFilter> filter;
        ULONG fetched = 0;
        while (filters->Next(1, filter.Put(), &fetched) == S_OK) {
            FILTER_INFO info{};
            filter->QueryFilterInfo(&info);
            names.emplace_back(info.achName);
            ComPtr<IFilterGraph> graph;
            graph.Attach(info.pGraph); // the reference the info carries
        }
        return names;
    }
    ComPtr<IBaseFilter> PeerFilter(IPin* pin)
    {
        ComPtr<IPin> peer;
        if (FAILED(pin->ConnectedTo(peer.Put()))) return nullptr;
        PIN_INFO info{};
        peer->QueryPinInfo(&info);
        return AdoptRef(info.pFilter);
    }
};

TEST_F(GraphTest, FiltersAreAddedFoundRenamedAndRemoved)
{
    auto a = TestSink::Create();
    auto b = TestSink::Create();
    auto c = TestSink::Create();
    EXPECT_EQ(m_graph->AddFilter(a.Get(), "Reader"), S_OK);
    EXPECT_EQ(m_graph->AddFilter(b.Get(), "Reader"), VFW_S_DUPLICATE_NAME);
    EXPECT_EQ(m_graph->AddFilter(c.Get(), nullptr), S_OK);
    EXPECT_EQ(m_graph->AddFilter(a.Get(), "Again"), VFW_E_DUPLICATE_NAME);
    EXPECT_EQ(FilterNames(), (std::vector<std::string>{"Reader", "Reader 0001", "0001"}));

    ComPtr<IBaseFilter> found;
    ASSERT_EQ(m_graph->FindFilterByName("Reader", found.Put()), S_OK);
    EXPECT_EQ(found.Get(), static_cast<IBaseFilter*>(a.Get()));
    EXPECT_EQ(m_graph->FindFilterByName("Splitter", found.Put()), VFW_E_NOT_FOUND);
    FILTER_INFO info{};
    b->QueryFilterInfo(&info);
    EXPECT_STREQ(info.achName, "Reader 0001");
    ComPtr<IFilterGraph> graph;
    graph.Attach(info.pGraph); // the reference the info carries
    EXPECT_NE(graph.Get(), nullptr);

    EXPECT_EQ(m_graph->RemoveFilter(b.Get()), S_OK);
    EXPECT_EQ(m_graph->RemoveFilter(b.Get()), VFW_E_NOT_FOUND);
    b->QueryFilterInfo(&info);
    EXPECT_EQ(info.pGraph, nullptr);
    EXPECT_EQ(FilterNames(), (std::vector<std::string>{"Reader", "0001"}));
}

TEST_F(GraphTest, RemovingAFilterDisconnectsBothSides)
{
    auto source = TestSource::Create({.sampleCount = 1});
    auto sink = TestSink::Create();
    m_graph->AddFilter(source.Get(), "Source");
    m_graph->AddFilter(sink.Get(), "Sink");
    ASSERT_EQ(m_graph->ConnectDirect(source->Pin(), sink->Pin(), nullptr), S_OK);
    ASSERT_EQ(m_graph->RemoveFilter(sink.Get()), S_OK);
    EXPECT_FALSE(source->Pin()->IsConnected());
    EXPECT_FALSE(sink->Pin()->IsConnected());
    // Pins of filters outside the graph are not connected by it.
    EXPECT_EQ(m_graph->ConnectDirect(source->Pin(), sink->Pin(), nullptr), VFW_E_NOT_IN_GRAPH);
}

TEST_F(GraphTest, IntelligentConnectInsertsARegisteredTransform)
{
    RegisterConverter();
    auto source = TestSource::Create({.sampleCount = 20});
    auto sink = TestSink::Create({.onlySubtype = MEDIASUBTYPE_I420});
    m_graph->AddFilter(source.Get(), "Source");
    m_graph->AddFilter(sink.Get(), "Sink");
    EXPECT_NE(m_graph->ConnectDirect(source->Pin(), sink->Pin(), nullptr), S_OK);

    ASSERT_EQ(m_graph->Connect(source->Pin(), sink->Pin()), S_OK);
    auto middle = PeerFilter(source->Pin());
    ASSERT_TRUE(middle);
    CLSID clsid{};
    middle->GetClassID(&clsid);
    EXPECT_EQ(clsid, CLSID_TestConverter);
    EXPECT_EQ(PeerFilter(sink->Pin()), middle);
    EXPECT_EQ(sink->Pin()->CurrentMediaType().subtype, MEDIASUBTYPE_I420);
    EXPECT_EQ(FilterNames().size(), 3u);

    // And the stream flows through it.
    ASSERT_EQ(m_control->Run(), S_OK);
    LONG code = 0;
    ASSERT_EQ(m_events->WaitForCompletion(10000, &code), S_OK);
    EXPECT_EQ(sink->Received(), 20);
}

TEST_F(GraphTest, IntelligentConnectPrefersAFilterAlreadyInTheGraph)
{
    RegisterConverter();
    auto source = TestSource::Create({.sampleCount = 1});
    auto sink = TestSink::Create({.onlySubtype = MEDIASUBTYPE_I420});
    auto mine = ComPtr<SubtypeConverter>(new SubtypeConverter);
    m_graph->AddFilter(source.Get(), "Source");
    m_graph->AddFilter(mine.Get(), "Mine");
    m_graph->AddFilter(sink.Get(), "Sink");
    ASSERT_EQ(m_graph->Connect(source->Pin(), sink->Pin()), S_OK);
    EXPECT_EQ(PeerFilter(source->Pin()).Get(), static_cast<IBaseFilter*>(mine.Get()));
    EXPECT_EQ(FilterNames().size(), 3u);
}

TEST_F(GraphTest, IntelligentConnectFailsCleanlyWithoutAPath)
{
    auto source = TestSource::Create({.sampleCount = 1});
    auto sink = TestSink::Create({.onlySubtype = MEDIASUBTYPE_I420});
    m_graph->AddFilter(source.Get(), "Source");
    m_graph->AddFilter(sink.Get(), "Sink");
    EXPECT_EQ(m_graph->Connect(source->Pin(), sink->Pin()), VFW_E_CANNOT_CONNECT);
    EXPECT_EQ(FilterNames().size(), 2u); // nothing left behind
    EXPECT_FALSE(source->Pin()->IsConnected());
}

TEST_F(GraphTest, RenderReachesARegisteredRenderer)
{
    RegisterConverter();
    RegisterI420Renderer();
    auto source = TestSource::Create({.sampleCount = 10});
    m_graph->AddFilter(source.Get(), "Source");
    ASSERT_EQ(m_graph->Render(source->Pin()), S_OK);
    auto converter = PeerFilter(source->Pin());
    ASSERT_TRUE(converter);
    CLSID clsid{};
    converter->GetClassID(&clsid);
    EXPECT_EQ(clsid, CLSID_TestConverter);
    auto names = FilterNames();
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[1], "Converter");
    EXPECT_EQ(names[2], "I420 Renderer");
    EXPECT_EQ(m_graph->Render(source->Pin()), VFW_E_ALREADY_CONNECTED);

    ASSERT_EQ(m_control->Run(), S_OK);
    LONG code = 0;
    ASSERT_EQ(m_events->WaitForCompletion(10000, &code), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
}

TEST_F(GraphTest, RenderWithoutRenderersFails)
{
    auto source = TestSource::Create({.sampleCount = 1});
    m_graph->AddFilter(source.Get(), "Source");
    EXPECT_EQ(m_graph->Render(source->Pin()), VFW_E_CANNOT_RENDER);
    EXPECT_EQ(FilterNames().size(), 1u);
}

TEST_F(GraphTest, CompletionReachesTheCallbackOnceAfterBothSinksEnded)
{
    auto source = TestSource::Create({.sampleCount = 300});
    IBaseFilter* teeRaw = nullptr;
    ASSERT_EQ(CMyTeeFilter::Create(&teeRaw), S_OK);
    auto tee = AdoptRef(teeRaw);
    auto fast = TestSink::Create();
    auto slow = TestSink::Create({.delayEvery = 10, .delayMicroseconds = 2000});
    m_graph->AddFilter(source.Get(), "Source");
    m_graph->AddFilter(tee.Get(), "Tee");
    m_graph->AddFilter(fast.Get(), "Fast");
    m_graph->AddFilter(slow.Get(), "Slow");
    ComPtr<IPin> in, out0, out1;
    tee->FindPin("Input", in.Put());
    tee->FindPin("Output0", out0.Put());
    tee->FindPin("Output1", out1.Put());
    ASSERT_EQ(m_graph->ConnectDirect(source->Pin(), in.Get(), nullptr), S_OK);
    ASSERT_EQ(m_graph->ConnectDirect(out0.Get(), fast->Pin(), nullptr), S_OK);
    ASSERT_EQ(m_graph->ConnectDirect(out1.Get(), slow->Pin(), nullptr), S_OK);

    std::mutex lock;
    std::vector<LONG> seen;
    bool bothEndedAtCompletion = false;
    CAMEvent done(true);
    m_events->SetNotifyCallback([&] {
        // As the program does, fetch events without waiting.
        LONG code = 0;
        LONG_PTR p1 = 0, p2 = 0;
        while (m_events->GetEvent(&code, &p1, &p2, 0) == S_OK) {
            std::lock_guard guard(lock);
            seen.push_back(code);
            if (code == EC_COMPLETE) {
                bothEndedAtCompletion = fast->EndOfStreams() == 1 && slow->EndOfStreams() == 1;
                done.Set();
            }
        }
    });
    ASSERT_EQ(m_control->Run(), S_OK);
    ASSERT_TRUE(done.Wait(20000));
    // Stopped, the streaming threads are done: a second completion would have come by now.
    ASSERT_EQ(m_control->Stop(), S_OK);
    m_events->SetNotifyCallback(nullptr);
    std::lock_guard guard(lock);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), EC_COMPLETE), 1);
    EXPECT_TRUE(bothEndedAtCompletion);
}

TEST_F(GraphTest, CancelledDefaultHandlingPassesEveryCompletionAtOnce)
{
    auto source = TestSource::Create({.sampleCount = 50});
    IBaseFilter* teeRaw = nullptr;
    ASSERT_EQ(CMyTeeFilter::Create(&teeRaw), S_OK);
    auto tee = AdoptRef(teeRaw);
    auto a = TestSink::Create();
    auto b = TestSink::Create();
    m_graph->AddFilter(source.Get(), "Source");
    m_graph->AddFilter(tee.Get(), "Tee");
    m_graph->AddFilter(a.Get(), "A");
    m_graph->AddFilter(b.Get(), "B");
    ComPtr<IPin> in, out0, out1;
    tee->FindPin("Input", in.Put());
    tee->FindPin("Output0", out0.Put());
    tee->FindPin("Output1", out1.Put());
    m_graph->ConnectDirect(source->Pin(), in.Get(), nullptr);
    m_graph->ConnectDirect(out0.Get(), a->Pin(), nullptr);
    m_graph->ConnectDirect(out1.Get(), b->Pin(), nullptr);
    ASSERT_EQ(m_events->CancelDefaultHandling(EC_COMPLETE), S_OK);
    ASSERT_EQ(m_control->Run(), S_OK);
    std::vector<LONG_PTR> senders;
    for (int i = 0; i < 2; ++i) {
        LONG code = 0;
        LONG_PTR p1 = 0, p2 = 0;
        ASSERT_EQ(m_events->GetEvent(&code, &p1, &p2, 10000), S_OK);
        EXPECT_EQ(code, EC_COMPLETE);
        senders.push_back(p2);
    }
    // Each completion names its sink.
    std::sort(senders.begin(), senders.end());
    std::vector<LONG_PTR> expected{reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(a.Get())),
                                   reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(b.Get()))};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(senders, expected);
}

// Records the order of state changes.
class OrderedSink : public TestSink {
public:
    OrderedSink(std::vector<std::string>& log, const char* name) : TestSink({}), m_log(log), m_name(name) {}
    HRESULT Pause() override { return Log("pause", TestSink::Pause()); }
    HRESULT Stop() override { return Log("stop", TestSink::Stop()); }
    HRESULT Run(REFERENCE_TIME start) override
    {
        m_runStart = start;
        return Log("run", TestSink::Run(start));
    }
    HRESULT GetState(DWORD ms, FILTER_STATE* state) override
    {
        const HRESULT hr = TestSink::GetState(ms, state);
        return m_intermediate ? VFW_S_STATE_INTERMEDIATE : hr;
    }
    bool m_intermediate = false;
    REFERENCE_TIME m_runStart = -1;

private:
    HRESULT Log(const char* what, HRESULT hr)
    {
        m_log.push_back(m_name + ":" + what);
        return hr;
    }
    std::vector<std::string>& m_log;
    std::string m_name;
};

class OrderedTransform : public SubtypeConverter {
public:
    explicit OrderedTransform(std::vector<std::string>& log) : m_log(log) {}
    HRESULT Pause() override
    {
        m_log.push_back("transform:pause");
        return SubtypeConverter::Pause();
    }
    HRESULT Stop() override
    {
        m_log.push_back("transform:stop");
        return SubtypeConverter::Stop();
    }

private:
    std::vector<std::string>& m_log;
};

TEST_F(GraphTest, StateChangesGoFromTheRenderersUpstreamAndStateIsQueried)
{
    std::vector<std::string> log;
    auto transform = ComPtr<OrderedTransform>(new OrderedTransform(log));
    auto sink = ComPtr<OrderedSink>(new OrderedSink(log, "sink"));
    auto source = TestSource::Create({.sampleCount = 1'000'000});
    m_graph->AddFilter(sink.Get(), "Sink"); // added first, still changed first
    m_graph->AddFilter(source.Get(), "Source");
    m_graph->AddFilter(transform.Get(), "Transform");
    ASSERT_EQ(m_graph->ConnectDirect(source->Pin(), transform->GetPin(0), nullptr), S_OK);
    ASSERT_EQ(m_graph->ConnectDirect(transform->GetPin(1), sink->Pin(), nullptr), S_OK);

    ASSERT_EQ(m_control->Pause(), S_OK);
    EXPECT_EQ(log, (std::vector<std::string>{"sink:pause", "transform:pause"}));
    OAFilterState state = -1;
    EXPECT_EQ(m_control->GetState(10, &state), S_OK);
    EXPECT_EQ(state, State_Paused);
    sink->m_intermediate = true;
    EXPECT_EQ(m_control->GetState(10, &state), VFW_S_STATE_INTERMEDIATE);
    sink->m_intermediate = false;

    log.clear();
    ASSERT_EQ(m_control->Run(), S_OK);
    EXPECT_EQ(log, (std::vector<std::string>{"sink:run"}));
    EXPECT_EQ(m_control->GetState(10, &state), S_OK);
    EXPECT_EQ(state, State_Running);

    // A system clock was handed to the filters, with a start time close to its present.
    ComPtr<IReferenceClock> clock;
    ASSERT_EQ(sink->GetSyncSource(clock.Put()), S_OK);
    ASSERT_TRUE(clock);
    ComPtr<IReferenceClock> sourceClock;
    source->GetSyncSource(sourceClock.Put());
    EXPECT_EQ(sourceClock, clock);
    REFERENCE_TIME now = 0;
    clock->GetTime(&now);
    EXPECT_LE(std::llabs(sink->m_runStart - now), 10 * kUnitsPerSecond);
    REFERENCE_TIME streamTime = 0;
    EXPECT_EQ(sink->StreamTime(streamTime), S_OK);
    EXPECT_GE(streamTime, -kUnitsPerSecond);

    log.clear();
    ASSERT_EQ(m_control->Stop(), S_OK);
    EXPECT_EQ(log, (std::vector<std::string>{"sink:stop", "transform:stop"}));
    EXPECT_EQ(m_control->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Stopped);
    // The recording filters must not outlive the log they write to.
    m_graph->RemoveFilter(sink.Get());
    m_graph->RemoveFilter(transform.Get());
}

TEST_F(GraphTest, AGraphWithoutAClockRunsUnpaced)
{
    ComPtr<IMediaFilter> graphFilter;
    ASSERT_EQ(m_graph.As(graphFilter), S_OK);
    auto sink = TestSink::Create();
    m_graph->AddFilter(sink.Get(), "Sink");
    ASSERT_EQ(graphFilter->SetSyncSource(nullptr), S_OK);
    ASSERT_EQ(m_control->Run(), S_OK);
    ComPtr<IReferenceClock> clock;
    sink->GetSyncSource(clock.Put());
    EXPECT_FALSE(clock);
    EXPECT_EQ(graphFilter->SetSyncSource(nullptr), VFW_E_NOT_STOPPED);
}

TEST_F(GraphTest, EventsTimeOutAndTheHandleFollowsTheQueue)
{
    LONG code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(m_events->GetEvent(&code, &p1, &p2, 20), E_ABORT);
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(15));
    CAMEvent* handle = nullptr;
    ASSERT_EQ(m_events->GetEventHandle(&handle), S_OK);
    EXPECT_FALSE(handle->Wait(0));

    ComPtr<IMediaEventSink> sink;
    ASSERT_EQ(m_graph.As(sink), S_OK);
    sink->Notify(EC_ERRORABORT, E_FAIL, 0);
    EXPECT_TRUE(handle->Wait(0));
    ASSERT_EQ(m_events->GetEvent(&code, &p1, &p2, 0), S_OK);
    EXPECT_EQ(code, EC_ERRORABORT);
    EXPECT_EQ(p1, E_FAIL);
    EXPECT_EQ(m_events->FreeEventParams(code, p1, p2), S_OK);
    EXPECT_FALSE(handle->Wait(0));
    EXPECT_EQ(m_events->WaitForCompletion(0, &code), S_OK); // an abort completes the wait
    EXPECT_EQ(code, EC_ERRORABORT);
}

TEST_F(GraphTest, SeekingIsForwardedThroughTheRenderersToTheSource)
{
    auto source = TestSource::Create({.sampleCount = 250, .frameDuration = 400000});
    auto transform = TestTransform::Create();
    auto sink = TestSink::Create({.passThroughSeeking = true});
    m_graph->AddFilter(source.Get(), "Source");
    m_graph->AddFilter(transform.Get(), "Transform");
    m_graph->AddFilter(sink.Get(), "Sink");
    ASSERT_EQ(m_graph->ConnectDirect(source->Pin(), transform->GetPin(0), nullptr), S_OK);
    ASSERT_EQ(m_graph->ConnectDirect(transform->GetPin(1), sink->Pin(), nullptr), S_OK);

    GUID format{};
    ASSERT_EQ(m_seeking->GetTimeFormat(&format), S_OK);
    EXPECT_EQ(format, TIME_FORMAT_MEDIA_TIME);
    LONGLONG duration = 0, stop = 0, current = -1;
    ASSERT_EQ(m_seeking->GetDuration(&duration), S_OK);
    EXPECT_EQ(duration, 250 * 400000);
    ASSERT_EQ(m_seeking->GetStopPosition(&stop), S_OK);
    EXPECT_EQ(stop, duration);
    LONGLONG target = 200 * 400000;
    ASSERT_EQ(m_seeking->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning),
              S_OK);
    ASSERT_EQ(m_seeking->GetCurrentPosition(&current), S_OK);
    EXPECT_EQ(current, target);
    EXPECT_EQ(source->Pin()->SeekCount(), 1);

    ASSERT_EQ(m_control->Run(), S_OK);
    LONG code = 0;
    ASSERT_EQ(m_events->WaitForCompletion(10000, &code), S_OK);
    const auto indices = sink->SegmentIndices();
    ASSERT_EQ(indices.size(), 50u);
    EXPECT_EQ(indices.front(), 200);

    // A seek while running restarts the stream there.
    target = 240 * 400000;
    ASSERT_EQ(m_seeking->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning),
              S_OK);
    ASSERT_EQ(m_events->WaitForCompletion(10000, &code), S_OK);
    ASSERT_EQ(m_control->Stop(), S_OK);
    const auto after = sink->SegmentIndices();
    ASSERT_EQ(after.size(), 10u);
    EXPECT_EQ(after.front(), 240);
}

TEST(SystemClock, IsMonotonicAndSignalsAdvises)
{
    ComPtr<IReferenceClock> clock;
    ASSERT_EQ(CoCreateInstance(CLSID_SystemClock, nullptr, CLSCTX_INPROC_SERVER, IReferenceClock::iid, clock.PutVoid()),
              S_OK);
    REFERENCE_TIME previous = 0;
    clock->GetTime(&previous);
    for (int i = 0; i < 1000; ++i) {
        REFERENCE_TIME now = 0;
        clock->GetTime(&now);
        ASSERT_GE(now, previous);
        previous = now;
    }

    CAMEvent once;
    DWORD_PTR cookie = 0;
    REFERENCE_TIME now = 0;
    clock->GetTime(&now);
    ASSERT_EQ(clock->AdviseTime(now, 20 * kUnitsPerMillisecond, &once, &cookie), S_OK);
    EXPECT_FALSE(once.Wait(0));
    EXPECT_TRUE(once.Wait(5000));
    REFERENCE_TIME after = 0;
    clock->GetTime(&after);
    EXPECT_GE(after - now, 20 * kUnitsPerMillisecond);
    EXPECT_EQ(clock->Unadvise(cookie), S_FALSE); // one-shot advises are gone once fired

    CAMEvent ticks;
    DWORD_PTR periodic = 0;
    clock->GetTime(&now);
    ASSERT_EQ(clock->AdvisePeriodic(now, 5 * kUnitsPerMillisecond, &ticks, &periodic), S_OK);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(ticks.Wait(5000));
    EXPECT_EQ(clock->Unadvise(periodic), S_OK);
    EXPECT_EQ(clock->AdvisePeriodic(now, 0, &ticks, &periodic), E_INVALIDARG);
    EXPECT_EQ(clock->AdviseTime(now, 0, nullptr, &cookie), E_POINTER);
}

TEST(ClassFactory, CreatesByClassIdentifierAndRefusesUnknownOnes)
{
    ComPtr<IBaseFilter> filter;
    EXPECT_EQ(CoCreateInstance(MakeGuid("{00000000-1111-2222-3333-444444444444}"), nullptr, CLSCTX_INPROC_SERVER,
                               IBaseFilter::iid, filter.PutVoid()),
              REGDB_E_CLASSNOTREG);
    ComPtr<IMediaControl> control;
    EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IMediaControl::iid, control.PutVoid()),
              S_OK);
    EXPECT_TRUE(control);
    EXPECT_TRUE(CClassFactory::Instance().IsRegistered(CLSID_FilterGraph));
}

} // namespace
