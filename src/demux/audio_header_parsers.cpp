// Audio and subpicture parsers of CBaseSplitterFileEx: MPEG audio, AAC (ADTS), AC-3, DTS, DVD and
// Blu-ray LPCM, PS2 audio, and the subpicture and subtitle kinds.

#include <array>
#include <cstring>

#include "demux/base_splitter_file_ex.h"
#include "pipeline/media_guids.h"

WAVEFORMATEX* MakeWaveFormat(CMediaType& mt, const GUID& subtype, WORD formatTag, std::size_t extraBytes)
{
    mt.ResetFormatBuffer();
    mt.majortype = MEDIATYPE_Audio;
    mt.subtype = subtype;
    mt.formattype = FORMAT_WaveFormatEx;
    auto* wfe = reinterpret_cast<WAVEFORMATEX*>(mt.AllocFormatBuffer(static_cast<ULONG>(sizeof(WAVEFORMATEX) + extraBytes)));
    if (!wfe) return nullptr;
    wfe->wFormatTag = formatTag;
    wfe->cbSize = static_cast<WORD>(extraBytes);
    return wfe;
}

namespace {

// Kilobits per second: [MPEG-1 / MPEG-2][layer column][index].
constexpr int kMpeg1BitRates[3][16] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
};
constexpr int kMpeg2BitRates[2][16] = {
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
};
constexpr int kMpegSampleRates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};
constexpr int kAacSampleRates[12] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000};
constexpr int kAc3BitRates[24] = {32,  40,  48,  56,  64,  80,  96,  112, 128, 160, 192, 224,
                                  256, 320, 384, 448, 512, 576, 640, 768, 896, 1024, 1152, 1280};
constexpr int kDtsChannels[16] = {1, 2, 2, 2, 2, 3, 3, 4, 4, 5, 6, 6, 6, 7, 8, 8};
constexpr int kDtsSampleRates[16] = {0, 8000, 16000, 32000, 0, 0, 11025, 22050, 44100, 0, 0, 12000, 24000, 48000, 0, 0};
constexpr int kDtsBitRates[32] = {32000,   56000,   64000,   96000,   112000,  128000,  192000,  224000,
                                  256000,  320000,  384000,  448000,  512000,  576000,  640000,  754500,
                                  960000,  1024000, 1152000, 1280000, 1344000, 1408000, 1411200, 1472000,
                                  1509750, 1920000, 2048000, 3072000, 3840000, 0,       0,       0};

} // namespace

bool CBaseSplitterFileEx::ReadMpegAudioHeader(MpegAudioHeader& h, std::int64_t budget, bool allowMpeg25, CMediaType* mt)
{
    h = MpegAudioHeader{};
    const int syncBits = allowMpeg25 ? 11 : 12;
    const std::uint64_t syncMask = (1ull << syncBits) - 1;
    for (;; --budget) {
        if (budget < 4) return false;
        if (ReadBits(syncBits, true) == syncMask) break;
        ReadBits(8);
    }
    h.sync = static_cast<std::uint16_t>(ReadBits(11));
    h.version = static_cast<std::uint8_t>(ReadBits(2));
    const auto layerField = static_cast<std::uint8_t>(ReadBits(2));
    h.crcAbsent = ReadBits(1);
    h.bitRateIndex = static_cast<std::uint8_t>(ReadBits(4));
    h.sampleRateIndex = static_cast<std::uint8_t>(ReadBits(2));
    h.padding = ReadBits(1);
    h.privateBit = ReadBits(1);
    h.channelMode = static_cast<std::uint8_t>(ReadBits(2));
    h.modeExtension = static_cast<std::uint8_t>(ReadBits(2));
    h.copyright = ReadBits(1);
    h.original = ReadBits(1);
    h.emphasis = static_cast<std::uint8_t>(ReadBits(2));

    if (h.version == 1 || layerField == 0 || h.sampleRateIndex == 3 || h.bitRateIndex == 15 || h.emphasis == 2)
        return false;
    h.layer = static_cast<std::uint8_t>(4 - layerField);
    const bool mpeg1 = h.version == 3;
    if (mpeg1 && h.layer == 2) {
        const int i = h.bitRateIndex;
        const bool single = h.channelMode == 3;
        if (((i == 1 || i == 2 || i == 3 || i == 5) && !single) || (i >= 11 && i <= 14 && single)) return false;
    }
    const int bitRate = (mpeg1 ? kMpeg1BitRates[h.layer - 1][h.bitRateIndex]
                               : kMpeg2BitRates[h.layer == 1 ? 0 : 1][h.bitRateIndex]) * 1000;
    if (bitRate == 0) return false;
    const int table = mpeg1 ? 0 : (h.version == 2 ? 1 : 2);
    h.sampleRate = static_cast<std::uint32_t>(kMpegSampleRates[table][h.sampleRateIndex]);
    const bool lowSampleLayer3 = h.layer == 3 && !mpeg1;
    if (h.layer == 1)
        h.frameSize = static_cast<std::uint32_t>((12 * bitRate / static_cast<int>(h.sampleRate) + (h.padding ? 1 : 0)) * 4);
    else
        h.frameSize = static_cast<std::uint32_t>((lowSampleLayer3 ? 72 : 144) * bitRate / static_cast<int>(h.sampleRate) +
                                                 (h.padding ? 1 : 0));
    const int samples = h.layer == 1 ? 384 : (lowSampleLayer3 ? 576 : 1152);
    h.frameDuration = static_cast<std::int64_t>(samples) * 10000000 / h.sampleRate;
    h.bytesPerSecond = static_cast<std::uint32_t>(bitRate / 8);
    if (!mt) return true;

    WAVEFORMATEX* wfe = nullptr;
    if (h.layer == 3) {
        wfe = MakeWaveFormat(*mt, FourCCGuid(WAVE_FORMAT_MPEGLAYER3), WAVE_FORMAT_MPEGLAYER3, 0);
    } else {
        wfe = MakeWaveFormat(*mt, FourCCGuid(WAVE_FORMAT_MPEG), WAVE_FORMAT_MPEG, sizeof(MPEG1WAVEFORMAT) - sizeof(WAVEFORMATEX));
        if (!wfe) return false;
        auto* f = reinterpret_cast<MPEG1WAVEFORMAT*>(wfe);
        f->fwHeadLayer = static_cast<WORD>(1 << (h.layer - 1));
        f->dwHeadBitrate = static_cast<DWORD>(bitRate);
        f->fwHeadMode = static_cast<WORD>(1 << h.channelMode);
        f->fwHeadModeExt = static_cast<WORD>(1 << h.modeExtension);
        f->wHeadEmphasis = static_cast<WORD>(h.emphasis + 1);
        f->fwHeadFlags = static_cast<WORD>((h.privateBit ? 1 : 0) | (h.copyright ? 2 : 0) | (h.original ? 4 : 0) |
                                           (!h.crcAbsent ? 8 : 0) | (mpeg1 ? 16 : 0));
    }
    if (!wfe) return false;
    wfe->nChannels = static_cast<WORD>(h.channelMode == 3 ? 1 : 2);
    wfe->nSamplesPerSec = h.sampleRate;
    wfe->nBlockAlign = static_cast<WORD>(h.frameSize);
    wfe->nAvgBytesPerSec = h.bytesPerSecond;
    return true;
}

bool CBaseSplitterFileEx::ReadAacHeader(AacHeader& h, std::int64_t budget, CMediaType* mt)
{
    h = AacHeader{};
    for (;; --budget) {
        if (budget <= 6) return false;
        if (ReadBits(12, true) == 0xFFF) break;
        ReadBits(8);
    }
    h.sync = static_cast<std::uint16_t>(ReadBits(12));
    h.version = ReadBits(1);
    h.layer = static_cast<std::uint8_t>(ReadBits(2));
    h.crcAbsent = ReadBits(1);
    h.profile = static_cast<std::uint8_t>(ReadBits(2));
    h.sampleRateIndex = static_cast<std::uint8_t>(ReadBits(4));
    h.privateBit = ReadBits(1);
    h.channelConfig = static_cast<std::uint8_t>(ReadBits(3));
    h.original = ReadBits(1);
    h.home = ReadBits(1);
    h.copyrightIdBit = ReadBits(1);
    h.copyrightIdStart = ReadBits(1);
    h.frameLength = static_cast<std::uint16_t>(ReadBits(13));
    h.bufferFullness = static_cast<std::uint16_t>(ReadBits(11));
    h.rawBlocks = static_cast<std::uint8_t>(ReadBits(2));
    if (!h.crcAbsent) h.crc = static_cast<std::uint16_t>(ReadBits(16));
    const int headerSize = h.crcAbsent ? 7 : 9;
    if (h.layer != 0 || h.sampleRateIndex > 11 || h.frameLength <= headerSize) return false;
    h.payloadSize = static_cast<std::uint32_t>(h.frameLength - headerSize);
    const int rate = kAacSampleRates[h.sampleRateIndex];
    h.bytesPerSecond = static_cast<std::uint32_t>(static_cast<std::int64_t>(h.frameLength) * rate / 1024);
    h.frameDuration = 1024ll * 10000000 / rate;
    if (!mt) return true;

    WAVEFORMATEX* wfe = MakeWaveFormat(*mt, MEDIASUBTYPE_AAC, 0xFF, 2);
    if (!wfe) return false;
    wfe->nChannels = static_cast<WORD>(h.channelConfig == 7 ? 2 : h.channelConfig);
    wfe->nSamplesPerSec = static_cast<DWORD>(rate);
    wfe->nBlockAlign = h.frameLength;
    wfe->nAvgBytesPerSec = h.bytesPerSecond;
    static constexpr int kThresholds[11] = {92017, 75132, 55426, 46009, 37566, 27713, 23004, 18783, 13856, 11502, 9391};
    int index = 0;
    while (index < 11 && rate < kThresholds[index]) ++index;
    BYTE* config = reinterpret_cast<BYTE*>(wfe + 1);
    config[0] = static_cast<BYTE>(((h.profile + 1) << 3) | (index >> 1));
    config[1] = static_cast<BYTE>(((index & 1) << 7) | (h.channelConfig << 3));
    return true;
}

bool CBaseSplitterFileEx::ReadAc3Header(Ac3Header& h, std::int64_t budget, CMediaType* mt)
{
    h = Ac3Header{};
    for (;; --budget) {
        if (budget <= 6) return false;
        if (ReadBits(16, true) == 0x0B77) break;
        ReadBits(8);
    }
    h.sync = static_cast<std::uint16_t>(ReadBits(16));
    if (h.sync != 0x0B77) return false;
    // The bit stream identifier sits 40 bits after the sync word in both kinds; above 10 the
    // frame is E-AC-3, whose header is laid out otherwise.
    if (const auto bsid = ReadBits(29, true) & 0x1F; bsid > 10 && bsid <= 16) return ReadEac3Header(h, mt);
    h.crc = static_cast<std::uint16_t>(ReadBits(16));
    h.sampleRateCode = static_cast<std::uint8_t>(ReadBits(2));
    h.frameSizeCode = static_cast<std::uint8_t>(ReadBits(6));
    h.bsid = static_cast<std::uint8_t>(ReadBits(5));
    h.bsmod = static_cast<std::uint8_t>(ReadBits(3));
    h.acmod = static_cast<std::uint8_t>(ReadBits(3));
    if ((h.acmod & 1) && h.acmod != 1) h.centreMixLevel = static_cast<std::uint8_t>(ReadBits(2));
    if (h.acmod & 4) h.surroundMixLevel = static_cast<std::uint8_t>(ReadBits(2));
    if (h.acmod == 2) h.surroundMode = static_cast<std::uint8_t>(ReadBits(2));
    h.lfeOn = static_cast<std::uint8_t>(ReadBits(1));
    if (h.bsid >= 17 || h.sampleRateCode == 3 || h.frameSizeCode >= 48) return false;
    if (!mt) return true;

    static constexpr int kChannels[8] = {2, 1, 2, 3, 3, 4, 4, 5};
    static constexpr int kRates[3] = {48000, 44100, 32000};
    WAVEFORMATEX* wfe = MakeWaveFormat(*mt, MEDIASUBTYPE_DOLBY_AC3, 0x2000, 0);
    if (!wfe) return false;
    wfe->nChannels = static_cast<WORD>(kChannels[h.acmod] + h.lfeOn);
    int rate = kRates[h.sampleRateCode];
    if (h.bsid == 9) rate /= 2;
    else if (h.bsid == 10) rate /= 4;
    else if (h.bsid == 11) rate /= 8;
    wfe->nSamplesPerSec = static_cast<DWORD>(rate);
    wfe->nAvgBytesPerSec = static_cast<DWORD>(kAc3BitRates[h.frameSizeCode / 2] * 1000 / 8);
    wfe->nBlockAlign = static_cast<WORD>(static_cast<std::int64_t>(wfe->nAvgBytesPerSec) * 1536 / rate);
    return true;
}

bool CBaseSplitterFileEx::ReadEac3Header(Ac3Header& h, CMediaType* mt)
{
    const auto streamType = static_cast<int>(ReadBits(2));
    ReadBits(3); // substream
    const auto frameWords = static_cast<int>(ReadBits(11)) + 1;
    h.sampleRateCode = static_cast<std::uint8_t>(ReadBits(2));
    int blocks = 6, halfRateCode = -1;
    if (h.sampleRateCode == 3)
        halfRateCode = static_cast<int>(ReadBits(2));
    else
        blocks = std::array{1, 2, 3, 6}[ReadBits(2)];
    h.acmod = static_cast<std::uint8_t>(ReadBits(3));
    h.lfeOn = static_cast<std::uint8_t>(ReadBits(1));
    h.bsid = static_cast<std::uint8_t>(ReadBits(5));
    // Only an independent stream (type 0 or 2) starts a programme.
    if (streamType == 1 || streamType == 3 || halfRateCode == 3) return false;
    if (!mt) return true;

    static constexpr int kChannels[8] = {2, 1, 2, 3, 3, 4, 4, 5};
    static constexpr int kRates[3] = {48000, 44100, 32000};
    WAVEFORMATEX* wfe = MakeWaveFormat(*mt, MEDIASUBTYPE_DOLBY_AC3, 0x2000, 0);
    if (!wfe) return false;
    const int rate = halfRateCode >= 0 ? kRates[halfRateCode] / 2 : kRates[h.sampleRateCode];
    wfe->nChannels = static_cast<WORD>(kChannels[h.acmod] + h.lfeOn);
    wfe->nSamplesPerSec = static_cast<DWORD>(rate);
    wfe->nBlockAlign = static_cast<WORD>(frameWords * 2);
    wfe->nAvgBytesPerSec = static_cast<DWORD>(static_cast<std::int64_t>(frameWords) * 2 * rate / (blocks * 256));
    return true;
}

bool CBaseSplitterFileEx::ReadDtsHeader(DtsHeader& h, std::int64_t budget, CMediaType* mt)
{
    h = DtsHeader{};
    for (;; --budget) {
        if (budget <= 9) return false;
        if (ReadBits(32, true) == 0x7FFE8001) break;
        ReadBits(8);
    }
    h.sync = static_cast<std::uint32_t>(ReadBits(32));
    h.frameType = ReadBits(1);
    h.deficitSamples = static_cast<std::uint8_t>(ReadBits(5));
    h.crcFlag = ReadBits(1);
    h.blocks = static_cast<std::uint8_t>(ReadBits(7));
    h.frameBytes = static_cast<std::uint16_t>(ReadBits(14) + 1);
    h.arrangement = static_cast<std::uint8_t>(ReadBits(6));
    h.sampleRateCode = static_cast<std::uint8_t>(ReadBits(4));
    h.bitRateCode = static_cast<std::uint8_t>(ReadBits(5));
    h.downMix = ReadBits(1);
    h.dynamicRange = ReadBits(1);
    h.timeStamp = ReadBits(1);
    h.auxData = ReadBits(1);
    h.hdcd = ReadBits(1);
    h.extensionDescriptor = static_cast<std::uint8_t>(ReadBits(3));
    h.extendedCoding = ReadBits(1);
    h.syncWordInsertion = ReadBits(1);
    h.lfe = static_cast<std::uint8_t>(ReadBits(2));
    h.predictorHistory = ReadBits(1);
    if (!mt) return true;

    WAVEFORMATEX* wfe = MakeWaveFormat(*mt, MEDIASUBTYPE_DTS, 0x2001, 0);
    if (!wfe) return false;
    if (h.arrangement < 16) wfe->nChannels = static_cast<WORD>(kDtsChannels[h.arrangement] + (h.lfe ? 1 : 0));
    wfe->nSamplesPerSec = static_cast<DWORD>(kDtsSampleRates[h.sampleRateCode]);
    wfe->nAvgBytesPerSec = static_cast<DWORD>((kDtsBitRates[h.bitRateCode] + 4) / 8);
    wfe->nBlockAlign = h.frameBytes;
    return true;
}

bool CBaseSplitterFileEx::ReadLpcmHeader(LpcmHeader& h, CMediaType* mt)
{
    h = LpcmHeader{};
    h.emphasis = ReadBits(1);
    h.mute = ReadBits(1);
    h.reserved1 = ReadBits(1);
    h.frameNumber = static_cast<std::uint8_t>(ReadBits(5));
    h.quantisation = static_cast<std::uint8_t>(ReadBits(2));
    h.sampleRateCode = static_cast<std::uint8_t>(ReadBits(2));
    h.reserved2 = ReadBits(1);
    h.channelsMinusOne = static_cast<std::uint8_t>(ReadBits(3));
    h.dynamicRange = static_cast<std::uint8_t>(ReadBits(8));
    if (h.quantisation == 3 || h.reserved1 || h.reserved2) return false;
    if (!mt) return true;

    static constexpr int kRates[4] = {48000, 96000, 44100, 32000};
    static constexpr int kBits[3] = {16, 20, 24};
    WAVEFORMATEX* wfe = MakeWaveFormat(*mt, MEDIASUBTYPE_DVD_LPCM_AUDIO, WAVE_FORMAT_PCM, 0);
    if (!wfe) return false;
    wfe->nChannels = static_cast<WORD>(h.channelsMinusOne + 1);
    wfe->nSamplesPerSec = static_cast<DWORD>(kRates[h.sampleRateCode]);
    wfe->wBitsPerSample = static_cast<WORD>(kBits[h.quantisation]);
    wfe->nBlockAlign = static_cast<WORD>(wfe->nChannels * 2 * wfe->wBitsPerSample / 8);
    wfe->nAvgBytesPerSec = wfe->nBlockAlign * wfe->nSamplesPerSec / 2;
    return true;
}

bool CBaseSplitterFileEx::ReadHdmvLpcmHeader(HdmvLpcmHeader& h, CMediaType* mt)
{
    h = HdmvLpcmHeader{};
    h.payloadSize = static_cast<std::uint16_t>(ReadBits(16));
    h.channelAssignment = static_cast<std::uint8_t>(ReadBits(4));
    h.sampleRateCode = static_cast<std::uint8_t>(ReadBits(4));
    h.bitsCode = static_cast<std::uint8_t>(ReadBits(2));
    if (h.channelAssignment == 0 || h.channelAssignment == 2) return false;
    if (h.sampleRateCode != 1 && h.sampleRateCode != 4 && h.sampleRateCode != 5) return false;
    if (!mt) return true;

    WAVEFORMATEX* wfe = MakeWaveFormat(*mt, MEDIASUBTYPE_HDMV_LPCM_AUDIO, WAVE_FORMAT_PCM, 1);
    if (!wfe) return false;
    static constexpr int kChannels[16] = {0, 1, 0, 2, 3, 3, 4, 4, 5, 6, 7, 8, 0, 0, 0, 0};
    static constexpr int kBits[4] = {0, 16, 20, 24};
    wfe->nChannels = static_cast<WORD>(kChannels[h.channelAssignment]);
    wfe->nSamplesPerSec = h.sampleRateCode == 1 ? 48000u : (h.sampleRateCode == 4 ? 96000u : 192000u);
    wfe->wBitsPerSample = static_cast<WORD>(kBits[h.bitsCode]);
    wfe->nBlockAlign = static_cast<WORD>(wfe->nChannels * wfe->wBitsPerSample / 8);
    wfe->nAvgBytesPerSec = wfe->nBlockAlign * wfe->nSamplesPerSec;
    reinterpret_cast<BYTE*>(wfe + 1)[0] = h.channelAssignment;
    return true;
}

bool CBaseSplitterFileEx::ReadPs2AudioHeader(Ps2AudioHeader& h, CMediaType* mt)
{
    h = Ps2AudioHeader{};
    if (ReadBits(16, true) != 0x5353) return false; // "SS"
    const std::int64_t start = Position();
    while (ReadBits(16, true) == 0x5353 && Remaining() > 0) {
        const std::uint64_t tag = ReadBits(32, true);
        if (tag == 0x53536864) { // "SShd"
            ReadBits(32);
            ReadBits(32); // size
            auto le32 = [&] {
                std::uint32_t v = 0;
                for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(ReadBits(8)) << (8 * i);
                return v;
            };
            h.format = le32();
            h.sampleRate = le32();
            h.channels = le32();
            h.interleave = le32();
        } else if (tag == 0x53536264) { // "SSbd"
            ReadBits(32);
            ReadBits(32);
            break;
        } else {
            break;
        }
    }
    SeekTo(start);
    if (!mt) return true;

    const WORD tag = h.format == 1 ? 0xF521 : (h.format == 16 ? 0xF522 : 0);
    WAVEFORMATEX* wfe = MakeWaveFormat(*mt, FourCCGuid(tag), tag, 6);
    if (!wfe) return false;
    wfe->nChannels = static_cast<WORD>(h.channels);
    wfe->nSamplesPerSec = h.sampleRate;
    wfe->wBitsPerSample = 16;
    wfe->nBlockAlign = static_cast<WORD>(wfe->nChannels * 2);
    wfe->nAvgBytesPerSec = wfe->nBlockAlign * wfe->nSamplesPerSec;
    std::memcpy(reinterpret_cast<BYTE*>(wfe + 1), &h.interleave, sizeof h.interleave);
    return true;
}

namespace {
bool SubpictureType(CMediaType* mt, const GUID& major, const GUID& subtype)
{
    if (!mt) return true;
    mt->ResetFormatBuffer();
    mt->majortype = major;
    mt->subtype = subtype;
    mt->formattype = FORMAT_None;
    return true;
}
} // namespace

bool CBaseSplitterFileEx::ReadDvdSubpictureHeader(SubpictureHeader& h, CMediaType* mt)
{
    h = SubpictureHeader{};
    return SubpictureType(mt, MEDIATYPE_Video, MEDIASUBTYPE_DVD_SUBPICTURE);
}

bool CBaseSplitterFileEx::ReadSvcdSubpictureHeader(SubpictureHeader& h, CMediaType* mt)
{
    h = SubpictureHeader{};
    return SubpictureType(mt, MEDIATYPE_Video, MEDIASUBTYPE_SVCD_SUBPICTURE);
}

bool CBaseSplitterFileEx::ReadCvdSubpictureHeader(SubpictureHeader& h, CMediaType* mt)
{
    h = SubpictureHeader{};
    return SubpictureType(mt, MEDIATYPE_Video, MEDIASUBTYPE_CVD_SUBPICTURE);
}

bool CBaseSplitterFileEx::ReadPs2SubtitleHeader(SubpictureHeader& h, CMediaType* mt)
{
    h = SubpictureHeader{};
    return SubpictureType(mt, MEDIATYPE_Subtitle, MEDIASUBTYPE_PS2_SUB);
}

bool CBaseSplitterFileEx::ReadHdmvSubtitleHeader(SubpictureHeader& h, CMediaType* mt, const char* language)
{
    h = SubpictureHeader{};
    if (!mt) return true;
    SubpictureType(mt, MEDIATYPE_Subtitle, MEDIASUBTYPE_HDMVSUB);
    // A 520-byte block: offset, a 4-byte language code, 256 wide characters of track name.
    BYTE* block = mt->AllocFormatBuffer(520);
    if (!block) return false;
    const char* code = language && *language ? language : "eng";
    for (int i = 0; i < 3 && code[i]; ++i) block[4 + i] = static_cast<BYTE>(code[i]);
    mt->formattype = FORMAT_None;
    return true;
}
