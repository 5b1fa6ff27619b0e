#include "support/harness.h"

#include <chrono>
#include <algorithm>
#include <cstring>
#include <thread>

#include "pipeline/event_codes.h"
#include "pipeline/format_blocks.h"
#include "pipeline/media_guids.h"
#include "pipeline/media_sample.h"
#include "pipeline/pos_pass_thru.h"
#include "pipeline/presentation.h"

namespace testing_filters {

namespace {

// A YV12 type with a format block of `Info`'s kind; the block is returned for the rest.
template <class Info>
Info* Yv12Type(CMediaType& type, const GUID& format, int width, int height)
{
    type.majortype = MEDIATYPE_Video;
    type.subtype = MEDIASUBTYPE_YV12;
    type.formattype = format;
    const ULONG imageSize = static_cast<ULONG>(width * height * 3 / 2);
    type.SetSampleSize(imageSize);
    auto* info = reinterpret_cast<Info*>(type.AllocFormatBuffer(sizeof(Info)));
    info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info->bmiHeader.biWidth = width;
    info->bmiHeader.biHeight = height;
    info->bmiHeader.biPlanes = 1;
    info->bmiHeader.biBitCount = 12;
    info->bmiHeader.biCompression = MakeFourCC('Y', 'V', '1', '2');
    info->bmiHeader.biSizeImage = imageSize;
    return info;
}

} // namespace

CMediaType MakeYv12Type(int width, int height)
{
    CMediaType type;
    Yv12Type<VIDEOINFOHEADER>(type, FORMAT_VideoInfo, width, height)->AvgTimePerFrame = 400000;
    return type;
}

CMediaType MakeYv12Type2(int width, int height, DWORD aspectX, DWORD aspectY)
{
    CMediaType type;
    auto* info = Yv12Type<VIDEOINFOHEADER2>(type, FORMAT_VideoInfo2, width, height);
    info->AvgTimePerFrame = 333667;
    info->dwPictAspectRatioX = aspectX;
    info->dwPictAspectRatioY = aspectY;
    return type;
}

CMediaType PcmType(int channels, int rate)
{
    CMediaType type;
    type.majortype = MEDIATYPE_Audio;
    type.subtype = MEDIASUBTYPE_PCM;
    type.formattype = FORMAT_WaveFormatEx;
    auto* wfe = reinterpret_cast<WAVEFORMATEX*>(type.AllocFormatBuffer(sizeof(WAVEFORMATEX)));
    wfe->wFormatTag = WAVE_FORMAT_PCM;
    wfe->nChannels = static_cast<WORD>(channels);
    wfe->nSamplesPerSec = static_cast<DWORD>(rate);
    wfe->wBitsPerSample = 16;
    wfe->nBlockAlign = static_cast<WORD>(channels * 2);
    wfe->nAvgBytesPerSec = wfe->nBlockAlign * wfe->nSamplesPerSec;
    return type;
}

std::int64_t SampleIndex(IMediaSample* sample)
{
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    std::int64_t index = -1;
    if (data && sample->GetActualDataLength() >= static_cast<LONG>(sizeof index)) std::memcpy(&index, data, sizeof index);
    return index;
}

LiveCounts LiveCounts::Now()
{
    return LiveCounts{CBaseObject::ObjectsActive(), CMediaSample::SamplesAlive(), CAMThread::ThreadsAlive()};
}

// ---- Clock ----

TestClock::TestClock() : CUnknown("TestClock", nullptr) {}

HRESULT TestClock::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IReferenceClock::iid) return GetInterface(static_cast<IReferenceClock*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT TestClock::GetTime(REFERENCE_TIME* time)
{
    if (!time) return E_POINTER;
    *time = Time();
    return S_OK;
}

REFERENCE_TIME TestClock::Time()
{
    std::lock_guard lock(m_lock);
    return m_time;
}

HRESULT TestClock::AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, CAMEvent* event, DWORD_PTR* cookie)
{
    if (!event || !cookie) return E_POINTER;
    std::lock_guard lock(m_lock);
    *cookie = m_nextCookie++;
    m_advises.push_back(Advise{*cookie, baseTime + streamTime, 0, event});
    ++m_advisesMade;
    m_advised.notify_all();
    FireDue();
    return S_OK;
}

HRESULT TestClock::AdvisePeriodic(REFERENCE_TIME startTime, REFERENCE_TIME period, CAMEvent* event, DWORD_PTR* cookie)
{
    if (!event || !cookie) return E_POINTER;
    if (period <= 0) return E_INVALIDARG;
    std::lock_guard lock(m_lock);
    *cookie = m_nextCookie++;
    m_advises.push_back(Advise{*cookie, startTime, period, event});
    FireDue();
    return S_OK;
}

HRESULT TestClock::Unadvise(DWORD_PTR cookie)
{
    std::lock_guard lock(m_lock);
    const auto removed = std::erase_if(m_advises, [&](const Advise& a) { return a.cookie == cookie; });
    return removed ? S_OK : S_FALSE;
}

void TestClock::SetTime(REFERENCE_TIME time)
{
    std::lock_guard lock(m_lock);
    m_time = time;
    FireDue();
}

std::size_t TestClock::Waiting()
{
    std::lock_guard lock(m_lock);
    return m_advises.size();
}

bool TestClock::WaitForAdvises(std::size_t count)
{
    std::unique_lock lock(m_lock);
    return m_advised.wait_for(lock, std::chrono::seconds(20), [&] { return m_advisesMade >= count; });
}

void TestClock::FireDue()
{
    for (auto it = m_advises.begin(); it != m_advises.end();) {
        if (it->due > m_time) {
            ++it;
            continue;
        }
        it->event->Set();
        if (it->period > 0) {
            // A periodic advise fires once however far the clock jumped, then waits for its next time.
            while (it->due <= m_time) it->due += it->period;
            ++it;
        } else {
            it = m_advises.erase(it);
        }
    }
}

// ---- Source ----

class TestSourcePin::Worker : public CAMThread {
public:
    explicit Worker(TestSourcePin* pin) : m_pin(pin) {}
    ~Worker() override { Close(); }
    using CAMThread::CheckRequest;

protected:
    DWORD ThreadProc() override
    {
        DWORD request = GetRequest();
        for (;;) {
            Reply(S_OK);
            if (request == kExit) return 0;
            if (request == kRun) m_pin->Push(*this); // returns with a request pending, or idle
            request = GetRequest();
        }
    }

private:
    TestSourcePin* m_pin;
};

TestSourcePin::TestSourcePin(TestSource* filter, HRESULT* phr)
    : CBaseOutputPin("Test source pin", filter, &filter->m_csFilter, phr, "Out"), m_source(filter)
{
}

TestSourcePin::~TestSourcePin() = default;

HRESULT TestSourcePin::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IMediaSeeking::iid) return GetInterface(static_cast<IMediaSeeking*>(this), ppv);
    return CBaseOutputPin::NonDelegatingQueryInterface(riid, ppv);
}

CMediaType TestSourcePin::OfferedType() const
{
    const auto& o = m_source->Settings();
    return o.type.majortype != GUID_NULL ? o.type : MakeYv12Type(o.width, o.height);
}

HRESULT TestSourcePin::CheckMediaType(const CMediaType* type) { return *type == OfferedType() ? S_OK : S_FALSE; }

HRESULT TestSourcePin::GetMediaType(int position, CMediaType* type)
{
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    *type = OfferedType();
    return S_OK;
}

HRESULT TestSourcePin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    const auto& o = m_source->Settings();
    ALLOCATOR_PROPERTIES wanted = *request;
    wanted.cBuffers = o.bufferCount;
    wanted.cbBuffer = o.bufferSize > 0 ? static_cast<LONG>(o.bufferSize) : static_cast<LONG>(m_mt.GetSampleSize());
    ALLOCATOR_PROPERTIES actual{};
    const HRESULT hr = allocator->SetProperties(&wanted, &actual);
    if (FAILED(hr)) return hr;
    return actual.cbBuffer >= wanted.cbBuffer ? S_OK : E_FAIL;
}

HRESULT TestSourcePin::Active()
{
    HRESULT hr = CBaseOutputPin::Active();
    if (FAILED(hr) || !m_source->Settings().generate) return hr;
    m_worker = std::make_unique<Worker>(this);
    if (!m_worker->Create()) return E_FAIL;
    m_worker->CallWorker(kRun);
    return S_OK;
}

HRESULT TestSourcePin::Inactive()
{
    // Decommit first: that releases the worker if it waits for a buffer.
    const HRESULT hr = CBaseOutputPin::Inactive();
    if (m_worker) {
        m_worker->CallWorker(kExit);
        m_worker.reset();
    }
    return hr;
}

void TestSourcePin::Push(Worker& worker)
{
    const auto& o = m_source->Settings();
    const std::int64_t first = m_segmentFirst.load();
    DeliverNewSegment(first * o.frameDuration, o.sampleCount * o.frameDuration, 1.0);
    bool discontinuity = true;
    for (;;) {
        if (worker.CheckRequest(nullptr)) return;
        const std::int64_t index = m_next.load();
        if (index >= o.sampleCount) break;
        ComPtr<IMediaSample> sample;
        if (FAILED(GetDeliveryBuffer(sample.Put(), nullptr, nullptr, 0))) return;
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        std::memcpy(data, &index, sizeof index);
        sample->SetActualDataLength(sample->GetSize());
        REFERENCE_TIME start = (index - first) * o.frameDuration;
        REFERENCE_TIME stop = start + o.frameDuration;
        sample->SetTime(&start, &stop);
        sample->SetSyncPoint(TRUE);
        sample->SetDiscontinuity(discontinuity ? TRUE : FALSE);
        discontinuity = false;
        if (Deliver(sample.Get()) != S_OK) return;
        ++m_source->m_delivered;
        m_next = index + 1;
    }
    DeliverEndOfStream();
}

HRESULT TestSourcePin::GetCapabilities(DWORD* capabilities)
{
    if (!capabilities) return E_POINTER;
    *capabilities = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanSeekForwards | AM_SEEKING_CanSeekBackwards |
                    AM_SEEKING_CanGetCurrentPos | AM_SEEKING_CanGetDuration | AM_SEEKING_CanGetStopPos;
    return S_OK;
}

HRESULT TestSourcePin::CheckCapabilities(DWORD* capabilities)
{
    if (!capabilities) return E_POINTER;
    DWORD ours = 0;
    GetCapabilities(&ours);
    const DWORD wanted = *capabilities;
    *capabilities &= ours;
    return *capabilities == wanted ? S_OK : (*capabilities ? S_FALSE : E_FAIL);
}

HRESULT TestSourcePin::IsFormatSupported(const GUID* format)
{
    if (!format) return E_POINTER;
    return *format == TIME_FORMAT_MEDIA_TIME ? S_OK : S_FALSE;
}

HRESULT TestSourcePin::QueryPreferredFormat(GUID* format)
{
    if (!format) return E_POINTER;
    *format = TIME_FORMAT_MEDIA_TIME;
    return S_OK;
}

HRESULT TestSourcePin::GetTimeFormat(GUID* format) { return QueryPreferredFormat(format); }

HRESULT TestSourcePin::IsUsingTimeFormat(const GUID* format) { return IsFormatSupported(format); }

HRESULT TestSourcePin::SetTimeFormat(const GUID* format)
{
    return IsFormatSupported(format) == S_OK ? S_OK : E_INVALIDARG;
}

HRESULT TestSourcePin::GetDuration(LONGLONG* duration)
{
    if (!duration) return E_POINTER;
    *duration = m_source->Settings().sampleCount * m_source->Settings().frameDuration;
    return S_OK;
}

HRESULT TestSourcePin::GetStopPosition(LONGLONG* stop) { return GetDuration(stop); }

HRESULT TestSourcePin::GetCurrentPosition(LONGLONG* current)
{
    if (!current) return E_POINTER;
    *current = m_next.load() * m_source->Settings().frameDuration;
    return S_OK;
}

HRESULT TestSourcePin::ConvertTimeFormat(LONGLONG*, const GUID*, LONGLONG, const GUID*) { return E_NOTIMPL; }

HRESULT TestSourcePin::SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG*, DWORD)
{
    ++m_seeks;
    if (!current || (currentFlags & AM_SEEKING_PositioningBitsMask) != AM_SEEKING_AbsolutePositioning) return S_OK;
    const std::int64_t index = *current / m_source->Settings().frameDuration;
    if (!m_worker) {
        m_next = index;
        m_segmentFirst = index;
        return S_OK;
    }
    // Flush downstream so that the worker is released, stop it, then start the new segment.
    DeliverBeginFlush();
    m_worker->CallWorker(kStop);
    DeliverEndFlush();
    m_next = index;
    m_segmentFirst = index;
    m_worker->CallWorker(kRun);
    return S_OK;
}

HRESULT TestSourcePin::GetPositions(LONGLONG* current, LONGLONG* stop)
{
    if (current) GetCurrentPosition(current);
    if (stop) GetStopPosition(stop);
    return S_OK;
}

HRESULT TestSourcePin::GetAvailable(LONGLONG* earliest, LONGLONG* latest)
{
    if (earliest) *earliest = 0;
    if (latest) GetDuration(latest);
    return S_OK;
}

HRESULT TestSourcePin::SetRate(double rate) { return rate == 1.0 ? S_OK : E_INVALIDARG; }

HRESULT TestSourcePin::GetRate(double* rate)
{
    if (!rate) return E_POINTER;
    *rate = 1.0;
    return S_OK;
}

HRESULT TestSourcePin::GetPreroll(LONGLONG* preroll)
{
    if (!preroll) return E_POINTER;
    *preroll = 0;
    return S_OK;
}

TestSource::TestSource(const Options& options)
    : CBaseFilter("TestSource", nullptr, &m_csFilter, CLSID_TestSource), m_options(options)
{
    HRESULT hr = S_OK;
    m_pin = std::make_unique<TestSourcePin>(this, &hr);
}

TestSource::~TestSource() = default;

ComPtr<TestSource> TestSource::Create(const Options& options) { return ComPtr<TestSource>(new TestSource(options)); }

CBasePin* TestSource::GetPin(int index) { return index == 0 ? m_pin.get() : nullptr; }

ComPtr<TestSource> TestSource::Pushing(const CMediaType& type, long bufferSize)
{
    return Create(Options{.bufferCount = 2, .generate = false, .type = type, .bufferSize = bufferSize});
}

HRESULT TestSource::Push(const void* data, std::size_t bytes, REFERENCE_TIME start, REFERENCE_TIME stop)
{
    ComPtr<IMediaSample> sample;
    HRESULT hr = m_pin->GetDeliveryBuffer(sample.Put(), nullptr, nullptr, 0);
    if (FAILED(hr)) return hr;
    if (static_cast<long>(bytes) > sample->GetSize()) return E_INVALIDARG;
    BYTE* out = nullptr;
    sample->GetPointer(&out);
    if (bytes) std::memcpy(out, data, bytes);
    sample->SetActualDataLength(static_cast<long>(bytes));
    sample->SetTime(&start, &stop);
    hr = m_pin->Deliver(sample.Get());
    if (hr == S_OK) ++m_delivered;
    return hr;
}

HRESULT TestSource::PushEndOfStream() { return m_pin->DeliverEndOfStream(); }

// ---- Transform ----

TestTransform::TestTransform(bool skipAll, LONG bufferCount)
    : CTransformFilter("TestTransform", nullptr, CLSID_TestTransform), m_skipAll(skipAll), m_bufferCount(bufferCount)
{
}

ComPtr<TestTransform> TestTransform::Create(bool skipAll, LONG bufferCount)
{
    return ComPtr<TestTransform>(new TestTransform(skipAll, bufferCount));
}

HRESULT TestTransform::CheckInputType(const CMediaType* input)
{
    return input->majortype == MEDIATYPE_Video ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TestTransform::CheckTransform(const CMediaType* input, const CMediaType* output)
{
    return *input == *output ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TestTransform::GetMediaType(int position, CMediaType* type)
{
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    *type = InputPin()->CurrentMediaType();
    return S_OK;
}

HRESULT TestTransform::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    ALLOCATOR_PROPERTIES wanted = *request;
    wanted.cBuffers = m_bufferCount;
    wanted.cbBuffer = static_cast<LONG>(InputPin()->CurrentMediaType().GetSampleSize());
    ALLOCATOR_PROPERTIES actual{};
    const HRESULT hr = allocator->SetProperties(&wanted, &actual);
    if (FAILED(hr)) return hr;
    return actual.cbBuffer >= wanted.cbBuffer ? S_OK : E_FAIL;
}

HRESULT TestTransform::Transform(IMediaSample* in, IMediaSample* out)
{
    if (m_skipAll) return S_FALSE;
    BYTE* src = nullptr;
    BYTE* dst = nullptr;
    in->GetPointer(&src);
    out->GetPointer(&dst);
    const LONG length = std::min(in->GetActualDataLength(), out->GetSize());
    std::memcpy(dst, src, static_cast<std::size_t>(length));
    out->SetActualDataLength(length);
    ++m_transformed;
    return S_OK;
}

// ---- Sink ----

TestSinkPin::TestSinkPin(TestSink* filter, HRESULT* phr)
    : CBaseInputPin("Test sink pin", filter, &filter->m_csFilter, phr, "In"), m_sink(filter)
{
}

HRESULT TestSinkPin::CheckMediaType(const CMediaType* type)
{
    if (m_sink->m_options.onlySubtype != GUID_NULL && type->subtype != m_sink->m_options.onlySubtype) return S_FALSE;
    if (m_sink->m_options.onlyMajorType != GUID_NULL)
        return type->majortype == m_sink->m_options.onlyMajorType ? S_OK : S_FALSE;
    return m_sink->m_options.acceptAnyType ? S_OK : S_FALSE;
}

HRESULT TestSinkPin::Receive(IMediaSample* sample)
{
    if (m_sink->m_options.presentByClock && !m_sink->WaitUntilDue(sample)) return S_FALSE;
    if (m_sink->m_onPresent) m_sink->m_onPresent(sample);
    // Held across the flushing check and the keeping, so that a flush that forgets what arrived
    // cannot be followed by a sample from before it.
    std::lock_guard hold(m_sink->m_receiveLock);
    HRESULT hr = CBaseInputPin::Receive(sample);
    if (hr != S_OK) return hr;
    const std::int64_t count = ++m_sink->m_received;
    m_sink->TellProgress();
    const int failAfter = m_sink->m_failAfter.load();
    if (failAfter >= 0 && count > failAfter) return m_sink->m_failure.load();
    if (m_sink->m_options.capture) m_sink->Keep(sample);
    if (m_sink->m_options.record) {
        REFERENCE_TIME start = -1;
        REFERENCE_TIME stop = -1;
        sample->GetTime(&start, &stop);
        std::lock_guard lock(m_sink->m_recordLock);
        m_sink->m_indices.push_back(SampleIndex(sample));
        m_sink->m_times.push_back(start);
    }
    const auto& o = m_sink->m_options;
    // A slow consumer (an encoder that falls behind), imitated: tests wait for its samples, not its time.
    if (o.delayEvery > 0 && count % o.delayEvery == 0)
        std::this_thread::sleep_for(std::chrono::microseconds(o.delayMicroseconds));
    return S_OK;
}

HRESULT TestSinkPin::EndOfStream()
{
    const HRESULT hr = CheckStreaming();
    if (hr != S_OK) return hr;
    ++m_sink->m_endOfStreams;
    m_sink->TellProgress();
    m_sink->NotifyEvent(EC_COMPLETE, S_OK, 0);
    return S_OK;
}

HRESULT TestSinkPin::BeginFlush()
{
    ++m_sink->m_flushes;
    const HRESULT hr = CBaseInputPin::BeginFlush();
    if (m_sink->m_forgetOnFlush) {
        std::lock_guard hold(m_sink->m_receiveLock);
        m_sink->Clear();
        m_sink->m_endOfStreams = 0;
    }
    return hr;
}

HRESULT TestSinkPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    CBaseInputPin::NewSegment(start, stop, rate);
    ++m_sink->m_segments;
    std::lock_guard lock(m_sink->m_recordLock);
    m_sink->m_indices.clear();
    m_sink->m_times.clear();
    return S_OK;
}

TestSink::TestSink(const Options& options)
    : CBaseFilter("TestSink", nullptr, &m_csFilter, CLSID_TestSink), m_options(options)
{
    HRESULT hr = S_OK;
    m_pin = std::make_unique<TestSinkPin>(this, &hr);
}

TestSink::~TestSink() = default;

HRESULT TestSink::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (m_options.passThroughSeeking && (riid == IMediaSeeking::iid || riid == IMediaPosition::iid)) {
        CAutoLock lock(&m_csFilter);
        if (!m_position) {
            HRESULT hr = S_OK;
            auto* passThru = new CPosPassThru("Sink pass-through", GetOwner(), &hr, m_pin.get());
            IUnknown* inner = nullptr;
            passThru->NonDelegatingQueryInterface(IUnknown::iid, reinterpret_cast<void**>(&inner));
            m_position.Attach(inner);
        }
        return m_position->QueryInterface(riid, ppv);
    }
    return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

ComPtr<TestSink> TestSink::Create(const Options& options) { return ComPtr<TestSink>(new TestSink(options)); }

CBasePin* TestSink::GetPin(int index) { return index == 0 ? m_pin.get() : nullptr; }

std::vector<std::int64_t> TestSink::SegmentIndices()
{
    std::lock_guard lock(m_recordLock);
    return m_indices;
}

std::vector<REFERENCE_TIME> TestSink::SegmentTimes()
{
    std::lock_guard lock(m_recordLock);
    return m_times;
}

void TestSink::Keep(IMediaSample* sample)
{
    CapturedSample info;
    REFERENCE_TIME start = 0, stop = 0;
    info.hasStart = SUCCEEDED(sample->GetTime(&start, &stop));
    info.start = start;
    info.stop = stop;
    info.discontinuity = sample->IsDiscontinuity() == S_OK;
    info.syncPoint = sample->IsSyncPoint() == S_OK;
    AM_MEDIA_TYPE* type = nullptr;
    info.typeChanged = sample->GetMediaType(&type) == S_OK;
    if (type) DeleteMediaType(type);
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    info.size = static_cast<std::size_t>(sample->GetActualDataLength());
    std::lock_guard lock(m_keepLock);
    info.offset = m_bytes.size();
    m_bytes.insert(m_bytes.end(), data, data + info.size);
    m_samples.push_back(info);
}

bool TestSink::WaitUntilDue(IMediaSample* sample)
{
    REFERENCE_TIME start = 0, stop = 0;
    if (FAILED(sample->GetTime(&start, &stop))) return true;
    constexpr REFERENCE_TIME kNeverLate = INT64_MAX / 4;
    return WaitForPresentation(*this, *m_pin, start, kNeverLate) != Presentation::kAbandoned;
}

void TestSink::TellProgress()
{
    {
        std::lock_guard lock(m_receivedLock);
    }
    m_receivedMore.notify_all();
}

bool TestSink::WaitForReceived(std::int64_t count)
{
    std::unique_lock lock(m_receivedLock);
    return m_receivedMore.wait_for(lock, std::chrono::minutes(1), [&] { return m_received.load() >= count; });
}

bool TestSink::WaitForEndOfStreams(int count)
{
    std::unique_lock lock(m_receivedLock);
    return m_receivedMore.wait_for(lock, std::chrono::minutes(1), [&] { return m_endOfStreams.load() >= count; });
}

std::vector<std::uint8_t> TestSink::Bytes()
{
    std::lock_guard lock(m_keepLock);
    return m_bytes;
}

std::vector<CapturedSample> TestSink::Samples()
{
    std::lock_guard lock(m_keepLock);
    return m_samples;
}

void TestSink::Clear()
{
    std::lock_guard lock(m_keepLock);
    m_bytes.clear();
    m_samples.clear();
}

} // namespace testing_filters
