#pragma once
// CTitleDetails: what the selected title holds, in words, under the player: its length and
// chapters, its picture, its sound tracks and its subtitles. It reads the loaded disc's record
// and follows the title list's selection.

#include <QObject>
#include <functional>

#include "workspace/title_tasks.h"

class CColumnTreeCtrl;
class QLabel;
class QTreeWidgetItem;
class QWidget;

class CTitleDetails : public QObject {
    Q_OBJECT
public:
    // `info` gives the loaded disc's record (null: none), `video` a title's picture.
    CTitleDetails(QWidget* window, CColumnTreeCtrl* list, std::function<const DiscInfo*()> info, std::function<TitleVideo(int)> video);

    QLabel* Text() const { return m_text; }
    // The lines for a title (an index into the disc's record).
    QString Describe(int titleIndex) const;

private:
    void ShowFor(QTreeWidgetItem* item);

    CColumnTreeCtrl* m_list;
    std::function<const DiscInfo*()> m_info;
    std::function<TitleVideo(int)> m_video;
    QLabel* m_text = nullptr;
};
