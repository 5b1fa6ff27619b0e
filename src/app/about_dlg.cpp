#include "app/about_dlg.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/hyper_link.h"
#include "app/skin.h"

CAboutDlg::CAboutDlg(const QString& title, const QString& homePage, const QString& supportPage, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("About ") + title);
    auto* layout = new QVBoxLayout(this);
    auto* icon = new QLabel(this);
    icon->setPixmap(LoadSkin("zuzidero.png").scaled(64, 64, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    layout->addWidget(icon, 0, Qt::AlignHCenter);
    auto* name = new QLabel(title + QStringLiteral("\nVersion 2.01"), this);
    name->setAlignment(Qt::AlignCenter);
    layout->addWidget(name);
    layout->addWidget(new QLabel(QStringLiteral("Converts the titles of your DVDs into ordinary media files."), this));
    layout->addWidget(new CHyperLink(QStringLiteral("Support"), supportPage, this), 0, Qt::AlignHCenter);
    layout->addWidget(new CHyperLink(QStringLiteral("Home page"), homePage, this), 0, Qt::AlignHCenter);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(ok, 0, Qt::AlignRight);
}
