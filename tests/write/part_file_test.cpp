// The temporary files of a conversion: made new and exclusive, never through a name or a link
// that is already there, and moved into place without replacing what appeared meanwhile.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/scratch_folder.h"
#include "write/part_file.h"

namespace fs = std::filesystem;

namespace {

std::string Folder(const std::string& name) { return testing_filters::FreshFolder("part-" + name); }

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteTo(int fd, const std::string& text) { ASSERT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size())); }

} // namespace

TEST(PartFile, LinksAndFilesUnderTheNamesTriedAreNeverWrittenThrough)
{
    const std::string folder = Folder("links"), outside = Folder("outside");
    const std::string victim = outside + "/victim.txt";
    WriteText(victim, "precious");
    const std::string target = folder + "/Title_01.mp4";
    constexpr std::uint64_t kSeed = 42;
    // The old fixed name, and the first names the generator will try: links to the file outside,
    // a dangling link, and a plain file of another run.
    fs::create_symlink(victim, target + ".part");
    fs::create_symlink(victim, PartFile::CandidateName(target, kSeed, 0));
    fs::create_symlink(outside + "/nothing-here", PartFile::CandidateName(target, kSeed, 1));
    WriteText(PartFile::CandidateName(target, kSeed, 2), "another run's part");

    PartFile part(kSeed);
    std::string why;
    ASSERT_TRUE(part.Create(target, &why)) << why;
    EXPECT_EQ(part.Path(), PartFile::CandidateName(target, kSeed, 3));
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(part.Path())));
    WriteTo(part.Descriptor(), "converted");
    ASSERT_TRUE(part.MoveTo(target, false, &why)) << why;

    EXPECT_EQ(ReadText(target), "converted");
    EXPECT_EQ(ReadText(victim), "precious");
    EXPECT_FALSE(fs::exists(outside + "/nothing-here"));
    EXPECT_EQ(ReadText(PartFile::CandidateName(target, kSeed, 2)), "another run's part");
    // The part's name has the final name, six letters and ".part".
    const std::string head = "Title_01.mp4.", tail = ".part";
    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::string name = fs::path(PartFile::CandidateName(target, 7, attempt)).filename().string();
        ASSERT_EQ(name.size(), head.size() + 6 + tail.size()) << name;
        EXPECT_EQ(name.substr(0, head.size()), head);
        EXPECT_EQ(name.substr(head.size() + 6), tail);
        const std::string letters = name.substr(head.size(), 6);
        EXPECT_TRUE(std::all_of(letters.begin(), letters.end(), [](unsigned char c) { return std::isalnum(c); })) << name;
    }
    // Each attempt names another file.
    EXPECT_NE(PartFile::CandidateName(target, 7, 0), PartFile::CandidateName(target, 7, 1));
    fs::remove_all(folder);
    fs::remove_all(outside);
}

TEST(PartFile, TwoPartsForOneNameAreTwoFiles)
{
    const std::string folder = Folder("two");
    const std::string target = folder + "/Title_01.mp4";
    PartFile first, second;
    std::string why;
    ASSERT_TRUE(first.Create(target, &why)) << why;
    ASSERT_TRUE(second.Create(target, &why)) << why;
    EXPECT_NE(first.Path(), second.Path());
    WriteTo(first.Descriptor(), "first");
    WriteTo(second.Descriptor(), "second");
    // The first takes the name; the second may not replace it, and keeps its own part.
    ASSERT_TRUE(first.MoveTo(target, false, &why)) << why;
    EXPECT_FALSE(second.MoveTo(target, false, &why));
    EXPECT_EQ(why, "File exists");
    EXPECT_EQ(ReadText(target), "first");
    EXPECT_EQ(ReadText(second.Path()), "second");
    // With the user's word, it replaces the finished file whole.
    ASSERT_TRUE(second.MoveTo(target, true, &why)) << why;
    EXPECT_EQ(ReadText(target), "second");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
    fs::remove_all(folder);
}

TEST(PartFile, ANameThatAppearedMeanwhileIsNotReplacedNotEvenALink)
{
    const std::string folder = Folder("appeared");
    const std::string target = folder + "/Title_01.mp4";
    PartFile part;
    std::string why;
    ASSERT_TRUE(part.Create(target, &why)) << why;
    fs::create_symlink("elsewhere", target); // dangling: exists as a name only
    EXPECT_FALSE(part.MoveTo(target, false, &why));
    EXPECT_TRUE(fs::is_symlink(target));
    // Dropped, the part leaves nothing behind.
    const std::string path = part.Path();
    part.Discard();
    EXPECT_FALSE(fs::exists(path));
    fs::remove_all(folder);
}

TEST(PartFile, ACancelledPartGoesBesideTheNameNumberedWhenThatIsTaken)
{
    const std::string folder = Folder("partial");
    const std::string target = folder + "/Title_01.mp4";
    std::string why, placed;
    for (const char* expected : {"Title_01 (partial).mp4", "Title_01 (partial 2).mp4", "Title_01 (partial 3).mp4"}) {
        PartFile part;
        ASSERT_TRUE(part.Create(target, &why)) << why;
        WriteTo(part.Descriptor(), expected);
        ASSERT_TRUE(part.MoveBeside(target, &placed, &why)) << why;
        EXPECT_EQ(placed, folder + "/" + expected);
        EXPECT_EQ(ReadText(placed), expected);
    }
    EXPECT_FALSE(fs::exists(target));
    EXPECT_EQ(ReadText(folder + "/Title_01 (partial).mp4"), "Title_01 (partial).mp4");
    fs::remove_all(folder);
}

TEST(PartFile, APartThatCannotBeMadeSaysWhy)
{
    PartFile part;
    std::string why;
    EXPECT_FALSE(part.Create("/nonexistent-folder/Title_01.mp4", &why));
    EXPECT_EQ(why, "No such file or directory");
    EXPECT_EQ(part.Descriptor(), -1);
}

TEST(PartFile, RenamingWithoutReplacingWorksOnEveryKindOfName)
{
    const std::string folder = Folder("rename");
    WriteText(folder + "/a", "a");
    WriteText(folder + "/b", "b");
    EXPECT_EQ(RenameNoReplace(folder + "/a", folder + "/b"), EEXIST);
    fs::create_directory(folder + "/dir");
    EXPECT_EQ(RenameNoReplace(folder + "/a", folder + "/dir"), EEXIST);
    EXPECT_EQ(RenameNoReplace(folder + "/a", folder + "/c"), 0);
    EXPECT_EQ(ReadText(folder + "/c"), "a");
    EXPECT_FALSE(fs::exists(folder + "/a"));
    EXPECT_EQ(RenameNoReplace(folder + "/missing", folder + "/d"), ENOENT);
    fs::remove_all(folder);
}

TEST(PartFile, APartIsLockedWhileItIsOpenAndAnOrphanOnceLetGo)
{
    const std::string folder = Folder("orphans");
    const std::string target = folder + "/Title_01.mp4";
    PartFile running, killed;
    std::string why;
    ASSERT_TRUE(running.Create(target, &why)) << why;
    ASSERT_TRUE(killed.Create(target, &why)) << why;
    // What a killed run leaves: its part, its lock gone with it.
    const std::string orphan = killed.Keep();
    EXPECT_EQ(killed.Path(), "");
    // Names that only look like parts, and a link and a folder that do, are never orphans.
    WriteText(folder + "/Title_02.mp4.part", "not a part of ours");
    WriteText(folder + "/Title_02.mp4.ab-cde.part", "not a part of ours");
    fs::create_symlink(orphan, folder + "/Title_03.mp4.ABCDEF.part");
    fs::create_directory(folder + "/Title_04.mp4.ABCDEF.part");
    EXPECT_EQ(OrphanedParts(folder), std::vector<std::string>{orphan});
    // Once the running one is let go too, it is an orphan as well.
    const std::string second = running.Keep();
    auto both = std::vector<std::string>{orphan, second};
    std::sort(both.begin(), both.end());
    EXPECT_EQ(OrphanedParts(folder), both);
    fs::remove_all(folder);
}

TEST(PartFile, AFinishedPartThatCannotTakeItsNameCanBeKept)
{
    const std::string folder = Folder("kept");
    const std::string target = folder + "/Title_01.mp4";
    PartFile part;
    std::string why;
    ASSERT_TRUE(part.Create(target, &why)) << why;
    WriteTo(part.Descriptor(), "converted");
    fs::create_directory(target); // a folder appeared under the name
    EXPECT_FALSE(part.MoveTo(target, true, &why));
    EXPECT_EQ(why, "Is a directory");
    const std::string kept = part.Keep();
    EXPECT_EQ(ReadText(kept), "converted");
    EXPECT_TRUE(part.Discard()) << "nothing left to remove";
    EXPECT_EQ(ReadText(kept), "converted");
    fs::remove_all(folder);
}
