#include "app/ENTabBarView.h"

#include "app/ENTabBarViewDelegate.h"
#include "app/ENTabCell.h"

#include <QHelpEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>

namespace {

constexpr int kLeftMargin = 24;
constexpr int kRightMargin = 12;
constexpr int kMinTabWidth = 100;
constexpr int kMaxTabWidth = 180;

QColor grey(qreal level)
{
    return QColor::fromRgbF(level, level, level, 1.0);
}

} // namespace

ENTabBarView::ENTabBarView(QWidget* parent)
    : QWidget(parent)
    , bgColor_(grey(0.6))
    , tabBGColor_(grey(0.68))
    , tabActivedBGColor_(Qt::white)
    , tabBorderColor_(grey(0.53))
    , tabTitleColor_(Qt::black)
    , tabActivedTitleColor_(Qt::black)
    , smallControlColor_(grey(0.53))
    , tabFont_(QStringLiteral("Lucida Grande"))
{
    // Fontconfig picks the nearest face when this one is not installed. The
    // bar is measured in the design's points, which are pixels here, so the
    // 11-point title is 11 pixels high too and fits the 100-point tabs.
    tabFont_.setPixelSize(11);
    setFixedHeight(kBarHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // Hovering over a close mark shows it.
    setMouseTracking(true);
}

ENTabBarView::~ENTabBarView() = default;

QRect ENTabBarView::tabRectFromIndex(int index) const
{
    // Signed arithmetic: too many tabs for the width leave no spare room
    // instead of wrapping round.
    const int count = std::max<int>(1, static_cast<int>(tabs_.size()));
    const int usable = width() - kLeftMargin - kRightMargin;
    int tabWidth = usable / count;
    if (tabWidth <= kMinTabWidth) {
        tabWidth = kMinTabWidth;
    }
    if (tabWidth >= kMaxTabWidth) {
        tabWidth = kMaxTabWidth;
    }
    const int spare = std::max(0, usable - tabWidth * count);
    const int x = spare / 2 + kLeftMargin + index * tabWidth;
    return QRect(x, kBarHeight - kTabHeight, tabWidth, kTabHeight);
}

QRect ENTabBarView::rectForTabListControl()
{
    return QRect(0, kBarHeight - kTabHeight, kLeftMargin, kTabHeight).adjusted(6, 10, -6, -10);
}

bool ENTabBarView::isBlankAreaOfTabBarViewInPoint(const QPoint& point) const
{
    if (rectForTabListControl().contains(point)) {
        return false;
    }
    return std::none_of(
        tabs_.begin(), tabs_.end(), [&point](const auto& cell) { return cell->path().contains(point); });
}

ENTabCell* ENTabBarView::tabCellInPoint(const QPoint& point) const
{
    for (const auto& cell : tabs_) {
        if (cell->frame().contains(point)) {
            return cell.get();
        }
    }
    return nullptr;
}

int ENTabBarView::destinationCellIndexFromPoint(const QPoint& point) const
{
    for (int i = 0; i < static_cast<int>(tabs_.size()); ++i) {
        const QRect frame = tabs_[i]->frame();
        if (frame.contains(point)) {
            return point.x() < frame.center().x() ? i : i + 1;
        }
    }
    return -1;
}

void ENTabBarView::exchangeTabWithIndex(int index, int withTab)
{
    const int count = static_cast<int>(tabs_.size());
    if (index < 0 || withTab < 0 || index >= count || withTab >= count) {
        return;
    }
    std::swap(tabs_[index], tabs_[withTab]);
    layoutTabs();
}

std::unique_ptr<QMenu> ENTabBarView::tabsMenu()
{
    auto menu = std::make_unique<QMenu>(QStringLiteral("Contextual Menu"));
    for (const auto& cell : tabs_) {
        QAction* item = menu->addAction(cell->title());
        connect(item, &QAction::triggered, this, [this, item] { popupMenuDidChoosed(item); });
    }
    return menu;
}

void ENTabBarView::popupMenuDidChoosed(QAction* item)
{
    const auto* menu = item ? qobject_cast<QMenu*>(item->parent()) : nullptr;
    const int index = menu ? static_cast<int>(menu->actions().indexOf(item)) : -1;
    if (index < 0 || index >= static_cast<int>(tabs_.size())) {
        return;
    }
    ENTabCell* cell = tabs_[index].get();
    if (!rect().contains(cell->frame())) {
        exchangeTabWithIndex(index, 0);
    }
    cell->setAsActiveTab();
    redraw();
}

ENTabCell* ENTabBarView::addTabViewWithTitle(const QString& title)
{
    std::unique_ptr<ENTabCell> owned = ENTabCell::tabCellWithTabBarView(this, title);
    ENTabCell* cell = owned.get();
    if (delegate_) {
        delegate_->tabWillBeCreated(cell);
    }
    tabs_.push_back(std::move(owned));
    const int index = static_cast<int>(tabs_.size()) - 1;
    // A tab that would fall off the bar takes the first place instead.
    if (!rect().contains(tabRectFromIndex(index))) {
        exchangeTabWithIndex(index, 0);
    }
    layoutTabs();
    cell->setAsActiveTab();
    if (delegate_) {
        delegate_->tabDidBeCreated(cell);
    }
    redraw();
    return cell;
}

void ENTabBarView::selectTab(int index)
{
    if (index < 0 || index >= static_cast<int>(tabs_.size())) {
        return;
    }
    tabs_[index]->setAsActiveTab();
    redraw();
}

int ENTabBarView::selectedTabIndex() const
{
    return indexOfCell(selectedTab_);
}

void ENTabBarView::removeTabCell(ENTabCell* cell)
{
    takeTabCell(cell);
}

std::unique_ptr<ENTabCell> ENTabBarView::takeTabCell(ENTabCell* cell)
{
    const int index = indexOfCell(cell);
    if (index < 0) {
        return nullptr;
    }
    const int next = index == 0 ? 0 : index - 1;
    std::unique_ptr<ENTabCell> owned = std::move(tabs_[index]);
    tabs_.erase(tabs_.begin() + index);
    // The active tab never names a cell that left the bar.
    if (selectedTab_ == cell) {
        selectedTab_ = nullptr;
    }
    layoutTabs();
    if (!tabs_.empty()) {
        tabs_[next]->setAsActiveTab();
    }
    redraw();
    return owned;
}

void ENTabBarView::closeTabCell(ENTabCell* cell)
{
    if (delegate_) {
        delegate_->tabWillClose(cell);
    }
    const std::unique_ptr<ENTabCell> closed = takeTabCell(cell);
    if (closed && delegate_) {
        delegate_->tabDidClosed(closed.get());
    }
}

void ENTabBarView::redraw()
{
    layoutTabs();
    update();
}

QList<ENTabCell*> ENTabBarView::tabs() const
{
    QList<ENTabCell*> cells;
    cells.reserve(static_cast<qsizetype>(tabs_.size()));
    for (const auto& cell : tabs_) {
        cells.append(cell.get());
    }
    return cells;
}

void ENTabBarView::setTabsClosable(bool closable)
{
    tabsClosable_ = closable;
    if (!closable) {
        hideCloseMarks();
        update();
    }
}

QSize ENTabBarView::sizeHint() const
{
    const int count = std::max<int>(1, static_cast<int>(tabs_.size()));
    return QSize(kLeftMargin + kRightMargin + count * kMinTabWidth, kBarHeight);
}

int ENTabBarView::indexOfCell(const ENTabCell* cell) const
{
    if (!cell) {
        return -1;
    }
    const auto found
        = std::find_if(tabs_.begin(), tabs_.end(), [cell](const auto& owned) { return owned.get() == cell; });
    return found == tabs_.end() ? -1 : static_cast<int>(found - tabs_.begin());
}

void ENTabBarView::layoutTabs()
{
    // Frames and outlines follow every change at once, so that a click
    // finds its tab even before the bar was first painted.
    for (int i = 0; i < static_cast<int>(tabs_.size()); ++i) {
        tabs_[i]->setFrame(tabRectFromIndex(i));
    }
}

void ENTabBarView::hideCloseMarks()
{
    for (const auto& cell : tabs_) {
        cell->setCanDrawCloseButton(false);
    }
}

bool ENTabBarView::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        for (const auto& cell : tabs_) {
            if (cell->path().contains(help->pos())) {
                QToolTip::showText(help->globalPos(), cell->title(), this, cell->frame());
                return true;
            }
        }
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    return QWidget::event(event);
}

void ENTabBarView::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.fillRect(rect(), bgColor_);
    painter.setPen(QPen(tabBorderColor_, 2));
    painter.drawLine(0, kBarHeight - 1, width(), kBarHeight - 1);
    for (const auto& cell : tabs_) {
        cell->draw(painter);
    }
}

void ENTabBarView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutTabs();
}

void ENTabBarView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const QPoint point = event->position().toPoint();
    // The count is read again each turn: a delegate may change the tabs.
    for (int i = 0; i < static_cast<int>(tabs_.size()); ++i) {
        ENTabCell* cell = tabs_[i].get();
        if (cell->path().contains(point)) {
            cell->setAsActiveTab();
        }
        if (tabsClosable_ && i < static_cast<int>(tabs_.size()) && tabs_[i].get() == cell && cell->mouseDown(point)) {
            // The remaining tabs moved; the click belonged to this one only.
            closeTabCell(cell);
            break;
        }
    }
    redraw();
}

void ENTabBarView::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second press of a double-click acts as a press; adding waits for
    // its release.
    mousePressEvent(event);
    doubleClickPending_ = event->button() == Qt::LeftButton;
}

void ENTabBarView::mouseReleaseEvent(QMouseEvent* event)
{
    const bool doubleClick = doubleClickPending_ && event->button() == Qt::LeftButton;
    doubleClickPending_ = false;
    if (doubleClick && addsUntitledTab_ && isBlankAreaOfTabBarViewInPoint(event->position().toPoint())) {
        addTabViewWithTitle(QStringLiteral("Untitled"));
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void ENTabBarView::mouseMoveEvent(QMouseEvent* event)
{
    if (tabsClosable_) {
        const QPoint point = event->position().toPoint();
        for (const auto& cell : tabs_) {
            cell->mouseMoved(point);
        }
    }
    redraw();
    QWidget::mouseMoveEvent(event);
}

void ENTabBarView::leaveEvent(QEvent* event)
{
    hideCloseMarks();
    update();
    QWidget::leaveEvent(event);
}
