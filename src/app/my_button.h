#pragma once
// CMyButton: a button drawn from a picture of four state frames side by side (normal, mouse over,
// pressed, disabled), over a copy of the window background under it.

#include <QAbstractButton>
#include <QPixmap>

class CMyButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit CMyButton(QWidget* parent = nullptr);
    CMyButton(const QString& text, QWidget* parent) : CMyButton(parent) { setText(text); }
    // Loads the picture; the button takes one frame's size and moves to (x, y). False when the
    // picture cannot be loaded: the button then draws as a plain push button.
    bool SetPictures(const QString& picture, int x, int y, const QPixmap& background);
    // Takes the part of the window background under where the button is now (it moved).
    void TakeBackground(const QPixmap& background);
    // The button Enter presses in its window.
    void SetDefault(bool on) { m_default = on; }
    bool IsDefault() const { return m_default; }
    // 0 normal, 1 mouse over, 2 pressed, 3 disabled.
    int VisualState() const { return m_state; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QPixmap m_picture;
    QPixmap m_background;
    int m_state = 0;
    bool m_default = false;
};
