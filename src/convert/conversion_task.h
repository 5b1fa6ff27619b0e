#pragma once
// What converting one title (or chapter) takes: the task record the title list keeps per item
// and the editor edits, with its trim range and picture settings.

#include <cstdint>
#include <string>
#include <vector>

#include "convert/framing.h"
#include "dvd/disc_info.h"
#include "dvd/dvd_disc.h"

// Picture and sound adjustments of a task (ten 32-bit fields).
struct PictureSettings {
    std::int32_t zoomMode = 0; // 0 keep the crop's ratio, 1 full screen, 2 16:9, 3 4:3
    std::int32_t cropLeft = 0;
    std::int32_t cropTop = 0;
    std::int32_t cropRight = 720;
    std::int32_t cropBottom = 480;
    std::int32_t volume = 256;     // 0..512
    std::int32_t brightness = 128; // 0..256
    std::int32_t saturation = 64;  // 0..128
    std::int32_t hue = 0;          // −180..180
    std::int32_t reserved = 0;
};

// Copied as one 56-byte block between the task, the editor and the last settings.
struct ClipSettings {
    std::int64_t trimStart = 0;  // ms from the title's start
    std::int64_t trimLength = 0; // ms
    PictureSettings picture;
};

static_assert(sizeof(PictureSettings) == 40);
static_assert(sizeof(ClipSettings) == 56);

struct ConversionTask {
    std::int32_t titleIndex = 0;
    std::int32_t chapterIndex = -1; // −1: the whole title
    std::int64_t sourceLength = 0;  // ms
    ClipSettings clip;
    // The tracks chosen for this title (BD80, C000, BD20); 0 leaves the choice to the run.
    std::int32_t audioStreamId = 0;
    std::int32_t subtitleId = 0;
    // Further sound tracks, in the order chosen, for formats that keep several (the first is
    // audioStreamId).
    std::vector<std::int32_t> moreAudio;
    // The subpicture streams kept as the file's subtitle streams when the run keeps those listed
    // (RunSettings::SubtitleTracks::kListed), in order.
    std::vector<std::int32_t> subtitleTracks;
    // False: this title is converted without burned-in subtitles (its subtitle choice is kept).
    bool burnSubtitles = true;
    // The burned-in subtitle is the title's forced-only stream in the first sound track's
    // language, if it has one (it follows the sound track; none: nothing is burned in).
    bool forcedOnly = false;
};

// A title's task as a disc load makes it: the whole title, and a crop rectangle of the title's
// own picture size.
ConversionTask MakeTitleTask(int titleIndex, const TitleInfo& title, const TitleVideo& video);
// The shape a title is shown at: 16:9 or 4:3.
inline AspectRatio TitleAspect(const TitleVideo& video) { return video.wide ? kAspect16x9 : kAspect4x3; }
// The output file name the title list shows: "Title_03.mp4" or "Chapter_03_02.mp4".
std::string TaskOutputName(const ConversionTask& task, const std::string& extension);
// The name made from a pattern: "{disc}" is the disc's name, "{title}" the title's number and
// "{chapter}" the chapter's, both with two digits. For a whole title "{chapter}" goes with the
// blanks, "_", "-" and "." just before it. A name without "{title}" gains "_NN" (the title's
// number), a chapter's without "{chapter}" "_Chapter_NN", so that each keeps its own name. An
// empty pattern (or one that leaves no name) gives the names above.
std::string TaskOutputName(const ConversionTask& task, const std::string& extension, const std::string& pattern,
                           const std::string& disc);
// The longest name (without its extension) a pattern makes: room is left for the part's and a
// kept-beside name's suffixes within a file name's 255 bytes. Longer names are cut (in their
// text, never in their numbers, never inside a UTF-8 character).
constexpr std::size_t kLongestOutputName = 200;
// Why a pattern cannot name files ("/" in it, an unknown "{...}"), or empty.
std::string NamePatternRefusal(const std::string& pattern);
// The name a disc goes by: its volume name, else the name of its folder (the one holding
// VIDEO_TS or BDMV), else its file's name without the extension.
std::string DiscName(const std::string& path, const std::string& volume);
