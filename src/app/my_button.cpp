#include "app/my_button.h"

#include <QPainter>
#include <QStyleOptionButton>

#include "app/palette.h"
#include "app/skin.h"

CMyButton::CMyButton(QWidget* parent) : QAbstractButton(parent)
{
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover);
    // Reached by Tab (a click does not leave a focus mark behind).
    setFocusPolicy(Qt::TabFocus);
}

bool CMyButton::SetPictures(const QString& picture, int x, int y, const QPixmap& background)
{
    m_picture = LoadSkin(picture);
    if (m_picture.isNull()) {
        move(x, y);
        resize(sizeHint());
        return false;
    }
    const QSize frame(m_picture.width() / 4, m_picture.height());
    setGeometry(QRect(QPoint(x, y), frame));
    m_background = background.isNull() ? QPixmap() : background.copy(QRect(QPoint(x, y), frame));
    update();
    return true;
}

void CMyButton::TakeBackground(const QPixmap& background)
{
    if (m_picture.isNull()) return;
    m_background = background.isNull() ? QPixmap() : background.copy(geometry());
    update();
}

QSize CMyButton::sizeHint() const
{
    if (!m_picture.isNull()) return QSize(m_picture.width() / 4, m_picture.height());
    return QSize(fontMetrics().horizontalAdvance(text()) + 24, fontMetrics().height() + 12);
}

void CMyButton::enterEvent(QEnterEvent* event)
{
    m_state = 1;
    update();
    QAbstractButton::enterEvent(event);
}

void CMyButton::leaveEvent(QEvent* event)
{
    m_state = 0;
    update();
    QAbstractButton::leaveEvent(event);
}

void CMyButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (m_picture.isNull()) {
        QStyleOptionButton option;
        option.initFrom(this);
        option.text = text();
        if (isDown()) option.state |= QStyle::State_Sunken;
        style()->drawControl(QStyle::CE_PushButton, &option, &p, this);
        return;
    }
    int frame = m_state;
    if (!isEnabled())
        frame = 3;
    else if (isDown() || isChecked())
        frame = 2;
    if (!m_background.isNull()) p.drawPixmap(0, 0, m_background);
    const int w = m_picture.width() / 4;
    p.drawPixmap(QRect(0, 0, w, m_picture.height()), m_picture, QRect(frame * w, 0, w, m_picture.height()));
    if (hasFocus()) DrawFocusMark(p, rect());
}
