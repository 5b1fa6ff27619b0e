#include "support/program_stream_tools.h"

namespace testing_filters {

void ForEachPesPacket(std::vector<std::uint8_t>& s, const std::function<void(PesPacket&)>& visit)
{
    std::size_t i = 0;
    while (i + 6 <= s.size()) {
        if (!(s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1)) {
            ++i;
            continue;
        }
        const std::uint8_t id = s[i + 3];
        if (id == 0xBA) { // MPEG-2 pack header: 14 bytes plus stuffing
            if (i + 14 > s.size()) break;
            i += 14 + (s[i + 13] & 7);
            continue;
        }
        if (id < 0xBB) {
            ++i;
            continue;
        }
        const std::size_t length = (static_cast<std::size_t>(s[i + 4]) << 8) | s[i + 5];
        PesPacket packet;
        packet.start = i;
        packet.id = id;
        packet.end = i + 6 + length;
        if (id != 0xBB && id != 0xBE && id != 0xBF && (s[i + 6] & 0xC0) == 0x80) {
            packet.header = i + 6;
            packet.hasPts = (s[i + 7] & 0x80) != 0;
            packet.payload = i + 9 + s[i + 8];
        } else {
            packet.payload = i + 6;
        }
        if (packet.end > s.size()) break;
        visit(packet);
        i = packet.end;
    }
}

std::int64_t ReadPts(const std::vector<std::uint8_t>& s, const PesPacket& p)
{
    const std::size_t b = p.header + 3;
    return (static_cast<std::int64_t>((s[b] >> 1) & 7) << 30) | (static_cast<std::int64_t>(s[b + 1]) << 22) |
           (static_cast<std::int64_t>(s[b + 2] >> 1) << 15) | (static_cast<std::int64_t>(s[b + 3]) << 7) | (s[b + 4] >> 1);
}

void WritePts(std::vector<std::uint8_t>& s, const PesPacket& p, std::int64_t pts)
{
    const std::size_t b = p.header + 3;
    s[b] = static_cast<std::uint8_t>((s[b] & 0xF0) | (((pts >> 30) & 7) << 1) | 1);
    s[b + 1] = static_cast<std::uint8_t>(pts >> 22);
    s[b + 2] = static_cast<std::uint8_t>((((pts >> 15) & 0x7F) << 1) | 1);
    s[b + 3] = static_cast<std::uint8_t>(pts >> 7);
    s[b + 4] = static_cast<std::uint8_t>(((pts & 0x7F) << 1) | 1);
}

} // namespace testing_filters
