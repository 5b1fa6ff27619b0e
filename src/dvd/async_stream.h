#pragma once
// CAsyncStream: the byte stream behind an asynchronous reader filter. SetPointer and Read are
// called with the stream locked (Lock/Unlock) by whoever reads.

#include "com/hresult.h"

class CAsyncStream {
public:
    virtual ~CAsyncStream() = default;
    // Moves to a byte position; the caller holds the stream lock.
    virtual HRESULT SetPointer(LONGLONG position) = 0;
    // Reads up to `bytesToRead` bytes at the current position; *bytesRead tells how many came.
    virtual HRESULT Read(BYTE* buffer, DWORD bytesToRead, BOOL aligned, DWORD* bytesRead) = 0;
    // Total bytes; `available` (optional) receives the bytes available now.
    virtual LONGLONG Size(LONGLONG* available = nullptr) = 0;
    // Positions, lengths and buffers of aligned reads are multiples of this.
    virtual DWORD Alignment() = 0;
    virtual void Lock() = 0;
    virtual void Unlock() = 0;
};

// Holds a stream's lock for a scope.
class CAsyncStreamLock {
public:
    explicit CAsyncStreamLock(CAsyncStream* stream) : m_stream(stream) { m_stream->Lock(); }
    ~CAsyncStreamLock() { m_stream->Unlock(); }
    CAsyncStreamLock(const CAsyncStreamLock&) = delete;
    CAsyncStreamLock& operator=(const CAsyncStreamLock&) = delete;

private:
    CAsyncStream* m_stream;
};
