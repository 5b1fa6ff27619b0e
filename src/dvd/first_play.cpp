#include "dvd/first_play.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>

#include "com/debug_log.h"
#include "com/helper_process.h"

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

// The walk reads at most 40 MB of a disc: on a slow drive that takes a few seconds.
constexpr int kHelperTimeLimitMs = 8000;

std::mutex g_helperLock;
std::string g_helperForTests; // guarded by g_helperLock
int g_timeLimitForTests = 0;  // guarded by g_helperLock

} // namespace

int WalkFirstPlay(const std::string& root, const std::vector<int>& candidates)
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

void SetFirstPlayHelperForTests(const std::string& program, int timeLimitMs)
{
    std::lock_guard lock(g_helperLock);
    g_helperForTests = program;
    g_timeLimitForTests = timeLimitMs;
}

int FirstPlayedTitle(const std::string& root, const std::vector<int>& candidates, std::string* why)
{
    const auto refuse = [&](const std::string& reason) {
        DebugLog("dvd: the first-play walk gives no answer: %s\n", reason.c_str());
        if (why) *why = reason;
        return -1;
    };
    if (candidates.empty()) return -1;
    HelperLimits limits;
    limits.timeLimitMs = kHelperTimeLimitMs;
    limits.outputBytes = 256;
    // Its log comes back through its stderr, once.
    limits.unsetEnvironment = {"ZUZIDERO_DEBUG"};
    std::string program;
    {
        std::lock_guard lock(g_helperLock);
        program = g_helperForTests;
        if (g_timeLimitForTests > 0) limits.timeLimitMs = g_timeLimitForTests;
    }
    if (program.empty()) program = FindHelperProgram(kFirstPlayHelper);
    if (program.empty()) return refuse(std::string(kFirstPlayHelper) + " is not installed beside the program");
    std::vector<std::string> args{root};
    for (int title : candidates) args.push_back(std::to_string(title));
    const HelperOutcome outcome = RunHelperProcess(program, args, limits);
    if (DebugLogEnabled() && !outcome.err.empty()) DebugLog("%s", outcome.err.c_str());
    if (!outcome.Succeeded()) return refuse("the helper " + outcome.Describe(limits));
    // One line: the answer, one of the titles asked about or -1.
    const std::string& out = outcome.out;
    const std::size_t prefix = std::strlen(kFirstPlayAnswer);
    int title = -2;
    const bool line = out.size() > prefix + 1 && out.compare(0, prefix, kFirstPlayAnswer) == 0 && out.back() == '\n';
    const auto [end, error] = line ? std::from_chars(out.data() + prefix, out.data() + out.size() - 1, title)
                                   : std::from_chars_result{out.data(), std::errc::invalid_argument};
    if (error != std::errc() || end != out.data() + out.size() - 1 ||
        (title != -1 && std::find(candidates.begin(), candidates.end(), title) == candidates.end()))
        return refuse("the helper answered nonsense: \"" + out.substr(0, 80) + "\"");
    if (why) why->clear();
    return title;
}
