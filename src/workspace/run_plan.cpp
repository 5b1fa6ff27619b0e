#include "workspace/run_plan.h"

#include "profiles/format_table.h"
#include "write/output_writer.h"

RunPlan PlanRun(const TitleTasks& tasks, const ProfileRecord& profile, ProfileCatalogue& catalogue, bool merge)
{
    RunPlan plan;
    plan.tasks = tasks.RunTasks();
    plan.outputs = RunOutputNames(plan.tasks, merge);
    plan.severalSoundStreams = TakesSeveralSoundStreams(profile.index, profile.writer.hasVideo != 0, profile.FormatExt);
    // A format that keeps one sound track converts each title's first. Tracks ticked while an
    // earlier profile kept several are left out, and the plan says whose.
    if (!plan.severalSoundStreams) {
        std::string whose;
        for (RunTask& t : plan.tasks) {
            if (t.checked && !t.task.moreAudio.empty()) whose += (whose.empty() ? "" : ", ") + t.outputName;
            t.task.moreAudio.clear();
        }
        if (!whose.empty())
            plan.notice = "This format keeps one audio track: only the first chosen track is converted for " + whose +
                          ". Choose an MP4, MKV or another video format to keep the others.";
    }
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
    // Subtitles as text streams in a format that keeps none: said before anything starts.
    RunSettings text;
    text.subtitleText = SubtitleTextOf(profile.writer);
    text.subtitleTracks = profile.writer.subtitleTracks ? RunSettings::SubtitleTracks::kAll : RunSettings::SubtitleTracks::kNone;
    if (plan.refusal.empty()) plan.refusal = TextStreamRefusal(ExtensionOf("file" + profile.FormatExt), text);
    return plan;
}
