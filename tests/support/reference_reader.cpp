#include "support/reference_reader.h"

#include <memory>
#include <stdexcept>

#include "dvd/dvdread_ptr.h"

namespace testing_filters {

namespace {

[[noreturn]] void Fail(const std::string& disc, const std::string& what)
{
    throw std::runtime_error("reference read of " + disc + ": " + what);
}

} // namespace

ReferenceRead ReadTitleWithLibdvdread(const std::string& disc, int title, int firstChapter, int endChapter)
{
    ReferenceRead result;
    const DvdReaderPtr dvd(DVDOpen(disc.c_str()));
    if (!dvd) Fail(disc, "the disc does not open");
    const IfoPtr vmg(ifoOpen(dvd.get(), 0));
    if (!vmg || !vmg->tt_srpt || title < 0 || title >= vmg->tt_srpt->nr_of_srpts) Fail(disc, "no such title");
    const title_info_t& entry = vmg->tt_srpt->title[title];
    const IfoPtr vts(ifoOpen(dvd.get(), entry.title_set_nr));
    const DvdFilePtr file(DVDOpenFile(dvd.get(), entry.title_set_nr, DVD_READ_TITLE_VOBS));
    if (!vts || !vts->vts_ptt_srpt || !vts->vts_pgcit || !file) Fail(disc, "the title set does not open");
    result.titleSet = entry.title_set_nr;
    const ttu_t& parts = vts->vts_ptt_srpt->title[entry.vts_ttn - 1];
    if (endChapter < 0) endChapter = parts.nr_of_ptts;
    if (firstChapter < 0 || firstChapter >= endChapter || endChapter > parts.nr_of_ptts) Fail(disc, "no such chapters");
    for (int c = firstChapter; c < endChapter; ++c) {
        const pgc_t* pgc = vts->vts_pgcit->pgci_srp[parts.ptt[c].pgcn - 1].pgc;
        const int first = pgc->program_map[parts.ptt[c].pgn - 1];
        const int last = c + 1 < parts.nr_of_ptts ? pgc->program_map[parts.ptt[c + 1].pgn - 1] - 1 : pgc->nr_of_cells;
        for (int cell = first; cell <= last; ++cell) {
            const cell_playback_t& playback = pgc->cell_playback[cell - 1];
            for (std::uint32_t s = playback.first_sector; s <= playback.last_sector; ++s) {
                const std::size_t at = result.bytes.size();
                result.bytes.resize(at + DVD_VIDEO_LB_LEN);
                if (DVDReadBlocks(file.get(), static_cast<int>(s), 1, result.bytes.data() + at) != 1)
                    Fail(disc, "sector " + std::to_string(s) + " does not read");
                result.sectors.push_back(s);
            }
        }
    }
    return result;
}

} // namespace testing_filters
