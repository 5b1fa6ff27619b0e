#include "dvd/dvd_disc.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>


#include "com/plain_file.h"
#include "dvd/first_play.h"
#include "dvd/ifo_parser.h"
#include "com/debug_log.h"

namespace {

// libdvdread's messages go to the debug log.
void LibraryLog(void*, dvd_logger_level_t, const char* format, va_list args)
{
    if (!DebugLogEnabled()) return;
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    DebugLog("libdvdread: %s\n", text);
}

const dvd_logger_cb kLogger = {LibraryLog};

// A VIDEO_TS folder is opened through the folder above it.
std::string DiscRoot(const std::string& path)
{
    namespace fs = std::filesystem;
    std::error_code error;
    fs::path p(path);
    if (!fs::is_directory(p, error)) return path;
    // Trailing '/' (the root's parent is the root itself: stop there).
    while (p.filename().empty() && p.has_parent_path() && p.parent_path() != p) p = p.parent_path();
    std::string name = p.filename().string();
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    if (name == "video_ts" && p.has_parent_path()) return p.parent_path().string();
    return p.string();
}

// The files of a VIDEO_TS folder that libdvdread may open: its information files, backups and
// VOBs, in either case.
std::vector<std::string> DiscFiles(const std::string& root)
{
    const auto lower = [](std::string text) {
        std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
        return text;
    };
    std::vector<std::string> files;
    for (const std::filesystem::path& folder : ListFolder(root)) {
        if (lower(folder.filename().string()) != "video_ts") continue;
        for (const std::filesystem::path& file : ListFolder(folder)) {
            const std::string extension = lower(file.extension().string());
            if (extension == ".ifo" || extension == ".bup" || extension == ".vob") files.push_back(file.string());
        }
    }
    return files;
}

using ifo::PlaybackMs;

// Identifier of an audio stream: (PES id << 8) | sub-stream id.
std::int32_t AudioStreamId(int coding, int number)
{
    switch (coding) {
    case 0: return 0xBD80 + number;                // AC-3
    case 6: return 0xBD88 + number;                // DTS
    case 4: return 0xBDA0 + number;                // LPCM
    case 2:
    case 3: return (0xC0 + number) << 8;           // MPEG audio
    default: return 0xBD80 + number;               // unknown codings travel as private streams
    }
}

const ifo::ProgramChain* ProgramChain(const ifo::TitleSet& set, int pgcn)
{
    if (pgcn < 1 || pgcn > static_cast<int>(set.programChains.size())) return nullptr;
    return &set.programChains[static_cast<std::size_t>(pgcn - 1)];
}

// The largest information file read: real ones are a few hundred kilobytes.
constexpr std::int64_t kLargestInfoFile = 32 << 20;

// The cells of chapter `c` of a title (`parts`, its chapters): from its program of its chain up to
// the next chapter's program in the same chain, or to the chain's end; cells past the title set's
// `sectors` are left out (a cell that claims more would be read for ever), and an angle block
// gives its first angle. The chains met go into `chains`, in chapter order, for the playing time.
std::vector<DvdDisc::CellRun> ChapterRuns(const ifo::TitleSet& vts, const std::vector<ifo::Chapter>& parts, std::size_t c,
                                          std::uint32_t sectors, bool ntsc, std::vector<int>& chains)
{
    std::vector<DvdDisc::CellRun> cells;
    const int pgcn = parts[c].programChain;
    const int pgn = parts[c].program;
    const ifo::ProgramChain* pgc = ProgramChain(vts, pgcn);
    const int programs = pgc ? static_cast<int>(pgc->programs.size()) : 0;
    const int cellCount = pgc ? static_cast<int>(pgc->cells.size()) : 0;
    if (!pgc || pgn < 1 || pgn > programs) return cells;
    if (std::find(chains.begin(), chains.end(), pgcn) == chains.end()) chains.push_back(pgcn);
    const int firstCell = pgc->programs[static_cast<std::size_t>(pgn - 1)];
    int lastCell = cellCount;
    if (c + 1 < parts.size() && parts[c + 1].programChain == pgcn) {
        const int nextPgn = parts[c + 1].program;
        if (nextPgn >= 1 && nextPgn <= programs) lastCell = pgc->programs[static_cast<std::size_t>(nextPgn - 1)] - 1;
    }
    for (int cell = std::max(firstCell, 1); cell <= lastCell && cell <= cellCount; ++cell) {
        const ifo::Cell& playback = pgc->cells[static_cast<std::size_t>(cell - 1)];
        if (playback.blockType == 1 && playback.blockMode != 1) continue;
        if (playback.lastSector < playback.firstSector || playback.firstSector >= sectors) continue;
        cells.push_back(DvdDisc::CellRun{playback.firstSector, std::min(playback.lastSector, sectors - 1), PlaybackMs(playback.time, ntsc)});
    }
    return cells;
}

// The audio and subpicture streams that a title's (first) program chain makes available, into
// its record; with, for each subpicture stream, whether it holds forced subtitles only.
void AddStreams(const ifo::TitleSet& vts, const ifo::ProgramChain& pgc, bool wide, TitleInfo& info, std::vector<bool>& forced)
{
    for (int k = 0; k < static_cast<int>(vts.audio.size()); ++k) {
        const std::uint16_t control = pgc.audioControl[k];
        if (!(control & 0x8000)) continue;
        const int number = (control >> 8) & 0x07;
        const ifo::AudioAttributes& attr = vts.audio[static_cast<std::size_t>(k)];
        const int n = info.audioCount++;
        info.audioStreamId[n] = AudioStreamId(attr.format, number);
        info.audioLanguage[n] = attr.language;
        info.audioFormat[n] = attr.format == 6 ? kAudioFormatDts : attr.format;
        info.audioChannelsMinusOne[n] = attr.channels;
    }
    for (int k = 0; k < static_cast<int>(vts.subpictureLanguages.size()); ++k) {
        const std::uint32_t control = pgc.subpictureControl[k];
        if (!(control & 0x80000000u)) continue;
        const int number = static_cast<int>((wide ? control >> 16 : control >> 24) & 0x1F);
        const int n = info.subpictureCount++;
        info.subpictureStreamId[n] = 0xBD20 + number;
        info.subpictureLanguage[n] = vts.subpictureLanguages[static_cast<std::size_t>(k)];
        forced.push_back(static_cast<std::size_t>(k) < vts.subpictureForced.size() && vts.subpictureForced[static_cast<std::size_t>(k)]);
    }
}


// Each title set's navigation as its IFO and its backup give it (null: unreadable), and the
// sectors of its title VOBs.
struct SetNavigation {
    std::unique_ptr<ifo::TitleSet> copies[2]; // the IFO's, the BUP's
    bool found[2] = {false, false};          // the file is there
    std::uint32_t sectors = 0;
};

// The copy whose tables for title `t` hold together best, the IFO first: a table that is damaged
// in the IFO is read from the backup. Null, with why the title cannot be read, when neither does.
const ifo::TitleSet* ChooseCopy(const SetNavigation& navigation, const ifo::TitleEntry& entry, int t, ifo::TitleCheck& chosen,
                                std::string& why)
{
    char ifoName[16];
    std::snprintf(ifoName, sizeof ifoName, "VTS_%02d_0.IFO", entry.titleSet);
    const ifo::TitleSet* vts = nullptr;
    std::string reasons[2];
    for (int copy = 0; copy < 2; ++copy) {
        if (!navigation.copies[copy]) {
            reasons[copy] = navigation.found[copy] ? "it cannot be read, or its header does not hold together" : "it is not there";
            continue;
        }
        const ifo::TitleCheck check = ifo::CheckTitle(*navigation.copies[copy], entry.setTitle, navigation.sectors, entry.chapters);
        reasons[copy] = check.why;
        if (check.usable && (!vts || check.fit > chosen.fit)) {
            vts = navigation.copies[copy].get();
            chosen = check;
        }
    }
    if (!vts) {
        std::string bup = ifoName;
        bup.replace(bup.size() - 3, 3, "BUP");
        if (!navigation.found[0] && !navigation.found[1])
            why = "its title set " + std::to_string(entry.titleSet) + " is not on the disc (no " + ifoName + " or " + bup + ")";
        else
            why = "its title set's IFO and BUP are damaged (" + std::string(ifoName) + ": " + reasons[0] + "; " + bup + ": " + reasons[1] +
                  ")";
        DebugLog("dvd: title %d cannot be read: %s\n", t + 1, why.c_str());
        return nullptr;
    }
    if (vts == navigation.copies[1].get())
        DebugLog("dvd: title %d is read from the backup of %s (%s)\n", t + 1, ifoName,
                 reasons[0].empty() ? "the IFO is damaged" : reasons[0].c_str());
    else if (chosen.fit < ifo::kBestFit)
        DebugLog("dvd: title %d: %s (in the IFO and its backup)\n", t + 1, chosen.why.c_str());
    return vts;
}

} // namespace

std::unique_ptr<DvdDisc> DvdDisc::Open(const std::string& path, std::string* why)
{
    auto fail = [&](const std::string& reason) -> std::unique_ptr<DvdDisc> {
        DebugLog("dvd: %s\n", reason.c_str());
        if (why) *why = reason;
        return nullptr;
    };
    namespace fs = std::filesystem;
    std::error_code error;
    if (path.empty()) return fail("no disc given");
    const bool exists = fs::exists(path, error);
    if (error && error != std::errc::no_such_file_or_directory) return fail(path + " cannot be read: " + error.message());
    if (!exists) return fail(path + " does not exist");
    // A disc is a folder, an image or a block device. libdvdread, given anything else (a pipe, a
    // terminal), may wait on it for ever and leaks on the way out.
    const fs::file_status status = fs::status(path, error);
    if (!fs::is_directory(status) && !fs::is_regular_file(status) && !fs::is_block_file(status)) {
        const char* kind = fs::is_fifo(status) ? "a FIFO" : fs::is_socket(status) ? "a socket" : fs::is_character_file(status) ? "a character device" : nullptr;
        return fail(path + " is " + (kind ? std::string(kind) + ", " : std::string()) + "no disc, disc image or folder");
    }
    const std::string root = DiscRoot(path);
    if (fs::is_directory(root, error)) {
        bool found = false;
        for (fs::directory_iterator it(root, error), end; !error && it != end; it.increment(error)) {
            std::string name = it->path().filename().string();
            std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
            found = found || name == "video_ts";
        }
        if (error) return fail(path + " cannot be read: " + error.message());
        if (!found) return fail("no VIDEO_TS folder in " + path);
        // libdvdread opens the disc's files as they are: a FIFO in a VOB's place would hold it
        // (and the program) for ever, a folder or a device would be read as nonsense.
        for (const std::string& file : DiscFiles(root)) {
            const std::string refusal = PlainFileRefusal(file);
            if (refusal.rfind("is ", 0) == 0) return fail(file + " " + refusal + ", not a file of a disc");
        }
    }
    std::unique_ptr<DvdDisc> disc(new DvdDisc);
    disc->m_reader.reset(DVDOpen2(nullptr, &kLogger, root.c_str()));
    disc->m_root = root;
    if (!disc->m_reader) return fail(path + " cannot be opened as a DVD");
    ifo::Manager manager;
    if (!disc->ReadNavigation(0, [&](std::span<const std::uint8_t> bytes) { return ifo::ParseManager(bytes, manager); }))
        return fail("VIDEO_TS.IFO and its backup cannot be read");
    disc->Load(manager);
    disc->m_volumeName = ReadVolumeName(disc->m_reader.get());
    return disc;
}

std::string DvdDisc::ReadVolumeName(dvd_reader_t* reader)
{
    // The UDF volume identifier, else the ISO 9660 one (a folder has neither).
    char name[33] = {};
    unsigned char set[128] = {};
    if (DVDUDFVolumeInfo(reader, name, sizeof name, set, sizeof set) != 0 || !name[0])
        if (DVDISOVolumeInfo(reader, name, sizeof name, set, sizeof set) != 0) name[0] = 0;
    name[sizeof name - 1] = 0;
    std::string text(name);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

DvdDisc::~DvdDisc() = default;

DvdDisc::NavigationRead DvdDisc::ReadNavigationFile(int titleSet, dvd_read_domain_t domain,
                                                    const std::function<bool(std::span<const std::uint8_t>)>& parse)
{
    DvdFilePtr file(DVDOpenFile(m_reader.get(), titleSet, domain));
    if (!file) return NavigationRead::kMissing;
    const ssize_t blocks = DVDFileSize(file.get());
    if (blocks <= 0 || blocks * kSectorSize > kLargestInfoFile) return NavigationRead::kDamaged;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(blocks * kSectorSize));
    const ssize_t got = DVDReadBytes(file.get(), bytes.data(), bytes.size());
    if (got <= 0) return NavigationRead::kDamaged;
    bytes.resize(static_cast<std::size_t>(got));
    if (parse(bytes)) return NavigationRead::kParsed;
    DebugLog("dvd: the %s of title set %d is damaged\n", domain == DVD_READ_INFO_FILE ? "IFO" : "BUP", titleSet);
    return NavigationRead::kDamaged;
}

bool DvdDisc::ReadNavigation(int titleSet, const std::function<bool(std::span<const std::uint8_t>)>& parse)
{
    // The information file, then its backup: the first whose bytes hold together.
    for (const dvd_read_domain_t domain : {DVD_READ_INFO_FILE, DVD_READ_INFO_BACKUP_FILE})
        if (ReadNavigationFile(titleSet, domain, parse) == NavigationRead::kParsed) return true;
    return false;
}

void DvdDisc::Load(const ifo::Manager& manager)
{
    const int titleCount = static_cast<int>(manager.titles.size());
    m_titles.resize(static_cast<std::size_t>(titleCount));
    m_info = DiscInfo{};
    m_info.titleCount = std::min(titleCount, kMaxTitles);
    std::map<int, SetNavigation> sets;
    auto setOf = [&](int number) -> const SetNavigation& {
        auto found = sets.find(number);
        if (found == sets.end()) {
            SetNavigation navigation;
            for (int copy = 0; copy < 2; ++copy) {
                auto set = std::make_unique<ifo::TitleSet>();
                const NavigationRead read =
                    ReadNavigationFile(number, copy == 0 ? DVD_READ_INFO_FILE : DVD_READ_INFO_BACKUP_FILE,
                                       [&](std::span<const std::uint8_t> bytes) { return ifo::ParseTitleSet(bytes, *set); });
                navigation.found[copy] = read != NavigationRead::kMissing;
                if (read == NavigationRead::kParsed) navigation.copies[copy] = std::move(set);
            }
            DvdFilePtr vobs(DVDOpenFile(m_reader.get(), number, DVD_READ_TITLE_VOBS));
            const ssize_t size = vobs ? DVDFileSize(vobs.get()) : 0;
            navigation.sectors = size > 0 ? static_cast<std::uint32_t>(std::min<ssize_t>(size, UINT32_MAX)) : 0;
            found = sets.emplace(number, std::move(navigation)).first;
        }
        return found->second;
    };

    for (int t = 0; t < titleCount; ++t) {
        const ifo::TitleEntry& entry = manager.titles[static_cast<std::size_t>(t)];
        Title& title = m_titles[static_cast<std::size_t>(t)];
        title.titleSet = entry.titleSet;
        const SetNavigation& navigation = setOf(entry.titleSet);
        ifo::TitleCheck chosen;
        const ifo::TitleSet* vts = ChooseCopy(navigation, entry, t, chosen, title.why);
        if (!vts) continue;
        title.readable = true;
        const std::vector<ifo::Chapter>& parts = vts->titles[static_cast<std::size_t>(entry.setTitle - 1)];
        const bool ntsc = vts->videoFormat == 0;
        // Picture size codes: 720, 704, 352 wide, or 352 at half the lines.
        static constexpr int kWidths[4] = {720, 704, 352, 352};
        title.video.width = kWidths[vts->pictureSize & 3];
        title.video.height = (ntsc ? 480 : 576) / (vts->pictureSize == 3 ? 2 : 1);
        title.video.wide = vts->aspect != 0;
        title.video.frameRate = ntsc ? 29970 : 25000;
        // Cells end where the title set's VOBs end: a cell that claims more would be read for ever.
        const std::uint32_t sectors = navigation.sectors;

        // Chapters, each the cells from its program.
        std::vector<int> chains; // distinct chains, in chapter order, for the playing time
        const int chapterCount = static_cast<int>(parts.size());
        for (std::size_t c = 0; c < parts.size(); ++c) title.chapters.push_back(ChapterRuns(*vts, parts, c, sectors, ntsc, chains));

        if (t >= kMaxTitles) continue;
        TitleInfo& info = m_info.titles[t];
        info.chapterCount = std::min<int>(chapterCount, kMaxChapters);
        for (int c = 0; c < info.chapterCount; ++c) {
            std::uint64_t chapterSectors = 0;
            for (const CellRun& run : title.chapters[static_cast<std::size_t>(c)]) chapterSectors += run.Sectors();
            info.chapterSectors[c] = static_cast<std::uint32_t>(std::min<std::uint64_t>(chapterSectors, UINT32_MAX));
        }
        // The playing time: the chains', unless they disagree with their cells' (what is read).
        for (int pgcn : chains)
            info.durationMs += chosen.timesAgree ? PlaybackMs(ProgramChain(*vts, pgcn)->time, ntsc) : ifo::CellsMs(*ProgramChain(*vts, pgcn), ntsc);
        if (const ifo::ProgramChain* pgc = ProgramChain(*vts, chapterCount > 0 ? parts[0].programChain : 0)) {
            AddStreams(*vts, *pgc, title.video.wide, info, title.forcedSubpictures);
            title.palette.assign(std::begin(pgc->palette), std::end(pgc->palette));
        }
    }
}

TitleVideo DvdDisc::VideoOf(int title) const
{
    if (title < 0 || static_cast<std::size_t>(title) >= m_titles.size()) return {};
    return m_titles[static_cast<std::size_t>(title)].video;
}

int DvdDisc::MainTitle() const
{
    std::lock_guard lock(m_lock);
    Score();
    return m_mainTitle;
}

int DvdDisc::SameAs(int title) const
{
    std::lock_guard lock(m_lock);
    Score();
    return title >= 0 && static_cast<std::size_t>(title) < m_sameAs.size() ? m_sameAs[static_cast<std::size_t>(title)] : -1;
}

bool DvdDisc::FirstCellReadable(const Title& title) const
{
    const CellRun* first = nullptr;
    for (const auto& chapter : title.chapters)
        if (!chapter.empty()) {
            first = &chapter.front();
            break;
        }
    if (!first) return false;
    DvdFilePtr file(DVDOpenFile(m_reader.get(), title.titleSet, DVD_READ_TITLE_VOBS));
    std::uint8_t sector[kSectorSize];
    if (!file || DVDReadBlocks(file.get(), static_cast<int>(first->first), 1, sector) != 1) return false;
    // A pack header: MPEG data, not the zeros of a damaged stretch.
    return sector[0] == 0 && sector[1] == 0 && sector[2] == 1 && sector[3] == 0xBA;
}

void DvdDisc::Score() const
{
    if (m_scored) return;
    m_scored = true;
    const auto cellsOf = [](const Title& t) {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> cells;
        for (const auto& chapter : t.chapters)
            for (const CellRun& run : chapter) cells.emplace_back(run.first, run.last);
        return cells;
    };
    m_sameAs.assign(m_titles.size(), -1);
    std::vector<std::vector<std::pair<std::uint32_t, std::uint32_t>>> cells;
    for (const Title& t : m_titles) cells.push_back(cellsOf(t));
    // The titles that could be the film: forward, each cell once, their first cell readable.
    std::vector<std::pair<int, double>> candidates; // title, ms
    for (std::size_t t = 0; t < m_titles.size(); ++t) {
        const Title& title = m_titles[t];
        if (!title.readable || cells[t].empty()) continue;
        for (std::size_t u = 0; u < t; ++u) {
            if (m_sameAs[u] < 0 && m_titles[u].titleSet == title.titleSet && cells[u] == cells[t]) {
                m_sameAs[t] = static_cast<int>(u);
                break;
            }
        }
        if (m_sameAs[t] >= 0) continue;
        bool forward = true;
        for (std::size_t c = 1; c < cells[t].size() && forward; ++c) forward = cells[t][c].first > cells[t][c - 1].first;
        const double ms = t < static_cast<std::size_t>(kMaxTitles) ? m_info.titles[t].durationMs : 0;
        if (!forward) {
            DebugLog("dvd: title %zu plays its cells out of order or repeats one: not the main title\n", t + 1);
            continue;
        }
        if (ms > 0 && FirstCellReadable(title)) candidates.emplace_back(static_cast<int>(t), ms);
    }
    // The longest (the first listed of equal ones), unless the disc's own first play leads to
    // another of about its length.
    double longest = 0;
    for (const auto& [t, ms] : candidates)
        if (ms > longest) {
            longest = ms;
            m_mainTitle = t;
        }
    constexpr double kTieMs = 1000;
    std::vector<int> tied;
    for (const auto& [t, ms] : candidates)
        if (ms >= longest - kTieMs) tied.push_back(t);
    if (tied.size() > 1 && !m_root.empty()) {
        // A refused walk (the helper crashed on the disc's commands, or hung) leaves the rule's
        // choice: the first listed of the longest.
        std::string why;
        const int played = FirstPlayedTitle(m_root, tied, &why);
        if (played >= 0) {
            DebugLog("dvd: titles of the main title's length tie; the disc's first play leads to title %d\n", played + 1);
            m_mainTitle = played;
        } else if (!why.empty()) {
            DebugLog("dvd: titles of the main title's length tie; the first play is not followed (%s): title %d, the first listed\n",
                     why.c_str(), m_mainTitle + 1);
        }
    }
}

std::vector<bool> DvdDisc::ForcedSubpictures(int title) const
{
    if (title < 0 || static_cast<std::size_t>(title) >= m_titles.size()) return {};
    return m_titles[static_cast<std::size_t>(title)].forcedSubpictures;
}

std::vector<std::uint32_t> DvdDisc::SubpicturePalette(int title) const
{
    if (title < 0 || static_cast<std::size_t>(title) >= m_titles.size()) return {};
    std::vector<std::uint32_t> rgb;
    for (std::uint32_t colour : m_titles[static_cast<std::size_t>(title)].palette) rgb.push_back(YCrCbToRgb(colour));
    return rgb;
}

void DvdDisc::GetInfo(DiscInfo* info) const
{
    if (info) std::memcpy(info, &m_info, sizeof m_info);
}

std::vector<DvdDisc::CellMark> DvdDisc::CellMarks(int title, int chapter) const
{
    std::vector<CellMark> marks;
    if (title < 0 || title >= static_cast<int>(m_titles.size())) return marks;
    std::int64_t position = 0;
    double ms = 0;
    const auto& chapters = m_titles[static_cast<std::size_t>(title)].chapters;
    for (std::size_t c = static_cast<std::size_t>(std::max(chapter, 0)); c < chapters.size(); ++c) {
        for (const CellRun& run : chapters[c]) {
            marks.push_back(CellMark{position, ms});
            position += static_cast<std::int64_t>(run.Sectors()) * kSectorSize;
            ms += run.ms;
        }
    }
    marks.push_back(CellMark{position, ms});
    return marks;
}

bool DvdDisc::IsReadable(int title) const
{
    return title >= 0 && title < static_cast<int>(m_titles.size()) && m_titles[static_cast<std::size_t>(title)].readable;
}

std::string DvdDisc::UnreadableReason(int title) const
{
    if (title < 0 || title >= static_cast<int>(m_titles.size())) return "the disc has no such title";
    return m_titles[static_cast<std::size_t>(title)].why;
}

void DvdDisc::BuildArea(int title, int firstChapter, int endChapter)
{
    m_areaTitle = title;
    m_areaFirstChapter = firstChapter;
    m_areaCells.clear();
    m_areaSectors = 0;
    m_position = 0;
    m_cellIndex = 0;
    m_cellStart = 0;
    if (title < 0 || title >= static_cast<int>(m_titles.size())) return;
    const Title& t = m_titles[static_cast<std::size_t>(title)];
    endChapter = std::min<int>(endChapter, static_cast<int>(t.chapters.size()));
    for (int c = std::max(firstChapter, 0); c < endChapter; ++c) {
        for (const CellRun& run : t.chapters[static_cast<std::size_t>(c)]) {
            m_areaCells.push_back(run);
            m_areaSectors += run.Sectors();
        }
    }
    if (m_fileTitleSet != t.titleSet) {
        m_file.reset(DVDOpenFile(m_reader.get(), t.titleSet, DVD_READ_TITLE_VOBS));
        m_fileTitleSet = m_file ? t.titleSet : 0;
        if (!m_file) DebugLog("dvd: cannot open the title VOBs of title set %d\n", t.titleSet);
    }
}

void DvdDisc::SetArea(int title, int chapter)
{
    std::lock_guard lock(m_lock);
    BuildArea(title, chapter, INT32_MAX);
}

void DvdDisc::SetStopPos(int title, int chapter)
{
    std::lock_guard lock(m_lock);
    if (m_areaTitle < 0) return;
    int endChapter = INT32_MAX; // a later title: the area runs to the end of its own
    if (title == m_areaTitle)
        endChapter = chapter;
    else if (title < m_areaTitle)
        endChapter = m_areaFirstChapter; // before the start: nothing to read
    BuildArea(m_areaTitle, m_areaFirstChapter, endChapter);
}

std::int64_t DvdDisc::Seek(std::int64_t position)
{
    std::lock_guard lock(m_lock);
    if (position < 0) return -1;
    const std::int64_t sector = position / kSectorSize;
    if (sector > m_areaSectors) return -1;
    m_position = sector;
    // Find the cell holding the position.
    m_cellIndex = 0;
    m_cellStart = 0;
    while (m_cellIndex < m_areaCells.size() && m_cellStart + m_areaCells[m_cellIndex].Sectors() <= sector) {
        m_cellStart += m_areaCells[m_cellIndex].Sectors();
        ++m_cellIndex;
    }
    return sector * kSectorSize;
}

std::int32_t DvdDisc::Read(std::uint8_t* buffer, std::int32_t count)
{
    if (!buffer || count < kSectorSize) return -1;
    std::lock_guard lock(m_lock);
    std::uint32_t wanted = static_cast<std::uint32_t>(count / kSectorSize);
    std::uint32_t placed = 0;
    while (wanted > 0 && m_position < m_areaSectors && m_cellIndex < m_areaCells.size()) {
        const CellRun& run = m_areaCells[m_cellIndex];
        const auto offset = static_cast<std::uint32_t>(m_position - m_cellStart);
        const std::uint32_t n = std::min(wanted, run.Sectors() - offset);
        const std::uint32_t got = ReadSectors(run.first + offset, n, buffer + placed * kSectorSize);
        placed += got;
        wanted -= got;
        m_position += n;
        if (m_position - m_cellStart >= run.Sectors()) {
            m_cellStart += run.Sectors();
            ++m_cellIndex;
        }
    }
    return static_cast<std::int32_t>(placed * kSectorSize);
}

bool DvdDisc::ReadBlocksOnce(std::uint32_t sector, std::uint32_t count, std::uint8_t* out)
{
    if (!m_file) return false;
    std::vector<std::uint32_t> zeroed;
    if (m_faultHook) {
        for (std::uint32_t i = 0; i < count; ++i) {
            const ReadFault fault = m_faultHook(m_fileTitleSet, sector + i);
            if (fault == ReadFault::Fail) return false;
            if (fault == ReadFault::Zero) zeroed.push_back(i);
        }
    }
    const ssize_t got = DVDReadBlocks(m_file.get(), static_cast<int>(sector), count, out);
    if (got != static_cast<ssize_t>(count)) return false;
    for (std::uint32_t i : zeroed) std::memset(out + i * kSectorSize, 0, kSectorSize);
    return true;
}

std::uint32_t DvdDisc::ReadSectors(std::uint32_t sector, std::uint32_t count, std::uint8_t* out)
{
    // The reading is being stopped: what is read now is thrown away, and a damaged drive would
    // hold the stop up with its retries.
    if (m_interrupted) {
        std::memset(out, 0, static_cast<std::size_t>(count) * kSectorSize);
        return count;
    }
    // The whole run at once, and once more; then sector by sector, each tried twice.
    if (ReadBlocksOnce(sector, count, out) || (!m_interrupted && ReadBlocksOnce(sector, count, out))) return count;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint8_t* target = out + i * kSectorSize;
        if (m_interrupted) { // the reading is being stopped: no more retries
            std::memset(target, 0, static_cast<std::size_t>(count - i) * kSectorSize);
            break;
        }
        if (ReadBlocksOnce(sector + i, 1, target) || ReadBlocksOnce(sector + i, 1, target)) continue;
        // Its place is kept, filled with zeros (no MPEG data), so that every later byte stays
        // where the cells and seeking expect it.
        std::memset(target, 0, kSectorSize);
        ++m_skipped;
        DebugLog("dvd: sector %u of title set %d is unreadable and skipped (%lld skipped so far)\n", sector + i,
                 m_fileTitleSet, static_cast<long long>(m_skipped.load()));
    }
    return count;
}

void DvdDisc::SetFaultHook(ReadFaultHook hook)
{
    std::lock_guard lock(m_lock);
    m_faultHook = std::move(hook);
}
