#pragma once
// CMsgDlg: the skinned message window. kCompleted says a conversion is finished with every file
// written (its picture says so); the other kinds carry an icon, a bold title and a text of their
// own, and a question has Yes and No.

#include "app/skinned_dialog.h"

class CMyButton;
class QLabel;

class CMsgDlg : public CSkinnedDialog {
    Q_OBJECT
public:
    enum Kind { kCompleted = 0, kWarning = 1, kError = 2, kInformation = 3, kQuestion = 4 };

    explicit CMsgDlg(int kind = kCompleted, QWidget* parent = nullptr);
    int Kind() const { return m_kind; }
    // The bold first line and the text under it (kCompleted shows its picture's).
    void SetMessage(const QString& title, const QString& text);
    QString Title() const;
    QString Text() const;
    // "OK", or a question's "Yes"; a question's "No" (null for the other kinds).
    CMyButton* OkButton() const { return m_ok; }
    CMyButton* NoButton() const { return m_no; }
    // A note under the message (what could not be read, which files failed); the whole of it is
    // the tooltip when it does not fit.
    void SetDetail(const QString& text);
    QString Detail() const;

private:
    const int m_kind;
    CMyButton* m_ok = nullptr;
    CMyButton* m_no = nullptr;
    QLabel* m_title = nullptr;
    QLabel* m_text = nullptr;
    QLabel* m_detail = nullptr;
};
