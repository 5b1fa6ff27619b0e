#include "demux/media_disc.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cctype>
#include <filesystem>
#include <limits>
#include <map>
#include <mutex>
#include <set>
#include <new>
#include <system_error>
#include <vector>

#include "com/com_ptr.h"
#include "com/debug_log.h"
#include "com/hresult.h"
#include "com/plain_file.h"
#include "demux/async_file_reader.h"
#include "demux/hdmv_clip_info.h"
#include "demux/mpeg_splitter_file.h"
#include "dvd/iso639.h"
#include "dvd/my_dvd.h"
#include "pipeline/format_blocks.h"
#include "pipeline/media_guids.h"

namespace fs = std::filesystem;

namespace {

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::string Upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

// Discs name their files in capitals or in small letters: the one that is there.
fs::path ExistingCase(const fs::path& path)
{
    std::error_code error;
    if (fs::exists(path, error)) return path;
    const std::string extension = path.extension().string();
    for (const std::string& other : {Lower(extension), Upper(extension)}) {
        fs::path candidate = path;
        candidate.replace_extension(other);
        if (fs::exists(candidate, error)) return candidate;
    }
    return path;
}

// A file's data, as the byte source reads it (FileView).
FileView ViewOf(const fs::path& path)
{
    const int fd = OpenPlainFile(path.string());
    FileView view = FileView::Of(fd);
    if (fd >= 0) ::close(fd);
    return view;
}

// A file may end with a stretch that holds nothing (sectors a damaged copy could not read come as
// zeros, and an interrupted download leaves a hole): more than this after the last byte of data is
// an unreadable end.
constexpr std::int64_t kDamagedEnd = 65536;

// Where a file's data ends: after its last byte that is not zero. Holes are passed over without
// being read (SEEK_DATA, SEEK_HOLE), the zeros before them are read backwards a block at a time.
// The file's size when it cannot be looked at.
std::int64_t DataEnd(const fs::path& path, std::int64_t size)
{
    const int fd = OpenPlainFile(path.string());
    if (fd < 0) return size;
    // The end of the last stretch of data.
    std::int64_t end = size;
    for (off_t at = 0;;) {
        const off_t data = ::lseek(fd, at, SEEK_DATA);
        if (data < 0) {
            if (errno == ENXIO) end = at; // nothing but a hole after `at`
            break;                        // (or the file system cannot say: all of it is data)
        }
        const off_t hole = ::lseek(fd, data, SEEK_HOLE);
        if (hole < 0 || hole <= data) break;
        at = hole;
        end = hole;
        if (hole >= size) break;
    }
    end = std::min(end, size);
    // Zeros before that end, read backwards.
    constexpr std::int64_t kBlock = 65536;
    std::vector<unsigned char> block(static_cast<std::size_t>(kBlock));
    while (end > 0) {
        const std::int64_t from = std::max<std::int64_t>(0, end - kBlock);
        const ssize_t got = ::pread(fd, block.data(), static_cast<std::size_t>(end - from), from);
        if (got != end - from) break; // unreadable: leave it to the reading
        std::int64_t last = got;
        while (last > 0 && block[static_cast<std::size_t>(last - 1)] == 0) --last;
        if (last > 0) {
            end = from + last;
            break;
        }
        end = from;
    }
    ::close(fd);
    return end;
}

bool IsMediaFileName(const fs::path& path)
{
    const std::string extension = Lower(path.extension().string());
    return extension == ".vob" || extension == ".mpg" || extension == ".mpeg" || extension == ".ts" ||
           extension == ".m2ts" || extension == ".mts";
}

// A record language: two letters, the first in bits 8–15; 0 when unknown.
std::int32_t RecordLanguage(const char* code)
{
    if (!code || !*code) return 0;
    const Iso639Language* language = FindLanguageByAlpha3(code);
    if (!language || !language->alpha2 || std::char_traits<char>::length(language->alpha2) != 2) return 0;
    return (static_cast<std::uint8_t>(language->alpha2[0]) << 8) | static_cast<std::uint8_t>(language->alpha2[1]);
}

// A stream's record language: the clip information's, else the program table's.
std::int32_t LanguageOf(CMpegSplitterFile& file, const StreamEntry& stream)
{
    if (!stream.pid) return 0;
    if (const ClipStreamInfo* info = file.ClipInfoOf(stream.pid)) return RecordLanguage(info->language);
    return RecordLanguage(file.LanguageOf(stream.pid).c_str());
}

std::int32_t RecordAudioFormat(const CMediaType& mt, int streamType)
{
    if (mt.subtype == MEDIASUBTYPE_DOLBY_AC3 || mt.subtype == MEDIASUBTYPE_WAVE_DOLBY_AC3)
        return streamType == 0x84 || streamType == 0xA1 ? kAudioFormatEac3 : kAudioFormatAc3;
    if (mt.subtype == MEDIASUBTYPE_DTS || mt.subtype == MEDIASUBTYPE_WAVE_DTS) return kAudioFormatDts;
    if (mt.subtype == MEDIASUBTYPE_DVD_LPCM_AUDIO || mt.subtype == MEDIASUBTYPE_HDMV_LPCM_AUDIO) return kAudioFormatLpcm;
    if (mt.subtype == MEDIASUBTYPE_AAC) return kAudioFormatAac;
    if (mt.subtype == MEDIASUBTYPE_MPEG2_AUDIO) return kAudioFormatMpeg2;
    // MPEG-1 audio: layer III is MP3, the others (a DVD's layer II) MP2.
    if (mt.formattype == FORMAT_WaveFormatEx && mt.cbFormat >= sizeof(MPEG1WAVEFORMAT)) {
        const auto* mpeg = reinterpret_cast<const MPEG1WAVEFORMAT*>(mt.pbFormat);
        if (mpeg->wfx.wFormatTag == 0x55 || mpeg->fwHeadLayer == 4) return kAudioFormatMp3;
    } else if (mt.formattype == FORMAT_WaveFormatEx && mt.cbFormat >= sizeof(WAVEFORMATEX) &&
               reinterpret_cast<const WAVEFORMATEX*>(mt.pbFormat)->wFormatTag == 0x55) {
        return kAudioFormatMp3;
    }
    return kAudioFormatMpeg1;
}

// What the scanner finds in one file: its streams (in the record's fields), its picture and the
// stretch of its time stamps.
struct FileScan {
    HRESULT hr = E_FAIL;
    REFERENCE_TIME start = 0; // the first time stamp, on the file's own clock
    double ms = 0; // playing time
    TitleVideo video;
    TitleInfo streams{};
};

TitleVideo VideoOf(const CMediaType& mt)
{
    TitleVideo video;
    if ((mt.formattype == FORMAT_MPEG2_VIDEO || mt.formattype == FORMAT_VideoInfo2) && mt.cbFormat >= sizeof(VIDEOINFOHEADER2)) {
        const auto* info = reinterpret_cast<const VIDEOINFOHEADER2*>(mt.pbFormat);
        video.width = info->bmiHeader.biWidth;
        video.height = std::abs(info->bmiHeader.biHeight);
        if (info->dwPictAspectRatioX > 0 && info->dwPictAspectRatioY > 0)
            video.wide = info->dwPictAspectRatioX * 3 > info->dwPictAspectRatioY * 4 + info->dwPictAspectRatioY / 2;
        else
            video.wide = video.width * 3 > video.height * 4 + video.height / 2;
    } else if (mt.cbFormat >= sizeof(VIDEOINFOHEADER)) {
        const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat);
        video.width = info->bmiHeader.biWidth;
        video.height = std::abs(info->bmiHeader.biHeight);
        video.wide = video.width * 3 > video.height * 4 + video.height / 2;
    }
    return video;
}

REFERENCE_TIME TimePerFrame(const CMediaType& mt)
{
    if ((mt.formattype == FORMAT_MPEG2_VIDEO || mt.formattype == FORMAT_VideoInfo2) && mt.cbFormat >= sizeof(VIDEOINFOHEADER2))
        return reinterpret_cast<const VIDEOINFOHEADER2*>(mt.pbFormat)->AvgTimePerFrame;
    if (mt.cbFormat >= sizeof(VIDEOINFOHEADER)) return reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat)->AvgTimePerFrame;
    return 0;
}

// The playing time of a file whose time stamps may start again (a VOB of several cells): the
// stretches between the places where they jump are added up, each place found by halving. `id`
// is the stream whose time stamps are followed; the result runs to that stream's last one.
REFERENCE_TIME PlayingTime(CMpegSplitterFile& file, DWORD id, std::int64_t length)
{
    struct Probe {
        std::int64_t position = 0;
        REFERENCE_TIME time = -1; // from the file's first time stamp; -1 when none follows
    };
    const auto probe = [&](std::int64_t position) {
        file.SeekTo(position);
        return Probe{position, file.FindNextTimestamp(id)};
    };
    const auto bytesPerSecond = std::max<std::int64_t>(file.ByteRate(), 1);
    // The same time line: no step back, and no step forward far beyond what the bytes between hold.
    const auto follows = [&](const Probe& a, const Probe& b) {
        const REFERENCE_TIME expected = (b.position - a.position) * 10000000 / bytesPerSecond;
        return b.time >= a.time - 10000000 && b.time - a.time <= std::max<REFERENCE_TIME>(100000000, 4 * expected);
    };

    constexpr int kProbes = 64;
    constexpr std::int64_t kTail = 65536;
    std::vector<Probe> probes;
    for (int i = 0; i < kProbes; ++i) {
        const Probe p = probe(length * i / kProbes);
        if (p.time >= 0) probes.push_back(p);
    }
    // The stream's last time stamp: from a little before the end, read on to the last.
    for (std::int64_t back = kTail; back <= length + kTail; back *= 2) {
        Probe last = probe(std::max<std::int64_t>(0, length - back));
        if (last.time < 0) continue;
        // Time stamps come in decoding order: the last to be shown is the largest.
        for (REFERENCE_TIME next = last.time; next >= 0;) {
            last.time = std::max(last.time, next);
            last.position = file.Position();
            file.SeekTo(file.Position() + 1); // past the packet found
            next = file.FindNextTimestamp(id);
        }
        probes.push_back(last);
        break;
    }
    if (probes.empty()) return 0;

    REFERENCE_TIME total = 0;
    REFERENCE_TIME stretchStart = probes.front().time;
    for (std::size_t i = 0; i + 1 < probes.size(); ++i) {
        Probe a = probes[i], b = probes[i + 1];
        if (follows(a, b)) continue;
        while (b.position - a.position > kSectorSize) {
            const Probe middle = probe(a.position + (b.position - a.position) / 2);
            if (middle.time >= 0 && follows(a, middle))
                a = middle;
            else
                b = middle.time >= 0 ? middle : Probe{middle.position, b.time};
        }
        total += a.time - stretchStart;
        stretchStart = probes[i + 1].time >= 0 && b.time >= 0 ? b.time : probes[i + 1].time;
    }
    return total + probes.back().time - stretchStart;
}

// One file read by the stream scanner: what it carries, and where times fall in its bytes (found
// by halving on the time stamps of its first stream).
class ScannedFile {
public:
    // `clipInfo` (a Blu-ray clip's stream information) may be null. Only the first `dataEnd`
    // bytes are looked at for times (−1: all of them).
    ScannedFile(const fs::path& path, const CHdmvClipInfo* clipInfo, std::int64_t dataEnd = -1)
        : m_clip(clipInfo ? clipInfo->Streams() : std::vector<ClipStreamInfo>{})
    {
        m_reader = new (std::nothrow) CAsyncFileReader(path.string().c_str(), m_hr);
        if (!m_reader) m_hr = E_OUTOFMEMORY;
        if (FAILED(m_hr)) return;
        m_file.reset(new (std::nothrow) CMpegSplitterFile(m_reader.Get(), m_hr, clipInfo && clipInfo->IsBluray(), &m_clip, true));
        if (!m_file || FAILED(m_hr) || !m_file->PrimaryStreamList() || m_file->PrimaryStreamList()->empty()) {
            if (SUCCEEDED(m_hr)) m_hr = E_FAIL;
            m_file.reset();
            return;
        }
        m_id = m_file->PrimaryStreamList()->front().Id();
        m_length = m_file->Length(false);
        if (dataEnd >= 0) m_length = std::min(m_length, dataEnd);
        // Blu-ray clips are cut into aligned units of 32 source packets; other files into packets.
        m_unit = m_length % 6144 == 0 ? 6144 : m_file->Container() == CMpegSplitterFile::kTransportStream ? 188 : 2048;
    }

    // The streams, the picture and the playing time; `hr` says why there are none.
    FileScan Scan()
    {
        FileScan scan;
        scan.hr = m_hr;
        if (!m_file) return scan;
        CMpegSplitterFile& file = *m_file;
        // An unreadable opening still counts: the title's time line keeps it.
        scan.ms = static_cast<double>(PlayingTime(file, m_id, m_length) + file.OpeningLoss()) / 10000.0;
        scan.start = file.FirstTimestamp() == INT64_MAX ? 0 : file.FirstTimestamp() - file.OpeningLoss();
        if (!file.m_streams[kVideoStreams].empty()) {
            const CMediaType& mt = file.m_streams[kVideoStreams].front().mt;
            scan.video = VideoOf(mt);
            scan.video.frameRate = FrameRateOf(TimePerFrame(mt));
            // The last picture shows for a frame after its time stamp.
            scan.ms += static_cast<double>(TimePerFrame(mt)) / 10000.0;
        }

        // The tracks in the order of their identifiers, as the disc or file lists them.
        std::vector<const StreamEntry*> audio, subtitles;
        for (const StreamEntry& s : file.m_streams[kAudioStreams]) audio.push_back(&s);
        // Not the placeholder beside the video, nor the switch for Blu-ray text (PID 1).
        for (const StreamEntry& s : file.m_streams[kSubpictureStreams])
            if (s.Id() != 0 && s.pid != 1) subtitles.push_back(&s);
        const auto byId = [](const StreamEntry* a, const StreamEntry* b) { return a->Id() < b->Id(); };
        std::sort(audio.begin(), audio.end(), byId);
        std::sort(subtitles.begin(), subtitles.end(), byId);

        TitleInfo& t = scan.streams;
        for (const StreamEntry* s : audio) {
            if (t.audioCount >= kMaxAudioStreams) break;
            const int i = t.audioCount++;
            t.audioStreamId[i] = static_cast<std::int32_t>(s->Id());
            t.audioLanguage[i] = LanguageOf(file, *s);
            t.audioFormat[i] = RecordAudioFormat(s->mt, s->pid ? file.StreamTypeOf(s->pid) : 0);
            const auto* wfe = s->mt.formattype == FORMAT_WaveFormatEx && s->mt.cbFormat >= sizeof(WAVEFORMATEX)
                                  ? reinterpret_cast<const WAVEFORMATEX*>(s->mt.pbFormat)
                                  : nullptr;
            t.audioChannelsMinusOne[i] = wfe && wfe->nChannels > 0 ? wfe->nChannels - 1 : 1;
        }
        for (const StreamEntry* s : subtitles) {
            if (t.subpictureCount >= kMaxSubpictureStreams) break;
            const int i = t.subpictureCount++;
            t.subpictureStreamId[i] = static_cast<std::int32_t>(s->Id());
            t.subpictureLanguage[i] = LanguageOf(file, *s);
        }
        return scan;
    }

    // The stream's bytes per second, or 0 when unknown.
    std::int32_t ByteRate() const { return m_file ? m_file->ByteRate() : 0; }

    // The last time stamp before a position and the first after it (100 ns from the file's
    // first), −1 where there is none: what a hole there took away.
    std::pair<REFERENCE_TIME, REFERENCE_TIME> TimesAround(std::int64_t position)
    {
        if (!m_file) return {-1, -1};
        REFERENCE_TIME before = -1;
        m_file->SeekTo(std::max<std::int64_t>(0, position - (1 << 20)));
        for (;;) {
            const REFERENCE_TIME found = m_file->FindNextTimestamp(m_id);
            if (found < 0 || m_file->Position() >= position) break;
            before = std::max(before, found);
            m_file->SeekTo(m_file->Position() + 1);
        }
        m_file->SeekTo(position);
        return {before, m_file->FindNextTimestamp(m_id)};
    }

    // Where a stretch of the clip from or to a time (100 ns on the clip's own clock, as playlists
    // give it) is cut. From: the first byte of the last unit whose next time stamp is not after
    // the time. To: the start of the first packet of the stream whose time stamp is after it (the
    // clip's length when none is).
    std::int64_t CutFrom(REFERENCE_TIME time) { return LastUnitUpTo(time); }
    std::int64_t CutTo(REFERENCE_TIME time)
    {
        if (!m_file) return std::numeric_limits<std::int64_t>::max(); // the whole file
        const REFERENCE_TIME wanted = time - m_file->FirstTimestamp();
        m_file->SeekTo(LastUnitUpTo(time));
        for (;;) {
            const REFERENCE_TIME found = m_file->FindNextTimestamp(m_id);
            if (found < 0) return m_length;
            // FindNextTimestamp stands at the packet found (an M2TS packet's time code is before it).
            if (found > wanted) return std::max<std::int64_t>(0, m_file->Position() - (m_unit == 6144 ? 4 : 0));
            m_file->SeekTo(m_file->Position() + 1);
        }
    }

private:
    std::int64_t LastUnitUpTo(REFERENCE_TIME time)
    {
        if (!m_file) return 0;
        const REFERENCE_TIME wanted = time - m_file->FirstTimestamp();
        if (wanted <= 0) return 0;
        std::int64_t low = 0, high = m_length;
        while (high - low > m_unit) {
            const std::int64_t middle = low + (high - low) / 2 / m_unit * m_unit;
            if (middle <= low) break;
            m_file->SeekTo(middle);
            const REFERENCE_TIME found = m_file->FindNextTimestamp(m_id);
            // No time stamp after the middle: what is left is all before the time.
            if (found < 0 || found <= wanted)
                low = middle;
            else
                high = middle;
        }
        return low;
    }

    std::vector<ClipStreamInfo> m_clip; // the scanner keeps a pointer to it
    HRESULT m_hr = S_OK;
    ComPtr<CAsyncFileReader> m_reader;
    std::unique_ptr<CMpegSplitterFile> m_file;
    DWORD m_id = 0;
    std::int64_t m_length = 0;
    std::int64_t m_unit = 2048;
};

// A stretch of a file that a title plays: its bytes [begin, end) and the time they play. A title's
// parts lie in different files (a playlist that plays a clip twice is no title).
struct Part {
    std::string file;
    std::int64_t fileSize = 0;
    std::int64_t begin = 0, end = 0;
    double ms = 0;
    std::int64_t Size() const { return end - begin; }
};

struct Chapter {
    std::int64_t position = 0; // bytes from the title's start
    double ms = 0;             // from the title's start
};

struct MediaTitle {
    std::vector<Part> parts;
    std::vector<Chapter> chapters; // at least one, the first at 0
    TitleInfo info{};
    TitleVideo video;
    bool readable = true;
    std::string why;                            // why it is not readable
    std::string source;                         // "clip 00001" for a clip no playlist plays
    std::vector<Disc::MissingStretch> missing; // play items whose clip is not there, holes in a file's data
    std::vector<std::string> holes;            // the holes in its files' data, said

    std::int64_t Bytes() const
    {
        std::int64_t total = 0;
        for (const Part& p : parts) total += p.Size();
        return total;
    }
};

// "1 byte", "1221 bytes".
std::string ByteCount(std::uintmax_t bytes) { return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes"); }

std::int64_t SectorsUpTo(std::int64_t bytes) { return (bytes + kSectorSize - 1) / kSectorSize; }

// The record's sizes and chapters of a title whose streams are filled already.
void FinishRecord(MediaTitle& title)
{
    TitleInfo& info = title.info;
    double ms = 0;
    for (const Part& p : title.parts) ms += p.ms;
    info.durationMs = ms;
    info.chapterCount = static_cast<std::int32_t>(std::min<std::size_t>(title.chapters.size(), kMaxChapters));
    title.chapters.resize(static_cast<std::size_t>(info.chapterCount));
    const std::int64_t total = title.Bytes();
    for (int c = 0; c < info.chapterCount; ++c) {
        const std::int64_t end = c + 1 < info.chapterCount ? title.chapters[static_cast<std::size_t>(c + 1)].position : total;
        info.chapterSectors[c] = static_cast<std::uint32_t>(SectorsUpTo(end) - SectorsUpTo(title.chapters[static_cast<std::size_t>(c)].position));
    }
}

class MediaDisc : public Disc {
public:
    MediaDisc(std::string name, std::vector<MediaTitle> titles, bool bluray, std::vector<std::string> unreadable = {},
              std::vector<UnplayedStretch> unplayed = {})
        : m_name(std::move(name)), m_titles(std::move(titles)), m_bluray(bluray), m_unreadable(std::move(unreadable)),
          m_unplayed(std::move(unplayed))
    {
    }

    void GetInfo(DiscInfo* info) const override
    {
        *info = DiscInfo{};
        info->titleCount = static_cast<std::int32_t>(m_titles.size());
        for (std::size_t t = 0; t < m_titles.size(); ++t) info->titles[t] = m_titles[t].info;
    }

    void SetArea(int title, int chapter) override
    {
        std::lock_guard lock(m_lock);
        if (!Known(title)) {
            m_area = -1;
            return;
        }
        const MediaTitle& t = m_titles[static_cast<std::size_t>(title)];
        if (m_area != title || m_files.Handle() < 0) {
            std::vector<std::string> names;
            for (const Part& p : t.parts) names.push_back(p.file);
            m_files.OpenFiles(names); // a chain that cannot be opened makes reads fail
        }
        m_area = title;
        chapter = std::clamp(chapter, 0, static_cast<int>(t.chapters.size()) - 1);
        m_start = t.chapters[static_cast<std::size_t>(chapter)].position;
        m_stop = t.Bytes();
        m_position = 0;
        m_filePosition = -1;
    }

    void SetStopPos(int title, int chapter) override
    {
        std::lock_guard lock(m_lock);
        if (m_area < 0) return;
        const MediaTitle& t = m_titles[static_cast<std::size_t>(m_area)];
        if (title == m_area && chapter >= 0 && chapter < static_cast<int>(t.chapters.size()))
            m_stop = std::max(m_start, t.chapters[static_cast<std::size_t>(chapter)].position);
        else
            m_stop = t.Bytes();
    }

    std::int64_t Seek(std::int64_t position) override
    {
        std::lock_guard lock(m_lock);
        if (m_area < 0 || position < 0 || m_start + position > m_stop) return -1;
        m_position = position;
        return position;
    }

    std::int32_t Read(std::uint8_t* buffer, std::int32_t count) override
    {
        std::lock_guard lock(m_lock);
        if (m_area < 0 || m_files.Handle() < 0 || !buffer || count < 0) return -1;
        const std::int64_t at = m_start + m_position;
        if (m_stop - at <= 0) return 0;
        // The part holding the position, and where that is in the chain of its files.
        const MediaTitle& t = m_titles[static_cast<std::size_t>(m_area)];
        std::int64_t partStart = 0, fileStart = 0;
        std::size_t k = 0;
        while (k + 1 < t.parts.size() && at >= partStart + t.parts[k].Size()) {
            partStart += t.parts[k].Size();
            fileStart += t.parts[k].fileSize;
            ++k;
        }
        const Part& part = t.parts[k];
        const std::int64_t chain = fileStart + part.begin + (at - partStart);
        const std::int64_t wanted = std::min({static_cast<std::int64_t>(count), m_stop - at, partStart + part.Size() - at});
        if (wanted <= 0) return 0;
        if (m_filePosition != chain && m_files.Seek(chain, 0) != chain) return -1;
        const std::int64_t got = m_files.Read(buffer, wanted);
        if (got <= 0) {
            m_filePosition = -1;
            return got < 0 ? -1 : 0;
        }
        m_position += got;
        m_filePosition = chain + got;
        return static_cast<std::int32_t>(got);
    }

    std::vector<CellMark> CellMarks(int title, int chapter) const override
    {
        if (!Known(title)) return {};
        const MediaTitle& t = m_titles[static_cast<std::size_t>(title)];
        const Chapter from = t.chapters[static_cast<std::size_t>(std::clamp(chapter, 0, static_cast<int>(t.chapters.size()) - 1))];
        // Each file is a cell: its time stamps may start again.
        std::vector<CellMark> marks{{0, 0.0}};
        std::int64_t position = 0;
        double ms = 0;
        for (const Part& p : t.parts) {
            if (position > from.position) marks.push_back({position - from.position, ms - from.ms});
            position += p.Size();
            ms += p.ms;
        }
        marks.push_back({position - from.position, ms - from.ms});
        return marks;
    }

    bool IsReadable(int title) const override { return Known(title) && m_titles[static_cast<std::size_t>(title)].readable; }
    std::string UnreadableReason(int title) const override
    {
        if (!Known(title)) return "the disc has no such title";
        const MediaTitle& t = m_titles[static_cast<std::size_t>(title)];
        return t.readable ? std::string() : t.why.empty() ? "it cannot be read" : t.why;
    }
    std::string VolumeName() const override { return m_name; }
    TitleVideo VideoOf(int title) const override { return Known(title) ? m_titles[static_cast<std::size_t>(title)].video : TitleVideo{}; }
    int MainTitle() const override { return m_bluray && !m_titles.empty() && m_titles.front().source.empty() ? 0 : -1; }
    DiscKind Kind() const override { return m_bluray ? DiscKind::kBluray : DiscKind::kFile; }
    std::vector<std::string> Unreadable() const override { return m_unreadable; }
    std::string TitleSource(int title) const override { return Known(title) ? m_titles[static_cast<std::size_t>(title)].source : std::string(); }
    std::vector<MissingStretch> Missing(int title) const override
    {
        return Known(title) ? m_titles[static_cast<std::size_t>(title)].missing : std::vector<MissingStretch>{};
    }
    std::vector<UnplayedStretch> Unplayed() const override { return m_unplayed; }

private:
    bool Known(int title) const { return title >= 0 && title < static_cast<int>(m_titles.size()); }

    const std::string m_name;
    const std::vector<MediaTitle> m_titles;
    const bool m_bluray;
    const std::vector<std::string> m_unreadable;
    const std::vector<UnplayedStretch> m_unplayed;

    std::mutex m_lock;
    // The area, guarded by m_lock.
    CMultiFiles m_files;     // the area's title's files, as one chain
    int m_area = -1;
    std::int64_t m_start = 0, m_stop = 0; // in the title's bytes
    std::int64_t m_position = 0;          // from m_start
    std::int64_t m_filePosition = -1;     // where m_files stands, -1 when not known
};

std::string EncryptedText(const std::string& path)
{
    return "the clips in " + path + " are encrypted (AACS); ZuZidero reads unencrypted Blu-ray folders only";
}

// One file read whole as a title (a media file, or a Blu-ray clip that no playlist plays): its
// streams, picture and length. A file whose end holds nothing is read to its last data; the rest
// still counts in its length (at the data's byte rate), so that what is missing is reported.
// S_OK, ZZ_E_SCRAMBLED, or a failure when nothing in it can be read.
HRESULT WholeFileTitle(const fs::path& path, MediaTitle& title, std::string* why)
{
    std::error_code error;
    Part part;
    part.file = path.string();
    // A FIFO, a folder or a device under a media file's name is refused before it is read (and
    // never waited on); a file that may not be read says so.
    if (const std::string refusal = PlainFileRefusal(part.file); !refusal.empty()) {
        *why = path.string() + (refusal.rfind("is ", 0) == 0 ? " " + refusal + ", not an MPEG file" : " cannot be read: " + refusal);
        return E_FAIL;
    }
    // Its data: the holes inside a sparse file are passed over (reading them would take minutes).
    const FileView view = ViewOf(path);
    part.fileSize = view.Size();
    const std::int64_t realSize = static_cast<std::int64_t>(fs::file_size(path, error));
    if (error) {
        *why = path.string() + " cannot be read: " + error.message();
        return E_FAIL;
    }
    const std::int64_t realEnd = DataEnd(path, realSize);
    const std::int64_t dataEnd = realEnd > 0 ? view.ViewPosition(realEnd - 1) + 1 : 0;
    const bool damagedEnd = part.fileSize - dataEnd >= kDamagedEnd;
    part.end = damagedEnd ? dataEnd : part.fileSize;
    // An M2TS clip of a Blu-ray folder has its streams described beside it.
    CHdmvClipInfo clipInfo;
    const bool described = Lower(path.extension().string()) == ".m2ts" &&
                           clipInfo.ReadClipInfo(ExistingCase(CHdmvClipInfo::ClipInfoPathOf(path))) == S_OK;
    ScannedFile scanned(path, described ? &clipInfo : nullptr, part.end);
    FileScan scan = scanned.Scan();
    if (scan.hr == ZZ_E_SCRAMBLED) return ZZ_E_SCRAMBLED;
    if (FAILED(scan.hr) || scan.ms <= 0) {
        *why = path.string() + " holds no MPEG program or transport stream that can be read";
        return E_FAIL;
    }
    if (damagedEnd && scanned.ByteRate() > 0)
        scan.ms += static_cast<double>(part.fileSize - dataEnd) * 1000.0 / scanned.ByteRate();
    // What each hole passed over took away: the jump of the time stamps across it. A jump of more
    // than the splitter follows (5 s) is taken out of the title's time line: it is a missing
    // stretch, said where it was; a shorter one stays a gap that the conversion finds itself.
    double folded = 0;
    for (const FileView::Hole& hole : view.Holes()) {
        const auto [before, after] = scanned.TimesAround(hole.at);
        double ms = before >= 0 && after > before ? static_cast<double>(after - before) / 10000.0
                    : scanned.ByteRate() > 0      ? static_cast<double>(hole.bytes) * 1000.0 / scanned.ByteRate()
                                                  : 0;
        if (ms <= 5000) continue;
        const double at = before >= 0 ? static_cast<double>(before) / 10000.0 - folded : 0;
        title.missing.push_back({std::max(0.0, at), ms});
        folded += ms;
        char line[200];
        std::snprintf(line, sizeof line, "%s has a hole of %lld MB in its data: %.1f s at %.1f s are missing",
                      path.filename().string().c_str(), static_cast<long long>(hole.bytes >> 20), ms / 1000, std::max(0.0, at) / 1000);
        title.holes.push_back(line);
    }
    part.ms = scan.ms;
    title.parts.push_back(std::move(part));
    title.chapters = {{0, 0.0}};
    title.info = scan.streams;
    title.video = scan.video;
    FinishRecord(title);
    return S_OK;
}

// A Blu-ray folder's playlists as they were read.
struct PlaylistCandidate {
    fs::path name;
    CHdmvClipInfo::Playlist playlist;
    std::vector<bool> present; // per play item: its clip is there
};

// Reads every playlist; those that cannot be read are said in `unreadable`. The ones that make
// titles (3 s or more, no clip played twice, a clip that is there) come back, the longest first.
std::vector<PlaylistCandidate> ReadPlaylists(const fs::path& bdmv, std::vector<std::string>& unreadable)
{
    std::error_code error;
    std::vector<fs::path> names;
    for (const fs::path& entry : ListFolder(bdmv / "PLAYLIST"))
        if (Lower(entry.extension().string()) == ".mpls") names.push_back(entry);
    std::sort(names.begin(), names.end());

    std::vector<PlaylistCandidate> candidates;
    for (const fs::path& name : names) {
        const std::string said = "playlist " + name.filename().string();
        PlaylistCandidate c{name, {}, {}};
        std::string reason;
        const HRESULT read = CHdmvClipInfo::ReadPlaylist(name, c.playlist, &reason);
        if (FAILED(read)) {
            unreadable.push_back(said + " cannot be read: " + reason);
            continue;
        }
        // A playlist that plays a clip twice is a menu loop or a trick, never a title.
        if (read == S_FALSE) continue;
        std::size_t there = 0;
        for (auto& item : c.playlist.items) {
            item.clip = ExistingCase(item.clip);
            c.present.push_back(fs::is_regular_file(item.clip, error));
            there += c.present.back() ? 1 : 0;
        }
        if (c.playlist.duration < static_cast<REFERENCE_TIME>(kShortestListedTitleMs * 10000)) continue;
        if (there == 0) {
            unreadable.push_back(said + " cannot be read: none of its clips is there");
            continue;
        }
        for (std::size_t k = 0; k < c.present.size(); ++k)
            if (!c.present[k])
                unreadable.push_back(said + " plays " + c.playlist.items[k].clip.filename().string() +
                                     ", which is not there: that stretch is missing");
        candidates.push_back(std::move(c));
    }
    // The longest first; equal ones in name order.
    std::stable_sort(candidates.begin(), candidates.end(), [](const PlaylistCandidate& a, const PlaylistCandidate& b) {
        return a.playlist.duration > b.playlist.duration;
    });
    if (candidates.size() > kMaxTitles) candidates.resize(kMaxTitles);
    return candidates;
}

// What the clips of a Blu-ray folder are known to hold, so that playlists that share clips scan
// each clip once for its streams and find each place cut in it once.
class ClipKnowledge {
public:
    const FileScan& ScanOf(const fs::path& clip)
    {
        auto it = m_scans.find(clip);
        if (it == m_scans.end()) it = m_scans.emplace(clip, File(clip).Scan()).first;
        return it->second;
    }
    // The byte where the clip's stretch from (or to) a time is cut (ScannedFile::CutFrom, CutTo).
    std::int64_t Cut(const fs::path& clip, REFERENCE_TIME time, bool from)
    {
        auto& known = from ? m_cutsFrom : m_cutsTo;
        const auto key = std::make_pair(clip, time);
        auto it = known.find(key);
        if (it == known.end()) it = known.emplace(key, from ? File(clip).CutFrom(time) : File(clip).CutTo(time)).first;
        return it->second;
    }

private:
    // The clip opened by the scanner, once something about it is not known yet (the last one is
    // kept open: a playlist asks about one clip after the other).
    ScannedFile& File(const fs::path& clip)
    {
        if (!m_file || m_fileOf != clip) {
            CHdmvClipInfo clipInfo;
            const bool described = clipInfo.ReadClipInfo(ExistingCase(CHdmvClipInfo::ClipInfoPathOf(clip))) == S_OK;
            m_file = std::make_unique<ScannedFile>(clip, described ? &clipInfo : nullptr);
            m_fileOf = clip;
        }
        return *m_file;
    }

    std::map<fs::path, FileScan> m_scans;
    std::map<std::pair<fs::path, REFERENCE_TIME>, std::int64_t> m_cutsFrom, m_cutsTo;
    std::unique_ptr<ScannedFile> m_file;
    fs::path m_fileOf;
};

// The title a playlist makes: its clips' stretches one after the other (a clip that is not there
// is a missing stretch), the streams of its first clip that is there, and its entry marks as
// chapters. `encrypted` counts a title whose first clip is scrambled.
MediaTitle PlaylistTitle(const PlaylistCandidate& c, ClipKnowledge& clips, int& encrypted)
{
    std::error_code error;
    MediaTitle title;
    std::vector<Chapter> chapters;
    double ms = 0;
    std::int64_t bytes = 0;
    bool scanned = false;
    for (std::size_t k = 0; k < c.playlist.items.size(); ++k) {
        const auto& item = c.playlist.items[k];
        const double itemMs = static_cast<double>(item.out - item.in) / 10000.0;
        if (!c.present[k]) {
            // A clip that is not there: the title plays what is, and says where this was.
            title.missing.push_back({ms, itemMs});
            continue;
        }
        if (!scanned) {
            scanned = true;
            const FileScan& scan = clips.ScanOf(item.clip);
            if (scan.hr == ZZ_E_SCRAMBLED) ++encrypted;
            title.readable = SUCCEEDED(scan.hr);
            if (!title.readable)
                title.why = scan.hr == ZZ_E_SCRAMBLED ? "its clip " + item.clip.filename().string() + " is encrypted (AACS)"
                                                      : "its clip " + item.clip.filename().string() + " (" +
                                                            ByteCount(fs::file_size(item.clip, error)) +
                                                            ") holds no MPEG transport stream that can be read";
            title.info = scan.streams;
            title.video = scan.video;
        }
        // The clip from the unit holding its IN time to the first packet after its OUT time.
        Part part;
        part.file = item.clip.string();
        part.fileSize = ViewOf(item.clip).Size();
        part.begin = std::clamp<std::int64_t>(clips.Cut(item.clip, item.in, true), 0, part.fileSize);
        part.end = std::clamp<std::int64_t>(clips.Cut(item.clip, item.out, false), part.begin, part.fileSize);
        part.ms = itemMs;
        // This item's entry marks, each a chapter from the unit holding its time.
        for (const auto& mark : c.playlist.chapters) {
            if (mark.playItem != static_cast<int>(k) || mark.time < item.in || mark.time > item.out) continue;
            const std::int64_t at = std::clamp(clips.Cut(item.clip, mark.time, true), part.begin, part.end);
            chapters.push_back({bytes + at - part.begin, ms + static_cast<double>(mark.time - item.in) / 10000.0});
        }
        ms += part.ms;
        bytes += part.Size();
        title.parts.push_back(std::move(part));
    }
    std::sort(chapters.begin(), chapters.end(), [](const Chapter& x, const Chapter& y) { return x.ms < y.ms; });
    // Marks closer than a second make no chapter of their own; the title always starts one.
    std::vector<Chapter> kept{{0, 0.0}};
    for (const Chapter& chapter : chapters)
        if (chapter.ms - kept.back().ms >= 1000.0) kept.push_back(chapter);
    title.chapters = std::move(kept);
    FinishRecord(title);
    return title;
}

// The clips that no title plays, as titles of their own ("clip 00001", 3 s or more), after
// `titles`: nothing on the disc is out of reach when its playlists are damaged.
void AddClipTitles(const fs::path& bdmv, const std::set<fs::path>& played, std::vector<MediaTitle>& titles, int& encrypted)
{
    std::error_code error;
    std::vector<fs::path> clips;
    for (const fs::path& entry : ListFolder(bdmv / "STREAM"))
        if (Lower(entry.extension().string()) == ".m2ts" && !played.count(entry)) clips.push_back(entry);
    std::sort(clips.begin(), clips.end());
    for (const fs::path& clip : clips) {
        if (titles.size() >= static_cast<std::size_t>(kMaxTitles)) break;
        MediaTitle title;
        std::string reason;
        const HRESULT made = WholeFileTitle(clip, title, &reason);
        if (made == ZZ_E_SCRAMBLED) ++encrypted;
        if (made != S_OK || title.info.durationMs < kShortestListedTitleMs) continue;
        title.source = "clip " + clip.stem().string();
        titles.push_back(std::move(title));
    }
}

// The stretches of the folder's clips that no title plays, when a playlist cannot be read (it may
// have played them): each clip's time line less the play items of the titles' playlists, and
// less the clips that are titles of their own. Stretches under half a second are left out.
std::vector<Disc::UnplayedStretch> UnplayedStretches(const fs::path& bdmv, const std::vector<PlaylistCandidate>& candidates,
                                                     const std::set<fs::path>& clipTitles, ClipKnowledge& clips)
{
    constexpr REFERENCE_TIME kShortest = 5000000;
    std::vector<Disc::UnplayedStretch> unplayed;
    for (const fs::path& clip : ListFolder(bdmv / "STREAM")) {
        if (Lower(clip.extension().string()) != ".m2ts" || clipTitles.count(clip) || !PlainFileRefusal(clip.string()).empty()) continue;
        const FileScan& scan = clips.ScanOf(clip);
        if (FAILED(scan.hr) || scan.ms <= 0) continue;
        std::vector<std::pair<REFERENCE_TIME, REFERENCE_TIME>> played;
        for (const PlaylistCandidate& c : candidates)
            for (std::size_t k = 0; k < c.playlist.items.size(); ++k)
                if (c.present[k] && c.playlist.items[k].clip == clip) played.emplace_back(c.playlist.items[k].in, c.playlist.items[k].out);
        std::sort(played.begin(), played.end());
        const REFERENCE_TIME end = scan.start + static_cast<REFERENCE_TIME>(scan.ms * 10000);
        REFERENCE_TIME at = scan.start;
        const auto gap = [&](REFERENCE_TIME from, REFERENCE_TIME to) {
            if (to - from >= kShortest)
                unplayed.push_back({"clip " + clip.filename().string(), static_cast<double>(from - scan.start) / 10000.0,
                                    static_cast<double>(to - scan.start) / 10000.0});
        };
        for (const auto& [in, out] : played) {
            if (in > at) gap(at, std::min(in, end));
            at = std::max(at, out);
        }
        if (at < end) gap(at, end);
    }
    return unplayed;
}

std::unique_ptr<Disc> OpenBluray(const std::string& path, const fs::path& bdmv, std::string* why)
{
    std::vector<std::string> unreadable;
    const std::vector<PlaylistCandidate> candidates = ReadPlaylists(bdmv, unreadable);
    ClipKnowledge clips;
    std::vector<MediaTitle> titles;
    std::set<fs::path> played;
    int encrypted = 0;
    for (const PlaylistCandidate& c : candidates) {
        titles.push_back(PlaylistTitle(c, clips, encrypted));
        for (std::size_t k = 0; k < c.playlist.items.size(); ++k)
            if (c.present[k]) played.insert(c.playlist.items[k].clip);
    }
    AddClipTitles(bdmv, played, titles, encrypted);
    // A playlist that cannot be read may have played what no title plays now.
    std::vector<Disc::UnplayedStretch> unplayed;
    const bool playlistLost = std::any_of(unreadable.begin(), unreadable.end(), [](const std::string& line) {
        return line.rfind("playlist ", 0) == 0 && line.find(" cannot be read: ") != std::string::npos;
    });
    if (playlistLost) {
        std::set<fs::path> clipTitles;
        for (const MediaTitle& title : titles)
            if (!title.source.empty() && !title.parts.empty()) clipTitles.insert(title.parts.front().file);
        unplayed = UnplayedStretches(bdmv, candidates, clipTitles, clips);
        for (const Disc::UnplayedStretch& u : unplayed) {
            char line[160];
            std::snprintf(line, sizeof line, "%s from %.1f s to %.1f s is played by no title", u.what.c_str(), u.fromMs / 1000, u.toMs / 1000);
            unreadable.push_back(line);
        }
    }

    for (const std::string& line : unreadable) DebugLog("bluray: %s\n", line.c_str());
    if (titles.empty()) {
        *why = encrypted > 0 ? EncryptedText(path)
                             : "no playlist or clip of 3 seconds or more that can be read in " + path +
                                   (unreadable.empty() ? std::string() : " (" + unreadable.front() + ")");
        return nullptr;
    }
    if (encrypted == static_cast<int>(titles.size())) {
        *why = EncryptedText(path);
        return nullptr;
    }
    const fs::path named = bdmv.parent_path();
    return std::make_unique<MediaDisc>(named.filename().string(), std::move(titles), true, std::move(unreadable), std::move(unplayed));
}

std::unique_ptr<Disc> OpenFile(const fs::path& path, std::string* why)
{
    MediaTitle title;
    const HRESULT made = WholeFileTitle(path, title, why);
    if (made == ZZ_E_SCRAMBLED) {
        *why = path.string() + " is encrypted; ZuZidero reads unencrypted files only";
        return nullptr;
    }
    if (made != S_OK) return nullptr;
    std::vector<std::string> unreadable = title.holes;
    std::vector<MediaTitle> titles;
    titles.push_back(std::move(title));
    return std::make_unique<MediaDisc>(path.filename().string(), std::move(titles), false, std::move(unreadable));
}

} // namespace

std::unique_ptr<Disc> OpenMediaDisc(const std::string& path, std::string* why)
{
    std::string ignored;
    if (!why) why = &ignored;
    std::error_code error;
    const fs::path place(path);
    if (fs::is_regular_file(place, error)) return IsMediaFileName(place) ? OpenFile(place, why) : nullptr;
    if (!fs::is_directory(place, error)) return nullptr;
    const fs::path bdmv = CHdmvClipInfo::BdmvFolder(place);
    if (bdmv.empty()) return nullptr;
    // A folder with a DVD beside the Blu-ray folder is read as the DVD.
    for (const fs::path& entry : ListFolder(bdmv.parent_path()))
        if (Lower(entry.filename().string()) == "video_ts") return nullptr;
    return OpenBluray(path, bdmv, why);
}

std::string OpenErrorText(const std::string& path, const std::string& why, const char* separator)
{
    std::error_code error;
    const fs::path place(path);
    const char* kind = "disc";
    if (fs::is_regular_file(place, error)) {
        kind = IsMediaFileName(place) ? "MPEG file" : "DVD";
    } else if (fs::is_directory(place, error)) {
        const fs::path bdmv = CHdmvClipInfo::BdmvFolder(place);
        bool dvd = false;
        for (const fs::path& entry : ListFolder(place)) dvd = dvd || Lower(entry.filename().string()) == "video_ts";
        dvd = dvd || Lower(place.filename().string()) == "video_ts";
        kind = dvd ? "DVD" : !bdmv.empty() ? "Blu-ray folder" : "disc";
    } else if (fs::is_block_file(place, error)) {
        kind = "DVD";
    }
    return std::string("Open ") + kind + " error" + separator + why;
}

void RegisterMediaDiscs()
{
    static std::once_flag once;
    std::call_once(once, [] { RegisterDiscOpener(OpenMediaDisc); });
}
