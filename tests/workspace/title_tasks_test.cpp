// The workspace's task model over real discs: which titles are listed and ticked on a load, how
// ticks of chapters and titles settle, what a run takes from the ticks, the names the files get
// and what a run plan refuses.

#include <gtest/gtest.h>

#include <algorithm>

#include "convert/conversion_support.h"
#include "support/shipped_catalogue.h"
#include "support/test_discs.h"
#include "workspace/run_plan.h"
#include "workspace/title_tasks.h"

namespace testing_filters {
namespace {

class TitleTasksTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (TestDisc("ntsc_4x3").empty()) GTEST_SKIP() << "no test discs";
    }

    static std::vector<std::string> Ticked(const TitleTasks& tasks)
    {
        std::vector<std::string> names;
        for (const RunTask& t : tasks.RunTasks())
            if (t.checked) names.push_back(t.outputName);
        return names;
    }
};

TEST_F(TitleTasksTest, ALoadListsTheMainTitleAndLeavesRepeatsUnticked)
{
    OpenTestDisc disc("film_titles");
    TitleTasks tasks;
    tasks.SetNaming("", "FILM", ".mkv");
    tasks.Fill(*disc.source, {});
    // Title_04 is the film; 05 and 07 play its cells again and are left unticked.
    ASSERT_GE(tasks.MainTitle(), 0);
    const TitleTasks::Entry& main = *tasks.At({tasks.MainTitle(), -1});
    EXPECT_TRUE(main.main);
    EXPECT_EQ(main.task.titleIndex, 3);
    EXPECT_EQ(main.outputName, "Title_04.mkv");
    EXPECT_EQ(Ticked(tasks), (std::vector<std::string>{"Title_01.mkv", "Title_02.mkv", "Title_03.mkv", "Title_04.mkv", "Title_06.mkv"}));
    for (int t = 0; t < tasks.TitleCount(); ++t) {
        const TitleTasks::Entry& title = *tasks.At({t, -1});
        EXPECT_EQ(title.sameAs >= 0, title.task.titleIndex == 4 || title.task.titleIndex == 6) << title.outputName;
    }
    ASSERT_TRUE(tasks.TickMainOnly());
    EXPECT_EQ(Ticked(tasks), std::vector<std::string>{"Title_04.mkv"});
    // The same rule at load time; "longer than" ticks no title shorter than the minutes.
    tasks.Fill(*disc.source, {TickOnLoad::Rule::kMainTitleOnly, 0});
    EXPECT_EQ(Ticked(tasks), std::vector<std::string>{"Title_04.mkv"});
    tasks.Fill(*disc.source, {TickOnLoad::Rule::kLongerThan, 1000});
    EXPECT_TRUE(Ticked(tasks).empty());
}

TEST_F(TitleTasksTest, ChapterTicksSettleIntoTheirTitleAndARunTakesChaptersOnlyOfATitleTickedInPart)
{
    OpenTestDisc disc("ntsc_4x3");
    TitleTasks tasks;
    tasks.SetNaming("", "NTSC", ".mp4");
    tasks.Fill(*disc.source, {});
    // Title_01: chapters at 0, 2, 4 and 6 s; Title_02 is one chapter and lists none.
    ASSERT_EQ(tasks.ChapterCount(0), 4);
    EXPECT_EQ(tasks.ChapterCount(1), 0);
    EXPECT_EQ(tasks.At({0, 1})->outputName, "Chapter_01_02.mp4");
    EXPECT_NEAR(static_cast<double>(tasks.Task({0, 1})->sourceLength), 2002, 1) << "60 NTSC frames";
    EXPECT_EQ(tasks.Task({0, 1})->chapterIndex, 1);

    tasks.Toggle({0, 2});
    EXPECT_EQ(tasks.TickOf({0, 2}), Tick::kUnticked);
    EXPECT_EQ(tasks.TickOf({0, -1}), Tick::kPartly);
    EXPECT_EQ(tasks.TickOf({}), Tick::kPartly);
    std::vector<RunTask> run = tasks.RunTasks();
    // Four chapters of Title_01 (one unticked), then the other titles whole.
    ASSERT_GE(run.size(), 5u);
    EXPECT_EQ(run[0].outputName, "Chapter_01_01.mp4");
    EXPECT_FALSE(run[2].checked);
    EXPECT_EQ(run[4].outputName, "Title_02.mp4");
    // A partly ticked title toggles to unticked whole; toggled again it is one task.
    tasks.Toggle({0, -1});
    EXPECT_EQ(tasks.TickOf({0, 0}), Tick::kUnticked);
    tasks.Toggle({0, -1});
    EXPECT_EQ(tasks.TickOf({}), Tick::kTicked);
    run = tasks.RunTasks();
    EXPECT_TRUE(std::none_of(run.begin(), run.end(), [](const RunTask& t) { return t.task.chapterIndex >= 0; }));
    // The root unticks everything; a run of nothing ticked writes no file.
    tasks.Toggle({});
    EXPECT_TRUE(RunOutputNames(tasks.RunTasks(), false).empty());
}

TEST_F(TitleTasksTest, TrackChoicesAndPicturesGoToATitleAndItsChaptersOnly)
{
    OpenTestDisc disc("ntsc_4x3");
    TitleTasks tasks;
    tasks.Fill(*disc.source, {});
    ASSERT_GE(tasks.TitleCount(), 2);
    tasks.SetAudio({0, -1}, 0x81, {0x80, 0x81, 0x82});
    for (int c = -1; c < tasks.ChapterCount(0); ++c) {
        EXPECT_EQ(tasks.Task({0, c})->audioStreamId, 0x81);
        EXPECT_EQ(tasks.Task({0, c})->moreAudio, (std::vector<std::int32_t>{0x80, 0x82})) << "the first is not listed again";
    }
    EXPECT_NE(tasks.Task({1, -1})->audioStreamId, 0x81);
    // No subtitle burns nothing in and keeps the choice; a chapter's choice is its own.
    const std::int32_t subtitle = tasks.Task({0, -1})->subtitleId;
    tasks.SetSubtitle({0, -1}, 0);
    EXPECT_FALSE(tasks.Task({0, 3})->burnSubtitles);
    EXPECT_EQ(tasks.Task({0, 3})->subtitleId, subtitle);
    tasks.SetSubtitle({0, 3}, 0x21);
    EXPECT_TRUE(tasks.Task({0, 3})->burnSubtitles);
    EXPECT_FALSE(tasks.Task({0, -1})->burnSubtitles);

    PictureSettings picture;
    picture.brightness = 200;
    tasks.Toggle({1, -1});
    tasks.ApplyPictureToTicked(picture);
    EXPECT_EQ(tasks.Task({0, 2})->clip.picture.brightness, 200);
    EXPECT_NE(tasks.Task({1, -1})->clip.picture.brightness, 200) << "an unticked title keeps its picture";
}

TEST(ForcedSubtitles, TheForcedStreamFollowsTheSoundTracksLanguage)
{
    const auto code = [](const char* two) { return (two[0] << 8) | two[1]; };
    TitleInfo title{};
    title.audioCount = 2;
    title.audioStreamId[0] = 0xBD80;
    title.audioLanguage[0] = code("en");
    title.audioStreamId[1] = 0xBD81;
    title.audioLanguage[1] = code("de");
    title.subpictureCount = 3;
    title.subpictureStreamId[0] = 0xBD20;
    title.subpictureLanguage[0] = code("de"); // all of the German speech: not forced
    title.subpictureStreamId[1] = 0xBD21;
    title.subpictureLanguage[1] = code("de");
    title.subpictureStreamId[2] = 0xBD22;
    title.subpictureLanguage[2] = code("fr");
    const ForcedSubtitles forced = MakeForcedSubtitles(title, {false, true, true});
    EXPECT_EQ(forced.For(0xBD81), 0xBD21) << "German sound: the German forced stream";
    EXPECT_EQ(forced.For(0xBD80), 0) << "no forced English stream: nothing is burned in";
    EXPECT_EQ(forced.For(0xBD99), 0) << "a track the title lacks";
    EXPECT_TRUE(forced.IsForced(0xBD22));
    EXPECT_FALSE(forced.IsForced(0xBD20));
}

TEST_F(TitleTasksTest, ALoadBurnsInNoSubtitlesButTheForcedOnesOfTheSoundsLanguage)
{
    OpenTestDisc disc("ntsc_4x3"); // English and French sound; English subtitles, and German ones forced only
    TitleTasks tasks;
    tasks.Fill(*disc.source, {});
    for (const RunTask& t : tasks.RunTasks()) {
        EXPECT_TRUE(t.task.forcedOnly);
        EXPECT_FALSE(t.task.burnSubtitles) << t.outputName;
    }
    // A stream chosen is burned in, for the title and its chapters; "Forced only" again burns
    // nothing with this sound, and keeps following the sound track.
    tasks.SetSubtitle({0, -1}, 0xBD20);
    EXPECT_TRUE(tasks.Task({0, 2})->burnSubtitles);
    EXPECT_FALSE(tasks.Task({0, 2})->forcedOnly);
    tasks.SetSubtitle({0, -1}, kForcedOnlySubtitle);
    EXPECT_FALSE(tasks.Task({0, -1})->burnSubtitles);
    tasks.SetAudio({0, -1}, 0xC000, {});
    EXPECT_TRUE(tasks.Task({0, 1})->forcedOnly);
    EXPECT_FALSE(tasks.Task({0, 1})->burnSubtitles);
}

TEST_F(TitleTasksTest, NamesFollowThePatternAndAUsersNameLastsUntilTheNamingChanges)
{
    OpenTestDisc disc("ntsc_4x3");
    TitleTasks tasks;
    tasks.SetNaming("{disc} - {title}", "MY_DISC", ".mkv");
    tasks.Fill(*disc.source, {});
    EXPECT_EQ(tasks.At({0, -1})->outputName, "MY_DISC - 01.mkv");
    EXPECT_EQ(tasks.At({0, 1})->outputName, "MY_DISC - 01_Chapter_02.mkv");
    tasks.SetOutputName({0, -1}, "mine.mkv");
    EXPECT_EQ(tasks.RunTasks()[0].outputName, "mine.mkv");
    tasks.SetNaming("", "MY_DISC", ".mp3");
    EXPECT_EQ(tasks.At({0, -1})->outputName, "Title_01.mp3");
    EXPECT_EQ(tasks.At({0, 2})->outputName, "Chapter_01_03.mp3");
}

TEST_F(TitleTasksTest, ARunPlanSaysWhyItCannotRunAndWhatItWrites)
{
    ProfileCatalogue& catalogue = WholeCatalogue();
    OpenTestDisc disc("ntsc_4x3");
    TitleTasks tasks;
    tasks.SetNaming("", "NTSC", ".mp4");
    tasks.Fill(*disc.source, {});
    ProfileRecord mp4;
    ASSERT_TRUE(catalogue.FindByIndex(5, &mp4));
    RunPlan plan = PlanRun(tasks, mp4, catalogue, false);
    EXPECT_TRUE(plan.refusal.empty()) << plan.refusal;
    EXPECT_EQ(plan.outputs.size(), static_cast<std::size_t>(tasks.TitleCount()));
    EXPECT_EQ(plan.outputs.front(), "Title_01.mp4");
    plan = PlanRun(tasks, mp4, catalogue, true);
    EXPECT_EQ(plan.outputs, std::vector<std::string>{"Title_01.mp4"}) << "merged: one file";
    // A file that keeps one sound track converts each title's first: the further ones are left
    // out of the plan, which says whose, and nothing refuses a merge.
    EXPECT_TRUE(plan.notice.empty());
    tasks.SetAudio({0, -1}, 0xBD80, {0xC000});
    ProfileRecord mp3;
    for (int index = 0; index < 200; ++index)
        if (catalogue.FindByIndex(index, &mp3) && mp3.FormatExt == ".mp3") break;
    ASSERT_EQ(mp3.FormatExt, ".mp3");
    plan = PlanRun(tasks, mp3, catalogue, true);
    EXPECT_FALSE(plan.severalSoundStreams);
    EXPECT_TRUE(plan.refusal.empty()) << plan.refusal;
    EXPECT_TRUE(plan.tasks[0].task.moreAudio.empty());
    EXPECT_EQ(plan.notice, "This format keeps one audio track: only the first chosen track is converted for Title_01.mp4. "
                           "Choose an MP4, MKV or another video format to keep the others.");
    plan = PlanRun(tasks, mp4, catalogue, false);
    EXPECT_EQ(plan.tasks[0].task.moreAudio, std::vector<std::int32_t>{0xC000});
    EXPECT_TRUE(plan.notice.empty());
    tasks.TickAll(false);
    plan = PlanRun(tasks, mp4, catalogue, false);
    EXPECT_EQ(plan.refusal, "No title is ticked: tick the titles to convert.");
}

} // namespace
} // namespace testing_filters
