#include "app/about_dlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/hyper_link.h"
#include "app/skin.h"
#include "version.h"

namespace {

// The skin's message window at a size, with a bold heading under its title bar; the layout the
// rest goes into.
QVBoxLayout* SkinnedColumn(CSkinnedDialog* window, const QString& heading, QSize size)
{
    window->SetBackground(QStringLiteral("msgbox_bg.png"), QSize(420, 220));
    window->StretchBackground(size, {window->PictureSize().width() / 2}, {window->PictureSize().height() / 2});
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(24, 8, 24, 16);
    auto* title = new QLabel(heading, window);
    QFont bold = title->font();
    bold.setBold(true);
    bold.setPointSizeF(11.5);
    title->setFont(bold);
    title->setFixedHeight(28); // on the title bar, above its line
    layout->addWidget(title);
    layout->addSpacing(12);
    return layout;
}

} // namespace

CAboutDlg::CAboutDlg(const QString& title, const QString& homePage, const QString& supportPage, QWidget* parent)
    : CSkinnedDialog(parent)
{
    setWindowTitle(QStringLiteral("About ") + title);
    QVBoxLayout* layout = SkinnedColumn(this, QStringLiteral("About ") + title, QSize(420, 300));
    auto* row = new QHBoxLayout;
    auto* icon = new QLabel(this);
    icon->setPixmap(LoadSkin("zuzidero.png").scaled(64, 64, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    row->addWidget(icon, 0, Qt::AlignTop);
    auto* name = new QLabel(title + QStringLiteral("\nVersion ") + QString::fromLatin1(kZuZideroVersion) + QStringLiteral("\n\nConverts the titles of your DVDs and Blu-ray discs into "
                                                   "ordinary media files."),
                            this);
    name->setWordWrap(true);
    row->addWidget(name, 1);
    layout->addLayout(row);
    auto* links = new QHBoxLayout;
    links->addWidget(new CHyperLink(QStringLiteral("Support"), supportPage, this));
    links->addSpacing(16);
    links->addWidget(new CHyperLink(QStringLiteral("Home page"), homePage, this));
    links->addStretch(1);
    layout->addLayout(links);
    layout->addStretch(1);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(ok, 0, Qt::AlignRight);
}

CTextQuestionDlg::CTextQuestionDlg(const QString& title, const QString& label, const QString& text, QWidget* parent)
    : CSkinnedDialog(parent)
{
    setWindowTitle(title);
    QVBoxLayout* layout = SkinnedColumn(this, title, QSize(460, 200));
    layout->addWidget(new QLabel(label, this));
    m_field = new QLineEdit(text, this);
    m_field->setMinimumWidth(400);
    m_field->selectAll();
    layout->addWidget(m_field);
    layout->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    ok->setDefault(true);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    m_field->setFocus();
}

QString CTextQuestionDlg::Text() const { return m_field->text(); }
