#pragma once
// The disc-access library: the seven operations over a handle (MyDVDOpen, MyDVDGetInfo,
// MyDVDSetArea, MyDvdSetStopPos, MyDVDSeek, MyDVDRead, MyDVDClose) that the DVD source filter
// reads a title with, the opening with a reason, the registration of other kinds of disc, the
// disc behind a handle, and hooks for damaged-disc tests. Open discs live in a table by handle;
// a call takes a reference to its disc, so a disc closed meanwhile lives until the call returns.
// Any thread may call them; each disc serialises its own calls.
//
// Calling order on one handle: MyDVDOpen; MyDVDGetInfo (any number of times); for each range to
// read, MyDVDSetArea immediately followed by MyDvdSetStopPos, then any mix of MyDVDSeek and
// MyDVDRead; finally MyDVDClose.

#include <cstdint>
#include <memory>
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

// Beyond the seven operations.
// The disc behind a handle, or null: the engine holds it (SourceDisc) and asks it directly what
// the title list and the runs need (its pictures, cells, kind, names).
std::shared_ptr<Disc> MyDVDDisc(DiscHandle handle);
// Adds a kind of disc that MyDVDOpen tries before DVD-Video (any thread, usually at start).
void RegisterDiscOpener(DiscOpener opener);
// While on, reads on the disc stop retrying unreadable sectors and give zeros at once, so that a
// graph being stopped is not held up by a damaged drive.
void MyDVDInterrupt(DiscHandle handle, bool on);
// For damaged-disc tests and diagnostics: a fault-injection hook on the disc (empty to remove),
// and the sectors skipped as unreadable so far (-1 for an unknown handle).
void MyDVDSetReadFaultHook(DiscHandle handle, ReadFaultHook hook);
std::int64_t MyDVDSkippedSectors(DiscHandle handle);

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
