#pragma once
// CMyCheckBox: a check box drawn transparently on a skinned window: the mark in a 15-pixel
// square at the left, the text 20 pixels to the right, vertically centred.

#include <QCheckBox>

class CMyCheckBox : public QCheckBox {
    Q_OBJECT
public:
    using QCheckBox::QCheckBox;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};
