#include "cli/info_command.h"

#include <cstdio>
#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include "cli/cli_common.h"
#include "cli/json_writer.h"
#include "dvd/disc_info.h"
#include "dvd/iso639.h"
#include "convert/file_marks.h"
#include "convert/source_disc.h"
#include "convert/text_files.h"
#include "convert/title_scan.h"
#include "convert/time_text.h"

namespace {

std::string LanguageName(std::int32_t code)
{
    return std::string(ShortLanguageName(FindLanguageByAlpha2(LanguageCodeText(code))));
}

// What the record does not hold: each title's picture, whether it can be read and where it comes
// from, and what on the disc could not be read.
struct DiscFacts {
    std::vector<TitleVideo> videos;
    std::vector<bool> readable;
    std::vector<std::string> why; // of an unreadable title
    std::vector<std::string> sources; // "clip 00001", or empty
    std::vector<std::string> unreadable;
    std::vector<std::vector<bool>> forced; // per title, per subpicture stream
    int mainTitle = -1;
    std::vector<int> sameAs; // per title: the earlier title it repeats, or -1
    double shortestMs = kShortestListedTitleMs;
    std::vector<std::optional<TitleScanResult>> scans; // per title, with --scan (listed titles only)
};

// How a track is kept in a file that keeps it as it is (Matroska, the original-quality copy).
StreamLabel KeptAudio(const TitleInfo& title, int a)
{
    return KeptTrackLabel(title, title.audioStreamId[a], ".mkv", WriterSettings{}, "aac");
}

void PrintJson(const std::string& path, const DiscInfo& info, const DiscFacts& facts)
{
    const auto& videos = facts.videos;
    const auto& readable = facts.readable;
    JsonWriter json;
    json.BeginObject();
    json.Key("disc");
    json.String(path);
    json.Key("titles");
    json.BeginArray();
    for (int t = 0; t < info.titleCount; ++t) {
        const TitleInfo& title = info.titles[t];
        json.BeginObject();
        json.Key("title");
        json.Int(t + 1);
        json.Key("readable");
        json.Bool(readable[static_cast<std::size_t>(t)]);
        if (!readable[static_cast<std::size_t>(t)]) {
            json.Key("unreadableBecause");
            json.String(facts.why[static_cast<std::size_t>(t)]);
        }
        json.Key("main");
        json.Bool(t == facts.mainTitle);
        json.Key("sameAs");
        if (facts.sameAs[static_cast<std::size_t>(t)] >= 0)
            json.Int(facts.sameAs[static_cast<std::size_t>(t)] + 1);
        else
            json.Null();
        json.Key("listed");
        json.Bool(IsListedTitle(title, facts.shortestMs) && facts.sameAs[static_cast<std::size_t>(t)] < 0);
        json.Key("source");
        json.String(facts.sources[static_cast<std::size_t>(t)]);
        json.Key("durationMs");
        json.Double(title.durationMs);
        json.Key("chapters");
        json.Int(title.chapterCount);
        json.Key("width");
        json.Int(videos[static_cast<std::size_t>(t)].width);
        json.Key("height");
        json.Int(videos[static_cast<std::size_t>(t)].height);
        json.Key("aspect");
        json.String(videos[static_cast<std::size_t>(t)].wide ? "16:9" : "4:3");
        if (const auto& scan = facts.scans.empty() ? std::nullopt : facts.scans[static_cast<std::size_t>(t)]) {
            json.Key("blackBars");
            json.BeginObject();
            json.Key("left");
            json.Int(scan->bars.left);
            json.Key("top");
            json.Int(scan->bars.top);
            json.Key("right");
            json.Int(scan->bars.right);
            json.Key("bottom");
            json.Int(scan->bars.bottom);
            json.EndObject();
            json.Key("fields");
            json.String(FieldsName(scan->fields));
            json.Key("softTelecine");
            json.Bool(scan->softTelecine);
        }
        json.Key("chapterSectors");
        json.BeginArray();
        for (int c = 0; c < title.chapterCount && c < kMaxChapters; ++c) json.Int(title.chapterSectors[c]);
        json.EndArray();
        json.Key("audio");
        json.BeginArray();
        for (int a = 0; a < title.audioCount && a < kMaxAudioStreams; ++a) {
            json.BeginObject();
            json.Key("streamId");
            json.Int(title.audioStreamId[a]);
            json.Key("id");
            json.String(StreamIdText(title.audioStreamId[a]));
            json.Key("language");
            json.String(LanguageCodeText(title.audioLanguage[a]));
            json.Key("languageName");
            json.String(LanguageName(title.audioLanguage[a]));
            json.Key("format");
            json.String(AudioFormatLabel(title.audioFormat[a]));
            json.Key("channels");
            json.Int(title.audioChannelsMinusOne[a] + 1);
            const StreamLabel kept = KeptAudio(title, a);
            json.Key("keptLanguage");
            json.String(kept.language.empty() ? "und" : kept.language);
            json.Key("keptTitle");
            json.String(kept.title);
            json.EndObject();
        }
        json.EndArray();
        json.Key("subtitles");
        json.BeginArray();
        for (int s = 0; s < title.subpictureCount && s < kMaxSubpictureStreams; ++s) {
            json.BeginObject();
            json.Key("streamId");
            json.Int(title.subpictureStreamId[s]);
            json.Key("id");
            json.String(StreamIdText(title.subpictureStreamId[s]));
            json.Key("language");
            json.String(LanguageCodeText(title.subpictureLanguage[s]));
            json.Key("languageName");
            json.String(LanguageName(title.subpictureLanguage[s]));
            const StreamLabel kept = SubtitleLabel(title, title.subpictureStreamId[s], facts.forced[static_cast<std::size_t>(t)]);
            json.Key("forced");
            json.Bool(kept.forced);
            json.Key("keptLanguage");
            json.String(kept.language.empty() ? "und" : kept.language);
            json.Key("keptTitle");
            json.String(kept.title);
            // Whether --subtitle-text reads it with its language's own data.
            const TextReadability readability = ReadabilityOf(kept.language);
            json.Key("readableAsText");
            json.Bool(readability.ownData);
            if (!readability.ownData) {
                json.Key("textDataPackage");
                json.String(readability.package);
            }
            json.EndObject();
        }
        json.EndArray();
        json.EndObject();
    }
    json.EndArray();
    json.Key("unreadable");
    json.BeginArray();
    for (const std::string& line : facts.unreadable) json.String(line);
    json.EndArray();
    json.EndObject();
    std::printf("%s\n", json.Text().c_str());
}

void PrintText(const std::string& path, const DiscInfo& info, const DiscFacts& facts)
{
    const auto& videos = facts.videos;
    const auto& readable = facts.readable;
    std::printf("%s: %d title%s\n", path.c_str(), info.titleCount, info.titleCount == 1 ? "" : "s");
    for (int t = 0; t < info.titleCount; ++t) {
        const TitleInfo& title = info.titles[t];
        const TitleVideo& video = videos[static_cast<std::size_t>(t)];
        if (!readable[static_cast<std::size_t>(t)]) {
            std::printf("Title_%02d  unreadable (%s)\n", t + 1, facts.why[static_cast<std::size_t>(t)].c_str());
            continue;
        }
        const std::string& source = facts.sources[static_cast<std::size_t>(t)];
        const int sameAs = facts.sameAs[static_cast<std::size_t>(t)];
        char shortest[64];
        std::snprintf(shortest, sizeof shortest, "  (shorter than %g s: not listed)", facts.shortestMs / 1000);
        char repeats[48];
        std::snprintf(repeats, sizeof repeats, "  (same as Title_%02d)", sameAs + 1);
        std::printf("Title_%02d  %s  %d chapter%s  %dx%d %s  %.1f MB%s%s%s%s\n", t + 1, FormatDuration(title.durationMs).c_str(),
                    title.chapterCount, title.chapterCount == 1 ? "" : "s", video.width, video.height,
                    video.wide ? "16:9" : "4:3",
                    static_cast<double>(TitleByteLength(title)) / (1024.0 * 1024.0),
                    source.empty() ? "" : ("  (" + source + ")").c_str(), t == facts.mainTitle ? "  main" : "",
                    sameAs >= 0 ? repeats : "", IsListedTitle(title, facts.shortestMs) ? "" : shortest);
        if (const auto& scan = facts.scans.empty() ? std::nullopt : facts.scans[static_cast<std::size_t>(t)])
            std::printf("  Scan     black bars left %d top %d right %d bottom %d; %s%s\n", scan->bars.left, scan->bars.top,
                        scan->bars.right, scan->bars.bottom, FieldsName(scan->fields),
                        scan->softTelecine ? " (by the stream's flags)" : "");
        for (int a = 0; a < title.audioCount && a < kMaxAudioStreams; ++a) {
            const std::string name = LanguageName(title.audioLanguage[a]);
            const StreamLabel kept = KeptAudio(title, a);
            std::printf("  Audio    %04X  %-10s %-4s %d ch  kept as %s \"%s\"\n", static_cast<unsigned>(title.audioStreamId[a]),
                        name.empty() ? "Unknown" : name.c_str(), AudioFormatLabel(title.audioFormat[a]),
                        title.audioChannelsMinusOne[a] + 1, kept.language.empty() ? "und" : kept.language.c_str(),
                        kept.title.c_str());
        }
        for (int s = 0; s < title.subpictureCount && s < kMaxSubpictureStreams; ++s) {
            const std::string name = LanguageName(title.subpictureLanguage[s]);
            const StreamLabel kept = SubtitleLabel(title, title.subpictureStreamId[s], facts.forced[static_cast<std::size_t>(t)]);
            const TextReadability readability = ReadabilityOf(kept.language);
            const std::string text = readability.ownData ? "readable as text" : "read as text with English data (install " + readability.package + ")";
            std::printf("  Subtitle %04X  %-10s%s  kept as %s \"%s\", %s\n", static_cast<unsigned>(title.subpictureStreamId[s]),
                        name.empty() ? "Unknown" : name.c_str(), kept.forced ? " forced" : "",
                        kept.language.empty() ? "und" : kept.language.c_str(), kept.title.c_str(), text.c_str());
        }
    }
    for (const std::string& line : facts.unreadable) std::printf("Unreadable: %s\n", line.c_str());
}

} // namespace

int RunInfoCommand(const std::vector<std::string>& args)
{
    std::string disc;
    bool json = false;
    bool scan = false;
    double minLengthMs = kShortestListedTitleMs;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (IsHelp(arg)) {
            PrintUsage();
            return kExitOk;
        }
        if (arg == "--json") {
            json = true;
        } else if (arg == "--scan") {
            scan = true;
        } else if (arg == "--min-length") {
            if (++i >= args.size()) return UsageError("--min-length needs a number of seconds");
            const std::optional<std::int64_t> ms = ParseTimeText(args[i]);
            if (!ms) return UsageError("--min-length needs a length in seconds (or HH:MM:SS), not " + args[i]);
            minLengthMs = static_cast<double>(*ms);
        } else if (!arg.empty() && arg[0] == '-') {
            return UsageError("unknown option for info: " + arg);
        } else if (disc.empty()) {
            disc = arg;
        } else {
            return UsageError("info takes one disc");
        }
    }
    if (disc.empty())
        return UsageError("info needs a disc: a device, a VIDEO_TS folder, an ISO image, a Blu-ray folder or an MPEG file");

    std::string why;
    Workspace work({});
    const std::shared_ptr<SourceDisc> source = LoadSource(work, disc, &why);
    if (!source) {
        PrintFailure(SourceDisc::OpenErrorText(disc, why));
        return kExitBadInput;
    }
    const DiscInfo& info = source->Info();
    DiscFacts facts;
    for (int t = 0; t < info.titleCount; ++t) {
        facts.videos.push_back(source->VideoOf(t));
        facts.readable.push_back(source->TitleReadable(t));
        facts.why.push_back(source->UnreadableReason(t));
        facts.sources.push_back(source->TitleSource(t));
        facts.forced.push_back(source->ForcedSubpictures(t));
        facts.sameAs.push_back(source->SameAs(t));
    }
    facts.unreadable = source->Unreadable();
    facts.mainTitle = source->MainTitle();
    facts.shortestMs = minLengthMs;
    if (scan) {
        // The listed titles' pictures, sampled (a title listed once: its repeats are the same).
        for (int t = 0; t < info.titleCount; ++t) {
            const bool listed = facts.readable[static_cast<std::size_t>(t)] && IsListedTitle(info.titles[t], minLengthMs) &&
                                facts.sameAs[static_cast<std::size_t>(t)] < 0;
            TitleScanResult result = listed ? ScanSource(work, t) : TitleScanResult{};
            facts.scans.push_back(result.pictures > 0 ? std::optional<TitleScanResult>(std::move(result)) : std::nullopt);
        }
    }
    // What could not be read is said on stderr too, whatever the output's form.
    for (const std::string& line : facts.unreadable) std::fprintf(stderr, "zuzidero-cli: %s\n", line.c_str());
    if (json)
        PrintJson(disc, info, facts);
    else
        PrintText(disc, info, facts);
    return kExitOk;
}
