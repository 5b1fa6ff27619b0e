#pragma once
// CSkinnedDialog: a captionless window drawn from one background picture. It takes the picture's
// size, is centred, has rounded 20 × 20 corners and is dragged by any point of its client area.
// Its skinned controls take their background copies from it.

#include <QDialog>
#include <QPixmap>

class CSkinnedDialog : public QDialog {
    Q_OBJECT
public:
    explicit CSkinnedDialog(QWidget* parent = nullptr);
    // Loads the background picture and sizes the window to it; false when it is missing (the
    // window then keeps `fallback` and a plain fill).
    bool SetBackground(const QString& picture, QSize fallback);
    // The part of the background under `rect` (window coordinates).
    QPixmap BackgroundUnder(const QRect& rect) const;
    const QPixmap& Background() const { return m_background; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QPixmap m_background;
    QPoint m_dragOffset;
    bool m_dragging = false;
};
