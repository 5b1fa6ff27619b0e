#pragma once
// Filters for tests and benchmarks: a pushing source with seeking, a copying transform and a
// counting sink. They carry 16×16 YV12 pictures whose first 8 bytes hold the picture's index.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "pipeline/am_thread.h"
#include "pipeline/base_filter.h"
#include "pipeline/base_input_pin.h"
#include "pipeline/base_output_pin.h"
#include "pipeline/transform_filter.h"

namespace testing_filters {

inline constexpr CLSID CLSID_TestSource = MakeGuid("{6B1A2F10-0000-4000-8000-00000000A001}");
inline constexpr CLSID CLSID_TestTransform = MakeGuid("{6B1A2F10-0000-4000-8000-00000000A002}");
inline constexpr CLSID CLSID_TestSink = MakeGuid("{6B1A2F10-0000-4000-8000-00000000A003}");

// A YV12 video type with a VIDEOINFOHEADER block of the given size.
CMediaType MakeYv12Type(int width, int height);
// The same with a video-info-2 block carrying a picture aspect, as the video decoder offers it.
CMediaType MakeYv12Type2(int width, int height, DWORD aspectX, DWORD aspectY);
// Index written into a test picture.
std::int64_t SampleIndex(IMediaSample* sample);

class TestSource;

class TestSourcePin : public CBaseOutputPin, public IMediaSeeking {
public:
    TestSourcePin(TestSource* filter, HRESULT* phr);
    ~TestSourcePin() override;

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    ULONG NonDelegatingAddRef() override { return CBaseOutputPin::NonDelegatingAddRef(); }
    ULONG NonDelegatingRelease() override { return CBaseOutputPin::NonDelegatingRelease(); }

    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT GetMediaType(int position, CMediaType* type) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT Active() override;
    HRESULT Inactive() override;

    // IMediaSeeking: positions are media time; a seek while active flushes downstream and
    // starts a new segment at the position.
    HRESULT GetCapabilities(DWORD* capabilities) override;
    HRESULT CheckCapabilities(DWORD* capabilities) override;
    HRESULT IsFormatSupported(const GUID* format) override;
    HRESULT QueryPreferredFormat(GUID* format) override;
    HRESULT GetTimeFormat(GUID* format) override;
    HRESULT IsUsingTimeFormat(const GUID* format) override;
    HRESULT SetTimeFormat(const GUID* format) override;
    HRESULT GetDuration(LONGLONG* duration) override;
    HRESULT GetStopPosition(LONGLONG* stop) override;
    HRESULT GetCurrentPosition(LONGLONG* current) override;
    HRESULT ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                              const GUID* sourceFormat) override;
    HRESULT SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) override;
    HRESULT GetPositions(LONGLONG* current, LONGLONG* stop) override;
    HRESULT GetAvailable(LONGLONG* earliest, LONGLONG* latest) override;
    HRESULT SetRate(double rate) override;
    HRESULT GetRate(double* rate) override;
    HRESULT GetPreroll(LONGLONG* preroll) override;

    // Seeks made so far (to check that a seek did or did not arrive).
    int SeekCount() const { return m_seeks.load(); }

private:
    class Worker;
    friend class Worker;
    enum Request : DWORD { kRun = 1, kStop = 2, kExit = 3 };
    // Pushes pictures from the current position until the end or a pending request.
    void Push(Worker& worker);

    TestSource* const m_source;
    std::unique_ptr<Worker> m_worker; // application thread
    std::atomic<std::int64_t> m_next{0};       // next picture; written by the worker while it runs
    std::atomic<std::int64_t> m_segmentFirst{0};
    std::atomic<int> m_seeks{0};
};

class TestSource : public CBaseFilter {
public:
    struct Options {
        std::int64_t sampleCount = 1000;
        REFERENCE_TIME frameDuration = 400000; // 25 per second
        LONG bufferCount = 4;
        int width = 16;
        int height = 16;
    };

    explicit TestSource(const Options& options);
    ~TestSource() override;
    // A new source with one reference for the caller.
    static ComPtr<TestSource> Create(const Options& options);

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override;
    TestSourcePin* Pin() { return m_pin.get(); }

    const Options& Settings() const { return m_options; }
    // Pictures delivered with S_OK, over the filter's life.
    std::int64_t Delivered() const { return m_delivered.load(); }

private:
    friend class TestSourcePin;
    CCritSec m_csFilter;
    Options m_options;
    std::unique_ptr<TestSourcePin> m_pin;
    std::atomic<std::int64_t> m_delivered{0};
};

// Copies each picture; with `skipAll` every Transform answers S_FALSE.
class TestTransform : public CTransformFilter {
public:
    explicit TestTransform(bool skipAll = false, LONG bufferCount = 4);
    static ComPtr<TestTransform> Create(bool skipAll = false, LONG bufferCount = 4);

    HRESULT CheckInputType(const CMediaType* input) override;
    HRESULT CheckTransform(const CMediaType* input, const CMediaType* output) override;
    HRESULT GetMediaType(int position, CMediaType* type) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT Transform(IMediaSample* in, IMediaSample* out) override;

    std::int64_t Transformed() const { return m_transformed.load(); }

private:
    const bool m_skipAll;
    const LONG m_bufferCount;
    std::atomic<std::int64_t> m_transformed{0};
};

class TestSink;

class TestSinkPin : public CBaseInputPin {
public:
    TestSinkPin(TestSink* filter, HRESULT* phr);
    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

private:
    TestSink* const m_sink;
};

// Counts what arrives; EC_COMPLETE at end of stream. A slow sink sleeps `delayMicroseconds`
// every `delayEvery` pictures.
class TestSink : public CBaseFilter {
public:
    struct Options {
        int delayEvery = 0;
        int delayMicroseconds = 0;
        bool acceptAnyType = true;
        GUID onlyMajorType = GUID_NULL;
        GUID onlySubtype = GUID_NULL;
        // Offer IMediaSeeking, passed upstream through the input, as renderers do.
        bool passThroughSeeking = false;
        // Keep the indices and times of the current segment.
        bool record = true;
    };
    explicit TestSink(const Options& options);
    ~TestSink() override;
    static ComPtr<TestSink> Create(const Options& options);
    static ComPtr<TestSink> Create() { return Create(Options{}); }

    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override;
    TestSinkPin* Pin() { return m_pin.get(); }

    // Counters, safe from any thread.
    std::int64_t Received() const { return m_received.load(); }
    int EndOfStreams() const { return m_endOfStreams.load(); }
    int Segments() const { return m_segments.load(); }
    // Indices received since the last new segment, in arrival order.
    std::vector<std::int64_t> SegmentIndices();
    // Start times received since the last new segment.
    std::vector<REFERENCE_TIME> SegmentTimes();

private:
    friend class TestSinkPin;
    CCritSec m_csFilter;
    Options m_options;
    std::unique_ptr<TestSinkPin> m_pin;
    std::atomic<std::int64_t> m_received{0};
    std::atomic<int> m_endOfStreams{0};
    std::atomic<int> m_segments{0};
    std::mutex m_recordLock;
    std::vector<std::int64_t> m_indices; // guarded by m_recordLock
    std::vector<REFERENCE_TIME> m_times; // guarded by m_recordLock
    ComPtr<IUnknown> m_position;         // pass-through, made on first request
};

// Live-object counts of the framework, for leak assertions.
struct LiveCounts {
    long objects;
    long samples;
    long threads;
    static LiveCounts Now();
    bool operator==(const LiveCounts&) const = default;
};

} // namespace testing_filters
