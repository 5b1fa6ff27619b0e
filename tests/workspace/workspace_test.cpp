// The workspace does its long steps on its own thread and tells of them by events: a load or a
// scan held at a gate can be cancelled and then gives nothing, the newest load wins, failures are
// told as such, and real discs load and scan through it. Every wait here is for an event.

#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "play/engine_registration.h"
#include "support/gate.h"
#include "support/test_discs.h"
#include "workspace/workspace.h"

namespace {

using testing_filters::Gate;
using testing_filters::Told;

// The disc's own steps, each behind the gate (the gate opens on its own when the test ends).
struct GatedSteps {
    Gate gate;
    int opened = 0, scanned = 0; // steps that went through the gate (the worker's; read after events)
    Workspace::Steps Steps()
    {
        Workspace::Steps disc = Workspace::DiscSteps();
        Workspace::Steps steps;
        steps.open = [this, disc](const std::string& path, std::string* why) {
            gate.Pass();
            ++opened;
            return disc.open(path, why);
        };
        steps.scan = [this, disc](const std::shared_ptr<SourceDisc>& source, int title, std::stop_token stop) {
            gate.Pass();
            ++scanned;
            return disc.scan(source, title, stop);
        };
        return steps;
    }
};

// Waits until an event of this step has come, and gives it; the others are kept in `seen`.
WorkspaceEvent WaitFor(Workspace& work, Workspace::Job job, std::vector<WorkspaceEvent>* seen = nullptr)
{
    for (;;) {
        for (WorkspaceEvent& event : work.WaitForEvents()) {
            if (event.job == job) return event;
            if (seen) seen->push_back(event);
        }
    }
}

class WorkspaceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { RegisterEngine(); }
    void SetUp() override
    {
        if (testing_filters::TestDisc("ntsc_4x3").empty()) GTEST_SKIP() << "no test discs";
    }
};

TEST_F(WorkspaceTest, ALoadCancelledAtTheGateGivesNoDiscAndTheNextLoadDoes)
{
    GatedSteps held;
    // The face is told that events wait; when told, they are there to take.
    Told told;
    Workspace work(told.Callback(), held.Steps());
    const auto waitTold = [&](int times) { told.Wait(times); };
    const Workspace::Job load = work.Load(testing_filters::TestDisc("ntsc_4x3"));
    held.gate.WaitReached();
    // The asking thread is free while the disc is being read: it asks, and is answered at once.
    EXPECT_TRUE(work.Busy());
    EXPECT_TRUE(work.TakeEvents().empty());
    work.Cancel(load);
    held.gate.Open();
    waitTold(1);
    const std::vector<WorkspaceEvent> events = work.TakeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].job, load);
    EXPECT_EQ(events[0].kind, WorkspaceEventKind::kCancelled);
    EXPECT_EQ(events[0].disc, nullptr);
    EXPECT_EQ(work.Disc(), nullptr);
    EXPECT_EQ(held.opened, 1); // the disc was read, and what it gave was dropped

    const Workspace::Job again = work.Load(testing_filters::TestDisc("ntsc_4x3"));
    waitTold(2);
    std::vector<WorkspaceEvent> later = work.TakeEvents();
    ASSERT_EQ(later.size(), 1u);
    EXPECT_EQ(later[0].job, again);
    ASSERT_EQ(later[0].kind, WorkspaceEventKind::kTitlesReady) << later[0].reason;
    ASSERT_NE(work.Disc(), nullptr);
    EXPECT_EQ(work.Disc(), later[0].disc);
    EXPECT_EQ(work.LoadedPath(), testing_filters::TestDisc("ntsc_4x3"));
    EXPECT_GT(work.Disc()->Info().titleCount, 0);
    EXPECT_FALSE(work.Busy());
    // Unloading lets go of the disc: nobody holds it then.
    const std::weak_ptr<SourceDisc> disc = work.Disc();
    later.clear();
    work.Unload();
    EXPECT_EQ(work.Disc(), nullptr);
    EXPECT_TRUE(disc.expired());
}

TEST_F(WorkspaceTest, TheNewestLoadWinsAndAWaitingStepCancelledEndsAtOnce)
{
    GatedSteps held;
    Workspace work({}, held.Steps());
    const Workspace::Job first = work.Load(testing_filters::TestDisc("ntsc_4x3"));
    held.gate.WaitReached();
    const Workspace::Job scan = work.Scan(nullptr, 0);
    const Workspace::Job second = work.Load(testing_filters::TestDisc("pal_16x9"));
    // The scan waits behind the first load: cancelled, it ends without going through the gate.
    work.Cancel(scan);
    std::vector<WorkspaceEvent> before;
    EXPECT_EQ(WaitFor(work, scan, &before).kind, WorkspaceEventKind::kCancelled);
    EXPECT_TRUE(before.empty());
    held.gate.Open();
    std::vector<WorkspaceEvent> others;
    const WorkspaceEvent last = WaitFor(work, second, &others);
    ASSERT_EQ(last.kind, WorkspaceEventKind::kTitlesReady) << last.reason;
    ASSERT_EQ(others.size(), 1u);
    EXPECT_EQ(others[0].job, first);
    EXPECT_EQ(others[0].kind, WorkspaceEventKind::kCancelled);
    EXPECT_EQ(work.LoadedPath(), testing_filters::TestDisc("pal_16x9"));
    EXPECT_EQ(held.scanned, 0);
}

TEST_F(WorkspaceTest, AStepCancelledAfterItEndedIsNeverSeenOnceTakenItStays)
{
    Told told;
    Workspace work(told.Callback());
    const Workspace::Job load = work.Load(testing_filters::TestDisc("ntsc_4x3"));
    told.Wait(1); // ended, its event not taken
    work.Cancel(load);
    std::vector<WorkspaceEvent> events = work.TakeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, WorkspaceEventKind::kCancelled);
    EXPECT_EQ(events[0].disc, nullptr);
    EXPECT_EQ(work.Disc(), nullptr);

    const Workspace::Job again = work.Load(testing_filters::TestDisc("ntsc_4x3"));
    told.Wait(2);
    events = work.TakeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, WorkspaceEventKind::kTitlesReady);
    work.Cancel(again); // too late: taken
    EXPECT_TRUE(work.TakeEvents().empty());
    EXPECT_EQ(work.Disc(), events[0].disc);
}

TEST_F(WorkspaceTest, AnEjectRunsOffTheAskingThreadAndSaysHowItEnded)
{
    Gate gate;
    Workspace work({});
    std::thread::id ejectedOn;
    const Workspace::Job shut = work.Eject([&](std::string* why) {
        gate.Pass();
        ejectedOn = std::this_thread::get_id();
        *why = "Device or resource busy";
        return false;
    });
    gate.WaitReached();
    EXPECT_TRUE(work.Busy()); // the drive takes its time; the asker does not wait for it
    gate.Open();
    const WorkspaceEvent stayed = WaitFor(work, shut);
    EXPECT_EQ(stayed.kind, WorkspaceEventKind::kEjectEnded);
    EXPECT_FALSE(stayed.ejected);
    EXPECT_EQ(stayed.reason, "Device or resource busy");
    EXPECT_NE(ejectedOn, std::this_thread::get_id());
    const WorkspaceEvent opened = WaitFor(work, work.Eject([](std::string*) { return true; }));
    EXPECT_EQ(opened.kind, WorkspaceEventKind::kEjectEnded);
    EXPECT_TRUE(opened.ejected);
}

TEST_F(WorkspaceTest, LoadsThatFailSayWhyAndKeepTheLoadedDisc)
{
    Workspace::Steps steps = Workspace::DiscSteps();
    const Workspace::Steps disc = steps;
    steps.open = [disc](const std::string& path, std::string* why) -> std::shared_ptr<SourceDisc> {
        if (path == "throws") throw std::runtime_error("the reader gave up");
        return disc.open(path, why);
    };
    Workspace work({}, steps);
    const WorkspaceEvent loaded = WaitFor(work, work.Load(testing_filters::TestDisc("ntsc_4x3")));
    ASSERT_EQ(loaded.kind, WorkspaceEventKind::kTitlesReady);

    const WorkspaceEvent missing = WaitFor(work, work.Load("/nonexistent/VIDEO_TS"));
    EXPECT_EQ(missing.kind, WorkspaceEventKind::kLoadFailed);
    EXPECT_FALSE(missing.reason.empty());
    EXPECT_FALSE(missing.noTitles);
    // A step that throws is that step's failure; the worker goes on.
    const WorkspaceEvent thrown = WaitFor(work, work.Load("throws"));
    EXPECT_EQ(thrown.kind, WorkspaceEventKind::kLoadFailed);
    EXPECT_EQ(thrown.reason, "the reader gave up");
    EXPECT_EQ(work.Disc(), loaded.disc);
    EXPECT_EQ(work.LoadedPath(), testing_filters::TestDisc("ntsc_4x3"));
}

TEST_F(WorkspaceTest, AScanEndsWithWhatItSawOrCancelledWithNothing)
{
    GatedSteps held;
    held.gate.Open();
    Workspace work({}, held.Steps());
    const WorkspaceEvent loaded = WaitFor(work, work.Load(testing_filters::TestDisc("shapes_ntsc")));
    ASSERT_EQ(loaded.kind, WorkspaceEventKind::kTitlesReady);
    const WorkspaceEvent scanned = WaitFor(work, work.Scan(work.Disc(), 0));
    ASSERT_EQ(scanned.kind, WorkspaceEventKind::kScanReady);
    EXPECT_EQ(scanned.title, 0);
    EXPECT_GT(scanned.scan.pictures, 0);
    EXPECT_GT(scanned.scan.width, 0);

    // The scan itself stops when asked: a stop asked before it starts gives nothing.
    std::stop_source stop;
    stop.request_stop();
    EXPECT_EQ(ScanTitle(work.Disc(), 0, stop.get_token()).pictures, 0);
}

TEST_F(WorkspaceTest, AScanCancelledAtTheGateGivesNothing)
{
    GatedSteps held;
    Workspace work({}, held.Steps());
    const Workspace::Job load = work.Load(testing_filters::TestDisc("shapes_ntsc"));
    held.gate.WaitReached();
    held.gate.Open();
    ASSERT_EQ(WaitFor(work, load).kind, WorkspaceEventKind::kTitlesReady);

    GatedSteps scanGate;
    Workspace scanning({}, scanGate.Steps());
    const Workspace::Job scan = scanning.Scan(work.Disc(), 0);
    scanGate.gate.WaitReached();
    scanning.Cancel(scan);
    scanGate.gate.Open();
    const WorkspaceEvent event = WaitFor(scanning, scan);
    EXPECT_EQ(event.kind, WorkspaceEventKind::kCancelled);
    EXPECT_EQ(event.scan.pictures, 0);
    EXPECT_EQ(scanGate.scanned, 1);
}

} // namespace
