#pragma once
// The byte source for a named file: CMultiFiles reads one file (or a chain of files that play as
// one) by absolute position in their data (the holes inside a sparse file are passed over), and CAsyncFileReader offers it as an IAsyncReader for the splitter,
// with synchronous reads only, a retry on read errors that a break event can end, and the time
// offset of the file being read.

#include <cstdint>
#include <string>
#include <vector>

#include "com/plain_file.h"
#include "demux/splitter_interfaces.h"
#include "pipeline/crit_sec.h"
#include "pipeline/interfaces.h"
#include "pipeline/unknown_object.h"

class CMultiFiles {
public:
    CMultiFiles() = default;
    CMultiFiles(const CMultiFiles&) = delete;
    CMultiFiles& operator=(const CMultiFiles&) = delete;
    virtual ~CMultiFiles();

    // Opens one file (read only, shared, existing files only); false when it cannot be opened.
    virtual bool Open(const char* name, unsigned flags = 0);
    // Opens a chain of files that read as one, each with the time offset its time stamps take;
    // false when one of them cannot be opened (the first is then open, if it could be).
    bool OpenFiles(const std::vector<std::string>& names, const std::vector<REFERENCE_TIME>& timeOffsets = {});
    // Moves to `offset` from the beginning (0), the current position (1) or the end (2);
    // returns the new absolute position, or −1.
    virtual std::int64_t Seek(std::int64_t offset, int origin);
    virtual std::int64_t GetLength();
    // Reads up to `count` bytes, going on into the next file of a chain; returns the bytes read,
    // or −1 on a read error.
    virtual std::int64_t Read(void* buffer, std::int64_t count);
    virtual void Close();

    // The caller's time offset, set to the open file's offset whenever a file is opened.
    void SetTimeOffset(REFERENCE_TIME* offset) { m_timeOffset = offset; }
    int Handle() const { return m_handle; }
    // The open file's name (the first one's when none is open).
    const char* FileName() const;
    // The holes inside a file of the chain that its positions pass over (FileView).
    const std::vector<FileView::Hole>& Holes(std::size_t file) const;

protected:
    bool OpenPart(std::size_t index);
    std::int64_t SeekHandle(std::int64_t offset, int origin);

    std::string m_current;
    REFERENCE_TIME* m_timeOffset = nullptr;
    std::vector<std::string> m_names;
    std::vector<std::int64_t> m_sizes; // of each file's data, without the holes passed over
    std::vector<FileView> m_views;
    std::vector<REFERENCE_TIME> m_timeOffsets;
    int m_handle = -1;
    int m_index = -1;
    std::int64_t m_totalSize = 0;
    std::int64_t m_position = -1; // where the next Read starts (in the whole chain); −1 unknown
    std::int64_t m_partPosition = 0; // the same in the open file's data
};

class CAsyncFileReader : public CUnknown, public IAsyncReader, public ISyncReader, public IFileHandle {
public:
    // Opens `name`; `hr` gets E_FAIL when it cannot be opened.
    CAsyncFileReader(const char* name, HRESULT& hr);

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IAsyncReader: synchronous reads and the length only.
    HRESULT RequestAllocator(IMemAllocator*, ALLOCATOR_PROPERTIES*, IMemAllocator**) override { return E_NOTIMPL; }
    HRESULT Request(IMediaSample*, DWORD_PTR) override { return E_NOTIMPL; }
    HRESULT WaitForNext(DWORD, IMediaSample**, DWORD_PTR*) override { return E_NOTIMPL; }
    HRESULT SyncReadAligned(IMediaSample*) override { return E_NOTIMPL; }
    HRESULT SyncRead(LONGLONG position, LONG length, BYTE* buffer) override;
    HRESULT Length(LONGLONG* total, LONGLONG* available) override;
    HRESULT BeginFlush() override { return E_NOTIMPL; }
    HRESULT EndFlush() override { return E_NOTIMPL; }

    // ISyncReader
    void SetBreakEvent(CAMEvent* breakEvent) override { m_breakEvent = breakEvent; }
    bool HasErrors() override { return m_hasErrors; }
    void ClearErrors() override { m_hasErrors = false; }
    void SetTimeOffset(REFERENCE_TIME* offset) override { m_file.SetTimeOffset(offset); }

    // IFileHandle
    int GetFileHandle() override { return m_file.Handle(); }
    const char* GetFileName() override { return m_file.FileName(); }

    // The operating-system error of the last failed read (0 when none).
    int LastError() const { return m_lastError; }

protected:
    // One attempt at reading `length` bytes at `position`: the count read, or −1 with errno set.
    virtual std::int64_t ReadOnce(LONGLONG position, LONG length, BYTE* buffer);

private:
    CMultiFiles m_file;
    std::string m_name;
    std::int64_t m_length = -1;
    CAMEvent* m_breakEvent = nullptr;
    bool m_hasErrors = false;
    int m_lastError = 0;
};
