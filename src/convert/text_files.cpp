#include "convert/text_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "text/subtitle_reader.h"

namespace {

// Writes `text` into `path` whole: into a file beside it, synced, renamed into place. An empty
// text when all went well, else why not.
std::string WriteWhole(const std::string& path, const std::string& text)
{
    const std::string part = path + ".part";
    const int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return std::strerror(errno);
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    const int error = done < text.size() ? (errno ? errno : ENOSPC) : ::fsync(fd) != 0 ? errno : 0;
    const bool closed = ::close(fd) == 0;
    if (error || !closed || std::rename(part.c_str(), path.c_str()) != 0) {
        const std::string why = std::strerror(error ? error : errno);
        ::unlink(part.c_str());
        return why;
    }
    return {};
}

// The name of a track's language as the end report says it: "English", or its code.
std::string Shown(const TextResult& result)
{
    const std::string& title = result.label.title;
    const std::size_t paren = title.find(" (");
    return !title.empty() ? title.substr(0, paren) : !result.label.language.empty() ? result.label.language : "Subtitles";
}

} // namespace

std::vector<std::string> TextFileNames(const std::string& video, const std::vector<TextResult>& results)
{
    std::filesystem::path base(video);
    base.replace_extension();
    std::vector<std::string> names;
    for (const TextResult& result : results) {
        if (!result.label.sidecar) continue;
        const std::string language = result.label.language.empty() ? "und" : BibliographicCode(result.label.language);
        const std::string tail = result.label.forced ? ".forced.srt" : ".srt";
        std::string name = base.string() + "." + language + tail;
        for (int n = 2; std::find(names.begin(), names.end(), name) != names.end(); ++n)
            name = base.string() + "." + language + "." + std::to_string(n) + tail;
        names.push_back(name);
    }
    return names;
}

TextFiles WriteTextFiles(const std::string& video, const std::vector<TextResult>& results)
{
    TextFiles files;
    const std::vector<std::string> names = TextFileNames(video, results);
    std::size_t next = 0;
    for (const TextResult& result : results) {
        if (!result.label.sidecar) continue;
        const std::string& name = names[next++];
        if (const std::string why = WriteWhole(name, FormatSrt(result.cues)); !why.empty()) {
            files.failures.push_back("Cannot write " + name + ": " + why);
            continue;
        }
        files.written.push_back(name);
        const std::string check = FormatCheckList(result.cues);
        const std::string checkName = name + ".check.txt";
        if (check.empty()) {
            ::unlink(checkName.c_str()); // an older list of the same name no longer holds
        } else if (const std::string why = WriteWhole(checkName, check); !why.empty()) {
            files.failures.push_back("Cannot write " + checkName + ": " + why);
        }
    }
    return files;
}

std::string TextReport(const std::vector<TextResult>& results)
{
    std::string report;
    for (const TextResult& result : results) {
        const auto toCheck = std::count_if(result.cues.begin(), result.cues.end(), [](const TextCue& c) { return ToCheck(c); });
        report += (report.empty() ? "" : "; ") + Shown(result) + ": " + std::to_string(result.cues.size()) +
                  (result.cues.size() == 1 ? " cue read, " : " cues read, ") + std::to_string(toCheck) + " to check";
    }
    return report;
}

std::vector<std::string> CuesToCheck(const std::vector<TextResult>& results)
{
    std::vector<std::string> lines;
    for (const TextResult& result : results)
        for (const TextCue& cue : result.cues) {
            if (!ToCheck(cue)) continue;
            std::string text = cue.text.empty() ? "(nothing read)" : cue.text;
            std::replace(text.begin(), text.end(), '\n', '|');
            lines.push_back(Shown(result) + " " + CueTime(cue.start) + " --> " + CueTime(cue.end) + " (confidence " +
                            std::to_string(cue.confidence) + "): " + text);
        }
    return lines;
}

std::vector<std::string> TextReaderNotes(const std::vector<TextResult>& results)
{
    std::vector<std::string> notes;
    for (const TextResult& result : results) {
        if (!result.problem.empty())
            notes.push_back(Shown(result) + " subtitles could not be read into text: " + result.problem);
        else if (!result.fallback.empty())
            notes.push_back("No text reader data for " + Shown(result) + " is installed (install " +
                            SubtitleReader::PackageFor(result.fallback) + "); its subtitles were read as English");
        if (result.decodeErrors > 0)
            notes.push_back(Shown(result) + " subtitles: " + std::to_string(result.decodeErrors) + " damaged subtitle pictures could not be read");
    }
    return notes;
}

TextReadability ReadabilityOf(const std::string& language)
{
    TextReadability readability;
    const std::string data = ReaderDataCode(language);
    readability.ownData = SubtitleReader::HasLanguage(data);
    if (!readability.ownData) readability.package = SubtitleReader::PackageFor(data);
    return readability;
}
