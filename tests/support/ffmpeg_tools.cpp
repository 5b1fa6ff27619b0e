#include "support/ffmpeg_tools.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>

#include "support/memory_source.h"

namespace testing_filters {

std::string RunCommand(const std::string& command)
{
    std::string out;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    char buffer[65536];
    while (pipe && !std::feof(pipe.get())) {
        const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe.get());
        if (n == 0) break;
        out.append(buffer, n);
    }
    return out;
}

std::vector<std::uint8_t> ExtractStream(const std::string& file, const std::string& specifier)
{
    const std::string out = TemporaryPath("stream.es");
    RunCommand("ffmpeg -v quiet -y -fflags +noparse -i '" + file + "' -map 0:" + specifier +
               " -c copy -copyinkf -f data '" + out + "'");
    auto bytes = ReadFileBytes(out);
    std::filesystem::remove(out);
    return bytes;
}

std::vector<long long> PacketPts(const std::string& file, const std::string& specifier)
{
    std::istringstream probe(RunCommand("ffprobe -v error -fflags +noparse+nofillin -select_streams " + specifier +
                                        " -show_entries packet=pts -of csv=p=0 '" + file + "'"));
    std::vector<long long> pts;
    for (std::string line; std::getline(probe, line);)
        if (!line.empty() && line != "N/A") pts.push_back(std::stoll(line));
    return pts;
}

std::vector<std::size_t> PacketSizes(const std::string& file, const std::string& specifier)
{
    std::istringstream probe(RunCommand("ffprobe -v error -fflags +noparse+nofillin -select_streams " + specifier +
                                        " -show_entries packet=size -of csv=p=0 '" + file + "'"));
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
