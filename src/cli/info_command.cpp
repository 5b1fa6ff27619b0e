#include "cli/info_command.h"

#include <cstdio>
#include <algorithm>
#include <memory>
#include <vector>

#include "cli/cli_common.h"
#include "cli/json_writer.h"
#include "dvd/disc_info.h"
#include "dvd/iso639.h"
#include "dvd/my_dvd.h"

namespace {

std::string LanguageName(std::int32_t code)
{
    return std::string(ShortLanguageName(FindLanguageByAlpha2(LanguageCodeText(code))));
}

void PrintJson(const std::string& path, const DiscInfo& info, const std::vector<TitleVideo>& videos,
               const std::vector<bool>& readable, int mainTitle)
{
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
        json.Key("main");
        json.Bool(t == mainTitle);
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
            json.EndObject();
        }
        json.EndArray();
        json.EndObject();
    }
    json.EndArray();
    json.EndObject();
    std::printf("%s\n", json.Text().c_str());
}

void PrintText(const std::string& path, const DiscInfo& info, const std::vector<TitleVideo>& videos,
               const std::vector<bool>& readable)
{
    std::printf("%s: %d title%s\n", path.c_str(), info.titleCount, info.titleCount == 1 ? "" : "s");
    for (int t = 0; t < info.titleCount; ++t) {
        const TitleInfo& title = info.titles[t];
        const TitleVideo& video = videos[static_cast<std::size_t>(t)];
        if (!readable[static_cast<std::size_t>(t)]) {
            std::printf("Title_%02d  unreadable (its title set's IFO and BUP are damaged)\n", t + 1);
            continue;
        }
        std::printf("Title_%02d  %s  %d chapter%s  %dx%d %s  %.1f MB%s\n", t + 1, FormatDuration(title.durationMs).c_str(),
                    title.chapterCount, title.chapterCount == 1 ? "" : "s", video.width, video.height,
                    video.wide ? "16:9" : "4:3",
                    static_cast<double>(TitleByteLength(title)) / (1024.0 * 1024.0),
                    IsListedTitle(title) ? "" : "  (shorter than 3 s: not listed)");
        for (int a = 0; a < title.audioCount && a < kMaxAudioStreams; ++a) {
            const std::string name = LanguageName(title.audioLanguage[a]);
            std::printf("  Audio    %04X  %-10s %-4s %d ch\n", static_cast<unsigned>(title.audioStreamId[a]),
                        name.empty() ? "Unknown" : name.c_str(), AudioFormatLabel(title.audioFormat[a]),
                        title.audioChannelsMinusOne[a] + 1);
        }
        for (int s = 0; s < title.subpictureCount && s < kMaxSubpictureStreams; ++s) {
            const std::string name = LanguageName(title.subpictureLanguage[s]);
            std::printf("  Subtitle %04X  %s\n", static_cast<unsigned>(title.subpictureStreamId[s]),
                        name.empty() ? "Unknown" : name.c_str());
        }
    }
}

} // namespace

int RunInfoCommand(const std::vector<std::string>& args)
{
    std::string disc;
    bool json = false;
    for (const std::string& arg : args) {
        if (arg == "--json") {
            json = true;
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
    const OwnedDisc owned = OpenDisc(disc, &why);
    const DiscHandle handle = owned.Get();
    if (!handle) {
        std::fprintf(stderr, "Open DVD error: %s\n", why.c_str());
        return kExitBadInput;
    }
    auto info = std::make_unique<DiscInfo>();
    MyDVDGetInfo(handle, info.get());
    std::vector<TitleVideo> videos(static_cast<std::size_t>(std::max(info->titleCount, 0)));
    std::vector<bool> readable(videos.size());
    for (int t = 0; t < info->titleCount; ++t) {
        MyDVDGetTitleVideo(handle, t, &videos[static_cast<std::size_t>(t)]);
        readable[static_cast<std::size_t>(t)] = MyDVDTitleReadable(handle, t);
    }
    if (json)
        PrintJson(disc, *info, videos, readable, MyDVDMainTitle(handle));
    else
        PrintText(disc, *info, videos, readable);
    return kExitOk;
}
