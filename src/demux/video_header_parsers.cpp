// Video elementary-stream parsers of CBaseSplitterFileEx: MPEG-1/2 sequence headers, H.264
// parameter sets and VC-1 sequence headers.

#include <algorithm>
#include <cstring>
#include <numeric>
#include <vector>

#include "demux/base_splitter_file_ex.h"
#include "demux/memory_bit_reader.h"
#include "pipeline/media_guids.h"

namespace {

constexpr float kPixelAspect[16] = {1.0f,    1.0f,    0.6735f, 0.7031f, 0.7615f, 0.8055f, 0.8437f, 0.8935f,
                                    0.9157f, 0.9815f, 1.0255f, 1.0695f, 1.0950f, 1.1575f, 1.2015f, 1.0f};
constexpr std::uint32_t kFrameTicks[16] = {0,      1126125, 1125000, 1080000, 900900, 900000, 540000, 450450,
                                           450000, 0,       0,       0,       0,      0,      0,      0};

// Copies `input` without the emulation-prevention bytes: 00 00 03 becomes 00 00; 00 00 followed
// by a byte 0–2 ends the copy. The last two bytes are never copied.
std::vector<BYTE> RemoveEmulationPrevention(const BYTE* input, std::size_t size)
{
    std::vector<BYTE> out;
    out.reserve(size);
    for (std::size_t i = 0; i + 2 < size; ++i) {
        if (input[i] == 0 && input[i + 1] == 0 && input[i + 2] < 4) {
            if (input[i + 2] != 3) break;
            out.push_back(0);
            out.push_back(0);
            i += 2;
            continue;
        }
        out.push_back(input[i]);
    }
    return out;
}


// Skips an SPS's scaling lists (present for the High profiles).
void SkipScalingLists(MemoryBitReader& bits)
{
    for (int list = 0; list < 8; ++list) {
        if (!bits.ReadBits(1)) continue;
        const int size = list < 6 ? 16 : 64;
        int last = 8, next = 8;
        for (int j = 0; j < size; ++j) {
            if (next != 0) next = (last + static_cast<int>(bits.ReadSignedExpGolomb()) + 256) % 256;
            if (next == 0) break;
            last = next;
        }
    }
}

// The picture duration from an SPS's video usability information, when it has timing.
void ParseVuiTiming(MemoryBitReader& bits, AvcHeader& h)
{
    if (bits.ReadBits(1) && bits.ReadBits(8) == 255) { // aspect ratio, extended
        bits.ReadBits(16);
        bits.ReadBits(16);
    }
    if (bits.ReadBits(1)) bits.ReadBits(1); // overscan
    if (bits.ReadBits(1)) {                 // video signal type
        bits.ReadBits(3);
        bits.ReadBits(1);
        if (bits.ReadBits(1)) bits.ReadBits(24);
    }
    if (bits.ReadBits(1)) { // chroma location
        bits.ReadUnsignedExpGolomb();
        bits.ReadUnsignedExpGolomb();
    }
    if (!bits.ReadBits(1)) return; // no timing
    std::uint64_t unitsPerTick = bits.ReadBits(32);
    std::uint64_t timeScale = bits.ReadBits(32);
    bits.ReadBits(1);
    if (unitsPerTick && (unitsPerTick < 1000 || unitsPerTick > 1001)) {
        const std::uint64_t a = (timeScale % unitsPerTick != 0 && (timeScale * 1001) % unitsPerTick == 0) ? 1001 : 1000;
        timeScale = timeScale * a / unitsPerTick;
        unitsPerTick = a;
    }
    timeScale /= 2; // fields
    if (timeScale) h.timePerFrame = static_cast<std::int64_t>(unitsPerTick * 10000000 / timeScale);
}

// Profile, level, picture size and timing from a sequence parameter set's payload (emulation
// prevention removed, after the NAL header byte).
void ParseSps(MemoryBitReader& bits, AvcHeader& h)
{
    h.profile = static_cast<std::uint8_t>(bits.ReadBits(8));
    bits.ReadBits(8);
    h.level = static_cast<std::uint8_t>(bits.ReadBits(8));
    bits.ReadUnsignedExpGolomb(); // seq_parameter_set_id
    if (h.profile >= 100) {
        if (bits.ReadUnsignedExpGolomb() == 3) bits.ReadBits(1); // chroma 4:4:4, separate planes
        bits.ReadUnsignedExpGolomb();
        bits.ReadUnsignedExpGolomb();
        bits.ReadBits(1);
        if (bits.ReadBits(1)) SkipScalingLists(bits);
    }
    bits.ReadUnsignedExpGolomb(); // log2_max_frame_num
    const auto pocType = bits.ReadUnsignedExpGolomb();
    if (pocType == 0) {
        bits.ReadUnsignedExpGolomb();
    } else if (pocType == 1) {
        bits.ReadBits(1);
        bits.ReadSignedExpGolomb();
        bits.ReadSignedExpGolomb();
        const auto cycle = bits.ReadUnsignedExpGolomb();
        for (std::uint64_t i = 0; i < cycle && i < 256; ++i) bits.ReadSignedExpGolomb();
    }
    bits.ReadUnsignedExpGolomb(); // max_num_ref_frames
    bits.ReadBits(1);
    const auto widthMbs = bits.ReadUnsignedExpGolomb();
    const auto heightMaps = bits.ReadUnsignedExpGolomb();
    const bool frameMbsOnly = bits.ReadBits(1);
    h.width = static_cast<std::uint32_t>((widthMbs + 1) * 16);
    h.height = static_cast<std::uint32_t>((2 - (frameMbsOnly ? 1 : 0)) * (heightMaps + 1) * 16);
    if (h.height == 1088) h.height = 1080;
    if (!frameMbsOnly) bits.ReadBits(1);
    bits.ReadBits(1);
    if (bits.ReadBits(1)) { // cropping
        for (int i = 0; i < 4; ++i) bits.ReadUnsignedExpGolomb();
    }
    if (bits.ReadBits(1)) ParseVuiTiming(bits, h);
}

// The AVC1 media type: picture size and timing, and each parameter set as a 2-byte length and
// its bytes without the start code.
bool MakeAvcType(const AvcHeader& h, const std::vector<BYTE>& sps, const std::vector<BYTE>& pps, CMediaType* mt)
{
    const std::size_t sequenceSize = static_cast<std::size_t>(h.spsLength + h.ppsLength - 4);
    mt->ResetFormatBuffer();
    mt->majortype = MEDIATYPE_Video;
    mt->subtype = MEDIASUBTYPE_AVC1;
    mt->formattype = FORMAT_MPEG2_VIDEO;
    mt->SetVariableSize();
    mt->SetTemporalCompression(true);
    auto* info = reinterpret_cast<MPEG2VIDEOINFO*>(mt->AllocFormatBuffer(static_cast<ULONG>(SizeOfMpeg2VideoInfo(sequenceSize))));
    if (!info) return false;
    info->hdr.AvgTimePerFrame = h.timePerFrame;
    info->hdr.dwPictAspectRatioX = h.width;
    info->hdr.dwPictAspectRatioY = h.height;
    info->hdr.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info->hdr.bmiHeader.biWidth = static_cast<LONG>(h.width);
    info->hdr.bmiHeader.biHeight = static_cast<LONG>(h.height);
    info->hdr.bmiHeader.biCompression = MakeFourCC('A', 'V', 'C', '1');
    info->dwProfile = h.profile;
    info->dwLevel = h.level;
    info->dwFlags = 4;
    info->cbSequenceHeader = static_cast<DWORD>(sequenceSize);
    BYTE* out = reinterpret_cast<BYTE*>(info->dwSequenceHeader);
    const auto put = [&](const std::vector<BYTE>& unit) {
        const std::size_t size = unit.size() - 4;
        *out++ = static_cast<BYTE>(size >> 8);
        *out++ = static_cast<BYTE>(size);
        std::memcpy(out, unit.data() + 4, size);
        out += size;
    };
    put(sps);
    put(pps);
    return true;
}

// The media type of an MPEG-1 (or, with its extension, MPEG-2) sequence: `sequence` holds the
// header's bytes and those of its extension.
bool MpegVideoType(const VideoSequenceHeader& h, const std::vector<BYTE>& sequence, bool mpeg2, CMediaType& mt)
{
    mt.ResetFormatBuffer();
    mt.majortype = MEDIATYPE_Video;
    mt.SetVariableSize();
    mt.SetTemporalCompression(true);
    if (!mpeg2) {
        mt.subtype = MEDIASUBTYPE_MPEG1Payload;
        mt.formattype = FORMAT_MPEGVideo;
        auto* info = reinterpret_cast<MPEG1VIDEOINFO*>(mt.AllocFormatBuffer(static_cast<ULONG>(SizeOfMpeg1VideoInfo(sequence.size()))));
        if (!info) return false;
        info->hdr.dwBitRate = h.bitRate;
        info->hdr.AvgTimePerFrame = h.timePerFrame;
        info->hdr.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info->hdr.bmiHeader.biWidth = h.width;
        info->hdr.bmiHeader.biHeight = h.height;
        info->hdr.bmiHeader.biXPelsPerMeter = static_cast<LONG>(h.width * h.aspectY);
        info->hdr.bmiHeader.biYPelsPerMeter = static_cast<LONG>(h.height * h.aspectX);
        info->cbSequenceHeader = static_cast<DWORD>(sequence.size());
        std::memcpy(info->bSequenceHeader, sequence.data(), sequence.size());
        return true;
    }
    mt.subtype = MEDIASUBTYPE_MPEG2_VIDEO;
    mt.formattype = FORMAT_MPEG2_VIDEO;
    auto* info = reinterpret_cast<MPEG2VIDEOINFO*>(mt.AllocFormatBuffer(static_cast<ULONG>(SizeOfMpeg2VideoInfo(sequence.size()))));
    if (!info) return false;
    info->hdr.dwBitRate = h.bitRate;
    info->hdr.AvgTimePerFrame = h.timePerFrame;
    info->hdr.dwPictAspectRatioX = h.aspectX;
    info->hdr.dwPictAspectRatioY = h.aspectY;
    info->hdr.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info->hdr.bmiHeader.biWidth = h.width;
    info->hdr.bmiHeader.biHeight = h.height;
    info->dwProfile = h.profile;
    info->dwLevel = h.level;
    info->cbSequenceHeader = static_cast<DWORD>(sequence.size());
    std::memcpy(reinterpret_cast<BYTE*>(info->dwSequenceHeader), sequence.data(), sequence.size());
    return true;
}

} // namespace

bool CBaseSplitterFileEx::ReadVideoSequenceHeader(VideoSequenceHeader& h, std::int64_t budget, CMediaType* mt)
{
    h = VideoSequenceHeader{};
    const std::int64_t end = Position() + budget;
    BYTE code = 0;
    std::int64_t headerPosition = -1;
    while (Position() < end && FindNextStartCode(code, budget)) {
        if (code == 0xB3) {
            headerPosition = Position() - 4;
            break;
        }
    }
    if (headerPosition < 0) return false;

    h.width = static_cast<std::uint16_t>(ReadBits(12));
    h.height = static_cast<std::uint16_t>(ReadBits(12));
    h.aspectCode = static_cast<std::uint8_t>(ReadBits(4));
    const auto rateCode = static_cast<std::uint8_t>(ReadBits(4));
    std::uint64_t ticks = kFrameTicks[rateCode];
    std::uint64_t bitRate = ReadBits(18);
    if (!ReadBits(1)) return false;
    h.vbvSize = static_cast<std::uint32_t>(ReadBits(10));
    h.constrained = ReadBits(1);
    h.loadIntraMatrix = ReadBits(1);
    if (h.loadIntraMatrix)
        for (auto& q : h.intraMatrix) q = static_cast<std::uint8_t>(ReadBits(8));
    h.loadNonIntraMatrix = ReadBits(1);
    if (h.loadNonIntraMatrix)
        for (auto& q : h.nonIntraMatrix) q = static_cast<std::uint8_t>(ReadBits(8));
    const std::int64_t headerLength = Position() - headerPosition;

    // MPEG-1 picture aspect from the pixel aspect.
    h.aspectX = static_cast<std::uint32_t>(h.width / kPixelAspect[h.aspectCode] + 0.5f);
    h.aspectY = h.height;

    std::int64_t extensionPosition = -1;
    std::int64_t extensionLength = 0;
    const std::int64_t beforeExtension = Position();
    if (FindNextStartCode(code, 8) && code == 0xB5) {
        extensionPosition = Position() - 4;
        h.extensionId = static_cast<std::uint8_t>(ReadBits(4));
        h.profileLevelEscape = ReadBits(1);
        h.profile = static_cast<std::uint8_t>(ReadBits(3));
        h.level = static_cast<std::uint8_t>(ReadBits(4));
        h.progressive = ReadBits(1);
        h.chromaFormat = static_cast<std::uint8_t>(ReadBits(2));
        h.width = static_cast<std::uint16_t>(h.width + (ReadBits(2) << 12));
        h.height = static_cast<std::uint16_t>(h.height + (ReadBits(2) << 12));
        bitRate += ReadBits(12) << 18;
        if (!ReadBits(1)) return false;
        h.vbvSize += static_cast<std::uint32_t>(ReadBits(8) << 10);
        h.lowDelay = ReadBits(1);
        const auto n = ReadBits(2);
        const auto d = ReadBits(5);
        ticks = ticks * (n + 1) / (d + 1);
        switch (h.aspectCode) {
        case 2: h.aspectX = 4, h.aspectY = 3; break;
        case 3: h.aspectX = 16, h.aspectY = 9; break;
        case 4: h.aspectX = 221, h.aspectY = 100; break;
        default: h.aspectX = h.width, h.aspectY = h.height; break;
        }
        extensionLength = Position() - extensionPosition;
    } else {
        SeekTo(beforeExtension);
    }

    h.timePerFrame = static_cast<std::uint32_t>(ticks * 10 / 27);
    h.bitRate = bitRate == 0x3FFFFFFF ? 0 : static_cast<std::uint32_t>(bitRate * 400);
    if (h.aspectX && h.aspectY) {
        const std::uint32_t g = std::gcd(h.aspectX, h.aspectY);
        h.aspectX /= g;
        h.aspectY /= g;
    }
    if (!mt) return true;

    const std::int64_t after = Position();
    std::vector<BYTE> sequence(static_cast<std::size_t>(headerLength + extensionLength));
    SeekTo(headerPosition);
    ReadBytes(sequence.data(), headerLength);
    if (extensionPosition >= 0) {
        SeekTo(extensionPosition);
        ReadBytes(sequence.data() + headerLength, extensionLength);
    }
    SeekTo(after);

    return MpegVideoType(h, sequence, extensionPosition >= 0, *mt);
}

bool CBaseSplitterFileEx::ReadAvcHeader(AvcHeader& h, std::int64_t budget, CMediaType* mt)
{
    h = AvcHeader{};
    const std::int64_t end = Position() + budget;
    // A parameter set may start at byte 0 of a raw stream, so whether one was seen is kept apart from its position.
    bool spsFound = false, ppsFound = false;
    while (Position() < end + 4 && ReadBits(32, true) == 0x00000001 && (h.spsLength == 0 || h.ppsLength == 0)) {
        const std::int64_t nalPosition = Position();
        ReadBits(32);
        const auto nal = static_cast<BYTE>(ReadBits(8));
        if ((nal & 0x9F) == 0x07 && (nal & 0x60) != 0) {
            h.spsPosition = nalPosition;
            spsFound = true;
            BYTE raw[256] = {};
            const auto available = static_cast<std::size_t>(std::clamp<std::int64_t>(Length(false) - Position(), 0, sizeof raw));
            if (ReadBytes(raw, static_cast<std::int64_t>(available)) != S_OK) return false;
            const std::vector<BYTE> rbsp = RemoveEmulationPrevention(raw, available);
            MemoryBitReader bits(rbsp.data(), rbsp.size());
            ParseSps(bits, h);
            SeekTo(h.spsPosition + 4 + 1 + static_cast<std::int64_t>(bits.Position()));
        } else if ((nal & 0x9F) == 0x08 && (nal & 0x60) != 0) {
            h.ppsPosition = nalPosition;
            ppsFound = true;
        }
        // On to the next start code; its position closes the unit just read.
        AlignToByte();
        while (Position() < end + 4 && Remaining() > 0) {
            const std::uint64_t next = ReadBits(32, true);
            if (next == 0x00000001 || (next & 0xFFFFFF00) == 0x00000100) break;
            ReadBits(8);
        }
        if (spsFound && h.spsLength == 0 && nalPosition == h.spsPosition)
            h.spsLength = Position() - h.spsPosition;
        else if (ppsFound && h.ppsLength == 0 && nalPosition == h.ppsPosition)
            h.ppsLength = Position() - h.ppsPosition;
    }
    if (!spsFound || h.spsLength <= 4 || !ppsFound || h.ppsLength <= 4) return false;
    if (!mt) return true;

    const std::int64_t after = Position();
    std::vector<BYTE> sps(static_cast<std::size_t>(h.spsLength));
    std::vector<BYTE> pps(static_cast<std::size_t>(h.ppsLength));
    SeekTo(h.spsPosition);
    ReadBytes(sps.data(), h.spsLength);
    SeekTo(h.ppsPosition);
    ReadBytes(pps.data(), h.ppsLength);
    SeekTo(after);
    return MakeAvcType(h, sps, pps, mt);
}

bool CBaseSplitterFileEx::ReadVc1Header(Vc1Header& h, std::int64_t budget, CMediaType* mt)
{
    h = Vc1Header{};
    const std::int64_t end = Position() + budget;
    std::int64_t sequencePosition = -1;
    REFERENCE_TIME timePerFrame = 0;
    if (Position() < end + 4 && ReadBits(32, true) == 0x0000010F) {
        sequencePosition = Position();
        ReadBits(32);
        h.profile = static_cast<std::uint8_t>(ReadBits(2));
        if (h.profile != 3) return false;
        h.level = static_cast<std::uint8_t>(ReadBits(3));
        h.chromaFormat = static_cast<std::uint8_t>(ReadBits(2));
        h.frameRateQuantiser = static_cast<std::uint8_t>(ReadBits(3));
        h.bitRateQuantiser = static_cast<std::uint8_t>(ReadBits(5));
        h.postProcessing = static_cast<std::uint8_t>(ReadBits(1));
        h.codedWidth = static_cast<std::uint32_t>((ReadBits(12) + 1) * 2);
        h.codedHeight = static_cast<std::uint32_t>((ReadBits(12) + 1) * 2);
        h.pullDown = static_cast<std::uint8_t>(ReadBits(1));
        h.interlace = static_cast<std::uint8_t>(ReadBits(1));
        h.frameCounter = static_cast<std::uint8_t>(ReadBits(1));
        h.interpolation = static_cast<std::uint8_t>(ReadBits(1));
        ReadBits(1);
        h.progressiveSegmented = static_cast<std::uint8_t>(ReadBits(1));
        if (ReadBits(1)) { // display extension
            h.displayWidth = static_cast<std::uint32_t>(ReadBits(14) + 1);
            h.displayHeight = static_cast<std::uint32_t>(ReadBits(14) + 1);
            if (ReadBits(1) && ReadBits(4) == 15) ReadBits(16);
            if (ReadBits(1)) {
                if (ReadBits(1)) {
                    timePerFrame = static_cast<REFERENCE_TIME>(32 * 10000000ll / (ReadBits(16) + 1));
                } else {
                    static constexpr int kRates[8] = {0, 24, 25, 30, 50, 60, 48, 72};
                    const auto n = ReadBits(8);
                    const auto d = ReadBits(4);
                    if (n >= 1 && n <= 7 && d >= 1 && d <= 2) {
                        const std::int64_t m = d == 1 ? 1000 : 1001;
                        timePerFrame = m * 10000000 / (kRates[n] * 1000);
                    }
                }
            }
        }
    }
    if (sequencePosition < 0) return false;
    SeekTo(sequencePosition + 4);
    std::uint32_t window = 0;
    std::int64_t headerLength = 0;
    while (Position() < end + 4 && Remaining() > 0) {
        window = (window << 8) | static_cast<std::uint32_t>(ReadBits(8));
        ++headerLength;
        if ((window & 0xFFFFFF00) == 0x00000100 && window != 0x0000010E) break;
    }
    if (headerLength == 0) return false;
    if (!mt) return true;

    const std::int64_t after = Position();
    std::vector<BYTE> header(static_cast<std::size_t>(headerLength));
    SeekTo(sequencePosition);
    ReadBytes(header.data(), headerLength);
    SeekTo(after);
    mt->ResetFormatBuffer();
    mt->majortype = MEDIATYPE_Video;
    mt->subtype = MEDIASUBTYPE_WVC1;
    mt->formattype = FORMAT_VideoInfo2;
    mt->SetVariableSize();
    mt->SetTemporalCompression(true);
    auto* info = reinterpret_cast<VIDEOINFOHEADER2*>(mt->AllocFormatBuffer(static_cast<ULONG>(sizeof(VIDEOINFOHEADER2) + 1 + header.size())));
    if (!info) return false;
    info->AvgTimePerFrame = timePerFrame;
    info->dwPictAspectRatioX = h.codedWidth;
    info->dwPictAspectRatioY = h.codedHeight;
    info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info->bmiHeader.biWidth = static_cast<LONG>(h.codedWidth);
    info->bmiHeader.biHeight = static_cast<LONG>(h.codedHeight);
    info->bmiHeader.biCompression = MakeFourCC('W', 'V', 'C', '1');
    BYTE* extra = reinterpret_cast<BYTE*>(info + 1);
    extra[0] = 0;
    std::memcpy(extra + 1, header.data(), header.size());
    return true;
}
