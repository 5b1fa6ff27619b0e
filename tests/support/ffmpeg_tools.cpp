#include "support/ffmpeg_tools.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>

#include "support/memory_source.h"

namespace testing_filters {

extern "C" char** environ;

ToolRun RunTool(const std::vector<std::string>& argv)
{
    ToolRun run;
    if (argv.empty()) return run;
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    int outPipe[2], errPipe[2];
    if (pipe(outPipe) != 0) return run;
    if (pipe(errPipe) != 0) {
        close(outPipe[0]);
        close(outPipe[1]);
        return run;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    posix_spawn_file_actions_addclose(&actions, outPipe[0]);
    posix_spawn_file_actions_addclose(&actions, errPipe[0]);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    // Both pipes are read as they fill, so that neither can block the tool.
    std::array<pollfd, 2> fds{pollfd{outPipe[0], POLLIN, 0}, pollfd{errPipe[0], POLLIN, 0}};
    std::string* into[2] = {&run.out, &run.err};
    char buffer[65536];
    int pending = 2;
    while (spawned == 0 && pending > 0 && poll(fds.data(), fds.size(), -1) > 0) {
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                into[i]->append(buffer, static_cast<std::size_t>(n));
            } else {
                fds[i].fd = -1;
                --pending;
            }
        }
    }
    close(outPipe[0]);
    close(errPipe[0]);
    if (spawned != 0) return run;
    int status = 0;
    if (waitpid(child, &status, 0) == child && WIFEXITED(status)) run.status = WEXITSTATUS(status);
    return run;
}

std::vector<std::string> ValuesAfter(const std::string& text, const std::string& key, const std::string& allowed)
{
    std::vector<std::string> found;
    for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1)) {
        const std::size_t start = at + key.size();
        const std::size_t end = std::min(text.find_first_not_of(allowed, start), text.size());
        if (end > start) found.push_back(text.substr(start, end - start));
    }
    return found;
}

std::vector<std::string> WithOptions(std::vector<std::string> argv, const std::string& options)
{
    std::istringstream words(options);
    for (std::string word; words >> word;) argv.push_back(word);
    return argv;
}

std::vector<std::uint8_t> ExtractStream(const std::string& file, const std::string& specifier)
{
    const std::string out = TemporaryPath("stream.es");
    RunTool({"ffmpeg", "-v", "quiet", "-y", "-fflags", "+noparse", "-i", file, "-map", "0:" + specifier, "-c", "copy",
             "-copyinkf", "-f", "data", out});
    auto bytes = ReadFileBytes(out);
    std::filesystem::remove(out);
    return bytes;
}

std::vector<long long> PacketPts(const std::string& file, const std::string& specifier)
{
    std::istringstream probe(ToolOutput({"ffprobe", "-v", "error", "-fflags", "+noparse+nofillin", "-select_streams",
                                         specifier, "-show_entries", "packet=pts", "-of", "csv=p=0", file}));
    std::vector<long long> pts;
    for (std::string line; std::getline(probe, line);)
        if (!line.empty() && line != "N/A") pts.push_back(std::stoll(line));
    return pts;
}

std::vector<std::size_t> PacketSizes(const std::string& file, const std::string& specifier)
{
    std::istringstream probe(ToolOutput({"ffprobe", "-v", "error", "-fflags", "+noparse+nofillin", "-select_streams",
                                         specifier, "-show_entries", "packet=size", "-of", "csv=p=0", file}));
    std::vector<std::size_t> sizes;
    for (std::string line; std::getline(probe, line);)
        if (!line.empty()) sizes.push_back(std::stoull(line));
    return sizes;
}

std::string TemporaryPath(const std::string& name)
{
    return (std::filesystem::temp_directory_path() / ("zuzidero-" + std::to_string(getpid()) + "-" + name)).string();
}

} // namespace testing_filters
