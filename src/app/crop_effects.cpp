// The editor's Effect page and the volume: the sliders, the values beside them, and what a move
// changes in the Result pane.
#include <QLabel>

#include "app/crop_dlg.h"
#include "app/my_slider_ctrl.h"

namespace {

// A value beside its slider, on the slider's line.
QLabel* ValueText(QWidget* parent, const CMySliderCtrl* slider)
{
    auto* text = new QLabel(parent);
    text->setGeometry(slider->x() + slider->width() + 4, slider->y() - 1, 44, 16);
    text->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return text;
}

QString Signed(int value) { return value > 0 ? QStringLiteral("+%1").arg(value) : value < 0 ? QStringLiteral("−%1").arg(-value) : QStringLiteral("0"); }

} // namespace

void CCropDlg::BuildEffectPage()
{
    const auto effect = [&](const QString& text, int id, int x, int maximum, QLabel*& value) {
        AddLabel(text, x, 488, kEffect);
        auto* slider = new CMySliderCtrl(this, id);
        slider->SetPictures("bg2-2.png", "bg2-2.png", "kuang-2.png");
        slider->move(x, 508);
        slider->SetRange(0, maximum);
        slider->SetLinkMode(2);
        value = ValueText(this, slider);
        m_pageControls[kEffect].insert(m_pageControls[kEffect].end(), {slider, value});
        connect(slider, &CMySliderCtrl::positionChanged, this, &CCropDlg::OnSlider);
        return slider;
    };
    m_brightness = effect(QStringLiteral("Brightness"), kBrightnessId, 48, 256, m_effectTexts[0]);
    m_hue = effect(QStringLiteral("Hue"), kHueId, 204, 360, m_effectTexts[1]);
    m_saturation = effect(QStringLiteral("Saturation"), kSaturationId, 358, 128, m_effectTexts[2]);
    m_effectTexts[3] = ValueText(this, m_volume);
}

void CCropDlg::ShowEffectValues()
{
    const PictureSettings& p = m_working.picture;
    m_brightness->SetPos(p.brightness);
    m_saturation->SetPos(p.saturation);
    m_hue->SetPos(p.hue + 180);
    m_volume->SetPos(p.volume);
    ShowEffectTexts();
}

void CCropDlg::ShowEffectTexts()
{
    // Each as a user reads it: brightness from the picture's own, hue in degrees, saturation and
    // volume in per cent of the source's.
    const PictureSettings& p = m_working.picture;
    m_effectTexts[0]->setText(Signed(p.brightness - 128));
    m_effectTexts[1]->setText(Signed(p.hue) + QStringLiteral("°"));
    m_effectTexts[2]->setText(QStringLiteral("%1 %").arg((p.saturation * 100 + 32) / 64));
    m_effectTexts[3]->setText(QStringLiteral("%1 %").arg((p.volume * 100 + 128) / 256));
}

void CCropDlg::OnSlider(int id, int position)
{
    PictureSettings& p = m_working.picture;
    switch (id) {
    case kVolumeId:
        p.volume = position;
        m_preview->SetVolume(position);
        break;
    case kBrightnessId:
        p.brightness = position;
        m_preview->SetBrightness(position);
        break;
    case kSaturationId:
        p.saturation = position;
        m_preview->SetSaturation(position);
        break;
    case kHueId:
        p.hue = position - 180;
        m_preview->SetHue(p.hue);
        break;
    default:
        break;
    }
    ShowEffectTexts();
    if (id != kVolumeId) RedrawStill();
}
