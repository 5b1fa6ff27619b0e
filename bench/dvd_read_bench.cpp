// Read throughput of a whole DVD title through the DVD source filter's IAsyncReader, against
// libdvdread's plain block reads of the same cells, in the same run. The test discs must exist:
// ZUZIDERO_TEST_DISCS names their folder (the test build makes them in build/<preset>/discs).

#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include <dvdread/dvd_reader.h>
#include <dvdread/ifo_read.h>

#include "dvd/dvd_reader.h"
#include "dvd/my_dvd.h"
#include "graph/class_factory.h"
#include "graph/graph_interfaces.h"
#include "support/test_discs.h"

namespace {

using testing_filters::TestDisc;

constexpr int kTitle = 0;

// Reads the title through CDVDReader as the splitter does: SyncRead of consecutive chunks.
void SourceFilterSyncRead(benchmark::State& state)
{
    const std::string path = TestDisc("ntsc_4x3");
    const DiscHandle handle = MyDVDOpen(path.c_str());
    if (!handle) {
        state.SkipWithError("no test disc: set ZUZIDERO_TEST_DISCS");
        return;
    }
    IBaseFilter* raw = nullptr;
    CDVDReader::Create(&raw);
    auto reader = AdoptRef(static_cast<CDVDReader*>(raw));
    reader->SetDvdReader(handle);
    reader->SetArea(kTitle, -1);
    ComPtr<IAsyncReader> async;
    QueryInterfaceTo(reader->GetPin(0), async);
    const auto chunk = static_cast<LONG>(state.range(0));
    std::vector<BYTE> buffer(static_cast<std::size_t>(chunk));
    LONGLONG total = 0, available = 0;
    async->Length(&total, &available);
    for (auto _ : state) {
        for (LONGLONG position = 0; position < total; position += chunk) {
            const LONG wanted = static_cast<LONG>(std::min<LONGLONG>(chunk, total - position));
            async->SyncRead(position, wanted, buffer.data());
        }
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(state.iterations() * total);
    async = nullptr;
    reader = nullptr;
    MyDVDClose(handle);
}

// The peer: libdvdread's own block reads of the title's cells, five sectors at a time.
void LibdvdreadBlockReads(benchmark::State& state)
{
    const std::string path = TestDisc("ntsc_4x3");
    dvd_reader_t* dvd = DVDOpen(path.c_str());
    if (!dvd) {
        state.SkipWithError("no test disc: set ZUZIDERO_TEST_DISCS");
        return;
    }
    ifo_handle_t* vmg = ifoOpen(dvd, 0);
    const title_info_t& entry = vmg->tt_srpt->title[kTitle];
    ifo_handle_t* vts = ifoOpen(dvd, entry.title_set_nr);
    dvd_file_t* file = DVDOpenFile(dvd, entry.title_set_nr, DVD_READ_TITLE_VOBS);
    const pgc_t* pgc = vts->vts_pgcit->pgci_srp[vts->vts_ptt_srpt->title[entry.vts_ttn - 1].ptt[0].pgcn - 1].pgc;
    std::vector<unsigned char> buffer(5 * DVD_VIDEO_LB_LEN);
    std::int64_t bytes = 0;
    for (auto _ : state) {
        bytes = 0;
        for (int cell = 0; cell < pgc->nr_of_cells; ++cell) {
            const cell_playback_t& playback = pgc->cell_playback[cell];
            for (std::uint32_t s = playback.first_sector; s <= playback.last_sector; s += 5) {
                const auto n = std::min<std::uint32_t>(5, playback.last_sector - s + 1);
                bytes += DVDReadBlocks(file, static_cast<int>(s), n, buffer.data()) * DVD_VIDEO_LB_LEN;
            }
        }
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(state.iterations() * bytes);
    DVDCloseFile(file);
    ifoClose(vts);
    ifoClose(vmg);
    DVDClose(dvd);
}

BENCHMARK(SourceFilterSyncRead)->Arg(10240)->Arg(65536)->Unit(benchmark::kMillisecond);
BENCHMARK(LibdvdreadBlockReads)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
