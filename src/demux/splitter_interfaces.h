#pragma once
// Interfaces of the MPEG splitter: the published stream selection, the splitter's private control
// interface, its queue statistics, and the file reader's extra interfaces.

#include "dvd/disc_info.h"
#include "pipeline/interfaces.h"

using LCID = DWORD;

// Info flags and Enable flags of IAMStreamSelect.
constexpr DWORD AMSTREAMSELECTINFO_ENABLED = 0x1;
constexpr DWORD AMSTREAMSELECTINFO_EXCLUSIVE = 0x2;
constexpr DWORD AMSTREAMSELECTENABLE_ENABLE = 0x1;
constexpr DWORD AMSTREAMSELECTENABLE_ENABLEALL = 0x2;

struct IAMStreamSelect : IUnknown {
    static constexpr GUID iid = MakeGuid("{C1960960-17F5-11D1-ABE1-00A0C905F375}");
    virtual HRESULT Count(DWORD* streams) = 0;
    // Fills what is asked for (any argument may be null). The media type and the name are task
    // memory owned by the caller; the two object pointers are always null.
    virtual HRESULT Info(LONG index, AM_MEDIA_TYPE** type, DWORD* flags, LCID* locale, DWORD* group, char** name,
                         IUnknown** object, IUnknown** unknown) = 0;
    virtual HRESULT Enable(LONG index, DWORD flags) = 0;
};

// Where a part of the stream with a time line of its own begins (a DVD cell): its first byte and
// the time it starts at, counted from the stream's start.
struct SplitterTimeMark {
    std::int64_t position;
    REFERENCE_TIME time;
};

struct IMyMpegSplitter : IUnknown {
    static constexpr GUID iid = MakeGuid("{FB644229-D658-40AB-838D-619AD5A2DEB1}");
    // Copies the DVD title record the scanner expects its streams from.
    virtual HRESULT SetTitleInfo(const TitleInfo* title) = 0;
    // The range to deliver and the duration to report, in milliseconds (0 = not set).
    virtual HRESULT SetPlayRange(LONGLONG startMs, LONGLONG lengthMs, LONGLONG durationMs) = 0;
    // The parts of a program stream in order (copied); times are then taken part by part, and
    // seeking finds the part first. Set while stopped; none (the default) treats the stream as one.
    virtual HRESULT SetTimeMap(const SplitterTimeMark* marks, int count) = 0;
};

struct IBufferInfo : IUnknown {
    static constexpr GUID iid = MakeGuid("{46070104-1318-4A82-8822-E99AB7CD15C1}");
    virtual int GetCount() = 0;
    virtual HRESULT GetStatus(int index, int& samples, int& size) = 0;
    virtual DWORD GetPriority() = 0;
};

struct IKeyFrameInfo : IUnknown {
    static constexpr GUID iid = MakeGuid("{01A5BBD3-FE71-487C-A2EC-F585918A8724}");
    virtual HRESULT GetKeyFrameCount(UINT& frames) = 0;
    virtual HRESULT GetKeyFrames(const GUID* format, REFERENCE_TIME* times, UINT& frames) = 0;
};

struct ISyncReader : IUnknown {
    static constexpr GUID iid = MakeGuid("{2BAE9DC6-BB13-4C1B-9D3B-0AC5CD0FA8A7}");
    virtual void SetBreakEvent(class CAMEvent* breakEvent) = 0;
    virtual bool HasErrors() = 0;
    virtual void ClearErrors() = 0;
    virtual void SetTimeOffset(REFERENCE_TIME* offset) = 0;
};

struct IFileHandle : IUnknown {
    static constexpr GUID iid = MakeGuid("{6D3A8DFA-1F1E-4D5E-B3E5-0A8E4F6B1C20}");
    virtual int GetFileHandle() = 0;
    virtual const char* GetFileName() = 0;
};
