#pragma once
// CMySelectCtrl: two handles on a bar that mark a part of a range (the editor's trim). Dragging a
// handle keeps the start before the end; every move tells a linked slider and the parent.

#include <QPixmap>
#include <QPointer>
#include <QWidget>

class CMySliderCtrl;

class CMySelectCtrl : public QWidget {
    Q_OBJECT
public:
    explicit CMySelectCtrl(QWidget* parent = nullptr);
    bool SetPictures(const QString& handle, const QPixmap& windowBackground);
    void SetRange(int minimum, int maximum);
    // Fractions 0..1; a negative value leaves that handle unchanged.
    void SetHandles(double start, double end);
    std::pair<double, double> Handles() const { return {m_start, m_end}; }
    // fraction × (maximum − minimum), truncated.
    std::pair<int, int> Positions() const;
    void LinkSlider(CMySliderCtrl* slider) { m_slider = slider; }

signals:
    // While a handle is dragged.
    void handlesDragged(int start, int end);
    // Whenever a handle moves or the handles are set (the linked slider's selection marks).
    void handlesMoved(int start, int end);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    enum class Drag { None, Start, End };
    int HandleWidth() const { return m_handle.isNull() ? 10 : m_handle.width(); }
    double Usable() const { return std::max(1, width() - HandleWidth()); }
    int HandleX(double fraction) const { return static_cast<int>(fraction * Usable()); }
    void Moved();

    int m_minimum = 0, m_maximum = 100;
    double m_start = 0, m_end = 1;
    Drag m_drag = Drag::None;
    QPixmap m_handle, m_background;
    QPointer<CMySliderCtrl> m_slider;
};
