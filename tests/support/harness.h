#pragma once
// The test harness for filters, shared by the tests and the benchmarks: a source that generates
// pictures on its own thread (with seeking) or delivers what the test pushes, a copying
// transform, a sink that counts or keeps what arrives and can present it by a clock, and a clock
// that moves only when the test moves it. Generated pictures are 16×16 YV12 whose first 8 bytes
// hold the picture's index.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <cstdint>
#include <mutex>
#include <vector>

#include "pipeline/unknown_object.h"

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
// Interleaved 16-bit PCM with a wave-format block.
CMediaType PcmType(int channels, int rate);
// Index written into a test picture.
std::int64_t SampleIndex(IMediaSample* sample);

// A reference clock that stands still until the test sets or advances it; advises fall due then,
// on the test's thread.
class TestClock : public CUnknown, public IReferenceClock {
public:
    static ComPtr<TestClock> Create() { return ComPtr<TestClock>(new TestClock); }
    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT GetTime(REFERENCE_TIME* time) override;
    HRESULT AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, CAMEvent* event, DWORD_PTR* cookie) override;
    HRESULT AdvisePeriodic(REFERENCE_TIME startTime, REFERENCE_TIME period, CAMEvent* event, DWORD_PTR* cookie) override;
    HRESULT Unadvise(DWORD_PTR cookie) override;

    void Advance(REFERENCE_TIME by) { SetTime(Time() + by); }
    void SetTime(REFERENCE_TIME time);
    REFERENCE_TIME Time();
    // Advises waiting for a time still to come.
    std::size_t Waiting();
    // Waits until `count` advises have been made since the clock was made (a renderer that
    // advised is holding its sample for its time); false after 20 s without.
    bool WaitForAdvises(std::size_t count);

private:
    TestClock();
    struct Advise {
        DWORD_PTR cookie;
        REFERENCE_TIME due;
        REFERENCE_TIME period;
        CAMEvent* event;
    };
    void FireDue(); // m_lock held
    std::mutex m_lock;
    std::condition_variable m_advised; // with m_lock: an advise was made
    std::size_t m_advisesMade = 0;     // guarded by m_lock
    REFERENCE_TIME m_time = 0;     // guarded by m_lock
    std::vector<Advise> m_advises; // guarded by m_lock
    DWORD_PTR m_nextCookie = 1;    // guarded by m_lock
};

class TestSource;

class TestSourcePin : public CBaseOutputPin, public IMediaSeeking {
public:
    TestSourcePin(TestSource* filter, HRESULT* phr);
    ~TestSourcePin() override;
    // What the pin offers: the options' type, or pictures of their size.
    CMediaType OfferedType() const;

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
        // False: nothing is generated; the test delivers samples itself with Push.
        bool generate = true;
        // What the pin offers; none (GUID_NULL major type): YV12 pictures of width × height.
        CMediaType type{};
        // Bytes per buffer; 0: the type's sample size.
        long bufferSize = 0;
    };

    explicit TestSource(const Options& options);
    ~TestSource() override;
    // A new source with one reference for the caller.
    static ComPtr<TestSource> Create(const Options& options);
    // A source that delivers exactly the samples the test pushes, of exactly `type`, in two
    // buffers of `bufferSize` bytes.
    static ComPtr<TestSource> Pushing(const CMediaType& type, long bufferSize = 1 << 20);
    // Delivers one sample on the caller's thread (the graph paused or running).
    HRESULT Push(const void* data, std::size_t bytes, REFERENCE_TIME start, REFERENCE_TIME stop);
    HRESULT PushEndOfStream();

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
    HRESULT BeginFlush() override;
    HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

private:
    TestSink* const m_sink;
};

// A sample as it arrived at a sink that keeps what it receives.
struct CapturedSample {
    bool hasStart = false;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    bool discontinuity = false;
    bool syncPoint = false;
    bool typeChanged = false;
    std::size_t offset = 0; // where its bytes begin in the capture
    std::size_t size = 0;
};

// Counts what arrives, and keeps it when asked; EC_COMPLETE at end of stream. A slow sink sleeps
// `delayMicroseconds` every `delayEvery` pictures. A sink that presents by the clock holds each
// sample until the graph's clock reaches its start, as a renderer does.
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
        // Keep the bytes and flags of every sample (see Bytes and Samples).
        bool capture = false;
        // Hold each sample until the graph's clock reaches its start time, while running.
        bool presentByClock = false;
    };
    explicit TestSink(const Options& options);
    ~TestSink() override;
    static ComPtr<TestSink> Create(const Options& options);
    static ComPtr<TestSink> Create() { return Create(Options{}); }
    // A sink that keeps everything it receives.
    static ComPtr<TestSink> Capture() { return Create(Options{.record = false, .capture = true}); }

    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override;
    TestSinkPin* Pin() { return m_pin.get(); }
    // Called with each sample as it is presented (after the wait for its time), on the
    // streaming thread. Set before the graph runs.
    void SetPresentCallback(std::function<void(IMediaSample*)> onPresent) { m_onPresent = std::move(onPresent); }

    // Counters, safe from any thread.
    std::int64_t Received() const { return m_received.load(); }
    // Waits until `count` samples have been received, or `count` ends of stream; false after a
    // minute without (a test that hangs).
    bool WaitForReceived(std::int64_t count);
    bool WaitForEndOfStreams(int count);
    int EndOfStreams() const { return m_endOfStreams.load(); }
    int Segments() const { return m_segments.load(); }
    // Indices received since the last new segment, in arrival order.
    std::vector<std::int64_t> SegmentIndices();
    // Start times received since the last new segment.
    std::vector<REFERENCE_TIME> SegmentTimes();

    // What a capturing sink kept (any thread).
    std::vector<std::uint8_t> Bytes();
    std::vector<CapturedSample> Samples();
    int Flushes() const { return m_flushes.load(); }
    // Forgets what arrived.
    void Clear();
    // Forget what arrived (and the ends of stream) at every flush, so that what is kept is what
    // followed the last seek. Stopping the upstream filter flushes too.
    void ForgetOnFlush() { m_forgetOnFlush = true; }
    // From the sample after the first `samples`, Receive fails with `result` (a broken
    // downstream filter).
    void FailAfter(int samples, HRESULT result)
    {
        m_failAfter = samples;
        m_failure = result;
    }

private:
    friend class TestSinkPin;
    void Keep(IMediaSample* sample);
    // While running, waits until the clock reaches the sample's start; false when a flush or a
    // stop came first.
    bool WaitUntilDue(IMediaSample* sample);
    CCritSec m_csFilter;
    Options m_options;
    std::unique_ptr<TestSinkPin> m_pin;
    std::function<void(IMediaSample*)> m_onPresent;
    std::atomic<std::int64_t> m_received{0};
    std::mutex m_receivedLock;
    std::condition_variable m_receivedMore; // with m_receivedLock: m_received or m_endOfStreams grew
    void TellProgress();
    std::atomic<int> m_endOfStreams{0};
    std::atomic<int> m_segments{0};
    std::mutex m_recordLock;
    std::vector<std::int64_t> m_indices; // guarded by m_recordLock
    std::vector<REFERENCE_TIME> m_times; // guarded by m_recordLock
    ComPtr<IUnknown> m_position;         // pass-through, made on first request
    std::mutex m_receiveLock; // a sample's check and keeping against a forgetting flush
    std::mutex m_keepLock;
    std::vector<std::uint8_t> m_bytes;     // guarded by m_keepLock
    std::vector<CapturedSample> m_samples; // guarded by m_keepLock
    std::atomic<int> m_flushes{0};
    std::atomic<bool> m_forgetOnFlush{false};
    std::atomic<int> m_failAfter{-1};
    std::atomic<HRESULT> m_failure{S_OK};
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
