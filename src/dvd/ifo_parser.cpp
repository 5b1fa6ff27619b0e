#include "dvd/ifo_parser.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace ifo {
namespace {

constexpr std::uint64_t kSectorBytes = 2048;

// Big-endian reads that check every access against the bytes there are.
class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}
    std::uint64_t Size() const { return m_bytes.size(); }
    bool Has(std::uint64_t at, std::uint64_t count) const { return at <= Size() && count <= Size() - at; }
    // The values below are read only where Has said yes; elsewhere they are 0 and `ok` turns false.
    std::uint8_t U8(std::uint64_t at)
    {
        if (!Has(at, 1)) return Fail();
        return m_bytes[at];
    }
    std::uint16_t U16(std::uint64_t at)
    {
        if (!Has(at, 2)) return Fail();
        return static_cast<std::uint16_t>(m_bytes[at] << 8 | m_bytes[at + 1]);
    }
    std::uint32_t U32(std::uint64_t at)
    {
        if (!Has(at, 4)) return Fail();
        return static_cast<std::uint32_t>(m_bytes[at]) << 24 | static_cast<std::uint32_t>(m_bytes[at + 1]) << 16 |
               static_cast<std::uint32_t>(m_bytes[at + 2]) << 8 | m_bytes[at + 3];
    }
    bool Matches(std::uint64_t at, const char* text) const
    {
        const std::size_t n = std::strlen(text);
        return Has(at, n) && std::memcmp(m_bytes.data() + at, text, n) == 0;
    }
    PlaybackTime Time(std::uint64_t at) { return {U8(at), U8(at + 1), U8(at + 2), U8(at + 3)}; }
    bool ok = true;

private:
    std::uint8_t Fail()
    {
        ok = false;
        return 0;
    }
    std::span<const std::uint8_t> m_bytes;
};

// One program chain at `at`; false when its own tables do not fit or do not agree.
bool ParseProgramChain(Reader& r, std::uint64_t at, ProgramChain& pgc)
{
    constexpr std::uint64_t kHeader = 0xEC;
    if (!r.Has(at, kHeader)) return false;
    const int programs = r.U8(at + 2);
    const int cells = r.U8(at + 3);
    pgc.time = r.Time(at + 4);
    for (int k = 0; k < 8; ++k) pgc.audioControl[k] = r.U16(at + 0x0C + 2 * static_cast<std::uint64_t>(k));
    for (int k = 0; k < 32; ++k) pgc.subpictureControl[k] = r.U32(at + 0x1C + 4 * static_cast<std::uint64_t>(k));
    for (int k = 0; k < 16; ++k) pgc.palette[k] = r.U32(at + 0xA4 + 4 * static_cast<std::uint64_t>(k)) & 0xFFFFFF;
    const std::uint64_t programMap = r.U16(at + 0xE6);
    const std::uint64_t cellPlayback = r.U16(at + 0xE8);
    if (programs > 0 && (programMap < kHeader || !r.Has(at + programMap, static_cast<std::uint64_t>(programs))))
        return false;
    if (cells > 0 && (cellPlayback < kHeader || !r.Has(at + cellPlayback, 24 * static_cast<std::uint64_t>(cells))))
        return false;
    for (int p = 0; p < programs; ++p) {
        const std::uint8_t entry = r.U8(at + programMap + static_cast<std::uint64_t>(p));
        if (entry < 1 || entry > cells) return false;
        pgc.programs.push_back(entry);
    }
    for (int c = 0; c < cells; ++c) {
        const std::uint64_t cell = at + cellPlayback + 24 * static_cast<std::uint64_t>(c);
        Cell out;
        const std::uint8_t flags = r.U8(cell);
        out.blockMode = flags >> 6;
        out.blockType = (flags >> 4) & 3;
        out.time = r.Time(cell + 4);
        out.firstSector = r.U32(cell + 8);
        out.lastSector = r.U32(cell + 20);
        pgc.cells.push_back(out);
    }
    return r.ok;
}

} // namespace

namespace {

int FromBcd(std::uint8_t value) { return (value >> 4) * 10 + (value & 0x0F); }
bool IsBcd(std::uint8_t value) { return (value >> 4) <= 9 && (value & 0x0F) <= 9; }

} // namespace

bool IsPlaybackTime(const PlaybackTime& time)
{
    const int rate = (time.frame >> 6) & 3;
    const std::uint8_t frames = time.frame & 0x3F;
    if (!IsBcd(time.hour) || !IsBcd(time.minute) || !IsBcd(time.second) || (frames >> 4) > 3 || (frames & 0x0F) > 9) return false;
    if (FromBcd(time.minute) >= 60 || FromBcd(time.second) >= 60) return false;
    // Rates other than 25 (1) and 30 (3) are read as the title set's own (PlaybackMs).
    return FromBcd(frames) < (rate == 1 ? 25 : 30);
}

double PlaybackMs(const PlaybackTime& time, bool ntscDefault)
{
    // The time counts frames at a nominal 25 or 30 per second; NTSC frames last 1001/30 ms, so
    // the frame count is what must be converted.
    int rateCode = (time.frame >> 6) & 0x03;
    if (rateCode != 1 && rateCode != 3) rateCode = ntscDefault ? 3 : 1;
    const int nominal = rateCode == 3 ? 30 : 25;
    const std::int64_t seconds = (FromBcd(time.hour) * 60 + FromBcd(time.minute)) * 60 + FromBcd(time.second);
    const std::int64_t frames = seconds * nominal + FromBcd(time.frame & 0x3F);
    return nominal == 30 ? static_cast<double>(frames) * 1001.0 / 30.0 : static_cast<double>(frames) * 1000.0 / 25.0;
}

double CellsMs(const ProgramChain& chain, bool ntscDefault)
{
    double ms = 0;
    for (const Cell& cell : chain.cells)
        if (!(cell.blockType == 1 && cell.blockMode != 1)) ms += PlaybackMs(cell.time, ntscDefault);
    return ms;
}

TitleCheck CheckTitle(const TitleSet& set, int setTitle, std::uint32_t vobSectors, int listedChapters)
{
    TitleCheck check;
    const auto broken = [&](std::string why) {
        check.why = std::move(why);
        return check;
    };
    if (setTitle < 1 || setTitle > static_cast<int>(set.titles.size()))
        return broken("it has no title " + std::to_string(setTitle) + " (it lists " + std::to_string(set.titles.size()) + ")");
    const std::vector<Chapter>& parts = set.titles[static_cast<std::size_t>(setTitle - 1)];
    if (parts.empty()) return broken("the title has no chapters");
    std::vector<int> chains;
    for (std::size_t c = 0; c < parts.size(); ++c) {
        const std::string chapter = "chapter " + std::to_string(c + 1);
        const int pgcn = parts[c].programChain;
        if (pgcn < 1 || pgcn > static_cast<int>(set.programChains.size()))
            return broken(chapter + " points at program chain " + std::to_string(pgcn) + ", which is not there");
        const ProgramChain& pgc = set.programChains[static_cast<std::size_t>(pgcn - 1)];
        if (pgc.cells.empty() || pgc.programs.empty())
            return broken(chapter + " points at program chain " + std::to_string(pgcn) + ", which is damaged or holds no cells");
        if (parts[c].program < 1 || parts[c].program > static_cast<int>(pgc.programs.size()))
            return broken(chapter + " points at program " + std::to_string(parts[c].program) + ", which program chain " +
                          std::to_string(pgcn) + " does not have");
        if (std::find(chains.begin(), chains.end(), pgcn) == chains.end()) chains.push_back(pgcn);
    }
    bool withinVobs = vobSectors > 0, timesAgree = listedChapters <= 0 || listedChapters == static_cast<int>(parts.size());
    for (int pgcn : chains) {
        const ProgramChain& pgc = set.programChains[static_cast<std::size_t>(pgcn - 1)];
        const std::string chain = "program chain " + std::to_string(pgcn);
        for (std::size_t p = 1; p < pgc.programs.size(); ++p)
            if (pgc.programs[p] <= pgc.programs[p - 1]) return broken(chain + "'s programs do not follow its cells");
        if (!IsPlaybackTime(pgc.time)) return broken(chain + "'s playing time is not a time");
        const bool ntsc = set.videoFormat == 0;
        double cellsMs = 0;
        for (std::size_t k = 0; k < pgc.cells.size(); ++k) {
            const Cell& cell = pgc.cells[k];
            const std::string named = chain + "'s cell " + std::to_string(k + 1);
            if (cell.lastSector < cell.firstSector) return broken(named + " ends before it begins");
            if (!IsPlaybackTime(cell.time)) return broken(named + "'s playing time is not a time");
            if (cell.blockType == 1 && cell.blockMode != 1) continue; // another angle of the same time
            if (vobSectors > 0 && cell.lastSector >= vobSectors) withinVobs = false;
            const double ms = PlaybackMs(cell.time, ntsc);
            // A cell of data plays for some time.
            if (ms <= 0 && cell.lastSector > cell.firstSector) timesAgree = false;
            cellsMs += ms;
        }
        const double chainMs = PlaybackMs(pgc.time, ntsc);
        if (std::abs(chainMs - cellsMs) > std::max(1000.0, chainMs / 100)) timesAgree = false;
    }
    check.usable = true;
    check.timesAgree = timesAgree;
    check.fit = (withinVobs ? 2 : 0) + (timesAgree ? 1 : 0);
    if (!withinVobs) check.why = "its cells lie past the end of the title set's VOBs";
    else if (!timesAgree) check.why = "its playing times do not agree with its cells'";
    return check;
}

bool ParseManager(std::span<const std::uint8_t> bytes, Manager& manager)
{
    manager = {};
    Reader r(bytes);
    if (r.Size() < kSectorBytes || !r.Matches(0, "DVDVIDEO-VMG")) return false;
    // The title table, in a sector of its own after the manager's header.
    const std::uint64_t table = r.U32(0xC4) * kSectorBytes;
    if (table < kSectorBytes || !r.Has(table, 8)) return false;
    const int count = r.U16(table);
    if (count < 1 || count > 99 || !r.Has(table + 8, 12 * static_cast<std::uint64_t>(count))) return false;
    for (int t = 0; t < count; ++t) {
        const std::uint64_t entry = table + 8 + 12 * static_cast<std::uint64_t>(t);
        TitleEntry title;
        title.chapters = r.U16(entry + 2);
        title.titleSet = r.U8(entry + 6);
        title.setTitle = r.U8(entry + 7);
        if (title.titleSet < 1 || title.titleSet > 99 || title.setTitle < 1) return false;
        manager.titles.push_back(title);
    }
    return r.ok;
}

bool ParseTitleSet(std::span<const std::uint8_t> bytes, TitleSet& set)
{
    set = {};
    Reader r(bytes);
    if (r.Size() < kSectorBytes || !r.Matches(0, "DVDVIDEO-VTS")) return false;

    // Attributes of the title set's own video objects.
    const std::uint8_t video0 = r.U8(0x200), video1 = r.U8(0x201);
    set.videoFormat = (video0 >> 4) & 3;
    set.aspect = (video0 >> 2) & 3;
    set.pictureSize = (video1 >> 2) & 3;
    const int audioCount = r.U16(0x202);
    const int subpictureCount = r.U16(0x254);
    if (audioCount > 8 || subpictureCount > 32) return false;
    for (int k = 0; k < audioCount; ++k) {
        const std::uint64_t at = 0x204 + 8 * static_cast<std::uint64_t>(k);
        AudioAttributes audio;
        audio.format = r.U8(at) >> 5;
        audio.channels = r.U8(at + 1) & 7;
        audio.language = r.U16(at + 2);
        set.audio.push_back(audio);
    }
    for (int k = 0; k < subpictureCount; ++k) {
        const std::uint64_t at = 0x256 + 6 * static_cast<std::uint64_t>(k);
        set.subpictureLanguages.push_back(r.U16(at + 2));
        set.subpictureForced.push_back(r.U8(at + 5) == 9);
    }

    // Chapters: per title of the set, (program chain, program) pairs.
    const std::uint64_t chapters = r.U32(0xC8) * kSectorBytes;
    if (chapters < kSectorBytes || !r.Has(chapters, 8)) return false;
    const int titles = r.U16(chapters);
    if (titles < 1 || titles > 99 || !r.Has(chapters + 8, 4 * static_cast<std::uint64_t>(titles))) return false;
    // The table ends at its last byte, or with the file where that lies beyond it.
    const std::uint64_t chaptersEnd = std::min<std::uint64_t>(chapters + std::uint64_t{r.U32(chapters + 4)} + 1, r.Size());
    for (int t = 0; t < titles; ++t) {
        const std::uint64_t begin = chapters + r.U32(chapters + 8 + 4 * static_cast<std::uint64_t>(t));
        const std::uint64_t end =
            t + 1 < titles ? chapters + r.U32(chapters + 8 + 4 * static_cast<std::uint64_t>(t) + 4) : chaptersEnd;
        if (begin < chapters + 8 + 4 * static_cast<std::uint64_t>(titles) || end < begin || end > r.Size()) return false;
        std::vector<Chapter> list;
        for (std::uint64_t at = begin; at + 4 <= end && list.size() < 999; at += 4)
            list.push_back(Chapter{r.U16(at), r.U16(at + 2)});
        set.titles.push_back(std::move(list));
    }

    if (!r.ok) return false;
    // Program chains; one that does not hold together is kept empty (its titles read nothing).
    const std::uint64_t chains = r.U32(0xCC) * kSectorBytes;
    if (chains < kSectorBytes || !r.Has(chains, 8)) return false;
    const int count = r.U16(chains);
    if (count < 1 || !r.Has(chains + 8, 8 * static_cast<std::uint64_t>(count))) return false;
    for (int p = 0; p < count; ++p) {
        const std::uint64_t at = chains + r.U32(chains + 8 + 8 * static_cast<std::uint64_t>(p) + 4);
        ProgramChain pgc;
        if (!ParseProgramChain(r, at, pgc)) {
            r.ok = true; // a damaged chain, not a damaged file
            pgc = ProgramChain{};
        }
        set.programChains.push_back(std::move(pgc));
    }
    return r.ok;
}

} // namespace ifo
