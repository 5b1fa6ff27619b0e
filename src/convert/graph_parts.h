#pragma once
// Parts shared by the graphs the engine builds (conversion and preview): pin lookup, the
// splitter's stream list, and the cells' times of a title.

#include <functional>
#include <string>
#include <vector>

#include "com/com_ptr.h"
#include "dvd/disc.h"
#include "graph/graph_interfaces.h"
#include "pipeline/interfaces.h"

class CMpegSplitterFilter;

// A stream the splitter offers, as the run selects them.
struct EngineStream {
    enum Kind { kVideo, kAudio, kSubpicture, kOther } kind = kOther;
    int index = 0;       // IAMStreamSelect index
    int identifier = 0;  // audio and subpictures: the third value of the name's "(%04x,%02x,%02x)"
    int streamId = 0;    // audio and subpictures: (PES id << 8) | sub-stream id, or the PID, as the disc lists it
    int width = 0, height = 0;
    int bitRate = 0;     // video: from the format block; audio: average bytes per second × 8
    REFERENCE_TIME timePerFrame = 0;
    int sampleRate = 0, channels = 0;
    std::string name;
};

// The front of every graph that reads a disc: the reader as "Reader" and the splitter as
// "Splitter", added to `graph`; false with the message of the one that could not be made.
bool AddDiscFront(IGraphBuilder* graph, ComPtr<IBaseFilter>& reader, ComPtr<CMpegSplitterFilter>& splitter,
                  const std::function<void(const char*)>& message);

// Makes a filter with `create` (its class's Create) and adds it to `graph` as `name`; false
// after `failure` is told to `message` when it cannot be made.
template <class Filter>
bool AddNewFilter(IGraphBuilder* graph, HRESULT (*create)(Filter**), ComPtr<Filter>& filter, const char* name,
                  const char* failure, const std::function<void(const char*)>& message)
{
    if (FAILED(create(filter.Put()))) {
        message(failure);
        return false;
    }
    graph->AddFilter(filter.Get(), name);
    return true;
}

// The same for a filter the engine registered under `clsid` (the decoders, the renderers).
bool AddRegisteredFilter(IGraphBuilder* graph, REFCLSID clsid, ComPtr<IBaseFilter>& filter, const char* name,
                         const char* failure, const std::function<void(const char*)>& message);

// Pin n of a direction (inputs and outputs counted apart), or null.
ComPtr<IPin> PinOf(IBaseFilter* filter, PIN_DIRECTION direction, int n);
// The place among a filter's outputs of the one named `name` (the splitter's "Video", "Audio",
// "Subtitle"), or −1. A title without sound has no "Audio" pin, and its subpictures' pin is then
// its second output, not its third.
int OutputIndexOf(IBaseFilter* filter, const char* name);

// One row of a graph's wiring: output `fromPin` of one filter to input `toPin` of another (pins
// counted per direction), with the program's message for each way it can fail.
struct GraphLink {
    IBaseFilter* from = nullptr;
    int fromPin = 0;
    IBaseFilter* to = nullptr;
    int toPin = 0;
    // When `from` lacks the pin: this message, or, when null, the row is left out (a title
    // without sound has no sound pin).
    const char* noOutput = nullptr;
    // When `to` lacks the pin: this message, or, when null, the row is left out.
    const char* noInput = nullptr;
    // When the connection fails: this message (null: none).
    const char* failed = nullptr;
    // False: a failed connection is passed over (the subpictures).
    bool required = true;
    // Both pins are disconnected before.
    bool disconnectFirst = false;
    // The graph may put filters between (Connect); otherwise the two pins meet (ConnectDirect).
    bool intelligent = false;
};
// How a wiring ended: S_OK, or the failure (a connection's own result, or E_FAIL for a pin that
// is missing) with the row it happened at.
struct LinkResult {
    HRESULT hr = S_OK;
    std::size_t row = 0;
    bool Ok() const { return SUCCEEDED(hr); }
};
// Connects the rows in order and stops at the first that fails, after its message. Application
// thread, the graph stopped.
LinkResult ConnectLinks(IGraphBuilder* graph, const std::vector<GraphLink>& rows,
                        const std::function<void(const char*)>& message);

// The streams the splitter offers, in its order; false when it cannot tell.
bool ListStreams(CMpegSplitterFilter* splitter, std::vector<EngineStream>& streams);

// Turns on the subpicture stream and the audio stream of these identifiers ((PES id << 8) |
// sub-stream id; 0 leaves that class as it is), each list walked from its end. The whole
// identifier is compared: MPEG audio tracks differ in their PES id (C000, C100), not in the low
// byte. True when a stream was turned on.
bool EnableStreams(CMpegSplitterFilter* splitter, int audioStreamId, int subtitleId);

// Where the cells of the area read (Disc::CellMarks) start on the disc and in time, handed to the
// splitter: it seeks by them, and takes each cell's times from its own start (cells may start
// their time stamps again). Only a DVD's cells carry their times; other kinds hand none over.
void SetCellTimes(CMpegSplitterFilter* splitter, DiscKind kind, const std::vector<Disc::CellMark>& cells);
