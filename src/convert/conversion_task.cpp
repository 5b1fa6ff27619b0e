#include "convert/conversion_task.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <string_view>

ConversionTask MakeTitleTask(int titleIndex, const TitleInfo& title, const TitleVideo& video)
{
    ConversionTask task;
    task.titleIndex = titleIndex;
    task.chapterIndex = -1;
    task.sourceLength = static_cast<std::int64_t>(title.durationMs);
    task.clip.trimStart = 0;
    task.clip.trimLength = task.sourceLength;
    // The title's real picture: a fixed 720 × 480 would cut the bottom sixth off PAL pictures.
    task.clip.picture.cropRight = video.width;
    task.clip.picture.cropBottom = video.height;
    return task;
}

namespace {

constexpr std::string_view kFields[] = {"{disc}", "{title}", "{chapter}"};

// What may stand in a file name: no "/", no control characters; blanks and dots do not begin
// or end it.
std::string FileNameSafe(std::string text)
{
    for (char& c : text)
        if (c == '/' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '_';
    const auto edge = [](char c) { return c == ' ' || c == '.'; };
    while (!text.empty() && edge(text.back())) text.pop_back();
    std::size_t first = 0;
    while (first < text.size() && edge(text[first])) ++first;
    return text.substr(first);
}

std::string TwoDigits(int n)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02d", n);
    return text;
}

} // namespace

std::string NamePatternRefusal(const std::string& pattern)
{
    if (pattern.find('/') != std::string::npos) return "a file name cannot hold \"/\"";
    for (std::size_t at = pattern.find('{'); at != std::string::npos; at = pattern.find('{', at + 1)) {
        const std::string_view rest = std::string_view(pattern).substr(at);
        if (std::none_of(std::begin(kFields), std::end(kFields), [&](std::string_view f) { return rest.substr(0, f.size()) == f; }))
            return "\"" + std::string(rest.substr(0, rest.find('}') + 1)) + "\" is not a name field: use {disc}, {title} or {chapter}";
    }
    return {};
}

std::string DiscName(const std::string& path, const std::string& volume)
{
    if (!volume.empty()) return volume;
    std::filesystem::path place = std::filesystem::path(path).lexically_normal();
    if (!place.has_filename()) place = place.parent_path();
    const auto upper = [](std::string text) {
        for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return text;
    };
    if (upper(place.filename().string()) == "VIDEO_TS" || upper(place.filename().string()) == "BDMV") place = place.parent_path();
    // A file (an image, an MPEG file): its name without the extension.
    const std::string name = std::filesystem::is_regular_file(place) ? place.stem().string() : place.filename().string();
    return name.empty() ? "VIDEO_TS" : name;
}

std::string TaskOutputName(const ConversionTask& task, const std::string& extension, const std::string& pattern,
                           const std::string& disc)
{
    if (pattern.empty() || !NamePatternRefusal(pattern).empty()) return TaskOutputName(task, extension);
    const bool chapter = task.chapterIndex >= 0;
    std::string name;
    for (std::size_t at = 0; at < pattern.size();) {
        if (pattern.compare(at, 6, "{disc}") == 0) {
            name += FileNameSafe(disc);
            at += 6;
        } else if (pattern.compare(at, 7, "{title}") == 0) {
            name += TwoDigits(task.titleIndex + 1);
            at += 7;
        } else if (pattern.compare(at, 9, "{chapter}") == 0) {
            if (chapter) {
                name += TwoDigits(task.chapterIndex + 1);
            } else {
                while (!name.empty() && (name.back() == ' ' || name.back() == '_' || name.back() == '-' || name.back() == '.')) name.pop_back();
            }
            at += 9;
        } else {
            name += pattern[at++];
        }
    }
    // Every title and chapter keeps a name of its own.
    if (pattern.find("{title}") == std::string::npos) name += "_" + TwoDigits(task.titleIndex + 1);
    if (chapter && pattern.find("{chapter}") == std::string::npos) name += "_Chapter_" + TwoDigits(task.chapterIndex + 1);
    name = FileNameSafe(name);
    if (name.size() > 200) name.resize(200);
    return name.empty() ? TaskOutputName(task, extension) : name + extension;
}

std::string TaskOutputName(const ConversionTask& task, const std::string& extension)
{
    char name[32];
    if (task.chapterIndex >= 0)
        std::snprintf(name, sizeof name, "Chapter_%02d_%02d", task.titleIndex + 1, task.chapterIndex + 1);
    else
        std::snprintf(name, sizeof name, "Title_%02d", task.titleIndex + 1);
    return name + extension;
}
