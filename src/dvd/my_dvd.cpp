#include "dvd/my_dvd.h"

#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace {

// The open discs, by handle. Calls take a reference to the disc, so a disc closed meanwhile
// lives until they return.
class DiscTable {
public:
    DiscHandle Add(std::shared_ptr<Disc> disc)
    {
        std::lock_guard lock(m_lock);
        do {
            ++m_next;
        } while (m_next == 0 || m_discs.count(m_next));
        m_discs.emplace(m_next, std::move(disc));
        return m_next;
    }
    std::shared_ptr<Disc> Find(DiscHandle handle)
    {
        std::lock_guard lock(m_lock);
        auto it = m_discs.find(handle);
        return it == m_discs.end() ? nullptr : it->second;
    }
    void Remove(DiscHandle handle)
    {
        std::shared_ptr<Disc> closing;
        {
            std::lock_guard lock(m_lock);
            auto it = m_discs.find(handle);
            if (it == m_discs.end()) return;
            closing = std::move(it->second);
            m_discs.erase(it);
        }
        // `closing` goes here, outside the table's lock.
    }

private:
    std::mutex m_lock;
    std::map<DiscHandle, std::shared_ptr<Disc>> m_discs; // guarded by m_lock
    DiscHandle m_next = 0;                                  // guarded by m_lock
};

DiscTable& Discs()
{
    static DiscTable table;
    return table;
}

struct Openers {
    std::mutex lock;
    std::vector<DiscOpener> list; // guarded by lock
};

Openers& DiscOpeners()
{
    static Openers openers;
    return openers;
}

} // namespace

DiscHandle MyDVDOpen(const char* path) { return MyDVDOpenWithReason(path, nullptr); }

DiscHandle MyDVDOpenWithReason(const char* path, std::string* why)
{
    if (!path) return 0;
    std::vector<DiscOpener> openers;
    {
        std::lock_guard lock(DiscOpeners().lock);
        openers = DiscOpeners().list;
    }
    // The other kinds first: each takes only what is plainly its own, and a folder holding both
    // a VIDEO_TS and a BDMV folder is left to the DVD.
    for (const DiscOpener& open : openers) {
        std::string reason;
        std::shared_ptr<Disc> disc = open(path, &reason);
        if (disc) return Discs().Add(std::move(disc));
        if (!reason.empty()) {
            if (why) *why = reason;
            return 0;
        }
    }
    std::shared_ptr<Disc> disc = DvdDisc::Open(path, why);
    return disc ? Discs().Add(std::move(disc)) : 0;
}

void RegisterDiscOpener(DiscOpener opener)
{
    std::lock_guard lock(DiscOpeners().lock);
    DiscOpeners().list.push_back(std::move(opener));
}

void MyDVDInterrupt(DiscHandle handle, bool on)
{
    if (auto disc = Discs().Find(handle)) disc->Interrupt(on);
}

int MyDVDGetInfo(DiscHandle handle, DiscInfo* info)
{
    auto disc = Discs().Find(handle);
    if (!disc || !info) return -1;
    disc->GetInfo(info);
    return 0;
}

int MyDVDSetArea(DiscHandle handle, int title, int chapter)
{
    auto disc = Discs().Find(handle);
    if (!disc) return -1;
    disc->SetArea(title, chapter);
    return 0;
}

int MyDvdSetStopPos(DiscHandle handle, int title, int chapter)
{
    auto disc = Discs().Find(handle);
    if (!disc) return -1;
    disc->SetStopPos(title, chapter);
    return 0;
}

std::int64_t MyDVDSeek(DiscHandle handle, std::int64_t position, int origin)
{
    auto disc = Discs().Find(handle);
    if (!disc || origin != 0) return -1;
    return disc->Seek(position);
}

std::int32_t MyDVDRead(DiscHandle handle, std::uint8_t* buffer, std::int32_t count)
{
    auto disc = Discs().Find(handle);
    if (!disc) return -1;
    return disc->Read(buffer, count);
}

void MyDVDClose(DiscHandle handle) { Discs().Remove(handle); }

std::shared_ptr<Disc> MyDVDDisc(DiscHandle handle) { return Discs().Find(handle); }

void MyDVDSetReadFaultHook(DiscHandle handle, ReadFaultHook hook)
{
    if (auto disc = Discs().Find(handle)) disc->SetFaultHook(std::move(hook));
}

std::int64_t MyDVDSkippedSectors(DiscHandle handle)
{
    auto disc = Discs().Find(handle);
    return disc ? disc->SkippedSectors() : -1;
}
