#pragma once
// zuzidero-cli profiles [--json]: the profile catalogue.

#include <string>
#include <vector>

int RunProfilesCommand(const std::vector<std::string>& args);
