#pragma once
// CSkinnedDialog: a captionless window drawn from one background picture. It takes the picture's
// size, is centred, has rounded 20 × 20 corners and is dragged by any point of its client area.
// Its skinned controls take their background copies from it.

#include <QDialog>
#include <QPixmap>
#include <vector>

class CSkinnedDialog : public QDialog {
    Q_OBJECT
public:
    explicit CSkinnedDialog(QWidget* parent = nullptr);
    // Loads the background picture and sizes the window to it; false when it is missing (the
    // window then keeps `fallback` and a plain fill).
    bool SetBackground(const QString& picture, QSize fallback);
    // Grows the window to `size` (never below the picture's): the picture's columns at `columns`
    // and rows at `rows` are repeated, the extra shared evenly among them, and every other pixel
    // keeps its place relative to them.
    void StretchBackground(QSize size, std::vector<int> columns, std::vector<int> rows);
    // Lets the user resize the window (from the picture's size up): the background stretches
    // along these lines, and Relayout places the controls for each new size.
    void SetResizable(std::vector<int> columns, std::vector<int> rows);
    bool Resizable() const { return m_resizable; }
    // Where a point or a rectangle of the unstretched picture is now (a rectangle across a
    // stretched line grows with it).
    QPoint Stretched(QPoint at) const;
    QRect Stretched(const QRect& rect) const;
    // The background picture's own size.
    QSize PictureSize() const { return m_picture.isNull() ? m_fallback : m_picture.size(); }
    // The part of the background under `rect` (window coordinates).
    QPixmap BackgroundUnder(const QRect& rect) const;
    const QPixmap& Background() const { return m_background; }

protected:
    // A resizable window's background has been stretched to its new size: place the controls.
    virtual void Relayout() {}
    // Enter presses the focused skinned button, else the window's default one.
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void Centre();
    // Draws the background stretched to `size` along the lines.
    void BuildStretched(QSize size);

    QPixmap m_picture; // as loaded
    QSize m_fallback;
    std::vector<int> m_columns, m_rows;
    QSize m_extra{0, 0}; // what the stretch added
    bool m_resizable = false;
    class QSizeGrip* m_grip = nullptr;
    QPixmap m_background;
    QPoint m_dragOffset;
    bool m_dragging = false;
};
