#include "support/reference_reader.h"

#include <dvdread/dvd_reader.h>
#include <dvdread/ifo_read.h>

namespace testing_filters {

ReferenceRead ReadTitleWithLibdvdread(const std::string& disc, int title, int firstChapter, int endChapter)
{
    ReferenceRead result;
    dvd_reader_t* dvd = DVDOpen(disc.c_str());
    if (!dvd) return result;
    ifo_handle_t* vmg = ifoOpen(dvd, 0);
    if (vmg && title < vmg->tt_srpt->nr_of_srpts) {
        const title_info_t& entry = vmg->tt_srpt->title[title];
        ifo_handle_t* vts = ifoOpen(dvd, entry.title_set_nr);
        dvd_file_t* file = DVDOpenFile(dvd, entry.title_set_nr, DVD_READ_TITLE_VOBS);
        if (vts && file) {
            result.titleSet = entry.title_set_nr;
            const ttu_t& parts = vts->vts_ptt_srpt->title[entry.vts_ttn - 1];
            if (endChapter < 0) endChapter = parts.nr_of_ptts;
            for (int c = firstChapter; c < endChapter; ++c) {
                const pgc_t* pgc = vts->vts_pgcit->pgci_srp[parts.ptt[c].pgcn - 1].pgc;
                const int first = pgc->program_map[parts.ptt[c].pgn - 1];
                const int last = c + 1 < parts.nr_of_ptts ? pgc->program_map[parts.ptt[c + 1].pgn - 1] - 1 : pgc->nr_of_cells;
                for (int cell = first; cell <= last; ++cell) {
                    const cell_playback_t& playback = pgc->cell_playback[cell - 1];
                    for (std::uint32_t s = playback.first_sector; s <= playback.last_sector; ++s) {
                        const std::size_t at = result.bytes.size();
                        result.bytes.resize(at + DVD_VIDEO_LB_LEN);
                        DVDReadBlocks(file, static_cast<int>(s), 1, result.bytes.data() + at);
                        result.sectors.push_back(s);
                    }
                }
            }
        }
        if (file) DVDCloseFile(file);
        if (vts) ifoClose(vts);
    }
    if (vmg) ifoClose(vmg);
    DVDClose(dvd);
    return result;
}

} // namespace testing_filters
