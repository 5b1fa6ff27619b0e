// Picture subtitles read into text: pictures drawn as a disc draws them (letters filled in one
// colour, outlined in another, on a transparent ground), made ready for the reader, and read.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "text/broken_language_data.h"
#include "text/drawn_subtitle.h"
#include "text/subtitle_picture.h"
#include "text/subtitle_reader.h"
#include "text/text_corrections.h"


TEST(SubtitlePicture, TheFillIsFoundInsideItsOutlineWhateverTheirIndexes)
{
    IndexedPicture picture = Subtitle({u"Where were you?"});
    TextColours roles = FindTextColours(picture);
    EXPECT_EQ(roles.fill, 1);
    EXPECT_EQ(roles.outline, 2);
    // The same with the colours' places swapped: the roles follow the pixels, not the indexes.
    for (std::uint8_t& p : picture.pixels) p = p == 1 ? 2 : p == 2 ? 1 : p;
    std::swap(picture.colours[1], picture.colours[2]);
    roles = FindTextColours(picture);
    EXPECT_EQ(roles.fill, 2);
    EXPECT_EQ(roles.outline, 1);
}

TEST(SubtitlePicture, EachLineIsCutToItsInkAndScaledToReadingSize)
{
    const IndexedPicture picture = Subtitle({u"Two lines of text,", u"one under the other."}, 18);
    const std::vector<GreyLine> lines = PrepareLines(picture, 36);
    ASSERT_EQ(lines.size(), 2u);
    for (const GreyLine& line : lines) {
        ASSERT_EQ(line.grey.size(), static_cast<std::size_t>(line.width) * line.height);
        // Dark letters on a white page, the page around them.
        EXPECT_EQ(line.grey.front(), 255);
        EXPECT_EQ(line.grey.back(), 255);
        EXPECT_GT(std::count_if(line.grey.begin(), line.grey.end(), [](std::uint8_t v) { return v < 64; }), 500);
        EXPECT_GT(line.height, 36 + 16);
        EXPECT_LT(line.height, 36 * 2 + 2 * 12);
        EXPECT_GT(line.width, line.height * 4); // a line, not a block
    }
}

TEST(SubtitlePicture, PicturesWithoutLettersOrMalformedGiveNoLines)
{
    IndexedPicture empty;
    empty.width = 40;
    empty.height = 10;
    empty.pixels.assign(400, 0);
    empty.colours = {kGround, kFill};
    EXPECT_TRUE(PrepareLines(empty).empty()) << "no visible pixels";
    IndexedPicture outOfRange = empty;
    std::fill(outOfRange.pixels.begin(), outOfRange.pixels.end(), 7); // no such colour: ground
    EXPECT_TRUE(PrepareLines(outOfRange).empty());
    IndexedPicture shortOfPixels = Subtitle({u"Hello"});
    shortOfPixels.pixels.resize(shortOfPixels.pixels.size() / 2);
    EXPECT_TRUE(PrepareLines(shortOfPixels).empty());
    EXPECT_EQ(FindTextColours(shortOfPixels).fill, -1);
    IndexedPicture oneColour = empty;
    std::fill(oneColour.pixels.begin(), oneColour.pixels.end(), 1);
    EXPECT_EQ(FindTextColours(oneColour).fill, 1);
    EXPECT_EQ(FindTextColours(oneColour).outline, -1);
    EXPECT_LE(PrepareLines(oneColour).size(), 1u);
    IndexedPicture huge = empty;
    huge.width = -5;
    EXPECT_TRUE(PrepareLines(huge).empty());
}

TEST(SubtitleReader, ReadsLinesAsWrittenAndEachBitmapOnce)
{
    SubtitleReader reader;
    ASSERT_TRUE(reader.Open("eng")) << reader.Problem();
    EXPECT_TRUE(reader.Fallback().empty());
    const IndexedPicture cue = Subtitle({u"Where were you at 11:45?", u"I waited for an hour."});
    const ReadText read = reader.Read(cue);
    EXPECT_EQ(read.text, "Where were you at 11:45?\nI waited for an hour.");
    EXPECT_GT(read.confidence, 80);
    // The same bitmap again (discs repeat cues) is answered from the cache.
    EXPECT_EQ(reader.Read(cue).text, read.text);
    EXPECT_EQ(reader.EngineReads(), 1);
    EXPECT_EQ(reader.CacheHits(), 1);
    // A picture with nothing on it reads as nothing, with no confidence.
    IndexedPicture blank = cue;
    std::fill(blank.pixels.begin(), blank.pixels.end(), 0);
    EXPECT_EQ(reader.Read(blank).text, "");
    EXPECT_EQ(reader.Read(blank).confidence, 0);
}

TEST(SubtitleReader, ALanguagesOwnDataReadsItsLetters)
{
    SubtitleReader reader;
    ASSERT_TRUE(reader.Open("deu")) << reader.Problem();
    EXPECT_EQ(reader.Language(), "deu");
    EXPECT_EQ(reader.Read(Subtitle({u"Schöne Grüße aus Köln."})).text, "Schöne Grüße aus Köln.");
}

TEST(SubtitleReader, ALanguageWithoutDataFallsBackToEnglishAndSaysWhichPackage)
{
    SubtitleReader reader;
    ASSERT_TRUE(reader.Open("xho"));
    EXPECT_EQ(reader.Language(), "eng");
    EXPECT_EQ(reader.Fallback(), "xho");
    EXPECT_EQ(SubtitleReader::PackageFor(reader.Fallback()), "tesseract-ocr-xho");
}

TEST(SubtitleReader, DataThatCannotBeLoadedStopsTheReaderWithTheReason)
{
    SubtitleReader reader;
    bool opened = true;
    {
        BrokenLanguageData broken("zuzidero-broken-tessdata");
        opened = reader.Open("eng");
    }
    EXPECT_FALSE(opened);
    EXPECT_NE(reader.Problem().find("tesseract-ocr-eng"), std::string::npos) << reader.Problem();
    EXPECT_EQ(reader.Read(Subtitle({u"Hello"})).text, "");
}

TEST(TextCorrections, TheReadersCommonMistakesAreMendedWhereTheLanguageLeavesNoDoubt)
{
    EXPECT_EQ(CorrectReading("| waited. |t's he|lo.", "eng"), "I waited. It's hello.");
    EXPECT_EQ(CorrectReading("G0od m0rning, C0LD", "eng"), "Good morning, COLD");
    EXPECT_EQ(CorrectReading("''Run!'' l said.", "eng"), "\"Run!\" I said.");
    // What may be meant stays: numbers, times, a German "l" is no pronoun.
    EXPECT_EQ(CorrectReading("At 10:05, room 101 (4.0).", "eng"), "At 10:05, room 101 (4.0).");
    EXPECT_EQ(CorrectReading("Um 10:05 kommt 1 l Milch.", "deu"), "Um 10:05 kommt 1 l Milch.");
    EXPECT_EQ(CorrectReading("Schöne Grüße", "deu"), "Schöne Grüße");
}

TEST(TextCorrections, MusicNotesAreMarkedWhereTheyFrameALine)
{
    EXPECT_EQ(MarkMusic("S Happy birthday to you sf"), "\u266A Happy birthday to you \u266A");
    EXPECT_EQ(MarkMusic("J Singing in the rain J"), "\u266A Singing in the rain \u266A");
    EXPECT_EQ(MarkMusic("\u266A la la la \u266A"), "\u266A la la la \u266A");
    // A sign at one end only, or words that look so, stay.
    EXPECT_EQ(MarkMusic("S Happy birthday to you"), "S Happy birthday to you");
    EXPECT_EQ(MarkMusic("Mr Smith is here, PS"), "Mr Smith is here, PS");
    EXPECT_EQ(MarkMusic("J J"), "J J");
    EXPECT_EQ(MarkMusic("d"), "d");
}

TEST(TextCorrections, EnglishWordsAreMendedOnlyIntoWordsTheDictionaryKnows)
{
    const std::vector<std::string> words = {"I", "It", "it", "never", "was", "saw", "still", "that", "is", "inside", "told", "the",
                                            "there", "he", "said", "house", "time", "And", "Stop", "Now", "here"};
    const KnownWord known = [&](const std::string& w) { return std::find(words.begin(), words.end(), w) != words.end(); };
    EXPECT_EQ(CorrectWords("inever told", "eng", known), "I never told");
    EXPECT_EQ(CorrectWords("!was there", "eng", known), "I was there");
    EXPECT_EQ(CorrectWords("lt was the time ! saw.", "eng", known), "It was the time I saw.");
    EXPECT_EQ(CorrectWords("And thatis it.", "eng", known), "And that is it.");
    EXPECT_EQ(CorrectWords("\"istill,\" he said", "eng", known), "\"I still,\" he said");
    // Known words, punctuation, other languages and unknown words without a known mending stay.
    EXPECT_EQ(CorrectWords("inside the house", "eng", known), "inside the house");
    EXPECT_EQ(CorrectWords("Stop ! Now.", "eng", known), "Stop ! Now.");
    EXPECT_EQ(CorrectWords("Kellyis here", "eng", known), "Kellyis here");
    EXPECT_EQ(CorrectWords("inever", "deu", known), "inever");
}
