#pragma once
// The temporary folder of a run's two-pass statistics ("zuzidero-passes-XXXXXX"): made when
// first asked for, locked while the run lives, removed when it ends; and those of runs that were
// killed, removed as the next run starts.

#include <string>
#include <vector>

// The two-pass statistics folders in the temporary folder ("zuzidero-passes-XXXXXX") whose run
// was killed (their lock file's lock is free): removed; their paths. Every run calls it as it
// starts; `temporaryFolder` empty is the system's.
std::vector<std::string> RemoveDeadPassFolders(const std::string& temporaryFolder = {});
constexpr const char* kPassFolderPrefix = "zuzidero-passes-";
constexpr const char* kPassFolderLock = "lock";

class PassFolder {
public:
    PassFolder() = default;
    ~PassFolder() { Remove(); }
    PassFolder(const PassFolder&) = delete;
    PassFolder& operator=(const PassFolder&) = delete;
    // The statistics file, in the folder (made and locked when first asked; empty when it
    // cannot be made).
    std::string StatsPath();
    const std::string& Path() const { return m_path; }
    // Removes everything in the folder but the statistics (x264 and x265 keep theirs beside
    // the name).
    void KeepStatsOnly();
    void Remove();

private:
    std::string m_path;
    int m_lock = -1; // held while the folder lives
};
