#include "app/beauty_combobox.h"

#include <algorithm>
#include "app/palette.h"

#include <QPainter>

#include "app/skin.h"

BeautyCombobox::BeautyCombobox(QWidget* parent) : QPushButton(parent), m_pane(new CStartPane(this))
{
    QFont f("Arial");
    f.setPointSizeF(8.6); // the longest format name fits beside the category picture
    setFont(f);
    setCursor(Qt::PointingHandCursor);
    // Never the window's Enter button: Enter in the output box would open the pane, and the
    // pane's grab would take the next click (on Start) to close itself.
    setAutoDefault(false);
    setDefault(false);
    connect(this, &QPushButton::clicked, this, &BeautyCombobox::OpenPane);
    connect(m_pane, &CStartPane::formatChosen, this, [this](int command) {
        if (const CStartPane::Item* item = m_pane->FindFormat(command)) {
            m_category = item->category;
            m_command = command;
        }
        m_shownText.clear();
        ShowWholeName();
        emit formatCommand(command);
    });
}

void BeautyCombobox::SetButtonPicture(const QString& picture)
{
    m_picture = LoadSkin(picture);
    // The picture's size is the least the button takes; it may be made wider for a long name.
    if (!m_picture.isNull()) {
        setFixedHeight(m_picture.height());
        setMinimumWidth(m_picture.width());
        resize(m_picture.size());
    }
}

bool BeautyCombobox::Select(int category, int command)
{
    const CStartPane::Item* f = m_pane->FindFormat(command);
    if (!f || f->category != category) return false;
    m_category = category;
    m_command = command;
    m_shownText.clear();
    ShowWholeName();
    return true;
}

void BeautyCombobox::ShowText(const QString& text)
{
    m_shownText = text;
    ShowWholeName();
}

void BeautyCombobox::ShowWholeName()
{
    // The box cuts a long name (or a "(modified)" one) with "…": the whole is its tooltip.
    setToolTip(ButtonText());
    update();
}

QString BeautyCombobox::ButtonText() const
{
    if (!m_shownText.isEmpty()) return m_shownText;
    const CStartPane::Item* f = m_pane->FindFormat(m_command);
    if (!f) return QString();
    const QString name = f->text.section("/n", 0, 0);
    const qsizetype close = name.indexOf(')');
    return close < 0 ? name : name.left(close + 1);
}

QSize BeautyCombobox::sizeHint() const
{
    const int least = m_picture.isNull() ? 0 : m_picture.width();
    return {std::max(least, fontMetrics().horizontalAdvance(ButtonText()) + height() + kArrowRoom + 8), height()};
}

void BeautyCombobox::OpenPane()
{
    if (m_pane->FindFormat(m_command)) m_pane->ShowCategory(m_category);
    m_pane->Popup(mapToGlobal(QPoint(0, 0)));
}

void BeautyCombobox::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (m_picture.isNull()) {
        p.fillRect(rect(), skin::kField);
    } else {
        // Wider than its picture: the ends as they are, the middle drawn out.
        const int w = m_picture.width(), h = m_picture.height();
        const int left = std::min(16, w / 3), right = std::min(kArrowRoom + 4, w / 3);
        p.drawPixmap(QRect(0, 0, left, h), m_picture, QRect(0, 0, left, h));
        p.drawPixmap(QRect(left, 0, width() - left - right, h), m_picture, QRect(left, 0, w - left - right, h));
        p.drawPixmap(QRect(width() - right, 0, right, h), m_picture, QRect(w - right, 0, right, h));
    }
    if (const CStartPane::Item* category = m_pane->FindCategory(m_category); category && !category->picture.isNull())
        p.drawPixmap(QRect(2, 2, height() - 4, height() - 4), category->picture);
    p.setPen(skin::kText);
    p.drawText(QRect(height() + 2, 4, width() - height() - kArrowRoom, height() - 8), Qt::AlignVCenter | Qt::AlignLeft,
               p.fontMetrics().elidedText(ButtonText(), Qt::ElideRight, width() - height() - kArrowRoom));
    if (hasFocus()) DrawFocusMark(p, rect());
}
