#pragma once
// Our declarations of the graph manager's published interfaces: graph building, control,
// events and (through IMediaSeeking, declared with the pipeline) seeking.

#include <functional>

#include "pipeline/format_blocks.h"
#include "pipeline/interfaces.h"

class CAMEvent;

inline constexpr CLSID CLSID_FilterGraph = MakeGuid("{E436EBB3-524F-11CE-9F53-0020AF0BA770}");
inline constexpr CLSID CLSID_SystemClock = MakeGuid("{E436EBB1-524F-11CE-9F53-0020AF0BA770}");

// Merits of registered filters: intelligent connect tries higher merits first and never tries
// filters at or below MERIT_DO_NOT_USE.
constexpr DWORD MERIT_PREFERRED = 0x800000;
constexpr DWORD MERIT_NORMAL = 0x600000;
constexpr DWORD MERIT_UNLIKELY = 0x400000;
constexpr DWORD MERIT_DO_NOT_USE = 0x200000;

struct IGraphBuilder : IFilterGraph {
    static constexpr GUID iid = MakeGuid("{56A868A9-0AD4-11CE-B03A-0020AF0BA770}");
    // Connects two pins, inserting filters already in the graph (with a free input) or
    // registered ones (by merit) when they cannot connect directly.
    virtual HRESULT Connect(IPin* out, IPin* in) = 0;
    // Renders an output pin: a chain of filters ending in a renderer.
    virtual HRESULT Render(IPin* out) = 0;
    virtual HRESULT RenderFile(const char* file, const char* playList) = 0;
    virtual HRESULT AddSourceFilter(const char* file, const char* filterName, IBaseFilter** filter) = 0;
    virtual HRESULT SetLogFile(DWORD_PTR file) = 0;
    virtual HRESULT Abort() = 0;
    virtual HRESULT ShouldOperationContinue() = 0;
};

using OAFilterState = LONG;

struct IMediaControl : IUnknown {
    static constexpr GUID iid = MakeGuid("{56A868B1-0AD4-11CE-B03A-0020AF0BA770}");
    // Applied to every filter from the renderers upstream.
    virtual HRESULT Run() = 0;
    virtual HRESULT Pause() = 0;
    virtual HRESULT Stop() = 0;
    // S_OK, VFW_S_STATE_INTERMEDIATE when a filter has not reached the state within msTimeout,
    // VFW_S_CANT_CUE when a live source cannot cue data in pause.
    virtual HRESULT GetState(LONG msTimeout, OAFilterState* state) = 0;
    virtual HRESULT StopWhenReady() = 0;
};

struct IMediaEvent : IUnknown {
    static constexpr GUID iid = MakeGuid("{56A868B6-0AD4-11CE-B03A-0020AF0BA770}");
    // A manual-reset event that is set while the queue holds events.
    virtual HRESULT GetEventHandle(CAMEvent** event) = 0;
    // The next event; E_ABORT when none arrives within msTimeout. Pass the parameters to
    // FreeEventParams afterwards.
    virtual HRESULT GetEvent(LONG* eventCode, LONG_PTR* param1, LONG_PTR* param2, LONG msTimeout) = 0;
    // Waits until the graph completes or aborts; E_ABORT on time-out.
    virtual HRESULT WaitForCompletion(LONG msTimeout, LONG* eventCode) = 0;
    virtual HRESULT CancelDefaultHandling(LONG eventCode) = 0;
    virtual HRESULT RestoreDefaultHandling(LONG eventCode) = 0;
    virtual HRESULT FreeEventParams(LONG eventCode, LONG_PTR param1, LONG_PTR param2) = 0;
};

constexpr LONG AM_MEDIAEVENT_NONOTIFY = 0x01;

// Called on the notifying thread (often a streaming thread) each time an event is queued.
using GraphNotifyCallback = std::function<void()>;

struct IMediaEventEx : IMediaEvent {
    static constexpr GUID iid = MakeGuid("{56A868C0-0AD4-11CE-B03A-0020AF0BA770}");
    // Stands for the window message: the callback runs, on the thread that queues the event (a
    // streaming thread or the application's), whenever an event is queued, until it is replaced
    // or cleared with an empty callback. This call returns only when no call of the callback it
    // replaces is running, so the callback's owner may go once it has cleared it. The callback
    // must not call back into the graph.
    virtual HRESULT SetNotifyCallback(GraphNotifyCallback callback) = 0;
    virtual HRESULT SetNotifyFlags(LONG noNotifyFlags) = 0;
    virtual HRESULT GetNotifyFlags(LONG* noNotifyFlags) = 0;
};

// The video renderer's windowless control: the renderer draws into a window it is given, inside
// a destination rectangle, framing the picture by its display aspect when asked to.
constexpr DWORD VMR_ARMODE_NONE = 0;
constexpr DWORD VMR_ARMODE_LETTER_BOX = 1;

struct IVMRWindowlessControl : IUnknown {
    static constexpr GUID iid = MakeGuid("{0EB1088C-4DCD-46F0-878F-39DAE86A51B7}");
    // The window the video is drawn in (the desktop program's widget); the renderer repaints it
    // when a new picture arrives.
    virtual HRESULT SetVideoClippingWindow(void* window) = 0;
    virtual HRESULT SetAspectRatioMode(DWORD mode) = 0;
    // Source rectangle in the picture (null: all of it), destination in the window.
    virtual HRESULT SetVideoPosition(const RECT* source, const RECT* destination) = 0;
    // Paints the latest picture on `deviceContext` (the window's painter).
    virtual HRESULT RepaintVideo(void* window, void* deviceContext) = 0;
    // 0x00BBGGRR.
    virtual HRESULT SetBorderColor(DWORD colour) = 0;
    // The picture on screen at its display size: a BITMAPINFOHEADER, then 32-bit pixels (blue,
    // green, red, unused), top row first (negative height). Task memory, freed by the caller.
    // E_FAIL before the first picture.
    virtual HRESULT GetCurrentImage(BYTE** dib) = 0;
};
