#pragma once
// CAboutDlg: the product title, the version and links to the support and home pages, in the
// skin's message window.

#include "app/skinned_dialog.h"

class CAboutDlg : public CSkinnedDialog {
    Q_OBJECT
public:
    CAboutDlg(const QString& title, const QString& homePage, const QString& supportPage, QWidget* parent = nullptr);
};

// CTextQuestionDlg: a skinned question that takes a line of text ("Save as..."'s name), with OK
// (Enter) and Cancel (Esc).
class QLineEdit;

class CTextQuestionDlg : public CSkinnedDialog {
    Q_OBJECT
public:
    CTextQuestionDlg(const QString& title, const QString& label, const QString& text, QWidget* parent = nullptr);
    QLineEdit* Field() const { return m_field; }
    QString Text() const;

private:
    QLineEdit* m_field;
};
