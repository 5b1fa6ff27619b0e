#pragma once
// CHyperLink: a label that opens a web address when clicked; link, visited and hover colours,
// a hand cursor and a tooltip.

#include <QColor>
#include <QLabel>

#include "app/palette.h"

class CHyperLink : public QLabel {
    Q_OBJECT
public:
    CHyperLink(const QString& text, const QString& address, QWidget* parent = nullptr);
    bool Visited() const { return m_visited; }
    void SetUnderline(bool on);
    QColor CurrentColour() const;

signals:
    void opened(const QString& address);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void Recolour();

    QString m_address;
    // Readable on the windows' dark ground (contrast 4.5 or more).
    QColor m_link{skin::kLink}, m_visitedColour{skin::kVisitedLink}, m_hover{skin::kLink.lighter(125)};
    bool m_visited = false, m_over = false;
};
