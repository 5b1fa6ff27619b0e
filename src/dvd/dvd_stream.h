#pragma once
// CDVDStream: the program stream of one DVD title, or of one chapter of it, as a random-access
// byte stream read through the disc-access library in 10240-byte blocks. Seeks that land inside
// the buffered block cost no library call.
//
// The stream's lock serialises every call; SetPointer relies on the caller holding it.

#include <memory>

#include "dvd/async_stream.h"
#include "dvd/disc_info.h"
#include "dvd/my_dvd.h"
#include "pipeline/crit_sec.h"

class CDVDStream : public CAsyncStream {
public:
    static constexpr std::int32_t kBlockSize = 10240;
    static constexpr std::int32_t kDiscardSize = 20480;

    CDVDStream();
    ~CDVDStream() override;

    HRESULT SetPointer(LONGLONG position) override;
    HRESULT Read(BYTE* buffer, DWORD bytesToRead, BOOL aligned, DWORD* bytesRead) override;
    LONGLONG Size(LONGLONG* available = nullptr) override;
    DWORD Alignment() override { return 1; }
    void Lock() override { m_lock.Lock(); }
    void Unlock() override { m_lock.Unlock(); }

    // Takes a handle opened by someone else (the stream never closes it). E_FAIL when the
    // read-ahead buffer cannot be had.
    HRESULT UseHandle(DiscHandle handle);
    // Opens `path` itself and owns the handle; E_FAIL when the disc does not open.
    HRESULT OpenPath(const char* path);
    // Selects a title (0-based) and chapter (0-based, -1 for the whole title); position 0 is its
    // first byte and the length that of the whole title until the real end is met.
    HRESULT SelectArea(int title, int chapter);

    DiscHandle Handle();
    int Title();
    int Chapter();

private:
    bool EnsureBuffers(); // m_lock held

    CCritSec m_lock;
    // The fields below are guarded by m_lock.
    OwnedDisc m_ownDisc;  // the disc OpenPath opened, closed with the stream
    DiscHandle m_handle = 0; // the disc read: m_ownDisc's, or one borrowed through UseHandle
    LONGLONG m_position = 0;
    LONGLONG m_length = 0;
    std::unique_ptr<BYTE[]> m_buffer;  // the read-ahead block
    std::unique_ptr<BYTE[]> m_discard; // for seeks that land before the wanted position
    BYTE* m_readPointer = nullptr;
    std::int32_t m_bytesLeft = 0;
    LONGLONG m_blockStart = 0;         // stream position of m_buffer[0]
    std::int32_t m_blockLength = 0;    // bytes of the block in m_buffer
    int m_title = 0;
    int m_chapter = -1;
};
