#include "dvd/first_play.h"

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <memory>

#include "com/debug_log.h"

extern "C" {
#include <dvdnav/dvdnav.h>
}

namespace {

void NavigationLog(void*, dvdnav_logger_level_t level, const char* format, va_list args)
{
    if (level > DVDNAV_LOGGER_LEVEL_WARN) return;
    char line[512];
    std::vsnprintf(line, sizeof line, format, args);
    DebugLog("dvdnav: %s\n", line);
}

const dvdnav_logger_cb kNavigationLogger = {NavigationLog};

struct NavigationClose {
    void operator()(dvdnav_t* nav) const { dvdnav_close(nav); }
};

// Blocks read at most: some warning screens and a menu's loop before the film (a few MB).
constexpr int kLongestWalk = 20000;

} // namespace

int FirstPlayedTitle(const std::string& root, const std::vector<int>& candidates)
{
    if (candidates.empty()) return -1;
    dvdnav_t* opened = nullptr;
    if (dvdnav_open2(&opened, nullptr, &kNavigationLogger, root.c_str()) != DVDNAV_STATUS_OK) {
        if (opened) dvdnav_close(opened);
        return -1;
    }
    std::unique_ptr<dvdnav_t, NavigationClose> nav(opened);
    std::uint8_t block[DVD_VIDEO_LB_LEN];
    int lastTitle = -1;
    for (int step = 0; step < kLongestWalk; ++step) {
        std::int32_t event = 0, length = 0;
        if (dvdnav_get_next_block(nav.get(), block, &event, &length) != DVDNAV_STATUS_OK) break;
        switch (event) {
        case DVDNAV_STILL_FRAME: dvdnav_still_skip(nav.get()); break;
        case DVDNAV_WAIT: dvdnav_wait_skip(nav.get()); break;
        case DVDNAV_STOP: return -1;
        case DVDNAV_VTS_CHANGE:
        case DVDNAV_CELL_CHANGE: {
            std::int32_t title = 0, part = 0;
            if (dvdnav_is_domain_vts(nav.get()) && dvdnav_current_title_info(nav.get(), &title, &part) == DVDNAV_STATUS_OK &&
                title > 0 && title - 1 != lastTitle) {
                lastTitle = title - 1;
                DebugLog("dvdnav: first play reaches title %d\n", title);
                if (std::find(candidates.begin(), candidates.end(), lastTitle) != candidates.end()) return lastTitle;
            }
            break;
        }
        case DVDNAV_NAV_PACKET:
            // In a menu, the button a player shows highlighted is pressed.
            if (!dvdnav_is_domain_vts(nav.get())) {
                pci_t* pci = dvdnav_get_current_nav_pci(nav.get());
                if (pci && pci->hli.hl_gi.btn_ns > 0) dvdnav_button_activate(nav.get(), pci);
            }
            break;
        default: break;
        }
    }
    return -1;
}
