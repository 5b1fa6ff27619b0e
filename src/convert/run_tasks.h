#pragma once
// What a run converts and how: its tasks (each with the name of its file and what to do when the
// name is taken) and its settings; the names of the files it writes, and why a run of them
// cannot begin.

#include <cstdint>
#include <string>
#include <vector>

#include "convert/conversion_task.h"
#include "convert/graph_parts.h"
#include "convert/source_disc.h"
#include "profiles/profile_record.h"

// What a finished file does when its name is taken in the output folder (by an old file, or
// one that appeared while it was converted).
enum class IfNameTaken {
    kKeepBothAndSay, // the new file goes beside it as "NAME (2).EXT", and the run says so
    kReplace,        // the old file is replaced by the whole new one
    kKeepBoth,       // the new file goes beside it as "NAME (2).EXT" (the user chose so)
};

struct RunTask {
    ConversionTask task;
    std::string outputName; // as the title list shows it, e.g. "Title_01.mp4"
    bool checked = true;
    IfNameTaken ifNameTaken = IfNameTaken::kKeepBothAndSay; // RunSettings::overwrite makes every task kReplace
};

// Whether a task is converted: checked, and of some length (a range that holds nothing is
// passed over).
bool TakesPart(const RunTask& task);
// The names of the files a run of these tasks writes, in order: one per task that takes part,
// or, merged, the first such task's alone.
std::vector<std::string> RunOutputNames(const std::vector<RunTask>& tasks, bool merge);

struct RunSettings {
    WriterSettings profile{};
    // The profile's lists of values (named in the message when a setting cannot be encoded).
    ProfileRecord choices;
    std::string outputFolder;
    bool merge = false;
    // The picture settings last applied in the editor: every task of the run takes them.
    PictureSettings picture;
    // The chosen tracks for tasks that have none of their own (audio 0: each title's first listed
    // track; subtitle 0: the splitter's choice).
    std::int32_t selectedAudioStreamId = 0;
    std::int32_t selectedSubtitleId = 0;
    // False: no subpicture is burned in.
    bool subtitles = true;
    // Whether the profile's files keep several sound streams (TakesSeveralSoundStreams); when
    // not, each task's first track alone is converted, and the run says so once.
    bool severalSoundStreams = false;
    // With the profile's audio codec "copy" (Same as source): tracks the container cannot hold
    // as they are get this encoder, at the profile's settings.
    std::string soundFallback = "aac";
    // Subpicture streams kept as the file's subtitle streams (where the container holds them):
    // none, each task's chosen one, all of each title's, or those each task lists.
    enum class SubtitleTracks { kNone, kChosen, kAll, kListed };
    SubtitleTracks subtitleTracks = SubtitleTracks::kNone;
    // Those subtitle streams read into text: kept in the file as text streams instead of
    // pictures, written beside it as SubRip files (the streams stay as they are), or both.
    enum class SubtitleText { kNone, kTracks, kFiles, kBoth };
    SubtitleText subtitleText = SubtitleText::kNone;
    bool TextStreams() const { return subtitleText == SubtitleText::kTracks || subtitleText == SubtitleText::kBoth; }
    bool TextFiles() const { return subtitleText == SubtitleText::kFiles || subtitleText == SubtitleText::kBoth; }
    // How pictures are deinterlaced: kDeinterlaceAuto, On or Off. Auto, with the title's own rate
    // (the profile's FrameRate 0) or 23.976, decides per title from a scan of its pictures:
    // telecined film becomes its 23.976 pictures again, interlaced pictures are deinterlaced,
    // progressive ones pass; with another rate, the pictures marked as interlaced are deinterlaced.
    std::int32_t deinterlace = 0;
    // Each title's black bars are found by a scan and cropped; the file's frame takes the shape
    // of what remains (where the format allows other frame sizes).
    bool autoCrop = false;
    // The progress window's preview renderer for every task's graph; none converts without.
    IBaseFilter* preview = nullptr;
    // Called, on any thread, whenever a task's graph has an event for Step: a window posts itself
    // a call to Step instead of polling.
    GraphNotifyCallback notify;
    // A finished file replaces one of its name (the user agreed to it); otherwise a file that is
    // there when the conversion ends, even one that appeared meanwhile, stays, and the new one
    // goes beside it (each task's IfNameTaken).
    bool overwrite = false;
    // Picks the temporary names tried ("NAME.XXXXXX.part"); 0 random (tests fix it).
    std::uint64_t partNameSeed = 0;
};

// Why a merged run of these tasks cannot be made, or empty: merged titles must bring the same
// number of sound tracks, since they share the file's sound streams.
std::string MergeRefusal(const std::vector<RunTask>& tasks, const RunSettings& settings);
// The sound tracks a task converts, in order: its first (its own choice, the run's, or the
// title's first listed) and, where the profile keeps several, the further ones the title has.
std::vector<std::int32_t> SoundTracksOf(const RunTask& task, const TitleInfo& title, const RunSettings& settings);

// The subpicture streams a task keeps as subtitle streams, in order (none where the file's
// container holds none).
// `heldOnly` false: also those the container cannot hold (to say so).
std::vector<std::int32_t> SubtitleTracksOf(const RunTask& task, const TitleInfo& title, const RunSettings& settings,
                                           const std::string& extension, DiscKind kind, bool heldOnly = true);

// What a profile's settings ask of the subtitle streams kept: text streams, SubRip files, both, or
// neither.
RunSettings::SubtitleText SubtitleTextOf(const WriterSettings& profile);
// Why a run cannot keep subtitles as text streams in files of this kind, or empty.
std::string TextStreamRefusal(const std::string& extension, const RunSettings& settings);

// Why a run cannot begin because two of its files would have one name (or, with overwrite,
// replace one another), or empty.
std::string SameNameRefusal(const std::vector<RunTask>& tasks, bool merge);
// Why the copied streams of merged tasks cannot share one file (pictures of another size or
// shape, sound coded otherwise), or empty.
std::string CopyMergeRefusal(const SourceDisc& disc, const std::vector<RunTask>& tasks, const RunSettings& settings);
// The extension of a file name, in small letters (".mkv").
std::string ExtensionOf(const std::string& name);

