#pragma once
// CMpegSplitterFile: the header-parsing reader specialised for MPEG containers. It decides which
// container the bytes are (program stream, transport stream, bare PES or PVA), finds and classifies
// the elementary streams with ready media types, and estimates the first and last time stamps and
// the byte rate. Used by the splitter's demultiplexing thread (and, before it starts, by the thread
// that connects the graph); the program table has its own lock for stream selection.

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "demux/base_splitter_file_ex.h"
#include "demux/splitter_title_info.h"

class CMpegSplitterFile;

enum StreamClass { kVideoStreams = 0, kAudioStreams = 1, kSubpictureStreams = 2 };
inline constexpr const char* kStreamClassNames[3] = {"Video", "Audio", "Subtitle"};

struct StreamEntry {
    const CMpegSplitterFile* owner = nullptr;
    CMediaType mt;
    std::uint16_t pid = 0;
    std::uint8_t pesId = 0;
    std::uint8_t subId = 0;

    // The PID when set, else (PES id << 8) | sub-stream id.
    DWORD Id() const { return pid ? pid : (static_cast<DWORD>(pesId) << 8) | subId; }
    bool operator==(const StreamEntry& other) const { return Id() == other.Id(); }
};

using StreamList = std::vector<StreamEntry>;

class CMpegSplitterFile : public CBaseSplitterFileEx {
public:
    enum Container { kUnknown = 0, kProgramStream = 1, kTransportStream = 2, kPesStream = 3, kPva = 4 };

    // Runs Initialise; `hr` gets its result. `clip` (Blu-ray stream information) may be null.
    // Unless `ownStreamsOnly`, the streams the application's title record announces are waited
    // for and listed even when the scan does not meet them.
    CMpegSplitterFile(IAsyncReader* reader, HRESULT& hr, bool bluray = false,
                      const std::vector<ClipStreamInfo>* clip = nullptr, bool ownStreamsOnly = false);

    HRESULT Initialise();
    // The container that the 64 KB from `at` show, or kUnknown.
    int DetectContainer(std::int64_t at);
    // S_OK when [start, stop) was scanned, E_FAIL when scrambled content was met.
    HRESULT ScanForStreams(std::int64_t start, std::int64_t stop);
    // The stream identifier of the packet at the position; new streams are classified and listed.
    // For private stream 1 in a program stream the sub-stream header is consumed.
    DWORD ClassifyStream(std::uint16_t pid, BYTE pesId, DWORD length);
    // The next PTS of stream `id` from the position, relative to the first time stamp; −1 if none.
    REFERENCE_TIME FindNextTimestamp(DWORD id);
    // DVD navigation packs (private stream 2, sub-stream 0) open every video object unit and give
    // the time its presentation starts and how long its cell has played by then. At the payload
    // of such a packet of `length` bytes: the time the cell started, relative to the first time
    // stamp; kInvalidTime when the packet is no navigation pack.
    REFERENCE_TIME ReadNavPackCellStart(std::int64_t length);
    // The cell start of the next navigation pack that begins before `limit`, read from the
    // position (which is kept); kInvalidTime when there is none.
    REFERENCE_TIME FindNavPackCellStart(std::int64_t limit);
    void UpdateProgramTable(const TsPacketHeader& h);
    // The video list when not empty, else audio, else subpicture; null when all are empty.
    const StreamList* PrimaryStreamList() const;
    void AddBlurayTextStream(std::uint16_t pid, const char* language);
    void OnSourceComplete() override;
    // The stream type the clip information or the program table gives a PID, else 0.
    int StreamTypeOf(std::uint16_t pid);
    // The clip information of a PID, or null.
    const ClipStreamInfo* ClipInfoOf(std::uint16_t pid) const;
    // The three-letter language the program table gives a PID ("eng"), or empty.
    std::string LanguageOf(std::uint16_t pid);
    // The PIDs of the program a PID belongs to (empty when the table does not know it).
    std::vector<std::uint16_t> ProgramPidsOf(std::uint16_t pid);

    int Container() const { return m_container; }
    REFERENCE_TIME FirstTimestamp() const { return m_firstTimestamp; }
    std::int32_t ByteRate() const { return m_byteRate; }
    bool IsBluray() const { return m_bluray; }
    // How long the unreadable opening lasted (100 ns, reckoned at the stream's byte rate): the
    // stretch before the first place that shows the container, when it is more than a few
    // packets; 0 for a stream that starts readable.
    REFERENCE_TIME OpeningLoss() const;

    StreamList m_streams[3];

private:
    struct Program {
        std::uint16_t number = 0;
        struct Entry {
            std::uint16_t pid = 0;
            std::uint8_t type = 0;
        } entries[64];
    };

    // A stream being classified: its entry, and the class it was found to be (-1: none yet).
    struct Classification {
        StreamEntry entry;
        int found = -1;
    };
    // Tries one header parser: only while unclassified and when the entry is not yet in the
    // class's list. The position is restored afterwards.
    template <class Parse>
    void Attempt(Classification& c, int streamClass, Parse&& parse);
    // Private stream 1 in a program stream: its sub-stream header says what it carries (DVD
    // audio and subpictures, SVCD/CVD subpictures, PS2 audio and subtitles).
    void ClassifyPrivateStream(Classification& c, std::int64_t budget);
    void ClassifyPs2Stream(Classification& c, std::uint16_t kind, std::int64_t budget);
    // Private streams in a transport stream: the headers, then the stream type (Blu-ray LPCM and
    // presentation graphics).
    void ClassifyTransportPrivateStream(Classification& c, std::int64_t budget);

    void UpdateTimeRange(REFERENCE_TIME pts, std::int64_t position);
    void ApplyByteRate(std::int32_t rate);
    void Insert(int streamClass, const StreamEntry& entry);
    bool Precedes(const StreamEntry& a, const StreamEntry& b);
    std::uint64_t AudioScore(const StreamEntry& entry);
    bool InList(int streamClass, const StreamEntry& entry) const;
    void ResetTimeRange();

    AvcHeader m_avc;
    bool m_bluray = false;
    const std::vector<ClipStreamInfo>* m_clip = nullptr;
    bool m_ownStreamsOnly = false;
    std::unordered_map<std::uint16_t, std::uint8_t> m_pidToPes;
    int m_container = kUnknown;
    std::int64_t m_dataStart = 0; // where the container was found
    REFERENCE_TIME m_firstTimestamp = INT64_MAX;
    REFERENCE_TIME m_lastTimestamp = 0;
    std::int64_t m_firstPosition = INT64_MAX;
    std::int64_t m_lastPosition = 0;
    std::int32_t m_byteRate = 0;
    bool m_blurayText = false;
    std::mutex m_programLock;
    std::map<std::uint16_t, Program> m_programs; // PMT PID → program, guarded by m_programLock
    std::map<std::uint16_t, std::string> m_languages; // PID → ISO 639 code, guarded by m_programLock
};

// The DVD subpicture media type (video, DVD subpicture, no format).
CMediaType DvdSubpictureType();
