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
constexpr int kTitleRole = Qt::UserRole + 1;
constexpr int kChapterRole = Qt::UserRole + 2;
}

QString LengthText(double milliseconds)
{
    const auto seconds = static_cast<long long>(milliseconds / 1000);
    return QString::asprintf("%02lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
}

CColumnTreeCtrl::CColumnTreeCtrl(QWidget* parent) : QTreeWidget(parent)
{
    setColumnCount(5);
    setHeaderLabels({"Source file", "Original Length", "Trimmed Length", "File", "Note"});
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
    header()->resizeSection(kOutputFormat, fit(QStringLiteral("File"), QStringLiteral("Chapter_01_02.mp4")));
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

CColumnTreeCtrl::~CColumnTreeCtrl() = default;

void CColumnTreeCtrl::UseTasks(TitleTasks* tasks)
{
    clear();
    m_tasks = tasks;
}

void CColumnTreeCtrl::ClearAll()
{
    clear();
    if (m_tasks) m_tasks->Clear();
}

namespace {

QString Text(const std::string& text) { return QString::fromStdString(text); }

// What the note column says of a title: that it is the main title, that it repeats one, that it
// is shorter than the preference ticks.
QStringList TitleNotes(const TitleTasks::Entry& title)
{
    QStringList notes;
    if (title.main) notes << QStringLiteral("Main title");
    if (title.sameAs >= 0) notes << QStringLiteral("Same as Title_%1").arg(title.sameAs + 1, 2, 10, QLatin1Char('0'));
    if (title.shortTitle) notes << QStringLiteral("Short");
    return notes;
}

} // namespace

void CColumnTreeCtrl::ShowTasks(const QString& rootName)
{
    clear();
    if (!m_tasks) return;
    auto* root = new QTreeWidgetItem(this, QStringList{rootName, "", "", "", ""});
    root->setData(0, kTitleRole, -1);
    root->setData(0, kChapterRole, -1);
    auto add = [this](QTreeWidgetItem* parent, TaskKey key) {
        const TitleTasks::Entry* entry = m_tasks->At(key);
        const QString length = LengthText(static_cast<double>(entry->task.sourceLength));
        auto* item = new QTreeWidgetItem(parent, QStringList{Text(TaskOutputName(entry->task, "")), length, length, Text(entry->outputName), QString()});
        item->setData(0, kTitleRole, key.title);
        item->setData(0, kChapterRole, key.chapter);
        return item;
    };
    for (int t = 0; t < m_tasks->TitleCount(); ++t) {
        QTreeWidgetItem* item = add(root, {t, -1});
        for (int c = 0; c < m_tasks->ChapterCount(t); ++c) add(item, {t, c});
        const TitleTasks::Entry& title = *m_tasks->At({t, -1});
        // The note in words; the tip adds where the title comes from ("clip 00001").
        const QStringList notes = TitleNotes(title);
        item->setText(kNote, notes.join(QStringLiteral(", ")));
        QStringList tip = notes;
        if (!title.source.empty()) tip.prepend(Text(title.source));
        QFont bold = item->font(0);
        bold.setBold(true);
        for (int column = 0; column < columnCount(); ++column) {
            if (!tip.isEmpty()) item->setToolTip(column, tip.join(QLatin1Char('\n')));
            if (title.main) item->setFont(column, bold);
        }
    }
    root->setExpanded(true);
    Refresh();
}

void CColumnTreeCtrl::SetMerged(bool merged)
{
    m_merged = merged;
    Refresh();
}

void CColumnTreeCtrl::Refresh()
{
    QTreeWidgetItem* root = Root();
    if (!root || !m_tasks) return;
    // Merged, what takes part goes into the first such task's file.
    QString merged;
    if (m_merged)
        for (const RunTask& t : m_tasks->RunTasks())
            if (TakesPart(t)) {
                merged = Text(t.outputName);
                break;
            }
    std::function<void(QTreeWidgetItem*, bool)> walk = [&](QTreeWidgetItem* item, bool partly) {
        UpdateIcon(item);
        const TaskKey key = KeyOf(item);
        if (const TitleTasks::Entry* entry = m_tasks->At(key); entry && !key.IsRoot()) {
            item->setText(kTrimmedLength, LengthText(static_cast<double>(entry->task.clip.trimLength)));
            // A title takes part whole, or through its chapters when it is ticked in part.
            const Tick tick = m_tasks->TickOf(key);
            const bool part = tick == Tick::kTicked && (key.chapter < 0 || partly);
            const QString own = Text(entry->outputName);
            item->setText(kOutputFormat, !merged.isEmpty() && part && own != merged ? QStringLiteral("into ") + merged : own);
        }
        const bool titlePartly = !key.IsRoot() && key.chapter < 0 && m_tasks->TickOf(key) == Tick::kPartly;
        for (int i = 0; i < item->childCount(); ++i) walk(item->child(i), titlePartly);
    };
    walk(root, false);
}

TaskKey CColumnTreeCtrl::KeyOf(const QTreeWidgetItem* item) const
{
    if (!item) return {};
    return {item->data(0, kTitleRole).toInt(), item->data(0, kChapterRole).toInt()};
}

ConversionTask* CColumnTreeCtrl::TaskOf(QTreeWidgetItem* item) const
{
    const TaskKey key = KeyOf(item);
    return item && m_tasks && !key.IsRoot() ? m_tasks->Task(key) : nullptr;
}

QString CColumnTreeCtrl::ItemText(const QTreeWidgetItem* item)
{
    QStringList pieces;
    for (int i = 0; i < item->columnCount(); ++i) pieces << item->text(i);
    return pieces.join('\t');
}

int CColumnTreeCtrl::StateOf(const QTreeWidgetItem* item) const
{
    return item && m_tasks ? static_cast<int>(m_tasks->TickOf(KeyOf(item))) : kNoState;
}

void CColumnTreeCtrl::UpdateIcon(QTreeWidgetItem* item)
{
    const int state = StateOf(item);
    if (state <= 0 || state >= 4 || m_states[state].isNull()) return;
    QIcon icon(m_states[state]);
    icon.addPixmap(m_selectedStates[state], QIcon::Selected);
    item->setIcon(0, icon);
}

void CColumnTreeCtrl::ToggleCheck(QTreeWidgetItem* item)
{
    if (!m_tasks || !item) return;
    m_tasks->Toggle(KeyOf(item));
    Refresh();
    setCurrentItem(item);
}

void CColumnTreeCtrl::CheckAll(bool checked)
{
    if (!m_tasks) return;
    m_tasks->TickAll(checked);
    Refresh();
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
