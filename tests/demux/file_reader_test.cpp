// The byte source for named files: positioned reads, the length, what it does not offer, read
// errors retried until the break event, and chains of files.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

#include "demux/async_file_reader.h"
#include "com/com_ptr.h"
#include "support/ffmpeg_tools.h"

namespace {

using testing_filters::TemporaryPath;

std::string WriteFile(const std::string& name, std::size_t size, int seed)
{
    const std::string path = TemporaryPath(name);
    std::ofstream out(path, std::ios::binary);
    for (std::size_t i = 0; i < size; ++i) out.put(static_cast<char>((i * 7 + seed) & 0xFF));
    return path;
}

TEST(AsyncFileReader, ReadsByPositionWithinTheFileOnly)
{
    const std::string path = WriteFile("reader.bin", 10000, 3);
    HRESULT hr = E_FAIL;
    ComPtr<CAsyncFileReader> reader(new CAsyncFileReader(path.c_str(), hr));
    ASSERT_EQ(hr, S_OK);
    LONGLONG total = 0, available = 0;
    ASSERT_EQ(reader->Length(&total, &available), S_OK);
    EXPECT_EQ(total, 10000);
    EXPECT_EQ(available, 10000);

    BYTE buffer[100];
    ASSERT_EQ(reader->SyncRead(9900, 100, buffer), S_OK);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(buffer[i], static_cast<BYTE>(((9900 + i) * 7 + 3) & 0xFF));
    EXPECT_EQ(reader->SyncRead(9901, 100, buffer), E_FAIL); // one byte past the end
    EXPECT_FALSE(reader->HasErrors());

    // Only synchronous reads and the length.
    EXPECT_EQ(reader->Request(nullptr, 0), E_NOTIMPL);
    EXPECT_EQ(reader->SyncReadAligned(nullptr), E_NOTIMPL);
    EXPECT_EQ(reader->BeginFlush(), E_NOTIMPL);
    EXPECT_EQ(reader->RequestAllocator(nullptr, nullptr, nullptr), E_NOTIMPL);

    EXPECT_EQ(std::string(reader->GetFileName()), path);
    EXPECT_GE(reader->GetFileHandle(), 0);
    ComPtr<ISyncReader> sync;
    EXPECT_EQ(QueryInterfaceTo(static_cast<IAsyncReader*>(reader.Get()), sync), S_OK);
    reader = nullptr;
    std::filesystem::remove(path);

    ComPtr<CAsyncFileReader> missing(new CAsyncFileReader(TemporaryPath("no-such-file").c_str(), hr));
    EXPECT_EQ(hr, E_FAIL);
}

TEST(AsyncFileReader, ReadErrorsAreRetriedUntilTheBreakEvent)
{
    // A folder opens, but reading it fails.
    const std::string folder = TemporaryPath("unreadable");
    std::filesystem::create_directories(folder);
    HRESULT hr = E_FAIL;
    ComPtr<CAsyncFileReader> reader(new CAsyncFileReader(folder.c_str(), hr));
    LONGLONG total = 0;
    reader->Length(&total, nullptr);
    if (hr != S_OK || total < 16) GTEST_SKIP() << "this file system gives folders no size";

    BYTE buffer[16];
    EXPECT_EQ(reader->SyncRead(0, 16, buffer), E_FAIL); // no break event: one attempt
    EXPECT_TRUE(reader->HasErrors());
    EXPECT_EQ(reader->LastError(), EISDIR);
    reader->ClearErrors();
    EXPECT_FALSE(reader->HasErrors());

    CAMEvent stop(true);
    reader->SetBreakEvent(&stop);
    auto read = std::async(std::launch::async, [&] { return reader->SyncRead(0, 16, buffer); });
    EXPECT_EQ(read.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout); // still retrying
    stop.Set();
    EXPECT_EQ(read.get(), E_FAIL);
    reader = nullptr;
    std::filesystem::remove(folder);
}

// A chain of files read as one, as a film split into 1 GiB VOB parts plays.
class ChainedFiles : public CMultiFiles {
public:
    void Chain(const std::vector<std::string>& names, const std::vector<std::int64_t>& sizes)
    {
        ASSERT_TRUE(OpenFiles(names, {0, 5000000}));
        EXPECT_EQ(m_sizes, sizes);
    }
};

TEST(MultiFiles, AChainReadsAcrossItsFilesAndSeeksIntoAny)
{
    const std::string a = WriteFile("part1.bin", 3000, 1);
    const std::string b = WriteFile("part2.bin", 2000, 2);
    ChainedFiles files;
    REFERENCE_TIME offset = -1;
    files.SetTimeOffset(&offset);
    files.Chain({a, b}, {3000, 2000});
    EXPECT_EQ(offset, 0);
    EXPECT_EQ(files.GetLength(), 5000);

    std::vector<std::uint8_t> bytes(200);
    EXPECT_EQ(files.Seek(2900, 0), 2900);
    EXPECT_EQ(files.Read(bytes.data(), 200), 200);
    EXPECT_EQ(bytes[99], static_cast<std::uint8_t>((2999 * 7 + 1) & 0xFF));
    EXPECT_EQ(bytes[100], static_cast<std::uint8_t>((0 * 7 + 2) & 0xFF));
    EXPECT_EQ(offset, 5000000); // the second file's offset
    EXPECT_EQ(std::string(files.FileName()), b);

    EXPECT_EQ(files.Seek(100, 2), 4900); // from the end
    EXPECT_EQ(files.Read(bytes.data(), 200), 100);
    EXPECT_EQ(files.Seek(10, 0), 10);
    EXPECT_EQ(std::string(files.FileName()), a);
    files.Close();
    EXPECT_EQ(files.Handle(), -1);
    std::filesystem::remove(a);
    std::filesystem::remove(b);
}

TEST(MultiFiles, HolesInsideASparseFileArePassedOver)
{
    // Data, a hole of 4 MB, data, and a hole at the end: the view reads the two stretches of data
    // one after the other and keeps the end's hole (a damaged end reads as its zeros).
    const std::string path = TemporaryPath("sparse.bin");
    // Whole blocks: file systems keep holes by the block.
    constexpr std::int64_t kA = 8192, kB = 4096, kHole = 4 << 20, kEnd = 2 << 20;
    {
        std::ofstream out(path, std::ios::binary);
        out << std::string(kA, 'a');
        out.seekp(kA + kHole);
        out << std::string(kB, 'b');
    }
    std::filesystem::resize_file(path, kA + kHole + kB + kEnd);
    struct stat st {};
    ::stat(path.c_str(), &st);
    if (st.st_blocks * 512 >= kHole) GTEST_SKIP() << "this file system keeps no holes";
    CMultiFiles files;
    ASSERT_TRUE(files.Open(path.c_str()));
    EXPECT_EQ(files.GetLength(), kA + kB + kEnd);
    ASSERT_EQ(files.Holes(0).size(), 1u);
    EXPECT_EQ(files.Holes(0)[0].at, kA);
    EXPECT_EQ(files.Holes(0)[0].bytes, kHole);
    std::vector<char> bytes(100);
    EXPECT_EQ(files.Seek(kA - 50, 0), kA - 50);
    EXPECT_EQ(files.Read(bytes.data(), 100), 100);
    EXPECT_EQ(std::string(bytes.data(), 100), std::string(50, 'a') + std::string(50, 'b'));
    EXPECT_EQ(files.Seek(kA + kB - 10, 0), kA + kB - 10);
    EXPECT_EQ(files.Read(bytes.data(), 20), 20);
    EXPECT_EQ(std::string(bytes.data(), 20), std::string(10, 'b') + std::string(10, '\0'));
    // Read on from where the last read ended, across the hole, without a seek between.
    EXPECT_EQ(files.Seek(0, 0), 0);
    std::vector<char> all(kA + kB);
    EXPECT_EQ(files.Read(all.data(), kA + kB), kA + kB);
    EXPECT_EQ(std::string(all.begin(), all.end()), std::string(kA, 'a') + std::string(kB, 'b'));
    files.Close();
    std::filesystem::remove(path);
}

} // namespace
