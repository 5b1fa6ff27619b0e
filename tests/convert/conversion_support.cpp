#include "convert/conversion_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>

#include "play/engine_registration.h"
#include "support/ffmpeg_tools.h"
#include "support/memory_source.h"
#include "support/shipped_catalogue.h"
#include "support/test_discs.h"

namespace testing_filters {

const ProfileRecord& Profile(int index)
{
    static std::map<int, ProfileRecord> cache;
    ProfileCatalogue* catalogue = ShippedCatalogue();
    auto found = cache.find(index);
    if (found == cache.end()) {
        ProfileRecord record;
        EXPECT_TRUE(catalogue && catalogue->FindByIndex(index, &record)) << index;
        found = cache.emplace(index, record).first;
    }
    return found->second;
}

OpenTestDisc::OpenTestDisc(const std::string& name) : path(name.starts_with('/') ? name : TestDisc(name))
{
    static const DiscInfo kNone{};
    source = SourceDisc::Open(path);
    EXPECT_TRUE(source) << path;
    handle = source ? source->Handle() : 0;
    info = source ? &source->Info() : &kNone;
}

RunTask MakeRunTask(const OpenTestDisc& disc, int title, const ProfileRecord& profile, int chapter, std::int64_t startMs,
                    std::int64_t lengthMs)
{
    RunTask t;
    t.task = MakeTitleTask(title, disc.info->titles[title], disc.source->VideoOf(title));
    t.task.chapterIndex = chapter;
    t.task.clip.trimStart = startMs;
    t.task.clip.trimLength = lengthMs >= 0 ? lengthMs : t.task.sourceLength - startMs;
    t.outputName = TaskOutputName(t.task, profile.FormatExt);
    return t;
}

RunSettings Settings(const ProfileRecord& profile, const std::string& folder)
{
    RunSettings s;
    s.profile = profile.writer;
    s.outputFolder = folder;
    return s;
}

std::string OutputFolder(const std::string& name)
{
    const std::string folder = TemporaryPath("out-" + name);
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

ConversionResult Convert(const OpenTestDisc& disc, std::vector<RunTask> tasks, RunSettings settings)
{
    static const bool registered = [] {
        RegisterEngine();
        return true;
    }();
    (void)registered;
    ConversionResult result;
    if (settings.picture.cropRight == 720 && settings.picture.cropBottom == 480 && !tasks.empty()) {
        // The title's own picture size (the rest of the settings stay the test's).
        settings.picture.cropRight = tasks.front().task.clip.picture.cropRight;
        settings.picture.cropBottom = tasks.front().task.clip.picture.cropBottom;
    }
    ConversionRun run(disc.source, std::move(tasks), settings,
                      [&](const std::string& message) { result.messages.push_back(message); });
    if (run.Start())
        while (run.Step(200)) {
        }
    result.files = run.FilesWritten();
    result.failed = run.TasksFailed();
    result.cancelled = run.Cancelled();
    result.damage = run.Damage();
    return result;
}

Probe ProbeFile(const std::string& path)
{
    Probe p;
    // One line per stream ("codec_type=video|codec_name=h264|..."), then the format's.
    std::istringstream out(ToolOutput(
        {"ffprobe", "-v", "error", "-count_frames", "-show_entries",
         "stream=codec_type,codec_name,width,height,r_frame_rate,nb_read_frames,sample_rate,channels,start_time:format=duration",
         "-of", "compact=p=0", path}));
    for (std::string line; std::getline(out, line);) {
        std::map<std::string, std::string> fields;
        std::istringstream parts(line);
        for (std::string part; std::getline(parts, part, '|');) {
            const auto eq = part.find('=');
            if (eq != std::string::npos) fields[part.substr(0, eq)] = part.substr(eq + 1);
        }
        auto number = [&](const char* key) {
            const std::string& v = fields[key];
            return v.empty() || v == "N/A" ? 0.0 : std::stod(v);
        };
        const std::string type = fields["codec_type"];
        if (type == "video") {
            ++p.streams;
            p.videoCodec = fields["codec_name"];
            p.width = static_cast<int>(number("width"));
            p.height = static_cast<int>(number("height"));
            const std::string rate = fields["r_frame_rate"];
            const auto slash = rate.find('/');
            if (slash != std::string::npos && std::stod(rate.substr(slash + 1)) != 0)
                p.frameRate = std::stod(rate.substr(0, slash)) / std::stod(rate.substr(slash + 1));
            p.frames = static_cast<int>(number("nb_read_frames"));
            p.videoStart = number("start_time");
        } else if (type == "audio") {
            ++p.streams;
            p.audioCodec = fields["codec_name"];
            p.sampleRate = static_cast<int>(number("sample_rate"));
            p.channels = static_cast<int>(number("channels"));
            p.audioStart = number("start_time");
        } else if (fields.count("duration")) {
            p.duration = number("duration");
        }
    }
    return p;
}

std::vector<std::vector<std::uint8_t>> GreyPictures(const std::string& path)
{
    const std::string raw = TemporaryPath("grey.raw");
    RunTool({"ffmpeg", "-v", "error", "-y", "-i", path, "-map", "0:v:0", "-fps_mode", "passthrough", "-vf",
             "scale=64:48,format=gray", "-f", "rawvideo", raw});
    const auto bytes = ReadFileBytes(raw);
    std::filesystem::remove(raw);
    std::vector<std::vector<std::uint8_t>> pictures;
    for (std::size_t at = 0; at + 64 * 48 <= bytes.size(); at += 64 * 48)
        pictures.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                              bytes.begin() + static_cast<std::ptrdiff_t>(at + 64 * 48));
    return pictures;
}

std::vector<std::int16_t> MonoSound(const std::string& path)
{
    const std::string raw = TemporaryPath("mono.raw");
    RunTool({"ffmpeg", "-v", "error", "-y", "-i", path, "-map", "0:a:0", "-f", "s16le", "-ac", "1", "-ar", "48000", raw});
    const auto bytes = ReadFileBytes(raw);
    std::filesystem::remove(raw);
    std::vector<std::int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

std::vector<double> FlashTimes(const std::string& path)
{
    const Probe probe = ProbeFile(path);
    std::vector<double> times;
    const auto pictures = GreyPictures(path);
    bool inFlash = false;
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        double sum = 0;
        for (auto v : pictures[i]) sum += v;
        const bool bright = sum / static_cast<double>(pictures[i].size()) > 128;
        if (bright && !inFlash) times.push_back(static_cast<double>(i) / probe.frameRate);
        inFlash = bright;
    }
    return times;
}

std::vector<double> ClickTimes(const std::string& path)
{
    const Probe probe = ProbeFile(path);
    const auto sound = MonoSound(path);
    std::vector<double> times;
    std::size_t quietSince = 0;
    for (std::size_t i = 0; i < sound.size(); ++i) {
        if (std::abs(sound[i]) > 6000) {
            if (i - quietSince > 24000 || times.empty()) times.push_back(static_cast<double>(i) / 48000 + probe.audioStart - probe.videoStart);
            quietSince = i;
        }
    }
    return times;
}

double ToneFrequency(const std::vector<std::int16_t>& sound, double seconds)
{
    const std::size_t n = std::min(sound.size(), static_cast<std::size_t>(seconds * 48000));
    int crossings = 0;
    for (std::size_t i = 1; i < n; ++i)
        if ((sound[i - 1] < 0) != (sound[i] < 0)) ++crossings;
    return n > 0 ? crossings / 2.0 / (static_cast<double>(n) / 48000) : 0;
}

} // namespace testing_filters
