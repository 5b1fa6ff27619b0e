// The small parts of a run: where a finished, cancelled or failed file ends up, the two-pass
// folder and the dead ones it clears, the damage noted per file, and the refusal of two files of
// one name.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/scratch_folder.h"
#include "convert/damage_report.h"
#include "convert/file_placement.h"
#include "convert/pass_folder.h"
#include "convert/run_tasks.h"

namespace fs = std::filesystem;

namespace {

std::string Folder(const std::string& name) { return testing_filters::FreshFolder("run-" + name); }

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A part holding `text`, meant for `path`.
void Fill(PartFile& part, const std::string& path, const std::string& text)
{
    std::string why;
    ASSERT_TRUE(part.Create(path, &why)) << why;
    ASSERT_EQ(::write(part.Descriptor(), text.data(), text.size()), static_cast<ssize_t>(text.size()));
}

TEST(FilePlacement, AFinishedFileTakesItsNameOrGoesBesideANameTakenMeanwhileAndSaysSo)
{
    const std::string folder = Folder("place");
    const std::string path = folder + "/Title_01.mp4";
    {
        PartFile part(7);
        Fill(part, path, "first");
        const FilePlacement placed = PlaceFile(part, path, FileEnd::kComplete, IfNameTaken::kKeepBothAndSay, true, "");
        EXPECT_TRUE(placed.placed);
        EXPECT_EQ(placed.file, path);
        EXPECT_TRUE(placed.notice.empty());
        EXPECT_EQ(ReadText(path), "first");
    }
    {
        PartFile part(8);
        Fill(part, path, "second");
        const FilePlacement beside = PlaceFile(part, path, FileEnd::kComplete, IfNameTaken::kKeepBothAndSay, true, "");
        EXPECT_EQ(beside.file, folder + "/Title_01 (2).mp4");
        EXPECT_EQ(beside.notice, "Title_01.mp4 appeared in the output folder while it was converted; the new file is Title_01 (2).mp4");
        EXPECT_EQ(ReadText(path), "first") << "the old file keeps its place";
    }
    {
        PartFile part(9);
        Fill(part, path, "third");
        const FilePlacement replaced = PlaceFile(part, path, FileEnd::kComplete, IfNameTaken::kReplace, true, "");
        EXPECT_EQ(replaced.file, path);
        EXPECT_EQ(ReadText(path), "third");
    }
    {
        // A cancelled run's file never takes the finished name.
        PartFile part(10);
        Fill(part, path, "partial");
        const FilePlacement cancelled = PlaceFile(part, path, FileEnd::kCancelled, IfNameTaken::kReplace, true, "");
        EXPECT_TRUE(cancelled.placed);
        EXPECT_EQ(cancelled.file, folder + "/Title_01 (partial).mp4");
        EXPECT_TRUE(cancelled.notice.empty());
        EXPECT_EQ(ReadText(path), "third");
    }
    fs::remove_all(folder);
}

TEST(FilePlacement, AFileThatCouldNotBeFinishedOrWasGivenUpLeavesNothing)
{
    const std::string folder = Folder("fail");
    const std::string path = folder + "/Title_02.mkv";
    {
        PartFile part(11);
        Fill(part, path, "half");
        const std::string unfinished = part.Path();
        const FilePlacement failed = PlaceFile(part, path, FileEnd::kComplete, IfNameTaken::kKeepBothAndSay, false, "No space left on device");
        EXPECT_FALSE(failed.placed);
        EXPECT_EQ(failed.failure, "Could not write output file " + path + ": No space left on device");
        EXPECT_FALSE(fs::exists(unfinished));
        EXPECT_FALSE(fs::exists(path));
    }
    {
        PartFile part(12);
        Fill(part, path, "given up");
        const std::string unfinished = part.Path();
        const FilePlacement discarded = PlaceFile(part, path, FileEnd::kDiscard, IfNameTaken::kReplace, true, "");
        EXPECT_FALSE(discarded.placed);
        EXPECT_TRUE(discarded.failure.empty()) << "its task has said why";
        EXPECT_FALSE(fs::exists(unfinished));
    }
    fs::remove_all(folder);
}

TEST(FilePlacement, AWholeFileThatCannotTakeItsNameIsKeptWhereItIsAndSaidSo)
{
    if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    const std::string folder = Folder("readonly");
    const std::string path = folder + "/Title_03.mp4";
    PartFile part(13);
    Fill(part, path, "whole");
    const std::string unfinished = part.Path();
    ::chmod(folder.c_str(), 0555);
    const FilePlacement kept = PlaceFile(part, path, FileEnd::kComplete, IfNameTaken::kKeepBothAndSay, true, "");
    ::chmod(folder.c_str(), 0755);
    EXPECT_FALSE(kept.placed);
    EXPECT_NE(kept.failure.find("the converted file is kept as " + unfinished), std::string::npos) << kept.failure;
    EXPECT_EQ(ReadText(unfinished), "whole");
    fs::remove_all(folder);
}

TEST(PassFolder, ItsFolderIsLockedWhileItLivesAndADeadRunsFolderIsCleared)
{
    const std::string temporary = Folder("passes");
    std::string live;
    {
        PassFolder passes;
        const std::string stats = passes.StatsPath();
        ASSERT_FALSE(stats.empty());
        EXPECT_EQ(fs::path(stats).filename(), "stats.log");
        EXPECT_EQ(passes.StatsPath(), stats) << "one folder per run";
        live = passes.Path();
        EXPECT_TRUE(fs::exists(fs::path(live) / kPassFolderLock));
        std::ofstream(fs::path(live) / "stats.log") << "1";
        std::ofstream(fs::path(live) / "stats.log.mbtree") << "2";
        std::ofstream(fs::path(live) / "first-pass.mp4") << "3";
        passes.KeepStatsOnly();
        EXPECT_TRUE(fs::exists(fs::path(live) / "stats.log.mbtree"));
        EXPECT_FALSE(fs::exists(fs::path(live) / "first-pass.mp4"));

        // A folder of a run that was killed: its lock file is there and free.
        const fs::path dead = fs::path(temporary) / (std::string(kPassFolderPrefix) + "dead01");
        fs::create_directories(dead);
        std::ofstream(dead / kPassFolderLock) << "";
        const fs::path alive = fs::path(temporary) / fs::path(live).filename();
        fs::create_directory_symlink(live, alive); // a link is never followed, whatever it names
        const std::vector<std::string> removed = RemoveDeadPassFolders(temporary);
        EXPECT_EQ(removed, std::vector<std::string>{dead.string()});
        EXPECT_FALSE(fs::exists(dead));
        // The live run's folder, where it is, keeps its lock and stays.
        RemoveDeadPassFolders();
        EXPECT_TRUE(fs::exists(fs::path(live) / "stats.log"));
    }
    EXPECT_FALSE(fs::exists(live)) << "removed when the run ends";
    fs::remove_all(temporary);
}

TEST(DamageReport, StretchesGoToTheirFileOnItsTimeLineAndFollowItsName)
{
    DamageReport report;
    report.Note("/out/a.mkv", {}, 0);
    EXPECT_TRUE(report.Files().empty()) << "nothing lost, nothing said";
    report.Note("/out/a.mkv", {{10, 20}}, 0);
    report.Note("/out/a.mkv", {{5, 6}}, 100); // the merged file's second task begins at 100
    report.Note("/out/b.mkv", {{0, 50000000}}, 0);
    ASSERT_EQ(report.Files().size(), 2u);
    EXPECT_EQ(report.Files()[0].lost.size(), 2u);
    EXPECT_EQ(report.Files()[0].lost[1].start, 105);
    EXPECT_EQ(report.Files()[0].Total(), 11);
    report.Rename("/out/b.mkv", "/out/b (2).mkv");
    EXPECT_EQ(DamageText(report.Files()[1]), "b (2).mkv: 5.0 s could not be read, at 00:00:00\u201300:00:05");
    report.Drop("/out/b (2).mkv");
    EXPECT_EQ(report.Files().size(), 1u);
    EXPECT_EQ(UnreachedText("clip 00001.m2ts", 0, 1500),
              "clip 00001.m2ts: 1.5 s is in no file, at 00:00:00\u201300:00:02: no title plays it, and a playlist that may play it "
              "cannot be read");
}

TEST(RunRefusals, TwoFilesOfOneNameAreRefusedButAMergedRunIsOneFile)
{
    RunTask one, two;
    one.outputName = two.outputName = "Film.mkv";
    one.task.clip.trimLength = two.task.clip.trimLength = 1000;
    EXPECT_EQ(SameNameRefusal({one, two}, false), "Two files of this run would be named Film.mkv: give each title a name of its own");
    EXPECT_EQ(SameNameRefusal({one, two}, true), "");
    two.checked = false;
    EXPECT_EQ(SameNameRefusal({one, two}, false), "") << "an unticked task writes nothing";
    EXPECT_EQ(ExtensionOf("Film.MKV"), ".mkv");
}

} // namespace
