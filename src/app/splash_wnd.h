#pragma once
// CSplashWnd: the start-up picture in a window of its own size, centred on the screen; text can
// be drawn on it; a key or mouse press closes it.

#include <QPixmap>
#include <QWidget>

class CSplashWnd : public QWidget {
    Q_OBJECT
public:
    CSplashWnd();
    // False when the picture cannot be loaded (no window is made).
    bool Create(const QString& picture);
    void DrawText(const QString& text, int x, int y, QColor colour);
    bool IsCreated() const { return !m_picture.isNull(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QPixmap m_picture;
};
