#pragma once
// What of a run's files could not be read from the disc: the stretches lost in each written file,
// on the file's own time line, and how it is said.

#include <string>
#include <vector>

#include "write/conv_filter.h"

// What of a written file could not be read from the disc: stretches of the file's own time line.
struct FileDamage {
    std::string file; // the path written
    std::vector<LostStretch> lost;
    REFERENCE_TIME Total() const;
};
// "Title_01.mp4: 7.2 s could not be read, at 00:00:15–00:00:22, 00:01:03–00:01:04".
std::string DamageText(const FileDamage& damage);

// The damage of a run's files, in the order they were written.
class DamageReport {
public:
    // Stretches lost in `file`, from where the task begins in it (`offset`, 100 ns).
    void Note(const std::string& file, const std::vector<LostStretch>& lost, REFERENCE_TIME offset);
    // The file is not written after all: what was noted of it goes.
    void Drop(const std::string& file);
    // The file took another name as it was put into place.
    void Rename(const std::string& file, const std::string& placed);
    const std::vector<FileDamage>& Files() const { return m_files; }

private:
    std::vector<FileDamage> m_files;
};
// What of the disc is in no file: "clip 00001.m2ts: 1.0 s is in no file, at …: no title plays
// it, and a playlist that may play it cannot be read".
std::string UnreachedText(const std::string& what, double fromMs, double toMs);
