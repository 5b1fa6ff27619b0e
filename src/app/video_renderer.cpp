#include "app/video_renderer.h"

#include <QPainter>
#include <algorithm>
#include <new>

#include "pipeline/event_codes.h"
#include "pipeline/format_blocks.h"
#include "pipeline/media_guids.h"
#include "graph/class_factory.h"
#include "graph/graph_interfaces.h"

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

CBasePin* CVideoRenderer::GetPin(int index) { return index == 0 ? m_pin.get() : nullptr; }

void CVideoRenderer::SetVideoClippingWindow(QWidget* window) { m_window = window; }

void CVideoRenderer::SetVideoPosition(const QRect& source, const QRect& destination)
{
    m_source = source;
    m_destination = destination;
}

HRESULT CVideoRenderer::Present(IMediaSample* sample)
{
    const BITMAPINFOHEADER* header = HeaderOf(m_pin->CurrentMediaType());
    if (!header) return S_OK;
    const int stride = header->biWidth;
    const int height = std::abs(header->biHeight);
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || !data) return S_OK;
    const long needed = static_cast<long>(stride) * height * 3 / 2;
    if (sample->GetActualDataLength() < needed) return S_OK;
    // Converted into the spare image, which then changes places with the shown one: a new
    // image is made only when the size changes (or the window still paints the spare one).
    Yv12IntoImage(data, stride, height, stride, m_spare);
    {
        std::lock_guard lock(m_imageLock);
        std::swap(m_image, m_spare);
    }
    ++m_pictures;
    std::lock_guard lock(m_callbackLock);
    if (m_onPicture) m_onPicture();
    return S_OK;
}

void CVideoRenderer::SetPictureCallback(std::function<void()> callback)
{
    std::lock_guard lock(m_callbackLock);
    m_onPicture = std::move(callback);
}

QImage CVideoRenderer::GetCurrentImage() const
{
    std::lock_guard lock(m_imageLock);
    return m_image.copy();
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
    if (image.isNull() || target.isEmpty()) return;
    const QRect source = m_source.isValid() ? m_source : image.rect();
    QRect placed = target;
    if (m_aspectMode == kLetterBox) {
        QSize fitted = source.size().scaled(target.size(), Qt::KeepAspectRatio);
        placed = QRect(QPoint(target.x() + (target.width() - fitted.width()) / 2, target.y() + (target.height() - fitted.height()) / 2), fitted);
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(placed, image, source);
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
