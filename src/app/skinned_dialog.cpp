#include "app/skinned_dialog.h"

#include <QGuiApplication>
#include <algorithm>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QScreen>
#include <QSizeGrip>

#include "app/my_button.h"
#include "app/skin.h"

CSkinnedDialog::CSkinnedDialog(QWidget* parent) : QDialog(parent)
{
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
}

bool CSkinnedDialog::SetBackground(const QString& picture, QSize fallback)
{
    m_picture = LoadSkin(picture);
    m_background = m_picture;
    m_fallback = fallback;
    m_columns.clear();
    m_rows.clear();
    m_extra = QSize(0, 0);
    setFixedSize(PictureSize());
    Centre();
    update();
    return !m_background.isNull();
}

void CSkinnedDialog::Centre()
{
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

namespace {

// How much of `extra` the lines before `at` took, shared evenly (the first lines take the rest).
int ExtraBefore(int at, const std::vector<int>& lines, int extra)
{
    if (lines.empty() || extra <= 0) return 0;
    const int count = static_cast<int>(lines.size());
    int added = 0;
    for (int i = 0; i < count && lines[static_cast<std::size_t>(i)] < at; ++i) added += extra / count + (i < extra % count ? 1 : 0);
    return added;
}

} // namespace

void CSkinnedDialog::StretchBackground(QSize size, std::vector<int> columns, std::vector<int> rows)
{
    std::sort(columns.begin(), columns.end());
    std::sort(rows.begin(), rows.end());
    m_columns = std::move(columns);
    m_rows = std::move(rows);
    BuildStretched(size);
    setFixedSize(PictureSize() + m_extra);
    Centre();
    update();
}

void CSkinnedDialog::SetResizable(std::vector<int> columns, std::vector<int> rows)
{
    std::sort(columns.begin(), columns.end());
    std::sort(rows.begin(), rows.end());
    m_columns = std::move(columns);
    m_rows = std::move(rows);
    m_resizable = true;
    setMinimumSize(PictureSize());
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    setSizeGripEnabled(false);
    // A frameless window is resized from its lower right corner.
    if (!m_grip) m_grip = new QSizeGrip(this);
    m_grip->resize(16, 16);
    m_grip->move(width() - 18, height() - 18);
    m_grip->show();
}

void CSkinnedDialog::BuildStretched(QSize size)
{
    const QSize base = PictureSize();
    size = size.expandedTo(base);
    m_extra = QSize(m_columns.empty() ? 0 : size.width() - base.width(), m_rows.empty() ? 0 : size.height() - base.height());
    size = base + m_extra;
    if (!m_picture.isNull()) {
        // Columns first (each strip keeps its pixels, a stretched line repeats), then rows.
        QPixmap wide(size.width(), base.height());
        wide.fill(Qt::transparent);
        {
            QPainter p(&wide);
            int from = 0;
            for (const int line : m_columns) {
                const int to = std::clamp(line, from, base.width() - 1);
                p.drawPixmap(Stretched(QPoint(from, 0)).x(), 0, m_picture, from, 0, to - from, base.height());
                const int repeated = ExtraBefore(to + 1, m_columns, m_extra.width()) - ExtraBefore(to, m_columns, m_extra.width());
                p.drawPixmap(QRect(Stretched(QPoint(to, 0)).x(), 0, repeated + 1, base.height()), m_picture, QRect(to, 0, 1, base.height()));
                from = to + 1;
            }
            p.drawPixmap(Stretched(QPoint(from, 0)).x(), 0, m_picture, from, 0, base.width() - from, base.height());
        }
        m_background = QPixmap(size);
        m_background.fill(Qt::transparent);
        QPainter p(&m_background);
        int from = 0;
        for (const int line : m_rows) {
            const int to = std::clamp(line, from, base.height() - 1);
            p.drawPixmap(0, Stretched(QPoint(0, from)).y(), wide, 0, from, size.width(), to - from);
            const int repeated = ExtraBefore(to + 1, m_rows, m_extra.height()) - ExtraBefore(to, m_rows, m_extra.height());
            p.drawPixmap(QRect(0, Stretched(QPoint(0, to)).y(), size.width(), repeated + 1), wide, QRect(0, to, size.width(), 1));
            from = to + 1;
        }
        p.drawPixmap(0, Stretched(QPoint(0, from)).y(), wide, 0, from, size.width(), base.height() - from);
    }
}

QPoint CSkinnedDialog::Stretched(QPoint at) const
{
    return at + QPoint(ExtraBefore(at.x(), m_columns, m_extra.width()), ExtraBefore(at.y(), m_rows, m_extra.height()));
}

QRect CSkinnedDialog::Stretched(const QRect& rect) const
{
    // The far edge is the first pixel past the rectangle.
    return QRect(Stretched(rect.topLeft()), Stretched(rect.topLeft() + QPoint(rect.width(), rect.height())) - QPoint(1, 1));
}

QPixmap CSkinnedDialog::BackgroundUnder(const QRect& rect) const
{
    if (m_background.isNull()) {
        QPixmap plain(rect.size());
        plain.fill(palette().color(QPalette::Window));
        return plain;
    }
    return m_background.copy(rect);
}

void CSkinnedDialog::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        auto* target = qobject_cast<CMyButton*>(focusWidget());
        if (!target)
            for (CMyButton* button : findChildren<CMyButton*>())
                if (button->IsDefault() && button->window() == this && button->isVisible() && button->isEnabled()) {
                    target = button;
                    break;
                }
        if (target && target->isEnabled()) {
            target->click();
            return;
        }
    }
    QDialog::keyPressEvent(event);
}

void CSkinnedDialog::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (m_background.isNull())
        p.fillRect(rect(), palette().color(QPalette::Window));
    else
        p.drawPixmap(0, 0, m_background);
}

void CSkinnedDialog::resizeEvent(QResizeEvent* event)
{
    if (m_resizable) {
        BuildStretched(size());
        if (m_grip) m_grip->move(width() - 18, height() - 18);
        Relayout();
        update();
    }
    QPainterPath outline;
    outline.addRoundedRect(QRectF(rect()), 10, 10); // 20 × 20 corner ellipses
    setMask(QRegion(outline.toFillPolygon().toPolygon()));
    QDialog::resizeEvent(event);
}

void CSkinnedDialog::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_dragging = true;
        m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
    }
    QDialog::mousePressEvent(event);
}

void CSkinnedDialog::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragging) move(event->globalPosition().toPoint() - m_dragOffset);
    QDialog::mouseMoveEvent(event);
}

void CSkinnedDialog::mouseDoubleClickEvent(QMouseEvent* event)
{
    // A resizable window's title bar maximises it and gives it back.
    if (m_resizable && event->button() == Qt::LeftButton && event->position().y() < 36) {
        isMaximized() ? showNormal() : showMaximized();
        return;
    }
    QDialog::mouseDoubleClickEvent(event);
}

void CSkinnedDialog::mouseReleaseEvent(QMouseEvent* event)
{
    m_dragging = false;
    QDialog::mouseReleaseEvent(event);
}
