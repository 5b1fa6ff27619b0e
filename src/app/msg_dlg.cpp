#include "app/msg_dlg.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <algorithm>

#include "app/my_button.h"
#include "app/my_check_box.h"
#include "app/palette.h"
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

// The widths a message window may take, narrowest first: it widens before it grows tall.
constexpr int kWidths[] = {420, 520, 640};
// The text column's left edge and right margin; the buttons' row under it.
constexpr int kTextLeft = 90, kTextRight = 20, kTextTop = 50, kButtonsHeight = 52;
// The kCompleted picture's note: its left edge and top.
constexpr int kNoteLeft = 20, kNoteTop = 104;

QLabel* WrappedLabel(QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setTextFormat(Qt::PlainText);
    return label;
}

int HeightAt(const QLabel* label, int width)
{
    if (!label || label->text().isEmpty()) return 0;
    return std::max(label->heightForWidth(width), label->fontMetrics().lineSpacing());
}

} // namespace

void CMsgDlg::AddTitleBar(QWidget* parent)
{
    // The skin's title bar names the program's window the message comes from (the main
    // window's title, whichever of its windows asks), as a window manager's bar would.
    QWidget* owner = parent;
    while (owner && owner->parentWidget()) owner = owner->parentWidget();
    QString name = owner ? owner->windowTitle() : QString();
    if (name.isEmpty()) name = QStringLiteral("ZuZidero");
    m_bar = new QLabel(name, this);
    QFont bar = m_bar->font();
    bar.setBold(true);
    bar.setPointSizeF(9.5);
    m_bar->setFont(bar);
    m_bar->setStyleSheet(QStringLiteral("color: %1;").arg(skin::kMuted.name()));
    m_bar->setGeometry(16, 6, 300, 26);
}

QString CMsgDlg::BarText() const { return m_bar ? m_bar->text() : QString(); }

CMsgDlg::CMsgDlg(int kind, QWidget* parent) : CSkinnedDialog(parent), m_kind(kind)
{
    if (kind == kCompleted) {
        setWindowTitle(QStringLiteral("Conversion completed"));
        const bool skinned = SetBackground("converterok_bg.png", QSize(380, 180));
        AddTitleBar(parent);
        if (!skinned) {
            auto* text = new QLabel(QStringLiteral("Conversion completed."), this);
            text->setGeometry(90, 60, 270, 24);
        }
        m_ok = new CMyButton(QStringLiteral("OK"), this);
        m_okPicture = QStringLiteral("ok2.png");
        m_okAt = QPoint(240, 140);
        m_ok->SetPictures(m_okPicture, m_okAt.x(), m_okAt.y(), Background());
        m_ok->SetDefault(true);
        connect(m_ok, &QAbstractButton::clicked, this, &QDialog::accept);
        return;
    }
    SetBackground("msgbox_bg.png", QSize(420, 220));
    AddTitleBar(parent);
    auto* icon = new QLabel(this);
    icon->setPixmap(LoadSkin(QString::fromLatin1(IconOf(kind))));
    icon->setGeometry(28, 52, 44, 44);
    m_title = WrappedLabel(this);
    QFont bold = m_title->font();
    bold.setBold(true);
    bold.setPointSizeF(11.5);
    m_title->setFont(bold);
    if (kind == kQuestion) {
        m_ok = new CMyButton(QStringLiteral("Yes"), this);
        m_okPicture = QStringLiteral("yes.png");
        m_okAt = QPoint(238, 180);
        m_no = new CMyButton(QStringLiteral("No"), this);
        m_noAt = QPoint(320, 180);
        connect(m_no, &QAbstractButton::clicked, this, &QDialog::reject);
    } else {
        m_ok = new CMyButton(QStringLiteral("OK"), this);
        m_okPicture = QStringLiteral("ok2.png");
        m_okAt = QPoint(320, 180);
    }
    m_ok->SetDefault(true);
    connect(m_ok, &QAbstractButton::clicked, this, &QDialog::accept);
    Arrange();
}

void CMsgDlg::SetMessage(const QString& title, const QString& text)
{
    if (!m_title) return;
    setWindowTitle(title);
    m_title->setText(title);
    if (!m_text) m_text = WrappedLabel(nullptr);
    m_text->setText(text);
    Arrange();
    m_text->setVisible(!text.isEmpty());
}

QString CMsgDlg::Title() const { return m_title ? m_title->text() : windowTitle(); }
QString CMsgDlg::Text() const { return m_text ? m_text->text() : QString(); }

void CMsgDlg::SetDetail(const QString& text)
{
    if (!m_detail) {
        m_detail = WrappedLabel(nullptr);
        m_detail->setStyleSheet(QStringLiteral("color: #f0b060; font-size: 8pt;"));
    }
    m_detail->setText(text);
    Arrange();
    m_detail->setVisible(!text.isEmpty());
}

void CMsgDlg::SetChoices(const QStringList& texts, const QString& forAll, int defaultChoice)
{
    if (m_ok) m_ok->hide();
    if (m_no) m_no->hide();
    for (int i = 0; i < texts.size(); ++i) {
        auto* button = new QPushButton(texts[i], this);
        button->setDefault(i == defaultChoice);
        button->setAutoDefault(false);
        connect(button, &QAbstractButton::clicked, this, [this, i] { done(kFirstChoice + i); });
        button->show();
        m_choices << button;
    }
    if (!forAll.isEmpty()) {
        m_forAll = new CMyCheckBox(forAll, this);
        m_forAll->show();
    }
    Arrange();
}

QString CMsgDlg::Detail() const { return m_detail ? m_detail->text() : QString(); }

void CMsgDlg::SetTechnical(const QString& text)
{
    if (!m_technical) {
        m_technical = WrappedLabel(nullptr);
        m_technical->setStyleSheet(QStringLiteral("color: #a0a8b0; font-size: 8pt;"));
        m_technical->setTextInteractionFlags(Qt::TextSelectableByMouse);
        auto* details = new QPushButton(QStringLiteral("Details"), this);
        details->setCheckable(true);
        details->setAutoDefault(false);
        details->setFlat(true);
        connect(details, &QAbstractButton::toggled, this, [this] { Arrange(); });
        m_details = details;
    }
    m_technical->setText(text);
    m_details->setVisible(!text.isEmpty());
    Arrange();
}

QString CMsgDlg::Technical() const { return m_technical ? m_technical->text() : QString(); }

bool CMsgDlg::Shows(const QLabel* label) const
{
    if (!label || label->text().isEmpty()) return false;
    return label != m_technical || (m_details && m_details->isChecked());
}

QList<QLabel*> CMsgDlg::TextLabels() const
{
    QList<QLabel*> labels;
    for (QLabel* label : {m_title, m_text, m_detail, m_technical})
        if (label) labels << label;
    return labels;
}

void CMsgDlg::Arrange()
{
    // The text and the note scroll together in the body, under the heading.
    if (!m_body && (m_text || m_detail || m_technical)) {
        m_body = new QScrollArea(this);
        m_body->setFrameShape(QFrame::NoFrame);
        m_body->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        m_body->setStyleSheet(QStringLiteral("QScrollArea, QScrollArea > QWidget > QWidget { background: transparent; }"));
        m_body->setWidget(new QWidget);
        m_body->show();
    }
    if (m_body)
        for (QLabel* label : {m_text, m_detail, m_technical}) {
            if (label && label->parentWidget() != m_body->widget()) label->setParent(m_body->widget());
            if (label) label->setVisible(Shows(label));
        }

    const QScreen* screen = QGuiApplication::primaryScreen();
    const int tallest = screen ? std::max(screen->availableGeometry().height() * 4 / 5, 220) : 600;
    const QSize picture = PictureSize();
    const bool completed = m_kind == kCompleted;
    // The buttons' row, and a check box's line above it.
    const int buttonsHeight = kButtonsHeight + (m_forAll || m_details ? 28 : 0);
    const int left = completed ? kNoteLeft : kTextLeft;
    const int top = completed ? kNoteTop : kTextTop;
    int width = picture.width(), titleHeight = 0, bodyHeight = 0;
    const int scrollBar = m_body ? m_body->verticalScrollBar()->sizeHint().width() : 0;
    for (const int w : kWidths) {
        // The completed picture is narrower: it widens by as much.
        width = std::max(completed ? w - 40 : w, picture.width());
        const int column = width - left - kTextRight;
        titleHeight = HeightAt(m_title, column);
        // The labels shown, 6 pixels apart.
        bodyHeight = -6;
        for (QLabel* label : {m_text, m_detail, m_technical})
            if (Shows(label)) bodyHeight += HeightAt(label, column) + 6;
        bodyHeight = std::max(bodyHeight, 0);
        // Wide enough when the heading takes at most two lines and the whole fits the screen.
        const bool headingFits = !m_title || titleHeight <= 2 * m_title->fontMetrics().lineSpacing() + 2;
        if (headingFits && top + titleHeight + bodyHeight + buttonsHeight + 16 <= tallest) break;
    }
    const int column = width - left - kTextRight;
    const int gap = titleHeight > 0 ? 6 : 0;
    const int wanted = top + titleHeight + gap + bodyHeight + 16 + buttonsHeight;
    const int height = std::clamp(wanted, picture.height(), std::max(tallest, picture.height()));
    StretchBackground(QSize(width, height), {completed ? 350 : picture.width() / 2}, {completed ? 124 : picture.height() / 2});
    if (m_title) m_title->setGeometry(left, top, column, std::max(titleHeight, 24));
    if (m_body) {
        const int bodyTop = top + titleHeight + gap;
        const int room = height - buttonsHeight - 8 - bodyTop;
        const bool scrolls = bodyHeight > room;
        m_body->setGeometry(left, bodyTop, column, std::max(room, 0));
        m_body->setVerticalScrollBarPolicy(scrolls ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
        // The labels wrap at the column's width, less the scroll bar's when it shows.
        const int labelWidth = column - (scrolls ? scrollBar + 4 : 0);
        int y = 0;
        for (QLabel* label : {m_text, m_detail, m_technical}) {
            if (!Shows(label)) continue;
            const int h = HeightAt(label, labelWidth);
            label->setGeometry(0, y, labelWidth, h);
            y += h + 6;
        }
        m_body->widget()->resize(labelWidth, std::max(y - 6, 0));
    }
    // Text buttons in a row at the bottom right, the check box at the left.
    int right = width - kTextRight;
    const int row = height - kButtonsHeight + 12;
    for (qsizetype i = m_choices.size() - 1; i >= 0; --i) {
        QAbstractButton* button = m_choices[i];
        const QSize size = button->sizeHint().expandedTo(QSize(84, 28));
        right -= size.width();
        button->setGeometry(right, row, size.width(), size.height());
        right -= 8;
    }
    if (m_forAll) m_forAll->setGeometry(left, height - buttonsHeight + 4, width - left - kTextRight, 20);
    if (m_details) m_details->setGeometry(left, height - buttonsHeight + 2, m_details->sizeHint().width(), 24);
    // The buttons keep their corner of the picture.
    if (m_ok) m_ok->SetPictures(m_okPicture, Stretched(m_okAt).x(), Stretched(m_okAt).y(), Background());
    if (m_no) m_no->SetPictures(QStringLiteral("no.png"), Stretched(m_noAt).x(), Stretched(m_noAt).y(), Background());
}

