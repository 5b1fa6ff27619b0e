#pragma once
// zuzidero-cli info DISC [--json]: what the disc holds.

#include <string>
#include <vector>

// Runs the command with the arguments after "info"; returns the exit status.
int RunInfoCommand(const std::vector<std::string>& args);
