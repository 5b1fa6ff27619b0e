#include "cli/convert_command.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <algorithm>
#include <array>
#include <chrono>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_common.h"
#include "cli/json_writer.h"
#include "convert/conversion_run.h"
#include "convert/text_files.h"
#include "convert/time_text.h"
#include "convert/video_conversion_filter.h"
#include "profiles/format_table.h"
#include "profiles/profile_catalogue.h"
#include "write/part_file.h"
#include "write/settings_check.h"

namespace {

std::atomic<bool> g_interrupted{false};
// The watcher's wake-up: read end, write end (written by the signal handler); -1 when closed.
int g_wakePipe[2] = {-1, -1};

void OnInterrupt(int)
{
    g_interrupted = true;
    const int saved = errno;
    if (g_wakePipe[1] >= 0) {
        const ssize_t written = ::write(g_wakePipe[1], "!", 1);
        (void)written; // a full pipe has a byte in it already
    }
    errno = saved;
}

std::optional<int> ParseInt(const std::string& text, int low, int high)
{
    // Digits, with a minus sign for a negative number; no plus sign, no blanks.
    const std::size_t digits = !text.empty() && text[0] == '-' ? 1 : 0;
    if (text.size() == digits || text.find_first_not_of("0123456789", digits) != std::string::npos) return std::nullopt;
    try {
        std::size_t used = 0;
        const int value = std::stoi(text, &used);
        if (used == text.size() && value >= low && value <= high) return value;
    } catch (...) {
    }
    return std::nullopt;
}

struct Options {
    std::string disc;
    std::string out;
    std::string namePattern; // --name: the files' names ({disc}, {title}, {chapter})
    std::vector<int> titles; // 1-based; empty: all of at least the shortest listed length
    bool mainTitle = false;  // --title main
    double minLengthMs = kShortestListedTitleMs;
    int chapter = 0;         // 1-based; 0: whole titles
    std::string profile = "5";
    std::optional<std::int64_t> start, end, length;
    std::vector<std::string> audio;      // identifiers, languages or "all", resolved per title, in order
    std::optional<std::string> subtitle;
    bool noSubtitle = false;
    bool audioCopy = false;
    std::optional<std::int32_t> rate; // pictures per 1000 s; 0 the source's
    std::optional<int> quality;       // constant quality on the encoder's scale
    std::string speed;                // the encoder's preset
    std::optional<int> bitDepth;      // 8 or 10
    bool twoPass = false;             // the profile's bitrate, met over two passes
    // "all", "none", "chosen", or identifiers and languages (resolved per title).
    std::vector<std::string> subtitleTracks;
    RunSettings::SubtitleText subtitleText = RunSettings::SubtitleText::kNone;
    bool subtitleTextGiven = false;
    bool merge = false;
    std::int32_t deinterlace = kDeinterlaceAuto;
    bool overwrite = false;
    bool cleanParts = false; // --clean-parts: orphaned parts in the output folder are removed
    bool quiet = false;
    bool json = false; // the end report as JSON on the standard output
    bool help = false;
    std::optional<std::array<int, 4>> crop;
    bool autoCrop = false; // each title's black bars, found by a scan
    std::optional<int> zoom, brightness, saturation, hue, volume;
};

// The handlers of the options that take a value: each takes the value (there, and no option
// itself) into the options, and answers an error text, or empty.
std::string TakeTitle(const std::string& v, Options& o)
{
    if (v == "all") {
        o.titles.clear();
        o.mainTitle = false;
        return {};
    }
    if (v == "main") {
        o.mainTitle = true;
        return {};
    }
    const auto n = ParseInt(v, 1, 99);
    if (!n) return "bad title number: " + v;
    if (std::find(o.titles.begin(), o.titles.end(), *n) != o.titles.end()) return "title " + v + " is given twice";
    o.titles.push_back(*n);
    return {};
}

std::string TakeSubtitle(const std::string& v, Options& o)
{
    if ((v == "none" && o.subtitle) || (v != "none" && (o.noSubtitle || (o.subtitle && *o.subtitle != v))))
        return "--subtitle is given twice, differently";
    if (v == "none") {
        o.noSubtitle = true;
        return {};
    }
    if (v.empty()) return "--subtitle needs a subtitle: an identifier such as BD20, a language such as fr, or none";
    o.subtitle = v;
    return {};
}

std::string TakeSubtitleText(const std::string& v, Options& o)
{
    using Text = RunSettings::SubtitleText;
    const Text text = v == "tracks" ? Text::kTracks : v == "files" ? Text::kFiles : v == "both" ? Text::kBoth : Text::kNone;
    if (text == Text::kNone && v != "none") return "--subtitle-text needs tracks, files, both or none";
    if (o.subtitleTextGiven && o.subtitleText != text) return "--subtitle-text is given twice, differently";
    o.subtitleText = text;
    o.subtitleTextGiven = true;
    return {};
}

std::string TakeCrop(const std::string& v, Options& o)
{
    if (v == "auto") {
        o.autoCrop = true;
        return {};
    }
    std::array<int, 4> c{};
    std::size_t at = 0;
    for (int side = 0; side < 4; ++side) {
        const std::size_t comma = side < 3 ? v.find(',', at) : v.size();
        if (comma == std::string::npos) return "--crop needs L,T,R,B with L < R and T < B";
        const auto n = ParseInt(v.substr(at, comma - at), 0, 16384);
        if (!n) return "--crop needs L,T,R,B: four numbers from 0 to the picture's size";
        c[static_cast<std::size_t>(side)] = *n;
        at = comma + 1;
    }
    if (at != v.size() + 1 || c[2] <= c[0] || c[3] <= c[1]) return "--crop needs L,T,R,B with L < R and T < B";
    o.crop = c;
    return {};
}

// A number option's range and where it goes.
std::string TakeNumber(const std::string& name, const std::string& v, int low, int high, std::optional<int>& into)
{
    const auto n = ParseInt(v, low, high);
    if (!n) return name + " needs a number from " + std::to_string(low) + " to " + std::to_string(high);
    into = n;
    return {};
}

std::string TakeDeinterlace(const std::string& v, Options& o)
{
    if (v == "auto")
        o.deinterlace = kDeinterlaceAuto;
    else if (v == "on")
        o.deinterlace = kDeinterlaceOn;
    else if (v == "off")
        o.deinterlace = kDeinterlaceOff;
    else
        return "--deinterlace needs auto, on or off";
    return {};
}

// The options that take a value: what a missing value is said as, and the handler.
struct ValueOption {
    const char* name;
    const char* needs;
    std::function<std::string(const std::string&, Options&)> take;
};

const std::vector<ValueOption>& ValueOptions()
{
    static const std::vector<ValueOption> options = [] {
        const auto time = [](const char* name, std::optional<std::int64_t> Options::*field) {
            return [=](const std::string& v, Options& o) -> std::string {
                const auto t = ParseTimeText(v);
                if (!t) return std::string(name) + " needs a time HH:MM:SS[.mmm] (minutes and seconds below 60, up to 100 hours)";
                o.*field = t;
                return {};
            };
        };
        const auto number = [](const char* name, int low, int high, std::optional<int> Options::*field) {
            return [=](const std::string& v, Options& o) { return TakeNumber(name, v, low, high, o.*field); };
        };
        constexpr const char* kTime = "a time HH:MM:SS[.mmm] (minutes and seconds below 60, up to 100 hours)";
        return std::vector<ValueOption>{
            {"--out", "a folder", [](const std::string& v, Options& o) { o.out = v; return std::string(); }},
            {"--title", "a title number, main or all", TakeTitle},
            {"--rate", "source, 23.976, 24, 25, 29.97, 30, 50 or 59.94",
             [](const std::string& v, Options& o) {
                 static const std::pair<const char*, std::int32_t> kRates[] = {
                     {"source", 0}, {"23.976", 23976}, {"24", 24000}, {"25", 25000}, {"29.97", 29970},
                     {"30", 30000}, {"50", 50000}, {"59.94", 59940}};
                 for (const auto& [name, rate] : kRates)
                     if (v == name) {
                         o.rate = rate;
                         return std::string();
                     }
                 return std::string("--rate needs source, 23.976, 24, 25, 29.97, 30, 50 or 59.94");
             }},
            {"--min-length", "a length: seconds or HH:MM:SS",
             [](const std::string& v, Options& o) {
                 const auto ms = ParseTimeText(v);
                 if (!ms) return std::string("--min-length needs a length: seconds or HH:MM:SS");
                 o.minLengthMs = static_cast<double>(*ms);
                 return std::string();
             }},
            {"--chapter", "a chapter number (from 1)",
             [](const std::string& v, Options& o) {
                 const auto n = ParseInt(v, 1, 99);
                 if (!n) return std::string("--chapter needs a chapter number (from 1)");
                 o.chapter = *n;
                 return std::string();
             }},
            {"--profile", "a profile index or name", [](const std::string& v, Options& o) { o.profile = v; return std::string(); }},
            {"--start", kTime, time("--start", &Options::start)},
            {"--end", kTime, time("--end", &Options::end)},
            {"--length", kTime, time("--length", &Options::length)},
            {"--audio", "a track: an identifier such as BD80, a language such as fr, or all",
             [](const std::string& v, Options& o) {
                 if (v.empty())
                     return std::string("--audio needs a track: an identifier such as BD80, a language such as fr, or all");
                 o.audio.push_back(v);
                 return std::string();
             }},
            {"--subtitle", "a stream identifier or none", TakeSubtitle},
            {"--subtitle-tracks", "all, none, chosen, or subtitles: identifiers such as BD20 or languages such as fr",
             [](const std::string& v, Options& o) {
                 std::size_t from = 0;
                 while (from <= v.size()) {
                     const std::size_t comma = std::min(v.find(',', from), v.size());
                     const std::string item = v.substr(from, comma - from);
                     if (item.empty())
                         return std::string("--subtitle-tracks needs all, none, chosen, or subtitles such as BD20,BD21");
                     const bool word = item == "all" || item == "none" || item == "chosen";
                     const bool hadWord = !o.subtitleTracks.empty() &&
                                          (o.subtitleTracks[0] == "all" || o.subtitleTracks[0] == "none" || o.subtitleTracks[0] == "chosen");
                     if ((word || hadWord) && !o.subtitleTracks.empty() && o.subtitleTracks[0] != item)
                         return "--subtitle-tracks " + item + " cannot go with " + o.subtitleTracks[0];
                     if (std::find(o.subtitleTracks.begin(), o.subtitleTracks.end(), item) == o.subtitleTracks.end())
                         o.subtitleTracks.push_back(item);
                     from = comma + 1;
                 }
                 return std::string();
             }},
            {"--subtitle-text", "tracks, files, both or none", TakeSubtitleText},
            {"--crop", "L,T,R,B with L < R and T < B, or auto", TakeCrop},
            {"--zoom", "a number from 0 to 3", number("--zoom", 0, 3, &Options::zoom)},
            {"--brightness", "a number from 0 to 256", number("--brightness", 0, 256, &Options::brightness)},
            {"--saturation", "a number from 0 to 128", number("--saturation", 0, 128, &Options::saturation)},
            {"--hue", "a number from -180 to 180", number("--hue", -180, 180, &Options::hue)},
            {"--volume", "a number from 0 to 512", number("--volume", 0, 512, &Options::volume)},
            {"--deinterlace", "auto, on or off", TakeDeinterlace},
            {"--quality", "a number on the encoder's quality scale (x264 and x265 CRF 0–51, SVT-AV1 CRF 1–63, VP9 CQ 0–63)",
             number("--quality", 0, 63, &Options::quality)},
            {"--speed", "one of the encoder's presets (x264 and x265: ultrafast … veryslow; SVT-AV1: 12 … 0; VP9: 5 … 0)",
             [](const std::string& v, Options& o) {
                 if (v.empty()) return std::string("--speed needs one of the encoder's presets");
                 o.speed = v;
                 return std::string();
             }},
            {"--bit-depth", "8 or 10",
             [](const std::string& v, Options& o) {
                 if (v != "8" && v != "10") return std::string("--bit-depth needs 8 or 10");
                 o.bitDepth = std::stoi(v);
                 return std::string();
             }},
            {"--name", "a pattern of {disc}, {title}, {chapter} and text",
             [](const std::string& v, Options& o) {
                 if (v.empty()) return std::string("--name needs a pattern of {disc}, {title}, {chapter} and text");
                 if (const std::string refusal = NamePatternRefusal(v); !refusal.empty()) return "--name: " + refusal;
                 o.namePattern = v;
                 return std::string();
             }},
        };
    }();
    return options;
}

// What the options say together; an error text when they contradict each other or lack something.
std::string CheckOptions(const Options& o)
{
    if (o.help) return {};
    if (o.disc.empty()) return "convert needs a disc: a device, a VIDEO_TS folder, an ISO image, a Blu-ray folder or an MPEG file";
    if (o.out.empty()) return "convert needs --out DIR";
    if (o.end && o.length) return "give --end or --length, not both";
    if (o.quality && o.twoPass) return "give --quality (constant quality) or --two-pass (the profile's bitrate), not both";
    if (o.end && *o.end <= o.start.value_or(0)) return "--end must come after --start";
    if (o.length && *o.length == 0) return "--length must be more than 0";
    return {};
}

// Parses the arguments; an error text when they are wrong.
std::string Parse(const std::vector<std::string>& args, Options& o)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--merge" || arg == "--overwrite" || arg == "--quiet" || arg == "--audio-copy" || arg == "--two-pass" ||
            arg == "--clean-parts" || arg == "--json" || IsHelp(arg)) {
            (arg == "--merge"       ? o.merge
             : arg == "--overwrite" ? o.overwrite
             : arg == "--clean-parts" ? o.cleanParts
             : arg == "--quiet"     ? o.quiet
             : arg == "--audio-copy" ? o.audioCopy
             : arg == "--two-pass"  ? o.twoPass
             : arg == "--json"      ? o.json
                                    : o.help) = true;
            continue;
        }
        const auto& options = ValueOptions();
        const auto option = std::find_if(options.begin(), options.end(), [&](const ValueOption& v) { return arg == v.name; });
        if (option != options.end()) {
            // An option's value is the next argument, never the next option ("--out --quiet" lacks
            // its folder); a single dash may start a value ("--hue -20").
            if (i + 1 >= args.size() || args[i + 1].rfind("--", 0) == 0) return arg + " needs " + option->needs;
            const std::string error = option->take(args[++i], o);
            if (!error.empty()) return error;
            continue;
        }
        if (!arg.empty() && arg[0] == '-') return "unknown option for convert: " + arg;
        if (!o.disc.empty()) return "convert takes one disc";
        o.disc = arg;
    }
    return CheckOptions(o);
}

// Why options cannot work with the profile (they would do nothing: the video or the sound is
// copied as it is), or empty.
std::string ProfileRefusal(const Options& o, const ProfileRecord& profile)
{
    const WriterSettings& w = profile.writer;
    const std::string name = "profile " + std::to_string(profile.index);
    std::vector<const char*> picture;
    if (o.subtitle) picture.push_back("--subtitle");
    if (o.crop || o.autoCrop) picture.push_back("--crop");
    if (o.zoom) picture.push_back("--zoom");
    if (o.rate) picture.push_back("--rate");
    if (o.deinterlace == kDeinterlaceOn) picture.push_back("--deinterlace on");
    if (o.brightness) picture.push_back("--brightness");
    if (o.saturation) picture.push_back("--saturation");
    if (o.hue) picture.push_back("--hue");
    if (o.twoPass) picture.push_back("--two-pass");
    if (o.quality) picture.push_back("--quality");
    if (o.bitDepth) picture.push_back("--bit-depth");
    if (!o.speed.empty()) picture.push_back("--speed");
    if (!picture.empty() && w.hasVideo && OutputWriter::IsCopy(w.VideoCodecName))
        return name + " copies the video as it is; " + picture.front() + " needs a profile that encodes";
    if (o.volume && w.hasAudio && (o.audioCopy || OutputWriter::IsCopy(w.AudioCodecName)))
        return (o.audioCopy ? std::string("--audio-copy keeps") : name + " copies") +
               " the sound as it is; --volume needs a profile that encodes it";
    if (o.volume && !w.hasAudio) return name + " makes no sound; --volume needs a profile with sound";
    return {};
}

bool FindProfile(ProfileCatalogue& catalogue, const std::string& wanted, ProfileRecord& profile)
{
    if (auto index = ParseInt(wanted, 0, 100000)) return catalogue.FindByIndex(*index, &profile);
    // A name: the whole name, or the part before "(*.ext)", case-insensitive.
    auto lower = [](std::string s) {
        std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
        return s;
    };
    const std::string target = lower(wanted);
    for (int i = 0;; ++i) {
        ProfileRecord candidate;
        if (!catalogue.FindByIndex(i, &candidate)) return false;
        const std::string name = lower(candidate.ProfileName);
        if (name == target || name.substr(0, name.find('(')) == target) {
            profile = candidate;
            return true;
        }
    }
}

// The progress line: a bar on a terminal, a line a second otherwise.
class ProgressPrinter {
public:
    explicit ProgressPrinter(bool quiet) : m_quiet(quiet), m_terminal(isatty(STDERR_FILENO) == 1) {}
    void Show(const RunProgress& p, std::int64_t nowMs)
    {
        if (m_quiet) return;
        if (!m_terminal && nowMs - m_last < 1000) return;
        m_last = nowMs;
        const int percent = static_cast<int>(p.overall * 100 + 0.5);
        const std::string elapsed = FormatDuration(static_cast<double>(p.elapsedMs));
        const std::string remaining = p.remainingMs >= 0 ? FormatDuration(static_cast<double>(p.remainingMs)) : "--:--:--";
        if (m_terminal) {
            constexpr int kWidth = 30;
            const int filled = static_cast<int>(p.overall * kWidth);
            std::string bar(static_cast<std::size_t>(filled), '#');
            bar.resize(kWidth, '.');
            std::fprintf(stderr, "\r[%s] %3d%%  %s elapsed  %s left  %s (%zu/%zu)\033[K", bar.c_str(), percent,
                         elapsed.c_str(), remaining.c_str(), p.file.c_str(), p.task + 1, p.tasks);
        } else {
            std::fprintf(stderr, "%3d%%  %s elapsed  %s left  %s (%zu/%zu)\n", percent, elapsed.c_str(), remaining.c_str(),
                         p.file.c_str(), p.task + 1, p.tasks);
        }
        // Nobody reads it any more (a closed pipe): the conversion goes on without it.
        if (std::fflush(stderr) != 0 || std::ferror(stderr)) {
            m_quiet = true;
            std::clearerr(stderr);
        }
    }
    void End()
    {
        if (!m_quiet && m_terminal) std::fprintf(stderr, "\n");
    }

private:
    bool m_quiet;
    bool m_terminal;
    std::int64_t m_last = -1000;
};

// A usage error's text; empty when there is none.
using UsageText = std::string;

// The task for one title (1-based) with the command's trim, crop and tracks.
UsageText MakeTask(const SourceDisc& disc, const DiscInfo& info, int number, const Options& o, const ProfileRecord& profile,
                   RunTask& task)
{
    if (number > info.titleCount) return "the disc has no title " + std::to_string(number);
    const TitleInfo& title = info.titles[number - 1];
    const TitleVideo video = disc.VideoOf(number - 1);
    task.task = MakeTitleTask(number - 1, title, video);
    const std::string titleName = "title " + std::to_string(number);
    std::string rangeName = titleName;
    if (o.chapter > 0) {
        if (o.chapter > title.chapterCount) return titleName + " has no chapter " + std::to_string(o.chapter);
        task.task.chapterIndex = o.chapter - 1;
        // What plays from the chapter to the title's end, less what plays from the next one.
        const auto fromChapter = disc.CellMarks(number - 1, o.chapter - 1);
        const auto fromNext = disc.CellMarks(number - 1, o.chapter);
        if (!fromChapter.empty()) {
            const double ms = fromChapter.back().ms - (o.chapter < title.chapterCount && !fromNext.empty() ? fromNext.back().ms : 0.0);
            task.task.sourceLength = std::max<std::int64_t>(static_cast<std::int64_t>(ms + 0.5), 0);
        }
        rangeName = "chapter " + std::to_string(o.chapter) + " of " + titleName;
    }
    if (o.crop && ((*o.crop)[2] > video.width || (*o.crop)[3] > video.height))
        return "the crop " + std::to_string((*o.crop)[0]) + "," + std::to_string((*o.crop)[1]) + "," +
               std::to_string((*o.crop)[2]) + "," + std::to_string((*o.crop)[3]) + " lies outside " + titleName +
               "'s picture of " + std::to_string(video.width) + "x" + std::to_string(video.height);
    const std::int64_t sourceLength = task.task.sourceLength;
    if (o.start && *o.start >= sourceLength)
        return "--start " + FormatDuration(static_cast<double>(*o.start)) + " is past the end of " + rangeName + " (" +
               FormatDuration(static_cast<double>(sourceLength)) + ")";
    std::int64_t& start = task.task.clip.trimStart;
    start = std::min<std::int64_t>(o.start.value_or(0), sourceLength);
    std::int64_t& length = task.task.clip.trimLength;
    length = std::min(o.length ? *o.length : o.end ? *o.end - start : sourceLength - start, sourceLength - start);
    // A range shorter than one picture of the profile (or a hundredth of a second of sound) holds
    // nothing to convert.
    const double frameMs = profile.writer.hasVideo && profile.writer.FrameRate > 0 ? 1000000.0 / profile.writer.FrameRate : 10.0;
    if (static_cast<double>(length) < frameMs)
        return "the range of " + rangeName + " (" + std::to_string(length) + " ms) is shorter than one picture: nothing to convert";
    // The tracks, as each title has them; a copy of the title keeps every track unless told.
    std::vector<std::int32_t> tracks;
    const bool copyTitle = profile.writer.hasVideo && OutputWriter::IsCopy(profile.writer.VideoCodecName);
    for (const std::string& wanted : o.audio.empty() && copyTitle ? std::vector<std::string>{"all"} : o.audio) {
        std::vector<std::int32_t> found;
        if (wanted == "all") {
            found.assign(title.audioStreamId, title.audioStreamId + std::clamp(title.audioCount, 0, kMaxAudioStreams));
        } else if (const std::int32_t id = FindTrack(title, TrackKind::kAudio, wanted)) {
            found.push_back(id);
        } else {
            return titleName + " has no audio track " + wanted + "; its audio tracks: " + ListTracks(title, TrackKind::kAudio);
        }
        for (std::int32_t id : found)
            if (std::find(tracks.begin(), tracks.end(), id) == tracks.end()) tracks.push_back(id);
    }
    if (!tracks.empty()) {
        task.task.audioStreamId = tracks.front();
        task.task.moreAudio.assign(tracks.begin() + 1, tracks.end());
    }
    if (o.subtitle) {
        task.task.subtitleId = FindTrack(title, TrackKind::kSubtitle, *o.subtitle);
        if (task.task.subtitleId == 0)
            return titleName + " has no subtitle " + *o.subtitle + "; its subtitles: " + ListTracks(title, TrackKind::kSubtitle);
    }
    const bool listed = !o.subtitleTracks.empty() && o.subtitleTracks[0] != "all" && o.subtitleTracks[0] != "none" &&
                        o.subtitleTracks[0] != "chosen";
    for (const std::string& wanted : listed ? o.subtitleTracks : std::vector<std::string>{}) {
        const std::int32_t id = FindTrack(title, TrackKind::kSubtitle, wanted);
        if (id == 0) return titleName + " has no subtitle " + wanted + "; its subtitles: " + ListTracks(title, TrackKind::kSubtitle);
        if (std::find(task.task.subtitleTracks.begin(), task.task.subtitleTracks.end(), id) == task.task.subtitleTracks.end())
            task.task.subtitleTracks.push_back(id);
    }
    task.outputName = TaskOutputName(task.task, profile.FormatExt, o.namePattern, DiscName(o.disc, disc.VolumeName()));
    return {};
}

struct TaskList {
    std::vector<RunTask> tasks;
    std::vector<int> unreadable; // titles (1-based) whose title set cannot be read: they fail
};

// The tasks of the titles asked for, or of every title the title list shows (and the unreadable
// ones, which fail with their reason).
UsageText MakeTasks(const SourceDisc& disc, const DiscInfo& info, const Options& o, const ProfileRecord& profile, TaskList& list)
{
    std::vector<int> titles = o.titles;
    if (o.mainTitle) {
        // A single file, or a disc of one title: that title is the main one.
        const int main = info.titleCount == 1 && disc.MainTitle() < 0 ? 0 : disc.MainTitle();
        if (main < 0) return "the disc does not say which title is the main one; choose one with --title N";
        if (std::find(titles.begin(), titles.end(), main + 1) == titles.end()) titles.push_back(main + 1);
    }
    // Every title of at least the shortest length, each film listed once (a title that plays the
    // cells of an earlier one is that title again).
    if (titles.empty())
        for (int t = 0; t < info.titleCount; ++t)
            if ((IsListedTitle(info.titles[t], o.minLengthMs) && disc.SameAs(t) < 0) || !disc.TitleReadable(t)) titles.push_back(t + 1);
    for (int number : titles) {
        if (number <= info.titleCount && !disc.TitleReadable(number - 1)) {
            std::fprintf(stderr, "zuzidero-cli: title %d cannot be read: %s\n", number, disc.UnreadableReason(number - 1).c_str());
            list.unreadable.push_back(number);
            continue;
        }
        RunTask task;
        const UsageText error = MakeTask(disc, info, number, o, profile, task);
        if (!error.empty()) return error;
        list.tasks.push_back(std::move(task));
    }
    return {};
}

// Makes the output folder; refuses to replace files unless told to. False, said, when it cannot go on.
bool PrepareOutputFolder(const Options& o, const std::vector<RunTask>& tasks)
{
    namespace fs = std::filesystem;
    std::error_code fsError;
    fs::create_directories(o.out, fsError);
    if (!fs::is_directory(o.out, fsError)) {
        std::fprintf(stderr, "zuzidero-cli: cannot make the output folder %s%s%s\n", o.out.c_str(), fsError ? ": " : "",
                     fsError ? fsError.message().c_str() : "");
        return false;
    }
    // Parts of conversions that were killed (no running conversion holds their lock): said, and
    // removed only when asked.
    for (const std::string& part : OrphanedParts(o.out)) {
        if (!o.cleanParts) {
            std::fprintf(stderr, "zuzidero-cli: %s was left by a conversion that was stopped (--clean-parts removes it)\n",
                         part.c_str());
        } else if (::unlink(part.c_str()) == 0) {
            std::fprintf(stderr, "zuzidero-cli: removed %s, left by a conversion that was stopped\n", part.c_str());
        } else {
            std::fprintf(stderr, "zuzidero-cli: cannot remove %s: %s\n", part.c_str(), std::strerror(errno));
        }
    }
    // Existing files stay unless the user says otherwise (a link counts, whatever it points at).
    if (o.overwrite) return true;
    for (const std::string& name : RunOutputNames(tasks, o.merge)) {
        const auto path = fs::path(o.out) / name;
        if (fs::exists(fs::symlink_status(path, fsError))) {
            std::fprintf(stderr, "zuzidero-cli: %s exists (--overwrite replaces it)\n", path.string().c_str());
            return false;
        }
    }
    return true;
}

RunSettings SettingsFor(const Options& o, const ProfileRecord& profile, const std::vector<RunTask>& tasks)
{
    RunSettings settings;
    settings.profile = profile.writer;
    settings.choices = profile;
    settings.outputFolder = o.out;
    settings.merge = o.merge;
    settings.picture = tasks.front().task.clip.picture;
    PictureSettings& p = settings.picture;
    if (o.crop) {
        p.cropLeft = (*o.crop)[0];
        p.cropTop = (*o.crop)[1];
        p.cropRight = (*o.crop)[2];
        p.cropBottom = (*o.crop)[3];
    }
    if (o.zoom) p.zoomMode = *o.zoom;
    if (o.brightness) p.brightness = *o.brightness;
    if (o.saturation) p.saturation = *o.saturation;
    if (o.hue) p.hue = *o.hue;
    if (o.volume) p.volume = *o.volume;
    settings.subtitles = !o.noSubtitle;
    settings.deinterlace = o.deinterlace;
    settings.autoCrop = o.autoCrop && !o.crop;
    settings.overwrite = o.overwrite;
    if (o.rate && profile.writer.hasVideo && !OutputWriter::IsCopy(profile.writer.VideoCodecName)) settings.profile.FrameRate = *o.rate;
    if (o.quality) {
        settings.profile.rateControl = kConstantQuality;
        settings.profile.quality = *o.quality;
    }
    if (o.twoPass) settings.profile.rateControl = kTwoPass;
    if (!o.speed.empty()) StoreCodecName(settings.profile.Speed, o.speed);
    if (o.bitDepth) settings.profile.bitDepth = *o.bitDepth;
    settings.severalSoundStreams = TakesSeveralSoundStreams(profile.index, profile.writer.hasVideo != 0, profile.FormatExt);
    // "Same as source": the tracks the container holds are copied, the others converted with
    // the profile's own codec.
    if (!OutputWriter::IsCopy(profile.writer.AudioCodecName)) settings.soundFallback = profile.writer.AudioCodecName;
    if (o.audioCopy && profile.writer.hasAudio) std::snprintf(settings.profile.AudioCodecName, sizeof settings.profile.AudioCodecName, "copy");
    const bool copyTitle = profile.writer.hasVideo && OutputWriter::IsCopy(profile.writer.VideoCodecName);
    // Subtitles read into text without tracks named: every subtitle of each title.
    const bool readsText = o.subtitleText != RunSettings::SubtitleText::kNone;
    const std::string mode = o.subtitleTracks.empty() ? (copyTitle || readsText ? "all" : "none") : o.subtitleTracks[0];
    settings.subtitleText = o.subtitleText;
    settings.subtitleTracks = mode == "none"     ? RunSettings::SubtitleTracks::kNone
                              : mode == "all"    ? RunSettings::SubtitleTracks::kAll
                              : mode == "chosen" ? RunSettings::SubtitleTracks::kChosen
                                                 : RunSettings::SubtitleTracks::kListed;
    return settings;
}

// While it lives, Ctrl-C, SIGTERM and SIGHUP ask the run to cancel (the file written so far is
// finished as a playable file), and a watcher makes the disc's reads give up at once, so that
// neither a damaged drive's retries nor the building of a graph hold the cancel up. A second
// signal ends the program at once.
class InterruptWatch {
public:
    explicit InterruptWatch(std::shared_ptr<SourceDisc> disc)
    {
        g_interrupted = false;
        // The handler only writes a byte into a pipe (all a handler may do); the watcher, woken
        // by it, tells the disc. Closing the pipe's writing end lets the watcher go.
        if (::pipe2(g_wakePipe, O_CLOEXEC) != 0) g_wakePipe[0] = g_wakePipe[1] = -1;
        struct sigaction action {};
        action.sa_handler = OnInterrupt;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &action, &m_previous[i]);
        m_watcher = std::thread([disc] {
            // A byte: a signal came; the end of the pipe: the run is over.
            int signals = 0;
            for (char byte = 0; g_wakePipe[0] >= 0;) {
                const ssize_t got = ::read(g_wakePipe[0], &byte, 1);
                if (got < 0 && errno == EINTR) continue;
                if (got <= 0) break;
                // The first asks the run to cancel and the disc's reads to give up; a second,
                // when the cancel does not come (a drive or a library that does not return),
                // ends the program at once: what was written stays as its part, which the next
                // conversion into the folder lists.
                if (++signals == 1) {
                    disc->Interrupt(true);
                    continue;
                }
                static const char kAtOnce[] = "\nzuzidero-cli: stopped at once\n";
                const ssize_t said = ::write(STDERR_FILENO, kAtOnce, sizeof kAtOnce - 1);
                (void)said;
                ::_exit(kExitFailed);
            }
        });
    }
    ~InterruptWatch()
    {
        for (std::size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &m_previous[i], nullptr);
        if (g_wakePipe[1] >= 0) ::close(g_wakePipe[1]);
        g_wakePipe[1] = -1;
        m_watcher.join();
        if (g_wakePipe[0] >= 0) ::close(g_wakePipe[0]);
        g_wakePipe[0] = -1;
    }
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    bool Interrupted() const { return g_interrupted.load(); }

private:
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction m_previous[std::size(kSignals)] {};
    std::thread m_watcher;
};

std::int64_t NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Converts with progress on the terminal until the run ends or is interrupted.
void RunWithProgress(ConversionRun& run, ProgressPrinter& printer, std::shared_ptr<SourceDisc> disc)
{
    {
        InterruptWatch interrupts(disc);
        if (run.Start()) {
            // The run's events, or a tenth of a second without one: the terminal's progress bar
            // moves on its own clock.
            while (run.Step(100)) {
                if (interrupts.Interrupted()) {
                    run.Cancel();
                    break;
                }
                printer.Show(run.Progress(), NowMs());
            }
        }
    }
    printer.Show(run.Progress(), NowMs() + 1000); // where the run ended
    printer.End();
}

// The end report as JSON: the files written, those beside them, and per file the subtitle
// tracks read into text with their cues to check.
void PrintJsonReport(const ConversionRun& run, int failed)
{
    JsonWriter json;
    json.BeginObject();
    json.Key("files");
    json.BeginArray();
    for (const std::string& file : run.FilesWritten()) json.String(file);
    json.EndArray();
    json.Key("subtitleFiles");
    json.BeginArray();
    for (const std::string& file : run.TextFilesWritten()) json.String(file);
    json.EndArray();
    json.Key("subtitlesAsText");
    json.BeginArray();
    for (const ConversionRun::FileText& text : run.TextReports()) {
        json.BeginObject();
        json.Key("file");
        json.String(text.file);
        json.Key("tracks");
        json.BeginArray();
        for (const TextResult& track : text.results) {
            json.BeginObject();
            json.Key("language");
            json.String(track.label.language.empty() ? "und" : track.label.language);
            json.Key("title");
            json.String(track.label.title);
            json.Key("cues");
            json.Int(static_cast<std::int64_t>(track.cues.size()));
            json.Key("toCheck");
            json.BeginArray();
            for (const TextCue& cue : track.cues) {
                if (!ToCheck(cue)) continue;
                json.BeginObject();
                json.Key("start");
                json.Double(static_cast<double>(cue.start) / 1e7);
                json.Key("end");
                json.Double(static_cast<double>(cue.end) / 1e7);
                json.Key("confidence");
                json.Int(cue.confidence);
                json.Key("text");
                json.String(cue.text);
                json.EndObject();
            }
            json.EndArray();
            json.EndObject();
        }
        json.EndArray();
        json.EndObject();
    }
    json.EndArray();
    json.Key("tasksFailed");
    json.Int(failed);
    json.Key("cancelled");
    json.Bool(run.Cancelled());
    json.EndObject();
    std::printf("%s\n", json.Text().c_str());
}

// Says what was written and what could not be read; the exit status.
int Report(const ConversionRun& run, int unreadable, bool quiet, bool json)
{
    const int failed = run.TasksFailed() + unreadable;
    if (json) PrintJsonReport(run, failed);
    if (!quiet) {
        for (const std::string& file : run.FilesWritten()) std::fprintf(stderr, "written: %s\n", file.c_str());
        for (const std::string& file : run.TextFilesWritten()) std::fprintf(stderr, "subtitles written: %s\n", file.c_str());
        // What the subtitles' reading came to, and the cues a person should look at.
        for (const ConversionRun::FileText& text : run.TextReports()) {
            const std::string name = std::filesystem::path(text.file).filename().string();
            std::fprintf(stderr, "subtitles read into text in %s: %s\n", name.c_str(), TextReport(text.results).c_str());
            for (const std::string& cue : CuesToCheck(text.results)) std::fprintf(stderr, "  to check: %s\n", cue.c_str());
        }
        std::fprintf(stderr, "%zu file%s written, %d task%s failed%s\n", run.FilesWritten().size(),
                     run.FilesWritten().size() == 1 ? "" : "s", failed, failed == 1 ? "" : "s",
                     run.Cancelled() ? " (cancelled)" : "");
        if (run.TextFilesFailed() > 0) std::fprintf(stderr, "%d subtitle file%s not written\n", run.TextFilesFailed(),
                                                    run.TextFilesFailed() == 1 ? "" : "s");
    }
    for (const std::string& note : run.TextNotes()) std::fprintf(stderr, "%s\n", note.c_str());
    // What could not be read is said even with --quiet: it is what makes the exit status 3.
    for (const FileDamage& damage : run.Damage()) std::fprintf(stderr, "%s\n", DamageText(damage).c_str());
    for (const std::string& line : run.Unreached()) std::fprintf(stderr, "%s\n", line.c_str());
    // Nothing of what was asked for could be used at all: a disc that cannot be used.
    const int unusable = run.TasksUnusable() + unreadable;
    if (!run.Cancelled() && run.FilesWritten().empty() && failed > 0 && unusable == failed) return kExitBadInput;
    // A SubRip file asked for and not written is a loss too, though its video is whole.
    if (failed > 0 || run.Cancelled() || run.FilesWritten().empty() || run.TextFilesFailed() > 0) return kExitFailed;
    return run.Damage().empty() && run.Unreached().empty() ? kExitOk : kExitDamaged;
}

} // namespace

int RunConvertCommand(const std::vector<std::string>& args)
{
    Options o;
    const std::string error = Parse(args, o);
    if (!error.empty()) return UsageError(error);
    if (o.help) {
        PrintUsage();
        return kExitOk;
    }

    ProfileCatalogue catalogue;
    if (!LoadProfiles(catalogue)) {
        std::fprintf(stderr, "Load Format.xml error: %s\n", catalogue.LoadProblem().c_str());
        return kExitBadInput;
    }
    ProfileRecord profile;
    if (!FindProfile(catalogue, o.profile, profile)) return UsageError("no such profile: " + o.profile);
    if (const std::string refusal = ProfileRefusal(o, profile); !refusal.empty()) return UsageError(refusal);

    std::string why;
    Workspace work({});
    const std::shared_ptr<SourceDisc> disc = LoadSource(work, o.disc, &why);
    if (!disc) {
        PrintFailure(SourceDisc::OpenErrorText(o.disc, why));
        return kExitBadInput;
    }
    const DiscInfo& info = disc->Info();
    for (const std::string& line : disc->Unreadable()) std::fprintf(stderr, "zuzidero-cli: %s\n", line.c_str());

    TaskList list;
    const UsageText taskError = MakeTasks(*disc, info, o, profile, list);
    if (!taskError.empty()) return UsageError(taskError);
    if (list.tasks.empty() && list.unreadable.empty()) {
        std::fprintf(stderr, "zuzidero-cli: the disc has no title of %g seconds or more\n", o.minLengthMs / 1000);
        return kExitBadInput;
    }
    if (list.tasks.empty()) return kExitBadInput; // every title asked for is unreadable (said above)
    if (!PrepareOutputFolder(o, list.tasks)) return kExitBadInput;

    ProgressPrinter printer(o.quiet);
    const RunSettings settings = SettingsFor(o, profile, list.tasks);
    if (const std::string refusal = MergeRefusal(list.tasks, settings); !refusal.empty()) return UsageError(refusal);
    if (const std::string refusal = SettingsRefusal(profile, settings.profile); !refusal.empty()) return UsageError(refusal);
    ConversionRun run(disc, std::move(list.tasks), settings, [&](const std::string& message) {
        printer.End();
        PrintFailure(message);
    });
    RunWithProgress(run, printer, disc);
    return Report(run, static_cast<int>(list.unreadable.size()), o.quiet, o.json);
}
