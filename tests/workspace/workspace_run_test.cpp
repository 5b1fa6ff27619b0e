// A run on the workspace's run thread: the asking thread is told of its messages, its
// after-conversion moment and its end, never waits for it, and can pause, continue and cancel it;
// a run cancelled before its start writes nothing. Every wait here is for the run's news.

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>

#include "convert/conversion_support.h"
#include "play/engine_registration.h"
#include "support/gate.h"
#include "support/test_discs.h"
#include "workspace/workspace_run.h"

namespace {

using testing_filters::Gate;
using testing_filters::MakeRunTask;
using testing_filters::OpenTestDisc;
using testing_filters::OutputFolder;
using testing_filters::Profile;
using testing_filters::Settings;

// Collects the run's news as a face would: told by the callback, taken on the asking thread.
class Face {
public:
    std::function<void()> Notify() { return m_told.Callback(); }
    // Takes news until the run has ended.
    void WaitForTheEnd(WorkspaceRun& run)
    {
        while (!finished) {
            m_told.Wait(++m_seen);
            WorkspaceRun::News news = run.TakeNews();
            messages.insert(messages.end(), news.messages.begin(), news.messages.end());
            afterConversion += news.afterConversion;
            finished = finished || news.finished;
        }
    }
    std::vector<std::string> messages;
    int afterConversion = 0;
    bool finished = false;

private:
    testing_filters::Told m_told;
    int m_seen = 0;
};

class WorkspaceRunTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { RegisterEngine(); }
    void SetUp() override
    {
        if (testing_filters::TestDisc("ntsc_4x3").empty()) GTEST_SKIP() << "no test discs";
    }
};

TEST_F(WorkspaceRunTest, ARunGoesToItsEndOnItsThreadAndTellsOfIt)
{
    const OpenTestDisc disc("ntsc_4x3");
    const ProfileRecord& profile = Profile(5);
    const std::string folder = OutputFolder("workspace-run");
    Face face;
    WorkspaceRun run(disc.source, {MakeRunTask(disc, 0, profile, -1, 0, 2000), MakeRunTask(disc, 1, profile, -1, 0, 2000)},
                     Settings(profile, folder), face.Notify());
    EXPECT_EQ(run.Ended(), nullptr);
    run.Start();
    // Paused and continued on the way: the run still ends whole.
    run.Pause();
    run.ShowPreview(false);
    run.Continue();
    face.WaitForTheEnd(run);
    ASSERT_NE(run.Ended(), nullptr);
    EXPECT_TRUE(run.Finished());
    EXPECT_FALSE(run.Ended()->Cancelled());
    EXPECT_EQ(run.Ended()->FilesWritten().size(), 2u);
    EXPECT_EQ(run.Ended()->TasksFailed(), 0);
    EXPECT_EQ(face.afterConversion, 1);
    EXPECT_TRUE(face.messages.empty());
    for (const std::string& file : run.Ended()->FilesWritten()) EXPECT_GT(testing_filters::ProbeFile(file).frames, 0) << file;
    const RunProgress last = run.Progress();
    EXPECT_EQ(last.tasks, 2u);
    EXPECT_EQ(last.task, 1u);
}

TEST_F(WorkspaceRunTest, ARunCancelledBeforeItsStartWritesNothing)
{
    const OpenTestDisc disc("ntsc_4x3");
    const ProfileRecord& profile = Profile(5);
    const std::string folder = OutputFolder("workspace-run-cancelled");
    Face face;
    Gate gate;
    WorkspaceRun run(disc.source, {MakeRunTask(disc, 0, profile)}, Settings(profile, folder), face.Notify(), [&gate] { gate.Pass(); });
    const testing_filters::OpenAtEnd openGate(gate);
    run.Start();
    gate.WaitReached();
    // Held at its start: asking is answered at once.
    EXPECT_FALSE(run.Finished());
    EXPECT_EQ(run.Progress().position, 0);
    run.Cancel();
    gate.Open();
    face.WaitForTheEnd(run);
    ASSERT_NE(run.Ended(), nullptr);
    EXPECT_TRUE(run.Ended()->Cancelled());
    EXPECT_TRUE(run.Ended()->FilesWritten().empty());
    EXPECT_EQ(face.afterConversion, 0);
    EXPECT_TRUE(std::filesystem::is_empty(folder));
}

} // namespace
