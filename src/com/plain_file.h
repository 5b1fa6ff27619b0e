#pragma once
// Opening a file of a disc (an IFO, a VOB, a playlist, an MPEG file) safely: without waiting on
// it (a FIFO put in its place would hold open() or read() for ever) and only when it is a
// regular file. Any thread.

#include <filesystem>
#include <string>
#include <vector>

// Opens `path` for reading and checks it before anything is read: a descriptor (blocking, as
// usual, close-on-exec) for a regular file, else −1 with the reason in `why` ("is a FIFO", "is a
// folder", "is a device", "is a socket", or the system's reason). A block device is taken too when
// `deviceToo` (a disc's drive).
int OpenPlainFile(const std::string& path, std::string* why = nullptr, bool deviceToo = false);

// Why `path` is not a plain file that can be read, or empty when it is (it is opened and closed
// again to see: a file without read permission says so).
std::string PlainFileRefusal(const std::string& path, bool deviceToo = false);

// A plain file read whole, at most `limit` bytes; false with the reason (also for a file larger
// than that).
bool ReadPlainFile(const std::string& path, std::vector<unsigned char>& bytes, std::string* why = nullptr,
                   std::size_t limit = 64u << 20);

// The entries of a folder, sorted; empty when it cannot be read. Never throws (a folder that
// fails while it is read ends the list there).
std::vector<std::filesystem::path> ListFolder(const std::filesystem::path& folder);
