#include "decode/media_codec.h"

#include <algorithm>
#include <cstddef>

#include "pipeline/media_guids.h"

const WAVEFORMATEX* WaveFormatOf(const CMediaType& type)
{
    if (type.formattype != FORMAT_WaveFormatEx || !type.pbFormat || type.cbFormat < sizeof(WAVEFORMATEX)) return nullptr;
    return reinterpret_cast<const WAVEFORMATEX*>(type.pbFormat);
}

AVCodecID AudioCodecOf(const CMediaType& type)
{
    const GUID& s = type.subtype;
    if (s == MEDIASUBTYPE_DOLBY_AC3 || s == MEDIASUBTYPE_WAVE_DOLBY_AC3) return AV_CODEC_ID_AC3;
    if (s == MEDIASUBTYPE_DTS || s == MEDIASUBTYPE_WAVE_DTS) return AV_CODEC_ID_DTS;
    if (s == MEDIASUBTYPE_DVD_LPCM_AUDIO) return AV_CODEC_ID_PCM_DVD;
    if (s == MEDIASUBTYPE_HDMV_LPCM_AUDIO) return AV_CODEC_ID_PCM_BLURAY;
    if (s == MEDIASUBTYPE_AAC) return AV_CODEC_ID_AAC;
    if (s == FourCCGuid(WAVE_FORMAT_MPEGLAYER3)) return AV_CODEC_ID_MP3;
    if (s == MEDIASUBTYPE_MPEG2_AUDIO) return AV_CODEC_ID_MP2;
    if (s == MEDIASUBTYPE_MPEG1AudioPayload || s == MEDIASUBTYPE_MPEG1Packet || s == MEDIASUBTYPE_MPEG1Audio) {
        // The layer is in the MPEG-1 wave format (1, 2 or 4 for Layers I, II and III).
        if (type.cbFormat >= sizeof(MPEG1WAVEFORMAT)) {
            const auto* mpeg = reinterpret_cast<const MPEG1WAVEFORMAT*>(type.pbFormat);
            if (mpeg->fwHeadLayer == 1) return AV_CODEC_ID_MP1;
            if (mpeg->fwHeadLayer == 4) return AV_CODEC_ID_MP3;
        }
        return AV_CODEC_ID_MP2;
    }
    return AV_CODEC_ID_NONE;
}

const BITMAPINFOHEADER* VideoBitmapHeaderOf(const CMediaType& type)
{
    if (!type.pbFormat) return nullptr;
    if ((type.formattype == FORMAT_VideoInfo || type.formattype == FORMAT_MPEGVideo) &&
        type.cbFormat >= sizeof(VIDEOINFOHEADER))
        return &reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat)->bmiHeader;
    if ((type.formattype == FORMAT_VideoInfo2 || type.formattype == FORMAT_MPEG2_VIDEO) &&
        type.cbFormat >= sizeof(VIDEOINFOHEADER2))
        return &reinterpret_cast<const VIDEOINFOHEADER2*>(type.pbFormat)->bmiHeader;
    return nullptr;
}

AVCodecID VideoCodecOf(const GUID& subtype)
{
    if (subtype == MEDIASUBTYPE_MPEG1Payload || subtype == MEDIASUBTYPE_MPEG1Packet) return AV_CODEC_ID_MPEG1VIDEO;
    if (subtype == MEDIASUBTYPE_MPEG2_VIDEO) return AV_CODEC_ID_MPEG2VIDEO;
    if (subtype == MEDIASUBTYPE_AVC1 || subtype == MEDIASUBTYPE_avc1) return AV_CODEC_ID_H264;
    if (subtype == MEDIASUBTYPE_WVC1 || subtype == MEDIASUBTYPE_wvc1) return AV_CODEC_ID_VC1;
    return AV_CODEC_ID_NONE;
}
std::vector<std::uint8_t> VideoExtradataOf(const CMediaType& type)
{
    const BYTE* bytes = nullptr;
    std::size_t size = 0;
    if (type.formattype == FORMAT_MPEGVideo && type.cbFormat >= offsetof(MPEG1VIDEOINFO, bSequenceHeader)) {
        const auto* info = reinterpret_cast<const MPEG1VIDEOINFO*>(type.pbFormat);
        bytes = info->bSequenceHeader;
        size = std::min<std::size_t>(info->cbSequenceHeader, type.cbFormat - offsetof(MPEG1VIDEOINFO, bSequenceHeader));
    } else if (type.formattype == FORMAT_MPEG2_VIDEO && type.cbFormat >= offsetof(MPEG2VIDEOINFO, dwSequenceHeader)) {
        const auto* info = reinterpret_cast<const MPEG2VIDEOINFO*>(type.pbFormat);
        bytes = reinterpret_cast<const BYTE*>(info->dwSequenceHeader);
        size = std::min<std::size_t>(info->cbSequenceHeader, type.cbFormat - offsetof(MPEG2VIDEOINFO, dwSequenceHeader));
    } else if (type.formattype == FORMAT_VideoInfo2 && type.cbFormat > sizeof(VIDEOINFOHEADER2) + 1) {
        bytes = type.pbFormat + sizeof(VIDEOINFOHEADER2) + 1;
        size = type.cbFormat - sizeof(VIDEOINFOHEADER2) - 1;
    }
    if (!bytes || size == 0) return {};
    if (VideoCodecOf(type.subtype) != AV_CODEC_ID_H264) return {bytes, bytes + size};

    std::vector<std::vector<std::uint8_t>> sps, pps;
    for (std::size_t at = 0; at + 2 < size;) {
        const std::size_t length = (static_cast<std::size_t>(bytes[at]) << 8) | bytes[at + 1];
        if (length == 0 || at + 2 + length > size) break;
        std::vector<std::uint8_t> unit(bytes + at + 2, bytes + at + 2 + length);
        ((unit[0] & 0x1F) == 7 ? sps : pps).push_back(std::move(unit));
        at += 2 + length;
    }
    if (sps.empty() || sps.front().size() < 4) return {};
    std::vector<std::uint8_t> avcc = {1, sps.front()[1], sps.front()[2], sps.front()[3], 0xFF,
                                      static_cast<std::uint8_t>(0xE0 | sps.size())};
    auto put = [&](const std::vector<std::uint8_t>& unit) {
        avcc.push_back(static_cast<std::uint8_t>(unit.size() >> 8));
        avcc.push_back(static_cast<std::uint8_t>(unit.size()));
        avcc.insert(avcc.end(), unit.begin(), unit.end());
    };
    for (const auto& unit : sps) put(unit);
    avcc.push_back(static_cast<std::uint8_t>(pps.size()));
    for (const auto& unit : pps) put(unit);
    return avcc;
}
