#pragma once
// DvdDisc: one opened disc over libdvdread. It reads the disc's navigation once (titles in the
// order of the title table, their chapters as runs of cells, their audio and subpicture streams)
// and then reads a selected run of cells as one plain byte stream, walking the cells in
// program-chain order and skipping the cells of other angles.
//
// Damaged discs: a sector that cannot be read is tried once more, then skipped and counted: its
// place in the byte stream is kept, filled with zeros, so that positions stay those of the area.
// Only the end of the area ends the stream.
//
// All operations may be called from any thread; they are serialised by the disc's lock.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "dvd/disc.h"
#include "dvd/disc_info.h"
#include "dvd/dvdread_ptr.h"

namespace ifo {
struct Manager;
}

class DvdDisc : public Disc {
public:
    // A run of sectors of one cell, first and last inclusive, in the title set's title VOBs,
    // and the cell's playing time.
    struct CellRun {
        std::uint32_t first;
        std::uint32_t last;
        double ms = 0;
        std::uint32_t Sectors() const { return last - first + 1; }
    };

    // Opens a device, a disc's mount point, a VIDEO_TS folder or the folder above it, or an ISO
    // image; null when the path holds no readable DVD-Video, with the reason in `why` ("PATH does
    // not exist", "no VIDEO_TS folder in PATH", "VIDEO_TS.IFO and its backup cannot be read").
    // The navigation is read by the program itself from the information files' bytes (the IFO,
    // else its backup), every offset checked; a title set whose files are both damaged leaves its
    // titles unreadable, and cells are kept inside the title set's VOBs.
    static std::unique_ptr<DvdDisc> Open(const std::string& path, std::string* why = nullptr);
    ~DvdDisc() override;

    // Fills the whole record.
    void GetInfo(DiscInfo* info) const override;

    // Starts the area at a chapter of a title (0-based); it runs to the end of the title until
    // SetStopPos says otherwise. Position 0 is the chapter's first byte.
    void SetArea(int title, int chapter) override;
    // Ends the area at the first byte of that chapter; chapter = the title's chapter count, or the
    // next title with chapter 0, means the end of the title.
    void SetStopPos(int title, int chapter) override;
    // Moves to a byte position of the area, rounded down to its sector; returns the position
    // reached, or -1 for a negative position or one past the area's end.
    std::int64_t Seek(std::int64_t position) override;
    // Copies whole sectors, at most `count` bytes, from the current position; returns the bytes
    // copied, 0 at the end of the area, -1 for a buffer smaller than a sector.
    std::int32_t Read(std::uint8_t* buffer, std::int32_t count) override;

    // The cells from a chapter of a title (0-based; -1 the whole title) to the title's end, as an
    // area set there reads them, and one more mark for that end: the time map that seeking in the
    // byte stream goes by.
    std::vector<CellMark> CellMarks(int title, int chapter) const override;
    // False when the title's navigation could not be read (it then has no chapters).
    bool IsReadable(int title) const override;
    std::string UnreadableReason(int title) const override;
    // The disc's volume name (an image's or a drive's); empty for a folder.
    std::string VolumeName() const override { return m_volumeName; }
    // The picture of a title as its title set's video attributes describe it.
    TitleVideo VideoOf(int title) const override;
    std::vector<std::uint32_t> SubpicturePalette(int title) const override;
    std::vector<bool> ForcedSubpictures(int title) const override;
    int MainTitle() const override;
    int SameAs(int title) const override;

    // While on, reads give up at once (zeros) instead of trying unreadable sectors again: a stop
    // must not wait for a damaged drive's retries. Any thread.
    void Interrupt(bool on) override { m_interrupted = on; }
    // Fault injection for tests: every sector read asks the hook first.
    void SetFaultHook(ReadFaultHook hook) override;
    // Sectors skipped as unreadable since the disc was opened.
    std::int64_t SkippedSectors() const override { return m_skipped.load(); }

private:
    struct Title {
        int titleSet = 0;
        bool readable = false;
        std::string why; // why it is not readable
        TitleVideo video;
        std::vector<std::uint32_t> palette;          // of its first chain, 0x00YYCrCb
        std::vector<bool> forcedSubpictures;         // per subpicture stream of its record
        std::vector<std::vector<CellRun>> chapters; // chapter → its cells
    };

    DvdDisc() = default;
    // Reads a title set's information file (0: the video manager's), else its backup, and hands
    // the bytes to `parse` until it accepts them; false when neither holds together.
    bool ReadNavigation(int titleSet, const std::function<bool(std::span<const std::uint8_t>)>& parse);
    // One of the two files (DVD_READ_INFO_FILE or DVD_READ_INFO_BACKUP_FILE) read and parsed.
    enum class NavigationRead { kParsed, kDamaged, kMissing };
    NavigationRead ReadNavigationFile(int titleSet, dvd_read_domain_t domain,
                                      const std::function<bool(std::span<const std::uint8_t>)>& parse);
    void Load(const ifo::Manager& manager);
    void BuildArea(int title, int firstChapter, int endChapter); // m_lock held
    // Reads `count` sectors at `sector` into `out`; unreadable ones are zeros there. Returns
    // `count`. m_lock held.
    std::uint32_t ReadSectors(std::uint32_t sector, std::uint32_t count, std::uint8_t* out);
    bool ReadBlocksOnce(std::uint32_t sector, std::uint32_t count, std::uint8_t* out);

    DvdReaderPtr m_reader;
    std::string m_root; // what the reader was opened on
    std::vector<Title> m_titles;
    // The main title and each title's first listing, found once (m_lock).
    mutable bool m_scored = false;
    mutable int m_mainTitle = -1;
    mutable std::vector<int> m_sameAs;
    void Score() const; // m_lock held
    // Whether the first sector of a title's first cell is there to be read (m_lock held).
    bool FirstCellReadable(const Title& title) const;
    DiscInfo m_info{};

    static std::string ReadVolumeName(dvd_reader_t* reader);
    std::string m_volumeName; // set at opening
    mutable std::mutex m_lock;
    // The area, guarded by m_lock.
    int m_areaTitle = -1;
    int m_areaFirstChapter = 0;
    std::vector<CellRun> m_areaCells;
    std::int64_t m_areaSectors = 0;
    std::int64_t m_position = 0; // sector index within the area
    std::size_t m_cellIndex = 0; // the cell holding m_position
    std::int64_t m_cellStart = 0; // area sector index of that cell's first sector
    DvdFilePtr m_file;           // the area's title VOBs
    int m_fileTitleSet = 0;
    ReadFaultHook m_faultHook;    // guarded by m_lock
    std::atomic<std::int64_t> m_skipped{0};
    std::atomic<bool> m_interrupted{false};
};
