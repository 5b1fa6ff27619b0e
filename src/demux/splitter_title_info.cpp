#include "demux/splitter_title_info.h"

#include <mutex>

namespace {
std::mutex g_lock;
TitleInfo g_title{}; // guarded by g_lock
} // namespace

void SplitterTitleInfo::Clear()
{
    std::lock_guard lock(g_lock);
    g_title = TitleInfo{};
}

void SplitterTitleInfo::Set(const TitleInfo& title)
{
    std::lock_guard lock(g_lock);
    g_title = title;
}

TitleInfo SplitterTitleInfo::Get()
{
    std::lock_guard lock(g_lock);
    return g_title;
}
