#pragma once
// CMsgDlg: the skinned message window. kCompleted says a conversion is finished with every file
// written (its picture says so); the other kinds carry an icon, a short bold heading and a text
// of their own, and a question has Yes and No. The window grows to its texts, wrapped and never
// cut, up to most of the screen; a longer text or note scrolls.

#include "app/skinned_dialog.h"

class CMyButton;
class QAbstractButton;
class QLabel;
class QScrollArea;

class CMsgDlg : public CSkinnedDialog {
    Q_OBJECT
public:
    enum Kind { kCompleted = 0, kWarning = 1, kError = 2, kInformation = 3, kQuestion = 4 };

    explicit CMsgDlg(int kind = kCompleted, QWidget* parent = nullptr);
    int Kind() const { return m_kind; }
    // The bold heading and the text under it (kCompleted shows its picture's).
    void SetMessage(const QString& title, const QString& text);
    QString Title() const;
    // What the window's own title bar says: the program's window it belongs to.
    QString BarText() const;
    QString Text() const;
    // "OK", or a question's "Yes"; a question's "No" (null for the other kinds).
    CMyButton* OkButton() const { return m_ok; }
    CMyButton* NoButton() const { return m_no; }
    // Buttons of these texts instead of Yes and No (the first is the default): the window ends
    // with result kFirstChoice + the button's place. With `forAll`, a check box beside them.
    static constexpr int kFirstChoice = 100;
    void SetChoices(const QStringList& texts, const QString& forAll = QString(), int defaultChoice = 0);
    QList<QAbstractButton*> Choices() const { return m_choices; }
    QAbstractButton* ForAllBox() const { return m_forAll; }
    // A note under the message (what could not be read, which files failed).
    void SetDetail(const QString& text);
    QString Detail() const;
    // The technical cause of a failure, folded under a "Details" button (shown when it is
    // pressed).
    void SetTechnical(const QString& text);
    QString Technical() const;
    QAbstractButton* DetailsButton() const { return m_details; }
    // The labels that carry text, and the area that scrolls the text and the note.
    QList<QLabel*> TextLabels() const;
    QScrollArea* Body() const { return m_body; }

private:
    // Sizes the window and places the texts and buttons.
    void Arrange();
    void AddTitleBar(QWidget* parent);

    const int m_kind;
    CMyButton* m_ok = nullptr;
    CMyButton* m_no = nullptr;
    QLabel* m_bar = nullptr;
    QLabel* m_title = nullptr;
    QLabel* m_text = nullptr;
    QLabel* m_detail = nullptr;
    QLabel* m_technical = nullptr;
    QAbstractButton* m_details = nullptr;
    // Whether a label of the body shows (the technical cause only while unfolded).
    bool Shows(const QLabel* label) const;
    QScrollArea* m_body = nullptr;
    // The buttons' pictures and places in the unstretched picture.
    QString m_okPicture;
    QList<QAbstractButton*> m_choices;
    QAbstractButton* m_forAll = nullptr;
    QPoint m_okAt, m_noAt;
};
