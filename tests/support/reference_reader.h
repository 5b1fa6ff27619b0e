#pragma once
// Reads a title's or a chapter's sectors straight through libdvdread, cell by cell, as the
// reference the disc-access library is checked against. Only plain titles (no angle blocks) are
// handled, which is what the test discs hold.

#include <cstdint>
#include <string>
#include <vector>

namespace testing_filters {

struct ReferenceRead {
    std::vector<std::uint8_t> bytes;
    // The sector (in the title set's title VOBs) of each 2048 bytes of `bytes`.
    std::vector<std::uint32_t> sectors;
    int titleSet = 0;
};

// The sectors of chapters [firstChapter, endChapter) of a title (all 0-based; endChapter -1 for
// the last). Throws std::runtime_error when the disc, the title or a sector does not read, which
// the test reports as its failure.
ReferenceRead ReadTitleWithLibdvdread(const std::string& disc, int title, int firstChapter = 0, int endChapter = -1);

} // namespace testing_filters
