// zuzidero-first-play ROOT TITLE...: walks a disc's first play with libdvdnav and prints
// "first-play N", N the first of the TITLEs (counted from 0) that playback reaches, or -1.
// The program runs it as a helper process, so that libdvdnav's asserts and crashes on hostile
// discs end this process only. Its log goes to stderr.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "com/debug_log.h"
#include "dvd/first_play.h"

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s ROOT TITLE...\n", argv[0]);
        return 2;
    }
    SetDebugLogSink([](const std::string& line) { std::fputs(line.c_str(), stderr); });
    std::vector<int> candidates;
    for (int i = 2; i < argc; ++i) {
        char* end = nullptr;
        const long title = std::strtol(argv[i], &end, 10);
        if (!*argv[i] || *end || title < 0 || title > 998) {
            std::fprintf(stderr, "%s: bad title %s\n", argv[0], argv[i]);
            return 2;
        }
        candidates.push_back(static_cast<int>(title));
    }
    const int title = WalkFirstPlay(argv[1], candidates);
    std::printf("%s%d\n", kFirstPlayAnswer, title);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
