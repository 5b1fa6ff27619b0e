#pragma once
// Byte sources in memory for the splitter's tests and fuzz targets: a stream behind an
// asynchronous reader filter (to connect a splitter to), and a bare IAsyncReader.

#include <atomic>
#include <cstdint>
#include <vector>

#include "dvd/async_reader.h"
#include "dvd/async_stream.h"
#include "pipeline/crit_sec.h"
#include "pipeline/unknown_object.h"

namespace testing_filters {

class MemoryStream : public CAsyncStream {
public:
    explicit MemoryStream(std::vector<std::uint8_t> bytes) : m_bytes(std::move(bytes)) {}
    HRESULT SetPointer(LONGLONG position) override;
    HRESULT Read(BYTE* buffer, DWORD bytesToRead, BOOL aligned, DWORD* bytesRead) override;
    LONGLONG Size(LONGLONG* available = nullptr) override;
    DWORD Alignment() override { return 1; }
    void Lock() override { m_lock.Lock(); }
    void Unlock() override { m_lock.Unlock(); }
    // A growing source: its total length reads 0 and `available` bytes are there, until Complete.
    void SetGrowing(LONGLONG available);
    void Complete();
    // The end of the furthest read so far.
    LONGLONG FurthestRead();
    // A slow drive: reads that reach beyond `position` wait until ReleaseReads.
    void HoldReadsBeyond(LONGLONG position);
    void ReleaseReads();
    // Waits until a read is held (false after a minute).
    bool WaitUntilHeld();

private:
    CCritSec m_lock;
    std::vector<std::uint8_t> m_bytes;
    LONGLONG m_position = 0;
    LONGLONG m_available = -1; // -1: not growing
    LONGLONG m_furthest = 0;
    std::atomic<LONGLONG> m_holdBeyond{-1};
    CAMEvent m_released{true};
    CAMEvent m_held{true};
};

// A source filter with an "Output" pin over a MemoryStream.
class MemorySourceFilter : public CAsyncReader {
public:
    explicit MemorySourceFilter(std::vector<std::uint8_t> bytes);
    ~MemorySourceFilter() override;
    static ComPtr<MemorySourceFilter> Create(std::vector<std::uint8_t> bytes);
    MemoryStream& Stream() { return m_stream; }

private:
    MemoryStream m_stream;
};

// The bytes of a file.
std::vector<std::uint8_t> ReadFileBytes(const std::string& path);

} // namespace testing_filters
