#include "app/my_progress_ctrl.h"
#include "app/palette.h"

#include <QPainter>
#include <cmath>

#include "app/skin.h"

CMyProgressCtrl::CMyProgressCtrl(QWidget* parent) : QWidget(parent) {}

bool CMyProgressCtrl::SetPicture(const QString& picture)
{
    m_picture = LoadSkin(picture);
    if (m_picture.isNull()) return false;
    resize(width(), m_picture.height());
    Tile();
    return true;
}

void CMyProgressCtrl::Tile()
{
    if (m_picture.isNull() || width() <= 0) return;
    m_tiled = QPixmap(width(), m_picture.height());
    QPainter p(&m_tiled);
    for (int x = 0; x < width(); x += m_picture.width()) p.drawPixmap(x, 0, m_picture);
}

void CMyProgressCtrl::resizeEvent(QResizeEvent*) { Tile(); }

void CMyProgressCtrl::SetRange(int minimum, int maximum)
{
    m_minimum = minimum;
    m_maximum = maximum;
    update();
}

void CMyProgressCtrl::SetPos(int position)
{
    if (position == m_position) return;
    m_position = position;
    update();
}

double CMyProgressCtrl::Percent() const
{
    if (m_maximum <= m_minimum) return 0;
    return 100.0 * (m_position - m_minimum) / (m_maximum - m_minimum);
}

QString CMyProgressCtrl::Text() const { return QString::asprintf("%d%%", static_cast<int>(std::lround(Percent()))); }

void CMyProgressCtrl::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    const int done = static_cast<int>(width() * Percent() / 100);
    if (!m_tiled.isNull())
        p.drawPixmap(QRect(0, 0, done, height()), m_tiled, QRect(0, 0, done, m_tiled.height()));
    else
        p.fillRect(QRect(0, 0, done, height()), skin::kAccent);
    p.setPen(Qt::black);
    p.drawText(rect(), Qt::AlignCenter, Text());
}
