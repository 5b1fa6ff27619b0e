// Snapshots written as image files: a picture that cannot be written whole is reported so.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "play/snapshot.h"
#include "convert/conversion_support.h"

namespace {

// A 32-bit top-down DIB of 64 x 48 in one colour.
std::vector<BYTE> Picture()
{
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = 64;
    header.biHeight = -48;
    header.biPlanes = 1;
    header.biBitCount = 32;
    std::vector<BYTE> dib(sizeof header + 64 * 48 * 4, 0x80);
    std::memcpy(dib.data(), &header, sizeof header);
    return dib;
}

TEST(Snapshot, EachTypeIsWrittenAndAFullDiskIsAFailure)
{
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / ("zz-snapshot-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::vector<BYTE> dib = Picture();
    for (const char* type : {"bmp", "jpeg", "gif"}) {
        SCOPED_TRACE(type);
        const std::string path = (folder / (std::string("picture.") + type)).string();
        ASSERT_TRUE(SaveSnapshot(dib.data(), path));
        const testing_filters::Probe probed = testing_filters::ProbeFile(path);
        EXPECT_EQ(probed.width, 64);
        EXPECT_EQ(probed.height, 48);
        // A name that leads to a full disk: not saved (and what was there is left as it was).
        const std::string full = (folder / (std::string("full.") + type)).string();
        std::filesystem::create_symlink("/dev/full", full);
        EXPECT_FALSE(SaveSnapshot(dib.data(), full));
        EXPECT_TRUE(std::filesystem::is_symlink(full));
    }
    std::filesystem::remove_all(folder);
}

} // namespace
