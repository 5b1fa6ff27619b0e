#include "render/audio_renderer.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <new>

#include "com/debug_log.h"
#include "graph/class_factory.h"
#include "graph/graph_interfaces.h"
#include "graph/system_clock.h"
#include "pipeline/event_codes.h"
#include "pipeline/media_guids.h"
#include "pipeline/presentation.h"

namespace {

constexpr REFERENCE_TIME kUnitsPerSecond = 10000000;
constexpr REFERENCE_TIME kUnitsPerMs = 10000;
// Sound waiting in the device's queue; more holds the streaming thread back.
constexpr REFERENCE_TIME kQueueAhead = 200 * kUnitsPerMs;
// Time stamps this close to the queue's end continue it; larger gaps are filled with silence
// (up to kLongestGap), and overlaps are cut from the new sample.
constexpr REFERENCE_TIME kContinuity = 20 * kUnitsPerMs;
constexpr REFERENCE_TIME kLongestGap = 1000 * kUnitsPerMs;
// How often waits on the device ask SDL's queue again (it has no way to tell when it drains).
constexpr auto kWaitStep = std::chrono::milliseconds(5);
// The device's buffer, in sample frames (21 ms at 48 kHz).
constexpr Uint16 kDeviceFrames = 1024;
constexpr REFERENCE_TIME kNeverLate = INT64_MAX / 4;

bool IsPcm16(const CMediaType& type)
{
    if (type.majortype != MEDIATYPE_Audio || type.subtype != MEDIASUBTYPE_PCM) return false;
    if (type.formattype != FORMAT_WaveFormatEx || !type.pbFormat || type.cbFormat < sizeof(WAVEFORMATEX)) return false;
    const auto* wave = reinterpret_cast<const WAVEFORMATEX*>(type.pbFormat);
    return wave->wBitsPerSample == 16 && wave->nChannels >= 1 && wave->nChannels <= 8 && wave->nSamplesPerSec >= 8000 &&
           wave->nSamplesPerSec <= 192000;
}

// The format of a 16-bit PCM type, its block and rate made consistent.
WAVEFORMATEX WaveOf(const CMediaType& type)
{
    WAVEFORMATEX wave = *reinterpret_cast<const WAVEFORMATEX*>(type.pbFormat);
    wave.nBlockAlign = static_cast<WORD>(wave.nChannels * 2);
    wave.nAvgBytesPerSec = wave.nSamplesPerSec * wave.nBlockAlign;
    return wave;
}

bool SameFormat(const WAVEFORMATEX& a, const WAVEFORMATEX& b)
{
    return a.nChannels == b.nChannels && a.nSamplesPerSec == b.nSamplesPerSec;
}

// Whole sample frames in `duration` of sound, as bytes.
std::int64_t BytesFor(REFERENCE_TIME duration, const WAVEFORMATEX& format)
{
    if (duration <= 0 || format.nBlockAlign == 0) return 0;
    const std::int64_t frames = duration * static_cast<std::int64_t>(format.nSamplesPerSec) / kUnitsPerSecond;
    return frames * format.nBlockAlign;
}

REFERENCE_TIME DurationOf(std::int64_t bytes, const WAVEFORMATEX& format)
{
    return format.nAvgBytesPerSec ? bytes * kUnitsPerSecond / format.nAvgBytesPerSec : 0;
}

} // namespace

// The renderer's reference clock. While the renderer runs, the clock follows the sound being
// heard (never going back); when nothing plays it goes on by the system's clock, and it holds
// while the renderer is paused or stopped. The graph keeps it, so it may outlive the renderer.
class CAudioClock final : public CUnknown, public IReferenceClock {
public:
    explicit CAudioClock(CAudioRenderer* renderer) : CUnknown("CAudioClock", nullptr), m_renderer(renderer)
    {
        CSystemClock::CreateInstance(nullptr, IReferenceClock::iid, m_system.PutVoid());
        m_system->GetTime(&m_time);
        m_lastSys = m_time;
    }

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv) return E_POINTER;
        if (riid == IReferenceClock::iid) return GetInterface(static_cast<IReferenceClock*>(this), ppv);
        return CUnknown::NonDelegatingQueryInterface(riid, ppv);
    }

    HRESULT GetTime(REFERENCE_TIME* time) override
    {
        if (!time) return E_POINTER;
        std::lock_guard lock(m_lock);
        Update();
        *time = m_time;
        return S_OK;
    }

    // Advises wait on the system clock, moved by the clock's current distance from it; a waiter
    // woken a little early by drift looks at the clock again.
    HRESULT AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, CAMEvent* event, DWORD_PTR* cookie) override
    {
        return m_system->AdviseTime(baseTime + streamTime - Offset(), 0, event, cookie);
    }

    HRESULT AdvisePeriodic(REFERENCE_TIME startTime, REFERENCE_TIME period, CAMEvent* event, DWORD_PTR* cookie) override
    {
        return m_system->AdvisePeriodic(startTime - Offset(), period, event, cookie);
    }

    HRESULT Unadvise(DWORD_PTR cookie) override { return m_system->Unadvise(cookie); }

    void SetRunning(bool running)
    {
        std::lock_guard lock(m_lock);
        Update();
        m_running = running;
    }

    void Detach()
    {
        std::lock_guard lock(m_lock);
        Update();
        m_renderer = nullptr;
    }

private:
    REFERENCE_TIME Offset()
    {
        std::lock_guard lock(m_lock);
        const REFERENCE_TIME sys = Update();
        return m_time - sys;
    }

    // m_lock held; returns the system time it used.
    REFERENCE_TIME Update()
    {
        REFERENCE_TIME sys = 0;
        m_system->GetTime(&sys);
        if (m_running) {
            REFERENCE_TIME heard = 0;
            if (m_renderer && m_renderer->AudioTime(sys, heard))
                m_time = std::max(m_time, heard);
            else
                m_time += sys - m_lastSys;
        }
        m_lastSys = sys;
        return sys;
    }

    std::mutex m_lock;
    CAudioRenderer* m_renderer; // guarded by m_lock; cleared when the renderer goes
    ComPtr<IReferenceClock> m_system;
    bool m_running = false;       // guarded by m_lock
    REFERENCE_TIME m_time = 0;    // guarded by m_lock
    REFERENCE_TIME m_lastSys = 0; // guarded by m_lock
};

// ---- Pin ----

CAudioRendererPin::CAudioRendererPin(CAudioRenderer* renderer, HRESULT* phr)
    : CBaseInputPin("Audio Renderer pin", renderer, &renderer->m_csFilter, phr, "Audio Input pin (rendered)"),
      m_renderer(renderer)
{
}

HRESULT CAudioRendererPin::CheckMediaType(const CMediaType* type)
{
    if (!type) return E_POINTER;
    return IsPcm16(*type) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CAudioRendererPin::SetMediaType(const CMediaType* type)
{
    const HRESULT hr = CBaseInputPin::SetMediaType(type);
    if (SUCCEEDED(hr)) {
        std::lock_guard lock(m_renderer->m_audioLock);
        m_renderer->m_connected = WaveOf(*type);
    }
    return hr;
}

HRESULT CAudioRendererPin::Receive(IMediaSample* sample)
{
    const HRESULT hr = CBaseInputPin::Receive(sample);
    if (hr != S_OK) return hr;
    return m_renderer->Render(sample);
}

HRESULT CAudioRendererPin::EndOfStream()
{
    const HRESULT hr = CheckStreaming();
    if (hr != S_OK) return hr;
    return m_renderer->Drain();
}

HRESULT CAudioRendererPin::BeginFlush()
{
    const HRESULT hr = CBaseInputPin::BeginFlush();
    m_renderer->LetWaitersGo();
    m_renderer->Flush();
    return hr;
}

// ---- Filter ----

CAudioRenderer::CAudioRenderer() : CBaseFilter("Audio Renderer", nullptr, &m_csFilter, CLSID_DSoundRender)
{
    HRESULT hr = S_OK;
    m_pin = std::make_unique<CAudioRendererPin>(this, &hr);
    m_clockObject = CreateComObject<CAudioClock>(this);
}

CAudioRenderer::~CAudioRenderer()
{
    if (m_clockObject) m_clockObject->Detach();
    CloseDevice();
}

HRESULT CAudioRenderer::CreateInstance(IUnknown*, REFIID riid, void** ppv)
{
    return CreateComObjectAs(riid, ppv, [](HRESULT*) { return new (std::nothrow) CAudioRenderer; });
}

void CAudioRenderer::Register()
{
    CClassFactory::Instance().Register(FilterRegistration{
        .clsid = CLSID_DSoundRender,
        .name = "Default Audio Renderer",
        .merit = MERIT_PREFERRED,
        .create = &CAudioRenderer::CreateInstance,
        .inputTypes = {{MEDIATYPE_Audio, MEDIASUBTYPE_PCM}},
        .isRenderer = true,
    });
}

void RegisterRenderers() { CAudioRenderer::Register(); }

HRESULT CAudioRenderer::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IReferenceClock::iid && m_clockObject) return m_clockObject->NonDelegatingQueryInterface(riid, ppv);
    return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

CBasePin* CAudioRenderer::GetPin(int index) { return index == 0 ? m_pin.get() : nullptr; }

HRESULT CAudioRenderer::Stop()
{
    HRESULT hr = S_OK;
    {
        CAutoLock lock(&m_csFilter);
        hr = CBaseFilter::Stop();
        m_clockObject->SetRunning(false);
    }
    LetWaitersGo();
    CloseDevice();
    return hr;
}

HRESULT CAudioRenderer::Pause()
{
    CAutoLock lock(&m_csFilter);
    if (State() == State_Stopped && m_pin->IsConnected()) {
        WAVEFORMATEX format;
        {
            std::lock_guard audio(m_audioLock);
            format = m_connected;
        }
        OpenDevice(format);
    }
    m_clockObject->SetRunning(false);
    {
        std::lock_guard audio(m_audioLock);
        if (m_device) SDL_PauseAudioDevice(m_device, 1);
    }
    return CBaseFilter::Pause();
}

HRESULT CAudioRenderer::Run(REFERENCE_TIME start)
{
    CAutoLock lock(&m_csFilter);
    const HRESULT hr = CBaseFilter::Run(start);
    if (FAILED(hr)) return hr;
    m_runStart = start;
    m_clockObject->SetRunning(true);
    std::lock_guard audio(m_audioLock);
    if (m_device) SDL_PauseAudioDevice(m_device, 0);
    return hr;
}

bool CAudioRenderer::OpenDevice(const WAVEFORMATEX& format)
{
    CloseDevice();
    std::lock_guard lock(m_audioLock);
    m_format = format;
    if (format.nChannels == 0) return false;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        DebugLog("audio renderer: no audio (%s); the sound is discarded\n", SDL_GetError());
        return false;
    }
    m_sdlAudio = true;
    SDL_AudioSpec wanted{};
    wanted.freq = static_cast<int>(format.nSamplesPerSec);
    wanted.format = AUDIO_S16SYS;
    wanted.channels = static_cast<Uint8>(format.nChannels);
    wanted.samples = kDeviceFrames;
    SDL_AudioSpec obtained{};
    // No changes allowed: SDL converts our format to the device's behind the queue.
    m_device = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (m_device == 0) {
        DebugLog("audio renderer: no audio device (%s); the sound is discarded\n", SDL_GetError());
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        m_sdlAudio = false;
        return false;
    }
    m_chunk = static_cast<std::int64_t>(obtained.samples) * format.nBlockAlign;
    m_queuedTotal = m_lastDequeued = 0;
    m_takenAt = 0;
    m_haveQueueEnd = false;
    m_markHead = m_markCount = 0;
    m_hasDevice = true;
    return true;
}

void CAudioRenderer::CloseDevice()
{
    std::lock_guard lock(m_audioLock);
    if (m_device) SDL_CloseAudioDevice(m_device);
    m_device = 0;
    if (m_sdlAudio) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    m_sdlAudio = false;
    m_hasDevice = false;
    m_haveQueueEnd = false;
    m_markHead = m_markCount = 0;
}

void CAudioRenderer::Flush()
{
    std::lock_guard lock(m_audioLock);
    if (m_device) {
        m_queuedTotal -= SDL_GetQueuedAudioSize(m_device);
        SDL_ClearQueuedAudio(m_device);
    }
    m_haveQueueEnd = false;
    m_markHead = m_markCount = 0;
}

bool CAudioRenderer::Abandoned() const { return State() == State_Stopped || m_pin->IsFlushing(); }

bool CAudioRenderer::WaitForRoom()
{
    for (;;) {
        if (Abandoned()) return false;
        {
            std::lock_guard lock(m_audioLock);
            if (!m_device) return true;
            if (static_cast<std::int64_t>(SDL_GetQueuedAudioSize(m_device)) < BytesFor(kQueueAhead, m_format)) return true;
        }
        WaitStep();
    }
}

void CAudioRenderer::WaitStep()
{
    std::unique_lock lock(m_waitLock);
    m_waitWake.wait_for(lock, kWaitStep, [this] { return Abandoned(); });
}

void CAudioRenderer::LetWaitersGo()
{
    {
        std::lock_guard lock(m_waitLock);
    }
    m_waitWake.notify_all();
}

HRESULT CAudioRenderer::Render(IMediaSample* sample)
{
    // A new format mid-stream (another track): the device is opened anew for it.
    AM_MEDIA_TYPE* changed = nullptr;
    if (sample->GetMediaType(&changed) == S_OK && changed) {
        CMediaType type(*changed);
        DeleteMediaType(changed);
        if (IsPcm16(type)) {
            const WAVEFORMATEX wave = WaveOf(type);
            bool reopen = false;
            {
                std::lock_guard lock(m_audioLock);
                m_connected = wave;
                reopen = m_device && !SameFormat(wave, m_format);
            }
            if (reopen) {
                OpenDevice(wave);
                std::lock_guard lock(m_audioLock);
                if (m_device && State() == State_Running) SDL_PauseAudioDevice(m_device, 0);
            }
        }
    }
    REFERENCE_TIME start = 0, stop = 0;
    const bool timed = SUCCEEDED(sample->GetTime(&start, &stop));
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || !data) return S_OK;
    const long length = sample->GetActualDataLength();
    if (length <= 0) return S_OK;

    if (!m_hasDevice.load()) {
        // No device: the sound is dropped when its time comes, so that playback still paces.
        if (timed && WaitForPresentation(*this, *m_pin, start, kNeverLate) == Presentation::kAbandoned) return S_FALSE;
        return S_OK;
    }
    if (!WaitForRoom()) return S_FALSE;
    // Read before the audio lock: the clock takes it.
    const bool running = State() == State_Running;
    REFERENCE_TIME streamNow = 0;
    if (running && FAILED(StreamTime(streamNow))) streamNow = 0;
    Queue(data, length, start, timed, streamNow, running);
    return S_OK;
}

void CAudioRenderer::Queue(const BYTE* data, long length, REFERENCE_TIME start, bool timed, REFERENCE_TIME streamNow,
                           bool running)
{
    std::lock_guard lock(m_audioLock);
    if (!m_device || Abandoned()) return;
    const WAVEFORMATEX& f = m_format;
    length -= length % f.nBlockAlign;
    if (!m_haveQueueEnd) {
        // The first sound since opening or a flush plays from where the stream is: from the
        // start when the graph has yet to run, from now when it runs.
        m_queueEnd = running ? streamNow : 0;
        m_haveQueueEnd = true;
        AddMark(m_queuedTotal, m_queueEnd);
    }
    if (!timed) start = m_queueEnd;
    const REFERENCE_TIME gap = start - m_queueEnd;
    if (gap > kContinuity && gap <= kLongestGap) {
        QueueSilence(BytesFor(gap, f));
    } else if (gap > kLongestGap) {
        AddMark(m_queuedTotal, start);
    } else if (gap < -kContinuity) {
        // Sound for a time already queued or past: its late part is cut.
        const std::int64_t late = BytesFor(-gap, f);
        if (late >= length) return;
        data += late;
        length -= static_cast<long>(late);
        start += DurationOf(late, f);
    }
    if (SDL_QueueAudio(m_device, data, static_cast<Uint32>(length)) != 0) {
        DebugLog("audio renderer: queueing failed (%s)\n", SDL_GetError());
        return;
    }
    m_queuedTotal += length;
    // Small differences are absorbed: the queue's own time goes on.
    m_queueEnd = (std::abs(gap) <= kContinuity ? m_queueEnd : start) + DurationOf(length, f);
}

void CAudioRenderer::QueueSilence(std::int64_t bytes)
{
    if (bytes <= 0) return;
    if (m_silence.size() < static_cast<std::size_t>(bytes)) m_silence.assign(static_cast<std::size_t>(bytes), 0);
    if (SDL_QueueAudio(m_device, m_silence.data(), static_cast<Uint32>(bytes)) == 0) m_queuedTotal += bytes;
}

void CAudioRenderer::AddMark(std::int64_t offset, REFERENCE_TIME time)
{
    if (m_markCount == m_marks.size()) { // full: the oldest goes
        m_markHead = (m_markHead + 1) % m_marks.size();
        --m_markCount;
    }
    m_marks[(m_markHead + m_markCount) % m_marks.size()] = Mark{offset, time};
    ++m_markCount;
}

bool CAudioRenderer::PlayingAt(REFERENCE_TIME sys, std::int64_t& position) const
{
    if (!m_device) return false;
    const std::int64_t queued = SDL_GetQueuedAudioSize(m_device);
    const std::int64_t dequeued = m_queuedTotal - queued;
    if (dequeued != m_lastDequeued) {
        m_lastDequeued = dequeued;
        m_takenAt = sys;
    }
    if (dequeued <= 0 || m_chunk <= 0) return false;
    const std::int64_t elapsed = BytesFor(sys - m_takenAt, m_format);
    if (elapsed >= m_chunk && queued == 0) return false; // run dry: nothing plays
    position = std::max<std::int64_t>(0, dequeued - m_chunk) + std::min(elapsed, m_chunk);
    return true;
}

bool CAudioRenderer::AudioTime(REFERENCE_TIME sys, REFERENCE_TIME& time)
{
    std::lock_guard lock(m_audioLock);
    std::int64_t position = 0;
    if (!PlayingAt(sys, position) || m_markCount == 0) return false;
    // Marks already passed give way to the next.
    while (m_markCount > 1 && m_marks[(m_markHead + 1) % m_marks.size()].offset <= position) {
        m_markHead = (m_markHead + 1) % m_marks.size();
        --m_markCount;
    }
    const Mark& mark = m_marks[m_markHead];
    if (position < mark.offset) return false;
    time = m_runStart.load() + mark.time + DurationOf(position - mark.offset, m_format);
    return true;
}

HRESULT CAudioRenderer::Drain()
{
    // The end is told when the last sound has been heard.
    for (;;) {
        if (Abandoned()) return S_OK;
        if (State() == State_Running) {
            std::lock_guard lock(m_audioLock);
            if (!m_device) break;
            std::int64_t position = 0;
            if (SDL_GetQueuedAudioSize(m_device) == 0 && !PlayingAt(CSystemClock::Now(), position)) break;
        }
        WaitStep();
    }
    NotifyEvent(EC_COMPLETE, S_OK, 0);
    return S_OK;
}

bool CAudioRenderer::HasDevice() const { return m_hasDevice.load(); }

std::int64_t CAudioRenderer::PlayedBytes() const
{
    std::lock_guard lock(m_audioLock);
    return m_device ? m_queuedTotal - static_cast<std::int64_t>(SDL_GetQueuedAudioSize(m_device)) : 0;
}

std::int64_t CAudioRenderer::PlayingPosition() const
{
    const REFERENCE_TIME sys = CSystemClock::Now();
    std::lock_guard lock(m_audioLock);
    std::int64_t position = 0;
    if (!PlayingAt(sys, position)) position = m_lastDequeued;
    return position;
}

WAVEFORMATEX CAudioRenderer::Format() const
{
    std::lock_guard lock(m_audioLock);
    return m_format;
}
