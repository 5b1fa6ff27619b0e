#include "cli/cli_common.h"

#include <cstdio>

void PrintUsage()
{
    std::printf(
        "Usage:\n"
        "  zuzidero-cli info DISC [--json]\n"
        "  zuzidero-cli profiles [--json]\n"
        "\n"
        "DISC is a device such as /dev/sr0, a VIDEO_TS folder (or the folder above it) or an ISO image.\n");
}

int UsageError(const std::string& reason)
{
    std::fprintf(stderr, "zuzidero-cli: %s\n\n", reason.c_str());
    std::fflush(stderr);
    PrintUsage();
    return kExitBadInput;
}

std::string FormatDuration(double milliseconds)
{
    if (milliseconds < 0) milliseconds = 0;
    const long long seconds = static_cast<long long>(milliseconds / 1000.0);
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
    return text;
}
