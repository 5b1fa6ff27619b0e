#include "play/editor_preview.h"

#include <algorithm>

#include "convert/audio_conversion_filter.h"
#include "convert/video_conversion_filter.h"
#include "dvd/disc_info.h"
#include "pipeline/my_tee_filter.h"

EditorPreview::EditorPreview(MessageFn message) : PreviewPlayer(std::move(message)) {}

EditorPreview::~EditorPreview() { Teardown(); }

void EditorPreview::SetOutputSize(int width, int height)
{
    if (width < 0 || height < 0 || (width == 0 && height > 0)) return;
    m_askedWidth = width;
    m_askedHeight = height;
}

void EditorPreview::Reframe()
{
    const PictureSettings& p = m_picture;
    if (m_askedHeight > 0 || m_sourceWidth <= 0 || m_sourceHeight <= 0) {
        if (m_askedHeight > 0) {
            m_outputWidth = m_askedWidth;
            m_outputHeight = m_askedHeight;
        }
        m_rightZoom = p.zoomMode;
        m_outputAspect = OutputDisplayAspect(m_outputWidth, m_outputHeight, p.zoomMode, m_sourceAspect);
        return;
    }
    // The file's frame follows the crop: the pane's frame stays the whole picture's, which the
    // kept part fills, and is shown at the file's shape.
    const FollowingFrame whole = FrameFollowingCrop(m_askedWidth, m_sourceWidth, m_sourceHeight, m_sourceAspect, 0, 0);
    m_outputWidth = whole.frame.width;
    m_outputHeight = whole.frame.height;
    const int cropWidth = std::clamp(p.cropRight, 0, m_sourceWidth) - std::clamp(p.cropLeft, 0, m_sourceWidth);
    const int cropHeight = std::clamp(p.cropBottom, 0, m_sourceHeight) - std::clamp(p.cropTop, 0, m_sourceHeight);
    m_rightZoom = 1;
    m_outputAspect = FrameFollowingCrop(m_askedWidth, m_sourceWidth, m_sourceHeight, m_sourceAspect, cropWidth, cropHeight).shown;
}

bool EditorPreview::Build(std::shared_ptr<SourceDisc> disc, int titleIndex, int chapterIndex, const PictureSettings& picture,
                          void* leftWindow, void* rightWindow)
{
    m_picture = picture;
    m_rightWindow = rightWindow;
    // The shapes, as the conversion takes them: the title's, and the output's for its zoom mode.
    if (!disc) return false;
    const TitleVideo video = disc->VideoOf(titleIndex);
    m_sourceAspect = TitleAspect(video);
    m_sourceWidth = video.width;
    m_sourceHeight = video.height;
    Reframe();
    if (!CreateGraph(std::move(disc), leftWindow, nullptr)) return false;
    if (!SetTitle(titleIndex, chapterIndex)) return false;
    SetPosition(0);
    return true;
}

bool EditorPreview::CreateRenderers(void* window)
{
    if (!PreviewPlayer::CreateRenderers(window)) return false;
    if (!AddRenderer(m_rightWindow, m_right, m_rightWindowless)) return false;
    if (m_rightWindowless) {
        m_rightWindowless->SetVideoPosition(nullptr, nullptr);
        m_rightWindowless->SetBorderColor(0);
    }
    return true;
}

bool EditorPreview::AddSoundFilters()
{
    if (!AddNewFilter(m_graph.Get(), &CMyAudioConveFilter::Create, m_audioConver, "AudioConver",
                      "CLSID_MyAudioConver error", [this](const char* text) { Message(text); }))
        return false;
    m_audioConver->SetVolume(m_picture.volume);
    return true;
}

bool EditorPreview::ConnectPictures()
{
    // The decoder's pictures into a tee; the left pane shows the source as it is decoded.
    const auto message = [this](const char* text) { Message(text); };
    if (!AddNewFilter(m_graph.Get(), &CMyTeeFilter::Create, m_tee, "Tee", "Create Tee error", message) ||
        !AddNewFilter(m_graph.Get(), &CMyVideoConveFilter::Create, m_leftConver, "VideoConver0",
                      "CLSID_MyVideoConver0 error", message))
        return false;
    const std::vector<GraphLink> left{
        {Decoder(), 0, m_tee.Get(), 0, "get decoder output pin error", "get tee input pin error", "connect decoder and tee error"},
        {m_tee.Get(), 0, m_leftConver.Get(), 0, "get tee output pin0 error", "get video conver0 input pin error",
         "connect tee output0 to videoconver0 error"},
        {m_leftConver.Get(), 0, LeftRenderer(), 0, "get video conver0 output pin error", "get render0 input pin0 error",
         "connect videoconver0 output0 to render0 error"}};
    if (!ConnectLinks(m_graph.Get(), left, message).Ok()) return false;
    if (!m_right) return true;
    // Right: as the conversion makes it, in the output's size and shape.
    if (!AddNewFilter(m_graph.Get(), &CMyVideoConveFilter::Create, m_rightConver, "VideoConver",
                      "CLSID_MyVideoConver error", message))
        return false;
    const PictureSettings& p = m_picture;
    m_rightConver->SetRects(m_rightZoom, p.cropLeft, p.cropTop, p.cropRight, p.cropBottom, 0, 0, m_outputWidth, m_outputHeight);
    m_rightConver->SetDisplayAspects(m_sourceAspect.x, m_sourceAspect.y, m_outputAspect.x, m_outputAspect.y);
    m_rightConver->SetBrightness(p.brightness);
    m_rightConver->SetSaturation(p.saturation);
    m_rightConver->SetHue(p.hue);
    m_rightConver->SetDeinterlace(Deinterlace());
    // The tee's second output appears once the first is connected.
    const std::vector<GraphLink> right{
        {m_tee.Get(), 1, m_rightConver.Get(), 0, "get tee output pin1 error", "get video conver input pin error",
         "connect tee to video conver error"},
        {m_rightConver.Get(), 0, m_right.Get(), 0, "get video conver output pin error", "get render input pin1 error",
         "connect tee output1 to render1 error"}};
    return ConnectLinks(m_graph.Get(), right, message).Ok();
}

std::vector<IBaseFilter*> EditorPreview::OwnFilters() const
{
    return {m_right.Get(), m_tee.Get(), m_leftConver.Get(), m_rightConver.Get(), m_audioConver.Get()};
}

void EditorPreview::SetCrop(const PictureSettings& picture)
{
    m_picture.zoomMode = picture.zoomMode;
    m_picture.cropLeft = picture.cropLeft;
    m_picture.cropTop = picture.cropTop;
    m_picture.cropRight = picture.cropRight;
    m_picture.cropBottom = picture.cropBottom;
    Reframe();
    if (m_rightConver) {
        m_rightConver->SetRects(m_rightZoom, picture.cropLeft, picture.cropTop, picture.cropRight, picture.cropBottom, 0, 0,
                                m_outputWidth, m_outputHeight);
        m_rightConver->SetDisplayAspects(m_sourceAspect.x, m_sourceAspect.y, m_outputAspect.x, m_outputAspect.y);
    }
}

void EditorPreview::SetBrightness(int brightness)
{
    m_picture.brightness = brightness;
    if (m_rightConver) m_rightConver->SetBrightness(brightness);
}

void EditorPreview::SetSaturation(int saturation)
{
    m_picture.saturation = saturation;
    if (m_rightConver) m_rightConver->SetSaturation(saturation);
}

void EditorPreview::SetHue(int hue)
{
    m_picture.hue = hue;
    if (m_rightConver) m_rightConver->SetHue(hue);
}

void EditorPreview::SetVolume(int volume)
{
    m_picture.volume = volume;
    if (m_audioConver) m_audioConver->SetVolume(volume);
}

void EditorPreview::Teardown()
{
    PreviewPlayer::Teardown();
    m_right.Reset();
    m_rightWindowless.Reset();
    m_tee.Reset();
    m_leftConver.Reset();
    m_rightConver.Reset();
    m_audioConver.Reset();
}
