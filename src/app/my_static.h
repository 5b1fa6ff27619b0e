#pragma once
// CMyStatic: a label drawn over a copy of the window background, its text vertically centred.

#include <QLabel>
#include <QPixmap>

class CMyStatic : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
    // Keeps the part of the window background under the label.
    void SetBackground(const QPixmap& windowBackground)
    {
        m_background = windowBackground.isNull() ? QPixmap() : windowBackground.copy(geometry());
        update();
    }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_background;
};
