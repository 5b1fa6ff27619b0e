#pragma once
// CMsgDlg: the skinned message window; kind 0 says the conversion is finished.

#include "app/skinned_dialog.h"

class CMyButton;

class CMsgDlg : public CSkinnedDialog {
    Q_OBJECT
public:
    explicit CMsgDlg(int kind = 0, QWidget* parent = nullptr);
    CMyButton* OkButton() const { return m_ok; }
    // A note under the message (what could not be read); the whole of it is the tooltip.
    void SetDetail(const QString& text);
    QString Detail() const;

private:
    CMyButton* m_ok;
    class QLabel* m_detail = nullptr;
};
