#pragma once
// Opening a file of a disc (an IFO, a VOB, a playlist, an MPEG file) safely: without waiting on
// it (a FIFO put in its place would hold open() or read() for ever) and only when it is a
// regular file. Any thread.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// Opens `path` for reading and checks it before anything is read: a descriptor (blocking, as
// usual, close-on-exec) for a regular file, else −1 with the reason in `why` ("is a FIFO", "is a
// folder", "is a device", "is a socket", or the system's reason).
int OpenPlainFile(const std::string& path, std::string* why = nullptr);

// Why `path` is not a plain file that can be read, or empty when it is (it is opened and closed
// again to see: a file without read permission says so). The reasons of what it is begin with
// "is " ("is a FIFO"), the system's do not.
std::string PlainFileRefusal(const std::string& path);

// A plain file read whole, at most `limit` bytes; false with the reason (also for a file larger
// than that).
bool ReadPlainFile(const std::string& path, std::vector<unsigned char>& bytes, std::string* why = nullptr,
                   std::size_t limit = 64u << 20);

// The entries of a folder, sorted; empty when it cannot be read. Never throws (a folder that
// fails while it is read ends the list there).
std::vector<std::filesystem::path> ListFolder(const std::filesystem::path& folder);

// What a file holds without the holes inside it: a sparse file's stretches that the file system
// keeps no data for (an interrupted download, a copy whose bad blocks were passed over) are read
// as zeros, and reading gigabytes of them takes minutes. The view leaves out every hole of at
// least kLeftOutHole bytes that more data follows; a hole at the file's end stays (it is the
// file's damaged end). Positions in the view run over the data only.
class FileView {
public:
    static constexpr std::int64_t kLeftOutHole = 1 << 20;
    struct Hole {
        std::int64_t at = 0;     // where it is in the view (the first byte after it)
        std::int64_t bytes = 0;  // its length in the file
    };
    // The view of an open file (its whole size when the file system cannot say where the holes
    // are); of a file that cannot be looked at, an empty one.
    static FileView Of(int fd);
    std::int64_t Size() const { return m_size; }
    // Where a position of the view is in the file, and how many bytes from there are data in a
    // row (to the next hole left out, or the file's end).
    std::int64_t FileOffset(std::int64_t position, std::int64_t* inARow = nullptr) const;
    // The inverse, for a position in the file's data (a position in a hole left out gives where
    // the data after it begins in the view).
    std::int64_t ViewPosition(std::int64_t fileOffset) const;
    const std::vector<Hole>& Holes() const { return m_holes; }

private:
    struct Stretch {
        std::int64_t fileOffset = 0;
        std::int64_t viewPosition = 0;
        std::int64_t bytes = 0;
    };
    std::vector<Stretch> m_stretches; // the data, in order
    std::vector<Hole> m_holes;
    std::int64_t m_size = 0;
};
