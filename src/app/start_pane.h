#pragma once
// CStartPane: the format selector's pop-up. Categories on the left; the formats of the category
// under the mouse on the right, eight to a page, with Prev and Next in the bottom strip.
// Clicking a format closes the pane and reports its command identifier.

#include <QPixmap>
#include <QWidget>
#include <vector>

class CStartPane : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPageSize = 8;
    static constexpr int kWidth = 562, kMinHeight = 500;
    static constexpr int kCategoryWidth = 160, kGap = 10;
    static constexpr int kCategoryRow = 27, kFormatRow = 55, kBottom = 32;

    struct Item {
        QString text;      // a format: "name/ndescription"; a category: its name
        int command = 0;   // a format's command identifier; a category's identifier
        int category = 0;  // a format's category
        QPixmap picture;   // a format's picture; a category's title picture
        int currentPage = 0;
        std::vector<std::vector<int>> pages; // a category's formats (indices into the formats)
        QRect rect;        // where it was last drawn
    };

    explicit CStartPane(QWidget* owner = nullptr);

    void AddCategory(int id, const QString& name, const QString& picture);
    void AddFormat(int category, int command, const QString& text, const QString& picture);
    // Takes every format out of a category (the category stays).
    void ClearCategory(int id);
    void SetBottomPictures(const QString& both, const QString& left, const QString& right, const QString& none);

    // Opens the pane at a screen point, kept on the work area.
    void Popup(QPoint at);
    // Where a pane of this size opens for a corner at `at` on `area`.
    static QPoint PlaceOnArea(QPoint at, QSize size, const QRect& area);

    // The category whose formats are shown (−1 before any).
    int CurrentCategory() const { return m_currentCategory; }
    void ShowCategory(int id);
    void NextPage();
    void PrevPage();
    // "1 / 2" for the shown category.
    QString PageIndicator() const;
    // Which bottom picture the strip shows: "Bottom_B.bmp" (fewer than two pages), "Bottom_R.bmp"
    // (last page), "Bottom_L.bmp" (first page) or "Bottom.bmp".
    QString StripPicture() const;
    // The commands shown on the current page.
    std::vector<int> ShownCommands() const;
    // The rectangle of a shown format (pane coordinates), empty when not shown.
    QRect FormatRect(int command) const;
    const Item* FindFormat(int command) const;
    // The tooltip of the format at a point of the pane: its name and whole description.
    QString ToolTipAt(QPoint at) const;
    const Item* FindCategory(int id) const;
    int PaneHeight() const;

signals:
    // A format was clicked; the pane has closed.
    void formatChosen(int command);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    Item* Category(int id);
    const Item* Category(int id) const;
    void Layout();
    QRect PrevRect() const { return QRect(width() - 62, height() - kBottom, 26, kBottom); }
    QRect NextRect() const { return QRect(width() - 30, height() - kBottom, 26, kBottom); }
    QRect LinkRect() const { return QRect(10, height() - kBottom, 200, kBottom); }

    std::vector<Item> m_categories;
    std::vector<Item> m_formats;
    int m_currentCategory = -1;
    int m_hoverCommand = 0;
    int m_chosenCommand = 0;
    QString m_bottom[4]; // both arrows, first page, last page, one page
    QPixmap m_bottomPictures[4];
};
