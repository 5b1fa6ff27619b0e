#include "app/my_static.h"

#include <QPainter>

void CMyStatic::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (!m_background.isNull()) p.drawPixmap(0, 0, m_background);
    p.setPen(palette().color(QPalette::WindowText));
    p.setFont(font());
    p.drawText(rect(), Qt::AlignVCenter | (alignment() & Qt::AlignHorizontal_Mask), text());
}
