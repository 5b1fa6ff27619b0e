#pragma once
// CConvFilter ("Conver"): the last filter of a conversion graph. It keeps what lies inside the
// task's time range, turns the decoded pictures into a constant-rate sequence at the profile's
// frame rate, hands pictures and sound to the OutputWriter, offers every fifth picture on
// "Video Pre" for a preview, and reports the end of the conversion with EC_COMPLETE.
//
// Sound is written where its time stamps put it: a gap (the sound starts later than the
// pictures, or a jump at a cell boundary) is filled with silence and an overlap is cut, so that
// sound and pictures stay together. At the end the shorter of the two is made up to the other's
// length, so that titles merged into one file stay in step too.
//
// Threads: the two input pins are driven by two upstream streaming threads; the filter lock
// serialises the writer calls and the position updates. Sound, converted much faster than
// pictures, waits while it is more than a second ahead of them: otherwise the splitter reads on
// for the sound and its queue of pictures grows without need.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "pipeline/base_filter.h"
#include "pipeline/base_input_pin.h"
#include "pipeline/base_output_pin.h"
#include "pipeline/format_blocks.h"
#include "pipeline/output_queue.h"

class OutputWriter;
class CConvFilter;

// A stretch of a task's range (100 ns from the range start) that came without pictures or
// without sound: data that could not be read.
struct LostStretch {
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
};
// The stretches in order, with those that overlap or lie within half a second of each other
// joined (the pictures and the sound of one gap are one stretch).
std::vector<LostStretch> MergeLost(std::vector<LostStretch> lost);

inline constexpr CLSID CLSID_ConvFilter = MakeGuid("{A4DA1077-2239-4C9E-AA16-C88DD9F35131}");

class CConvInputPin : public CBaseInputPin {
public:
    CConvInputPin(CConvFilter* filter, HRESULT* phr, const char* name, bool video);
    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT CompleteConnect(IPin* receivePin) override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT Active() override;
    HRESULT Inactive() override;
    HRESULT BeginFlush() override;
    bool AtEndOfStream() const { return m_endOfStream.load(); }

private:
    CConvFilter* const m_sink;
    const bool m_video;
    std::atomic<bool> m_endOfStream{false};
};

class CVideoPrePin : public CBaseOutputPin {
public:
    CVideoPrePin(CConvFilter* filter, HRESULT* phr);
    ~CVideoPrePin() override;
    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT GetMediaType(int position, CMediaType* type) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT Active() override;
    HRESULT Inactive() override;
    HRESULT DeliverEndOfStream() override;
    // Copies a picture of width × height into a preview sample and queues it.
    void Offer(const BYTE* picture, int width, int height);

private:
    CConvFilter* const m_sink;
    int m_stride = 0;
    std::unique_ptr<OutputQueue> m_queue;
};

class CConvFilter : public CBaseFilter {
public:
    CConvFilter();
    ~CConvFilter() override;
    // A new sink with one reference for the caller.
    static HRESULT Create(CConvFilter** filter);

    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    int GetPinCount() override { return 3; }
    // A run from the stopped state starts with no input ended.
    HRESULT Pause() override;
    // Wakes the streaming threads that wait while the graph is paused.
    HRESULT Run(REFERENCE_TIME start) override;
    // Wakes the streaming threads that wait for the other stream or for a run.
    HRESULT Stop() override;
    CBasePin* GetPin(int index) override;

    // Settings, before the graph runs.
    void SetWriter(OutputWriter* writer) { m_writer = writer; }
    void SetFrameDuration(double duration) { m_frameDuration = duration; }
    void SetRange(REFERENCE_TIME start, REFERENCE_TIME end)
    {
        m_requestedStart = start;
        m_rangeStart = start;
        m_rangeEnd = end;
    }
    // The range's length as the disc gives it (100 ns; 0 unknown): pictures or sound that end
    // earlier than that end too early.
    void SetExpectedLength(REFERENCE_TIME length) { m_expectedLength = length; }
    // Where the file begins: the range's start, moved by less than half a picture onto the
    // boundary of the first picture once it has come (so that every picture keeps its place
    // against the sound).
    REFERENCE_TIME RangeStart() const { return m_rangeStart.load(); }
    REFERENCE_TIME RangeEnd() const { return m_rangeEnd; }
    // Any time (the progress window's "Show Preview").
    void SetPreviewEnabled(bool enabled) { m_previewEnabled = enabled; }
    // Called on a streaming thread whenever it starts to wait in the sink (for a run, for the
    // pictures, or for where the file begins), with whether it is the pictures' thread, so that
    // tests can wait for that. Any thread, any time.
    void SetHoldObserver(std::function<void(bool video)> observer)
    {
        std::lock_guard lock(m_progressLock);
        m_holdObserver = std::move(observer);
    }

    // From the range start, 100 ns: the next output picture's slot, and the last sound's start.
    REFERENCE_TIME NextVideoSlot() const { return m_nextVideoSlot.load(); }
    REFERENCE_TIME AudioPosition() const { return m_audioPosition.load(); }
    // Sound samples written for this task, and the silence put in or the sound cut to keep it
    // in step (tests, diagnostics).
    std::int64_t AudioSamplesWritten() const { return m_audioSamples; }
    std::int64_t SilenceInserted() const { return m_silenceInserted; }
    std::int64_t SamplesCut() const { return m_samplesCut; }
    // The stretches that came without pictures or sound (more than half a second each), merged
    // and in order. Complete once the sink has reported completion.
    std::vector<LostStretch> Lost();

private:
    friend class CConvInputPin;
    friend class CVideoPrePin;

    HRESULT ReceiveVideo(IMediaSample* sample);
    HRESULT ReceiveAudio(IMediaSample* sample);
    void AudioConnected(const CMediaType& type);
    void VideoConnected(const CMediaType& type);
    // After each end of stream: once every connected input has ended, even out the sound and
    // the pictures and report completion.
    void CheckCompletion();
    // A paused conversion holds its samples here until it runs again (or stops or flushes), so
    // pausing the graph pauses the encoding.
    void WaitWhilePaused(const CConvInputPin& pin);
    // Filter lock held. False when the writer failed.
    bool WriteSilence(std::int64_t samples);
    // Filter lock held: the first failed write stops the conversion (EC_ERRORABORT with
    // ZZ_E_WRITE_FAILED; the writer says why), and every later sample is refused.
    HRESULT WriteFailed();
    void AddLost(REFERENCE_TIME start, REFERENCE_TIME stop); // filter lock held
    // Holds the sound's thread while the sound is too far ahead of the pictures.
    void WaitForPictures(REFERENCE_TIME position);
    // Filter lock held, for the first picture of the range, [start, stop): moves the range's
    // start onto the picture boundary nearest to it. False when the picture lies mostly before
    // the start and is left out (the next one begins the file).
    bool FixStart(REFERENCE_TIME start, REFERENCE_TIME stop);
    // Holds the sound's thread until the first picture has fixed where the file begins (when
    // there are pictures to wait for).
    void WaitForStart();
    void PicturesMoved();

    // Lock order: a pin's receive path takes m_csFilter; m_progressLock is taken alone.
    CCritSec m_csFilter;
    std::unique_ptr<CConvInputPin> m_audioIn;    // made with the filter, never changed
    std::unique_ptr<CConvInputPin> m_videoIn;    // made with the filter, never changed
    std::unique_ptr<CVideoPrePin> m_videoPre;    // made with the filter, never changed
    ComPtr<IUnknown> m_position;                 // filter lock: the pass-through, made on first request

    // Set before the run (application thread, the graph stopped), read by the streaming threads.
    OutputWriter* m_writer = nullptr;            // calls into it under the filter lock
    double m_frameDuration = 400000;
    REFERENCE_TIME m_requestedStart = 0;
    REFERENCE_TIME m_rangeEnd = 0;
    REFERENCE_TIME m_expectedLength = 0;
    // Set at connection (the graph stopped), read by the streaming threads.
    BITMAPINFOHEADER m_videoFormat{};
    int m_sampleRate = 0;
    int m_blockAlign = 0;
    std::vector<std::uint8_t> m_silence;         // a block of zero samples
    // Any thread.
    std::atomic<REFERENCE_TIME> m_rangeStart{0}; // written by FixStart under the filter lock, once a run
    std::atomic<bool> m_startFixed{false};       // written under the filter lock
    std::atomic<bool> m_previewEnabled{true};
    std::atomic<REFERENCE_TIME> m_nextVideoSlot{0}; // written under the filter lock
    std::atomic<REFERENCE_TIME> m_audioPosition{0}; // written under the filter lock
    // Filter lock.
    bool m_completed = false;
    bool m_writeFailed = false;
    std::int64_t m_audioSamples = 0;
    std::int64_t m_silenceInserted = 0;
    std::int64_t m_samplesCut = 0;
    REFERENCE_TIME m_videoEnd = kUnset;          // the latest picture's stop
    std::vector<LostStretch> m_lost;
    static constexpr REFERENCE_TIME kUnset = INT64_MIN;
    std::vector<std::uint8_t> m_lastPicture;     // to make the pictures up to the sound's end
    std::mutex m_progressLock;
    std::condition_variable m_progress;      // with m_progressLock: the pictures moved on, ended, or streaming stopped
    std::function<void(bool)> m_holdObserver; // guarded by m_progressLock; called on the streaming threads
    // Waits on m_progress (lock held) until `done`, telling the observer when it has to wait.
    template <class Done>
    void Hold(std::unique_lock<std::mutex>& lock, bool video, Done done)
    {
        if (done()) return;
        if (m_holdObserver) m_holdObserver(video);
        m_progress.wait(lock, done);
    }
};
