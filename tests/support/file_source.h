#pragma once
// FileSourceFilter: a source filter with one "Output" pin that hands out a CAsyncFileReader's
// IAsyncReader, so that the splitter reads a file on disk (VOB, MPEG, transport stream).

#include <memory>
#include <string>

#include "demux/async_file_reader.h"
#include "pipeline/base_filter.h"
#include "pipeline/base_pin.h"

namespace testing_filters {

class FileSourceFilter;

class FileSourcePin : public CBasePin {
public:
    FileSourcePin(FileSourceFilter* filter, CCritSec* lock, HRESULT* phr);
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT GetMediaType(int position, CMediaType* type) override;
    HRESULT BeginFlush() override { return E_UNEXPECTED; }
    HRESULT EndFlush() override { return E_UNEXPECTED; }
    HRESULT EndOfStream() override { return E_UNEXPECTED; }

private:
    FileSourceFilter* const m_source;
};

class FileSourceFilter : public CBaseFilter {
public:
    // Null when the file cannot be opened.
    static ComPtr<FileSourceFilter> Create(const std::string& path);
    ~FileSourceFilter() override;

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override { return index == 0 ? m_pin.get() : nullptr; }
    CAsyncFileReader* Reader() { return m_reader.Get(); }

private:
    FileSourceFilter();
    CCritSec m_csFilter;
    ComPtr<CAsyncFileReader> m_reader;
    std::unique_ptr<FileSourcePin> m_pin;
};

} // namespace testing_filters
