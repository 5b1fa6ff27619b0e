#pragma once
// Disc: what the disc-access library reads. A DVD-Video disc is one kind; other kinds (a Blu-ray
// folder, a single media file) are made by openers that the layers above register, since they
// need the stream scanner. Every kind describes itself in the same disc information record and
// reads a selected title (or chapter) as one plain byte stream.
//
// All operations may be called from any thread; each disc serialises its own calls.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dvd/disc_info.h"

// The picture of a title: its coded size and whether it is shown at 16:9 (else 4:3).
struct TitleVideo {
    int width = 720;
    int height = 480;
    bool wide = false;
    // Pictures per 1000 s as the source codes them (25000 PAL, 29970 NTSC, 23976 film); 0 unknown.
    std::int32_t frameRate = 0;
};

// What a test's fault hook makes of one sector read.
enum class ReadFault { None, Fail, Zero };
// Called for every sector read attempt with the title set and the sector in its title VOBs.
using ReadFaultHook = std::function<ReadFault(int titleSet, std::uint32_t sector)>;

enum class DiscKind { kDvd, kBluray, kFile };

class Disc {
public:
    // Where a cell starts in the byte stream of an area and in its playing time.
    struct CellMark {
        std::int64_t position; // bytes from the area's start
        double ms;             // from the area's start
    };

    virtual ~Disc() = default;

    // Fills the whole record.
    virtual void GetInfo(DiscInfo* info) const = 0;
    // Starts the area at a chapter of a title (0-based); it runs to the end of the title until
    // SetStopPos says otherwise. Position 0 is the chapter's first byte.
    virtual void SetArea(int title, int chapter) = 0;
    // Ends the area at the first byte of that chapter; chapter = the title's chapter count, or the
    // next title with chapter 0, means the end of the title.
    virtual void SetStopPos(int title, int chapter) = 0;
    // Moves to a byte position of the area (a kind may round it down, by less than 2048 bytes);
    // returns the position reached, or -1 for a negative position or one past the area's end.
    virtual std::int64_t Seek(std::int64_t position) = 0;
    // Copies at most `count` bytes from the current position; returns the bytes copied, 0 at the
    // end of the area, -1 on failure.
    virtual std::int32_t Read(std::uint8_t* buffer, std::int32_t count) = 0;
    // The cells from a chapter of a title (0-based; -1 the whole title) to the title's end, as an
    // area set there reads them, and one more mark for that end.
    virtual std::vector<CellMark> CellMarks(int title, int chapter) const = 0;
    // False when the title's navigation could not be read.
    virtual bool IsReadable(int title) const = 0;
    // Why a title cannot be read ("its VTS_01_0.IFO is damaged (...), and so is its backup"),
    // in words that follow "title 3 cannot be read: "; empty for a readable title.
    virtual std::string UnreadableReason(int title) const { return IsReadable(title) ? std::string() : "its navigation is damaged"; }
    // The name the title list shows for the disc: a volume's name, a folder's or a file's; empty
    // when the place's own name is to be shown.
    virtual std::string VolumeName() const = 0;
    virtual TitleVideo VideoOf(int title) const = 0;
    // The 16 colours a title's subpictures are drawn with (0xRRGGBB), as its navigation gives
    // them; empty when it gives none (the subpictures' decoder then guesses).
    virtual std::vector<std::uint32_t> SubpicturePalette(int) const { return {}; }
    // Per subpicture stream of a title's record: whether it holds only forced subtitles (those
    // shown whatever the viewer chose); empty when the disc does not say.
    virtual std::vector<bool> ForcedSubpictures(int) const { return {}; }
    // The main title (0-based), or -1 when the disc does not say: a Blu-ray folder's longest
    // playlist; a DVD's longest title that plays its cells forward without repeating one and whose
    // first cell can be read (decoys of a film's length play its cells out of order or one over
    // and over).
    virtual int MainTitle() const { return -1; }
    // The earlier title (0-based) that plays the same cells in the same order as this one, or -1:
    // a film listed twice is one title.
    virtual int SameAs(int) const { return -1; }
    // What the disc is. Only a DVD's cells are tied to their times (by its navigation packs);
    // other kinds have their time stamps followed across their restarts instead.
    virtual DiscKind Kind() const { return DiscKind::kDvd; }
    // What the disc holds that cannot be read, a line each ("playlist 00003.mpls cannot be read:
    // it is cut short or damaged"); empty when everything could be read.
    virtual std::vector<std::string> Unreadable() const { return {}; }
    // Where a title comes from, when the title list should say it ("clip 00001": a Blu-ray clip
    // that no playlist plays); empty otherwise.
    virtual std::string TitleSource(int) const { return {}; }
    // A stretch of a title that its navigation plays but whose data is missing (a clip that is
    // not there): where the title's bytes would have held it, and how long it plays. Such a
    // stretch takes no time in the title's byte stream or its length.
    struct MissingStretch {
        double atMs = 0;
        double ms = 0;
    };
    virtual std::vector<MissingStretch> Missing(int) const { return {}; }
    // A stretch of the disc that no title plays while a damaged part of its navigation may have
    // played it (a Blu-ray clip's opening when the playlist that plays it cannot be read):
    // converting every title still leaves it out. `what` names where it is ("clip 00001.m2ts"),
    // the times are from its start.
    struct UnplayedStretch {
        std::string what;
        double fromMs = 0;
        double toMs = 0;
    };
    virtual std::vector<UnplayedStretch> Unplayed() const { return {}; }

    // While on, reads give up at once instead of retrying. Any thread.
    virtual void Interrupt(bool) {}
    // Fault injection for tests.
    virtual void SetFaultHook(ReadFaultHook) {}
    // Sectors skipped as unreadable since the disc was opened.
    virtual std::int64_t SkippedSectors() const { return 0; }
};

// Opens a kind of disc other than DVD-Video. It returns null and leaves `why` alone when `path`
// is not of its kind; null with the reason in `why` when it is but cannot be read.
using DiscOpener = std::function<std::unique_ptr<Disc>(const std::string& path, std::string* why)>;
