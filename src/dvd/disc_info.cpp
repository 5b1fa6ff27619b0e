#include "dvd/disc_info.h"

#include <algorithm>
#include <cmath>
#include <cctype>
#include <cstdio>

#include "dvd/iso639.h"

const char* AudioFormatLabel(std::int32_t audioFormat)
{
    switch (audioFormat) {
    case kAudioFormatAc3: return "AC3";
    case kAudioFormatMpeg1:
    case kAudioFormatMpeg2: return "MP2";
    case kAudioFormatMp3: return "MP3";
    case kAudioFormatLpcm: return "LPCM";
    case kAudioFormatDts: return "DTS";
    case kAudioFormatEac3: return "EAC3";
    case kAudioFormatAac: return "AAC";
    default: return "";
    }
}

int ShownChannelCount(std::int32_t audioChannelsMinusOne)
{
    return audioChannelsMinusOne >= 0 && audioChannelsMinusOne <= 7 ? audioChannelsMinusOne + 1 : 2;
}

std::int64_t TitleByteLength(const TitleInfo& title)
{
    std::int64_t sectors = 0;
    const int chapters = title.chapterCount < 0 ? 0 : (title.chapterCount > kMaxChapters ? kMaxChapters : title.chapterCount);
    for (int i = 0; i < chapters; ++i) sectors += title.chapterSectors[i];
    return sectors * kSectorSize;
}

std::uint32_t YCrCbToRgb(std::uint32_t colour)
{
    const double y = 1.164 * (static_cast<double>((colour >> 16) & 0xFF) - 16);
    const double cr = static_cast<double>((colour >> 8) & 0xFF) - 128;
    const double cb = static_cast<double>(colour & 0xFF) - 128;
    const auto channel = [](double v) { return static_cast<std::uint32_t>(std::clamp(std::lround(v), 0L, 255L)); };
    return channel(y + 1.596 * cr) << 16 | channel(y - 0.813 * cr - 0.391 * cb) << 8 | channel(y + 2.018 * cb);
}

std::string LanguageCodeText(std::int32_t language)
{
    const char first = static_cast<char>((language >> 8) & 0xFF);
    const char second = static_cast<char>(language & 0xFF);
    if (!std::isalpha(static_cast<unsigned char>(first)) || !std::isalpha(static_cast<unsigned char>(second))) return {};
    std::string text{first, second};
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string StreamIdText(std::int32_t streamId)
{
    char text[16];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(streamId) & 0xFFFFu);
    return text;
}

namespace {

struct TrackList {
    int count;
    const std::int32_t* ids;
    const std::int32_t* languages;
};

TrackList TracksOf(const TitleInfo& title, TrackKind kind)
{
    if (kind == TrackKind::kAudio)
        return {std::clamp(title.audioCount, 0, kMaxAudioStreams), title.audioStreamId, title.audioLanguage};
    return {std::clamp(title.subpictureCount, 0, kMaxSubpictureStreams), title.subpictureStreamId, title.subpictureLanguage};
}

std::string Lower(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

std::int32_t FindTrack(const TitleInfo& title, TrackKind kind, const std::string& wanted)
{
    const TrackList tracks = TracksOf(title, kind);
    std::string text = Lower(wanted);
    // An identifier first: "de" is a hexadecimal number as well as German, and a title's own
    // identifier is what the user most likely copied from `info`.
    std::string digits = text.rfind("0x", 0) == 0 ? text.substr(2) : text;
    if (!digits.empty() && digits.size() <= 4 && digits.find_first_not_of("0123456789abcdef") == std::string::npos) {
        const auto id = static_cast<std::int32_t>(std::stoul(digits, nullptr, 16));
        for (int i = 0; i < tracks.count; ++i)
            if (tracks.ids[i] == id) return id;
    }
    // A language: two letters as the disc stores them, or three (either of the standard's codes).
    std::string alpha2;
    if (text.size() == 2 && FindLanguageByAlpha2(text)) {
        alpha2 = text;
    } else if (text.size() == 3) {
        if (const Iso639Language* language = FindLanguageByAlpha3(text)) alpha2 = language->alpha2;
    }
    if (alpha2.empty()) return 0;
    for (int i = 0; i < tracks.count; ++i)
        if (LanguageCodeText(tracks.languages[i]) == alpha2) return tracks.ids[i];
    return 0;
}

std::string ListTracks(const TitleInfo& title, TrackKind kind)
{
    const TrackList tracks = TracksOf(title, kind);
    std::string text;
    for (int i = 0; i < tracks.count; ++i) {
        if (!text.empty()) text += ", ";
        text += StreamIdText(tracks.ids[i]);
        const std::string language = LanguageCodeText(tracks.languages[i]);
        if (!language.empty()) text += " (" + language + ")";
    }
    return text.empty() ? "none" : text;
}

std::int32_t FrameRateOf(std::int64_t perFrame)
{
    if (perFrame <= 0) return 0;
    static constexpr std::int32_t kRates[] = {23976, 24000, 25000, 29970, 30000, 50000, 59940};
    const double rate = 1e10 / static_cast<double>(perFrame); // per 1000 s
    std::int32_t best = 0;
    for (std::int32_t r : kRates)
        if (std::abs(rate - r) < 0.01 * r && (best == 0 || std::abs(rate - r) < std::abs(rate - best))) best = r;
    return best;
}
