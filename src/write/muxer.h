#pragma once
// Muxer: the container of a file being written. It makes the output context the file name asks
// for, sends the bytes to a descriptor (a part the run made) or a file of its own, labels streams
// where the container keeps labels, writes every packet (kept in order while the header waits
// for the copied streams' first frames), and at the end the chapters and the trailer.

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ffmpeg/ffmpeg_handles.h"
#include "write/write_failure.h"

// A chapter mark of a file: its name and where it starts on the file's time line (100 ns).
struct OutputChapter {
    std::string name;
    std::int64_t start = 0;
};

// A sound or subtitle stream of a file: what it is labelled with where the container can hold it
// (its language, ISO 639-2 "eng", empty for undetermined; a title, "English AC-3 2.0"), and how
// it is made.
struct StreamLabel {
    std::string language;
    std::string title;
    // Copied as the source codes it (its format told by DescribeCopied); subtitle streams always
    // are. Otherwise encoded: with `encoder` at `sampleRate` and `channels` where they are given,
    // else with the profile's.
    bool copy = false;
    // Subtitles shown only where the source forces them.
    bool forced = false;
    // Picture subtitles read into text: the file's stream is text (`textStream`; else the
    // pictures are copied), and a SubRip file is written beside the file (`sidecar`; with
    // neither `textStream` nor `copy`, the file has no stream for them).
    bool textStream = false;
    bool sidecar = false;
    std::string encoder{};
    int sampleRate = 0;
    int channels = 0;
};

// The time base of the run (chapters, copied packets): 100 ns.
inline constexpr AVRational kHundredNanoseconds{1, 10000000};

class Muxer {
public:
    explicit Muxer(WriteFailure& failure) : m_failure(failure) {}
    ~Muxer() { Free(); }
    Muxer(const Muxer&) = delete;
    Muxer& operator=(const Muxer&) = delete;

    // The output context of the container `path` names; false when none does.
    bool Create(const std::string& path, std::vector<OutputChapter> chapters);
    // The bytes' way: to `descriptor`, or (−1) to `path`, created here (`created`). Containers
    // that write no file of their own take none.
    bool OpenBytes(const std::string& path, int descriptor, bool& created);
    // The header waits until `ready` says the copied streams have shown their formats.
    void WaitForHeader(std::function<bool()> ready) { m_ready = std::move(ready); m_headerDue = true; }
    // Writes the header once due (or `now`), then what was kept. False on a failure.
    bool WriteHeaderWhenDue(bool now);
    bool HeaderWritten() const { return m_headerWritten; }

    AVFormatContext* Format() const { return m_format; }
    std::string_view Name() const { return m_format ? m_format->oformat->name : ""; }
    bool GlobalHeader() const { return m_format && (m_format->oformat->flags & AVFMT_GLOBALHEADER); }
    // A new stream of the file; null (failed) when it cannot be added.
    AVStream* NewStream();
    void Label(AVStream* stream, const StreamLabel& label);

    // A packet with times in `from`, to the file or kept while the header waits.
    bool WritePacket(AVPacket* packet, AVStream* stream, AVRational from);
    // Called before each packet goes to the file with its time (100 ns), so that text cues due
    // by then go first (what it writes itself is not announced again). False stops the packet.
    void BeforePackets(std::function<bool(std::int64_t)> due) { m_due = std::move(due); }

    const std::vector<OutputChapter>& Chapters() const { return m_chapters; }
    void MoveChapter(std::size_t index, std::int64_t start);
    // Whether files of this container keep chapter marks.
    static bool HoldsChapters(const AVOutputFormat* container);
    // The chapters, at their final times in a file of `length` (100 ns), and the trailer; what
    // is still buffered goes out. False on a failure.
    bool Finish(std::int64_t length);
    // Frees the context and closes a file of its own.
    void Free();

private:
    bool AddChapters();
    void PlaceChapters(std::int64_t length);

    WriteFailure& m_failure;
    std::string m_path;
    std::vector<OutputChapter> m_chapters;
    ffmpeg::OutputContextPtr m_formatOwner;
    AVFormatContext* m_format = nullptr;
    ffmpeg::IoContextPtr m_io; // writes to m_fd
    int m_fd = -1;             // where the bytes go while open
    int m_ownedFd = -1;        // m_fd, when the muxer created the file itself
    std::function<bool()> m_ready;
    std::function<bool(std::int64_t)> m_due;
    bool m_announcing = false; // within m_due
    bool m_headerDue = false;
    bool m_headerWritten = false;
    // Packets that came before the header, in order; their time stamps in 100 ns.
    std::deque<std::pair<ffmpeg::PacketPtr, AVStream*>> m_waiting;
};
