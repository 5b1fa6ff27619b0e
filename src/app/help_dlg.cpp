#include "app/help_dlg.h"

#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QSplitter>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "app/skin.h"

CHelpDlg::CHelpDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("ZuZidero Help"));
    setAttribute(Qt::WA_DeleteOnClose);
    m_contents = new QListWidget;
    m_page = new QTextBrowser;
    m_search = new QLineEdit;
    m_search->setPlaceholderText(QStringLiteral("Search the help (Enter: next)"));
    m_search->setClearButtonEnabled(true);

    // The page, with a line in the contents for each section (its heading and anchor).
    QFile file(DataFile("help.html"));
    const QString html = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QStringLiteral("<p>The help page is missing.</p>");
    // The page is written for a light page, as a browser shows it: it keeps one here too, in the
    // dark program (its text would not read on the theme's dark fields).
    m_page->setStyleSheet(QStringLiteral("QTextBrowser { background: #ffffff; color: #1f2937; selection-background-color: #2f80ed; "
                                         "selection-color: white; }"));
    m_page->setHtml(html);
    m_page->setOpenLinks(false);
    static const QRegularExpression heading(QStringLiteral("<h2><a name=\"([^\"]+)\"></a>(.*?)</h2>"));
    for (auto match = heading.globalMatch(html); match.hasNext();) {
        const QRegularExpressionMatch section = match.next();
        auto* line = new QListWidgetItem(section.captured(2), m_contents);
        line->setData(Qt::UserRole, section.captured(1));
    }
    connect(m_contents, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* line) { m_page->scrollToAnchor(line->data(Qt::UserRole).toString()); });
    // Links within the page go there; a link to the web opens the browser, since it was asked for.
    connect(m_page, &QTextBrowser::anchorClicked, this, [this](const QUrl& link) {
        if (link.scheme().startsWith(QStringLiteral("http")))
            OpenInDesktop(this, link);
        else if (!link.fragment().isEmpty())
            m_page->scrollToAnchor(link.fragment());
    });
    connect(m_search, &QLineEdit::returnPressed, this, [this] { FindNext(); });

    auto* splitter = new QSplitter;
    splitter->addWidget(m_contents);
    splitter->addWidget(m_page);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({200, 560});
    auto* layout = new QVBoxLayout(this);
    auto* searchRow = new QHBoxLayout;
    searchRow->addWidget(new QLabel(QStringLiteral("Search:")));
    searchRow->addWidget(m_search, 1);
    layout->addLayout(searchRow);
    layout->addWidget(splitter, 1);
    resize(800, 600);
}

bool CHelpDlg::FindNext()
{
    const QString text = m_search->text();
    if (text.isEmpty()) return false;
    if (m_page->find(text)) return true;
    // From the top again.
    m_page->moveCursor(QTextCursor::Start);
    return m_page->find(text);
}
