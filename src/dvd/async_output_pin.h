#pragma once
// CAsyncOutputPin ("Output"): the reader's only pin. Downstream filters pull bytes through its
// IAsyncReader; a peer that never asked for IAsyncReader cannot complete the connection.

#include "dvd/async_io.h"
#include "pipeline/base_pin.h"

class CAsyncReader;

class CAsyncOutputPin : public CBasePin, public IAsyncReader {
public:
    CAsyncOutputPin(HRESULT* phr, CAsyncReader* reader, AsyncIo* io, CCritSec* lock);
    ~CAsyncOutputPin() override;

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // The reader's type at position 0 only.
    HRESULT GetMediaType(int position, CMediaType* type) override;
    // The reader's major type; its subtype too when it has one.
    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT CheckConnect(IPin* pin) override;
    HRESULT CompleteConnect(IPin* receivePin) override;
    HRESULT BreakConnect() override;

    // Stream control arrives at input pins only.
    HRESULT EndOfStream() override { return E_UNEXPECTED; }

    // IAsyncReader. Samples are the caller's throughout; byte positions travel in their times.
    HRESULT RequestAllocator(IMemAllocator* preferred, ALLOCATOR_PROPERTIES* props, IMemAllocator** actual) override;
    HRESULT Request(IMediaSample* sample, DWORD_PTR user) override;
    HRESULT WaitForNext(DWORD msTimeout, IMediaSample** sample, DWORD_PTR* user) override;
    HRESULT SyncReadAligned(IMediaSample* sample) override;
    HRESULT SyncRead(LONGLONG position, LONG length, BYTE* buffer) override;
    HRESULT Length(LONGLONG* total, LONGLONG* available) override;
    // One implementation serves IPin and IAsyncReader, which share the name: on this pin a
    // flush is the reader's (pending requests fail and waiters are released).
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;

private:
    // Position and length of a sample's byte range, shortened at the end of the stream (the
    // sample's stop time follows).
    HRESULT RangeOf(IMediaSample* sample, LONGLONG* position, LONG* length);

    CAsyncReader* const m_reader;
    AsyncIo* const m_io;
    std::atomic<bool> m_queriedForAsyncReader{false};
};
