#pragma once
// zuzidero-cli convert: converts titles or chapters of a disc with a profile.

#include <string>
#include <vector>

// Runs the command; returns the exit status.
int RunConvertCommand(const std::vector<std::string>& args);
