#pragma once
// The skin's colours, shared by the windows and by the skin generator that draws the pictures.

#include <QColor>

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
} // namespace skin
