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

int OpenPlainFile(const std::string& path, std::string* why)
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
    if (!S_ISREG(st.st_mode)) {
        if (why) *why = KindOf(st.st_mode);
        ::close(fd);
        return -1;
    }
    // Reads of a regular file wait for the disc as usual.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

std::string PlainFileRefusal(const std::string& path)
{
    std::string why;
    const int fd = OpenPlainFile(path, &why);
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

FileView FileView::Of(int fd)
{
    FileView view;
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) return view;
    const std::int64_t size = st.st_size;
    std::int64_t at = 0;
    const auto add = [&](std::int64_t from, std::int64_t to) {
        if (to <= from) return;
        view.m_stretches.push_back({from, view.m_size, to - from});
        view.m_size += to - from;
    };
    while (at < size) {
        const off_t data = ::lseek(fd, at, SEEK_DATA);
        // No data after `at` (a hole to the end, which stays), or a file system that cannot say.
        if (data < 0) {
            add(at, size);
            break;
        }
        if (data - at >= kLeftOutHole) {
            view.m_holes.push_back({view.m_size, data - at});
        } else {
            add(at, data); // a small hole reads as the zeros it is
        }
        const off_t hole = ::lseek(fd, data, SEEK_HOLE);
        const std::int64_t end = hole < 0 || hole > size ? size : hole;
        add(data, end);
        if (end <= data) {
            add(data, size);
            break;
        }
        at = end;
    }
    // Stretches that touch are one.
    std::vector<Stretch> joined;
    for (const Stretch& s : view.m_stretches) {
        if (!joined.empty() && joined.back().fileOffset + joined.back().bytes == s.fileOffset)
            joined.back().bytes += s.bytes;
        else
            joined.push_back(s);
    }
    view.m_stretches = std::move(joined);
    ::lseek(fd, 0, SEEK_SET);
    return view;
}

std::int64_t FileView::FileOffset(std::int64_t position, std::int64_t* inARow) const
{
    for (const Stretch& s : m_stretches) {
        if (position < s.viewPosition + s.bytes) {
            const std::int64_t into = std::max<std::int64_t>(0, position - s.viewPosition);
            if (inARow) *inARow = s.bytes - into;
            return s.fileOffset + into;
        }
    }
    if (inARow) *inARow = 0;
    return m_stretches.empty() ? position : m_stretches.back().fileOffset + m_stretches.back().bytes + (position - m_size);
}

std::int64_t FileView::ViewPosition(std::int64_t fileOffset) const
{
    for (const Stretch& s : m_stretches)
        if (fileOffset < s.fileOffset + s.bytes) return s.viewPosition + std::max<std::int64_t>(0, fileOffset - s.fileOffset);
    return m_size;
}
