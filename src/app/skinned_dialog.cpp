#include "app/skinned_dialog.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QScreen>

#include "app/skin.h"

CSkinnedDialog::CSkinnedDialog(QWidget* parent) : QDialog(parent)
{
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
}

bool CSkinnedDialog::SetBackground(const QString& picture, QSize fallback)
{
    m_background = LoadSkin(picture);
    const QSize size = m_background.isNull() ? fallback : m_background.size();
    setFixedSize(size);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(size.width() / 2, size.height() / 2));
    }
    update();
    return !m_background.isNull();
}

QPixmap CSkinnedDialog::BackgroundUnder(const QRect& rect) const
{
    if (m_background.isNull()) {
        QPixmap plain(rect.size());
        plain.fill(palette().color(QPalette::Window));
        return plain;
    }
    return m_background.copy(rect);
}

void CSkinnedDialog::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (m_background.isNull())
        p.fillRect(rect(), palette().color(QPalette::Window));
    else
        p.drawPixmap(0, 0, m_background);
}

void CSkinnedDialog::resizeEvent(QResizeEvent* event)
{
    QPainterPath outline;
    outline.addRoundedRect(QRectF(rect()), 10, 10); // 20 × 20 corner ellipses
    setMask(QRegion(outline.toFillPolygon().toPolygon()));
    QDialog::resizeEvent(event);
}

void CSkinnedDialog::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_dragging = true;
        m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
    }
    QDialog::mousePressEvent(event);
}

void CSkinnedDialog::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragging) move(event->globalPosition().toPoint() - m_dragOffset);
    QDialog::mouseMoveEvent(event);
}

void CSkinnedDialog::mouseReleaseEvent(QMouseEvent* event)
{
    m_dragging = false;
    QDialog::mouseReleaseEvent(event);
}
