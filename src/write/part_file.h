#pragma once
// PartFile: the temporary file a conversion writes before the result takes its final name.
//
// The part is always a new file of its own, "NAME.XXXXXX.part" beside the final name: it is
// created exclusively and never through an existing name or a symbolic link, so nothing that
// was put in the output folder beforehand (a link to a file elsewhere, another run's part) is
// ever written into. Two runs on one output each write their own part.
//
// Moving the part into place either replaces what is there (the user asked for it) or never
// replaces anything, not even a file that appeared while the conversion ran. The part is flushed
// to the disk before it takes its name, so that a finished name always means a whole file.
//
// While it is open, the part holds an exclusive lock (flock): a part whose lock is free belongs
// to no running conversion, and is an orphan of one that was killed (OrphanedParts).
//
// One thread at a time; the descriptor may be written from any thread while the owner waits.

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

class PartFile {
public:
    // `seed` picks the names tried; 0 takes a random one (tests give a fixed seed to know them).
    explicit PartFile(std::uint64_t seed = 0);
    // Closes the descriptor and removes a part that was not moved into place.
    ~PartFile();
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    // Creates a new, empty part beside `finalPath`, trying new names while one exists. False,
    // with the system's reason in `why`, when none can be created.
    bool Create(const std::string& finalPath, std::string* why);
    // The open part's descriptor, or −1. The PartFile keeps owning it.
    int Descriptor() const { return m_fd; }
    const std::string& Path() const { return m_path; }
    // Moves the part to `target`, flushed and whole. Without `replace`, an existing name (a file,
    // a link, a folder) is never replaced: false with "File exists", and the part stays. On
    // success the part is no more. False, with the reason, when the system reports a failed write.
    bool MoveTo(const std::string& target, bool replace, std::string* why);
    // Moves the part beside `finalPath` as "NAME (partial).EXT", or "NAME (partial 2).EXT" and so
    // on when that exists; the name used in `placed`.
    bool MoveBeside(const std::string& finalPath, std::string* placed, std::string* why);
    // Moves the part to `finalPath`, or when a name is there, beside it as "NAME (2).EXT",
    // "NAME (3).EXT" and so on (both files kept); the name used in `placed`.
    bool MoveToFreeName(const std::string& finalPath, std::string* placed, std::string* why);
    // Lets go of the part and leaves it where it is (a finished file that could not take its
    // name); its path, or empty when there was none.
    std::string Keep();
    // Closes and removes the part; false when it is still there (the folder became read-only).
    bool Discard();

    // The name of the `attempt`th part tried beside `finalPath` by a generator seeded so.
    static std::string CandidateName(const std::string& finalPath, std::uint64_t seed, int attempt);

private:
    std::string NextName(const std::string& finalPath);
    // Writes the part through to the disk; false with the reason when the system reports a
    // failed write.
    bool Flush(std::string* why);
    // Renames the part; 0 or the errno. The descriptor stays open (and the lock held) until the
    // part has its name.
    int Move(const std::string& target, bool replace);
    void CloseDescriptor();
    // Moves the closed part to the first free name of `finalPath` with suffix(1), suffix(2)...
    bool MoveToFirstFree(const std::string& finalPath, const std::function<std::string(int)>& suffix, std::string* placed,
                         std::string* why);

    std::mt19937_64 m_names;
    int m_fd = -1;
    std::string m_path; // empty when there is no part
};

// The parts in `folder` that no running conversion holds ("NAME.XXXXXX.part", a regular file
// whose lock is free): the orphans of runs that were killed. Never links, never folders.
std::vector<std::string> OrphanedParts(const std::string& folder);

// Renames `from` to `to` unless `to` exists, atomically where the file system can (renameat2
// with RENAME_NOREPLACE; else a hard link and an unlink; on file systems without hard links, a
// check just before the rename). 0, or the errno of the failure (EEXIST when `to` exists).
int RenameNoReplace(const std::string& from, const std::string& to);
