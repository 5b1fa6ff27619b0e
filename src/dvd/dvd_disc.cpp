#include "dvd/dvd_disc.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>

#include <dvdread/ifo_types.h>

#include "platform/com/debug_log.h"

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

int FromBcd(std::uint8_t value) { return (value >> 4) * 10 + (value & 0x0F); }

// Playing time of a program chain in milliseconds. The time counts frames at a nominal 25 or 30
// per second; NTSC frames last 1001/30 ms, so the frame count is what must be converted.
double PlaybackMs(const dvd_time_t& time, bool ntscDefault)
{
    int rateCode = (time.frame_u >> 6) & 0x03;
    if (rateCode != 1 && rateCode != 3) rateCode = ntscDefault ? 3 : 1;
    const int nominal = rateCode == 3 ? 30 : 25;
    const std::int64_t seconds = (FromBcd(time.hour) * 60 + FromBcd(time.minute)) * 60 + FromBcd(time.second);
    const std::int64_t frames = seconds * nominal + FromBcd(time.frame_u & 0x3F);
    return nominal == 30 ? frames * 1001.0 / 30.0 : frames * 1000.0 / 25.0;
}

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

pgc_t* ProgramChain(ifo_handle_t* vts, int pgcn)
{
    if (!vts || !vts->vts_pgcit || pgcn < 1 || pgcn > vts->vts_pgcit->nr_of_pgci_srp) return nullptr;
    return vts->vts_pgcit->pgci_srp[pgcn - 1].pgc;
}

} // namespace

std::unique_ptr<DvdDisc> DvdDisc::Open(const std::string& path)
{
    std::error_code error;
    if (path.empty() || !std::filesystem::exists(path, error)) {
        DebugLog("dvd: %s does not exist\n", path.c_str());
        return nullptr;
    }
    std::unique_ptr<DvdDisc> disc(new DvdDisc);
    const std::string root = DiscRoot(path);
    disc->m_reader.reset(DVDOpen2(nullptr, &kLogger, root.c_str()));
    if (!disc->m_reader) {
        DebugLog("dvd: cannot open %s\n", root.c_str());
        return nullptr;
    }
    disc->m_vmg.reset(ifoOpen(disc->m_reader.get(), 0));
    if (!disc->m_vmg || !disc->m_vmg->tt_srpt) {
        DebugLog("dvd: no video manager on %s\n", root.c_str());
        return nullptr;
    }
    if (!disc->Load()) return nullptr;
    return disc;
}

DvdDisc::~DvdDisc() = default;

ifo_handle_t* DvdDisc::TitleSetIfo(int titleSet)
{
    if (titleSet < 1 || titleSet > 99) return nullptr;
    if (static_cast<std::size_t>(titleSet) >= m_titleSets.size()) m_titleSets.resize(static_cast<std::size_t>(titleSet) + 1);
    auto& slot = m_titleSets[static_cast<std::size_t>(titleSet)];
    if (!slot) {
        slot.reset(ifoOpen(m_reader.get(), titleSet));
        if (!slot) DebugLog("dvd: cannot read the navigation of title set %d\n", titleSet);
    }
    return slot.get();
}

bool DvdDisc::Load()
{
    const tt_srpt_t* table = m_vmg->tt_srpt;
    const int titleCount = table->nr_of_srpts;
    m_titles.resize(static_cast<std::size_t>(titleCount));
    m_info = DiscInfo{};
    m_info.titleCount = std::min(titleCount, kMaxTitles);

    for (int t = 0; t < titleCount; ++t) {
        const title_info_t& entry = table->title[t];
        Title& title = m_titles[static_cast<std::size_t>(t)];
        title.titleSet = entry.title_set_nr;
        ifo_handle_t* vts = TitleSetIfo(entry.title_set_nr);
        if (!vts || !vts->vts_ptt_srpt || !vts->vtsi_mat || entry.vts_ttn < 1 ||
            entry.vts_ttn > vts->vts_ptt_srpt->nr_of_srpts)
            continue;
        const ttu_t& parts = vts->vts_ptt_srpt->title[entry.vts_ttn - 1];
        const video_attr_t& videoAttr = vts->vtsi_mat->vts_video_attr;
        const bool ntsc = videoAttr.video_format == 0;
        // Picture size codes: 720, 704, 352 wide, or 352 at half the lines.
        static constexpr int kWidths[4] = {720, 704, 352, 352};
        title.video.width = kWidths[videoAttr.picture_size & 3];
        title.video.height = (ntsc ? 480 : 576) / (videoAttr.picture_size == 3 ? 2 : 1);
        title.video.wide = videoAttr.display_aspect_ratio != 0;

        // Chapters: from a program of a chain up to the next chapter's program in the same chain,
        // or to the end of the chain.
        std::vector<int> chains; // distinct chains, in chapter order, for the playing time
        for (int c = 0; c < parts.nr_of_ptts; ++c) {
            const int pgcn = parts.ptt[c].pgcn;
            const int pgn = parts.ptt[c].pgn;
            std::vector<CellRun> cells;
            pgc_t* pgc = ProgramChain(vts, pgcn);
            if (pgc && pgc->program_map && pgc->cell_playback && pgn >= 1 && pgn <= pgc->nr_of_programs) {
                if (std::find(chains.begin(), chains.end(), pgcn) == chains.end()) chains.push_back(pgcn);
                const int firstCell = pgc->program_map[pgn - 1];
                int lastCell = pgc->nr_of_cells;
                if (c + 1 < parts.nr_of_ptts && parts.ptt[c + 1].pgcn == pgcn) {
                    const int nextPgn = parts.ptt[c + 1].pgn;
                    if (nextPgn >= 1 && nextPgn <= pgc->nr_of_programs) lastCell = pgc->program_map[nextPgn - 1] - 1;
                }
                for (int cell = std::max(firstCell, 1); cell <= lastCell && cell <= pgc->nr_of_cells; ++cell) {
                    const cell_playback_t& playback = pgc->cell_playback[cell - 1];
                    // In an angle block only the first angle's cell is read.
                    if (playback.block_type == BLOCK_TYPE_ANGLE_BLOCK && playback.block_mode != BLOCK_MODE_FIRST_CELL)
                        continue;
                    if (playback.last_sector < playback.first_sector) continue;
                    cells.push_back(CellRun{playback.first_sector, playback.last_sector, PlaybackMs(playback.playback_time, ntsc)});
                }
            }
            title.chapters.push_back(std::move(cells));
        }

        if (t >= kMaxTitles) continue;
        TitleInfo& info = m_info.titles[t];
        info.chapterCount = std::min<int>(parts.nr_of_ptts, kMaxChapters);
        for (int c = 0; c < info.chapterCount; ++c) {
            std::uint64_t sectors = 0;
            for (const CellRun& run : title.chapters[static_cast<std::size_t>(c)]) sectors += run.Sectors();
            info.chapterSectors[c] = static_cast<std::uint32_t>(std::min<std::uint64_t>(sectors, UINT32_MAX));
        }
        for (int pgcn : chains) info.durationMs += PlaybackMs(ProgramChain(vts, pgcn)->playback_time, ntsc);

        // Streams are those the title's (first) program chain makes available.
        pgc_t* pgc = ProgramChain(vts, parts.nr_of_ptts > 0 ? parts.ptt[0].pgcn : 0);
        if (!pgc) continue;
        const vtsi_mat_t* mat = vts->vtsi_mat;
        for (int k = 0; k < 8 && k < mat->nr_of_vts_audio_streams; ++k) {
            const std::uint16_t control = pgc->audio_control[k];
            if (!(control & 0x8000)) continue;
            const int number = (control >> 8) & 0x07;
            const audio_attr_t& attr = mat->vts_audio_attr[k];
            const int n = info.audioCount++;
            info.audioStreamId[n] = AudioStreamId(attr.audio_format, number);
            info.audioLanguage[n] = attr.lang_code;
            info.audioFormat[n] = attr.audio_format == 6 ? kAudioFormatDts : attr.audio_format;
            info.audioChannelsMinusOne[n] = attr.channels;
        }
        const bool wide = mat->vts_video_attr.display_aspect_ratio != 0;
        for (int k = 0; k < 32 && k < mat->nr_of_vts_subp_streams; ++k) {
            const std::uint32_t control = pgc->subp_control[k];
            if (!(control & 0x80000000u)) continue;
            const int number = static_cast<int>((wide ? control >> 16 : control >> 24) & 0x1F);
            const int n = info.subpictureCount++;
            info.subpictureStreamId[n] = 0xBD20 + number;
            info.subpictureLanguage[n] = mat->vts_subp_attr[k].lang_code;
        }
    }
    return true;
}

TitleVideo DvdDisc::VideoOf(int title) const
{
    if (title < 0 || static_cast<std::size_t>(title) >= m_titles.size()) return {};
    return m_titles[static_cast<std::size_t>(title)].video;
}

void DvdDisc::GetInfo(DiscInfo* info) const
{
    if (info) std::memcpy(info, &m_info, sizeof m_info);
}

std::vector<std::vector<DvdDisc::CellRun>> DvdDisc::ChapterCells(int title) const
{
    if (title < 0 || title >= static_cast<int>(m_titles.size())) return {};
    return m_titles[static_cast<std::size_t>(title)].chapters;
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

int DvdDisc::TitleSetOf(int title) const
{
    if (title < 0 || title >= static_cast<int>(m_titles.size())) return 0;
    return m_titles[static_cast<std::size_t>(title)].titleSet;
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
    // The whole run at once, and once more; then sector by sector, each tried twice.
    if (ReadBlocksOnce(sector, count, out) || ReadBlocksOnce(sector, count, out)) return count;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint8_t* target = out + i * kSectorSize;
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
