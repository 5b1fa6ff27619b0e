#pragma once
// EditorPreview: the crop, trim and effect editor's preview. It plays one task's title like the
// preview player, but the decoder's pictures go through a tee into two panes: on the left the
// source as decoded ("VideoConver0", untouched), on the right the picture as the conversion
// will make it ("VideoConver": crop, framing into the output size by display aspect, effects),
// and the sound goes through "AudioConver" for its volume. Crop, zoom, effects and volume
// change while it plays.

#include "convert/conversion_task.h"
#include "convert/framing.h"
#include "play/preview_player.h"

class CMyVideoConveFilter;
class CMyAudioConveFilter;

class EditorPreview : public PreviewPlayer {
public:
    explicit EditorPreview(MessageFn message = {});
    ~EditorPreview() override;

    // The output the right pane shows: the profile's picture size (from the output settings). A
    // height of 0 (size "Same as source", or a width alone) follows the crop as the file does: the
    // pane then shows the kept picture filling its frame, at the shape the file is shown at.
    void SetOutputSize(int width, int height);
    // Builds the graph for a task's title (chapter -1: the whole title), the panes drawn into
    // two windows, with the picture and sound settings; stopped, at the start.
    bool Build(std::shared_ptr<SourceDisc> disc, int titleIndex, int chapterIndex, const PictureSettings& picture, void* leftWindow,
               void* rightWindow);

    // While playing or not: the right pane's crop and framing, effects, and the volume.
    void SetCrop(const PictureSettings& picture);
    void SetBrightness(int brightness);
    void SetSaturation(int saturation);
    void SetHue(int hue);
    void SetVolume(int volume);

    IBaseFilter* LeftRenderer() const { return Renderer(); }
    IBaseFilter* RightRenderer() const { return m_right.Get(); }
    // The shape of the source picture (the title's), and of the output.
    AspectRatio SourceAspect() const { return m_sourceAspect; }
    AspectRatio OutputAspect() const { return m_outputAspect; }
    // The right pane's conversion filter (tests).
    CMyVideoConveFilter* RightConversion() const { return m_rightConver.Get(); }

    void Teardown() override;

protected:
    bool CreateRenderers(void* window) override;
    bool AddSoundFilters() override;
    bool ConnectPictures() override;
    std::vector<IBaseFilter*> OwnFilters() const override;

private:
    // The right converter's frame and framing, and the output's shape, for the crop as it is now.
    void Reframe();

    int m_askedWidth = 640, m_askedHeight = 480; // the profile's size
    int m_sourceWidth = 0, m_sourceHeight = 0;
    int m_outputWidth = 640, m_outputHeight = 480;
    int m_rightZoom = 0;
    PictureSettings m_picture{};
    AspectRatio m_sourceAspect, m_outputAspect;
    ComPtr<IBaseFilter> m_right;
    ComPtr<IVMRWindowlessControl> m_rightWindowless;
    ComPtr<IBaseFilter> m_tee;
    ComPtr<CMyVideoConveFilter> m_leftConver, m_rightConver;
    ComPtr<CMyAudioConveFilter> m_audioConver;
    void* m_rightWindow = nullptr;
};
