// Fuzz target: a disc's navigation as the disc library reads it. The input becomes the information
// files of a temporary VIDEO_TS folder (the library reads real files through libdvdread): the
// video manager's IFO and BUP, and title set 1's IFO and BUP, beside a small title VOB. The disc is
// opened, described, and each title's area set up and read a little.
//
// Input: 4 bytes (big-endian) give the video manager's share; the rest is the title set's. The
// backups get the same bytes, except where the input's last byte is odd: then they are cut in
// half (so that the library's fallback to a backup is tried too).

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "dvd/my_dvd.h"
#include "temporary_folder.h"

namespace {

namespace fs = std::filesystem;

const fs::path& Folder()
{
    return FuzzFolder("nav-fuzz", [](const fs::path& root) {
        fs::create_directories(root / "VIDEO_TS");
        // A title VOB of 64 sectors of padding packs: cells read from it as far as it goes.
        std::vector<std::uint8_t> vob(64 * 2048, 0xFF);
        for (std::size_t s = 0; s < 64; ++s) {
            std::uint8_t* p = vob.data() + s * 2048;
            const std::uint8_t pack[] = {0x00, 0x00, 0x01, 0xBA, 0x44, 0x00, 0x04, 0x00, 0x04, 0x01, 0x01, 0x89, 0xC3, 0xF8,
                                         0x00, 0x00, 0x01, 0xBE, 0x07, 0xEC};
            std::copy(std::begin(pack), std::end(pack), p);
        }
        std::ofstream(root / "VIDEO_TS" / "VTS_01_1.VOB", std::ios::binary)
            .write(reinterpret_cast<const char*>(vob.data()), static_cast<std::streamsize>(vob.size()));
    });
}

void Write(const char* name, const std::uint8_t* data, std::size_t size)
{
    std::ofstream(Folder() / "VIDEO_TS" / name, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4) return 0;
    const std::size_t wanted = static_cast<std::size_t>(data[0]) << 24 | static_cast<std::size_t>(data[1]) << 16 |
                               static_cast<std::size_t>(data[2]) << 8 | data[3];
    data += 4;
    size -= 4;
    const std::size_t manager = std::min(wanted, size);
    const bool cutBackups = size > 0 && (data[size - 1] & 1);
    Write("VIDEO_TS.IFO", data, manager);
    Write("VIDEO_TS.BUP", data, cutBackups ? manager / 2 : manager);
    Write("VTS_01_0.IFO", data + manager, size - manager);
    Write("VTS_01_0.BUP", data + manager, cutBackups ? (size - manager) / 2 : size - manager);

    const DiscHandle disc = MyDVDOpen(Folder().string().c_str());
    if (!disc) return 0;
    auto info = std::make_unique<DiscInfo>();
    MyDVDGetInfo(disc, info.get());
    std::vector<std::uint8_t> block(10240);
    for (int t = 0; t < info->titleCount; ++t) {
        if (const std::shared_ptr<Disc> opened = MyDVDDisc(disc)) {
            opened->VideoOf(t);
            opened->IsReadable(t);
            opened->CellMarks(t, -1);
        }
        MyDVDSetArea(disc, t, 0);
        MyDvdSetStopPos(disc, t + 1, 0);
        for (int i = 0; i < 4 && MyDVDRead(disc, block.data(), static_cast<std::int32_t>(block.size())) > 0; ++i) {
        }
        MyDVDSeek(disc, 4096, 0);
    }
    MyDVDClose(disc);
    return 0;
}
