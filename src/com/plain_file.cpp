#include "com/plain_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

const char* KindOf(mode_t mode)
{
    if (S_ISFIFO(mode)) return "is a FIFO";
    if (S_ISDIR(mode)) return "is a folder";
    if (S_ISSOCK(mode)) return "is a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "is a device";
    return "is not a regular file";
}

} // namespace

int OpenPlainFile(const std::string& path, std::string* why, bool deviceToo)
{
    // Without O_NONBLOCK a FIFO holds open() until someone writes to it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        if (why) *why = std::strerror(errno);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        if (why) *why = std::strerror(errno);
        ::close(fd);
        return -1;
    }
    if (!S_ISREG(st.st_mode) && !(deviceToo && S_ISBLK(st.st_mode))) {
        if (why) *why = KindOf(st.st_mode);
        ::close(fd);
        return -1;
    }
    // Reads of a regular file wait for the disc as usual.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

std::string PlainFileRefusal(const std::string& path, bool deviceToo)
{
    std::string why;
    const int fd = OpenPlainFile(path, &why, deviceToo);
    if (fd >= 0) ::close(fd);
    return fd >= 0 ? std::string() : why;
}

bool ReadPlainFile(const std::string& path, std::vector<unsigned char>& bytes, std::string* why, std::size_t limit)
{
    bytes.clear();
    const int fd = OpenPlainFile(path, why);
    if (fd < 0) return false;
    bool ok = true;
    unsigned char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            if (why) *why = std::strerror(errno);
            ok = false;
            break;
        }
        if (got == 0) break;
        if (bytes.size() + static_cast<std::size_t>(got) > limit) {
            if (why) *why = "is larger than " + std::to_string(limit >> 20) + " MB";
            ok = false;
            break;
        }
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    ::close(fd);
    if (!ok) bytes.clear();
    return ok;
}

std::vector<std::filesystem::path> ListFolder(const std::filesystem::path& folder)
{
    std::vector<std::filesystem::path> entries;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        entries.push_back(it->path());
    std::sort(entries.begin(), entries.end());
    return entries;
}
