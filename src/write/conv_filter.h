#pragma once
// CConvFilter ("Conver"): the last filter of a conversion graph. It keeps what lies inside the
// task's time range, turns the decoded pictures into a constant-rate sequence at the profile's
// frame rate, hands pictures and sound to the OutputWriter, offers every fifth picture on
// "Video Pre" for a preview, and reports the end of the conversion with EC_COMPLETE.
//
// Sound is written where its time stamps put it: a gap (the sound starts later than the
// pictures, or a jump at a cell boundary) is filled with silence and an overlap is cut, so that
// sound and pictures stay together. At the end the shorter of the two is made up to the other's
// length, so that titles merged into one file stay in step too. A sound stream that no pin feeds
// (a title without sound in a file with sound) is silence throughout.
//
// A file may take several sound streams: each has an input pin of its own ("Audio In", then
// "Audio In 2", … added before the graph is connected) with its own place, silence and cuts, and
// at the end every one is made up to the pictures' length.
//
// Streams the writer copies come as the source codes them: a framer cuts them into whole frames,
// which are written at their own times from where the file begins. Copied pictures begin at the
// key picture at or before the range's start (leaving out the pictures of its group that are shown
// before it and need the group before), and end before the first key picture at or after the
// range's end; copied sound and subtitles keep the frames that begin within the range. Each
// subtitle stream has an input of its own ("Subtitle In", "Subtitle In 2", …).
//
// Threads: each input pin is driven by an upstream streaming thread; the filter lock
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
#include "write/copied_stream.h"
#include "write/output_writer.h"

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
    // The pictures' pin, or the pin of a sound or subtitle stream (`index` 0 the first).
    CConvInputPin(CConvFilter* filter, HRESULT* phr, const char* name, StreamKind kind, int index);
    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT CompleteConnect(IPin* receivePin) override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT Active() override;
    HRESULT Inactive() override;
    HRESULT BeginFlush() override;
    bool AtEndOfStream() const { return m_endOfStream.load(); }
    // The sound stream the pin feeds, or −1 for the others.
    int Sound() const { return m_kind == StreamKind::kAudio ? m_index : -1; }
    StreamKind Kind() const { return m_kind; }
    int Index() const { return m_index; }

private:
    CConvFilter* const m_sink;
    const StreamKind m_kind;
    const int m_index;
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

class CConvFilter : public CBaseFilter, private CopiedStream::Sink {
public:
    CConvFilter();
    ~CConvFilter() override;
    // A new sink with one reference for the caller.
    static HRESULT Create(CConvFilter** filter);

    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    int GetPinCount() override { return 3 + static_cast<int>(m_sounds.size()) - 1 + static_cast<int>(m_subtitles.size()); }
    // A run from the stopped state starts with no input ended.
    HRESULT Pause() override;
    // Wakes the streaming threads that wait while the graph is paused. A sink that no input
    // feeds at all (a title without sound, converted to sound only) completes at once.
    HRESULT Run(REFERENCE_TIME start) override;
    // Wakes the streaming threads that wait for the other stream or for a run.
    HRESULT Stop() override;
    CBasePin* GetPin(int index) override;

    // Adds an input pin for one more sound stream ("Audio In 2", …), written to the writer's next
    // sound stream; its index among the pins is the count before. Application thread, the graph
    // stopped and the pin not yet connected.
    void AddSoundInput();
    int SoundInputs() const { return static_cast<int>(m_sounds.size()); }
    // Whether a sound stream's input is connected.
    bool SoundConnected(int sound) const
    {
        return sound >= 0 && sound < SoundInputs() && m_sounds[static_cast<std::size_t>(sound)]->pin->IsConnected();
    }
    // Adds an input for the writer's next subtitle stream ("Subtitle In", "Subtitle In 2", …),
    // after the sound inputs; as AddSoundInput.
    void AddSubtitleInput();
    // Where this task begins on the file's time line (100 ns): copied streams are written from
    // there. Before the graph runs.
    void SetFileOffset(REFERENCE_TIME offset) { m_fileOffset = offset; }

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
    REFERENCE_TIME RangeStart() const override { return m_rangeStart.load(); }
    REFERENCE_TIME RangeEnd() const override { return m_rangeEnd; }
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
    REFERENCE_TIME AudioPosition() const { return m_sounds.front()->position.load(); }
    // Sound samples written for this task to a sound stream, and the silence put in or the sound
    // cut to keep it in step (tests, diagnostics).
    std::int64_t AudioSamplesWritten(int sound = 0) const { return SoundOf(sound).samples; }
    std::int64_t SilenceInserted(int sound = 0) const { return SoundOf(sound).silenceInserted; }
    std::int64_t SamplesCut(int sound = 0) const { return SoundOf(sound).samplesCut; }
    // The stretches that came without pictures or sound (more than half a second each), merged
    // and in order. Complete once the sink has reported completion.
    std::vector<LostStretch> Lost();

private:
    friend class CConvInputPin;
    friend class CVideoPrePin;

    // One sound stream's pin and where it stands.
    struct SoundInput {
        std::unique_ptr<CConvInputPin> pin;           // made with the filter or by AddSoundInput
        std::unique_ptr<CopiedStream> copy;           // when the writer copies this stream
        // Set at connection (the graph stopped), read by the streaming thread.
        int sampleRate = 0;
        int blockAlign = 0;
        std::vector<std::uint8_t> silence;            // a block of zero samples
        std::atomic<REFERENCE_TIME> position{0};      // the last sound's start; written under the filter lock
        // Filter lock.
        std::int64_t samples = 0;
        std::int64_t silenceInserted = 0;
        std::int64_t samplesCut = 0;
        // Unconnected, but the file has a stream for it (a title without sound): it gets silence
        // to the pictures' end, or to the range's length in a file without pictures. Set while
        // the graph pauses from stopped.
        bool unfed = false;
        bool Connected() const { return pin->IsConnected() && sampleRate > 0 && blockAlign > 0; }
        // Written to: connected with a known format, or unfed.
        bool Placed() const { return (unfed || pin->IsConnected()) && sampleRate > 0 && blockAlign > 0; }
        REFERENCE_TIME End() const { return static_cast<REFERENCE_TIME>(static_cast<double>(samples) * 1e7 / sampleRate); }
    };
    const SoundInput& SoundOf(int sound) const { return *m_sounds[static_cast<std::size_t>(sound)]; }
    // Whether the writer has a stream for this sound.
    bool Writes(const SoundInput& sound) const;
    bool AnySoundConnected() const;

    struct SubtitleInput {
        std::unique_ptr<CConvInputPin> pin;
        std::unique_ptr<CopiedStream> copy;
    };
    // The copy a pin feeds, or null when its stream is decoded.
    CopiedStream* CopyOf(const CConvInputPin& pin);
    CopiedStream::Sink& CopySink() { return *this; }
    HRESULT ReceiveCopied(const CConvInputPin& pin, CopiedStream& copy, IMediaSample* sample);
    // Filter lock held: the end of a copied stream's data.
    void EndCopied(CopiedStream& copy);
    // Filter lock held, stopped: every copy starts afresh.
    void ResetCopies();
    // Where the copied streams are placed, and what they tell (filter lock held).
    bool StartFixed() const override { return m_startFixed.load(); }
    REFERENCE_TIME FileOffset() const override { return m_fileOffset; }
    void BeginFileAt(REFERENCE_TIME start) override;
    void LostData(REFERENCE_TIME start, REFERENCE_TIME stop) override { AddLost(start, stop); }
    void PicturesWritten(REFERENCE_TIME end) override;
    void SoundAt(std::size_t index, REFERENCE_TIME position) override { m_sounds[index]->position = position; }
    void Describe(const CopiedStream& stream, bool confirmed) override;
    bool Write(const CopiedStream& stream, const CopiedPacket& packet) override;

    HRESULT ReceiveVideo(IMediaSample* sample);
    HRESULT ReceiveAudio(SoundInput& sound, IMediaSample* sample);
    void AudioConnected(SoundInput& sound, const CMediaType& type);
    void VideoConnected(const CMediaType& type);
    // After each end of stream: once every connected input has ended, even out the sound and
    // the pictures and report completion.
    void CheckCompletion();
    // A paused conversion holds its samples here until it runs again (or stops or flushes), so
    // pausing the graph pauses the encoding.
    void WaitWhilePaused(const CConvInputPin& pin);
    // Filter lock held. False when the writer failed.
    bool WriteSilence(SoundInput& sound, std::int64_t samples);
    // Filter lock held: the first failed write stops the conversion (EC_ERRORABORT with
    // ZZ_E_WRITE_FAILED; the writer says why), and every later sample is refused.
    HRESULT WriteFailed();
    void AddLost(REFERENCE_TIME start, REFERENCE_TIME stop); // filter lock held
    // Holds a sound's thread while the sound is too far ahead of the pictures.
    void WaitForPictures(const CConvInputPin& pin, REFERENCE_TIME position);
    // Filter lock held, for the first picture of the range, [start, stop): moves the range's
    // start onto the picture boundary nearest to it. False when the picture lies mostly before
    // the start and is left out (the next one begins the file).
    bool FixStart(REFERENCE_TIME start, REFERENCE_TIME stop);
    // Holds a sound's thread until the first picture has fixed where the file begins (when
    // there are pictures to wait for).
    void WaitForStart(const CConvInputPin& pin);
    // Wakes every thread that waits in the sink: the start fixed, an end, a stop, a flush.
    void PicturesMoved();
    // After m_nextVideoSlot moved on: wakes a sound thread whose wait it ends.
    void PicturePlaced();

    // Lock order: a pin's receive path takes m_csFilter; m_progressLock is taken alone.
    CCritSec m_csFilter;
    std::vector<std::unique_ptr<SoundInput>> m_sounds; // the first made with the filter; more while stopped
    std::unique_ptr<CConvInputPin> m_videoIn;    // made with the filter, never changed
    std::unique_ptr<CopiedStream> m_videoCopy;   // at connection, when the writer copies the pictures
    std::vector<std::unique_ptr<SubtitleInput>> m_subtitles; // added while stopped
    std::unique_ptr<CVideoPrePin> m_videoPre;    // made with the filter, never changed
    ComPtr<IUnknown> m_position;                 // filter lock: the pass-through, made on first request

    // Set before the run (application thread, the graph stopped), read by the streaming threads.
    OutputWriter* m_writer = nullptr;            // calls into it under the filter lock
    double m_frameDuration = 400000;
    REFERENCE_TIME m_requestedStart = 0;
    REFERENCE_TIME m_rangeEnd = 0;
    REFERENCE_TIME m_expectedLength = 0;
    REFERENCE_TIME m_fileOffset = 0;
    // Set at connection (the graph stopped), read by the streaming threads.
    BITMAPINFOHEADER m_videoFormat{};
    // Any thread.
    std::atomic<REFERENCE_TIME> m_rangeStart{0}; // written by FixStart under the filter lock, once a run
    std::atomic<bool> m_startFixed{false};       // written under the filter lock
    std::atomic<bool> m_previewEnabled{true};
    std::atomic<REFERENCE_TIME> m_nextVideoSlot{0}; // written under the filter lock
    // The lowest slot a held sound thread waits for the pictures to reach.
    static constexpr REFERENCE_TIME kNobodyWaits = INT64_MAX;
    std::atomic<REFERENCE_TIME> m_soundWaitsFor{kNobodyWaits};
    // Filter lock.
    bool m_completed = false;
    bool m_writeFailed = false;
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
