// Fuzz target: Blu-ray folders and MPEG files opened and read as discs. The input's first byte
// chooses the kind: odd, a Blu-ray folder whose one clip is the rest of the input after eight bytes
// of IN and OUT times (45 kHz), played by a playlist with an entry mark halfway; even, a file (.mpg
// when bit 1 is set, else .m2ts) holding the rest. Every chapter of every title is then read.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "demux/media_disc.h"
#include "temporary_folder.h"

namespace {

namespace fs = std::filesystem;

const fs::path& Folder()
{
    return FuzzFolder("media-disc-fuzz", [](const fs::path& root) {
        for (const char* sub : {"PLAYLIST", "STREAM", "CLIPINF"}) fs::create_directories(root / "folder" / "BDMV" / sub);
    });
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

// A playlist of one play item of clip 00001 from `in` to `out`, with an entry mark halfway.
std::vector<std::uint8_t> Playlist(std::uint32_t in, std::uint32_t out)
{
    std::vector<std::uint8_t> item = {'0', '0', '0', '0', '1', 'M', '2', 'T', 'S', 0, 0, 0};
    Put32(item, in);
    Put32(item, out);
    item.resize(item.size() + 6);
    std::vector<std::uint8_t> body = {0, 0, 0, 1, 0, 0, static_cast<std::uint8_t>(item.size() >> 8), static_cast<std::uint8_t>(item.size())};
    body.insert(body.end(), item.begin(), item.end());
    std::vector<std::uint8_t> file = {'M', 'P', 'L', 'S', '0', '2', '0', '0'};
    Put32(file, 40);
    Put32(file, static_cast<std::uint32_t>(40 + 4 + body.size()));
    file.resize(40);
    Put32(file, static_cast<std::uint32_t>(body.size()));
    file.insert(file.end(), body.begin(), body.end());
    Put32(file, 16);
    file.insert(file.end(), {0, 1, 0, 1, 0, 0});
    Put32(file, in / 2 + out / 2);
    file.insert(file.end(), {0x10, 0x11, 0, 0, 0, 0});
    return file;
}

void Write(const fs::path& path, const std::uint8_t* data, std::size_t size)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) return 0;
    fs::path place;
    if (data[0] & 1) {
        if (size < 9) return 0;
        const auto read32 = [&](std::size_t at) {
            return static_cast<std::uint32_t>(data[at]) << 24 | static_cast<std::uint32_t>(data[at + 1]) << 16 |
                   static_cast<std::uint32_t>(data[at + 2]) << 8 | data[at + 3];
        };
        place = Folder() / "folder";
        const std::vector<std::uint8_t> playlist = Playlist(read32(1), read32(5));
        Write(place / "BDMV" / "PLAYLIST" / "00000.mpls", playlist.data(), playlist.size());
        Write(place / "BDMV" / "STREAM" / "00001.m2ts", data + 9, size - 9);
    } else {
        place = Folder() / (data[0] & 2 ? "file.mpg" : "file.m2ts");
        Write(place, data + 1, size - 1);
    }
    std::string why;
    std::unique_ptr<Disc> disc = OpenMediaDisc(place.string(), &why);
    if (!disc) return 0;
    auto info = std::make_unique<DiscInfo>();
    disc->GetInfo(info.get());
    std::vector<std::uint8_t> block(10240);
    for (int t = 0; t < info->titleCount; ++t) {
        for (int c = -1; c < info->titles[t].chapterCount; ++c) {
            disc->CellMarks(t, c);
            disc->SetArea(t, c < 0 ? 0 : c);
            disc->SetStopPos(t, c < 0 ? info->titles[t].chapterCount : c + 1);
            while (disc->Read(block.data(), static_cast<std::int32_t>(block.size())) > 0) {
            }
        }
    }
    return 0;
}
