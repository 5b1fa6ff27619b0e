#include "demux/stream_description.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "dvd/iso639.h"
#include "pipeline/format_blocks.h"
#include "pipeline/media_guids.h"

namespace {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

std::string FourCCText(DWORD code)
{
    std::string text;
    for (int i = 0; i < 4; ++i) text += static_cast<char>((code >> (8 * i)) & 0xFF);
    return text;
}

std::string LanguageName(const char* code)
{
    if (!code || !*code) return {};
    return std::string(ShortLanguageName(FindLanguageByAlpha3(code)));
}

// Names of the MPEG-2 sequence extension's raw profile and level codes.
const char* Mpeg2ProfileName(DWORD raw)
{
    switch (raw) {
    case 1: return "High Profile";
    case 2: return "Spatially Scalable Profile";
    case 3: return "SNR Scalable Profile";
    case 4: return "Main Profile";
    case 5: return "Simple Profile";
    default: return nullptr;
    }
}

const char* Mpeg2LevelName(DWORD raw)
{
    switch (raw) {
    case 4: return "High Level";
    case 6: return "High1440 Level";
    case 8: return "Main Level";
    case 10: return "Low Level";
    default: return nullptr;
    }
}

// The names of H.264 profiles and levels as the stream's header codes them; null when unknown.
const char* AvcProfileName(DWORD profile)
{
    switch (profile) {
    case 1: return "Simple Profile";
    case 2: return "Main Profile";
    case 3: return "SNR Scalable Profile";
    case 4: return "Spatially Scalable Profile";
    case 5: return "High Profile";
    case 44: return "CAVLC Profile";
    case 66: return "Baseline Profile";
    case 77: return "Main Profile";
    case 88: return "Extended Profile";
    case 100: return "High Profile";
    case 110: return "High 10 Profile";
    case 122: return "High 4:2:2 Profile";
    case 244: return "High 4:4:4 Profile";
    default: return nullptr;
    }
}

const char* AvcLevelName(DWORD level)
{
    switch (level) {
    case 1: return "Low Level";
    case 2: return "Main Level";
    case 3: return "High1440 Level";
    case 4: return "High Level";
    default: return nullptr;
    }
}

void VideoParts(const CMediaType& mt, std::vector<std::string>& parts)
{
    const VIDEOINFOHEADER* vih = nullptr;
    const VIDEOINFOHEADER2* vih2 = nullptr;
    if (HasFormatBlock(mt, FORMAT_MPEGVideo, sizeof(VIDEOINFOHEADER))) {
        parts.push_back("MPEG");
        vih = reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat);
    } else if (HasFormatBlock(mt, FORMAT_MPEG2_VIDEO, sizeof(MPEG2VIDEOINFO) - sizeof(DWORD))) {
        const auto* info = reinterpret_cast<const MPEG2VIDEOINFO*>(mt.pbFormat);
        vih2 = &info->hdr;
        const DWORD compression = info->hdr.bmiHeader.biCompression;
        const bool avc = compression == MakeFourCC('A', 'V', 'C', '1');
        if (avc)
            parts.push_back("AVC (H.264)");
        else if (compression == 0)
            parts.push_back("MPEG2");
        else
            parts.push_back(FourCCText(compression));
        const DWORD profile = info->dwProfile;
        const DWORD level = info->dwLevel;
        if (avc) {
            if (profile) parts.push_back(AvcProfileName(profile) ? AvcProfileName(profile) : Format("Profile %d", static_cast<int>(profile)));
            if (level) parts.push_back(AvcLevelName(level) ? AvcLevelName(level) : Format("Level %1.1f", level / 10.0));
        } else {
            // The sequence extension's own codes, named as users know them.
            if (profile) {
                const char* name = Mpeg2ProfileName(profile);
                parts.push_back(name ? name : Format("Profile %d", static_cast<int>(profile)));
            }
            if (level) {
                const char* name = Mpeg2LevelName(level);
                parts.push_back(name ? name : Format("Level %d", static_cast<int>(level)));
            }
        }
    } else if (HasFormatBlock(mt, FORMAT_VideoInfo2, sizeof(VIDEOINFOHEADER2))) {
        vih2 = reinterpret_cast<const VIDEOINFOHEADER2*>(mt.pbFormat);
        const DWORD compression = vih2->bmiHeader.biCompression;
        if (compression == MakeFourCC('W', 'V', 'C', '1'))
            parts.push_back("VC-1");
        else if (compression)
            parts.push_back(FourCCText(compression));
    } else if (mt.subtype == MEDIASUBTYPE_DVD_SUBPICTURE) {
        parts.push_back("DVD Sub Picture");
    } else if (mt.subtype == MEDIASUBTYPE_SVCD_SUBPICTURE) {
        parts.push_back("SVCD Sub Picture");
    } else if (mt.subtype == MEDIASUBTYPE_CVD_SUBPICTURE) {
        parts.push_back("CVD Sub Picture");
    }
    LONG width = 0, height = 0;
    REFERENCE_TIME timePerFrame = 0;
    DWORD bitRate = 0;
    if (vih) {
        width = vih->bmiHeader.biWidth, height = vih->bmiHeader.biHeight;
        timePerFrame = vih->AvgTimePerFrame, bitRate = vih->dwBitRate;
    } else if (vih2) {
        width = vih2->bmiHeader.biWidth, height = vih2->bmiHeader.biHeight;
        timePerFrame = vih2->AvgTimePerFrame, bitRate = vih2->dwBitRate;
    } else {
        return;
    }
    if (width && height) parts.push_back(Format("%dx%d", static_cast<int>(width), static_cast<int>(height)));
    if (timePerFrame) parts.push_back(Format("%.3f fps", 10000000.0 / static_cast<double>(timePerFrame)));
    if (bitRate) parts.push_back(BitRateText(bitRate));
}

void AudioParts(const CMediaType& mt, const ClipStreamInfo* clip, int streamType, std::vector<std::string>& parts)
{
    if (!HasFormatBlock(mt, FORMAT_WaveFormatEx, sizeof(WAVEFORMATEX))) return;
    const auto* wfe = reinterpret_cast<const WAVEFORMATEX*>(mt.pbFormat);
    const char* typeName = StreamTypeName(streamType);
    if (mt.subtype == MEDIASUBTYPE_DVD_LPCM_AUDIO) {
        parts.push_back("DVD LPCM");
    } else if (mt.subtype == MEDIASUBTYPE_HDMV_LPCM_AUDIO) {
        parts.push_back("HDMV LPCM");
    } else {
        switch (wfe->wFormatTag) {
        case 0x2001: parts.push_back(typeName ? typeName : "DTS"); break;
        case 0xF521: parts.push_back("PS2 PCM"); break;
        case 0xF522: parts.push_back("PS2 ADPCM"); break;
        case 0x2000: parts.push_back(typeName ? typeName : "Dolby Digital"); break;
        case 0x50: {
            int layer = 1;
            if (mt.cbFormat >= sizeof(MPEG1WAVEFORMAT)) {
                const WORD flags = reinterpret_cast<const MPEG1WAVEFORMAT*>(wfe)->fwHeadLayer;
                for (int bit = 0; bit < 16; ++bit)
                    if (flags & (1 << bit)) {
                        layer = bit + 1;
                        break;
                    }
            }
            parts.push_back(Format("MPEG1 - Layer %d", layer));
            break;
        }
        case 0x55: parts.push_back("MP3"); break;
        case 0xFF: parts.push_back("AAC"); break;
        default: break;
        }
    }
    if (clip && clip->sampleRateCode == 12)
        parts.push_back("192(48) kHz");
    else if (clip && clip->sampleRateCode == 14)
        parts.push_back("96(48) kHz");
    else if (wfe->nSamplesPerSec)
        parts.push_back(Format("%.1f kHz", wfe->nSamplesPerSec / 1000.0));
    if (wfe->nChannels) parts.push_back(Format("%d chn", wfe->nChannels));
    if (wfe->wBitsPerSample) parts.push_back(Format("%d bit", wfe->wBitsPerSample));
    if (wfe->nAvgBytesPerSec) parts.push_back(BitRateText(wfe->nAvgBytesPerSec * 8.0));
}

} // namespace

const char* StreamTypeName(int streamType)
{
    switch (streamType) {
    case 0x01:
    case 0x03: return "MPEG-1";
    case 0x02:
    case 0x04: return "MPEG-2";
    case 0x1B: return "H264";
    case 0x80: return "LPCM";
    case 0x81: return "Dolby Digital";
    case 0x82: return "DTS";
    case 0x83: return "Dolby TrueHD";
    case 0x84: return "Dolby Digital Plus";
    case 0x85: return "DTS-HD High Resolution Audio";
    case 0x86: return "DTS-HD Master Audio";
    case 0x90: return "Presentation Graphics Stream";
    case 0x91: return "Interactive Graphics Stream";
    case 0x92: return "Subtitle";
    case 0xA1: return "Secondary Dolby Digital Plus";
    case 0xA2: return "Secondary DTS-HD High Resolution Audio";
    case 0xEA: return "VC-1";
    default: return nullptr;
    }
}

std::string BitRateText(double bitsPerSecond)
{
    if (bitsPerSecond > 20000000) return Format("%.2f mbit/s", bitsPerSecond / 1000000.0);
    return Format("%.1f kbit/s", bitsPerSecond / 1000.0);
}

std::string TrackDescription(const CMediaType& mt, const ClipStreamInfo* clip, int streamType)
{
    std::vector<std::string> parts;
    const char* word = nullptr;
    const std::string clipLanguage = clip ? LanguageName(clip->language) : std::string();
    if (mt.majortype == MEDIATYPE_Video) {
        word = "Video";
        if (!clipLanguage.empty()) parts.push_back(clipLanguage);
        VideoParts(mt, parts);
    } else if (mt.majortype == MEDIATYPE_Audio) {
        word = "Audio";
        if (!clipLanguage.empty()) parts.push_back(clipLanguage);
        AudioParts(mt, clip, streamType, parts);
    } else if (mt.majortype == MEDIATYPE_Subtitle) {
        word = "Subtitle";
        if (const char* name = StreamTypeName(streamType)) parts.push_back(name);
        if (mt.pbFormat && mt.cbFormat == 520) {
            // Track name (wide text) and language code of the subtitle block.
            std::string track;
            for (int i = 0; i < 256; ++i) {
                const auto c = static_cast<char16_t>(mt.pbFormat[8 + 2 * i] | (mt.pbFormat[9 + 2 * i] << 8));
                if (!c) break;
                track += c < 0x80 ? static_cast<char>(c) : '?';
            }
            if (!track.empty()) parts.insert(parts.begin(), track);
            char code[5] = {};
            for (int i = 0; i < 4; ++i) code[i] = static_cast<char>(mt.pbFormat[4 + i]);
            const std::string language = LanguageName(code);
            if (!language.empty()) parts.insert(parts.begin(), language);
        } else if (!clipLanguage.empty()) {
            parts.insert(parts.begin(), clipLanguage);
        }
    }
    if (!word || parts.empty()) return {};
    std::string text = std::string(word) + " - ";
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i) text += ", ";
        text += parts[i];
    }
    return text;
}

std::string StreamName(int group, const CMediaType& mt, const ClipStreamInfo* clip, int streamType, std::uint16_t pid,
                       std::uint8_t pesId, std::uint8_t subId)
{
    static const char* const kClassNames[3] = {"Video", "Audio", "Subtitle"};
    if (group == 2 && pid == 1) return "No subtitles";
    const std::string track = TrackDescription(mt, clip, streamType);
    if (!track.empty()) return Format("%s (%04x,%02x,%02x)", track.c_str(), pid, pesId, subId);
    const char* className = kClassNames[group >= 0 && group < 3 ? group : 0];
    if (const char* name = StreamTypeName(streamType))
        return Format("%s - %s (%04x,%02x,%02x)", className, name, pid, pesId, subId);
    return Format("%s (%04x,%02x,%02x)", className, pid, pesId, subId);
}
