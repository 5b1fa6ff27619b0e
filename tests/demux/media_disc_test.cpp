// Blu-ray folders and media files behind the disc-access operations: titles from the playlists,
// clips read one after the other, chapters from the entry marks, and what is refused.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "demux/media_disc.h"
#include "dvd/my_dvd.h"
#include "support/test_discs.h"

namespace {

namespace fs = std::filesystem;
using testing_filters::TestDisc;

std::vector<std::uint8_t> FileBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::uint8_t> ReadArea(Disc& disc, int title, int chapter, int stopChapter = -1)
{
    disc.SetArea(title, chapter);
    disc.SetStopPos(title, stopChapter < 0 ? 64 : stopChapter);
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint8_t> block(10240);
    for (std::int32_t got; (got = disc.Read(block.data(), static_cast<std::int32_t>(block.size()))) > 0;)
        bytes.insert(bytes.end(), block.begin(), block.begin() + got);
    return bytes;
}

class MediaDiscTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (TestDisc("bluray").empty()) GTEST_SKIP() << "ZUZIDERO_TEST_DISCS is not set";
        RegisterMediaDiscs();
    }
    fs::path Stream(const char* name) { return fs::path(TestDisc("bluray")) / "BDMV" / "STREAM" / name; }
};

TEST_F(MediaDiscTest, AMainTitleReadsItsClipsOneAfterTheOther)
{
    std::string why;
    std::unique_ptr<Disc> disc = OpenMediaDisc(TestDisc("bluray"), &why);
    ASSERT_TRUE(disc) << why;
    auto info = std::make_unique<DiscInfo>();
    disc->GetInfo(info.get());
    ASSERT_EQ(info->titleCount, 3);
    EXPECT_EQ(disc->MainTitle(), 0);
    EXPECT_EQ(disc->VolumeName(), "bluray");
    EXPECT_EQ(disc->Kind(), DiscKind::kBluray);

    std::vector<std::uint8_t> both = FileBytes(Stream("00001.m2ts"));
    const std::vector<std::uint8_t> second = FileBytes(Stream("00002.m2ts"));
    const std::size_t first = both.size();
    both.insert(both.end(), second.begin(), second.end());
    EXPECT_EQ(ReadArea(*disc, 0, -1), both);
    EXPECT_EQ(ReadArea(*disc, 1, -1), second);
    EXPECT_EQ(TitleByteLength(info->titles[0]), static_cast<std::int64_t>((both.size() + 2047) / 2048 * 2048));

    // Seeking lands on the byte asked for, across the clips' boundary too.
    disc->SetArea(0, 0);
    disc->SetStopPos(1, 0);
    ASSERT_EQ(disc->Seek(static_cast<std::int64_t>(first) - 100), static_cast<std::int64_t>(first) - 100);
    // A read may end at the boundary; the next goes on in the second clip.
    std::uint8_t across[300];
    std::int32_t got = 0;
    for (std::int32_t n; got < 300 && (n = disc->Read(across + got, 300 - got)) > 0;) got += n;
    ASSERT_EQ(got, 300);
    EXPECT_TRUE(std::equal(across, across + 300, both.begin() + static_cast<std::ptrdiff_t>(first) - 100));
    EXPECT_EQ(disc->Seek(static_cast<std::int64_t>(both.size()) + 1), -1);
    EXPECT_EQ(disc->Seek(-1), -1);

    // Title 3 plays clip 1 from 1 s: its bytes are the clip's from an aligned unit on.
    const std::vector<std::uint8_t> cut = ReadArea(*disc, 2, -1);
    const std::vector<std::uint8_t> clip(both.begin(), both.begin() + static_cast<std::ptrdiff_t>(first));
    ASSERT_GT(cut.size(), clip.size() / 2);
    ASSERT_LT(cut.size(), clip.size() * 9 / 10);
    EXPECT_EQ((clip.size() - cut.size()) % 6144, 0u);
    EXPECT_TRUE(std::equal(cut.begin(), cut.end(), clip.end() - static_cast<std::ptrdiff_t>(cut.size())));
}

TEST_F(MediaDiscTest, ChaptersFollowTheEntryMarksAndTheirCellsTheClips)
{
    std::unique_ptr<Disc> disc = OpenMediaDisc(TestDisc("bluray"), nullptr);
    ASSERT_TRUE(disc);
    auto info = std::make_unique<DiscInfo>();
    disc->GetInfo(info.get());
    const TitleInfo& title = info->titles[0];
    ASSERT_EQ(title.chapterCount, 3);

    // From the start: a cell per clip and the end.
    const auto whole = disc->CellMarks(0, -1);
    ASSERT_EQ(whole.size(), 3u);
    const auto clip1 = static_cast<std::int64_t>(fs::file_size(Stream("00001.m2ts")));
    EXPECT_EQ(whole[1].position, clip1);
    EXPECT_NEAR(whole.back().ms, title.durationMs, 0.01);
    // Chapter 2 starts 2 s into clip 1, chapter 3 at clip 2.
    const auto fromSecond = disc->CellMarks(0, 1);
    EXPECT_NEAR(whole.back().ms - fromSecond.back().ms, 2000.0, 0.5);
    const auto fromThird = disc->CellMarks(0, 2);
    EXPECT_NEAR(whole.back().ms - fromThird.back().ms, whole[1].ms, 0.5);
    EXPECT_EQ(fromThird.size(), 2u);

    // The chapters' areas cover the title without a gap or an overlap.
    const auto all = ReadArea(*disc, 0, -1);
    std::vector<std::uint8_t> joined;
    for (int c = 0; c < 3; ++c) {
        const auto part = ReadArea(*disc, 0, c, c + 1);
        EXPECT_FALSE(part.empty()) << "chapter " << c + 1;
        joined.insert(joined.end(), part.begin(), part.end());
    }
    EXPECT_EQ(joined, all);
    EXPECT_EQ(ReadArea(*disc, 0, 2), FileBytes(Stream("00002.m2ts")));
}

TEST_F(MediaDiscTest, WhatIsNotItsKindIsLeftAloneAndWhatCannotBeReadSaysWhy)
{
    std::string why;
    // A DVD, and a folder holding both kinds, are left to the DVD library.
    EXPECT_FALSE(OpenMediaDisc(TestDisc("ntsc_4x3"), &why));
    EXPECT_TRUE(why.empty()) << why;
    const fs::path both = fs::temp_directory_path() / "zuzidero-both-kinds";
    fs::remove_all(both);
    fs::create_directories(both / "VIDEO_TS");
    fs::create_directory_symlink(fs::path(TestDisc("bluray")) / "BDMV", both / "BDMV");
    EXPECT_FALSE(OpenMediaDisc(both.string(), &why));
    EXPECT_TRUE(why.empty()) << why;
    fs::remove_all(both);
    // A file of another kind.
    EXPECT_FALSE(OpenMediaDisc(TestDisc("bluray.json"), &why));
    EXPECT_TRUE(why.empty()) << why;

    // An MPEG name over bytes that are no MPEG stream.
    const fs::path junk = fs::temp_directory_path() / "zuzidero-junk.mpg";
    std::ofstream(junk) << std::string(100000, 'x');
    EXPECT_FALSE(OpenMediaDisc(junk.string(), &why));
    EXPECT_NE(why.find("no MPEG program or transport stream"), std::string::npos) << why;
    fs::remove(junk);

    // Scrambled clips.
    why.clear();
    EXPECT_FALSE(OpenMediaDisc(TestDisc("bluray_aacs"), &why));
    EXPECT_NE(why.find("encrypted"), std::string::npos) << why;
    // Through the library, the reason reaches the caller.
    why.clear();
    EXPECT_EQ(MyDVDOpenWithReason(TestDisc("bluray_aacs").c_str(), &why), 0u);
    EXPECT_NE(why.find("encrypted"), std::string::npos) << why;

    // A folder whose playlists are all too short, repeated or of another version: its clips are
    // its titles, each said to be one, and the playlist of another version is said unreadable.
    const fs::path few = fs::temp_directory_path() / "zuzidero-few-playlists";
    fs::remove_all(few);
    fs::create_directories(few / "BDMV" / "PLAYLIST");
    fs::create_directory_symlink(fs::path(TestDisc("bluray")) / "BDMV" / "STREAM", few / "BDMV" / "STREAM");
    for (const char* name : {"00001.mpls", "00002.mpls", "00004.mpls"})
        fs::copy_file(fs::path(TestDisc("bluray")) / "BDMV" / "PLAYLIST" / name, few / "BDMV" / "PLAYLIST" / name);
    why.clear();
    std::unique_ptr<Disc> clips = OpenMediaDisc(few.string(), &why);
    ASSERT_TRUE(clips) << why;
    DiscInfo info{};
    clips->GetInfo(&info);
    ASSERT_EQ(info.titleCount, 2);
    EXPECT_EQ(clips->TitleSource(0), "clip 00001");
    EXPECT_EQ(clips->TitleSource(1), "clip 00002");
    EXPECT_NEAR(info.titles[0].durationMs, 4000, 100);
    EXPECT_EQ(clips->MainTitle(), -1); // no playlist says which
    EXPECT_EQ(clips->Unreadable(), std::vector<std::string>{"playlist 00004.mpls cannot be read: its version 0300 is not known"});
    // Without clips of 3 seconds or more there is nothing to read.
    fs::remove(few / "BDMV" / "STREAM");
    fs::create_directory(few / "BDMV" / "STREAM");
    why.clear();
    EXPECT_FALSE(OpenMediaDisc(few.string(), &why));
    EXPECT_NE(why.find("no playlist or clip of 3 seconds or more"), std::string::npos) << why;
    fs::remove_all(few);
}

} // namespace
