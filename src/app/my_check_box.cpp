#include "app/my_check_box.h"
#include "app/palette.h"
#include "app/skin.h"

#include <QPainter>
#include <QPainterPath>

QSize CMyCheckBox::sizeHint() const { return QSize(20 + fontMetrics().horizontalAdvance(text()) + 4, 18); }

void CMyCheckBox::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box(0.5, (height() - 13) / 2.0, 13, 13);
    p.setPen(QPen(isChecked() ? skin::kAccent : skin::kMuted, 1.2));
    p.setBrush(isChecked() ? skin::kAccent : skin::kField);
    p.drawRoundedRect(box, 2.5, 2.5);
    if (isChecked()) {
        QPainterPath tick;
        tick.moveTo(box.left() + 3, box.center().y());
        tick.lineTo(box.left() + 5.5, box.bottom() - 3);
        tick.lineTo(box.right() - 2.5, box.top() + 3);
        p.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(tick);
    }
    p.setPen(isEnabled() ? palette().color(QPalette::WindowText) : palette().color(QPalette::PlaceholderText));
    p.drawText(QRect(20, 0, width() - 20, height()), Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, text());
    if (hasFocus()) DrawFocusMark(p, box.toAlignedRect().adjusted(-2, -2, 2, 2));
}
