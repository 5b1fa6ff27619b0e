#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <stdexcept>
#include <vector>

#include "dvd/my_dvd.h"
#include "support/reference_reader.h"
#include "support/test_discs.h"

namespace {

using testing_filters::ReadTitleWithLibdvdread;
using testing_filters::TestDisc;

// Opens a test disc for the length of a test.
class TestDiscOpen {
public:
    explicit TestDiscOpen(const std::string& name) : m_path(TestDisc(name)), m_disc(OpenDisc(m_path)) {}
    DiscHandle Handle() const { return m_disc.Get(); }
    const std::string& Path() const { return m_path; }
    std::unique_ptr<DiscInfo> Info() const
    {
        auto info = std::make_unique<DiscInfo>();
        MyDVDGetInfo(m_disc.Get(), info.get());
        return info;
    }

private:
    std::string m_path;
    OwnedDisc m_disc;
};

// Everything the area delivers, in the blocks the program reads.
std::vector<std::uint8_t> ReadArea(DiscHandle handle)
{
    std::vector<std::uint8_t> all;
    std::uint8_t block[10240];
    for (;;) {
        const std::int32_t got = MyDVDRead(handle, block, sizeof block);
        if (got <= 0) break;
        all.insert(all.end(), block, block + got);
    }
    return all;
}

constexpr std::int32_t Lang(char a, char b) { return (a << 8) | b; }

TEST(MyDvd, OpensFoldersVideoTsFoldersAndImages)
{
    ASSERT_FALSE(TestDisc("x").empty()) << "ZUZIDERO_TEST_DISCS is not set";
    for (const std::string name : {"ntsc_4x3", "ntsc_4x3/VIDEO_TS", "ntsc_4x3/VIDEO_TS/", "pal_16x9.iso", "two_sets"}) {
        TestDiscOpen disc(name);
        EXPECT_NE(disc.Handle(), 0u) << name;
        EXPECT_GT(disc.Info()->titleCount, 0) << name;
    }
}

TEST(MyDvd, RefusesWhatIsNoDisc)
{
    EXPECT_EQ(MyDVDOpen(""), 0u);
    EXPECT_EQ(MyDVDOpen(nullptr), 0u);
    EXPECT_EQ(MyDVDOpen(TestDisc("no-such-disc").c_str()), 0u);
    const auto empty = std::filesystem::temp_directory_path() / "zuzidero-empty-folder";
    std::filesystem::create_directories(empty);
    EXPECT_EQ(MyDVDOpen(empty.c_str()), 0u);
    const auto notAnImage = std::filesystem::temp_directory_path() / "zuzidero-not-an-image.iso";
    std::ofstream(notAnImage) << "this is not a disc image";
    EXPECT_EQ(MyDVDOpen(notAnImage.c_str()), 0u);
    // Calls on a handle that is not open fail without harm.
    DiscInfo info{};
    std::uint8_t block[10240];
    EXPECT_EQ(MyDVDGetInfo(12345, &info), -1);
    EXPECT_LT(MyDVDRead(12345, block, sizeof block), 0);
    EXPECT_LT(MyDVDSeek(12345, 0, 0), 0);
    MyDVDClose(12345);
}

TEST(MyDvd, AnOwnedDiscClosesOnceWhenItsLastOwnerGoes)
{
    DiscHandle handle = 0;
    auto info = std::make_unique<DiscInfo>();
    {
        OwnedDisc first = OpenDisc(TestDisc("ntsc_4x3"));
        handle = first.Get();
        ASSERT_NE(handle, 0u);
        OwnedDisc second = std::move(first);
        EXPECT_FALSE(first);
        EXPECT_EQ(MyDVDGetInfo(handle, info.get()), 0); // moving did not close it
        OwnedDisc third;
        third = std::move(second);
        third.Reset(handle); // holding the same disc again keeps it open
        EXPECT_EQ(MyDVDGetInfo(handle, info.get()), 0);
    }
    EXPECT_EQ(MyDVDGetInfo(handle, info.get()), -1);
    std::string why;
    EXPECT_FALSE(OpenDisc(TestDisc("no-such-disc"), &why));
    EXPECT_FALSE(why.empty());
}

TEST(MyDvd, DescribesTheNtscDisc)
{
    TestDiscOpen disc("ntsc_4x3");
    ASSERT_NE(disc.Handle(), 0u);
    const auto info = disc.Info();
    ASSERT_EQ(info->titleCount, 3);
    // 240, 120 and 60 NTSC frames of 1001/30 ms.
    EXPECT_DOUBLE_EQ(info->titles[0].durationMs, 240 * 1001.0 / 30.0);
    EXPECT_DOUBLE_EQ(info->titles[1].durationMs, 120 * 1001.0 / 30.0);
    EXPECT_DOUBLE_EQ(info->titles[2].durationMs, 60 * 1001.0 / 30.0);
    EXPECT_EQ(info->titles[0].chapterCount, 4);
    EXPECT_EQ(info->titles[1].chapterCount, 1);
    const TitleInfo& t = info->titles[0];
    ASSERT_EQ(t.audioCount, 2);
    EXPECT_EQ(t.audioStreamId[0], 0xBD80);
    EXPECT_EQ(t.audioStreamId[1], 0xC000); // MPEG audio numbers count among MPEG streams only
    EXPECT_EQ(t.audioFormat[0], kAudioFormatAc3);
    EXPECT_EQ(t.audioFormat[1], kAudioFormatMpeg1);
    EXPECT_EQ(t.audioLanguage[0], Lang('e', 'n'));
    EXPECT_EQ(t.audioLanguage[1], Lang('f', 'r'));
    EXPECT_EQ(t.audioChannelsMinusOne[0], 1);
    ASSERT_EQ(t.subpictureCount, 2);
    EXPECT_EQ(t.subpictureStreamId[0], 0xBD20);
    EXPECT_EQ(t.subpictureStreamId[1], 0xBD21);
    EXPECT_EQ(t.subpictureLanguage[1], Lang('d', 'e'));
    // Nothing past the counts.
    EXPECT_EQ(info->titles[3].chapterCount, 0);
    EXPECT_EQ(t.audioStreamId[2], 0);
}

TEST(MyDvd, DescribesThePalDiscAndItsImageAlike)
{
    TestDiscOpen folder("pal_16x9");
    TestDiscOpen image("pal_16x9.iso");
    const auto a = folder.Info();
    const auto b = image.Info();
    EXPECT_EQ(std::memcmp(a.get(), b.get(), sizeof(DiscInfo)), 0);
    // Only the image has a volume name (genisoimage -V PAL_16X9).
    EXPECT_EQ(MyDVDDisc(image.Handle())->VolumeName(), "PAL_16X9");
    EXPECT_EQ(MyDVDDisc(folder.Handle())->VolumeName(), "");
    EXPECT_EQ(MyDVDDisc(12345), nullptr);
    ASSERT_EQ(a->titleCount, 2);
    EXPECT_DOUBLE_EQ(a->titles[0].durationMs, 6000.0); // 150 PAL frames
    EXPECT_EQ(a->titles[0].chapterCount, 2);
    const TitleInfo& t = a->titles[0];
    ASSERT_EQ(t.audioCount, 2);
    EXPECT_EQ(t.audioStreamId[0], 0xBD80);
    EXPECT_EQ(t.audioChannelsMinusOne[0], 5); // AC-3 5.1
    EXPECT_EQ(t.audioStreamId[1], 0xBDA0);
    EXPECT_EQ(t.audioFormat[1], kAudioFormatLpcm);
    EXPECT_EQ(t.audioLanguage[1], Lang('j', 'a'));
    ASSERT_EQ(t.subpictureCount, 1);
    EXPECT_EQ(t.subpictureStreamId[0], 0xBD20); // the wide stream of a 16:9 title
}

TEST(MyDvd, TitlesComeInTheOrderOfTheTitleTableAcrossTitleSets)
{
    TestDiscOpen disc("two_sets");
    const auto info = disc.Info();
    ASSERT_EQ(info->titleCount, 2);
    EXPECT_EQ(info->titles[0].audioStreamId[0], 0xC000);
    EXPECT_EQ(info->titles[0].audioLanguage[0], Lang('d', 'e'));
    EXPECT_EQ(info->titles[1].audioStreamId[0], 0xBD80);
    EXPECT_EQ(info->titles[1].chapterCount, 2);
    EXPECT_EQ(info->titles[1].subpictureCount, 1);
}

// The reference the reads are compared with says when it could not read: a disc whose title VOB
// was cut in half gives no reference, rather than one with zeros where the sectors were.
TEST(MyDvd, TheReferenceReadRefusesADiscItCannotRead)
{
    EXPECT_THROW(ReadTitleWithLibdvdread(TestDisc("damaged_half_vob"), 0), std::runtime_error);
    EXPECT_THROW(ReadTitleWithLibdvdread(TestDisc("ntsc_4x3"), 99), std::runtime_error);
    EXPECT_NO_THROW(ReadTitleWithLibdvdread(TestDisc("ntsc_4x3"), 0));
}

TEST(MyDvd, WholeTitlesReadAsTheirCellsSectors)
{
    for (const std::string name : {"ntsc_4x3", "pal_16x9.iso", "two_sets"}) {
        TestDiscOpen disc(name);
        const auto info = disc.Info();
        for (int t = 0; t < info->titleCount; ++t) {
            MyDVDSetArea(disc.Handle(), t, 0);
            MyDvdSetStopPos(disc.Handle(), t + 1, 0);
            const auto ours = ReadArea(disc.Handle());
            const auto reference = ReadTitleWithLibdvdread(disc.Path(), t);
            ASSERT_FALSE(reference.bytes.empty());
            EXPECT_EQ(static_cast<std::int64_t>(ours.size()), TitleByteLength(info->titles[t])) << name << " " << t;
            EXPECT_TRUE(ours == reference.bytes) << name << " title " << t;
            // The program stream starts with a pack header.
            ASSERT_GE(ours.size(), 4u);
            EXPECT_EQ(ours[3], 0xBA);
        }
    }
}

TEST(MyDvd, AChapterAreaIsExactlyThatChapter)
{
    TestDiscOpen disc("ntsc_4x3");
    const auto info = disc.Info();
    MyDVDSetArea(disc.Handle(), 0, 1);
    MyDvdSetStopPos(disc.Handle(), 0, 2);
    const auto ours = ReadArea(disc.Handle());
    EXPECT_EQ(static_cast<std::int64_t>(ours.size()), info->titles[0].chapterSectors[1] * 2048ll);
    EXPECT_TRUE(ours == ReadTitleWithLibdvdread(disc.Path(), 0, 1, 2).bytes);
}

TEST(MyDvd, TheLastChapterStopsAtTheEndOfTheTitle)
{
    TestDiscOpen disc("ntsc_4x3");
    const auto info = disc.Info();
    const int last = info->titles[0].chapterCount - 1;
    MyDVDSetArea(disc.Handle(), 0, last);
    MyDvdSetStopPos(disc.Handle(), 0, last + 1);
    EXPECT_TRUE(ReadArea(disc.Handle()) == ReadTitleWithLibdvdread(disc.Path(), 0, last, last + 1).bytes);
}

TEST(MyDvd, TheLastTitleStopsAtItsEnd)
{
    TestDiscOpen disc("ntsc_4x3");
    const auto info = disc.Info();
    const int last = info->titleCount - 1;
    MyDVDSetArea(disc.Handle(), last, 0);
    MyDvdSetStopPos(disc.Handle(), info->titleCount, 0);
    const auto ours = ReadArea(disc.Handle());
    EXPECT_EQ(static_cast<std::int64_t>(ours.size()), TitleByteLength(info->titles[last]));
    EXPECT_TRUE(ours == ReadTitleWithLibdvdread(disc.Path(), last).bytes);
    // A stop before the start leaves nothing to read.
    MyDVDSetArea(disc.Handle(), 0, 2);
    MyDvdSetStopPos(disc.Handle(), 0, 1);
    EXPECT_TRUE(ReadArea(disc.Handle()).empty());
}

TEST(MyDvd, SeeksLandOnTheSectorAtOrBeforeThePosition)
{
    TestDiscOpen disc("ntsc_4x3");
    const auto reference = ReadTitleWithLibdvdread(disc.Path(), 1).bytes;
    MyDVDSetArea(disc.Handle(), 1, 0);
    MyDvdSetStopPos(disc.Handle(), 2, 0);
    EXPECT_EQ(MyDVDSeek(disc.Handle(), 5000, 0), 4096);
    std::uint8_t block[10240];
    ASSERT_EQ(MyDVDRead(disc.Handle(), block, sizeof block), 10240);
    EXPECT_EQ(std::memcmp(block, reference.data() + 4096, sizeof block), 0);
    const auto end = static_cast<std::int64_t>(reference.size());
    EXPECT_EQ(MyDVDSeek(disc.Handle(), end, 0), end);
    EXPECT_EQ(MyDVDRead(disc.Handle(), block, sizeof block), 0);
    EXPECT_LT(MyDVDSeek(disc.Handle(), end + 2048, 0), 0);
    EXPECT_LT(MyDVDSeek(disc.Handle(), -1, 0), 0);
    EXPECT_LT(MyDVDSeek(disc.Handle(), 0, 1), 0); // only origin 0 exists
    EXPECT_LT(MyDVDRead(disc.Handle(), block, 100), 0); // less than a sector
}

TEST(MyDvd, ADamagedTitleStillReadsToItsEnd)
{
    TestDiscOpen disc("ntsc_4x3");
    const auto reference = ReadTitleWithLibdvdread(disc.Path(), 0);
    ASSERT_GT(reference.sectors.size(), 400u);
    // Sectors that never read, one that fails once and then reads, sectors that read as zeros.
    const std::set<std::uint32_t> broken{reference.sectors[3], reference.sectors[4], reference.sectors[200],
                                         reference.sectors.back()};
    const std::uint32_t flaky = reference.sectors[100];
    const std::set<std::uint32_t> zeroed{reference.sectors[10], reference.sectors[301]};
    std::set<std::uint32_t> failedOnce;
    MyDVDSetReadFaultHook(disc.Handle(), [&](int titleSet, std::uint32_t sector) {
        EXPECT_EQ(titleSet, reference.titleSet);
        if (broken.count(sector)) return ReadFault::Fail;
        if (sector == flaky && failedOnce.insert(sector).second) return ReadFault::Fail;
        if (zeroed.count(sector)) return ReadFault::Zero;
        return ReadFault::None;
    });
    MyDVDSetArea(disc.Handle(), 0, 0);
    MyDvdSetStopPos(disc.Handle(), 1, 0);
    const auto ours = ReadArea(disc.Handle());

    std::vector<std::uint8_t> expected;
    // An unreadable sector keeps its place as zeros: the bytes after it stay where the area's
    // positions (seeking, the cells' time map) put them.
    for (std::size_t i = 0; i < reference.sectors.size(); ++i) {
        const std::uint32_t sector = reference.sectors[i];
        const auto* data = reference.bytes.data() + i * 2048;
        if (zeroed.count(sector) || broken.count(sector))
            expected.insert(expected.end(), 2048, 0);
        else
            expected.insert(expected.end(), data, data + 2048);
    }
    EXPECT_EQ(ours.size(), expected.size());
    EXPECT_TRUE(ours == expected);
    // A seek past the damage lands where reading through it got to.
    const std::int64_t position = 250 * 2048;
    ASSERT_EQ(MyDVDSeek(disc.Handle(), position, 0), position);
    std::vector<std::uint8_t> block(10240);
    ASSERT_EQ(MyDVDRead(disc.Handle(), block.data(), 10240), 10240);
    EXPECT_TRUE(std::equal(block.begin(), block.end(), expected.begin() + position));
    EXPECT_EQ(MyDVDSkippedSectors(disc.Handle()), static_cast<std::int64_t>(broken.size()));
    EXPECT_EQ(failedOnce.size(), 1u);
}

} // namespace
