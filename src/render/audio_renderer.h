#pragma once
// CAudioRenderer: the default audio output. It plays 16-bit PCM through SDL2's audio device and
// is the graph's reference clock: while the device plays, the clock follows the samples it has
// really played, so pictures timed by the clock follow the sound. With no audio device (a
// headless machine) the clock runs on the system's, and the sound is discarded when its time
// comes, so playback still paces.
//
// The device is opened when the filter leaves the stopped state and closed when it stops; it is
// paused while the filter is. Some 200 ms of sound wait in the device's queue; a flush empties it.
//
// Threads: state changes come from the application thread, samples from one streaming thread,
// and the clock is read from any thread.

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "pipeline/base_filter.h"
#include "pipeline/base_input_pin.h"
#include "pipeline/format_blocks.h"

inline constexpr CLSID CLSID_DSoundRender = MakeGuid("{79376820-07D0-11CF-A24D-0020AFD79767}");

class CAudioRenderer;
class CAudioClock;

class CAudioRendererPin : public CBaseInputPin {
public:
    CAudioRendererPin(CAudioRenderer* renderer, HRESULT* phr);
    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT SetMediaType(const CMediaType* type) override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;

private:
    CAudioRenderer* const m_renderer;
};

class CAudioRenderer : public CBaseFilter {
public:
    CAudioRenderer();
    ~CAudioRenderer() override;
    static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv);
    // Registers the renderer with the class factory, so that rendering a sound pin ends here.
    static void Register();

    // Also IReferenceClock: the renderer's clock.
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT Stop() override;
    HRESULT Pause() override;
    HRESULT Run(REFERENCE_TIME start) override;

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override;

    // Whether an audio device plays the sound (false: discarded, system clock). Valid once the
    // filter has left the stopped state.
    bool HasDevice() const;
    // Bytes of sound the device has taken since it was opened, and the byte being heard now
    // (interpolated within the device's buffer). With SDL's disk driver the first is the size of
    // the file written so far.
    std::int64_t PlayedBytes() const;
    std::int64_t PlayingPosition() const;
    // The format the device was opened with (zeroed before).
    WAVEFORMATEX Format() const;

private:
    friend class CAudioRendererPin;
    friend class CAudioClock;

    // A byte of the device's stream and the stream time it plays at.
    struct Mark {
        std::int64_t offset = 0;
        REFERENCE_TIME time = 0;
    };

    HRESULT Render(IMediaSample* sample);
    HRESULT Drain();
    bool OpenDevice(const WAVEFORMATEX& format);
    void CloseDevice();
    void Flush();
    // Waits until the queue has room; false when a flush or a stop came first.
    bool WaitForRoom();
    void Queue(const BYTE* data, long length, REFERENCE_TIME start, bool timed, REFERENCE_TIME streamNow, bool running);
    void QueueSilence(std::int64_t bytes);
    void AddMark(std::int64_t offset, REFERENCE_TIME time);
    // The byte being heard at system time `sys` (m_audioLock held); false while nothing plays.
    bool PlayingAt(REFERENCE_TIME sys, std::int64_t& position) const;
    // The clock's reading from the sound at system time `sys`: the run's start plus the stream
    // time being heard; false while nothing plays (the clock then goes on by the system's).
    bool AudioTime(REFERENCE_TIME sys, REFERENCE_TIME& time);
    bool Abandoned() const;
    // A step of a wait on the device: SDL tells nobody when its queue drains, so it is asked
    // again after `kWaitStep`; a stop or a flush (LetWaitersGo) ends the step at once.
    void WaitStep();
    void LetWaitersGo();

    CCritSec m_csFilter;
    std::unique_ptr<CAudioRendererPin> m_pin;
    ComPtr<CAudioClock> m_clockObject;

    std::mutex m_waitLock;
    std::condition_variable m_waitWake; // a stop or a flush: the waits on the device end

    mutable std::mutex m_audioLock;
    std::uint32_t m_device = 0;          // guarded by m_audioLock; 0: none
    bool m_sdlAudio = false;             // guarded by m_audioLock: the audio subsystem is ours
    WAVEFORMATEX m_connected{};          // guarded by m_audioLock: the pin's type
    WAVEFORMATEX m_format{};             // guarded by m_audioLock: the device's
    std::int64_t m_queuedTotal = 0;      // guarded by m_audioLock: bytes ever queued since opening
    mutable std::int64_t m_lastDequeued = 0; // guarded by m_audioLock: bytes taken at the last look
    std::int64_t m_chunk = 0;                // guarded by m_audioLock: the device's buffer
    mutable REFERENCE_TIME m_takenAt = 0;    // guarded by m_audioLock: system time of the last take
    bool m_haveQueueEnd = false;         // guarded by m_audioLock
    REFERENCE_TIME m_queueEnd = 0;       // guarded by m_audioLock: stream time after the last queued byte
    std::array<Mark, 64> m_marks{};      // guarded by m_audioLock: a ring, oldest first
    std::size_t m_markHead = 0, m_markCount = 0;
    std::vector<BYTE> m_silence;         // streaming thread: zeros for gaps
    std::atomic<bool> m_hasDevice{false};
    std::atomic<REFERENCE_TIME> m_runStart{0}; // the time the filter last ran from
};

// Registers the renderers of the engine (the audio renderer).
void RegisterRenderers();
