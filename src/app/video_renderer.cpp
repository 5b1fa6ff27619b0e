#include "app/video_renderer.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cstring>
#include <new>

#include "pipeline/event_codes.h"
#include "pipeline/format_blocks.h"
#include "pipeline/media_guids.h"
#include "graph/class_factory.h"
#include "graph/graph_interfaces.h"
#include "com/task_memory.h"
#include "pipeline/presentation.h"

namespace {

const BITMAPINFOHEADER* HeaderOf(const CMediaType& type)
{
    if (!type.pbFormat) return nullptr;
    if (type.formattype == FORMAT_VideoInfo && type.cbFormat >= 88) return reinterpret_cast<const BITMAPINFOHEADER*>(type.pbFormat + 48);
    if (type.formattype == FORMAT_VideoInfo2 && type.cbFormat >= 112) return reinterpret_cast<const BITMAPINFOHEADER*>(type.pbFormat + 72);
    return nullptr;
}

inline std::uint8_t Clamp(int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); }

} // namespace

QImage Yv12ToImage(const std::uint8_t* data, int width, int height, int stride)
{
    QImage image;
    Yv12IntoImage(data, width, height, stride, image);
    return image;
}

void Yv12IntoImage(const std::uint8_t* data, int width, int height, int stride, QImage& image)
{
    if (image.width() != width || image.height() != height || image.format() != QImage::Format_RGB32)
        image = QImage(width, height, QImage::Format_RGB32);
    const std::uint8_t* yPlane = data;
    const std::uint8_t* vPlane = data + static_cast<std::ptrdiff_t>(stride) * height;
    const std::uint8_t* uPlane = vPlane + static_cast<std::ptrdiff_t>(stride / 2) * (height / 2);
    for (int y = 0; y < height; ++y) {
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        const std::uint8_t* yl = yPlane + static_cast<std::ptrdiff_t>(y) * stride;
        const std::uint8_t* vl = vPlane + static_cast<std::ptrdiff_t>(y / 2) * (stride / 2);
        const std::uint8_t* ul = uPlane + static_cast<std::ptrdiff_t>(y / 2) * (stride / 2);
        for (int x = 0; x < width; ++x) {
            // BT.601, studio range.
            const int c = 298 * (yl[x] - 16);
            const int d = ul[x / 2] - 128, e = vl[x / 2] - 128;
            out[x] = qRgb(Clamp((c + 409 * e + 128) >> 8), Clamp((c - 100 * d - 208 * e + 128) >> 8), Clamp((c + 516 * d + 128) >> 8));
        }
    }
}

CVideoRendererPin::CVideoRendererPin(CVideoRenderer* renderer, HRESULT* phr)
    : CBaseInputPin("Video Renderer pin", renderer, &renderer->m_lock, phr, "VMR Input0"), m_renderer(renderer)
{
}

HRESULT CVideoRendererPin::CheckMediaType(const CMediaType* type)
{
    if (!type) return E_POINTER;
    if (type->majortype != MEDIATYPE_Video || type->subtype != MEDIASUBTYPE_YV12) return VFW_E_TYPE_NOT_ACCEPTED;
    const BITMAPINFOHEADER* header = HeaderOf(*type);
    return header && header->biWidth > 0 && header->biHeight != 0 ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CVideoRendererPin::SetMediaType(const CMediaType* type)
{
    const HRESULT hr = CBaseInputPin::SetMediaType(type);
    if (SUCCEEDED(hr)) m_renderer->TakeFormat(*type);
    return hr;
}

HRESULT CVideoRendererPin::Receive(IMediaSample* sample)
{
    const HRESULT hr = CBaseInputPin::Receive(sample);
    if (hr != S_OK) return hr;
    return m_renderer->Present(sample);
}

HRESULT CVideoRendererPin::EndOfStream()
{
    const HRESULT hr = CheckStreaming();
    if (hr != S_OK) return hr;
    m_renderer->NotifyEvent(EC_COMPLETE, S_OK, 0);
    return S_OK;
}

HRESULT CVideoRendererPin::BeginFlush()
{
    const HRESULT hr = CBaseInputPin::BeginFlush();
    m_renderer->m_shownSinceFlush = false;
    return hr;
}

CVideoRenderer::CVideoRenderer() : CBaseFilter("Video Mixing Renderer", nullptr, &m_lock, CLSID_VideoMixingRenderer7)
{
    HRESULT hr = S_OK;
    m_pin = std::make_unique<CVideoRendererPin>(this, &hr);
}

CVideoRenderer::~CVideoRenderer() = default;

HRESULT CVideoRenderer::CreateInstance(IUnknown*, REFIID riid, void** ppv)
{
    return CreateComObjectAs(riid, ppv, [](HRESULT*) { return new (std::nothrow) CVideoRenderer; });
}

void CVideoRenderer::Register()
{
    CClassFactory::Instance().Register(FilterRegistration{
        .clsid = CLSID_VideoMixingRenderer7,
        .name = "Video Mixing Renderer",
        .merit = MERIT_DO_NOT_USE,
        .create = &CVideoRenderer::CreateInstance,
        .inputTypes = {{MEDIATYPE_Video, MEDIASUBTYPE_YV12}},
        .isRenderer = true,
    });
}

HRESULT CVideoRenderer::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IVMRWindowlessControl::iid) return GetInterface(static_cast<IVMRWindowlessControl*>(this), ppv);
    return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CVideoRenderer::Stop()
{
    const HRESULT hr = CBaseFilter::Stop();
    m_shownSinceFlush = false;
    return hr;
}

CBasePin* CVideoRenderer::GetPin(int index) { return index == 0 ? m_pin.get() : nullptr; }

void CVideoRenderer::TakeFormat(const CMediaType& type)
{
    const BITMAPINFOHEADER* header = HeaderOf(type);
    if (!header) return;
    m_stride = header->biWidth;
    m_height = std::abs(header->biHeight);
    QSize aspect;
    if (type.formattype == FORMAT_VideoInfo2 && type.cbFormat >= sizeof(VIDEOINFOHEADER2)) {
        const auto* info = reinterpret_cast<const VIDEOINFOHEADER2*>(type.pbFormat);
        if (info->dwPictAspectRatioX > 0 && info->dwPictAspectRatioY > 0)
            aspect = QSize(static_cast<int>(info->dwPictAspectRatioX), static_cast<int>(info->dwPictAspectRatioY));
    }
    std::lock_guard lock(m_imageLock);
    m_aspect = aspect;
}

HRESULT CVideoRenderer::Present(IMediaSample* sample)
{
    // A new format mid-stream (another size or shape).
    AM_MEDIA_TYPE* changed = nullptr;
    if (sample->GetMediaType(&changed) == S_OK && changed) {
        TakeFormat(CMediaType(*changed));
        DeleteMediaType(changed);
    }
    REFERENCE_TIME start = 0, stop = 0;
    if (FAILED(sample->GetTime(&start, &stop))) {
        Show(sample);
        return S_OK;
    }
    ComPtr<IReferenceClock> clock;
    REFERENCE_TIME base = 0;
    ClockAndStart(clock, base);
    if (!clock) { // a conversion's preview: shown as it comes
        Show(sample);
        return S_OK;
    }
    // Paused with nothing on screen: the first picture is shown at once (a seek while paused
    // shows where it landed).
    bool shown = false;
    if (State() != State_Running && !m_shownSinceFlush) {
        Show(sample);
        shown = true;
    }
    // Late by more than a frame: dropped, unless nothing has been shown for a while (a slow
    // machine still sees pictures).
    constexpr REFERENCE_TIME kAllowedLateness = 400000;
    constexpr auto kLongestBlank = std::chrono::milliseconds(250);
    const Presentation when = WaitForPresentation(*this, *m_pin, start, kAllowedLateness);
    if (when == Presentation::kAbandoned) return S_FALSE;
    if (shown) return S_OK;
    if (when == Presentation::kLate && m_shownSinceFlush && std::chrono::steady_clock::now() - m_lastShown < kLongestBlank)
        return S_OK;
    Show(sample);
    return S_OK;
}

void CVideoRenderer::Show(IMediaSample* sample)
{
    const int stride = m_stride, height = m_height;
    if (stride <= 0 || height <= 0) return;
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || !data) return;
    const long needed = static_cast<long>(stride) * height * 3 / 2;
    if (sample->GetActualDataLength() < needed) return;
    // Converted into the spare image, which then changes places with the shown one: a new
    // image is made only when the size changes (or the window still paints the spare one).
    Yv12IntoImage(data, stride, height, stride, m_spare);
    {
        std::lock_guard lock(m_imageLock);
        std::swap(m_image, m_spare);
    }
    m_shownSinceFlush = true;
    m_lastShown = std::chrono::steady_clock::now();
    ++m_pictures;
    std::lock_guard lock(m_callbackLock);
    if (m_onPicture) m_onPicture();
}

void CVideoRenderer::SetPictureCallback(std::function<void()> callback)
{
    std::lock_guard lock(m_callbackLock);
    m_onPicture = std::move(callback);
}

QImage CVideoRenderer::CurrentImage() const
{
    std::lock_guard lock(m_imageLock);
    return m_image.copy();
}

QSize CVideoRenderer::DisplayAspect() const
{
    std::lock_guard lock(m_imageLock);
    return m_aspect.isEmpty() ? m_givenAspect : m_aspect;
}

void CVideoRenderer::SetDisplayAspect(QSize aspect)
{
    std::lock_guard lock(m_imageLock);
    m_givenAspect = aspect;
}

QImage CVideoRenderer::DisplayImage() const
{
    QImage image;
    QSize aspect;
    {
        std::lock_guard lock(m_imageLock);
        image = m_image;
        aspect = m_aspect.isEmpty() ? m_givenAspect : m_aspect;
    }
    if (image.isNull() || aspect.isEmpty()) return image.copy();
    // The height stays; the width follows the display aspect.
    const int width = static_cast<int>(static_cast<double>(image.height()) * aspect.width() / aspect.height() + 0.5);
    return image.scaled(width, image.height(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QRect CVideoRenderer::Placement(const QRect& target, const QSize& picture) const
{
    if (m_aspectMode.load() != kLetterBox) return target;
    QSize shape = picture;
    {
        std::lock_guard lock(m_imageLock);
        if (!m_aspect.isEmpty())
            shape = m_aspect;
        else if (!m_givenAspect.isEmpty())
            shape = m_givenAspect;
    }
    const QSize fitted = shape.scaled(target.size(), Qt::KeepAspectRatio);
    return QRect(QPoint(target.x() + (target.width() - fitted.width()) / 2, target.y() + (target.height() - fitted.height()) / 2), fitted);
}

QRect CVideoRenderer::PictureRect(const QRect& target) const
{
    QSize picture;
    {
        std::lock_guard lock(m_imageLock);
        picture = m_image.isNull() ? QSize(m_stride.load(), m_height.load()) : m_image.size();
    }
    if (picture.isEmpty()) picture = target.size();
    return Placement(target, picture);
}

void CVideoRenderer::SetAlphaBitmap(const QImage& bitmap, QRgb colourKey, double opacity)
{
    if (bitmap.isNull()) {
        m_overlay = QImage();
        return;
    }
    QImage overlay = bitmap.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = colourKey & 0xFFFFFF;
    for (int y = 0; y < overlay.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(overlay.scanLine(y));
        for (int x = 0; x < overlay.width(); ++x)
            if ((line[x] & 0xFFFFFF) == key) line[x] = 0;
    }
    m_overlay = overlay;
    m_overlayOpacity = opacity;
    if (m_window) m_window->update();
}

void CVideoRenderer::RepaintVideo(QPainter& painter)
{
    QImage image;
    {
        std::lock_guard lock(m_imageLock);
        image = m_image;
    }
    const QRect target = m_destination.isValid() ? m_destination : (m_window ? m_window->rect() : QRect());
    painter.fillRect(target, m_border);
    if (target.isEmpty()) return;
    if (image.isNull()) {
        if (!m_overlay.isNull()) painter.drawImage(target, m_overlay);
        return;
    }
    const QRect source = m_source.isValid() ? m_source : image.rect();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(Placement(target, source.size()), image, source);
    if (!m_overlay.isNull()) {
        painter.save();
        painter.setOpacity(m_overlayOpacity);
        painter.drawImage(target, m_overlay);
        painter.restore();
    }
}

void CVideoRenderer::SetVideoClippingWindow(QWidget* window) { m_window = window; }

void CVideoRenderer::SetVideoPosition(const QRect& source, const QRect& destination)
{
    m_source = source;
    m_destination = destination;
}

HRESULT CVideoRenderer::SetVideoClippingWindow(void* window)
{
    SetVideoClippingWindow(static_cast<QWidget*>(window));
    return S_OK;
}

HRESULT CVideoRenderer::SetAspectRatioMode(DWORD mode)
{
    if (mode != VMR_ARMODE_NONE && mode != VMR_ARMODE_LETTER_BOX) return E_INVALIDARG;
    m_aspectMode = mode == VMR_ARMODE_LETTER_BOX ? kLetterBox : kStretched;
    return S_OK;
}

HRESULT CVideoRenderer::SetVideoPosition(const RECT* source, const RECT* destination)
{
    const auto toRect = [](const RECT* r) { return r ? QRect(QPoint(r->left, r->top), QPoint(r->right - 1, r->bottom - 1)) : QRect(); };
    SetVideoPosition(toRect(source), toRect(destination));
    return S_OK;
}

HRESULT CVideoRenderer::RepaintVideo(void* window, void* deviceContext)
{
    if (deviceContext) {
        RepaintVideo(*static_cast<QPainter*>(deviceContext));
    } else if (auto* widget = static_cast<QWidget*>(window)) {
        widget->update(); // painted when the window next paints
    }
    return S_OK;
}

HRESULT CVideoRenderer::SetBorderColor(DWORD colour)
{
    m_border = QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF), static_cast<int>((colour >> 16) & 0xFF));
    return S_OK;
}

HRESULT CVideoRenderer::GetCurrentImage(BYTE** dib)
{
    if (!dib) return E_POINTER;
    *dib = nullptr;
    const QImage image = DisplayImage().convertToFormat(QImage::Format_RGB32);
    if (image.isNull()) return E_FAIL;
    const std::size_t row = static_cast<std::size_t>(image.width()) * 4;
    const std::size_t size = sizeof(BITMAPINFOHEADER) + row * static_cast<std::size_t>(image.height());
    auto* block = static_cast<BYTE*>(CoTaskMemAlloc(size));
    if (!block) return E_OUTOFMEMORY;
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = image.width();
    header.biHeight = -image.height(); // top row first
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biSizeImage = static_cast<DWORD>(row * static_cast<std::size_t>(image.height()));
    std::memcpy(block, &header, sizeof header);
    // Format_RGB32 is blue, green, red, unused in memory on this little-endian machine.
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(block + sizeof header + row * static_cast<std::size_t>(y), image.constScanLine(y), row);
    *dib = block;
    return S_OK;
}

CVideoWindow::CVideoWindow(QWidget* parent) : QWidget(parent) {}

CVideoWindow::~CVideoWindow()
{
    // Calls already posted go with the widget.
    if (m_renderer) m_renderer->SetPictureCallback(nullptr);
}

void CVideoWindow::OnNewPicture()
{
    // Streaming thread: at most one repaint waits in the queue, however fast pictures come.
    if (m_repaintPosted.exchange(true)) return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_repaintPosted = false;
            update();
        },
        Qt::QueuedConnection);
}

void CVideoWindow::SetRenderer(CVideoRenderer* renderer)
{
    if (m_renderer) m_renderer->SetPictureCallback(nullptr);
    m_renderer = ComPtr<CVideoRenderer>(renderer);
    if (renderer) {
        renderer->SetPictureCallback([this] { OnNewPicture(); });
        renderer->SetVideoClippingWindow(this);
        renderer->SetVideoPosition(QRect(), rect());
    }
    update();
}

void CVideoWindow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (!m_renderer) {
        p.fillRect(rect(), Qt::black);
        return;
    }
    m_renderer->SetVideoPosition(QRect(), rect());
    m_renderer->RepaintVideo(p);
}

void CVideoWindow::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) emit doubleClicked();
    QWidget::mouseDoubleClickEvent(event);
}

void CVideoWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        emit escapePressed();
        return;
    }
    QWidget::keyPressEvent(event);
}
