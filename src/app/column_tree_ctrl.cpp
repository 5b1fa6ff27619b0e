#include "app/column_tree_ctrl.h"

#include <QHeaderView>
#include <algorithm>
#include <functional>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include "app/palette.h"
#include "app/skin.h"

namespace {
constexpr int kStateRole = Qt::UserRole + 1;
}

QString LengthText(double milliseconds)
{
    const auto seconds = static_cast<long long>(milliseconds / 1000);
    return QString::asprintf("%02lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
}

CColumnTreeCtrl::CColumnTreeCtrl(QWidget* parent) : QTreeWidget(parent)
{
    setColumnCount(4);
    setHeaderLabels({"Source file", "Original Length", "Trimmed Length", "Output Format"});
    // Columns as wide as what they hold, so that nothing is cut at the window's size: the deepest
    // name (a chapter under its title under the root), the header texts and the lengths; the
    // output names take the rest.
    QFont small = font();
    small.setPointSizeF(8.5);
    setFont(small);
    header()->setFont(small);
    setIndentation(12);
    const QFontMetrics metrics(small);
    const int padding = 8;
    auto fit = [&](const QString& header, const QString& content) {
        return std::max(metrics.horizontalAdvance(header), metrics.horizontalAdvance(content)) + padding;
    };
    header()->resizeSection(kSourceFile, 3 * indentation() + 20 + metrics.horizontalAdvance(QStringLiteral("Chapter_00_00")) + padding);
    header()->resizeSection(kOriginalLength, fit(QStringLiteral("Original Length"), QStringLiteral("00:00:00")));
    header()->resizeSection(kTrimmedLength, fit(QStringLiteral("Trimmed Length"), QStringLiteral("00:00:00")));
    header()->setStretchLastSection(true);
    setRootIsDecorated(true);
    setItemsExpandable(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setAllColumnsShowFocus(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setIconSize(QSize(16, 16));
    const QPixmap strip = LoadSkin("checkstates.bmp");
    for (int i = 0; i < 4; ++i) {
        if (strip.isNull()) continue;
        QPixmap image = strip.copy(i * 16, 0, 16, 16);
        image.setMask(image.createMaskFromColor(Qt::white)); // white is transparent
        m_states[i] = image;
    }
    // On the selected row's blue the blue marks would vanish: there they are drawn light.
    for (int i = 1; i < 4; ++i) {
        QPixmap mark(16, 16);
        mark.fill(Qt::transparent);
        QPainter p(&mark);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF box(1.5, 1.5, 13, 13);
        p.setPen(QPen(Qt::white, 1.2));
        p.setBrush(i == kUnchecked ? QColor(Qt::transparent) : QColor(Qt::white));
        p.drawRoundedRect(box, 2.5, 2.5);
        const QColor ink = skin::kSelection.darker(160);
        if (i == kChecked) {
            QPainterPath tick;
            tick.moveTo(box.left() + 3, box.center().y());
            tick.lineTo(box.left() + 5.5, box.bottom() - 3);
            tick.lineTo(box.right() - 2.5, box.top() + 3);
            p.setPen(QPen(ink, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.setBrush(Qt::NoBrush);
            p.drawPath(tick);
        } else if (i == kPartlyChecked) {
            p.setPen(Qt::NoPen);
            p.setBrush(ink);
            p.drawRect(box.adjusted(3.5, 3.5, -3.5, -3.5));
        }
        m_selectedStates[i] = mark;
    }
}

CColumnTreeCtrl::~CColumnTreeCtrl() { ClearAll(); }

void CColumnTreeCtrl::ClearAll()
{
    clear();
    m_tasks.clear();
}

QTreeWidgetItem* CColumnTreeCtrl::InsertRoot(const QString& name)
{
    auto* root = new QTreeWidgetItem(this, QStringList{name, "", "", ""});
    SetState(root, kChecked);
    return root;
}

QTreeWidgetItem* CColumnTreeCtrl::InsertTask(const ConversionTask& task, const QString& extension, QTreeWidgetItem* parent)
{
    QTreeWidgetItem* root = parent ? parent : Root();
    if (!root) root = InsertRoot();
    const std::string base = TaskOutputName(task, "");
    const QString length = LengthText(static_cast<double>(task.sourceLength));
    auto* item = new QTreeWidgetItem(root, QStringList{QString::fromStdString(base), length, length,
                                                        QString::fromStdString(TaskOutputName(task, "", m_namePattern, m_discName)) + extension});
    SetState(item, kChecked);
    m_tasks[item] = std::make_unique<ConversionTask>(task);
    return item;
}

ConversionTask* CColumnTreeCtrl::TaskOf(QTreeWidgetItem* item) const
{
    auto it = m_tasks.find(item);
    return it == m_tasks.end() ? nullptr : it->second.get();
}

QString CColumnTreeCtrl::ItemText(const QTreeWidgetItem* item)
{
    QStringList pieces;
    for (int i = 0; i < item->columnCount(); ++i) pieces << item->text(i);
    return pieces.join('\t');
}

void CColumnTreeCtrl::SetColumnText(QTreeWidgetItem* item, int column, const QString& text) { item->setText(column, text); }

int CColumnTreeCtrl::StateOf(const QTreeWidgetItem* item) const { return item->data(0, kStateRole).toInt(); }

void CColumnTreeCtrl::SetState(QTreeWidgetItem* item, int state)
{
    item->setData(0, kStateRole, state);
    UpdateIcon(item);
}

void CColumnTreeCtrl::UpdateIcon(QTreeWidgetItem* item)
{
    const int state = StateOf(item);
    if (state <= 0 || state >= 4 || m_states[state].isNull()) return;
    QIcon icon(m_states[state]);
    icon.addPixmap(m_selectedStates[state], QIcon::Selected);
    item->setIcon(0, icon);
}

void CColumnTreeCtrl::SetStateDown(QTreeWidgetItem* item, int state)
{
    for (int i = 0; i < item->childCount(); ++i) {
        QTreeWidgetItem* child = item->child(i);
        if (StateOf(child) != kNoState) SetState(child, state);
        SetStateDown(child, state);
    }
}

void CColumnTreeCtrl::SettleUp(QTreeWidgetItem* item, int state)
{
    for (QTreeWidgetItem* parent = item->parent(); parent; item = parent, parent = parent->parent()) {
        bool differs = false;
        for (int i = 0; i < parent->childCount() && !differs; ++i) {
            const QTreeWidgetItem* sibling = parent->child(i);
            if (sibling != item && StateOf(sibling) != kNoState && StateOf(sibling) != state) differs = true;
        }
        if (differs) {
            for (QTreeWidgetItem* up = parent; up; up = up->parent())
                if (StateOf(up) != kNoState) SetState(up, kPartlyChecked);
            return;
        }
        SetState(parent, state);
    }
}

void CColumnTreeCtrl::ToggleCheck(QTreeWidgetItem* item)
{
    const int state = StateOf(item) == kUnchecked ? kChecked : kUnchecked;
    SetState(item, state);
    SetStateDown(item, state);
    SettleUp(item, state);
    setCurrentItem(item);
}

void CColumnTreeCtrl::CheckAll(bool checked)
{
    if (QTreeWidgetItem* root = Root()) {
        SetState(root, checked ? kChecked : kUnchecked);
        SetStateDown(root, checked ? kChecked : kUnchecked);
    }
}

void CColumnTreeCtrl::RefreshOutputNames(const QString& extension)
{
    QTreeWidgetItem* root = Root();
    if (!root) return;
    std::function<void(QTreeWidgetItem*)> walk = [&](QTreeWidgetItem* item) {
        for (int i = 0; i < item->childCount(); ++i) {
            QTreeWidgetItem* child = item->child(i);
            if (const ConversionTask* task = TaskOf(child))
                SetColumnText(child, kOutputFormat, QString::fromStdString(TaskOutputName(*task, "", m_namePattern, m_discName)) + extension);
            walk(child);
        }
    };
    walk(root);
}

void CColumnTreeCtrl::SetNaming(const QString& pattern, const QString& disc)
{
    m_namePattern = pattern.toStdString();
    m_discName = disc.toStdString();
}

QTreeWidgetItem* CColumnTreeCtrl::SelectedOrFirst() const
{
    if (QTreeWidgetItem* item = currentItem(); item && item->isSelected()) return item;
    const QTreeWidgetItem* root = Root();
    return root && root->childCount() > 0 ? root->child(0) : nullptr;
}

ConversionTask* CColumnTreeCtrl::SelectedTask(QString* error) const
{
    QTreeWidgetItem* item = SelectedOrFirst();
    if (!item) {
        if (error) *error = QStringLiteral("Please select one first");
        return nullptr;
    }
    ConversionTask* task = TaskOf(item);
    if (!task && error) *error = QStringLiteral("GetItemData error");
    return task;
}

bool CColumnTreeCtrl::SelectSibling(int direction)
{
    QTreeWidgetItem* item = SelectedOrFirst();
    if (!item || !item->parent()) return false;
    QTreeWidgetItem* parent = item->parent();
    const int at = parent->indexOfChild(item) + direction;
    if (at < 0 || at >= parent->childCount()) return false;
    setCurrentItem(parent->child(at));
    return true;
}

std::vector<RunTask> CColumnTreeCtrl::RunTasks() const
{
    std::vector<RunTask> tasks;
    const QTreeWidgetItem* root = Root();
    if (!root) return tasks;
    auto add = [&](QTreeWidgetItem* item) {
        const ConversionTask* task = TaskOf(item);
        if (!task) return;
        RunTask t;
        t.task = *task;
        t.outputName = item->text(kOutputFormat).toStdString();
        t.checked = StateOf(item) == kChecked;
        tasks.push_back(std::move(t));
    };
    for (int i = 0; i < root->childCount(); ++i) {
        QTreeWidgetItem* title = root->child(i);
        if (StateOf(title) == kPartlyChecked) {
            for (int c = 0; c < title->childCount(); ++c) add(title->child(c));
        } else {
            add(title);
        }
    }
    return tasks;
}

void CColumnTreeCtrl::ApplyPictureToChecked(const PictureSettings& picture)
{
    QTreeWidgetItem* root = Root();
    if (!root) return;
    std::function<void(QTreeWidgetItem*)> walk = [&](QTreeWidgetItem* item) {
        for (int i = 0; i < item->childCount(); ++i) {
            QTreeWidgetItem* child = item->child(i);
            if (ConversionTask* task = TaskOf(child); task && StateOf(child) != kUnchecked) task->clip.picture = picture;
            walk(child);
        }
    };
    walk(root);
}

void CColumnTreeCtrl::mousePressEvent(QMouseEvent* event)
{
    QTreeWidgetItem* item = itemAt(event->position().toPoint());
    if (item && event->button() == Qt::LeftButton && StateOf(item) != kNoState) {
        // The check mark is the icon at the start of column 0.
        const QRect row = visualItemRect(item);
        const int iconLeft = row.left();
        const int x = static_cast<int>(event->position().x());
        if (x >= iconLeft && x < iconLeft + iconSize().width() + 4) {
            ToggleCheck(item);
            return;
        }
    }
    QTreeWidget::mousePressEvent(event);
    if (item) emit itemClickedAt(item);
}

void CColumnTreeCtrl::keyPressEvent(QKeyEvent* event)
{
    QTreeWidgetItem* item = currentItem();
    if (item && event->modifiers() == Qt::NoModifier) {
        switch (event->key()) {
        case Qt::Key_Space:
            if (StateOf(item) != kNoState) ToggleCheck(item);
            return;
        case Qt::Key_Delete:
            // A ticked or partly ticked item unticks whole.
            if (StateOf(item) == kChecked || StateOf(item) == kPartlyChecked) ToggleCheck(item);
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            emit playRequested(item);
            return;
        default:
            break;
        }
    }
    QTreeWidget::keyPressEvent(event);
}
