// Output names from patterns: the fields, the chapter's place, names that stay apart, what a file
// name cannot hold, and the disc's own name.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "convert/conversion_task.h"

namespace {

ConversionTask Task(int title, int chapter = -1)
{
    ConversionTask task;
    task.titleIndex = title;
    task.chapterIndex = chapter;
    return task;
}

} // namespace

TEST(OutputNames, PatternsFillTheirFields)
{
    // No pattern: the names the list has always shown.
    EXPECT_EQ(TaskOutputName(Task(0), ".mp4", "", "MOVIE"), "Title_01.mp4");
    EXPECT_EQ(TaskOutputName(Task(2, 1), ".mp4", "", "MOVIE"), "Chapter_03_02.mp4");
    EXPECT_EQ(TaskOutputName(Task(0), ".mkv", "{disc} - {title}", "MY_MOVIE"), "MY_MOVIE - 01.mkv");
    EXPECT_EQ(TaskOutputName(Task(11, 4), ".mkv", "{disc}_T{title}_C{chapter}", "MY_MOVIE"), "MY_MOVIE_T12_C05.mkv");
    // A whole title drops "{chapter}" with the separators before it.
    EXPECT_EQ(TaskOutputName(Task(0), ".mkv", "{disc}_{title}_{chapter}", "MY_MOVIE"), "MY_MOVIE_01.mkv");
    EXPECT_EQ(TaskOutputName(Task(0), ".mkv", "{disc} {title} - {chapter}", "MY_MOVIE"), "MY_MOVIE 01.mkv");
}

TEST(OutputNames, EveryTitleAndChapterKeepsANameOfItsOwn)
{
    EXPECT_EQ(TaskOutputName(Task(0), ".mp4", "{disc}", "MOVIE"), "MOVIE_01.mp4");
    EXPECT_EQ(TaskOutputName(Task(1), ".mp4", "{disc}", "MOVIE"), "MOVIE_02.mp4");
    EXPECT_EQ(TaskOutputName(Task(1, 2), ".mp4", "{disc} {title}", "MOVIE"), "MOVIE 02_Chapter_03.mp4");
    EXPECT_NE(TaskOutputName(Task(1, 2), ".mp4", "Holiday", ""), TaskOutputName(Task(1, 3), ".mp4", "Holiday", ""));
}

TEST(OutputNames, WhatAFileNameCannotHold)
{
    // A disc name with a slash, control characters and edge blanks and dots.
    EXPECT_EQ(TaskOutputName(Task(0), ".mp4", "{disc}_{title}", " AC/DC\tLive.. "), "AC_DC_Live_01.mp4");
    // A pattern that leaves nothing falls back to the list's names.
    EXPECT_EQ(TaskOutputName(Task(0), ".mp4", " . ", "X"), "_01.mp4");
    EXPECT_EQ(TaskOutputName(Task(0), ".mp4", "{chapter}", "X"), "_01.mp4");
    EXPECT_EQ(TaskOutputName(Task(0), ".mp4", "...", "X"), "_01.mp4");
    // Refused patterns name why, and name nothing.
    EXPECT_NE(NamePatternRefusal("{disc}/{title}").find("\"/\""), std::string::npos);
    EXPECT_NE(NamePatternRefusal("{name}_{title}").find("\"{name}\" is not a name field"), std::string::npos);
    EXPECT_EQ(NamePatternRefusal("{disc} ({title}) {chapter}"), "");
    EXPECT_EQ(TaskOutputName(Task(0), ".mp4", "{name}", "MOVIE"), "Title_01.mp4");
    // A very long disc name is cut to a name the file system takes.
    EXPECT_LE(TaskOutputName(Task(0), ".mp4", "{disc}", std::string(400, 'x')).size(), 204u);
}

TEST(OutputNames, LongNamesAreCutInTheirTextNeverInTheirNumbers)
{
    // A 205-byte pattern: each title keeps its number, so no two titles share a name.
    const std::string words(205, 'a');
    const std::string first = TaskOutputName(Task(0), ".mp4", words, "");
    const std::string second = TaskOutputName(Task(1), ".mp4", words, "");
    EXPECT_NE(first, second);
    EXPECT_EQ(first, std::string(kLongestOutputName - 3, 'a') + "_01.mp4");
    EXPECT_EQ(TaskOutputName(Task(1, 2), ".mp4", words, ""), std::string(kLongestOutputName - 14, 'a') + "_02_Chapter_03.mp4");
    // The numbers inside a pattern stay, the disc's name is cut.
    const std::string disc(300, 'd');
    EXPECT_EQ(TaskOutputName(Task(4), ".mkv", "{disc} - {title}", disc), std::string(kLongestOutputName - 5, 'd') + " - 05.mkv");
    // Never inside a UTF-8 character: "é" is two bytes, and the cut falls between them.
    std::string accents;
    for (int i = 0; i < 150; ++i) accents += "\xC3\xA9";
    const std::string cut = TaskOutputName(Task(0), ".mp4", "{disc}", accents);
    ASSERT_GE(cut.size(), 7u);
    const std::string text = cut.substr(0, cut.size() - 7); // without "_01.mp4"
    EXPECT_EQ(text.size() % 2, 0u) << "a character cut in two";
    EXPECT_LE(text.size(), kLongestOutputName - 3);
    EXPECT_EQ(cut.substr(cut.size() - 7), "_01.mp4");
}

TEST(OutputNames, ADiscGoesByItsVolumeOrItsFolder)
{
    EXPECT_EQ(DiscName("/media/me/disc", "MY_MOVIE"), "MY_MOVIE");
    EXPECT_EQ(DiscName("/home/me/Films/Holiday/VIDEO_TS", ""), "Holiday");
    EXPECT_EQ(DiscName("/home/me/Films/Holiday/video_ts/", ""), "Holiday");
    EXPECT_EQ(DiscName("/home/me/Films/Concert/BDMV", ""), "Concert");
    EXPECT_EQ(DiscName("/home/me/Films/Holiday", ""), "Holiday");
    const std::filesystem::path file = std::filesystem::temp_directory_path() / "zuzidero-names-clip.mpg";
    std::ofstream(file) << "x";
    EXPECT_EQ(DiscName(file.string(), ""), "zuzidero-names-clip");
    std::filesystem::remove(file);
}
