#include <gtest/gtest.h>

#include <cstring>

#include "dvd/disc_info.h"
#include "dvd/iso639.h"

namespace {

TitleInfo Title(double durationMs) {
    TitleInfo title{};
    title.durationMs = durationMs;
    return title;
}

TEST(DiscInfo, ThreeSecondsIsTheShortestListedTitle)
{
    EXPECT_FALSE(IsListedTitle(Title(2999.0)));
    EXPECT_FALSE(IsListedTitle(Title(2999.999)));
    EXPECT_TRUE(IsListedTitle(Title(3000.0)));
    EXPECT_TRUE(IsListedTitle(Title(7200000.0)));
}

TEST(DiscInfo, FormatLabelsAndShownChannels)
{
    EXPECT_STREQ(AudioFormatLabel(0), "AC3");
    EXPECT_STREQ(AudioFormatLabel(1), "");
    EXPECT_STREQ(AudioFormatLabel(2), "MP2"); // a DVD's MPEG audio is layer II
    EXPECT_STREQ(AudioFormatLabel(3), "MP2");
    EXPECT_STREQ(AudioFormatLabel(kAudioFormatMp3), "MP3");
    EXPECT_STREQ(AudioFormatLabel(4), "LPCM");
    EXPECT_STREQ(AudioFormatLabel(5), "DTS");
    EXPECT_STREQ(AudioFormatLabel(6), ""); // the disc's own DTS code is turned into 5 by the library
    EXPECT_STREQ(AudioFormatLabel(-1), "");
    EXPECT_EQ(ShownChannelCount(1), 2);
    EXPECT_EQ(ShownChannelCount(5), 6);
    EXPECT_EQ(ShownChannelCount(3), 4);
    EXPECT_EQ(ShownChannelCount(0), 1); // mono is said as such
    EXPECT_EQ(ShownChannelCount(9), 2); // a damaged code
    EXPECT_EQ(ShownChannelCount(7), 8);
}

TEST(DiscInfo, TitleLengthCountsItsChaptersIn64Bits)
{
    TitleInfo title{};
    title.chapterCount = 3;
    title.chapterSectors[0] = 4'000'000'000u; // a bigger number than 32 bits of bytes can hold
    title.chapterSectors[1] = 2;
    title.chapterSectors[2] = 3;
    title.chapterSectors[3] = 99; // beyond the chapter count: not counted
    EXPECT_EQ(TitleByteLength(title), (4'000'000'000ll + 5) * 2048);
    title.chapterCount = 200; // a broken record cannot read past the table
    EXPECT_GT(TitleByteLength(title), 0);
    title.chapterCount = -1;
    EXPECT_EQ(TitleByteLength(title), 0);
}

TEST(DiscInfo, LanguageCodesReadFirstLetterFromTheHighByte)
{
    EXPECT_EQ(LanguageCodeText(('e' << 8) | 'n'), "en");
    EXPECT_EQ(LanguageCodeText(('D' << 8) | 'E'), "de");
    EXPECT_EQ(LanguageCodeText(0), "");
    EXPECT_EQ(LanguageCodeText(0xFFFF), "");
}

TEST(Iso639, LooksUpByTwoAndThreeLetterCodes)
{
    const Iso639Language* english = FindLanguageByAlpha2("en");
    ASSERT_NE(english, nullptr);
    EXPECT_STREQ(english->alpha3, "eng");
    EXPECT_EQ(english->localeId, 0x0409u);
    EXPECT_EQ(FindLanguageByAlpha2("EN"), english);
    EXPECT_EQ(FindLanguageByAlpha3("ENG"), english);
    EXPECT_EQ(FindLanguageByAlpha3("english"), english); // the first three letters count
    // Bibliographic codes are found too.
    ASSERT_NE(FindLanguageByAlpha3("ger"), nullptr);
    EXPECT_STREQ(FindLanguageByAlpha3("ger")->alpha2, "de");
    EXPECT_EQ(ShortLanguageName(FindLanguageByAlpha2("es")), "Spanish");
    EXPECT_EQ(ShortLanguageName(FindLanguageByAlpha2("nl")), "Dutch");
    EXPECT_EQ(FindLanguageByAlpha2("zz"), nullptr);
    EXPECT_EQ(FindLanguageByAlpha3("qqq"), nullptr);
    EXPECT_EQ(ShortLanguageName(nullptr), "");
    // Every row is usable: a name and a three-letter code.
    EXPECT_GT(Iso639Table().size(), 480u);
    for (const auto& row : Iso639Table()) {
        EXPECT_EQ(std::strlen(row.alpha3), 3u);
        EXPECT_GT(std::strlen(row.name), 0u);
    }
}

} // namespace
