// zuzidero-cli: the conversion engine without a window.

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_common.h"
#include "cli/convert_command.h"
#include "cli/info_command.h"
#include "cli/profiles_command.h"
#include "play/engine_registration.h"
#include "version.h"

int main(int argc, char** argv)
{
    // A closed standard output or error (`| head`) must not end a conversion: writes to it fail
    // instead, and the progress stops being printed.
    std::signal(SIGPIPE, SIG_IGN);
    if (argc < 2) return UsageError("no command given");
    const std::string command = argv[1];
    if (command == "--version") {
        std::printf("zuzidero-cli %s\n", kZuZideroVersion);
        return kExitOk;
    }
    const std::vector<std::string> args(argv + 2, argv + argc);
    RegisterEngine();
    if (command == "info") return RunInfoCommand(args);
    if (command == "profiles") return RunProfilesCommand(args);
    if (command == "convert") return RunConvertCommand(args);
    if (command == "--help" || command == "-h" || command == "help") {
        PrintUsage();
        return kExitOk;
    }
    return UsageError("unknown command: " + command);
}
