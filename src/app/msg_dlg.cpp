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

void CMsgDlg::SetDetail(const QString& text)
{
    if (!m_detail) {
        m_detail = new QLabel(this);
        m_detail->setGeometry(20, 104, 340, 32);
        m_detail->setWordWrap(true);
        m_detail->setStyleSheet(QStringLiteral("color: #f0b060; font-size: 8pt;"));
    }
    m_detail->setText(m_detail->fontMetrics().elidedText(text, Qt::ElideRight, 2 * 340 - 20));
    m_detail->setToolTip(text);
    m_detail->setVisible(!text.isEmpty());
}

QString CMsgDlg::Detail() const { return m_detail ? m_detail->toolTip() : QString(); }
