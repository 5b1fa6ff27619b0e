#pragma once
// CAboutDlg: the product title, the version and links to the support and home pages.

#include <QDialog>

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    CAboutDlg(const QString& title, const QString& homePage, const QString& supportPage, QWidget* parent = nullptr);
};
