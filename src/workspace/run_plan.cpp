#include "workspace/run_plan.h"

#include "profiles/format_table.h"
#include "write/output_writer.h"

RunPlan PlanRun(const TitleTasks& tasks, const ProfileRecord& profile, ProfileCatalogue& catalogue, bool merge)
{
    RunPlan plan;
    plan.tasks = tasks.RunTasks();
    plan.outputs = RunOutputNames(plan.tasks, merge);
    plan.severalSoundStreams = TakesSeveralSoundStreams(profile.index, profile.writer.hasVideo != 0, profile.FormatExt);
    // A format that keeps one sound track converts each title's first: the user was told when
    // ticking more, so the run has nothing to say of it.
    if (!plan.severalSoundStreams)
        for (RunTask& t : plan.tasks) t.task.moreAudio.clear();
    // "Same as source": tracks the container cannot hold are converted with the stored profile's
    // own codec.
    ProfileRecord stored;
    if (catalogue.FindByIndex(profile.index, &stored) && !OutputWriter::IsCopy(stored.writer.AudioCodecName))
        plan.soundFallback = stored.writer.AudioCodecName;
    if (plan.outputs.empty()) {
        plan.refusal = "No title is ticked: tick the titles to convert.";
        return plan;
    }
    RunSettings merging;
    merging.merge = merge;
    merging.severalSoundStreams = plan.severalSoundStreams;
    plan.refusal = MergeRefusal(plan.tasks, merging);
    return plan;
}
