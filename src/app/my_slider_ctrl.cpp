#include "app/my_slider_ctrl.h"
#include "app/palette.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "app/skin.h"

CMySliderCtrl::CMySliderCtrl(QWidget* parent, int id) : QWidget(parent), m_id(id)
{
    setCursor(Qt::PointingHandCursor);
}

bool CMySliderCtrl::SetPictures(const QString& track, const QString& filled, const QString& thumb)
{
    m_track = LoadSkin(track);
    m_filled = LoadSkin(filled);
    m_thumb = LoadSkin(thumb);
    if (!m_track.isNull()) resize(m_track.size());
    update();
    return !m_track.isNull() && !m_filled.isNull() && !m_thumb.isNull();
}

void CMySliderCtrl::SetRange(int minimum, int maximum)
{
    m_minimum = minimum;
    m_maximum = maximum;
    update();
}

void CMySliderCtrl::SetPos(int position)
{
    if (m_dragging) return;
    m_position = position;
    // The filled part ends at the thumb wherever it is put (Stop and Next put it back to the start).
    if (m_linkMode == 1) m_selEnd = position;
    update();
}

void CMySliderCtrl::SetSelection(int start, int end)
{
    if (start >= 0) m_selStart = start;
    if (end >= 0) m_selEnd = end;
    update();
}

void CMySliderCtrl::SetSelectionEnd(int end)
{
    m_selEnd = end;
    if (m_linkMode == 1 && !m_dragging) m_position = end;
    update();
}

void CMySliderCtrl::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const int span = std::max(1, m_maximum - m_minimum);
    if (m_track.isNull()) {
        p.fillRect(QRect(0, height() / 2 - 2, width(), 4), skin::kField);
    } else {
        p.drawPixmap(rect(), m_track);
    }
    const int x0 = static_cast<int>(static_cast<long long>(width()) * (m_selStart - m_minimum) / span);
    const int x1 = static_cast<int>(static_cast<long long>(width()) * (m_selEnd - m_minimum) / span);
    if (x1 > x0) {
        const QRect part(x0, 0, x1 - x0, height());
        if (m_filled.isNull())
            p.fillRect(QRect(x0, height() / 2 - 2, x1 - x0, 4), skin::kAccent);
        else
            p.drawPixmap(part, m_filled.scaled(size()), part);
    }
    const int thumbWidth = m_thumb.isNull() ? 8 : m_thumb.width();
    const int x = static_cast<int>(static_cast<long long>(width() - thumbWidth) * (m_position - m_minimum) / span);
    if (m_thumb.isNull())
        p.fillRect(QRect(x, 0, thumbWidth, height()), Qt::white);
    else
        p.drawPixmap(x, (height() - m_thumb.height()) / 2, m_thumb);
}

void CMySliderCtrl::TrackMouse(int x)
{
    x = std::clamp(x, 0, width());
    // All sliders of the program start at 0: the minimum is not added.
    m_position = width() > 0 ? static_cast<int>(static_cast<long long>(x) * (m_maximum - m_minimum) / width()) : 0;
    if (m_linkMode == 1) m_selEnd = m_position;
    update();
    emit positionChanged(m_id, m_position);
}

void CMySliderCtrl::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return;
    m_dragging = true;
    TrackMouse(static_cast<int>(event->position().x()));
}

void CMySliderCtrl::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragging) TrackMouse(static_cast<int>(event->position().x()));
}

void CMySliderCtrl::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_dragging) return;
    m_dragging = false;
    emit released(m_id);
}
