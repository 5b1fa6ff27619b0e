#pragma once
// IfoParser: reads a DVD's navigation from the bytes of its information files (VIDEO_TS.IFO and
// VTS_nn_0.IFO, or their backups). Only what the program uses is read: the title table of the
// video manager, and of a title set its picture, sound and subpicture attributes, its chapters
// and its program chains with their cells.
//
// Every offset and count is checked against the bytes given: a damaged file is refused (false),
// never read past. The library that reads the disc is only asked for the files' bytes, so a
// damaged information file cannot trip up its own parser.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace ifo {

// A playing time as stored: BCD hours, minutes, seconds, and frames with the rate in their top bits.
struct PlaybackTime {
    std::uint8_t hour = 0, minute = 0, second = 0, frame = 0;
};

// A title of the video manager's title table.
struct TitleEntry {
    int chapters = 0;
    int titleSet = 0;    // 1-based
    int setTitle = 0;    // the title's number inside its title set, 1-based
};

struct Manager {
    std::vector<TitleEntry> titles;
};

struct Cell {
    int blockMode = 0; // 1 first cell of an angle block
    int blockType = 0; // 1 angle block
    PlaybackTime time;
    std::uint32_t firstSector = 0;
    std::uint32_t lastSector = 0;
};

struct ProgramChain {
    PlaybackTime time;
    std::uint16_t audioControl[8] = {};
    std::uint32_t subpictureControl[32] = {};
    // The subpictures' 16 colours, each 0x00YYCrCb as the chain stores it.
    std::uint32_t palette[16] = {};
    std::vector<std::uint8_t> programs; // entry cell (1-based) of each program
    std::vector<Cell> cells;
};

struct Chapter {
    int programChain = 0; // 1-based
    int program = 0;      // 1-based
};

struct AudioAttributes {
    int format = 0;       // 0 AC-3, 2 MPEG-1, 3 MPEG-2, 4 LPCM, 6 DTS
    int channels = 0;     // minus one
    std::uint16_t language = 0;
};

struct TitleSet {
    int videoFormat = 0;  // 0 NTSC, 1 PAL
    int aspect = 0;       // 0 4:3, 3 16:9
    int pictureSize = 0;  // 0 720, 1 704, 2 352, 3 352 at half the lines
    std::vector<AudioAttributes> audio;
    std::vector<std::uint16_t> subpictureLanguages;
    // Per subpicture stream: whether its language code extension says "forced" (9): it holds
    // only the subtitles shown whatever the viewer chose.
    std::vector<bool> subpictureForced;
    std::vector<std::vector<Chapter>> titles; // per title of the set, its chapters
    std::vector<ProgramChain> programChains;
};

// How a title's tables in one copy of its title set's navigation (the IFO or its backup) hold
// together. `usable` is false for what cannot be (a chapter that points at a chain or program
// that is not there, a chain without cells, a cell that ends before it begins, a time that is no
// time), with the reason in `why`; `fit` counts the checks against the disc it passes: its cells
// lie within the title set's VOBs, and its times agree with its cells'.
struct TitleCheck {
    bool usable = false;
    int fit = 0;
    bool timesAgree = false; // the chains' times with their cells'
    std::string why;
};
constexpr int kBestFit = 3;
// `setTitle` is 1-based; `vobSectors` the title set's VOBs' size (0: not known); `listedChapters`
// what the video manager says (0: not known).
TitleCheck CheckTitle(const TitleSet& set, int setTitle, std::uint32_t vobSectors, int listedChapters);
// The playing time of a chain's cells (of one angle), in milliseconds.
double CellsMs(const ProgramChain& chain, bool ntscDefault);
// Whether a stored playing time is one: BCD digits, minutes and seconds below 60, a known rate.
bool IsPlaybackTime(const PlaybackTime& time);
// A stored playing time in milliseconds; `ntscDefault` when its rate bits say nothing.
double PlaybackMs(const PlaybackTime& time, bool ntscDefault);

// Reads VIDEO_TS.IFO (or .BUP); false when the bytes are no intact video manager.
bool ParseManager(std::span<const std::uint8_t> bytes, Manager& manager);
// Reads VTS_nn_0.IFO (or .BUP); false when the bytes are no intact title set.
bool ParseTitleSet(std::span<const std::uint8_t> bytes, TitleSet& titleSet);

} // namespace ifo
