#include "convert/pass_folder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

std::string PassFolder::StatsPath()
{
    if (m_path.empty()) {
        std::string pattern = (std::filesystem::temp_directory_path() / (std::string(kPassFolderPrefix) + "XXXXXX")).string();
        if (!mkdtemp(pattern.data())) return {};
        m_path = pattern;
        // Held while the run lives: a folder whose lock is free belongs to a run that was killed.
        m_lock = ::open((m_path + "/" + kPassFolderLock).c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (m_lock >= 0) ::flock(m_lock, LOCK_EX | LOCK_NB);
    }
    return (std::filesystem::path(m_path) / "stats.log").string();
}

void PassFolder::Remove()
{
    std::error_code error;
    if (!m_path.empty()) std::filesystem::remove_all(m_path, error);
    m_path.clear();
    if (m_lock >= 0) ::close(m_lock);
    m_lock = -1;
}

void PassFolder::KeepStatsOnly()
{
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(m_path, error))
        if (entry.path().filename().string().rfind("stats.log", 0) != 0) std::filesystem::remove(entry.path(), error);
}

std::vector<std::string> RemoveDeadPassFolders(const std::string& temporaryFolder)
{
    namespace fs = std::filesystem;
    std::vector<std::string> removed;
    std::error_code error;
    const fs::path folder = temporaryFolder.empty() ? fs::temp_directory_path(error) : fs::path(temporaryFolder);
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (it->path().filename().string().rfind(kPassFolderPrefix, 0) != 0) continue;
        std::error_code statError;
        if (it->is_symlink(statError) || !it->is_directory(statError)) continue;
        // Another user's folder cannot be opened; a running one's lock is held.
        const int fd = ::open((it->path() / kPassFolderLock).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        const bool dead = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        ::close(fd);
        if (!dead) continue;
        fs::remove_all(it->path(), statError);
        if (!statError) removed.push_back(it->path().string());
    }
    return removed;
}

