#pragma once
// Walks and edits the PES packets of an MPEG-2 program stream in memory, to make test inputs
// from the test discs (scrambled packets, time-stamp jumps, other sub-stream numbers).

#include <cstdint>
#include <functional>
#include <vector>

namespace testing_filters {

struct PesPacket {
    std::size_t start = 0;   // offset of 00 00 01 id
    std::uint8_t id = 0;
    std::size_t header = 0;  // offset of the MPEG-2 flags byte (after the length)
    std::size_t payload = 0; // offset of the payload
    std::size_t end = 0;     // offset after the packet
    bool hasPts = false;
};

// Calls `visit` for every PES packet (pack and system headers are skipped).
void ForEachPesPacket(std::vector<std::uint8_t>& stream, const std::function<void(PesPacket&)>& visit);
// The PTS of a packet (90 kHz), and setting it.
std::int64_t ReadPts(const std::vector<std::uint8_t>& stream, const PesPacket& packet);
void WritePts(std::vector<std::uint8_t>& stream, const PesPacket& packet, std::int64_t pts);

} // namespace testing_filters
