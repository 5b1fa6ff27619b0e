#include <gtest/gtest.h>

#include "demux/base_splitter_file_ex.h"
#include "demux/mpeg_splitter_file.h"
#include "demux/stream_description.h"
#include "pipeline/format_blocks.h"
#include "pipeline/media_guids.h"

namespace {

TEST(StreamDescription, Mpeg1Video)
{
    CMediaType mt;
    mt.majortype = MEDIATYPE_Video;
    mt.subtype = MEDIASUBTYPE_MPEG1Payload;
    mt.formattype = FORMAT_MPEGVideo;
    auto* info = reinterpret_cast<MPEG1VIDEOINFO*>(mt.AllocFormatBuffer(static_cast<ULONG>(SizeOfMpeg1VideoInfo(0))));
    info->hdr.bmiHeader.biWidth = 352;
    info->hdr.bmiHeader.biHeight = 288;
    info->hdr.AvgTimePerFrame = 400000;
    info->hdr.dwBitRate = 1150000;
    EXPECT_EQ(StreamName(0, mt, nullptr, 0, 0, 0xE0, 0),
              "Video - MPEG, 352x288, 25.000 fps, 1150.0 kbit/s (0000,e0,00)");
}

TEST(StreamDescription, DvdAc3Audio)
{
    CMediaType mt;
    auto* wfe = MakeWaveFormat(mt, MEDIASUBTYPE_DOLBY_AC3, 0x2000, 0);
    wfe->nChannels = 6;
    wfe->nSamplesPerSec = 48000;
    wfe->nAvgBytesPerSec = 448000 / 8;
    EXPECT_EQ(StreamName(1, mt, nullptr, 0, 0, 0xBD, 0x80),
              "Audio - Dolby Digital, 48.0 kHz, 6 chn, 448.0 kbit/s (0000,bd,80)");
    // The program map's stream type names the coding when it knows one.
    EXPECT_EQ(StreamName(1, mt, nullptr, 0x84, 0x1100, 0xBD, 0),
              "Audio - Dolby Digital Plus, 48.0 kHz, 6 chn, 448.0 kbit/s (1100,bd,00)");
}

TEST(StreamDescription, PlaceholdersAndBareNames)
{
    EXPECT_EQ(StreamName(2, DvdSubpictureType(), nullptr, 0, 0, 0, 0), "Video - DVD Sub Picture (0000,00,00)");
    CMediaType unknown;
    unknown.majortype = MEDIATYPE_Audio;
    unknown.formattype = FORMAT_None;
    EXPECT_EQ(StreamName(1, unknown, nullptr, 0, 0, 0xBD, 0x99), "Audio (0000,bd,99)");
    EXPECT_EQ(StreamName(1, unknown, nullptr, 0x83, 0x1101, 0xBD, 0), "Audio - Dolby TrueHD (1101,bd,00)");
    EXPECT_EQ(StreamName(2, unknown, nullptr, 0, 1, 0xBD, 0), "No subtitles");
}

TEST(StreamDescription, BitRateTexts)
{
    EXPECT_EQ(BitRateText(20000000), "20000.0 kbit/s");
    EXPECT_EQ(BitRateText(20000001), "20.00 mbit/s");
    EXPECT_EQ(BitRateText(192000), "192.0 kbit/s");
}

TEST(StreamDescription, ProfilesAndLevels)
{
    CMediaType mt;
    mt.majortype = MEDIATYPE_Video;
    mt.subtype = MEDIASUBTYPE_MPEG2_VIDEO;
    mt.formattype = FORMAT_MPEG2_VIDEO;
    auto* info = reinterpret_cast<MPEG2VIDEOINFO*>(mt.AllocFormatBuffer(static_cast<ULONG>(SizeOfMpeg2VideoInfo(0))));
    info->dwProfile = 4; // the sequence extension's code for Main Profile
    info->dwLevel = 8;   // … and Main Level
    EXPECT_EQ(TrackDescription(mt, nullptr, 0), "Video - MPEG2, Main Profile, Main Level");
    info->dwProfile = 1;
    info->dwLevel = 4;
    EXPECT_EQ(TrackDescription(mt, nullptr, 0), "Video - MPEG2, High Profile, High Level");
    info->dwProfile = 7;
    info->dwLevel = 11;
    EXPECT_EQ(TrackDescription(mt, nullptr, 0), "Video - MPEG2, Profile 7, Level 11");
    info->hdr.bmiHeader.biCompression = MakeFourCC('A', 'V', 'C', '1');
    info->dwProfile = 100;
    info->dwLevel = 41;
    EXPECT_EQ(TrackDescription(mt, nullptr, 0), "Video - AVC (H.264), High Profile, Level 4.1");
}

TEST(StreamDescription, ClipLanguageComesFirst)
{
    CMediaType mt;
    auto* wfe = MakeWaveFormat(mt, MEDIASUBTYPE_DOLBY_AC3, 0x2000, 0);
    wfe->nChannels = 2;
    wfe->nSamplesPerSec = 48000;
    ClipStreamInfo clip;
    clip.pid = 0x1100;
    clip.streamType = 0x81;
    std::snprintf(clip.language, sizeof clip.language, "fre");
    clip.sampleRateCode = 14;
    EXPECT_EQ(TrackDescription(mt, &clip, 0x81), "Audio - French, Dolby Digital, 96(48) kHz, 2 chn");
}

} // namespace
