#include "app/msg_dlg.h"

#include <QLabel>

#include "app/my_button.h"

CMsgDlg::CMsgDlg(int kind, QWidget* parent) : CSkinnedDialog(parent)
{
    setWindowTitle(QStringLiteral("Conversion completed"));
    const bool skinned = SetBackground("converterok_bg.png", QSize(380, 180));
    if (!skinned || kind != 0) {
        auto* text = new QLabel(QStringLiteral("Conversion completed."), this);
        text->setGeometry(90, 60, 270, 24);
    }
    m_ok = new CMyButton(QStringLiteral("OK"), this);
    m_ok->SetPictures("ok2.png", 240, 140, Background());
    connect(m_ok, &QAbstractButton::clicked, this, &QDialog::accept);
}
