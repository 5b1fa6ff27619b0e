#include "write/part_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace {

constexpr int kAttempts = 100;
constexpr char kNameLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

std::string Letters(std::mt19937_64& names)
{
    std::string letters(6, 'X');
    for (char& c : letters) c = kNameLetters[names() % (sizeof kNameLetters - 1)];
    return letters;
}

std::uint64_t RandomSeed()
{
    std::random_device device;
    return (static_cast<std::uint64_t>(device()) << 32) ^ device();
}

bool SetReason(std::string* why, int error)
{
    if (why) *why = std::strerror(error);
    return false;
}

} // namespace

PartFile::PartFile(std::uint64_t seed) : m_names(seed ? seed : RandomSeed()) {}

PartFile::~PartFile() { Discard(); }

std::string PartFile::NextName(const std::string& finalPath) { return finalPath + "." + Letters(m_names) + ".part"; }

std::string PartFile::CandidateName(const std::string& finalPath, std::uint64_t seed, int attempt)
{
    std::mt19937_64 names(seed);
    std::string name;
    for (int i = 0; i <= attempt; ++i) name = finalPath + "." + Letters(names) + ".part";
    return name;
}

bool PartFile::Create(const std::string& finalPath, std::string* why)
{
    Discard();
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const std::string name = NextName(finalPath);
        // Exclusive and not through a link: whatever already has the name, file or link, is left
        // alone and another name is tried.
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            // Held while the conversion runs: a part whose lock is free is an orphan.
            ::flock(fd, LOCK_EX | LOCK_NB);
            m_fd = fd;
            m_path = name;
            return true;
        }
        if (errno != EEXIST && errno != ELOOP) return SetReason(why, errno);
    }
    return SetReason(why, EEXIST);
}

bool PartFile::Flush(std::string* why)
{
    if (m_fd < 0) return true;
    // A file system that writes late (NFS, a full disk met by delayed allocation) reports a
    // failed write only here.
    while (::fsync(m_fd) != 0) {
        if (errno == EINTR) continue;
        if (errno == EINVAL || errno == EROFS) break; // nothing to write through (a pipe, a special file)
        return SetReason(why, errno);
    }
    return true;
}

void PartFile::CloseDescriptor()
{
    // After fsync has succeeded, an interrupted close loses nothing (Linux closes the
    // descriptor all the same).
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

int PartFile::Move(const std::string& target, bool replace)
{
    if (m_path.empty()) return ENOENT;
    const int error = replace ? (::rename(m_path.c_str(), target.c_str()) == 0 ? 0 : errno) : RenameNoReplace(m_path, target);
    if (error == 0) {
        m_path.clear();
        CloseDescriptor();
    }
    return error;
}

bool PartFile::MoveTo(const std::string& target, bool replace, std::string* why)
{
    if (!Flush(why)) return false;
    const int error = Move(target, replace);
    return error == 0 || SetReason(why, error);
}

bool PartFile::MoveBeside(const std::string& finalPath, std::string* placed, std::string* why)
{
    if (!Flush(why)) return false;
    return MoveToFirstFree(finalPath, [](int n) { return n == 1 ? std::string(" (partial)") : " (partial " + std::to_string(n) + ")"; },
                           placed, why);
}

bool PartFile::MoveToFreeName(const std::string& finalPath, std::string* placed, std::string* why)
{
    if (!Flush(why)) return false;
    return MoveToFirstFree(finalPath, [](int n) { return n == 1 ? std::string() : " (" + std::to_string(n) + ")"; }, placed, why);
}

bool PartFile::MoveToFirstFree(const std::string& finalPath, const std::function<std::string(int)>& suffix, std::string* placed,
                               std::string* why)
{
    // Each name is taken without replacing what is there: one that appears meanwhile is passed by.
    const std::filesystem::path path(finalPath);
    const std::string stem = (path.parent_path() / path.stem()).string();
    const std::string extension = path.extension().string();
    for (int n = 1; n <= kAttempts; ++n) {
        const std::string target = stem + suffix(n) + extension;
        const int error = Move(target, false);
        if (error == 0) {
            if (placed) *placed = target;
            return true;
        }
        if (error != EEXIST) return SetReason(why, error);
    }
    return SetReason(why, EEXIST);
}

bool PartFile::Discard()
{
    CloseDescriptor();
    const bool gone = m_path.empty() || ::unlink(m_path.c_str()) == 0 || errno == ENOENT;
    m_path.clear();
    return gone;
}

std::string PartFile::Keep()
{
    CloseDescriptor();
    std::string path;
    path.swap(m_path);
    return path;
}

std::vector<std::string> OrphanedParts(const std::string& folder)
{
    std::vector<std::string> parts;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        // "NAME.XXXXXX.part": six letters between the final name and ".part".
        constexpr std::size_t kTail = std::char_traits<char>::length(".XXXXXX.part");
        if (name.size() <= kTail || name.compare(name.size() - 5, 5, ".part") != 0 || name[name.size() - kTail] != '.') continue;
        const std::string letters = name.substr(name.size() - kTail + 1, 6);
        if (letters.find_first_not_of(kNameLetters) != std::string::npos) continue;
        std::error_code statError;
        if (!it->is_regular_file(statError) || it->is_symlink(statError)) continue;
        // Non-blocking and not through a link: a FIFO or a link put there is never opened.
        const int fd = ::open(it->path().c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st {};
        const bool orphan = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        ::close(fd);
        if (orphan) parts.push_back(it->path().string());
    }
    std::sort(parts.begin(), parts.end());
    return parts;
}

int RenameNoReplace(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return errno;
    // The file system cannot rename without replacing: a hard link fails when the name exists.
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return 0;
    }
    if (errno != EPERM && errno != ENOTSUP && errno != ENOSYS && errno != EMLINK) return errno;
    // No hard links either (FAT): look just before the rename.
    struct stat existing {};
    if (::lstat(to.c_str(), &existing) == 0) return EEXIST;
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}
