#pragma once
// CSplashWnd: the start-up picture in a window of its own size, centred on the screen; text can
// be drawn on it; a key or mouse press closes it.

#include <QPixmap>
#include <QPoint>
#include <QWidget>

class CSplashWnd : public QWidget {
    Q_OBJECT
public:
    CSplashWnd();
    // False when the picture cannot be loaded (no window is made).
    bool Create(const QString& picture);
    void DrawText(const QString& text, int x, int y, QColor colour);
    // The start-up lines: what the program is, and its version, readable on the picture.
    void DrawStartupText(const QString& version);
    // Where the start-up lines go (picture coordinates).
    static constexpr QPoint kLineAt{40, 215}, kVersionAt{160, 232};
    const QPixmap& Picture() const { return m_picture; }
    bool IsCreated() const { return !m_picture.isNull(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QPixmap m_picture;
};
