// Fuzz target: every elementary-stream and container header parser, each with a media type,
// run from the start of the input and again from wherever the previous one left the reader.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "demux/base_splitter_file_ex.h"
#include "support/memory_source.h"

namespace {

void RunParsers(CBaseSplitterFileEx& f, std::int64_t budget)
{
    CMediaType mt;
    BYTE code = 0;
    f.FindNextStartCode(code, budget);
    PackHeader pack;
    f.ReadPackHeader(pack);
    SystemHeader system;
    f.ReadSystemHeader(system);
    PesHeader pes;
    f.ReadPesHeader(pes, code ? code : 0xE0);
    VideoSequenceHeader sequence;
    f.ReadVideoSequenceHeader(sequence, budget, &mt);
    AvcHeader avc;
    f.ReadAvcHeader(avc, budget, &mt);
    Vc1Header vc1;
    f.ReadVc1Header(vc1, budget, &mt);
    MpegAudioHeader mpa;
    f.ReadMpegAudioHeader(mpa, budget, true, &mt);
    AacHeader aac;
    f.ReadAacHeader(aac, budget, &mt);
    Ac3Header ac3;
    f.ReadAc3Header(ac3, budget, &mt);
    DtsHeader dts;
    f.ReadDtsHeader(dts, budget, &mt);
    LpcmHeader lpcm;
    f.ReadLpcmHeader(lpcm, &mt);
    HdmvLpcmHeader hdmv;
    f.ReadHdmvLpcmHeader(hdmv, &mt);
    Ps2AudioHeader ps2;
    f.ReadPs2AudioHeader(ps2, &mt);
    SubpictureHeader sub;
    f.ReadDvdSubpictureHeader(sub, &mt);
    f.ReadSvcdSubpictureHeader(sub, &mt);
    f.ReadCvdSubpictureHeader(sub, &mt);
    f.ReadPs2SubtitleHeader(sub, &mt);
    f.ReadHdmvSubtitleHeader(sub, &mt, "fra");
    TsPacketHeader ts;
    f.ReadTsPacketHeader(ts, true);
    PsiSectionHeader psi;
    f.ReadPsiSectionHeader(psi);
    PvaHeader pva;
    f.ReadPvaHeader(pva, true);
    f.ReadUnsignedExpGolomb();
    f.ReadSignedExpGolomb();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) return 0;
    // The first byte picks the budget (parsers must respect any) and whether each parser starts
    // from the beginning.
    const std::int64_t budget = static_cast<std::int64_t>(data[0] & 0x7F) * 37;
    const bool restart = (data[0] & 0x80) != 0;
    auto source = testing_filters::MemorySourceFilter::Create(std::vector<std::uint8_t>(data + 1, data + size));
    ComPtr<IAsyncReader> reader;
    QueryInterfaceTo(source->GetPin(0), reader);
    HRESULT hr = S_OK;
    CBaseSplitterFileEx file(reader.Get(), hr, 4096, false, true);
    if (FAILED(hr)) return 0;
    RunParsers(file, budget);
    if (restart) file.SeekTo(0);
    RunParsers(file, budget);
    return 0;
}
