#pragma once
// BeautyCombobox: the format selector's button. It shows the chosen format's category picture
// and name, opens the pane when pressed, and keeps the choice (category and command).

#include <QPixmap>
#include <QPushButton>

#include "app/start_pane.h"

class BeautyCombobox : public QPushButton {
    Q_OBJECT
public:
    explicit BeautyCombobox(QWidget* parent = nullptr);
    CStartPane* Pane() const { return m_pane; }
    void SetButtonPicture(const QString& picture);
    // Finds the format and makes it the choice in effect; false when there is no such format.
    bool Select(int category, int command);
    std::pair<int, int> GetChoice() const { return {m_category, m_command}; }
    // The text the button shows: the format's name up to and including its first ")", or the
    // text set with ShowText until another format is chosen.
    QString ButtonText() const;
    // What the button names instead of the chosen format (a profile changed in the settings).
    void ShowText(const QString& text);
    void OpenPane();
    // Wide enough for the whole name, its picture and the arrow.
    QSize sizeHint() const override;

signals:
    // A format was chosen in the pane (also the one already in effect).
    void formatCommand(int command);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void ShowWholeName();
    // Room the name does not get: the picture on the left, the arrow on the right.
    static constexpr int kArrowRoom = 22;
    CStartPane* m_pane;
    QPixmap m_picture;
    int m_category = 0, m_command = 0;
    QString m_shownText;
};
