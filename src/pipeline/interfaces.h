#pragma once
// Our declarations of the published media-streaming interfaces that the framework's filters,
// pins, samples and allocators implement and call. Names, method order and result codes follow
// the published ones; texts are UTF-8 and events are CAMEvent objects.

#include <cstdint>

#include "com/guid.h"
#include "com/hresult.h"
#include "com/unknown.h"

// Signed count of 100-nanosecond units: every time stamp, duration and seek position.
using REFERENCE_TIME = std::int64_t;
// Seconds as a double, used by IMediaPosition.
using REFTIME = double;

constexpr REFERENCE_TIME kUnitsPerSecond = 10'000'000;
constexpr REFERENCE_TIME kUnitsPerMillisecond = 10'000;
constexpr REFERENCE_TIME kMaxReferenceTime = INT64_MAX;

class CAMEvent;
struct IBaseFilter;
struct IFilterGraph;
struct IPin;
struct IMediaSample;
struct IEnumMediaTypes;

// The media type record. The format block is task memory owned by the record.
struct MediaTypeRecord {
    GUID majortype;
    GUID subtype;
    BOOL bFixedSizeSamples;
    BOOL bTemporalCompression;
    ULONG lSampleSize;
    GUID formattype;
    IUnknown* pUnk; // unused; always null
    ULONG cbFormat;
    BYTE* pbFormat;
};
using AM_MEDIA_TYPE = MediaTypeRecord;

enum PIN_DIRECTION { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 };

enum FILTER_STATE { State_Stopped = 0, State_Paused = 1, State_Running = 2 };

constexpr std::size_t MAX_PIN_NAME = 128;
constexpr std::size_t MAX_FILTER_NAME = 128;

// Pin description; pFilter carries a reference the caller releases.
struct PIN_INFO {
    IBaseFilter* pFilter;
    PIN_DIRECTION dir;
    char achName[MAX_PIN_NAME];
};

// Filter description; pGraph carries a reference the caller releases.
struct FILTER_INFO {
    char achName[MAX_FILTER_NAME];
    IFilterGraph* pGraph;
};

struct ALLOCATOR_PROPERTIES {
    LONG cBuffers;
    LONG cbBuffer;
    LONG cbAlign;
    LONG cbPrefix;
};

enum QualityMessageType { Famine = 0, Flood = 1 };

struct Quality {
    QualityMessageType Type;
    LONG Proportion;
    REFERENCE_TIME Late;
    REFERENCE_TIME TimeStamp;
};

// Flags of IMemAllocator::GetBuffer.
constexpr DWORD AM_GBF_PREVFRAMESKIPPED = 1;
constexpr DWORD AM_GBF_NOTASYNCPOINT = 2;
constexpr DWORD AM_GBF_NOWAIT = 4;

// Sample flags of AM_SAMPLE2_PROPERTIES::dwSampleFlags.
constexpr DWORD AM_SAMPLE_SPLICEPOINT = 0x01;
constexpr DWORD AM_SAMPLE_PREROLL = 0x02;
constexpr DWORD AM_SAMPLE_DATADISCONTINUITY = 0x04;
constexpr DWORD AM_SAMPLE_TYPECHANGED = 0x08;
constexpr DWORD AM_SAMPLE_TIMEVALID = 0x10;
constexpr DWORD AM_SAMPLE_TIMEDISCONTINUITY = 0x40;
constexpr DWORD AM_SAMPLE_FLUSH_ON_PAUSE = 0x80;
constexpr DWORD AM_SAMPLE_STOPVALID = 0x100;
constexpr DWORD AM_SAMPLE_ENDOFSTREAM = 0x200;

// Stream ids of a sample.
constexpr DWORD AM_STREAM_MEDIA = 0;
constexpr DWORD AM_STREAM_CONTROL = 1;

// The whole property set of a sample, read and written in one call (IMediaSample2).
struct AM_SAMPLE2_PROPERTIES {
    DWORD cbData;
    DWORD dwTypeSpecificFlags;
    DWORD dwSampleFlags;
    LONG lActual;
    REFERENCE_TIME tStart;
    REFERENCE_TIME tStop;
    DWORD dwStreamId;
    AM_MEDIA_TYPE* pMediaType;
    BYTE* pbBuffer;
    LONG cbBuffer;
};

struct IPersist : IUnknown {
    static constexpr GUID iid = MakeGuid("{0000010C-0000-0000-C000-000000000046}");
    virtual HRESULT GetClassID(CLSID* clsid) = 0;
};

// A clock counting REFERENCE_TIME; advise requests signal a CAMEvent.
struct IReferenceClock : IUnknown {
    static constexpr GUID iid = MakeGuid("{56A86897-0AD4-11CE-B03A-0020AF0BA770}");
    virtual HRESULT GetTime(REFERENCE_TIME* time) = 0;
    // Signals `event` once when the clock reaches baseTime + streamTime.
    virtual HRESULT AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, CAMEvent* event,
                               DWORD_PTR* cookie) = 0;
    // Signals `event` at startTime and every `period` after it, until Unadvise.
    virtual HRESULT AdvisePeriodic(REFERENCE_TIME startTime, REFERENCE_TIME period, CAMEvent* event,
                                   DWORD_PTR* cookie) = 0;
    virtual HRESULT Unadvise(DWORD_PTR cookie) = 0;
};

struct IMediaFilter : IPersist {
    static constexpr GUID iid = MakeGuid("{56A86899-0AD4-11CE-B03A-0020AF0BA770}");
    virtual HRESULT Stop() = 0;
    virtual HRESULT Pause() = 0;
    virtual HRESULT Run(REFERENCE_TIME start) = 0;
    virtual HRESULT GetState(DWORD msTimeout, FILTER_STATE* state) = 0;
    virtual HRESULT SetSyncSource(IReferenceClock* clock) = 0;
    virtual HRESULT GetSyncSource(IReferenceClock** clock) = 0;
};

struct IEnumPins : IUnknown {
    static constexpr GUID iid = MakeGuid("{56A86892-0AD4-11CE-B03A-0020AF0BA770}");
    virtual HRESULT Next(ULONG count, IPin** pins, ULONG* fetched) = 0;
    virtual HRESULT Skip(ULONG count) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumPins** clone) = 0;
};

struct IBaseFilter : IMediaFilter {
    static constexpr GUID iid = MakeGuid("{56A86895-0AD4-11CE-B03A-0020AF0BA770}");
    virtual HRESULT EnumPins(IEnumPins** pins) = 0;
    virtual HRESULT FindPin(const char* id, IPin** pin) = 0;
    virtual HRESULT QueryFilterInfo(FILTER_INFO* info) = 0;
    // The graph calls this when the filter joins (graph and name) or leaves (null, null).
    virtual HRESULT JoinFilterGraph(IFilterGraph* graph, const char* name) = 0;
    // Vendor text in task memory, or E_NOTIMPL.
    virtual HRESULT QueryVendorInfo(char** vendorInfo) = 0;
};

struct IEnumMediaTypes : IUnknown {
    static constexpr GUID iid = MakeGuid("{89C31040-846B-11CE-97D3-00AA0055595A}");
    // Each returned type is task memory (record and format block); the caller deletes it.
    virtual HRESULT Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) = 0;
    virtual HRESULT Skip(ULONG count) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumMediaTypes** clone) = 0;
};

struct IPin : IUnknown {
    static constexpr GUID iid = MakeGuid("{56A86891-0AD4-11CE-B03A-0020AF0BA770}");
    virtual HRESULT Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT Disconnect() = 0;
    virtual HRESULT ConnectedTo(IPin** pin) = 0;
    virtual HRESULT ConnectionMediaType(AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT QueryPinInfo(PIN_INFO* info) = 0;
    virtual HRESULT QueryDirection(PIN_DIRECTION* dir) = 0;
    // The pin's id in task memory; the caller frees it.
    virtual HRESULT QueryId(char** id) = 0;
    virtual HRESULT QueryAccept(const AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT EnumMediaTypes(IEnumMediaTypes** types) = 0;
    virtual HRESULT QueryInternalConnections(IPin** pins, ULONG* count) = 0;
    virtual HRESULT EndOfStream() = 0;
    virtual HRESULT BeginFlush() = 0;
    virtual HRESULT EndFlush() = 0;
    virtual HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) = 0;
};

struct IMediaSample : IUnknown {
    static constexpr GUID iid = MakeGuid("{56A8689A-0AD4-11CE-B03A-0020AF0BA770}");
    virtual HRESULT GetPointer(BYTE** buffer) = 0;
    virtual LONG GetSize() = 0;
    // S_OK with both times, VFW_S_NO_STOP_TIME with the start only, VFW_E_SAMPLE_TIME_NOT_SET.
    virtual HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) = 0;
    // Null start clears both times; null stop keeps the start valid and clears the stop.
    virtual HRESULT SetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) = 0;
    virtual HRESULT IsSyncPoint() = 0;
    virtual HRESULT SetSyncPoint(BOOL sync) = 0;
    virtual HRESULT IsPreroll() = 0;
    virtual HRESULT SetPreroll(BOOL preroll) = 0;
    virtual LONG GetActualDataLength() = 0;
    virtual HRESULT SetActualDataLength(LONG length) = 0;
    // S_OK and a task-memory copy of the attached type, or S_FALSE and null when none.
    virtual HRESULT GetMediaType(AM_MEDIA_TYPE** type) = 0;
    virtual HRESULT SetMediaType(AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT IsDiscontinuity() = 0;
    virtual HRESULT SetDiscontinuity(BOOL discontinuity) = 0;
    virtual HRESULT GetMediaTime(LONGLONG* start, LONGLONG* stop) = 0;
    virtual HRESULT SetMediaTime(LONGLONG* start, LONGLONG* stop) = 0;
};

struct IMediaSample2 : IMediaSample {
    static constexpr GUID iid = MakeGuid("{36B73884-C2C8-11CF-8B46-00805F6CEF60}");
    // Copies up to `size` bytes of the property block; the media type stays the sample's own.
    virtual HRESULT GetProperties(DWORD size, BYTE* properties) = 0;
    virtual HRESULT SetProperties(DWORD size, const BYTE* properties) = 0;
};

struct IMemAllocator : IUnknown {
    static constexpr GUID iid = MakeGuid("{56A8689C-0AD4-11CE-B03A-0020AF0BA770}");
    virtual HRESULT SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) = 0;
    virtual HRESULT GetProperties(ALLOCATOR_PROPERTIES* props) = 0;
    virtual HRESULT Commit() = 0;
    virtual HRESULT Decommit() = 0;
    // Gives a sample with one reference, owned by the caller. Blocks until one is free
    // unless AM_GBF_NOWAIT is given.
    virtual HRESULT GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                              DWORD flags) = 0;
    // Called by a sample whose last reference went.
    virtual HRESULT ReleaseBuffer(IMediaSample* sample) = 0;
};

struct IMemAllocatorNotifyCallbackTemp : IUnknown {
    static constexpr GUID iid = MakeGuid("{92980B30-C1DE-11D2-ABF5-00A0C905F375}");
    // Called on the releasing thread whenever a sample returns to its allocator.
    virtual HRESULT NotifyRelease() = 0;
};

struct IMemAllocatorCallbackTemp : IMemAllocator {
    static constexpr GUID iid = MakeGuid("{379A0CF0-C1DE-11D2-ABF5-00A0C905F375}");
    virtual HRESULT SetNotify(IMemAllocatorNotifyCallbackTemp* notify) = 0;
    virtual HRESULT GetFreeCount(LONG* freeCount) = 0;
};

struct IMemInputPin : IUnknown {
    static constexpr GUID iid = MakeGuid("{56A8689D-0AD4-11CE-B03A-0020AF0BA770}");
    virtual HRESULT GetAllocator(IMemAllocator** allocator) = 0;
    virtual HRESULT NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) = 0;
    virtual HRESULT GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) = 0;
    // The sample stays the caller's; a receiver that keeps it adds its own reference.
    virtual HRESULT Receive(IMediaSample* sample) = 0;
    virtual HRESULT ReceiveMultiple(IMediaSample** samples, LONG count, LONG* processed) = 0;
    // S_OK when Receive may block, S_FALSE when it never does.
    virtual HRESULT ReceiveCanBlock() = 0;
};

struct IQualityControl : IUnknown {
    static constexpr GUID iid = MakeGuid("{56A868A5-0AD4-11CE-B03A-0020AF0BA770}");
    virtual HRESULT Notify(IBaseFilter* self, Quality q) = 0;
    virtual HRESULT SetSink(IQualityControl* sink) = 0;
};

// Seeking capabilities.
constexpr DWORD AM_SEEKING_CanSeekAbsolute = 0x1;
constexpr DWORD AM_SEEKING_CanSeekForwards = 0x2;
constexpr DWORD AM_SEEKING_CanSeekBackwards = 0x4;
constexpr DWORD AM_SEEKING_CanGetCurrentPos = 0x8;
constexpr DWORD AM_SEEKING_CanGetStopPos = 0x10;
constexpr DWORD AM_SEEKING_CanGetDuration = 0x20;
constexpr DWORD AM_SEEKING_CanPlayBackwards = 0x40;
constexpr DWORD AM_SEEKING_CanDoSegments = 0x80;
constexpr DWORD AM_SEEKING_Source = 0x100;

// Seeking flags of SetPositions.
constexpr DWORD AM_SEEKING_NoPositioning = 0x0;
constexpr DWORD AM_SEEKING_AbsolutePositioning = 0x1;
constexpr DWORD AM_SEEKING_RelativePositioning = 0x2;
constexpr DWORD AM_SEEKING_IncrementalPositioning = 0x3;
constexpr DWORD AM_SEEKING_PositioningBitsMask = 0x3;
constexpr DWORD AM_SEEKING_SeekToKeyFrame = 0x4;
constexpr DWORD AM_SEEKING_ReturnTime = 0x8;
constexpr DWORD AM_SEEKING_Segment = 0x10;
constexpr DWORD AM_SEEKING_NoFlush = 0x20;

inline constexpr GUID TIME_FORMAT_NONE = GUID_NULL;
inline constexpr GUID TIME_FORMAT_FRAME = MakeGuid("{7B785570-8C82-11CF-BC0C-00AA00AC74F6}");
inline constexpr GUID TIME_FORMAT_BYTE = MakeGuid("{7B785571-8C82-11CF-BC0C-00AA00AC74F6}");
inline constexpr GUID TIME_FORMAT_SAMPLE = MakeGuid("{7B785572-8C82-11CF-BC0C-00AA00AC74F6}");
inline constexpr GUID TIME_FORMAT_FIELD = MakeGuid("{7B785573-8C82-11CF-BC0C-00AA00AC74F6}");
inline constexpr GUID TIME_FORMAT_MEDIA_TIME = MakeGuid("{7B785574-8C82-11CF-BC0C-00AA00AC74F6}");

struct IMediaSeeking : IUnknown {
    static constexpr GUID iid = MakeGuid("{36B73880-C2C8-11CF-8B46-00805F6CEF60}");
    virtual HRESULT GetCapabilities(DWORD* capabilities) = 0;
    virtual HRESULT CheckCapabilities(DWORD* capabilities) = 0;
    virtual HRESULT IsFormatSupported(const GUID* format) = 0;
    virtual HRESULT QueryPreferredFormat(GUID* format) = 0;
    virtual HRESULT GetTimeFormat(GUID* format) = 0;
    virtual HRESULT IsUsingTimeFormat(const GUID* format) = 0;
    virtual HRESULT SetTimeFormat(const GUID* format) = 0;
    virtual HRESULT GetDuration(LONGLONG* duration) = 0;
    virtual HRESULT GetStopPosition(LONGLONG* stop) = 0;
    virtual HRESULT GetCurrentPosition(LONGLONG* current) = 0;
    virtual HRESULT ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                      const GUID* sourceFormat) = 0;
    virtual HRESULT SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) = 0;
    virtual HRESULT GetPositions(LONGLONG* current, LONGLONG* stop) = 0;
    virtual HRESULT GetAvailable(LONGLONG* earliest, LONGLONG* latest) = 0;
    virtual HRESULT SetRate(double rate) = 0;
    virtual HRESULT GetRate(double* rate) = 0;
    virtual HRESULT GetPreroll(LONGLONG* preroll) = 0;
};

// Position control in seconds.
struct IMediaPosition : IUnknown {
    static constexpr GUID iid = MakeGuid("{56A868B2-0AD4-11CE-B03A-0020AF0BA770}");
    virtual HRESULT get_Duration(REFTIME* length) = 0;
    virtual HRESULT put_CurrentPosition(REFTIME time) = 0;
    virtual HRESULT get_CurrentPosition(REFTIME* time) = 0;
    virtual HRESULT get_StopTime(REFTIME* time) = 0;
    virtual HRESULT put_StopTime(REFTIME time) = 0;
    virtual HRESULT get_PrerollTime(REFTIME* time) = 0;
    virtual HRESULT put_PrerollTime(REFTIME time) = 0;
    virtual HRESULT put_Rate(double rate) = 0;
    virtual HRESULT get_Rate(double* rate) = 0;
    virtual HRESULT CanSeekForward(LONG* canSeek) = 0;
    virtual HRESULT CanSeekBackward(LONG* canSeek) = 0;
};

// Where filters send their events (the graph).
struct IMediaEventSink : IUnknown {
    static constexpr GUID iid = MakeGuid("{56A868A2-0AD4-11CE-B03A-0020AF0BA770}");
    virtual HRESULT Notify(LONG eventCode, LONG_PTR param1, LONG_PTR param2) = 0;
};

struct IEnumFilters : IUnknown {
    static constexpr GUID iid = MakeGuid("{56A86893-0AD4-11CE-B03A-0020AF0BA770}");
    virtual HRESULT Next(ULONG count, IBaseFilter** filters, ULONG* fetched) = 0;
    virtual HRESULT Skip(ULONG count) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumFilters** clone) = 0;
};

struct IFilterGraph : IUnknown {
    static constexpr GUID iid = MakeGuid("{56A8689F-0AD4-11CE-B03A-0020AF0BA770}");
    // Adds a filter under a name; a null or taken name gets a unique one (VFW_S_DUPLICATE_NAME).
    virtual HRESULT AddFilter(IBaseFilter* filter, const char* name) = 0;
    virtual HRESULT RemoveFilter(IBaseFilter* filter) = 0;
    virtual HRESULT EnumFilters(IEnumFilters** filters) = 0;
    virtual HRESULT FindFilterByName(const char* name, IBaseFilter** filter) = 0;
    // Connects two pins directly, optionally with a proposed type.
    virtual HRESULT ConnectDirect(IPin* out, IPin* in, const AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT Reconnect(IPin* pin) = 0;
    virtual HRESULT Disconnect(IPin* pin) = 0;
    virtual HRESULT SetDefaultSyncSource() = 0;
};

// Filters that are renderers or sources say so, so that the graph can count completions.
constexpr ULONG AM_FILTER_MISC_FLAGS_IS_RENDERER = 0x1;
constexpr ULONG AM_FILTER_MISC_FLAGS_IS_SOURCE = 0x2;

struct IAMFilterMiscFlags : IUnknown {
    static constexpr GUID iid = MakeGuid("{2DD74950-A890-11D1-ABE8-00A0C905F375}");
    virtual ULONG GetMiscFlags() = 0;
};

// Pull-model byte source: the downstream filter asks for bytes at positions.
struct IAsyncReader : IUnknown {
    static constexpr GUID iid = MakeGuid("{56A868AA-0AD4-11CE-B03A-0020AF0BA770}");
    // The downstream pin proposes an allocator and properties; the reader returns the one used.
    virtual HRESULT RequestAllocator(IMemAllocator* preferred, ALLOCATOR_PROPERTIES* props,
                                     IMemAllocator** actual) = 0;
    // Queues a read into `sample`, whose times carry the byte range (position × 10 000 000).
    // The sample stays the caller's; it comes back through WaitForNext.
    virtual HRESULT Request(IMediaSample* sample, DWORD_PTR user) = 0;
    // The next completed request; VFW_E_TIMEOUT after msTimeout, VFW_E_WRONG_STATE while flushing.
    virtual HRESULT WaitForNext(DWORD msTimeout, IMediaSample** sample, DWORD_PTR* user) = 0;
    virtual HRESULT SyncReadAligned(IMediaSample* sample) = 0;
    // Reads `length` bytes at `position`; S_FALSE when fewer were available.
    virtual HRESULT SyncRead(LONGLONG position, LONG length, BYTE* buffer) = 0;
    virtual HRESULT Length(LONGLONG* total, LONGLONG* available) = 0;
    virtual HRESULT BeginFlush() = 0;
    virtual HRESULT EndFlush() = 0;
};

// A source filter that opens a file or disc by path.
struct IFileSourceFilter : IUnknown {
    static constexpr GUID iid = MakeGuid("{56A868A6-0AD4-11CE-B03A-0020AF0BA770}");
    virtual HRESULT Load(const char* fileName, const AM_MEDIA_TYPE* type) = 0;
    // A task-memory copy of the current name (the caller frees it); `type` is left untouched.
    virtual HRESULT GetCurFile(char** fileName, AM_MEDIA_TYPE* type) = 0;
};
