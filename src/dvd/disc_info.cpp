#include "dvd/disc_info.h"

#include <cctype>

const char* AudioFormatLabel(std::int32_t audioFormat)
{
    switch (audioFormat) {
    case kAudioFormatAc3: return "AC3";
    case kAudioFormatMpeg1:
    case kAudioFormatMpeg2: return "MP3";
    case kAudioFormatLpcm: return "LPCM";
    case kAudioFormatDts: return "DTS";
    default: return "";
    }
}

int ShownChannelCount(std::int32_t audioChannelsMinusOne)
{
    if (audioChannelsMinusOne == 1) return 2;
    if (audioChannelsMinusOne == 5) return 6;
    return 2;
}

std::int64_t TitleByteLength(const TitleInfo& title)
{
    std::int64_t sectors = 0;
    const int chapters = title.chapterCount < 0 ? 0 : (title.chapterCount > kMaxChapters ? kMaxChapters : title.chapterCount);
    for (int i = 0; i < chapters; ++i) sectors += title.chapterSectors[i];
    return sectors * kSectorSize;
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
