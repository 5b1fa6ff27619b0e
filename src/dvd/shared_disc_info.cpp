#include "dvd/shared_disc_info.h"

#include <cstring>
#include <memory>
#include <mutex>

#include "dvd/my_dvd.h"

namespace {
std::mutex g_lock;
DiscInfo g_info{}; // guarded by g_lock
} // namespace

void SharedDiscInfo::Refill(DiscHandle handle)
{
    auto fresh = std::make_unique<DiscInfo>();
    MyDVDGetInfo(handle, fresh.get());
    std::lock_guard lock(g_lock);
    std::memcpy(&g_info, fresh.get(), sizeof g_info);
}

TitleInfo SharedDiscInfo::Title(int title)
{
    std::lock_guard lock(g_lock);
    if (title < 0 || title >= kMaxTitles) return TitleInfo{};
    return g_info.titles[title];
}

DiscInfo SharedDiscInfo::Copy()
{
    std::lock_guard lock(g_lock);
    return g_info;
}
