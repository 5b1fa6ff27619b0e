#pragma once
// CBusyBar: a line over the title list while the workspace reads a disc for the window ("Loading
// ntsc_4x3…"), with Cancel. The window stays usable meanwhile.

#include <QWidget>

class QLabel;
class QPushButton;

class CBusyBar : public QWidget {
    Q_OBJECT
public:
    explicit CBusyBar(QWidget* parent);
    void Start(const QString& text);
    void Stop();
    QString Text() const;
    QPushButton* CancelButton() const { return m_cancel; }

signals:
    void cancelRequested();

private:
    QLabel* m_text;
    QPushButton* m_cancel;
};
