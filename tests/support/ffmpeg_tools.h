#pragma once
// Running ffmpeg and ffprobe from tests: what their demuxers extract from a file, to compare the
// splitter's output with.

#include <cstdint>
#include <string>
#include <vector>

namespace testing_filters {

// Runs a shell command and returns what it wrote to standard output.
std::string RunCommand(const std::string& command);
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
