#include "app/hyper_link.h"
#include "app/skin.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QUrl>

CHyperLink::CHyperLink(const QString& text, const QString& address, QWidget* parent)
    : QLabel(text, parent), m_address(address)
{
    setCursor(Qt::PointingHandCursor);
    setToolTip(address);
    SetUnderline(true);
    Recolour();
}

void CHyperLink::SetUnderline(bool on)
{
    QFont f = font();
    f.setUnderline(on);
    setFont(f);
}

QColor CHyperLink::CurrentColour() const { return m_over ? m_hover : (m_visited ? m_visitedColour : m_link); }

void CHyperLink::Recolour()
{
    QPalette p = palette();
    p.setColor(QPalette::WindowText, CurrentColour());
    setPalette(p);
}

void CHyperLink::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return;
    m_visited = true;
    Recolour();
    OpenInDesktop(window(), QUrl(m_address));
    emit opened(m_address);
}

void CHyperLink::enterEvent(QEnterEvent*)
{
    m_over = true;
    Recolour();
}

void CHyperLink::leaveEvent(QEvent*)
{
    m_over = false;
    Recolour();
}
