#include "app/msg_dlg.h"

#include <QLabel>
#include <algorithm>

#include "app/my_button.h"
#include "app/skin.h"

namespace {

const char* IconOf(int kind)
{
    switch (kind) {
    case CMsgDlg::kWarning: return "msg_warning.png";
    case CMsgDlg::kError: return "msg_error.png";
    case CMsgDlg::kQuestion: return "msg_question.png";
    default: return "msg_info.png";
    }
}

} // namespace

CMsgDlg::CMsgDlg(int kind, QWidget* parent) : CSkinnedDialog(parent), m_kind(kind)
{
    if (kind == kCompleted) {
        setWindowTitle(QStringLiteral("Conversion completed"));
        const bool skinned = SetBackground("converterok_bg.png", QSize(380, 180));
        if (!skinned) {
            auto* text = new QLabel(QStringLiteral("Conversion completed."), this);
            text->setGeometry(90, 60, 270, 24);
        }
        m_ok = new CMyButton(QStringLiteral("OK"), this);
        m_ok->SetPictures("ok2.png", 240, 140, Background());
        connect(m_ok, &QAbstractButton::clicked, this, &QDialog::accept);
        return;
    }
    SetBackground("msgbox_bg.png", QSize(420, 220));
    auto* icon = new QLabel(this);
    icon->setPixmap(LoadSkin(QString::fromLatin1(IconOf(kind))));
    icon->setGeometry(28, 52, 44, 44);
    m_title = new QLabel(this);
    m_title->setGeometry(90, 50, 310, 24);
    QFont bold = m_title->font();
    bold.setBold(true);
    bold.setPointSizeF(11.5);
    m_title->setFont(bold);
    m_text = new QLabel(this);
    m_text->setGeometry(90, 76, 310, 50);
    m_text->setWordWrap(true);
    m_text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    if (kind == kQuestion) {
        m_ok = new CMyButton(QStringLiteral("Yes"), this);
        m_ok->SetPictures("yes.png", 238, 180, Background());
        m_no = new CMyButton(QStringLiteral("No"), this);
        m_no->SetPictures("no.png", 320, 180, Background());
        connect(m_no, &QAbstractButton::clicked, this, &QDialog::reject);
    } else {
        m_ok = new CMyButton(QStringLiteral("OK"), this);
        m_ok->SetPictures("ok2.png", 320, 180, Background());
    }
    connect(m_ok, &QAbstractButton::clicked, this, &QDialog::accept);
}

void CMsgDlg::SetMessage(const QString& title, const QString& text)
{
    if (!m_title) return;
    setWindowTitle(title);
    m_title->setText(m_title->fontMetrics().elidedText(title, Qt::ElideRight, m_title->width()));
    m_title->setToolTip(title);
    m_text->setText(text);
}

QString CMsgDlg::Title() const { return m_title ? m_title->toolTip() : windowTitle(); }
QString CMsgDlg::Text() const { return m_text ? m_text->text() : QString(); }

void CMsgDlg::SetDetail(const QString& text)
{
    if (!m_detail) {
        m_detail = new QLabel(this);
        if (m_kind == kCompleted)
            m_detail->setGeometry(20, 104, 340, 32);
        else
            m_detail->setGeometry(90, 126, 310, 46);
        m_detail->setWordWrap(true);
        m_detail->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        m_detail->setStyleSheet(QStringLiteral("color: #f0b060; font-size: 8pt;"));
    }
    // As many lines as fit; the whole is the tooltip.
    const QFontMetrics metrics = m_detail->fontMetrics();
    const int lines = std::max(1, m_detail->height() / metrics.lineSpacing());
    m_detail->setText(metrics.elidedText(text, Qt::ElideRight, lines * m_detail->width() - 20));
    m_detail->setToolTip(text);
    m_detail->setVisible(!text.isEmpty());
}

QString CMsgDlg::Detail() const { return m_detail ? m_detail->toolTip() : QString(); }
