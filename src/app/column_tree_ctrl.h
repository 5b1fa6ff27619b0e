#pragma once
// CColumnTreeCtrl: the title list, a view of the workspace's TitleTasks. A root named after the
// disc with one item per listed title, and under a title of several chapters one item per
// chapter; each item shows its entry's tick as a three-state check mark (1 unchecked, 2 partly
// checked, 3 checked) and five columns: name, length, trimmed length, the file it becomes (with
// Merge, the one file) and a note in words ("Main title", "Same as Title_04"). A click on a mark
// (or Space, Delete) ticks the entry in the tasks.

#include <QPixmap>
#include <QTreeWidget>

#include "workspace/title_tasks.h"

class CColumnTreeCtrl : public QTreeWidget {
    Q_OBJECT
public:
    enum Column { kSourceFile, kOriginalLength, kTrimmedLength, kOutputFormat, kNote };
    enum CheckState { kNoState = 0, kUnchecked = 1, kPartlyChecked = 2, kChecked = 3 };

    explicit CColumnTreeCtrl(QWidget* parent = nullptr);
    ~CColumnTreeCtrl() override;

    // The tasks it shows (the window's workspace's); it shows nothing until then.
    void UseTasks(TitleTasks* tasks);
    TitleTasks* Tasks() const { return m_tasks; }
    // Lets go of every item and every task.
    void ClearAll();
    QTreeWidgetItem* Root() const { return topLevelItemCount() > 0 ? topLevelItem(0) : nullptr; }
    // Shows the tasks under a root of this name (the disc's volume name, or its folder's name),
    // the main title in bold, and each title's notes (where it comes from, main title, a repeat)
    // as its tip.
    void ShowTasks(const QString& rootName);
    // The columns and marks again, after the tasks changed (names, trims, ticks).
    void Refresh();
    // Merged, every title that takes part shows the one file's name.
    void SetMerged(bool merged);
    TaskKey KeyOf(const QTreeWidgetItem* item) const;
    // An item's task, or null (the root).
    ConversionTask* TaskOf(QTreeWidgetItem* item) const;

    // All column texts joined by TAB.
    static QString ItemText(const QTreeWidgetItem* item);

    int StateOf(const QTreeWidgetItem* item) const;
    // A click on an item's check mark: ticks or unticks it with its chapters, and selects it.
    void ToggleCheck(QTreeWidgetItem* item);
    void CheckAll(bool checked);

    // The selected item, else the root's first child; null with "Please select one first" or,
    // for an item without a task, "GetItemData error".
    ConversionTask* SelectedTask(QString* error) const;
    QTreeWidgetItem* SelectedOrFirst() const;
    // Selects the previous (−1) or next (+1) sibling; false at either end.
    bool SelectSibling(int direction);

    // The check mark as an item shows it: `selected` on the selection's highlight.
    QPixmap StatePicture(int state, bool selected) const { return selected ? m_selectedStates[state & 3] : m_states[state & 3]; }

signals:
    // A click on an item (not on its check mark).
    void itemClickedAt(QTreeWidgetItem* item);
    // Enter on an item: play it.
    void playRequested(QTreeWidgetItem* item);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    // Space ticks or unticks the current item, Delete unticks it, Enter plays it.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void UpdateIcon(QTreeWidgetItem* item);

    TitleTasks* m_tasks = nullptr;
    bool m_merged = false;
    QPixmap m_states[4];
    QPixmap m_selectedStates[4]; // light marks that show on the selection's highlight
};

// "%02d:%02d:%02d" of a length in milliseconds, in whole seconds.
QString LengthText(double milliseconds);
