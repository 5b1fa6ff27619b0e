// skingen: draws every picture of ZuZidero's skin into a folder. Run by the build; nothing it
// makes is kept in the source tree.
//
// One palette for everything: a dark slate window with lighter panels, one blue accent, white
// text. Buttons are strips of four frames side by side: normal, mouse over, pressed, disabled.

#include <QDir>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <functional>
#include <set>

#include "profiles/format_table.h"
#include "app/palette.h"

namespace {

using skin::kAccent;
using skin::kAccentDark;
using skin::kField;
using skin::kMuted;
using skin::kPanel;
using skin::kPanelLine;
using skin::kText;
using skin::kWindow;
using skin::kWindowTop;

QString g_out;

void Save(const QImage& image, const QString& name)
{
    const QString path = g_out + "/" + name;
    if (!image.save(path)) {
        std::fprintf(stderr, "skingen: cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
}

QImage NewImage(int w, int h, QColor fill = Qt::transparent)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(fill);
    return image;
}

QFont Font(double points, bool bold = false)
{
    QFont f("DejaVu Sans");
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

// The colours of one button frame: 0 normal, 1 mouse over, 2 pressed, 3 disabled.
struct FrameLook {
    QColor fill, line, ink;
};

FrameLook Look(int frame, bool accent)
{
    if (accent) {
        switch (frame) {
        case 1: return {kAccent.lighter(118), kAccent.lighter(140), kText};
        case 2: return {kAccentDark, kAccentDark.darker(120), kText};
        case 3: return {QColor(0x3a, 0x42, 0x4e), kPanelLine, kMuted};
        default: return {kAccent, kAccent.lighter(115), kText};
        }
    }
    switch (frame) {
    case 1: return {QColor(0x42, 0x4b, 0x59), kAccent, kText};
    case 2: return {kField, kAccent, kText};
    case 3: return {QColor(0x2c, 0x32, 0x3b), kPanelLine, QColor(0x6b, 0x74, 0x80)};
    default: return {QColor(0x38, 0x40, 0x4c), kPanelLine, kText};
    }
}

// A strip of four frames of w × h, each drawn by `draw` into its own rectangle.
void Strip(const QString& name, int w, int h, const std::function<void(QPainter&, QRectF, int)>& draw)
{
    QImage image = NewImage(w * 4, h);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    for (int frame = 0; frame < 4; ++frame) {
        p.save();
        draw(p, QRectF(frame * w, 0, w, h), frame);
        p.restore();
    }
    Save(image, name);
}

void RoundedBox(QPainter& p, QRectF r, const FrameLook& look, double radius)
{
    p.setPen(QPen(look.line, 1));
    p.setBrush(look.fill);
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
}

// Text buttons: "Settings", "Browse..", "Cancel" …
void TextButton(const QString& name, const QString& text, int w, int h, bool accent = false, double points = 9)
{
    Strip(name, w, h, [&](QPainter& p, QRectF r, int frame) {
        const FrameLook look = Look(frame, accent);
        RoundedBox(p, r, look, h / 4.0);
        p.setPen(look.ink);
        p.setFont(Font(points, accent));
        p.drawText(r, Qt::AlignCenter, text);
    });
}

// Icon glyphs drawn as paths into a square of side s centred in r.
using Glyph = std::function<void(QPainter&, QRectF)>;

QRectF Square(QRectF r, double side) { return QRectF(r.center().x() - side / 2, r.center().y() - side / 2, side, side); }

void IconButton(const QString& name, int w, int h, const Glyph& glyph, bool round = true)
{
    Strip(name, w, h, [&](QPainter& p, QRectF r, int frame) {
        const FrameLook look = Look(frame, false);
        if (round) {
            p.setPen(QPen(look.line, 1));
            p.setBrush(look.fill);
            p.drawEllipse(r.adjusted(1, 1, -1, -1));
        } else {
            RoundedBox(p, r, look, 5);
        }
        p.setPen(Qt::NoPen);
        p.setBrush(look.ink);
        glyph(p, Square(r, std::min(w, h) * 0.42));
    });
}

void PlayGlyph(QPainter& p, QRectF s)
{
    QPainterPath path;
    path.moveTo(s.left() + s.width() * 0.15, s.top());
    path.lineTo(s.right(), s.center().y());
    path.lineTo(s.left() + s.width() * 0.15, s.bottom());
    path.closeSubpath();
    p.drawPath(path);
}

void PauseGlyph(QPainter& p, QRectF s)
{
    p.drawRect(QRectF(s.left() + s.width() * 0.12, s.top(), s.width() * 0.28, s.height()));
    p.drawRect(QRectF(s.left() + s.width() * 0.6, s.top(), s.width() * 0.28, s.height()));
}

void StopGlyph(QPainter& p, QRectF s) { p.drawRoundedRect(s.adjusted(2, 2, -2, -2), 2, 2); }

void SkipGlyph(QPainter& p, QRectF s, bool forward)
{
    QPainterPath path;
    const double bar = s.width() * 0.18;
    if (forward) {
        path.moveTo(s.left(), s.top());
        path.lineTo(s.right() - bar, s.center().y());
        path.lineTo(s.left(), s.bottom());
        path.closeSubpath();
        path.addRect(QRectF(s.right() - bar, s.top(), bar, s.height()));
    } else {
        path.moveTo(s.right(), s.top());
        path.lineTo(s.left() + bar, s.center().y());
        path.lineTo(s.right(), s.bottom());
        path.closeSubpath();
        path.addRect(QRectF(s.left(), s.top(), bar, s.height()));
    }
    p.drawPath(path);
}

void CameraGlyph(QPainter& p, QRectF s)
{
    QPainterPath body;
    body.addRoundedRect(QRectF(s.left(), s.top() + s.height() * 0.22, s.width(), s.height() * 0.7), 3, 3);
    body.addRect(QRectF(s.left() + s.width() * 0.3, s.top() + s.height() * 0.08, s.width() * 0.4, s.height() * 0.2));
    QPainterPath lens;
    lens.addEllipse(QPointF(s.center().x(), s.top() + s.height() * 0.57), s.width() * 0.2, s.width() * 0.2);
    p.drawPath(body.subtracted(lens));
}

void FolderGlyph(QPainter& p, QRectF s)
{
    QPainterPath path;
    path.moveTo(s.left(), s.top() + s.height() * 0.15);
    path.lineTo(s.left() + s.width() * 0.4, s.top() + s.height() * 0.15);
    path.lineTo(s.left() + s.width() * 0.5, s.top() + s.height() * 0.3);
    path.lineTo(s.right(), s.top() + s.height() * 0.3);
    path.lineTo(s.right(), s.bottom() - s.height() * 0.08);
    path.lineTo(s.left(), s.bottom() - s.height() * 0.08);
    path.closeSubpath();
    p.drawPath(path);
}

void LineGlyph(QPainter& p, const QPainterPath& path, double width)
{
    p.save();
    p.setPen(QPen(p.brush().color(), width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    p.restore();
}

// The big tool buttons: a glyph above a label.
void ToolButton(const QString& name, const QString& text, const Glyph& glyph)
{
    const int w = 108, h = 56;
    Strip(name, w, h, [&](QPainter& p, QRectF r, int frame) {
        FrameLook look = Look(frame, false);
        if (frame == 0) look.fill = Qt::transparent, look.line = Qt::transparent;
        RoundedBox(p, r.adjusted(2, 2, -2, -2), look, 8);
        p.setPen(Qt::NoPen);
        p.setBrush(frame == 3 ? look.ink : (frame == 0 ? kText : kAccent.lighter(150)));
        glyph(p, QRectF(r.center().x() - 11, r.top() + 8, 22, 22));
        p.setPen(look.ink);
        p.setFont(Font(8.5, true));
        p.drawText(QRectF(r.left(), r.top() + 33, r.width(), 18), Qt::AlignCenter, text);
    });
}

void DiscGlyph(QPainter& p, QRectF s)
{
    QPainterPath disc;
    disc.addEllipse(s);
    QPainterPath hole;
    hole.addEllipse(s.center(), s.width() * 0.12, s.width() * 0.12);
    p.drawPath(disc.subtracted(hole));
    p.save();
    p.setBrush(kAccent);
    QPainterPath plus;
    plus.addRect(QRectF(s.right() - 7, s.bottom() - 13, 4, 12));
    plus.addRect(QRectF(s.right() - 11, s.bottom() - 9, 12, 4));
    p.drawPath(plus);
    p.restore();
}

void MagicGlyph(QPainter& p, QRectF s)
{
    QPainterPath wand;
    wand.moveTo(s.left() + 2, s.bottom() - 2);
    wand.lineTo(s.right() - 6, s.top() + 6);
    LineGlyph(p, wand, 3);
    for (QPointF c : {QPointF(s.right() - 3, s.top() + 3), QPointF(s.left() + 6, s.top() + 4), QPointF(s.right() - 2, s.bottom() - 7)}) {
        QPainterPath star;
        star.moveTo(c.x(), c.y() - 4);
        star.lineTo(c.x() + 1.2, c.y() - 1.2);
        star.lineTo(c.x() + 4, c.y());
        star.lineTo(c.x() + 1.2, c.y() + 1.2);
        star.lineTo(c.x(), c.y() + 4);
        star.lineTo(c.x() - 1.2, c.y() + 1.2);
        star.lineTo(c.x() - 4, c.y());
        star.lineTo(c.x() - 1.2, c.y() - 1.2);
        star.closeSubpath();
        p.drawPath(star);
    }
}

void CropGlyph(QPainter& p, QRectF s)
{
    QPainterPath path;
    path.moveTo(s.left() + 5, s.top());
    path.lineTo(s.left() + 5, s.bottom() - 5);
    path.lineTo(s.right(), s.bottom() - 5);
    path.moveTo(s.left(), s.top() + 5);
    path.lineTo(s.right() - 5, s.top() + 5);
    path.lineTo(s.right() - 5, s.bottom());
    LineGlyph(p, path, 3);
}

void TrimGlyph(QPainter& p, QRectF s)
{
    QPainterPath blades;
    blades.moveTo(s.left() + 3, s.top());
    blades.lineTo(s.right() - 4, s.bottom() - 7);
    blades.moveTo(s.right() - 3, s.top());
    blades.lineTo(s.left() + 4, s.bottom() - 7);
    LineGlyph(p, blades, 2.5);
    p.save();
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(p.pen().color() == Qt::NoPen ? kText : kText, 2.5));
    p.restore();
    QPainterPath rings;
    rings.addEllipse(QPointF(s.left() + 4, s.bottom() - 4), 4, 4);
    rings.addEllipse(QPointF(s.right() - 4, s.bottom() - 4), 4, 4);
    LineGlyph(p, rings, 2.2);
}

void GearGlyph(QPainter& p, QRectF s)
{
    QPainterPath gear;
    const QPointF c = s.center();
    const double outer = s.width() / 2, inner = outer * 0.72;
    for (int i = 0; i < 16; ++i) {
        const double a0 = i * M_PI / 8, a1 = (i + 1) * M_PI / 8;
        const double r = (i % 2 == 0) ? outer : inner;
        const QPointF p0(c.x() + r * std::cos(a0), c.y() + r * std::sin(a0));
        const QPointF p1(c.x() + r * std::cos(a1), c.y() + r * std::sin(a1));
        if (i == 0) gear.moveTo(p0); else gear.lineTo(p0);
        gear.lineTo(p1);
    }
    gear.closeSubpath();
    QPainterPath hole;
    hole.addEllipse(c, outer * 0.3, outer * 0.3);
    p.drawPath(gear.subtracted(hole));
}

void CloseGlyph(QPainter& p, QRectF s)
{
    QPainterPath path;
    path.moveTo(s.topLeft());
    path.lineTo(s.bottomRight());
    path.moveTo(s.topRight());
    path.lineTo(s.bottomLeft());
    LineGlyph(p, path, 2);
}

void MinGlyph(QPainter& p, QRectF s) { p.drawRect(QRectF(s.left(), s.bottom() - 2, s.width(), 2)); }

// A format or category tile: a rounded square in the category's colour with a short label.
QColor CategoryColour(int category)
{
    static const QColor colours[] = {QColor(0x2f, 0x80, 0xed), QColor(0x9b, 0x51, 0xe0), QColor(0x4f, 0x4f, 0x4f),
                                     QColor(0xeb, 0x57, 0x57), QColor(0x56, 0xcc, 0xf2), QColor(0x82, 0x82, 0x82),
                                     QColor(0x33, 0x33, 0x33), QColor(0x27, 0xae, 0x60), QColor(0xf2, 0x99, 0x4a),
                                     QColor(0x6f, 0xcf, 0x97), QColor(0xf2, 0xc9, 0x4c), QColor(0xbb, 0x6b, 0xd9),
                                     QColor(0x1d, 0x3f, 0x8a), QColor(0x2d, 0x9c, 0xdb), QColor(0x56, 0xb6, 0xc9),
                                     QColor(0x21, 0x96, 0x53), QColor(0xd3, 0x54, 0x00)};
    return colours[(category - 1) % 17];
}

void Tile(const QString& name, const QString& label, QColor colour, int size = 32)
{
    // BMP keeps no alpha: the corners take the selector pane's colour.
    QImage image = NewImage(size, size, skin::kPane);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, size);
    g.setColorAt(0, colour.lighter(125));
    g.setColorAt(1, colour.darker(115));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(QRectF(1, 1, size - 2, size - 2), 7, 7);
    p.setPen(Qt::white);
    double points = label.size() <= 2 ? 11 : label.size() <= 3 ? 8.5 : label.size() <= 4 ? 7 : 5.8;
    p.setFont(Font(points, true));
    p.drawText(QRectF(0, 0, size, size), Qt::AlignCenter, label);
    Save(image, name);
}

// A short label for a picture file: "HD AVI.bmp" → "AVI", "ipod touch.bmp" → "iPT" …
QString TileLabel(const QString& file)
{
    QString base = file.section('.', 0, 0);
    static const std::pair<const char*, const char*> known[] = {
        {"HD ASF", "ASF"}, {"HD AVI", "AVI"}, {"HD DIVX", "DivX"}, {"HD AVC", "H264"}, {"HD MOV", "MOV"},
        {"HD MPEG2", "MPG2"}, {"HD MPEG4", "MP4"}, {"HD WMV", "WMV"}, {"ipod", "iPod"}, {"iPod tv", "iPod"},
        {"ipod touch", "touch"}, {"IPAD35", "iPad"}, {"iPhone", "iPh"}, {"3GPP", "3GP"}, {"3GPP2", "3GP2"},
        {"blackberry", "BB"}, {"Android", "And"}, {"motoroal cliq", "CLIQ"}, {"motorola droid", "Droid"},
        {"nexus one", "N1"}, {"samsung", "SAM"}, {"archos", "ARC"}, {"zen", "ZEN"}, {"IRIVER", "iRv"},
        {"PS3", "PS3"}, {"PSP", "PSP"}, {"wii", "Wii"}, {"XBOX", "360"}, {"ZUNE", "Zune"}, {"TV", "tv"},
        {"AVC", "H264"}, {"DIVX", "DivX"}, {"MPEG", "MPG1"}, {"MPEG2", "MPG2"},
        {"Modern H264 MKV", "264"}, {"Modern H264 MP4", "264"}, {"Modern H265 MKV", "265"}, {"Modern H265 MP4", "265"},
        {"Modern AV1 MKV", "AV1"}, {"Modern AV1 WebM", "AV1"}, {"Modern VP9 WebM", "VP9"},
    };
    for (const auto& [knownFile, label] : known)
        if (base == knownFile) return label;
    return base.toUpper();
}

void Background(const QString& name, int w, int h, const QString& title, const std::function<void(QPainter&)>& extra)
{
    QImage image = NewImage(w, h);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0, kWindowTop);
    g.setColorAt(0.12, kWindow);
    g.setColorAt(1, kWindow.darker(110));
    p.setPen(QPen(kPanelLine, 1));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(0.5, 0.5, w - 1, h - 1), 10, 10);
    // Title bar accent line.
    p.setPen(QPen(kAccent, 2));
    p.drawLine(QPointF(12, 36), QPointF(w - 12, 36));
    if (!title.isEmpty()) {
        p.setPen(kText);
        p.setFont(Font(11, true));
        p.drawText(QRectF(16, 6, w - 120, 26), Qt::AlignVCenter | Qt::AlignLeft, title);
    }
    extra(p);
    Save(image, name);
}

void Panel(QPainter& p, QRectF r, QColor fill = kPanel)
{
    p.setPen(QPen(kPanelLine, 1));
    p.setBrush(fill);
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
}

void Caption(QPainter& p, QPointF at, const QString& text, double points = 9, QColor ink = kMuted)
{
    p.setPen(ink);
    p.setFont(Font(points, true));
    p.drawText(at, text);
}

void MainWindow()
{
    Background("maindlg.png", 820, 540, "", [](QPainter& p) {
        // Logo: a disc with an arrow, and the name.
        p.setPen(Qt::NoPen);
        p.setBrush(kAccent);
        p.drawEllipse(QRectF(14, 8, 22, 22));
        p.setBrush(kWindowTop);
        p.drawEllipse(QRectF(22, 16, 6, 6));
        // Tool area.
        Panel(p, QRectF(12, 38, 590, 60), skin::kPane);
        // Video, list and the settings area.
        // Side by side with a gap: the list's panel does not cover the video panel's edge.
        Panel(p, QRectF(26, 104, 304, 286));
        Panel(p, QRectF(332, 104, 463, 286));
        Panel(p, QRectF(332, 404, 463, 124));
        Caption(p, QPointF(343, 385), "Audio Track:");
        Caption(p, QPointF(343, 436), "Profile:");
        Caption(p, QPointF(343, 474), "Output:");
    });
}

// A disc with a play mark on the accent's rounded square, designed on 128 × 128.
QImage ProgramIcon(int size)
{
    QImage image = NewImage(size, size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 128.0, size / 128.0);
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    p.drawRoundedRect(QRectF(4, 4, 120, 120), 26, 26);
    p.setBrush(kText);
    QPainterPath disc;
    disc.addEllipse(QPointF(64, 64), 40, 40);
    QPainterPath hole;
    hole.addEllipse(QPointF(64, 64), 9, 9);
    p.drawPath(disc.subtracted(hole));
    p.setBrush(kAccent);
    PlayGlyph(p, QRectF(78, 72, 30, 30));
    p.end();
    return image;
}

void Pictures()
{
    MainWindow();
    ToolButton("addfile.png", "Add File", DiscGlyph);
    ToolButton("effect.png", "Effect", MagicGlyph);
    ToolButton("crop.png", "Crop", CropGlyph);
    ToolButton("trim.png", "Trim", TrimGlyph);
    ToolButton("Preferences.png", "Preferences", GearGlyph);
    const std::pair<const char*, const char*> menus[] = {
        {"file.png", "File"}, {"edit.png", "Edit"}, {"clip.png", "Clip"}, {"option.png", "Option"}, {"help.png", "Help"}};
    for (const auto& [file, text] : menus) {
        Strip(file, 52, 28, [text = QString(text)](QPainter& p, QRectF r, int frame) {
            const FrameLook look = Look(frame, false);
            if (frame == 1 || frame == 2) {
                p.setPen(Qt::NoPen);
                p.setBrush(look.fill);
                p.drawRoundedRect(r.adjusted(1, 3, -1, -3), 5, 5);
            }
            p.setPen(frame == 3 ? look.ink : kText);
            p.setFont(Font(9));
            p.drawText(r, Qt::AlignCenter, text);
        });
    }
    IconButton("min.png", 20, 20, MinGlyph, false);
    IconButton("close.png", 20, 20, CloseGlyph, false);
    IconButton("back.png", 36, 36, [](QPainter& p, QRectF s) { SkipGlyph(p, s, false); });
    IconButton("play.png", 36, 36, PlayGlyph);
    IconButton("pause.png", 36, 36, PauseGlyph);
    IconButton("stop.png", 36, 36, StopGlyph);
    IconButton("next.png", 36, 36, [](QPainter& p, QRectF s) { SkipGlyph(p, s, true); });
    IconButton("snap.png", 36, 36, CameraGlyph);
    IconButton("open.png", 36, 36, FolderGlyph);
    TextButton("clear all.png", "Clear All", 84, 26);
    TextButton("rename.png", "Rename", 84, 26);
    TextButton("move up.png", "Move Up", 84, 26);
    TextButton("move down.png", "Move Down", 84, 26);
    TextButton("properties.png", "Properties", 84, 26);
    TextButton("star.png", "Start", 112, 38, true, 13);
    TextButton("settings.png", "Settings", 96, 28);
    TextButton("browse.png", "Browse..", 96, 28);
    TextButton("openfolder.png", "Open Folder", 96, 28);

    // Position slider: track, filled track and thumb.
    for (int filled = 0; filled < 2; ++filled) {
        QImage track = NewImage(296, 14);
        QPainter p(&track);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(filled ? kAccent : kField);
        p.drawRoundedRect(QRectF(0, 4, 296, 6), 3, 3);
        p.end();
        Save(track, filled ? "sliderbk_main2.png" : "sliderbk_main1.png");
    }
    {
        QImage thumb = NewImage(14, 14);
        QPainter p(&thumb);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(kAccent, 2));
        p.setBrush(kText);
        p.drawEllipse(QRectF(1, 1, 12, 12));
        p.end();
        Save(thumb, "thumb.png");
    }
    // The title list's check states: empty, unchecked, partly checked, checked.
    {
        QImage strip = NewImage(64, 16, Qt::white);
        QPainter p(&strip);
        p.setRenderHint(QPainter::Antialiasing);
        for (int state = 1; state <= 3; ++state) {
            const QRectF box(state * 16 + 2.5, 2.5, 11, 11);
            p.setPen(QPen(state == 1 ? QColor(0x70, 0x78, 0x86) : kAccent, 1.2));
            p.setBrush(state == 1 ? QColor(Qt::white) : kAccent);
            p.drawRoundedRect(box, 2, 2);
            p.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            if (state == 2) p.drawLine(QPointF(box.left() + 3, box.center().y()), QPointF(box.right() - 3, box.center().y()));
            if (state == 3) {
                QPainterPath tick;
                tick.moveTo(box.left() + 2.5, box.center().y());
                tick.lineTo(box.left() + 4.8, box.bottom() - 2.8);
                tick.lineTo(box.right() - 2.3, box.top() + 2.8);
                p.setBrush(Qt::NoBrush);
                p.drawPath(tick);
            }
        }
        p.end();
        Save(strip, "checkstates.bmp");
    }
    // "Getting started" over the empty list, and the video placeholder.
    {
        QImage image = NewImage(454, 238, kPanel);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(kPanelLine, 2, Qt::DashLine));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(16, 16, 422, 206), 10, 10);
        p.setPen(Qt::NoPen);
        p.setBrush(kAccent);
        DiscGlyph(p, QRectF(205, 40, 44, 44));
        p.setPen(kText);
        p.setFont(Font(13, true));
        p.drawText(QRectF(0, 100, 454, 28), Qt::AlignCenter, "Getting started");
        p.setPen(kMuted);
        p.setFont(Font(9.5));
        p.drawText(QRectF(40, 130, 374, 80), Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
                   "1. Add File: load a DVD or Blu-ray disc or folder, an ISO image or an MPEG or TS video file.\n"
                   "2. Tick the titles and choose a profile.\n"
                   "3. Press Start.");
        p.end();
        Save(image, "getting started.bmp");
    }
    {
        QImage image = NewImage(296, 209, QColor(0x12, 0x15, 0x1a));
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x3a, 0x42, 0x4e));
        PlayGlyph(p, QRectF(128, 84, 40, 40));
        p.end();
        Save(image, "video.bmp");
    }
    // Splash.
    {
        QImage image = NewImage(420, 260, kWindow);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        QLinearGradient g(0, 0, 420, 260);
        g.setColorAt(0, kAccentDark);
        g.setColorAt(1, kWindow);
        p.fillRect(image.rect(), g);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 40));
        p.drawEllipse(QPointF(330, 90), 70, 70);
        p.setBrush(kWindow);
        p.drawEllipse(QPointF(330, 90), 14, 14);
        p.setPen(kText);
        p.setFont(Font(26, true));
        p.drawText(QRectF(36, 60, 300, 50), Qt::AlignLeft | Qt::AlignVCenter, "ZuZidero");
        p.setFont(Font(11));
        p.setPen(QColor(0xdc, 0xe6, 0xf5));
        p.drawText(QRectF(38, 108, 300, 24), Qt::AlignLeft | Qt::AlignVCenter, "DVD ripper for the Linux desktop");
        p.end();
        image.convertToFormat(QImage::Format_RGB32).save(g_out + "/starup.jpg", "JPG", 92);
    }
    // Format selector: its button, the bottom strips and every tile.
    {
        QImage image = NewImage(236, 30);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        RoundedBox(p, QRectF(0, 0, 236, 30), {kField, kPanelLine, kText}, 5);
        p.setPen(Qt::NoPen);
        p.setBrush(kMuted);
        QPainterPath arrow;
        arrow.moveTo(220, 12);
        arrow.lineTo(228, 12);
        arrow.lineTo(224, 18);
        arrow.closeSubpath();
        p.drawPath(arrow);
        p.end();
        Save(image, "button.bmp");
    }
    const std::pair<const char*, std::pair<bool, bool>> bottoms[] = {
        {"Bottom.bmp", {true, true}}, {"Bottom_L.bmp", {false, true}}, {"Bottom_R.bmp", {true, false}}, {"Bottom_B.bmp", {false, false}}};
    for (const auto& [file, arrows] : bottoms) {
        QImage image = NewImage(562, 32, kField);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(kPanelLine, 1));
        p.drawLine(0, 0, 562, 0);
        p.setPen(Qt::NoPen);
        for (int side = 0; side < 2; ++side) {
            const bool active = side == 0 ? arrows.first : arrows.second;
            p.setBrush(active ? kText : QColor(0x4a, 0x52, 0x5e));
            const double x = side == 0 ? 500 : 536;
            QPainterPath arrow;
            if (side == 0) {
                arrow.moveTo(x + 12, 9);
                arrow.lineTo(x + 4, 16);
                arrow.lineTo(x + 12, 23);
            } else {
                arrow.moveTo(x + 4, 9);
                arrow.lineTo(x + 12, 16);
                arrow.lineTo(x + 4, 23);
            }
            arrow.closeSubpath();
            p.drawPath(arrow);
        }
        p.end();
        Save(image, file);
    }
    std::set<std::string> drawn;
    // Category pictures: a short mark for each (18, the saved profiles', is drawn below).
    static const char* const categoryMarks[] = {"VID", "AUD", "tv", "HD", "iPod", "iPad", "iPh", "LS", "3G", "And",
                                                "FLV", "PMP", "PS3", "PSP", "Wii", "360", "Zune", "MY", "ORIG", "NEW"};
    for (const FormatCategory& category : FormatCategories())
        Tile(QString::fromUtf8(category.titlePicture.data(), static_cast<int>(category.titlePicture.size())),
             QString::fromLatin1(categoryMarks[(category.id - 1) % 20]), CategoryColour(category.id));
    for (const FormatEntry& entry : FormatEntries()) {
        const std::string file(entry.picture);
        if (!drawn.insert(file).second) continue;
        Tile(QString::fromStdString(file), TileLabel(QString::fromStdString(file)), CategoryColour(entry.category));
    }
    // The user's own profiles ("Save as..."): their category and their format tile.
    Tile(QStringLiteral("My Profiles Title.bmp"), QStringLiteral("MY"), kAccent);
    Tile(QStringLiteral("My Profile.bmp"), QStringLiteral("MY"), kAccent);

    // Progress window.
    Background("convertingbk.png", 485, 550, "", [](QPainter& p) {
        Panel(p, QRectF(80, 72, 334, 254), QColor(0x12, 0x15, 0x1a));
        Panel(p, QRectF(24, 338, 437, 170));
    });
    TextButton("Pause2.png", "Pause", 72, 20, false, 8);
    TextButton("continue2.png", "Continue", 72, 20, false, 8);
    TextButton("Cancel.png", "Cancel", 72, 20, false, 8);
    for (int which = 1; which <= 2; ++which) {
        QImage tile = NewImage(8, 16);
        QPainter p(&tile);
        QLinearGradient g(0, 0, 0, 16);
        const QColor base = which == 1 ? kAccent : QColor(0x27, 0xae, 0x60);
        g.setColorAt(0, base.lighter(130));
        g.setColorAt(1, base.darker(110));
        p.fillRect(tile.rect(), g);
        p.setPen(QColor(255, 255, 255, 30));
        p.drawLine(6, 0, 2, 15);
        p.end();
        Save(tile, which == 1 ? "progress1.png" : "progress2.png");
    }
    // Properties and the conversion-done message.
    Background("propertiesbk.png", 580, 430, "", [](QPainter& p) {
        Panel(p, QRectF(24, 56, 532, 150));
        Panel(p, QRectF(24, 220, 532, 150));
    });
    TextButton("ok2.png", "OK", 72, 24, true, 9);
    Background("converterok_bg.png", 380, 180, "", [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x27, 0xae, 0x60));
        p.drawEllipse(QRectF(28, 62, 44, 44));
        QPainterPath tick;
        tick.moveTo(38, 84);
        tick.lineTo(47, 93);
        tick.lineTo(63, 74);
        p.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(tick);
        p.setPen(kText);
        p.setFont(Font(12, true));
        p.drawText(QRectF(90, 60, 270, 24), Qt::AlignLeft | Qt::AlignVCenter, "Conversion completed");
        p.setPen(kMuted);
        p.setFont(Font(9.5));
        p.drawText(QRectF(90, 86, 270, 40), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                   "Your files are in the output folder.");
    });
    // The crop, trim and effect editor: two panes, the timeline's row, and room for a page.
    Background("cropbk.png", 800, 600, "Edit", [](QPainter& p) {
        Panel(p, QRectF(10, 62, 388, 300), QColor(0x12, 0x15, 0x1a));
        Panel(p, QRectF(402, 62, 388, 300), QColor(0x12, 0x15, 0x1a));
        Caption(p, QPointF(14, 56), "Source");
        Caption(p, QPointF(406, 56), "Result");
        Panel(p, QRectF(10, 395, 780, 52));
        Panel(p, QRectF(10, 485, 780, 60));
        p.fillRect(QRectF(445, 417, 110, 15), QColor(73, 73, 73));
    });
    TextButton("crop2.png", "Crop", 50, 22, false, 8);
    TextButton("trim2.png", "Trim", 50, 22, false, 8);
    TextButton("effect2.png", "Effect", 50, 22, false, 8);
    IconButton("nextframe.png", 36, 36, [](QPainter& p, QRectF s) {
        // Go to the selection: an arrow onto a bar.
        QPainterPath arrow;
        arrow.moveTo(s.left(), s.top());
        arrow.lineTo(s.left() + s.width() * 0.7, s.center().y());
        arrow.lineTo(s.left(), s.bottom());
        arrow.closeSubpath();
        p.drawPath(arrow);
        p.drawRect(QRectF(s.right() - s.width() * 0.18, s.top(), s.width() * 0.18, s.height()));
    });
    const auto markGlyph = [](bool in) {
        return [in](QPainter& p, QRectF s) {
            // A bracket: "[" marks in, "]" marks out.
            const double w = s.width() * 0.22;
            const double x = in ? s.left() + s.width() * 0.2 : s.right() - s.width() * 0.2 - w;
            p.drawRect(QRectF(x, s.top(), w, s.height()));
            const double armX = in ? x : x - s.width() * 0.3 + w;
            p.drawRect(QRectF(armX, s.top(), s.width() * 0.3, s.height() * 0.16));
            p.drawRect(QRectF(armX, s.bottom() - s.height() * 0.16, s.width() * 0.3, s.height() * 0.16));
        };
    };
    IconButton("makein.png", 36, 36, markGlyph(true));
    IconButton("makeout.png", 36, 36, markGlyph(false));
    TextButton("ok.png", "Apply", 50, 20, false, 8);
    TextButton("cancel.png", "Cancel", 72, 24, false, 9);
    TextButton("reset.png", "Reset", 72, 24, false, 9);
    // Tracks: the timeline (780 wide), the volume and the effect sliders (100 wide).
    const auto track = [](const QString& name, int w, QColor colour) {
        QImage image = NewImage(w, 14);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawRoundedRect(QRectF(0, 4, w, 6), 3, 3);
        p.end();
        Save(image, name);
    };
    track("sliderbk_crop1.png", 780, kField);
    track("sliderbk_crop2.png", 780, kAccent);
    track("sliderbk1.png", 100, kField);
    track("sliderbk2.png", 100, kAccent);
    track("bg2-2.png", 100, kField);
    {
        QImage thumb = NewImage(12, 16);
        QPainter p(&thumb);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(kAccent, 1.5));
        p.setBrush(kText);
        p.drawRoundedRect(QRectF(1, 1, 10, 14), 2, 2);
        p.end();
        Save(thumb, "kuang-2.png");
    }
    {
        // The range selector's handle: a pointer up to the timeline.
        QImage handle = NewImage(18, 12);
        QPainter p(&handle);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xf2, 0xc9, 0x4c));
        QPainterPath tip;
        tip.moveTo(9, 0);
        tip.lineTo(18, 12);
        tip.lineTo(0, 12);
        tip.closeSubpath();
        p.drawPath(tip);
        p.end();
        Save(handle, "select.png");
    }
    // The settings and preferences windows: the main window's ground, their title, room for their
    // controls below the title bar.
    Background("settings_bg.png", 690, 450, "Settings", [](QPainter&) {});
    Background("preferences_bg.png", 600, 310, "Preferences", [](QPainter&) {});
    // The message window of everything else: a plain panel; the icon, title and text are its own.
    Background("msgbox_bg.png", 420, 220, "", [](QPainter&) {});
    TextButton("yes.png", "Yes", 72, 24, true, 9);
    TextButton("no.png", "No", 72, 24, false, 9);
    // Its icons: warning (amber), error (red), information and question (blue).
    const auto messageIcon = [](const QString& name, QColor colour, const QString& mark) {
        QImage image = NewImage(44, 44);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawEllipse(QRectF(0, 0, 44, 44));
        p.setPen(Qt::white);
        p.setFont(Font(20, true));
        p.drawText(QRectF(0, 0, 44, 44), Qt::AlignCenter, mark);
        p.end();
        Save(image, name);
    };
    messageIcon("msg_warning.png", QColor(0xe0, 0x8a, 0x1e), "!");
    messageIcon("msg_error.png", QColor(0xd6, 0x45, 0x45), "\u00d7");
    messageIcon("msg_info.png", kAccent, "i");
    messageIcon("msg_question.png", kAccent, "?");
    // The program's icon: the skin's copy, and the desktop's sizes (drawn at each size, not
    // scaled from one picture, so that the small ones stay sharp).
    Save(ProgramIcon(128), "zuzidero.png");
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256, 512}) {
        const QString folder = QStringLiteral("icons/hicolor/%1x%1/apps").arg(size);
        QDir().mkpath(g_out + "/" + folder);
        Save(ProgramIcon(size), folder + "/org.zuzidero.ZuZidero.png");
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: skingen OUTPUT-FOLDER\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    g_out = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(g_out)) {
        std::fprintf(stderr, "skingen: cannot make %s\n", argv[1]);
        return 1;
    }
    Pictures();
    return 0;
}
