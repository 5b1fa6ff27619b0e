#pragma once
// CBaseSplitterFileEx: the bit reader with one parser per container and elementary-stream header
// the splitter understands. Each parser reads from the current position, fills its record and,
// when given a media type, builds the type the output pin will offer. A parser that fails leaves
// the position wherever it stopped; callers seek back.

#include <cstdint>

#include "demux/base_splitter_file.h"
#include "demux/splitter_headers.h"
#include "pipeline/format_blocks.h"
#include "pipeline/media_type.h"

class CBaseSplitterFileEx : public CBaseSplitterFile {
public:
    CBaseSplitterFileEx(IAsyncReader* reader, HRESULT& hr, std::int64_t cacheSize, bool requireRandomAccess,
                        bool allowStreaming);

    // Finds the next 00 00 01 xx within `budget` bytes; `code` gets xx.
    bool FindNextStartCode(BYTE& code, std::int64_t budget = 65536);

    bool ReadPackHeader(PackHeader& h);
    bool ReadSystemHeader(SystemHeader& h);
    bool ReadPesHeader(PesHeader& h, BYTE streamId);
    bool ReadVideoSequenceHeader(VideoSequenceHeader& h, std::int64_t budget, CMediaType* mt = nullptr);
    bool ReadAvcHeader(AvcHeader& h, std::int64_t budget, CMediaType* mt = nullptr);
    bool ReadVc1Header(Vc1Header& h, std::int64_t budget, CMediaType* mt = nullptr);
    bool ReadMpegAudioHeader(MpegAudioHeader& h, std::int64_t budget, bool allowMpeg25, CMediaType* mt = nullptr);
    bool ReadAacHeader(AacHeader& h, std::int64_t budget, CMediaType* mt = nullptr);
    bool ReadAc3Header(Ac3Header& h, std::int64_t budget, CMediaType* mt = nullptr);
    // The rest of an E-AC-3 header, after its sync word (called by ReadAc3Header).
    bool ReadEac3Header(Ac3Header& h, CMediaType* mt);
    bool ReadDtsHeader(DtsHeader& h, std::int64_t budget, CMediaType* mt = nullptr);
    bool ReadLpcmHeader(LpcmHeader& h, CMediaType* mt = nullptr);
    bool ReadHdmvLpcmHeader(HdmvLpcmHeader& h, CMediaType* mt = nullptr);
    bool ReadPs2AudioHeader(Ps2AudioHeader& h, CMediaType* mt = nullptr);
    bool ReadDvdSubpictureHeader(SubpictureHeader& h, CMediaType* mt = nullptr);
    bool ReadSvcdSubpictureHeader(SubpictureHeader& h, CMediaType* mt = nullptr);
    bool ReadCvdSubpictureHeader(SubpictureHeader& h, CMediaType* mt = nullptr);
    bool ReadPs2SubtitleHeader(SubpictureHeader& h, CMediaType* mt = nullptr);
    // `language`: a three-letter code, or null for "eng".
    bool ReadHdmvSubtitleHeader(SubpictureHeader& h, CMediaType* mt = nullptr, const char* language = nullptr);
    bool ReadTsPacketHeader(TsPacketHeader& h, bool resync = true);
    bool ReadPsiSectionHeader(PsiSectionHeader& h);
    bool ReadPvaHeader(PvaHeader& h, bool resync = true);

    // Added to every time stamp the PES and PVA parsers convert (set by a file source).
    REFERENCE_TIME& TimeOffset() { return m_timeOffset; }
    int TsPacketSize() const { return m_tsPacketSize; }

protected:
    // A 33-bit MPEG time stamp with its three marker bits; false when a marker is 0.
    bool ReadTimeStamp(std::int64_t& value);

    int m_tsPacketSize = 0;
    REFERENCE_TIME m_timeOffset = 0;
};

// Builds an audio media type with a WAVEFORMATEX block of `extraBytes` extra bytes.
WAVEFORMATEX* MakeWaveFormat(CMediaType& mt, const GUID& subtype, WORD formatTag, std::size_t extraBytes);
