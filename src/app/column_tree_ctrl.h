#pragma once
// CColumnTreeCtrl: the title list. A root "VIDEO_TS" with one item per listed title, and under a
// title of several chapters one item per chapter; each item has a three-state check mark (1
// unchecked, 2 partly checked, 3 checked), four columns and owns the ConversionTask that the
// editor edits and the conversion run reads. Column 3 is the output file name and the only place
// it is kept.

#include <QPixmap>
#include <QTreeWidget>
#include <map>
#include <memory>
#include <vector>

#include "convert/conversion_run.h"
#include "convert/conversion_task.h"

class CColumnTreeCtrl : public QTreeWidget {
    Q_OBJECT
public:
    enum Column { kSourceFile, kOriginalLength, kTrimmedLength, kOutputFormat };
    enum CheckState { kNoState = 0, kUnchecked = 1, kPartlyChecked = 2, kChecked = 3 };

    explicit CColumnTreeCtrl(QWidget* parent = nullptr);
    ~CColumnTreeCtrl() override;

    // Deletes every item and releases every task.
    void ClearAll();
    QTreeWidgetItem* Root() const { return topLevelItemCount() > 0 ? topLevelItem(0) : nullptr; }
    // The root item, named after the disc (its volume name, or its folder's name).
    QTreeWidgetItem* InsertRoot(const QString& name = QStringLiteral("VIDEO_TS"));
    // A title item under the root (or a chapter item under its title), checked, with its columns
    // and its own task.
    QTreeWidgetItem* InsertTask(const ConversionTask& task, const QString& extension, QTreeWidgetItem* parent = nullptr);
    ConversionTask* TaskOf(QTreeWidgetItem* item) const;

    // All column texts joined by TAB, and one column's piece replaced.
    static QString ItemText(const QTreeWidgetItem* item);
    static void SetColumnText(QTreeWidgetItem* item, int column, const QString& text);

    int StateOf(const QTreeWidgetItem* item) const;
    void SetState(QTreeWidgetItem* item, int state);
    // A click on an item's check mark: toggles it, passes the state down to every descendant
    // and settles the ancestors (partly checked when siblings differ).
    void ToggleCheck(QTreeWidgetItem* item);
    void CheckAll(bool checked);
    // Column 3 of every item below the root: its task's name with the profile's extension.
    void RefreshOutputNames(const QString& extension);
    // How the output names are made: a pattern of "{disc}", "{title}" and "{chapter}" (empty:
    // Title_01, Chapter_01_02) and the disc's name. Takes effect for items inserted or refreshed.
    void SetNaming(const QString& pattern, const QString& disc);

    // The selected item, else the root's first child; null with "Please select one first" or,
    // for an item without a task, "GetItemData error".
    ConversionTask* SelectedTask(QString* error) const;
    QTreeWidgetItem* SelectedOrFirst() const;
    // Selects the previous (−1) or next (+1) sibling; false at either end.
    bool SelectSibling(int direction);

    // What the run converts, in list order: each title that is ticked whole (or not at all) as
    // one task, and for a title ticked in part each of its chapters.
    std::vector<RunTask> RunTasks() const;
    // Gives every checked task these picture settings (a run applies the last edited ones).
    void ApplyPictureToChecked(const PictureSettings& picture);

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
    void SetStateDown(QTreeWidgetItem* item, int state);
    void SettleUp(QTreeWidgetItem* item, int state);

    std::map<const QTreeWidgetItem*, std::unique_ptr<ConversionTask>> m_tasks;
    QPixmap m_states[4];
    std::string m_namePattern, m_discName;
    QPixmap m_selectedStates[4]; // light marks that show on the selection's highlight
};

// "%02d:%02d:%02d" of a length in milliseconds, in whole seconds.
QString LengthText(double milliseconds);
