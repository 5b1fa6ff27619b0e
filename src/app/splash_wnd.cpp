#include "app/splash_wnd.h"
#include "app/palette.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include "app/skin.h"

CSplashWnd::CSplashWnd() : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    setCursor(Qt::ArrowCursor);
}

bool CSplashWnd::Create(const QString& picture)
{
    m_picture = LoadSkin(picture);
    if (m_picture.isNull()) return false;
    setFixedSize(m_picture.size());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - QPoint(width() / 2, height() / 2));
    return true;
}

void CSplashWnd::DrawText(const QString& text, int x, int y, QColor colour)
{
    if (m_picture.isNull()) return;
    QPainter p(&m_picture);
    p.setPen(colour);
    p.drawText(QPoint(x, y + p.fontMetrics().ascent()), text);
    update();
}

void CSplashWnd::DrawStartupText(const QString& version)
{
    DrawText(QStringLiteral("Free software for your own discs."), kLineAt.x(), kLineAt.y(), skin::kText);
    DrawText(QStringLiteral("Version ") + version, kVersionAt.x(), kVersionAt.y(), skin::kSplashVersion);
}

void CSplashWnd::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.drawPixmap(0, 0, m_picture);
}

void CSplashWnd::keyPressEvent(QKeyEvent*) { close(); }
void CSplashWnd::mousePressEvent(QMouseEvent*) { close(); }
