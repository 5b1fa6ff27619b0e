#pragma once
// An empty folder of the test's own under the temporary folder ("zuzidero-NAME-PID"), emptied
// first if an earlier run left it.

#include <unistd.h>

#include <filesystem>
#include <string>

namespace testing_filters {

inline std::string FreshFolder(const std::string& name)
{
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / ("zuzidero-" + name + "-" + std::to_string(getpid()));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder.string();
}

} // namespace testing_filters
