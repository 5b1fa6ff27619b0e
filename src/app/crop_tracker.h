#pragma once
// CropTracker: the crop rectangle the user drags over the editor's source picture. It lives in
// the pane's coordinates, inside its bounds (where the picture is shown), and is never smaller
// than 32 × 32. Nine zones grab it: the four corners, the four edges and the inside (which moves
// the whole rectangle).

#include <QPoint>
#include <QRect>
#include <Qt>

class CropTracker {
public:
    // Edges and corners are this many pixels deep.
    static constexpr int kGrip = 4;
    static constexpr int kMinimum = 32;

    // left, top, right, bottom; right and bottom exclusive.
    struct Box {
        int left = 0, top = 0, right = 0, bottom = 0;
        int Width() const { return right - left; }
        int Height() const { return bottom - top; }
        bool operator==(const Box&) const = default;
    };

    // The bounds; the rectangle becomes the whole of them.
    void SetBounds(const Box& bounds);
    const Box& Bounds() const { return m_bounds; }
    // Placed inside the bounds, at least the minimum size where the bounds allow.
    void SetRect(const Box& rect);
    const Box& Rect() const { return m_rect; }

    // 0 outside; 1 top-left, 2 top, 3 top-right, 4 right, 5 bottom-right, 6 bottom,
    // 7 bottom-left, 8 left, 9 inside.
    int HitTest(QPoint point) const;
    static Qt::CursorShape CursorFor(int zone);

    // A drag: begun on a zone, moved by the pointer (true when the rectangle changed), ended.
    bool Begin(QPoint point);
    bool Move(QPoint point);
    void End() { m_zone = 0; }
    bool Dragging() const { return m_zone != 0; }

private:
    Box m_bounds, m_rect;
    int m_zone = 0;
    QPoint m_from;
    Box m_start;
};
