#include "app/my_select_ctrl.h"
#include "app/palette.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "app/my_slider_ctrl.h"
#include "app/skin.h"

CMySelectCtrl::CMySelectCtrl(QWidget* parent) : QWidget(parent) {}

bool CMySelectCtrl::SetPictures(const QString& handle, const QPixmap& windowBackground)
{
    m_handle = LoadSkin(handle);
    m_background = windowBackground.isNull() ? QPixmap() : windowBackground.copy(geometry());
    update();
    return !m_handle.isNull();
}

void CMySelectCtrl::SetRange(int minimum, int maximum)
{
    m_minimum = minimum;
    m_maximum = maximum;
}

std::pair<int, int> CMySelectCtrl::Positions() const
{
    const double span = m_maximum - m_minimum;
    return {static_cast<int>(m_start * span), static_cast<int>(m_end * span)};
}

void CMySelectCtrl::SetHandles(double start, double end)
{
    if (start >= 0) m_start = std::clamp(start, 0.0, 1.0);
    if (end >= 0) m_end = std::clamp(end, 0.0, 1.0);
    update();
    const auto [a, b] = Positions();
    if (m_slider) m_slider->SetSelectionMarks(a, b);
    emit handlesMoved(a, b);
}

void CMySelectCtrl::Moved()
{
    update();
    const auto [a, b] = Positions();
    if (m_slider) m_slider->SetSelectionMarks(a, b);
    emit handlesMoved(a, b);
    emit handlesDragged(a, b);
}

void CMySelectCtrl::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (!m_background.isNull()) p.drawPixmap(0, 0, m_background);
    for (double fraction : {m_start, m_end}) {
        const int x = HandleX(fraction);
        if (m_handle.isNull())
            p.fillRect(QRect(x, 0, HandleWidth(), height()), skin::kAccent);
        else
            p.drawPixmap(x, (height() - m_handle.height()) / 2, m_handle);
    }
}

void CMySelectCtrl::mousePressEvent(QMouseEvent* event)
{
    const int x = static_cast<int>(event->position().x());
    const int w = HandleWidth();
    // The end handle wins where the two overlap at the right, so a closed selection can open.
    if (x >= HandleX(m_end) && x < HandleX(m_end) + w)
        m_drag = Drag::End;
    else if (x >= HandleX(m_start) && x < HandleX(m_start) + w)
        m_drag = Drag::Start;
}

void CMySelectCtrl::mouseMoveEvent(QMouseEvent* event)
{
    if (m_drag == Drag::None) return;
    const double fraction = std::clamp((event->position().x() - HandleWidth() / 2.0) / Usable(), 0.0, 1.0);
    if (m_drag == Drag::Start)
        m_start = std::min(fraction, m_end);
    else
        m_end = std::max(fraction, m_start);
    Moved();
}

void CMySelectCtrl::mouseReleaseEvent(QMouseEvent*) { m_drag = Drag::None; }
