// Every fixed failure text the engine and the window show gets a sentence of what it means and
// what to try, the narrow texts theirs and not a wider one's; texts that say it already get none.

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "workspace/plain_words.h"

TEST(PlainWords, EveryFixedFailureTextHasItsSentence)
{
    // The texts the conversion and preview graphs, the disc openers and the window show.
    const char* fixed[] = {
        "connect splitter and decoder error(video)", "connect splitter and decoder error(audio)",
        "connect splitter and mConver error(audio)", "connect splitter and mConver error(video)",
        "connect splitter and mConver error(subtitle)", "render splitter error(audio)", "get splitter output pin error",
        "get splitter input pin error", "get source output pin error", "SetDvdReader error", "get audio decoder output pin error",
        "get audio conver input pin error", "get audio conver output pin error", "connect audio decoder and audio conver error",
        "connect audio conver out pin to mConver error", "get video conver input pin error", "get video conver output pin error",
        "get video decoder output pin error", "connect video decoder and video conver error",
        "connect video conver out pin to mConver error", "connect decoder and video conver error", "connect decoder and tee error",
        "get decoder output pin error", "get mConver input pin error", "get mConver output pin error", "get tee input pin error",
        "connect tee to video conver error", "Create Tee error", "Add Video Render Filter error", "get format error",
        "CoCreateInstance error", "Load DVD error", "Open DVD error: VIDEO_TS.IFO and its backup cannot be read",
        "Open Blu-ray folder error: no playlist", "Open MPEG file error: no stream", "Open disc error: /x does not exist",
        "Could not create output file /out/Title_01.mp4: Permission denied", "GetItemData error"};
    for (const char* text : fixed) EXPECT_FALSE(PlainWordsFor(text).empty()) << text;
}

TEST(PlainWords, TheFirstLineDecidesAndNarrowTextsGetTheirOwn)
{
    const std::string audio = PlainWordsFor("connect splitter and decoder error(audio)");
    const std::string video = PlainWordsFor("connect splitter and decoder error(video)");
    const std::string subtitle = PlainWordsFor("connect splitter and mConver error(subtitle)");
    EXPECT_EQ(std::set<std::string>({audio, video, subtitle}).size(), 3u);
    EXPECT_NE(audio.find("sound"), std::string::npos);
    EXPECT_NE(video.find("picture"), std::string::npos);
    EXPECT_NE(subtitle.find("subtitle"), std::string::npos);
    // The cause after the first line does not change the sentence, nor make one.
    EXPECT_EQ(PlainWordsFor("connect splitter and decoder error(audio)\nno decoder for DTS-HD MA (video)"), audio);
    EXPECT_TRUE(PlainWordsFor("The disc could not be ejected\nLoad DVD error").empty());
    // Texts that already say what to do, and empty ones, get none.
    EXPECT_TRUE(PlainWordsFor("No disc is in the drive\nInsert a DVD or Blu-ray disc").empty());
    EXPECT_TRUE(PlainWordsFor("").empty());
}
