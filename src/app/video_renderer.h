#pragma once
// CVideoRenderer: the renderer that shows YV12 pictures in a Qt widget, with the operations of a
// windowless video control: the clipping window, the aspect-ratio mode, source and destination
// rectangles, repaint, border colour and the current image. Pictures arrive on a streaming
// thread and are kept as the latest image; the widget repaints from the user-interface thread.
//
// With a clock (the preview) each picture waits for its time; a picture already late by more
// than a frame is dropped, unless none has been shown for a while. Paused, the first picture is
// shown and the rest wait. Without a clock (a conversion's preview) pictures show as they come.
// Pictures are framed by their display aspect, not their pixel count.

#include <QColor>
#include <QImage>
#include <QPointer>
#include <QRect>
#include <QWidget>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>

#include "pipeline/base_filter.h"
#include "pipeline/base_input_pin.h"
#include "graph/graph_interfaces.h"

inline constexpr CLSID CLSID_VideoMixingRenderer7 = MakeGuid("{B87BEB7B-8D29-423F-AE4D-6582C10175AC}");

class CVideoRenderer;

class CVideoRendererPin : public CBaseInputPin {
public:
    CVideoRendererPin(CVideoRenderer* renderer, HRESULT* phr);
    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT SetMediaType(const CMediaType* type) override;

private:
    CVideoRenderer* const m_renderer;
};

class CVideoRenderer : public CBaseFilter, public IVMRWindowlessControl {
public:
    enum AspectMode { kStretched = 0, kLetterBox = 1 };

    CVideoRenderer();
    ~CVideoRenderer() override;
    static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv);
    // Registers the renderer with the class factory under its class identifier.
    static void Register();

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    HRESULT Stop() override;

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override;

    // IVMRWindowlessControl; the window is a CVideoWindow or any QWidget, the device context a
    // QPainter on it.
    HRESULT SetVideoClippingWindow(void* window) override;
    HRESULT SetAspectRatioMode(DWORD mode) override;
    HRESULT SetVideoPosition(const RECT* source, const RECT* destination) override;
    HRESULT RepaintVideo(void* window, void* deviceContext) override;
    HRESULT SetBorderColor(DWORD colour) override;
    HRESULT GetCurrentImage(BYTE** dib) override;

    // The same for the desktop program's own use.
    void SetVideoClippingWindow(QWidget* window);
    void SetVideoPosition(const QRect& source, const QRect& destination);
    void SetBorder(QColor colour) { m_border = colour; }
    // Paints the latest picture into the clipping window's painter.
    void RepaintVideo(QPainter& painter);
    // A copy of the latest picture at its coded size (null before the first).
    QImage CurrentImage() const;
    // The latest picture at its display size (a 720 × 480 picture of 4:3 is 640 × 480).
    QImage DisplayImage() const;
    // The pictures' display aspect (0:0 when unknown: square pixels).
    QSize DisplayAspect() const;
    // The display aspect to take when the pictures' format carries none (a format block
    // without one, as the editor's panes get through the tee).
    void SetDisplayAspect(QSize aspect);
    // Where the picture is drawn in `target`: framed by its display aspect in letter-box mode
    // (the coded size stands in before the first picture's format is known).
    QRect PictureRect(const QRect& target) const;
    // The mixer bitmap: drawn over the whole destination, its `colourKey` pixels left out, at
    // `opacity` (a null bitmap removes it). User-interface thread.
    void SetAlphaBitmap(const QImage& bitmap, QRgb colourKey, double opacity);
    // Counts pictures received.
    std::uint64_t Pictures() const { return m_pictures.load(); }
    // Called on the streaming thread after each new picture (empty: none). When this returns, no
    // call of the callback it replaces is running.
    void SetPictureCallback(std::function<void()> callback);

private:
    friend class CVideoRendererPin;
    HRESULT Present(IMediaSample* sample);
    void Show(IMediaSample* sample);
    void TakeFormat(const CMediaType& type);
    // Where a picture goes in `target`, framed by the display aspect in letter-box mode.
    QRect Placement(const QRect& target, const QSize& picture) const;

    CCritSec m_lock;
    std::unique_ptr<CVideoRendererPin> m_pin;
    QPointer<QWidget> m_window;
    std::atomic<int> m_aspectMode{kLetterBox};
    QRect m_source, m_destination;
    QImage m_overlay; // user-interface thread: the mixer bitmap, its key made transparent
    double m_overlayOpacity = 1.0;
    QColor m_border = Qt::black;
    mutable std::mutex m_imageLock;
    QImage m_image;  // guarded by m_imageLock
    QSize m_aspect;  // guarded by m_imageLock: the display aspect, empty when unknown
    QSize m_givenAspect; // guarded by m_imageLock: SetDisplayAspect's
    std::atomic<int> m_stride{0}, m_height{0}; // the pictures' layout
    std::atomic<bool> m_shownSinceFlush{false}; // streaming thread; cleared by flushes and stops
    std::chrono::steady_clock::time_point m_lastShown{}; // streaming thread
    QImage m_spare; // streaming thread only
    std::atomic<std::uint64_t> m_pictures{0};
    std::mutex m_callbackLock;
    std::function<void()> m_onPicture; // guarded by m_callbackLock
};

// The widget a CVideoRenderer paints into. The renderer tells it of each new picture through a
// queued call (one waiting at a time), so the streaming thread never touches a widget.
class CVideoWindow : public QWidget {
    Q_OBJECT
public:
    explicit CVideoWindow(QWidget* parent = nullptr);
    ~CVideoWindow() override;
    void SetRenderer(CVideoRenderer* renderer);
    CVideoRenderer* Renderer() const { return m_renderer.Get(); }

signals:
    // A double click on the picture (full screen and back), and Esc.
    void doubleClicked();
    void escapePressed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void OnNewPicture();

    ComPtr<CVideoRenderer> m_renderer;
    std::atomic<bool> m_repaintPosted{false};
};

// YV12 (Y, then V, then U) of a width × height picture with a luma stride, to RGB.
QImage Yv12ToImage(const std::uint8_t* data, int width, int height, int stride);
// The same into `image`, which is made anew only when its size or format differs.
void Yv12IntoImage(const std::uint8_t* data, int width, int height, int stride, QImage& image);
