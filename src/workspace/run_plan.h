#pragma once
// What a run of the workspace's tasks with a profile will do, before it starts: its tasks, the
// files it writes, whether its files keep several sound tracks and which encoder takes a track
// a "Same as source" file cannot hold; or why it cannot run.

#include <string>
#include <vector>

#include "profiles/profile_catalogue.h"
#include "workspace/title_tasks.h"

struct RunPlan {
    std::vector<RunTask> tasks; // further sound tracks left out where the files keep one
    std::vector<std::string> outputs; // the names of the files it writes, in order
    bool severalSoundStreams = false;
    std::string soundFallback = "aac";
    std::string refusal; // why it cannot run (nothing ticked, titles that cannot merge), or empty
    // What the run leaves out that was chosen (further sound tracks ticked before the profile
    // changed to one that keeps one), said before it starts; empty when nothing is.
    std::string notice;
};

// `profile` is the one in use (perhaps edited in Settings); the catalogue has the stored ones.
RunPlan PlanRun(const TitleTasks& tasks, const ProfileRecord& profile, ProfileCatalogue& catalogue, bool merge);
