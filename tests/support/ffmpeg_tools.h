#pragma once
// Running ffmpeg and ffprobe from tests: what their demuxers extract from a file, to compare the
// splitter's output with.

#include <cstdint>
#include <string>
#include <vector>

namespace testing_filters {

// What a tool run by RunTool did.
struct ToolRun {
    int status = -1; // its exit status; -1 when it could not be run or was killed
    std::string out; // what it wrote to standard output
    std::string err; // and to standard error
};
// Runs a program (looked up on PATH) with these arguments, no shell in between: paths need no
// quoting. `argv[0]` is the program.
ToolRun RunTool(const std::vector<std::string>& argv);
// The same, for what it wrote to standard output.
inline std::string ToolOutput(const std::vector<std::string>& argv) { return RunTool(argv).out; }
// What follows each `key` in `text` (a tool's log) as far as its characters are among `allowed`,
// in order: ValuesAfter(log, "crop=", "0123456789:") finds every "W:H:X:Y" cropdetect wrote.
std::vector<std::string> ValuesAfter(const std::string& text, const std::string& key, const std::string& allowed);
// `argv` with `options` (words split at spaces, no quoting: options, never paths) appended.
std::vector<std::string> WithOptions(std::vector<std::string> argv, const std::string& options);
// The bytes of one stream (ffmpeg's stream specifier, for example "i:0x1e0" or "v:0") exactly as
// ffmpeg's demuxer delivers its packets, without a parser.
std::vector<std::uint8_t> ExtractStream(const std::string& file, const std::string& specifier);
// The presentation times (90 kHz) of the packets of one stream that have one, without a parser.
std::vector<long long> PacketPts(const std::string& file, const std::string& specifier);
// The sizes of the packets of one stream, without a parser.
std::vector<std::size_t> PacketSizes(const std::string& file, const std::string& specifier);
// A file name in the temporary directory, unique to this process.
std::string TemporaryPath(const std::string& name);

} // namespace testing_filters
