#pragma once
// CHelpDlg: the program's help in a window of its own (no web browser needed): the help page,
// its contents (a line per section; a click goes there) and a search field (Enter finds the next
// place). A link to the web opens the desktop's browser only when it is clicked.

#include <QDialog>

class QLineEdit;
class QListWidget;
class QTextBrowser;

class CHelpDlg : public QDialog {
    Q_OBJECT
public:
    explicit CHelpDlg(QWidget* parent = nullptr);

    QListWidget* Contents() const { return m_contents; }
    QTextBrowser* Page() const { return m_page; }
    QLineEdit* Search() const { return m_search; }
    // Finds the next place the search text is (from the top again at the end); false when the
    // page holds it nowhere.
    bool FindNext();

private:
    QListWidget* m_contents;
    QTextBrowser* m_page;
    QLineEdit* m_search;
};
