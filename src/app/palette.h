#pragma once
// The skin's colours, shared by the windows and by the skin generator that draws the pictures.

#include <QColor>
#include <algorithm>
#include <cmath>

namespace skin {
inline const QColor kWindow(0x24, 0x29, 0x31);
inline const QColor kWindowTop(0x2f, 0x36, 0x40);
inline const QColor kPanel(0x31, 0x38, 0x43);
inline const QColor kPanelLine(0x45, 0x4e, 0x5c);
inline const QColor kPane(0x2a, 0x30, 0x39);      // the format selector's pane
inline const QColor kHover(0x3a, 0x43, 0x50);
inline const QColor kField(0x1b, 0x20, 0x27);     // edit boxes, lists, tracks
inline const QColor kButton(0x38, 0x40, 0x4c);
inline const QColor kAccent(0x2f, 0x80, 0xed);
inline const QColor kAccentDark(0x1f, 0x5f, 0xbf);
inline const QColor kSelection(49, 106, 197);     // the title list's selected row
inline const QColor kText(0xf1, 0xf4, 0xf8);
inline const QColor kMuted(0x9a, 0xa5, 0xb4);
inline const QColor kSoftText(0xb4, 0xbe, 0xcc);
inline const QColor kDisabled(0x6b, 0x74, 0x80);
inline const QColor kLink(0x6f, 0xa8, 0xff);
// The keyboard focus ring: bright enough to find at a glance on every ground of the theme.
inline const QColor kFocus(0x7c, 0xb4, 0xff);
inline const QColor kVisitedLink(0xb7, 0x9c, 0xff);
inline const QColor kSplashVersion(0xff, 0xd5, 0x4f);

// The contrast ratio of two colours as the web's accessibility guidelines reckon it (1 to 21;
// 4.5 and more reads well).
inline double ContrastRatio(const QColor& a, const QColor& b)
{
    auto luminance = [](const QColor& c) {
        auto channel = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}
} // namespace skin
