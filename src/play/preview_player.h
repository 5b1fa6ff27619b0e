#pragma once
// PreviewPlayer: plays the loaded disc's titles with their sound, so that the user can check a
// title, choose its audio and subtitle tracks and take snapshots. It owns a graph of its own
// ("Reader", "Splitter", "Decoder", "Video Mixing Renderer", and whatever the graph puts between
// the splitter's sound and the default audio output), apart from the conversion graphs. The
// audio renderer's clock paces it; a title without sound runs on the system clock.
//
// Failures are reported through the message callback with the program's fixed texts and leave
// the player without a usable graph until the next CreateGraph. Application thread only.

#include <functional>
#include <string>
#include <vector>

#include "com/com_ptr.h"
#include "convert/conversion_task.h"
#include "convert/graph_parts.h"
#include "convert/source_disc.h"
#include "graph/graph_interfaces.h"

class CMpegSplitterFilter;
class CMyVideoConveFilter;
struct IMyDVDReader;

class PreviewPlayer {
public:
    using MessageFn = std::function<void(const std::string&)>;
    explicit PreviewPlayer(MessageFn message = {});
    virtual ~PreviewPlayer();
    PreviewPlayer(const PreviewPlayer&) = delete;
    PreviewPlayer& operator=(const PreviewPlayer&) = delete;

    // Builds the graph's front for a disc, which the player holds from then on. `window` is where
    // the renderer draws (the desktop program's widget; may be null), `destination` the video area
    // in it (null: all of it). `notify` runs on any thread whenever a graph event waits (see
    // NextEvent).
    bool CreateGraph(std::shared_ptr<SourceDisc> disc, void* window, const RECT* destination, GraphNotifyCallback notify = {});
    // Chooses what is played (chapter -1: the whole title) and connects the graph; stopped.
    bool SetTitle(int titleIndex, int chapterIndex);
    // Each acts only when the graph is not already in that state; 1.
    int Play();
    int Pause();
    int Stop();
    // Seconds, from the title's start.
    bool GetPosition(double& seconds);
    bool GetPlayLength(double& seconds);
    bool GetStopPosition(double& seconds);
    bool SetPosition(double seconds);
    bool GetStreams(std::vector<EngineStream>& streams);
    bool EnableStream(int index, bool on);
    // Turns on the audio stream and the subpicture stream of these identifiers (as EnableStreams
    // does); while playing, playback goes on from where it is with them.
    void ChooseStreams(int audioStreamId, int subtitleId);
    // Whether the chosen subpictures are shown over the picture.
    void ShowSubpictures(bool on);
    // How the pictures are deinterlaced on their way to the screen, as a conversion does
    // (kDeinterlaceAuto: those the disc marks as interlaced; On; Off). Takes effect at the next
    // SetTitle.
    void SetDeinterlace(int mode) { m_deinterlace = mode; }
    // Saves the picture on screen (its type from the path's extension); false when there is
    // none or it could not be written.
    bool Snapshot(const std::string& path);
    virtual void Teardown();

    // Where the graph's events are told (any thread), as `notify` of CreateGraph.
    void SetNotify(GraphNotifyCallback notify);
    // The next graph event without waiting; false when none waits.
    bool NextEvent(LONG& code, LONG_PTR& param1, LONG_PTR& param2);
    // Tests and diagnostics.
    IGraphBuilder* Graph() const { return m_graph.Get(); }
    IBaseFilter* Renderer() const { return m_renderer.Get(); }
    // The filters the graph put behind the splitter's sound (decoder, renderer), in graph order.
    const std::vector<ComPtr<IBaseFilter>>& SoundFilters() const { return m_soundFilters; }
    LONGLONG TitleLength() const { return m_titleLength; }

protected:
    // What a player with other panes changes (the editor's preview):
    // the renderers, created into the graph for `window`;
    virtual bool CreateRenderers(void* window);
    // filters wanted between the splitter's sound and the default audio output, put in the graph
    // before the sound pin is rendered;
    virtual bool AddSoundFilters() { return true; }
    // the way from the decoder's output to the renderers;
    virtual bool ConnectPictures();
    // the filters of its own that stay in the graph from title to title.
    virtual std::vector<IBaseFilter*> OwnFilters() const { return {}; }
    // A renderer made and added to the graph as "Video Mixing Renderer", with its windowless control
    // (null when it has none: it plays without a picture); false with the message.
    bool AddRenderer(void* window, ComPtr<IBaseFilter>& renderer, ComPtr<IVMRWindowlessControl>& windowless);
    void Message(const std::string& text);
    // The video decoder whose output ConnectPictures connects.
    IBaseFilter* Decoder() const { return m_decoder.Get(); }
    int Deinterlace() const { return m_deinterlace; }

    ComPtr<IGraphBuilder> m_graph;

private:
    bool CreateFront(std::shared_ptr<SourceDisc> disc);
    bool ConnectTitle();
    // Takes out what an earlier SetTitle put behind the splitter's sound.
    void RemoveSoundFilters();
    // The position the stream has reached, in seconds from the title's start.
    double StreamPosition();
    bool InState(FILTER_STATE wanted);

    MessageFn m_message;
    ComPtr<IMediaControl> m_control;
    ComPtr<IMediaEventEx> m_events;
    ComPtr<IMediaSeeking> m_seeking;
    ComPtr<IBaseFilter> m_source;
    ComPtr<CMpegSplitterFilter> m_splitter;
    ComPtr<IBaseFilter> m_decoder;
    ComPtr<IBaseFilter> m_renderer;
    ComPtr<IVMRWindowlessControl> m_windowless;
    // Between the decoder and the renderer: the deinterlacing a conversion does.
    ComPtr<CMyVideoConveFilter> m_conver;
    int m_deinterlace = 0; // kDeinterlaceAuto
    AspectRatio m_titleAspect; // the shape the current title is shown at
    std::vector<ComPtr<IBaseFilter>> m_soundFilters;
    std::shared_ptr<SourceDisc> m_disc;
    LONGLONG m_titleLength = 0; // ms
    double m_seekBase = 0;      // s: where the current run of the stream started
    double m_heldPosition = 0;  // s: the position while paused or stopped
};
