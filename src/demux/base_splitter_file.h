#pragma once
// CBaseSplitterFile: a buffered, position-keeping byte and bit reader over an IAsyncReader. Small
// header reads are served from a cache; reads larger than the cache go straight to the source,
// so payloads are copied once. Used by one thread at a time.

#include <cstdint>
#include <functional>
#include <memory>

#include "pipeline/interfaces.h"
#include "com/com_ptr.h"

class CBaseSplitterFile {
public:
    // `hr` receives E_UNEXPECTED without a source, E_FAIL when the source does not suit (length
    // unknown, random access required but absent, streaming not allowed), E_OUTOFMEMORY when the
    // cache cannot be had, else S_OK.
    CBaseSplitterFile(IAsyncReader* reader, HRESULT& hr, std::int64_t cacheSize = 2048, bool requireRandomAccess = true,
                      bool allowStreaming = false);
    virtual ~CBaseSplitterFile();
    CBaseSplitterFile(const CBaseSplitterFile&) = delete;
    CBaseSplitterFile& operator=(const CBaseSplitterFile&) = delete;

    // Copies `length` bytes from the position: S_OK, S_FALSE when the source has nothing left,
    // or the source's failure.
    virtual HRESULT ReadBytes(BYTE* destination, std::int64_t length);
    // Called once when a growing source stops growing.
    virtual void OnSourceComplete();
    // Moves to `position`, clamped to [0, length]; drops buffered bits.
    virtual void SeekTo(std::int64_t position);

    // The position of the next unread byte. A byte with unread bits counts as unread, so that
    // ReadAlignedBytes after a partial bit read starts with that byte again.
    std::int64_t Position() const { return m_position - (m_bitCount + 7) / 8; }
    std::int64_t Length(bool refresh = false);
    std::int64_t Available();
    std::int64_t Remaining();
    // S_OK when `needed` bytes can be read; S_FALSE from a growing source that has not got them
    // yet; E_FAIL at the end of a finished source.
    HRESULT HasData(std::int64_t needed);
    bool ResizeCache(std::int64_t bytes);

    // Reads n bits (n ≤ 56), most significant first; 0 when the data ends.
    std::uint64_t ReadBits(int n, bool peek = false);
    void AlignToByte() { m_bitCount &= ~7; }
    void ResetBits() { m_bitCount = 0; }
    // Reads whole bytes from the position, again from the source (buffered bits are dropped).
    HRESULT ReadAlignedBytes(BYTE* destination, std::int64_t length);
    std::uint64_t ReadUnsignedExpGolomb();
    std::int64_t ReadSignedExpGolomb();

    bool IsStreaming() const { return m_streaming; }
    bool IsRandomAccess() const { return m_randomAccess; }
    IAsyncReader* Reader() const { return m_reader.Get(); }
    // Called before each read from the source (which may wait for a drive): the demultiplexer
    // hands on what it queued so far instead of letting it wait behind the read.
    void SetBeforeSourceRead(std::function<void()> hook) { m_beforeSourceRead = std::move(hook); }

private:
    HRESULT ReadSource(std::int64_t position, std::int64_t length, BYTE* destination);

    ComPtr<IAsyncReader> m_reader;
    std::function<void()> m_beforeSourceRead;
    std::unique_ptr<BYTE[]> m_cache;
    std::int64_t m_cacheStart = 0;
    std::int64_t m_cacheFill = 0;
    std::int64_t m_cacheCapacity = 0;
    bool m_streaming = false;
    bool m_randomAccess = false;
    std::int64_t m_position = 0;
    std::int64_t m_length = 0;
    std::uint64_t m_bitBuffer = 0;
    int m_bitCount = 0;
};
