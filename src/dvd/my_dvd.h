#pragma once
// The disc-access library: seven operations over a handle, as the program calls them. Any
// thread may call them; each disc serialises its own calls.
//
// Calling order on one handle: MyDVDOpen; MyDVDGetInfo (any number of times); for each range to
// read, MyDVDSetArea immediately followed by MyDvdSetStopPos, then any mix of MyDVDSeek and
// MyDVDRead; finally MyDVDClose.

#include <cstdint>
#include <string>
#include <utility>

#include "dvd/disc_info.h"
#include "dvd/dvd_disc.h"

// Opens a disc (device, mount point, VIDEO_TS folder or the folder above it, ISO image, or what
// a registered opener takes); 0 on failure.
DiscHandle MyDVDOpen(const char* path);
// The same, with the reason of a failure in `why` ("PATH does not exist", "no VIDEO_TS folder in
// PATH", "VIDEO_TS.IFO and its backup cannot be read").
DiscHandle MyDVDOpenWithReason(const char* path, std::string* why);
// Fills the whole record for the disc; 0 on success, -1 for an unknown handle.
int MyDVDGetInfo(DiscHandle handle, DiscInfo* info);
// The next read starts at the first byte of that chapter of that title (both 0-based).
int MyDVDSetArea(DiscHandle handle, int title, int chapter);
// Reading ends at the first byte of that chapter of that title; chapter = chapter count, or the
// next title with chapter 0, means the end of the title.
int MyDvdSetStopPos(DiscHandle handle, int title, int chapter);
// Moves to a byte position of the area (origin is always 0, the area's start); returns the
// position reached, at most 2047 bytes before the requested one, or a negative value.
std::int64_t MyDVDSeek(DiscHandle handle, std::int64_t position, int origin);
// Copies 1 to `count` bytes of the program stream; 0 or less at the stop position or on failure.
std::int32_t MyDVDRead(DiscHandle handle, std::uint8_t* buffer, std::int32_t count);
// Releases the disc; the handle is not valid afterwards.
void MyDVDClose(DiscHandle handle);

// Beyond the seven operations, for damaged-disc tests and diagnostics.
// While on, reads on the disc stop retrying unreadable sectors and give zeros at once, so that a
// graph being stopped is not held up by a damaged drive.
void MyDVDInterrupt(DiscHandle handle, bool on);
// Installs a fault-injection hook on the disc (empty to remove).
void MyDVDSetReadFaultHook(DiscHandle handle, ReadFaultHook hook);
// Sectors skipped as unreadable on this disc so far; -1 for an unknown handle.
std::int64_t MyDVDSkippedSectors(DiscHandle handle);
// The cells from a chapter (0-based, -1 the whole title) to the end of a title: where each starts
// in the area's bytes and in its playing time, and a last mark for the end. Empty for an unknown
// handle or title.
std::vector<Disc::CellMark> MyDVDGetCellMarks(DiscHandle handle, int title, int chapter);
// Adds a kind of disc that MyDVDOpen tries before DVD-Video (any thread, usually at start).
void RegisterDiscOpener(DiscOpener opener);
// The title a player starts with (0-based), or -1 when the disc does not say.
int MyDVDMainTitle(DiscHandle handle);
// What the disc is; a DVD for an unknown handle.
DiscKind MyDVDGetKind(DiscHandle handle);
// The disc's name for the title list: a volume's ("PAL_16X9"), a Blu-ray folder's or a file's;
// empty for a DVD folder or an unknown handle.
std::string MyDVDGetVolumeName(DiscHandle handle);
// False when the title's navigation could not be read (or the handle or title is unknown).
bool MyDVDTitleReadable(DiscHandle handle, int title);
// The picture size and display aspect of a title (0-based); false for an unknown handle or title.
bool MyDVDGetTitleVideo(DiscHandle handle, int title, TitleVideo* video);
// What the disc holds that cannot be read, a line each (Disc::Unreadable).
std::vector<std::string> MyDVDGetUnreadable(DiscHandle handle);
// Where a title comes from when the title list should say it ("clip 00001"), else empty.
std::string MyDVDGetTitleSource(DiscHandle handle, int title);
// The stretches of a title whose data is missing (Disc::Missing).
std::vector<Disc::MissingStretch> MyDVDGetMissing(DiscHandle handle, int title);

// Owns an open disc and closes it when it goes, so no caller closes a disc by hand.
class OwnedDisc {
public:
    OwnedDisc() = default;
    explicit OwnedDisc(DiscHandle handle) : m_handle(handle) {}
    ~OwnedDisc() { Reset(); }
    OwnedDisc(OwnedDisc&& other) noexcept : m_handle(std::exchange(other.m_handle, 0)) {}
    OwnedDisc& operator=(OwnedDisc&& other) noexcept
    {
        if (this != &other) Reset(std::exchange(other.m_handle, 0));
        return *this;
    }
    OwnedDisc(const OwnedDisc&) = delete;
    OwnedDisc& operator=(const OwnedDisc&) = delete;

    DiscHandle Get() const { return m_handle; }
    explicit operator bool() const { return m_handle != 0; }
    // Closes the disc held (if any) and holds `handle` instead.
    void Reset(DiscHandle handle = 0)
    {
        if (m_handle && m_handle != handle) MyDVDClose(m_handle);
        m_handle = handle;
    }

private:
    DiscHandle m_handle = 0;
};

// MyDVDOpenWithReason, owned.
inline OwnedDisc OpenDisc(const std::string& path, std::string* why = nullptr)
{
    return OwnedDisc(MyDVDOpenWithReason(path.c_str(), why));
}
