#pragma once
// CMpegSplitterFilter: turns an MPEG program stream (a DVD title), transport stream, bare PES or
// PVA stream into separate video, audio and subpicture streams, one output pin per class, each
// serving the class's first stream; the others are reachable through IAMStreamSelect. The
// application hands it the DVD title record and the range to deliver through IMyMpegSplitter.

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "demux/base_splitter_filter.h"
#include "demux/mpeg_splitter_file.h"

inline constexpr CLSID CLSID_MpegSplitter = MakeGuid("{3E5F1A62-8C4B-4D17-9B1E-6A2C0F7D5E93}");

class CMpegSplitterFilter : public CBaseSplitterFilter, public IAMStreamSelect, public IMyMpegSplitter {
public:
    CMpegSplitterFilter(IUnknown* outer, HRESULT* phr);
    ~CMpegSplitterFilter() override;

    // A new splitter with one reference for the caller.
    static HRESULT Create(IBaseFilter** filter);

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT BuildOutputPins(IAsyncReader* reader) override;
    HRESULT PrepareDemux() override;
    void SeekDemux(REFERENCE_TIME time) override;
    void RunDemux() override;
    HRESULT ReleaseOutputPins() override;

    // IMyMpegSplitter
    HRESULT SetTitleInfo(const TitleInfo* title) override;
    HRESULT SetPlayRange(LONGLONG startMs, LONGLONG lengthMs, LONGLONG durationMs) override;
    HRESULT SetTimeMap(const SplitterTimeMark* marks, int count) override;

    // IAMStreamSelect
    HRESULT Count(DWORD* streams) override;
    HRESULT Info(LONG index, AM_MEDIA_TYPE** type, DWORD* flags, LCID* locale, DWORD* group, char** name,
                 IUnknown** object, IUnknown** unknown) override;
    HRESULT Enable(LONG index, DWORD flags) override;

    // IMediaSeeking: the duration is the play length.
    HRESULT GetDuration(LONGLONG* duration) override;

    // The stretches (start, end, in the splitter's times) around packets that were passed over
    // as scrambled in the last run of the demultiplexer. Any thread.
    std::vector<std::pair<REFERENCE_TIME, REFERENCE_TIME>> SkippedStretches();

    // Adds an output pin ("Audio 2", "Audio 3", …) that carries one more sound stream beside the
    // "Audio" pin: the stream at this IAMStreamSelect index. Its index among the output pins, or
    // −1 when the index is no sound stream or a pin carries the stream already. Enable leaves
    // these pins where they are. Application thread, the graph stopped.
    int AddSoundPin(LONG index);
    // The same for a subpicture stream ("Subtitle 1", "Subtitle 2", …); a stream that a pin
    // carries already (the "Subtitle" pin's, burned in) gets a second pin with the same packets.
    int AddSubtitlePin(LONG index);

    // The scanner (tests and diagnostics); null before the input is connected.
    CMpegSplitterFile* File() const { return m_file.get(); }

private:
    // Reads and delivers one packet; S_FALSE when nothing was readable, a failure for scrambled
    // data. One reader per container.
    HRESULT ReadNextPacket(REFERENCE_TIME offset);
    HRESULT ReadProgramStreamPacket(REFERENCE_TIME offset);
    HRESULT ReadTransportPacket(REFERENCE_TIME offset);
    HRESULT ReadPvaPacket(REFERENCE_TIME offset);
    // `position` is where the packet starts in the data.
    HRESULT DeliverPayload(DWORD id, bool hasPts, REFERENCE_TIME pts, REFERENCE_TIME offset, std::int64_t bytes,
                           std::int64_t position);
    // A packet's time (relative to the first time stamp) on one continuous time line: when a
    // stream's time stamps jump (forward by more than 5 s, or back by more than 1 s) all streams
    // are shifted alike to follow on from the latest end so far.
    REFERENCE_TIME ContinuousTime(DWORD id, REFERENCE_TIME t);
    // A packet's time: with a time map, the time of its part plus its distance from the part's
    // first navigation pack; otherwise (or before that pack is seen) its continuous time.
    REFERENCE_TIME PacketTime(DWORD id, REFERENCE_TIME t, std::int64_t position);
    // The part of the time map holding a byte position; a new part waits for its navigation pack.
    void EnterPartAt(std::int64_t position);
    // A navigation pack of `length` payload bytes at the file's position, which began at `start`.
    void NoteNavPack(std::int64_t start, std::int64_t length);
    // Seeking with the time map: to the part holding t − preroll, then inside it to the last
    // sector whose next picture is not later. Times stay those of the parts.
    void SeekByTimeMap(REFERENCE_TIME t);
    bool UsesTimeMap() const;
    // Transport streams: collects the payloads of a PES packet spread over many transport packets
    // and delivers it whole: when its announced length is complete, or when the next PES packet of
    // the stream starts (video PES packets announce no length).
    HRESULT CollectTsPayload(DWORD id, bool unitStart, bool hasPts, REFERENCE_TIME pts, std::int64_t pesLength,
                             REFERENCE_TIME offset, std::int64_t bytes);
    // Delivers (at the end of the data) or discards (before a seek) the PES packets being collected.
    HRESULT FinishTsPayloads(bool deliver);
    // A scrambled packet was passed over: S_OK, or ZZ_E_SCRAMBLED when too many came in a row.
    HRESULT PassScrambled();
    // A timed packet at `at` ends the stretch being skipped, if any.
    void CloseSkip(REFERENCE_TIME at);
    // Locates a stream index in the lists video, audio, subpicture.
    bool LocateStream(LONG index, int* group, std::size_t* position);

    struct OpenPes {
        PacketPtr packet;
        std::int64_t expected = 0; // payload bytes announced by the PES header, 0 when unbounded
    };

    std::unique_ptr<CMpegSplitterFile> m_file;
    std::vector<const CBaseSplitterOutputPin*> m_soundPins; // those AddSoundPin and AddSubtitlePin made; filter lock
    int AddStreamPin(LONG index, int group);
    std::map<DWORD, OpenPes> m_openPes; // demultiplexing thread
    struct StreamClock {
        REFERENCE_TIME last = kInvalidTime; // the latest time stamp
        REFERENCE_TIME step = 0;            // the last distance between two of them
    };
    std::map<DWORD, StreamClock> m_clocks; // demultiplexing thread
    REFERENCE_TIME m_sharedShift = 0;
    REFERENCE_TIME m_latestEnd = kInvalidTime;
    std::vector<ClipStreamInfo> m_clip;
    REFERENCE_TIME m_timeBase = 0;         // demultiplexing thread
    std::vector<SplitterTimeMark> m_timeMap; // set while stopped, read by the demultiplexing thread
    // Demultiplexing thread: the part being read and the start time of its first navigation pack.
    std::size_t m_part = 0;
    bool m_partAnchored = false;
    bool m_navPackSeen = false; // since reading started: the stream carries navigation packs
    int m_scrambledInARow = 0;                 // demultiplexing thread
    REFERENCE_TIME m_openSkip = kInvalidTime;  // demultiplexing thread: a stretch being skipped
    std::mutex m_skippedLock;
    std::vector<std::pair<REFERENCE_TIME, REFERENCE_TIME>> m_skipped; // guarded by m_skippedLock
    REFERENCE_TIME m_partAnchor = 0;
    // Set by the application before the graph runs; the demultiplexing thread completes them.
    std::atomic<REFERENCE_TIME> m_playStart{0};
    std::atomic<REFERENCE_TIME> m_playLength{0};
    std::atomic<REFERENCE_TIME> m_durationOverride{0};
    std::atomic<bool> m_playLengthGiven{false};
};
