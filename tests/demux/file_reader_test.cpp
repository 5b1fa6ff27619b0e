// The byte source for named files: positioned reads, the length, what it does not offer, read
// errors retried until the break event, and chains of files.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

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

// A reader whose first `m_failures` attempts fail as a scratched disc's do (EIO); it can set the
// break event at a chosen attempt, as a stop arriving while the reader retries.
class ScratchedReader : public CAsyncFileReader {
public:
    ScratchedReader(const char* name, HRESULT& hr, int failures)
        : CAsyncFileReader(name, hr), m_failures(failures)
    {
    }
    void BreakAtAttempt(CAMEvent* event, int attempt)
    {
        m_break = event;
        m_breakAt = attempt;
        SetBreakEvent(event);
    }
    int Attempts() const { return m_attempts; }

protected:
    std::int64_t ReadOnce(LONGLONG position, LONG length, BYTE* buffer) override
    {
        ++m_attempts;
        if (m_break && m_attempts == m_breakAt) m_break->Set();
        if (m_attempts <= m_failures) {
            errno = EIO;
            return -1;
        }
        return CAsyncFileReader::ReadOnce(position, length, buffer);
    }

private:
    int m_failures;
    int m_attempts = 0;
    CAMEvent* m_break = nullptr;
    int m_breakAt = 0;
};

TEST(AsyncFileReader, ReadErrorsAreRetriedUntilTheBreakEvent)
{
    const std::string path = WriteFile("scratched.bin", 4096, 5);
    HRESULT hr = E_FAIL;
    BYTE buffer[16];

    // Without a break event nothing would end the retries early: one attempt, then the error.
    ComPtr<ScratchedReader> once(new ScratchedReader(path.c_str(), hr, 100));
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(once->SyncRead(0, 16, buffer), E_FAIL);
    EXPECT_EQ(once->Attempts(), 1);
    EXPECT_TRUE(once->HasErrors());
    EXPECT_EQ(once->LastError(), EIO);
    once->ClearErrors();
    EXPECT_FALSE(once->HasErrors());

    // A stop arriving during the third attempt ends the retries there.
    CAMEvent stop(true);
    ComPtr<ScratchedReader> stopped(new ScratchedReader(path.c_str(), hr, 100));
    stopped->BreakAtAttempt(&stop, 3);
    EXPECT_EQ(stopped->SyncRead(0, 16, buffer), E_FAIL);
    EXPECT_EQ(stopped->Attempts(), 3);
    EXPECT_EQ(stopped->LastError(), EIO);

    // A read that fails twice and then succeeds gives the right bytes, with the errors noted.
    CAMEvent never(true);
    ComPtr<ScratchedReader> recovers(new ScratchedReader(path.c_str(), hr, 2));
    recovers->SetBreakEvent(&never);
    ASSERT_EQ(recovers->SyncRead(100, 16, buffer), S_OK);
    EXPECT_EQ(recovers->Attempts(), 3);
    EXPECT_TRUE(recovers->HasErrors());
    for (int i = 0; i < 16; ++i) EXPECT_EQ(buffer[i], static_cast<BYTE>(((100 + i) * 7 + 5) & 0xFF));

    // A read that never succeeds gives up after its retries.
    ComPtr<ScratchedReader> dead(new ScratchedReader(path.c_str(), hr, 100));
    dead->SetBreakEvent(&never);
    EXPECT_EQ(dead->SyncRead(0, 16, buffer), E_FAIL);
    EXPECT_EQ(dead->Attempts(), 6);

    once = nullptr;
    stopped = nullptr;
    recovers = nullptr;
    dead = nullptr;
    std::filesystem::remove(path);
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
