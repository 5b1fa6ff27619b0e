#pragma once
// CVideoRenderer: the renderer that shows YV12 pictures in a Qt widget, with the operations of a
// windowless video control: the clipping window, the aspect-ratio mode, source and destination
// rectangles, repaint, border colour and the current image. Pictures arrive on a streaming
// thread and are kept as the latest image; the widget repaints from the user-interface thread.

#include <QColor>
#include <QImage>
#include <QPointer>
#include <QRect>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "pipeline/base_filter.h"
#include "pipeline/base_input_pin.h"

inline constexpr CLSID CLSID_VideoMixingRenderer7 = MakeGuid("{B87BEB7B-8D29-423F-AE4D-6582C10175AC}");

class CVideoRenderer;

class CVideoRendererPin : public CBaseInputPin {
public:
    CVideoRendererPin(CVideoRenderer* renderer, HRESULT* phr);
    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;

private:
    CVideoRenderer* const m_renderer;
};

class CVideoRenderer : public CBaseFilter {
public:
    enum AspectMode { kStretched = 0, kLetterBox = 1 };

    CVideoRenderer();
    ~CVideoRenderer() override;
    static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv);
    // Registers the renderer with the class factory under its class identifier.
    static void Register();

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override;

    // Windowless control.
    void SetVideoClippingWindow(QWidget* window);
    void SetAspectRatioMode(int mode) { m_aspectMode = mode; }
    void SetVideoPosition(const QRect& source, const QRect& destination);
    void SetBorderColor(QColor colour) { m_border = colour; }
    // Paints the latest picture into the clipping window's painter.
    void RepaintVideo(QPainter& painter);
    // A copy of the latest picture (null before the first).
    QImage GetCurrentImage() const;
    // Counts pictures received.
    std::uint64_t Pictures() const { return m_pictures.load(); }
    // Called on the streaming thread after each new picture (empty: none). When this returns, no
    // call of the callback it replaces is running.
    void SetPictureCallback(std::function<void()> callback);

private:
    friend class CVideoRendererPin;
    HRESULT Present(IMediaSample* sample);

    CCritSec m_lock;
    std::unique_ptr<CVideoRendererPin> m_pin;
    QPointer<QWidget> m_window;
    int m_aspectMode = kLetterBox;
    QRect m_source, m_destination;
    QColor m_border = Qt::black;
    mutable std::mutex m_imageLock;
    QImage m_image; // guarded by m_imageLock
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

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void OnNewPicture();

    ComPtr<CVideoRenderer> m_renderer;
    std::atomic<bool> m_repaintPosted{false};
};

// YV12 (Y, then V, then U) of a width × height picture with a luma stride, to RGB.
QImage Yv12ToImage(const std::uint8_t* data, int width, int height, int stride);
// The same into `image`, which is made anew only when its size or format differs.
void Yv12IntoImage(const std::uint8_t* data, int width, int height, int stride, QImage& image);
