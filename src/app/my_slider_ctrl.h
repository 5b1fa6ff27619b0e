#pragma once
// CMySliderCtrl: a slider drawn from three pictures: the track, the filled track between the
// selection marks, and the thumb. Pressing and dragging set the position (reported as it
// changes, and once more on release); positions set from outside wait while the user drags.

#include <QPixmap>
#include <QWidget>

class CMySliderCtrl : public QWidget {
    Q_OBJECT
public:
    explicit CMySliderCtrl(QWidget* parent = nullptr, int id = 0);
    // The control takes the track picture's size.
    bool SetPictures(const QString& track, const QString& filled, const QString& thumb);
    void SetRange(int minimum, int maximum);
    void SetPos(int position);
    // A negative value leaves that end unchanged.
    void SetSelection(int start, int end);
    // Also moves the thumb in link mode 1.
    void SetSelectionEnd(int end);
    // 1: the selection end follows the thumb (default); 2: independent.
    void SetLinkMode(int mode) { m_linkMode = mode; }
    int GetPos() const { return m_position; }
    int GetRangeMin() const { return m_minimum; }
    int GetRangeMax() const { return m_maximum; }
    std::pair<int, int> GetSelection() const { return {m_selStart, m_selEnd}; }
    int Id() const { return m_id; }

public slots:
    // The linked selection control moved its handles.
    void SetSelectionMarks(int start, int end) { SetSelection(start, end); }

signals:
    // On a press and at every movement while the button is held.
    void positionChanged(int id, int position);
    // When the button is released.
    void released(int id);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void TrackMouse(int x);

    int m_id;
    int m_minimum = 0, m_maximum = 100;
    int m_selStart = 0, m_selEnd = 0;
    int m_position = 0;
    int m_linkMode = 1;
    bool m_dragging = false;
    QPixmap m_track, m_filled, m_thumb;
};
