#pragma once
// TextTrack: a picture subtitle stream read into text while the file is written. Its packets
// come whole, on the file's time line, as the sink copies them; they are decoded here (DVD
// subpictures with the title's palette, Blu-ray graphics) and read on a thread of its own with
// one reader, so that the reading runs beside the encoder. The writer takes the cues in order
// as its other streams reach their times (Due), so text packets lie among the others in the file.
//
// A cue lasts from its subpicture's start to its stop command; a subpicture without one ends at
// the next, or after five seconds. One shown while the next begins ends there (a disc shows one
// at a time).
//
// Threads: Start, Describe, Take, Due and Finish on the writer's side (serialised by the sink's
// lock); the reader on its own thread.

#include <atomic>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ffmpeg/ffmpeg_errors.h"
#include "ffmpeg/ffmpeg_handles.h"
#include "text/subtitle_picture.h"
#include "text/text_cues.h"
#include "write/copied_output.h"

class TextTrack {
public:
    TextTrack();
    ~TextTrack();
    TextTrack(const TextTrack&) = delete;
    TextTrack& operator=(const TextTrack&) = delete;

    // How long a cue without a stop command is shown at most (100 ns).
    static constexpr std::int64_t kLongestOpenCue = 50000000;

    // Starts the reader for a language (ISO 639-2, either form; empty or unknown: English).
    void Start(const std::string& language);
    // The stream's coded format (DVD subpictures: their size and palette in `extradata`).
    void Describe(const CopiedFormat& format);
    // A whole subpicture unit on the file's time line.
    void Take(const CopiedPacket& packet);
    // The cues that begin at or before `time`, read and with their end known (or left open past
    // five seconds), in order; waits for the reader to read them. Each cue is given once.
    std::vector<TextCue> Due(std::int64_t time);
    // Every cue not given yet, read, each ended at the latest at `fileEnd`; stops the reader.
    std::vector<TextCue> Finish(std::int64_t fileEnd);

    // Every cue so far, in order (after Finish: all of them, for the files beside the video).
    const std::vector<TextCue>& Cues() const { return m_done; }
    // The language the reader reads with, the language asked for whose data are missing (empty
    // when they were there), and why the reader could not start (empty when it did).
    std::string Language();
    std::string Fallback();
    std::string Problem();
    // Subpicture units the decoder could not take, and the cues read so far (any thread).
    int DecodeErrors() const { return m_errors.Count(); }
    int CuesRead() const { return m_cuesRead.load(std::memory_order_relaxed); }

private:
    // The end of a cue not known yet.
    static constexpr std::int64_t kOpen = INT64_MIN;
    // A subpicture as decoded: its rectangles, top to bottom, until the reader reads it.
    struct Pending {
        std::int64_t start = 0;
        std::int64_t end = kOpen;
        std::int64_t limit = INT64_MAX; // where its range ends: it is shown no further
        std::vector<IndexedPicture> pictures;
        bool read = false;
        TextCue cue;
    };

    bool OpenDecoder();
    // A decoded subpicture at the packet's time; the parts before its `cutBefore` and after its
    // `cutAfter` (when not −1) are cut.
    void Decoded(const AVSubtitle& subtitle, const CopiedPacket& packet);
    // A cue at the packet's time whose picture cannot be decoded: nothing read, so listed to be
    // checked.
    void Unreadable(const CopiedPacket& packet);
    // Where a cue ends, at the latest (m_lock held).
    static std::int64_t LastEnd(const Pending& cue) { return std::min(cue.start + kLongestOpenCue, cue.limit); }
    // Whether a DVD subpicture unit holds together (its size and its commands' place within it).
    static bool WholeUnit(const CopiedPacket& packet);
    void ReadLoop(std::string language);
    // m_lock held: the first pending cue may be given at `time` (read, and its end known or due).
    bool Ready(std::int64_t time);

    ffmpeg::CodecContextPtr m_decoder;
    ffmpeg::PacketPtr m_packet;
    CopiedFormat m_format;
    bool m_decoderFailed = false;
    ffmpeg::ErrorTally m_errors{"subtitle reader"};
    std::vector<TextCue> m_done; // writer's side

    std::thread m_thread;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<Pending> m_pending; // guarded by m_lock, in order of their start
    bool m_stopping = false;       // guarded: the reader ends once all is read
    bool m_abandoned = false;      // guarded: the reader ends now
    std::string m_language, m_fallback, m_problem; // guarded, set by the reader when it starts
    std::atomic<int> m_cuesRead{0};
};
