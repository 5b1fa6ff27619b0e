#include "app/crop_tracker.h"

#include <algorithm>

void CropTracker::SetBounds(const Box& bounds)
{
    m_bounds = bounds;
    m_rect = bounds;
    m_zone = 0;
}

void CropTracker::SetRect(const Box& rect)
{
    const Box& b = m_bounds;
    Box r = rect;
    r.left = std::clamp(r.left, b.left, b.right);
    r.top = std::clamp(r.top, b.top, b.bottom);
    r.right = std::clamp(r.right, r.left, b.right);
    r.bottom = std::clamp(r.bottom, r.top, b.bottom);
    // Grown to the minimum, towards the bounds' inside.
    if (r.Width() < kMinimum) {
        r.right = std::min(r.left + kMinimum, b.right);
        r.left = std::max(b.left, r.right - kMinimum);
    }
    if (r.Height() < kMinimum) {
        r.bottom = std::min(r.top + kMinimum, b.bottom);
        r.top = std::max(b.top, r.bottom - kMinimum);
    }
    m_rect = r;
}

int CropTracker::HitTest(QPoint p) const
{
    const Box& r = m_rect;
    const auto in = [&](int l, int t, int rr, int bb) { return p.x() >= l && p.x() < rr && p.y() >= t && p.y() < bb; };
    const int g = kGrip;
    if (in(r.left, r.top, r.left + g, r.top + g)) return 1;
    if (in(r.left + g, r.top, r.right - g, r.top + g)) return 2;
    if (in(r.right - g, r.top, r.right, r.top + g)) return 3;
    if (in(r.right - g, r.top + g, r.right, r.bottom - g)) return 4;
    if (in(r.right - g, r.bottom - g, r.right, r.bottom)) return 5;
    if (in(r.left + g, r.bottom - g, r.right - g, r.bottom)) return 6;
    if (in(r.left, r.bottom - g, r.left + g, r.bottom)) return 7;
    if (in(r.left, r.top + g, r.left + g, r.bottom - g)) return 8;
    if (in(r.left + g, r.top + g, r.right - g, r.bottom - g)) return 9;
    return 0;
}

Qt::CursorShape CropTracker::CursorFor(int zone)
{
    switch (zone) {
    case 1:
    case 5:
        return Qt::SizeFDiagCursor;
    case 3:
    case 7:
        return Qt::SizeBDiagCursor;
    case 2:
    case 6:
        return Qt::SizeVerCursor;
    case 4:
    case 8:
        return Qt::SizeHorCursor;
    case 9:
        return Qt::SizeAllCursor;
    default:
        return Qt::ArrowCursor;
    }
}

bool CropTracker::Begin(QPoint point)
{
    m_zone = HitTest(point);
    m_from = point;
    m_start = m_rect;
    return m_zone != 0;
}

bool CropTracker::Move(QPoint point)
{
    if (m_zone == 0) return false;
    const int dx = point.x() - m_from.x(), dy = point.y() - m_from.y();
    const Box& b = m_bounds;
    Box r = m_start;
    if (m_zone == 9) {
        // The whole rectangle, kept inside the bounds at its size.
        r.left = std::clamp(m_start.left + dx, b.left, b.right - m_start.Width());
        r.top = std::clamp(m_start.top + dy, b.top, b.bottom - m_start.Height());
        r.right = r.left + m_start.Width();
        r.bottom = r.top + m_start.Height();
    } else {
        // Each edge the zone holds follows the pointer, stopping at the bounds and at the minimum
        // distance from its opposite edge.
        const bool left = m_zone == 1 || m_zone == 7 || m_zone == 8;
        const bool right = m_zone == 3 || m_zone == 4 || m_zone == 5;
        const bool top = m_zone == 1 || m_zone == 2 || m_zone == 3;
        const bool bottom = m_zone == 5 || m_zone == 6 || m_zone == 7;
        if (left) r.left = std::clamp(m_start.left + dx, b.left, std::max(b.left, m_start.right - kMinimum));
        if (right) r.right = std::clamp(m_start.right + dx, std::min(b.right, m_start.left + kMinimum), b.right);
        if (top) r.top = std::clamp(m_start.top + dy, b.top, std::max(b.top, m_start.bottom - kMinimum));
        if (bottom) r.bottom = std::clamp(m_start.bottom + dy, std::min(b.bottom, m_start.top + kMinimum), b.bottom);
    }
    if (r == m_rect) return false;
    m_rect = r;
    return true;
}
