#include "convert/conversion_task.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <vector>

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
    std::error_code error;
    const std::string name = std::filesystem::is_regular_file(place, error) ? place.stem().string() : place.filename().string();
    return name.empty() ? "VIDEO_TS" : name;
}

std::string TaskOutputName(const ConversionTask& task, const std::string& extension, const std::string& pattern,
                           const std::string& disc)
{
    if (pattern.empty() || !NamePatternRefusal(pattern).empty()) return TaskOutputName(task, extension);
    const bool chapter = task.chapterIndex >= 0;
    // The name in pieces: text that may be cut where the name is too long (the disc's name, the
    // pattern's own words), and the numbers, which never are, so that two titles never share a
    // name.
    struct Piece {
        std::string text;
        bool number;
    };
    std::vector<Piece> pieces;
    bool literal = false; // the last piece is the pattern's own text
    const auto text = [&](std::string t, bool fromPattern) {
        if (fromPattern && literal)
            pieces.back().text += t;
        else
            pieces.push_back({std::move(t), false});
        literal = fromPattern;
    };
    for (std::size_t at = 0; at < pattern.size();) {
        literal = literal && !pieces.empty() && !pieces.back().number;
        if (pattern.compare(at, 6, "{disc}") == 0) {
            text(FileNameSafe(disc), false);
            at += 6;
        } else if (pattern.compare(at, 7, "{title}") == 0) {
            pieces.push_back({TwoDigits(task.titleIndex + 1), true});
            at += 7;
        } else if (pattern.compare(at, 9, "{chapter}") == 0) {
            if (chapter) {
                pieces.push_back({TwoDigits(task.chapterIndex + 1), true});
            } else if (!pieces.empty() && !pieces.back().number) {
                std::string& last = pieces.back().text;
                while (!last.empty() && (last.back() == ' ' || last.back() == '_' || last.back() == '-' || last.back() == '.')) last.pop_back();
            }
            at += 9;
        } else {
            text(std::string(1, pattern[at++]), true);
        }
    }
    // Every title and chapter keeps a name of its own.
    if (pattern.find("{title}") == std::string::npos) pieces.push_back({"_" + TwoDigits(task.titleIndex + 1), true});
    if (chapter && pattern.find("{chapter}") == std::string::npos) pieces.push_back({"_Chapter_" + TwoDigits(task.chapterIndex + 1), true});
    // File names hold 255 bytes; the part ("NAME.EXT.XXXXXX.part") and a name beside a taken one
    // ("NAME (partial 99).EXT") need room beside the name itself.
    std::size_t size = 0;
    for (const Piece& p : pieces) size += p.text.size();
    // The longest text first (the disc's name, rather than a separator after it).
    std::vector<Piece*> texts;
    for (Piece& p : pieces)
        if (!p.number) texts.push_back(&p);
    std::stable_sort(texts.begin(), texts.end(), [](const Piece* a, const Piece* b) { return a->text.size() > b->text.size(); });
    for (Piece* p : texts) {
        if (size <= kLongestOutputName) break;
        std::size_t keep = p->text.size() - std::min(p->text.size(), size - kLongestOutputName);
        // Never in the middle of a UTF-8 character.
        while (keep > 0 && (static_cast<unsigned char>(p->text[keep]) & 0xC0) == 0x80) --keep;
        size -= p->text.size() - keep;
        p->text.resize(keep);
    }
    std::string name;
    for (const Piece& p : pieces) name += p.text;
    name = FileNameSafe(name);
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
