#pragma once
// A fuzz target's folder of files, made once under the system's temporary folder and removed when
// the process ends.

#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

// The folder "zuzidero-NAME-PID", filled by `fill` the first time it is asked for.
inline const std::filesystem::path& FuzzFolder(const std::string& name, const std::function<void(const std::filesystem::path&)>& fill)
{
    struct Folder {
        std::filesystem::path path;
        ~Folder()
        {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    };
    static const Folder folder{[&] {
        const std::filesystem::path root = std::filesystem::temp_directory_path() / ("zuzidero-" + name + "-" + std::to_string(getpid()));
        std::filesystem::create_directories(root);
        fill(root);
        return root;
    }()};
    return folder.path;
}
