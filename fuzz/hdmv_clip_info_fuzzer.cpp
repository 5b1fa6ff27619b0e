// Fuzz target: Blu-ray clip information and playlists as the demultiplexer reads them. The input's
// first byte chooses the file (even: a CLPI, odd: an MPLS); the rest becomes that file, in a
// temporary BDMV folder, and is read.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "demux/hdmv_clip_info.h"
#include "temporary_folder.h"

namespace {

namespace fs = std::filesystem;

const fs::path& Folder()
{
    return FuzzFolder("hdmv-fuzz", [](const fs::path& root) {
        for (const char* sub : {"CLIPINF", "PLAYLIST", "STREAM"}) fs::create_directories(root / "BDMV" / sub);
    });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) return 0;
    const bool playlist = data[0] & 1;
    const fs::path bdmv = Folder() / "BDMV";
    const fs::path file = playlist ? bdmv / "PLAYLIST" / "00000.mpls" : bdmv / "CLIPINF" / "00000.clpi";
    std::ofstream(file, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
    if (playlist) {
        CHdmvClipInfo::Playlist read;
        CHdmvClipInfo::ReadPlaylist(file, read);
        fs::path found;
        CHdmvClipInfo::FindMainPlaylist(Folder(), found, read);
    } else {
        CHdmvClipInfo info;
        if (info.ReadClipInfo(file) == S_OK)
            for (const ClipStreamInfo& stream : info.Streams()) info.FindClipStream(stream.pid);
    }
    return 0;
}
