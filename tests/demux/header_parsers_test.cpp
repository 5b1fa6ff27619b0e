#include <gtest/gtest.h>

#include "demux/demux_test_support.h"
#include "pipeline/format_blocks.h"
#include "pipeline/media_guids.h"

namespace {

using namespace demux_testing;

// A 33-bit time stamp field with a 4-bit prefix and its markers.
BitWriter& TimeStamp(BitWriter& w, unsigned prefix, std::uint64_t t)
{
    return w.Bits(prefix, 4).Bits(t >> 30, 3).Bits(1, 1).Bits((t >> 15) & 0x7FFF, 15).Bits(1, 1).Bits(t & 0x7FFF, 15).Bits(1, 1);
}

TEST(PesHeader, PaddingReadsOnlyItsLength)
{
    auto p = MakeParsingFile({0x00, 0x10, 0xFF, 0xFF});
    PesHeader h;
    ASSERT_TRUE(p.file->ReadPesHeader(h, 0xBE));
    EXPECT_EQ(h.length, 16);
    EXPECT_EQ(p.file->Position(), 2);
    EXPECT_FALSE(p.file->ReadPesHeader(h, 0xBC)); // not a PES stream id
}

TEST(PesHeader, Mpeg2WithPtsAndDts)
{
    BitWriter w;
    w.Bits(40, 16).Bits(0b10, 2).Bits(0, 2).Bits(0, 4).Bits(0b11, 2).Bits(0, 6).Bits(10, 8);
    TimeStamp(w, 0b0011, 90000);
    TimeStamp(w, 0b0001, 87000);
    auto p = MakeParsingFile(w.Done());
    PesHeader h;
    ASSERT_TRUE(p.file->ReadPesHeader(h, 0xE0));
    EXPECT_EQ(h.kind, 2);
    EXPECT_TRUE(h.hasPts);
    EXPECT_EQ(h.pts, 10000000); // 1 s
    EXPECT_EQ(h.dts, 87000 * 10000 / 90);
    EXPECT_EQ(h.length, 40 - 13);
}

TEST(PesHeader, APtsPrefixThatPromisesADtsFails)
{
    BitWriter w;
    w.Bits(20, 16).Bits(0b10, 2).Bits(0, 6).Bits(0b10, 2).Bits(0, 6).Bits(5, 8);
    TimeStamp(w, 0b0011, 90000); // says "DTS follows" but the flags have no DTS
    auto p = MakeParsingFile(w.Done());
    PesHeader h;
    EXPECT_FALSE(p.file->ReadPesHeader(h, 0xE0));
}

TEST(PesHeader, Mpeg1WithStdBufferAndPts)
{
    BitWriter w;
    w.Bits(30, 16).Bits(0xFF, 8).Bits(0b01, 2).Bits(1, 1).Bits(46, 13);
    TimeStamp(w, 0b0010, 45000);
    auto p = MakeParsingFile(w.Done());
    PesHeader h;
    ASSERT_TRUE(p.file->ReadPesHeader(h, 0xC0));
    EXPECT_EQ(h.kind, 1);
    EXPECT_EQ(h.stdBufferSize, 46 * 1024);
    EXPECT_EQ(h.pts, 5000000);
    EXPECT_EQ(h.length, 30 - 1 - 2 - 5);
}

std::vector<std::uint8_t> SequenceHeader(int width, int height, int aspect, int rateCode, bool extension)
{
    BitWriter w;
    w.Bytes({0, 0, 1, 0xB3}).Bits(width, 12).Bits(height, 12).Bits(aspect, 4).Bits(rateCode, 4).Bits(0x3FFFF, 18);
    w.Bits(1, 1).Bits(112, 10).Bits(0, 1).Bits(0, 1).Bits(0, 1);
    if (extension) {
        w.Bytes({0, 0, 1, 0xB5}).Bits(1, 4).Bits(0, 1).Bits(4, 3).Bits(8, 4).Bits(0, 1).Bits(1, 2);
        w.Bits(0, 2).Bits(0, 2).Bits(0, 12).Bits(1, 1).Bits(0, 8).Bits(0, 1).Bits(0, 2).Bits(0, 5);
    }
    w.Bytes({0, 0, 1, 0xB8, 0, 0, 0, 0});
    return w.Done();
}

TEST(VideoSequenceHeader, AspectCodesAndFrameRates)
{
    VideoSequenceHeader h;
    CMediaType mt;
    auto wide = MakeParsingFile(SequenceHeader(720, 480, 3, 4, true));
    ASSERT_TRUE(wide.file->ReadVideoSequenceHeader(h, 1000, &mt));
    EXPECT_EQ(h.aspectX, 16u);
    EXPECT_EQ(h.aspectY, 9u);
    EXPECT_EQ(h.timePerFrame, 333666u);
    EXPECT_EQ(h.profile, 4);
    EXPECT_EQ(h.level, 8);
    EXPECT_EQ(mt.subtype, MEDIASUBTYPE_MPEG2_VIDEO);
    const auto* info = reinterpret_cast<const MPEG2VIDEOINFO*>(mt.pbFormat);
    EXPECT_EQ(info->dwProfile, 4u);
    EXPECT_EQ(info->cbSequenceHeader, 12u + 10u);
    EXPECT_EQ(info->hdr.dwBitRate, 0x3FFFFu * 400); // the extension's 12 high bits are 0: not the unknown value

    auto square = MakeParsingFile(SequenceHeader(720, 576, 1, 3, true));
    ASSERT_TRUE(square.file->ReadVideoSequenceHeader(h, 1000, nullptr));
    EXPECT_EQ(h.aspectX, 5u); // 720:576 reduced
    EXPECT_EQ(h.aspectY, 4u);
    EXPECT_EQ(h.timePerFrame, 400000u);

    auto mpeg1 = MakeParsingFile(SequenceHeader(352, 288, 12, 3, false));
    ASSERT_TRUE(mpeg1.file->ReadVideoSequenceHeader(h, 1000, &mt));
    EXPECT_EQ(mt.subtype, MEDIASUBTYPE_MPEG1Payload);
    EXPECT_EQ(mt.formattype, FORMAT_MPEGVideo);

    auto none = MakeParsingFile({0, 0, 1, 0xB8, 0, 0, 0, 0});
    EXPECT_FALSE(none.file->ReadVideoSequenceHeader(h, 8, nullptr));
}

std::vector<std::uint8_t> MpegAudioFrameHeader(int bitRateIndex, int mode)
{
    // MPEG-1 Layer II, 48 kHz.
    return BitWriter().Bits(0x7FF, 11).Bits(3, 2).Bits(2, 2).Bits(1, 1).Bits(bitRateIndex, 4).Bits(1, 2).Bits(0, 1)
        .Bits(0, 1).Bits(mode, 2).Bits(0, 2).Bits(0, 1).Bits(1, 1).Bits(0, 2).Bytes({0, 0, 0, 0}).Done();
}

TEST(MpegAudioHeader, LayerTwoBitRateAndModeRules)
{
    MpegAudioHeader h;
    auto stereo = MakeParsingFile(MpegAudioFrameHeader(1, 0)); // 32 kbit/s stereo
    EXPECT_FALSE(stereo.file->ReadMpegAudioHeader(h, 8, false));
    auto mono = MakeParsingFile(MpegAudioFrameHeader(1, 3)); // 32 kbit/s single channel
    CMediaType mt;
    ASSERT_TRUE(mono.file->ReadMpegAudioHeader(h, 8, false, &mt));
    EXPECT_EQ(h.layer, 2);
    EXPECT_EQ(h.sampleRate, 48000u);
    EXPECT_EQ(h.frameSize, 144u * 32000 / 48000);
    const auto* wfe = reinterpret_cast<const MPEG1WAVEFORMAT*>(mt.pbFormat);
    EXPECT_EQ(wfe->wfx.wFormatTag, WAVE_FORMAT_MPEG);
    EXPECT_EQ(wfe->wfx.nChannels, 1);
    EXPECT_EQ(wfe->fwHeadLayer, 2);
    EXPECT_EQ(wfe->fwHeadFlags & 16, 16); // MPEG-1
    auto highMono = MakeParsingFile(MpegAudioFrameHeader(12, 3)); // 256 kbit/s single channel
    EXPECT_FALSE(highMono.file->ReadMpegAudioHeader(h, 8, false));
}

TEST(Ac3Header, FortyEightKilohertzAt384Kbits)
{
    const auto bytes = BitWriter().Bits(0x0B77, 16).Bits(0, 16).Bits(0, 2).Bits(28, 6).Bits(8, 5).Bits(0, 3)
                           .Bits(2, 3).Bits(0, 2).Bits(0, 1).Bytes({0, 0, 0, 0, 0, 0}).Done();
    auto p = MakeParsingFile(bytes);
    Ac3Header h;
    CMediaType mt;
    ASSERT_TRUE(p.file->ReadAc3Header(h, 100, &mt));
    const auto* wfe = reinterpret_cast<const WAVEFORMATEX*>(mt.pbFormat);
    EXPECT_EQ(wfe->nAvgBytesPerSec, 48000u);
    EXPECT_EQ(wfe->nBlockAlign, 1536);
    EXPECT_EQ(wfe->nChannels, 2);
    EXPECT_EQ(wfe->nSamplesPerSec, 48000u);
    EXPECT_EQ(mt.subtype, MEDIASUBTYPE_DOLBY_AC3);
}

TEST(AacHeader, AdtsFrameGivesItsAudioSpecificConfig)
{
    // AAC LC (profile 1), 48 kHz (index 3), stereo, frame of 100 bytes, no CRC.
    const auto bytes = BitWriter().Bits(0xFFF, 12).Bits(0, 1).Bits(0, 2).Bits(1, 1).Bits(1, 2).Bits(3, 4).Bits(0, 1)
                           .Bits(2, 3).Bits(0, 4).Bits(100, 13).Bits(0x7FF, 11).Bits(0, 2).Bytes({0, 0, 0, 0}).Done();
    auto p = MakeParsingFile(bytes);
    AacHeader h;
    CMediaType mt;
    ASSERT_TRUE(p.file->ReadAacHeader(h, 100, &mt));
    EXPECT_EQ(h.payloadSize, 93u);
    const auto* wfe = reinterpret_cast<const WAVEFORMATEX*>(mt.pbFormat);
    EXPECT_EQ(wfe->cbSize, 2);
    const auto* config = reinterpret_cast<const BYTE*>(wfe + 1);
    EXPECT_EQ(config[0], 0x11); // (1 + 1) << 3 | 3 >> 1
    EXPECT_EQ(config[1], 0x90); // (3 & 1) << 7 | 2 << 3
}

TEST(LpcmHeader, DvdLpcmFormat)
{
    auto p = MakeParsingFile(BitWriter().Bits(0, 8).Bits(0, 2).Bits(0, 2).Bits(0, 1).Bits(1, 3).Bits(0x80, 8).Done());
    LpcmHeader h;
    CMediaType mt;
    ASSERT_TRUE(p.file->ReadLpcmHeader(h, &mt));
    const auto* wfe = reinterpret_cast<const WAVEFORMATEX*>(mt.pbFormat);
    EXPECT_EQ(wfe->nChannels, 2);
    EXPECT_EQ(wfe->nSamplesPerSec, 48000u);
    EXPECT_EQ(wfe->wBitsPerSample, 16);
    EXPECT_EQ(wfe->nBlockAlign, 8); // channels × 2 × bits / 8, as the DVD LPCM type has it
    auto bad = MakeParsingFile(BitWriter().Bits(0, 8).Bits(3, 2).Bits(0, 6).Bits(0, 8).Done());
    EXPECT_FALSE(bad.file->ReadLpcmHeader(h, nullptr));
}

TEST(AvcHeader, ThreeByteStartCodesAreNotRecognised)
{
    // x264's parameter sets for a 320x240 baseline picture at 25 frames per second.
    const std::vector<std::uint8_t> sps = {0x67, 0x42, 0xC0, 0x0D, 0xD9, 0x01, 0x41, 0xFB, 0x01, 0x10, 0x00, 0x00,
                                           0x03, 0x00, 0x10, 0x00, 0x00, 0x03, 0x03, 0x20, 0xF1, 0x42, 0xA4, 0x80};
    const std::vector<std::uint8_t> pps = {0x68, 0xCB, 0x83, 0xCB, 0x20};
    std::vector<std::uint8_t> shortCodes = {0, 0, 1};
    shortCodes.insert(shortCodes.end(), sps.begin(), sps.end());
    shortCodes.insert(shortCodes.end(), {0, 0, 1});
    shortCodes.insert(shortCodes.end(), pps.begin(), pps.end());
    shortCodes.insert(shortCodes.end(), {0, 0, 1, 0x65, 0, 0, 0, 0});
    AvcHeader h;
    EXPECT_FALSE(MakeParsingFile(shortCodes).file->ReadAvcHeader(h, 100));

    std::vector<std::uint8_t> longCodes = {0, 0, 0, 1};
    longCodes.insert(longCodes.end(), sps.begin(), sps.end());
    longCodes.insert(longCodes.end(), {0, 0, 0, 1});
    longCodes.insert(longCodes.end(), pps.begin(), pps.end());
    longCodes.insert(longCodes.end(), {0, 0, 0, 1, 0x65, 0, 0, 0, 0});
    CMediaType mt;
    ASSERT_TRUE(MakeParsingFile(longCodes).file->ReadAvcHeader(h, 100, &mt));
    EXPECT_EQ(h.profile, 66);
    EXPECT_EQ(h.level, 13);
    EXPECT_EQ(h.timePerFrame, 400000);
    EXPECT_EQ(h.width, 320u);
    EXPECT_EQ(h.height, 240u);
    EXPECT_EQ(mt.subtype, MEDIASUBTYPE_AVC1);
    const auto* info = reinterpret_cast<const MPEG2VIDEOINFO*>(mt.pbFormat);
    EXPECT_EQ(info->dwFlags, 4u);
    EXPECT_EQ(info->cbSequenceHeader, 2 + sps.size() + 2 + pps.size());
    const auto* seq = reinterpret_cast<const BYTE*>(info->dwSequenceHeader);
    EXPECT_EQ(seq[1], sps.size());
    EXPECT_EQ(seq[2], 0x67);
}

std::vector<std::uint8_t> TsPacket(std::uint16_t pid, bool start, std::uint8_t counter)
{
    std::vector<std::uint8_t> packet(188, 0xFF);
    packet[0] = 0x47;
    packet[1] = static_cast<std::uint8_t>((start ? 0x40 : 0) | (pid >> 8));
    packet[2] = static_cast<std::uint8_t>(pid);
    packet[3] = static_cast<std::uint8_t>(0x10 | counter);
    return packet;
}

TEST(TsPacketHeader, DetectsThePacketSizeAndReadsTheFields)
{
    std::vector<std::uint8_t> stream(7, 0x00);
    stream[0] = 0x47; // a false sync byte before the packets
    for (int i = 0; i < 4; ++i) {
        auto packet = TsPacket(0x100, i == 0, static_cast<std::uint8_t>(i));
        stream.insert(stream.end(), packet.begin(), packet.end());
    }
    auto p = MakeParsingFile(stream);
    TsPacketHeader h;
    p.file->SeekTo(7);
    ASSERT_TRUE(p.file->ReadTsPacketHeader(h, true));
    EXPECT_EQ(p.file->TsPacketSize(), 188);
    EXPECT_EQ(h.pid, 0x100);
    EXPECT_TRUE(h.payloadUnitStart);
    EXPECT_EQ(h.payloadBytes, 184);
    EXPECT_EQ(h.nextPacket, 7 + 188);
    // Resynchronising from inside the first packet lands on the second.
    p.file->SeekTo(20);
    ASSERT_TRUE(p.file->ReadTsPacketHeader(h, true));
    EXPECT_EQ(h.counter, 1);
}

} // namespace
