#include "app/start_pane.h"
#include "app/palette.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QToolTip>
#include <QUrl>
#include <algorithm>

#include "app/skin.h"

namespace {
const QColor& kPane = skin::kPane;
const QColor& kHover = skin::kHover;
const QColor& kHighlight = skin::kAccent;
const QColor& kInk = skin::kText;
const QColor& kMutedInk = skin::kSoftText;
constexpr const char* kMoreFormats = "https://zuzidero.org/formats";
} // namespace

CStartPane::CStartPane(QWidget* owner) : QWidget(owner, Qt::Popup | Qt::FramelessWindowHint)
{
    setMouseTracking(true);
    resize(kWidth, kMinHeight);
    setAttribute(Qt::WA_DeleteOnClose, false);
}

CStartPane::Item* CStartPane::Category(int id)
{
    auto it = std::find_if(m_categories.begin(), m_categories.end(), [id](const Item& c) { return c.command == id; });
    return it == m_categories.end() ? nullptr : &*it;
}

const CStartPane::Item* CStartPane::Category(int id) const { return const_cast<CStartPane*>(this)->Category(id); }
const CStartPane::Item* CStartPane::FindCategory(int id) const { return Category(id); }

void CStartPane::AddCategory(int id, const QString& name, const QString& picture)
{
    Item item;
    item.text = name;
    item.command = id;
    item.picture = LoadSkin(picture);
    m_categories.push_back(std::move(item));
}

void CStartPane::AddFormat(int category, int command, const QString& text, const QString& picture)
{
    Item* owner = Category(category);
    if (!owner) return;
    Item item;
    item.text = text;
    item.command = command;
    item.category = category;
    item.picture = LoadSkin(picture);
    m_formats.push_back(std::move(item));
    if (owner->pages.empty() || owner->pages.back().size() == kPageSize) owner->pages.emplace_back();
    owner->pages.back().push_back(static_cast<int>(m_formats.size() - 1));
}

void CStartPane::ClearCategory(int id)
{
    std::erase_if(m_formats, [&](const Item& f) { return f.category == id; });
    // The pages hold indices into the formats: made anew.
    for (Item& c : m_categories) {
        c.pages.clear();
        c.currentPage = 0;
    }
    for (std::size_t i = 0; i < m_formats.size(); ++i) {
        Item* owner = Category(m_formats[i].category);
        if (!owner) continue;
        if (owner->pages.empty() || owner->pages.back().size() == kPageSize) owner->pages.emplace_back();
        owner->pages.back().push_back(static_cast<int>(i));
    }
    update();
}

void CStartPane::SetBottomPictures(const QString& both, const QString& left, const QString& right, const QString& none)
{
    m_bottom[0] = both;
    m_bottom[1] = left;
    m_bottom[2] = right;
    m_bottom[3] = none;
    for (int i = 0; i < 4; ++i) m_bottomPictures[i] = LoadSkin(m_bottom[i]);
}

const CStartPane::Item* CStartPane::FindFormat(int command) const
{
    auto it = std::find_if(m_formats.begin(), m_formats.end(), [command](const Item& f) { return f.command == command; });
    return it == m_formats.end() ? nullptr : &*it;
}

int CStartPane::PaneHeight() const
{
    const int left = static_cast<int>(m_categories.size()) * kCategoryRow;
    const int right = kPageSize * kFormatRow;
    return std::max(kMinHeight, std::max(left, right) + kBottom);
}

QPoint CStartPane::PlaceOnArea(QPoint at, QSize size, const QRect& area)
{
    QPoint place = at;
    if (place.x() + size.width() > area.right()) place.rx() -= size.width();
    if (place.y() + size.height() > area.bottom()) place.ry() -= size.height();
    return QPoint(std::max(place.x(), 0), std::max(place.y(), 0));
}

void CStartPane::Popup(QPoint at)
{
    resize(kWidth, PaneHeight());
    QRect area(0, 0, 1 << 20, 1 << 20);
    if (const QScreen* screen = QGuiApplication::screenAt(at) ? QGuiApplication::screenAt(at) : QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    m_chosenCommand = 0;
    move(PlaceOnArea(at, size(), area));
    if (m_currentCategory < 0 && !m_categories.empty()) ShowCategory(m_categories.front().command);
    show();
    Layout();
}

void CStartPane::ShowCategory(int id)
{
    if (!Category(id)) return;
    m_currentCategory = id;
    Layout();
    update();
}

void CStartPane::NextPage()
{
    Item* c = Category(m_currentCategory);
    if (!c || c->pages.size() < 2 || c->currentPage + 1 >= static_cast<int>(c->pages.size())) return;
    ++c->currentPage;
    Layout();
    update();
}

void CStartPane::PrevPage()
{
    Item* c = Category(m_currentCategory);
    if (!c || c->currentPage == 0) return;
    --c->currentPage;
    Layout();
    update();
}

QString CStartPane::PageIndicator() const
{
    const Item* c = Category(m_currentCategory);
    if (!c) return QString();
    return QString::asprintf("%d / %d", c->currentPage + 1, static_cast<int>(c->pages.size()));
}

QString CStartPane::StripPicture() const
{
    const Item* c = Category(m_currentCategory);
    if (!c || c->pages.size() < 2) return m_bottom[3];
    if (c->currentPage + 1 == static_cast<int>(c->pages.size())) return m_bottom[2];
    if (c->currentPage == 0) return m_bottom[1];
    return m_bottom[0];
}

std::vector<int> CStartPane::ShownCommands() const
{
    std::vector<int> commands;
    const Item* c = Category(m_currentCategory);
    if (!c || c->pages.empty()) return commands;
    for (int index : c->pages[static_cast<std::size_t>(c->currentPage)]) commands.push_back(m_formats[static_cast<std::size_t>(index)].command);
    return commands;
}

QRect CStartPane::FormatRect(int command) const
{
    const Item* f = FindFormat(command);
    if (!f || f->category != m_currentCategory) return QRect();
    const auto shown = ShownCommands();
    return std::find(shown.begin(), shown.end(), command) == shown.end() ? QRect() : f->rect;
}

void CStartPane::Layout()
{
    const int rows = height() - kBottom;
    const int categoryRow = std::min(kCategoryRow, rows / std::max<int>(1, static_cast<int>(m_categories.size())));
    for (std::size_t i = 0; i < m_categories.size(); ++i)
        m_categories[i].rect = QRect(0, static_cast<int>(i) * categoryRow, kCategoryWidth, categoryRow);
    for (Item& f : m_formats) f.rect = QRect();
    const auto shown = ShownCommands();
    const int formatRow = std::min(kFormatRow, rows / kPageSize);
    for (std::size_t i = 0; i < shown.size(); ++i) {
        auto it = std::find_if(m_formats.begin(), m_formats.end(), [&](const Item& f) { return f.command == shown[i]; });
        it->rect = QRect(kCategoryWidth + kGap, static_cast<int>(i) * formatRow, width() - kCategoryWidth - kGap, formatRow);
    }
}

void CStartPane::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), kPane);
    p.fillRect(QRect(0, 0, kCategoryWidth, height() - kBottom), kPane.darker(115));
    const int chosenCategory = [&] {
        const Item* f = FindFormat(m_chosenCommand);
        return f ? f->category : -1;
    }();
    for (const Item& c : m_categories) {
        if (c.command == m_currentCategory)
            p.fillRect(c.rect, kHover);
        if (c.command == chosenCategory) p.fillRect(QRect(c.rect.left(), c.rect.top(), 3, c.rect.height()), kHighlight);
        if (!c.picture.isNull())
            p.drawPixmap(QRect(c.rect.left() + 6, c.rect.top() + (c.rect.height() - 22) / 2, 22, 22), c.picture);
        p.setPen(kInk);
        p.drawText(c.rect.adjusted(34, 0, -16, 0), Qt::AlignVCenter | Qt::AlignLeft, c.text);
        p.drawText(c.rect.adjusted(0, 0, -6, 0), Qt::AlignVCenter | Qt::AlignRight, QStringLiteral("›"));
    }
    for (int command : ShownCommands()) {
        const Item* f = FindFormat(command);
        const QRect r = f->rect;
        if (command == m_chosenCommand)
            p.fillRect(r.adjusted(2, 2, -2, -2), kHighlight);
        else if (command == m_hoverCommand)
            p.fillRect(r.adjusted(2, 2, -2, -2), kHover);
        if (!f->picture.isNull()) p.drawPixmap(r.left() + 8, r.top() + (r.height() - 32) / 2, f->picture);
        const QRect text = r.adjusted(50, 4, -8, -4);
        const int split = f->text.indexOf("/n");
        if (split < 0) {
            p.setPen(kInk);
            p.drawText(text, Qt::AlignVCenter | Qt::AlignLeft, f->text);
        } else {
            QFont bold = font();
            bold.setBold(true);
            p.setFont(bold);
            p.setPen(kInk);
            p.drawText(QRect(text.left(), text.top(), text.width(), text.height() / 2), Qt::AlignVCenter | Qt::AlignLeft,
                       f->text.left(split));
            p.setFont(font());
            p.setPen(command == m_chosenCommand ? kInk : kMutedInk);
            p.drawText(QRect(text.left(), text.top() + text.height() / 2, text.width(), text.height() / 2),
                       Qt::AlignVCenter | Qt::AlignLeft, p.fontMetrics().elidedText(f->text.mid(split + 2), Qt::ElideRight, text.width()));
        }
    }
    const QRect strip(0, height() - kBottom, width(), kBottom);
    const QString stripName = StripPicture();
    QPixmap bottom;
    for (int i = 0; i < 4; ++i)
        if (m_bottom[i] == stripName) bottom = m_bottomPictures[i];
    if (!bottom.isNull())
        p.drawPixmap(strip, bottom);
    else
        p.fillRect(strip, kPane.darker(130));
    p.setPen(skin::kLink);
    QFont link = font();
    link.setUnderline(true);
    p.setFont(link);
    p.drawText(LinkRect(), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("Get More Format Online"));
    p.setFont(font());
    p.setPen(kInk);
    p.drawText(QRect(width() - 140, height() - kBottom, 70, kBottom), Qt::AlignVCenter | Qt::AlignRight, PageIndicator());
}

void CStartPane::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    for (const Item& c : m_categories)
        if (c.rect.contains(at) && c.command != m_currentCategory) ShowCategory(c.command);
    int hover = 0;
    for (int command : ShownCommands())
        if (FindFormat(command)->rect.contains(at)) hover = command;
    if (hover != m_hoverCommand) {
        m_hoverCommand = hover;
        update();
    }
    const bool hand = LinkRect().contains(at) || PrevRect().contains(at) || NextRect().contains(at);
    setCursor(hand ? Qt::PointingHandCursor : Qt::ArrowCursor);
    if (LinkRect().contains(at)) QToolTip::showText(event->globalPosition().toPoint(), "Get More File Format Online", this);
    else if (PrevRect().contains(at)) QToolTip::showText(event->globalPosition().toPoint(), "Prev", this);
    else if (NextRect().contains(at)) QToolTip::showText(event->globalPosition().toPoint(), "Next", this);
    else if (const QString whole = ToolTipAt(at); !whole.isEmpty()) QToolTip::showText(event->globalPosition().toPoint(), whole, this);
}

QString CStartPane::ToolTipAt(QPoint at) const
{
    // A format's name and its whole description (the pane cuts a long one).
    for (int command : ShownCommands())
        if (const Item* f = FindFormat(command); f && f->rect.contains(at)) {
            const int split = f->text.indexOf("/n");
            return split < 0 ? f->text : f->text.left(split) + QLatin1Char('\n') + f->text.mid(split + 2);
        }
    return QString();
}

void CStartPane::mousePressEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    if (!rect().contains(at)) {
        close();
        return;
    }
    if (LinkRect().contains(at)) {
        OpenInDesktop(parentWidget() ? parentWidget()->window() : nullptr, QUrl(QString::fromLatin1(kMoreFormats)));
        return;
    }
    if (PrevRect().contains(at)) {
        PrevPage();
        return;
    }
    if (NextRect().contains(at)) {
        NextPage();
        return;
    }
    for (const Item& c : m_categories)
        if (c.rect.contains(at)) {
            ShowCategory(c.command);
            return;
        }
    for (int command : ShownCommands()) {
        if (FindFormat(command)->rect.contains(at)) {
            m_chosenCommand = command;
            close();
            emit formatChosen(command);
            return;
        }
    }
    close();
}

void CStartPane::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape || (event->modifiers() & Qt::AltModifier)) close();
}
