#pragma once
// CDVDReader: the first filter of every conversion and preview graph. It offers the program
// stream of one DVD title, or one chapter of it, as a byte stream on its "Output" pin.
//
// The graph assembly hands it the main window's open disc (SetDvdReader), chooses the title and
// chapter (SetArea) and reads the title's playing time (GetDuration). A path given to Load opens
// a disc of the filter's own, closed with the filter.

#include "dvd/async_reader.h"
#include "dvd/disc_info.h"
#include "dvd/dvd_stream.h"

inline constexpr CLSID CLSID_DVDReader = MakeGuid("{6E9D4E21-7A3B-4F65-9C0A-2B51D4C3E8A1}");

struct IMyDVDReader : IUnknown {
    static constexpr GUID iid = MakeGuid("{1ADB4EE7-45A0-4459-A508-AD77B32C01B2}");
    // Borrows a disc opened by the main window; E_FAIL when the read-ahead buffer cannot be had.
    virtual HRESULT SetDvdReader(DiscHandle handle) = 0;
    // Title 0-based, chapter 0-based or -1 for the whole title. Always S_OK.
    virtual HRESULT SetArea(int title, int chapter) = 0;
    // The selected title's playing time in milliseconds, truncated toward zero.
    virtual HRESULT GetDuration(LONGLONG* durationMs) = 0;
};

class CDVDReader : public CAsyncReader, public IFileSourceFilter, public IMyDVDReader {
public:
    CDVDReader(IUnknown* outer, HRESULT* phr);
    ~CDVDReader() override;

    // A new reader with one reference for the caller; E_OUTOFMEMORY when it cannot be made.
    static HRESULT Create(IBaseFilter** filter);

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IFileSourceFilter
    HRESULT Load(const char* fileName, const AM_MEDIA_TYPE* type) override;
    HRESULT GetCurFile(char** fileName, AM_MEDIA_TYPE* type) override;

    // IMyDVDReader
    HRESULT SetDvdReader(DiscHandle handle) override;
    HRESULT SetArea(int title, int chapter) override;
    HRESULT GetDuration(LONGLONG* durationMs) override;

    // The byte stream (tests).
    CDVDStream& Stream() { return m_stream; }

private:
    void OfferByteStream();

    CDVDStream m_stream;    // read by the base's AsyncIo, which the destructor shuts down first
    std::string m_fileName; // guarded by m_csFilter
};
