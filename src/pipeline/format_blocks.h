#pragma once
// Format blocks of media types, in their published byte layouts: they are exchanged as raw
// bytes between filters and must read the same to every filter.

#include <cstddef>
#include <cstdint>

#include "pipeline/interfaces.h"

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};

struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};

struct VIDEOINFOHEADER {
    RECT rcSource;
    RECT rcTarget;
    DWORD dwBitRate;
    DWORD dwBitErrorRate;
    REFERENCE_TIME AvgTimePerFrame;
    BITMAPINFOHEADER bmiHeader;
};

// Interlace flags of VIDEOINFOHEADER2.
constexpr DWORD AMINTERLACE_IsInterlaced = 0x00000001;
constexpr DWORD AMINTERLACE_1FieldPerSample = 0x00000002;
constexpr DWORD AMINTERLACE_Field1First = 0x00000004;
constexpr DWORD AMINTERLACE_DisplayModeBobOrWeave = 0x00000080; // per-sample flags say which

// Per-picture flags of video samples (AM_SAMPLE2_PROPERTIES::dwTypeSpecificFlags) when the type
// says AMINTERLACE_IsInterlaced.
constexpr DWORD AM_VIDEO_FLAG_FIELD1FIRST = 0x0004; // the top field is shown first
constexpr DWORD AM_VIDEO_FLAG_WEAVE = 0x0008;       // a progressive picture: its fields belong together
constexpr DWORD AM_VIDEO_FLAG_REPEAT_FIELD = 0x0040;

struct VIDEOINFOHEADER2 {
    RECT rcSource;
    RECT rcTarget;
    DWORD dwBitRate;
    DWORD dwBitErrorRate;
    REFERENCE_TIME AvgTimePerFrame;
    DWORD dwInterlaceFlags;
    DWORD dwCopyProtectFlags;
    DWORD dwPictAspectRatioX;
    DWORD dwPictAspectRatioY;
    DWORD dwControlFlags; // also dwReserved1
    DWORD dwReserved2;
    BITMAPINFOHEADER bmiHeader;
};

struct MPEG1VIDEOINFO {
    VIDEOINFOHEADER hdr;
    DWORD dwStartTimeCode;
    DWORD cbSequenceHeader;
    BYTE bSequenceHeader[1];
};

struct MPEG2VIDEOINFO {
    VIDEOINFOHEADER2 hdr;
    DWORD dwStartTimeCode;
    DWORD cbSequenceHeader;
    DWORD dwProfile;
    DWORD dwLevel;
    DWORD dwFlags;
    DWORD dwSequenceHeader[1];
};

#pragma pack(push, 1)
struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
};

struct MPEG1WAVEFORMAT {
    WAVEFORMATEX wfx;
    WORD fwHeadLayer;
    DWORD dwHeadBitrate;
    WORD fwHeadMode;
    WORD fwHeadModeExt;
    WORD wHeadEmphasis;
    WORD fwHeadFlags;
    DWORD dwPTSLow;
    DWORD dwPTSHigh;
};
#pragma pack(pop)

constexpr WORD WAVE_FORMAT_PCM = 0x0001;
constexpr WORD WAVE_FORMAT_MPEG = 0x0050;
constexpr WORD WAVE_FORMAT_MPEGLAYER3 = 0x0055;
constexpr WORD WAVE_FORMAT_DOLBY_AC3_SPDIF = 0x0092;
constexpr WORD WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

// Bytes of an MPEG1VIDEOINFO or MPEG2VIDEOINFO block carrying `sequenceBytes` of sequence header.
constexpr std::size_t SizeOfMpeg1VideoInfo(std::size_t sequenceBytes)
{
    return offsetof(MPEG1VIDEOINFO, bSequenceHeader) + sequenceBytes;
}
constexpr std::size_t SizeOfMpeg2VideoInfo(std::size_t sequenceBytes)
{
    return offsetof(MPEG2VIDEOINFO, dwSequenceHeader) + sequenceBytes;
}

static_assert(sizeof(RECT) == 16);
static_assert(sizeof(BITMAPINFOHEADER) == 40);
static_assert(offsetof(BITMAPINFOHEADER, biCompression) == 16);
static_assert(offsetof(BITMAPINFOHEADER, biSizeImage) == 20);
static_assert(offsetof(BITMAPINFOHEADER, biClrImportant) == 36);
static_assert(offsetof(VIDEOINFOHEADER, rcTarget) == 16);
static_assert(offsetof(VIDEOINFOHEADER, dwBitRate) == 32);
static_assert(offsetof(VIDEOINFOHEADER, dwBitErrorRate) == 36);
static_assert(offsetof(VIDEOINFOHEADER, AvgTimePerFrame) == 40);
static_assert(offsetof(VIDEOINFOHEADER, bmiHeader) == 48);
static_assert(sizeof(VIDEOINFOHEADER) == 88);
static_assert(offsetof(VIDEOINFOHEADER2, AvgTimePerFrame) == 40);
static_assert(offsetof(VIDEOINFOHEADER2, dwInterlaceFlags) == 48);
static_assert(offsetof(VIDEOINFOHEADER2, dwCopyProtectFlags) == 52);
static_assert(offsetof(VIDEOINFOHEADER2, dwPictAspectRatioX) == 56);
static_assert(offsetof(VIDEOINFOHEADER2, dwPictAspectRatioY) == 60);
static_assert(offsetof(VIDEOINFOHEADER2, dwControlFlags) == 64);
static_assert(offsetof(VIDEOINFOHEADER2, dwReserved2) == 68);
static_assert(offsetof(VIDEOINFOHEADER2, bmiHeader) == 72);
static_assert(sizeof(VIDEOINFOHEADER2) == 112);
static_assert(offsetof(MPEG1VIDEOINFO, dwStartTimeCode) == 88);
static_assert(offsetof(MPEG1VIDEOINFO, cbSequenceHeader) == 92);
static_assert(offsetof(MPEG1VIDEOINFO, bSequenceHeader) == 96);
static_assert(offsetof(MPEG2VIDEOINFO, dwStartTimeCode) == 112);
static_assert(offsetof(MPEG2VIDEOINFO, cbSequenceHeader) == 116);
static_assert(offsetof(MPEG2VIDEOINFO, dwProfile) == 120);
static_assert(offsetof(MPEG2VIDEOINFO, dwLevel) == 124);
static_assert(offsetof(MPEG2VIDEOINFO, dwFlags) == 128);
static_assert(offsetof(MPEG2VIDEOINFO, dwSequenceHeader) == 132);
static_assert(sizeof(WAVEFORMATEX) == 18);
static_assert(offsetof(WAVEFORMATEX, nSamplesPerSec) == 4);
static_assert(offsetof(WAVEFORMATEX, nAvgBytesPerSec) == 8);
static_assert(offsetof(WAVEFORMATEX, nBlockAlign) == 12);
static_assert(offsetof(WAVEFORMATEX, wBitsPerSample) == 14);
static_assert(offsetof(WAVEFORMATEX, cbSize) == 16);
static_assert(offsetof(MPEG1WAVEFORMAT, fwHeadLayer) == 18);
static_assert(offsetof(MPEG1WAVEFORMAT, dwHeadBitrate) == 20);
static_assert(offsetof(MPEG1WAVEFORMAT, fwHeadMode) == 24);
static_assert(offsetof(MPEG1WAVEFORMAT, fwHeadModeExt) == 26);
static_assert(offsetof(MPEG1WAVEFORMAT, wHeadEmphasis) == 28);
static_assert(offsetof(MPEG1WAVEFORMAT, fwHeadFlags) == 30);
static_assert(offsetof(MPEG1WAVEFORMAT, dwPTSLow) == 32);
static_assert(offsetof(MPEG1WAVEFORMAT, dwPTSHigh) == 36);
static_assert(sizeof(MPEG1WAVEFORMAT) == 40);
