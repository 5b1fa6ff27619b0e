#include "convert/run_tasks.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "convert/file_marks.h"
#include "write/output_writer.h"

bool TakesPart(const RunTask& task) { return task.checked && task.task.clip.trimLength > 0; }

std::string MergeRefusal(const std::vector<RunTask>& tasks, const RunSettings& settings)
{
    if (!settings.merge || !settings.severalSoundStreams) return {};
    std::size_t wanted = 0;
    const RunTask* first = nullptr;
    for (const RunTask& t : tasks) {
        if (!TakesPart(t)) continue;
        const std::size_t count = 1 + t.task.moreAudio.size();
        if (!first) {
            first = &t;
            wanted = count;
        } else if (count != wanted) {
            return "Titles with different numbers of audio tracks cannot be merged: " + first->outputName + " has " +
                   std::to_string(wanted) + ", " + t.outputName + " has " + std::to_string(count) +
                   ". Choose as many tracks for each title, or convert them apart.";
        }
    }
    return {};
}

std::vector<std::string> RunOutputNames(const std::vector<RunTask>& tasks, bool merge)
{
    std::vector<std::string> names;
    for (const RunTask& t : tasks) {
        if (!TakesPart(t)) continue;
        names.push_back(t.outputName);
        if (merge) break; // one file, named after the first task
    }
    return names;
}

std::string SameNameRefusal(const std::vector<RunTask>& tasks, bool merge)
{
    std::vector<std::string> names = RunOutputNames(tasks, merge);
    std::sort(names.begin(), names.end());
    if (const auto twice = std::adjacent_find(names.begin(), names.end()); twice != names.end())
        return "Two files of this run would be named " + *twice + ": give each title a name of its own";
    return {};
}

std::vector<std::int32_t> SoundTracksOf(const RunTask& t, const TitleInfo& title, const RunSettings& settings)
{
    const int count = std::clamp(title.audioCount, 0, kMaxAudioStreams);
    const auto has = [&](std::int32_t id) { return std::find(title.audioStreamId, title.audioStreamId + count, id) != title.audioStreamId + count; };
    std::int32_t first = t.task.audioStreamId ? t.task.audioStreamId : settings.selectedAudioStreamId;
    if (first == 0 || !has(first)) first = count > 0 ? title.audioStreamId[0] : 0;
    std::vector<std::int32_t> tracks;
    if (first == 0) return tracks;
    tracks.push_back(first);
    if (!settings.severalSoundStreams) return tracks;
    for (std::int32_t id : t.task.moreAudio)
        if (has(id) && std::find(tracks.begin(), tracks.end(), id) == tracks.end()) tracks.push_back(id);
    return tracks;
}

std::string ExtensionOf(const std::string& name)
{
    std::string extension = std::filesystem::path(name).extension().string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

namespace {

// Whether the run's files of this kind keep subtitle streams read into text: as text streams,
// or (SubRip files beside them) with no stream at all.
bool HoldsTextOf(const std::string& extension, const RunSettings& settings)
{
    return (settings.TextStreams() && HoldsTextSubtitles(extension)) || settings.subtitleText == RunSettings::SubtitleText::kFiles;
}

} // namespace

RunSettings::SubtitleText SubtitleTextOf(const WriterSettings& profile)
{
    using Text = RunSettings::SubtitleText;
    if (profile.subtitleText == 1) return profile.subtitleFiles == 1 ? Text::kBoth : Text::kTracks;
    return profile.subtitleFiles == 1 ? Text::kFiles : Text::kNone;
}

std::string TextStreamRefusal(const std::string& extension, const RunSettings& settings)
{
    if (!settings.TextStreams() || settings.subtitleTracks == RunSettings::SubtitleTracks::kNone || HoldsTextSubtitles(extension))
        return {};
    return extension + " files keep no text subtitles: choose MKV, MP4, M4V, MOV, 3GP or WebM, or write .srt files only";
}

std::vector<std::int32_t> SubtitleTracksOf(const RunTask& t, const TitleInfo& title, const RunSettings& settings,
                                           const std::string& extension, DiscKind kind, bool heldOnly)
{
    std::vector<std::int32_t> tracks;
    const int count = std::clamp(title.subpictureCount, 0, kMaxSubpictureStreams);
    const auto add = [&](std::int32_t id) {
        if (std::find(title.subpictureStreamId, title.subpictureStreamId + count, id) == title.subpictureStreamId + count) return;
        if (heldOnly && !HoldsSubtitles(extension, IsGraphicsSubtitle(id, kind)) && !HoldsTextOf(extension, settings)) return;
        if (std::find(tracks.begin(), tracks.end(), id) == tracks.end()) tracks.push_back(id);
    };
    switch (settings.subtitleTracks) {
    case RunSettings::SubtitleTracks::kNone: break;
    case RunSettings::SubtitleTracks::kChosen: {
        const std::int32_t chosen = t.task.subtitleId ? t.task.subtitleId : settings.selectedSubtitleId;
        add(chosen ? chosen : count > 0 ? title.subpictureStreamId[0] : 0);
        break;
    }
    case RunSettings::SubtitleTracks::kAll:
        for (int i = 0; i < count; ++i) add(title.subpictureStreamId[i]);
        break;
    case RunSettings::SubtitleTracks::kListed:
        for (std::int32_t id : t.task.subtitleTracks) add(id);
        break;
    }
    return tracks;
}

std::string CopyMergeRefusal(const SourceDisc& disc, const std::vector<RunTask>& tasks, const RunSettings& settings)
{
    if (!settings.merge) return {};
    const DiscInfo& info = disc.Info();
    const bool copyVideo = settings.profile.hasVideo && OutputWriter::IsCopy(settings.profile.VideoCodecName);
    const bool copySound = settings.profile.hasAudio && OutputWriter::IsCopy(settings.profile.AudioCodecName);
    const RunTask* first = nullptr;
    std::vector<std::int32_t> firstFormats;
    for (const RunTask& t : tasks) {
        if (!TakesPart(t) || t.task.titleIndex < 0 || t.task.titleIndex >= info.titleCount) continue;
        const TitleInfo& title = info.titles[t.task.titleIndex];
        std::vector<std::int32_t> formats;
        for (std::int32_t id : SoundTracksOf(t, title, settings))
            for (int i = 0; i < std::clamp(title.audioCount, 0, kMaxAudioStreams); ++i)
                if (title.audioStreamId[i] == id) formats.push_back(title.audioFormat[i]);
        if (!first) {
            first = &t;
            firstFormats = formats;
            continue;
        }
        const TitleVideo a = disc.VideoOf(first->task.titleIndex), b = disc.VideoOf(t.task.titleIndex);
        if (copyVideo && (a.width != b.width || a.height != b.height || a.wide != b.wide))
            return "Titles whose pictures differ in size or shape cannot be merged when the video is kept as it is: " +
                   first->outputName + " and " + t.outputName + ". Convert them apart, or choose a format that converts the video.";
        if (copySound && formats != firstFormats)
            return "Titles whose audio tracks are coded differently cannot be merged when the sound is kept as it is: " +
                   first->outputName + " and " + t.outputName + ". Convert them apart, or choose an audio codec.";
    }
    return {};
}

