#pragma once
// CMyProgressCtrl: a progress bar that shows its picture tiled over the done part and the
// percentage, rounded, in the middle.

#include <QPixmap>
#include <QWidget>

class CMyProgressCtrl : public QWidget {
    Q_OBJECT
public:
    explicit CMyProgressCtrl(QWidget* parent = nullptr);
    // Tiles the picture across the control's width; the control takes its height.
    bool SetPicture(const QString& picture);
    void SetRange(int minimum, int maximum);
    void SetPos(int position);
    int GetPos() const { return m_position; }
    double Percent() const;
    // "%d%%" of the percentage rounded to the nearest integer.
    QString Text() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Tile();

    QPixmap m_picture, m_tiled;
    int m_minimum = 0, m_maximum = 100, m_position = 0;
};
