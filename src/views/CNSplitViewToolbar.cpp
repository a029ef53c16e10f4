#include "views/CNSplitViewToolbar.h"

#include "foundation/NotificationHub.h"
#include "views/CNSplitView.h"
#include "views/CNSplitViewDraggingHandle.h"
#include "views/CNSplitViewToolbarButton.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>

#include <cmath>

namespace {

const char* const itemAlignProperty = "toolbarItemAlign";
const char* const itemWidthProperty = "toolbarItemWidth";

// How much an inactive window's colours are blended towards white.
constexpr double inactiveHighlight = 0.42;

// A vertical gradient across `rect` starting at its bottom, the way the
// toolbar's greys run from dark below to light above.
QLinearGradient upwardGradient(const QRectF& rect)
{
    return QLinearGradient(rect.bottomLeft(), rect.topLeft());
}

} // namespace

CNSplitViewToolbar::CNSplitViewToolbar(QWidget* parent)
    : QWidget(parent)
{
    setAnchorEdge(1);
    NotificationHub& hub = NotificationHub::defaultHub();
    hub.addObserver(this, QStringLiteral("InjectReference"),
        [this](const Notification& notification) { injectEnclosingSplitView(notification); });
    hub.addObserver(
        this, QStringLiteral("DraggingHandleEnableDisableNotification"), [this](const Notification& notification) {
            // Only the toolbar of the split view that changed rebuilds its grip.
            if (enclosingSplitView_ && notification.sender == enclosingSplitView_.data()) {
                draggingHandleEnableDisable(notification.userInfo.value(QStringLiteral("enabled")).toBool());
            }
        });
}

CNSplitViewToolbar::~CNSplitViewToolbar()
{
    NotificationHub::defaultHub().removeObserver(this);
}

int64_t CNSplitViewToolbar::toolbarItemAlign(const QWidget* item)
{
    return item->property(itemAlignProperty).toLongLong();
}

void CNSplitViewToolbar::setToolbarItemAlign(QWidget* item, int64_t align)
{
    item->setProperty(itemAlignProperty, QVariant::fromValue(static_cast<qlonglong>(align)));
}

double CNSplitViewToolbar::toolbarItemWidth(const QWidget* item)
{
    return item->property(itemWidthProperty).toDouble();
}

void CNSplitViewToolbar::setToolbarItemWidth(QWidget* item, double width)
{
    item->setProperty(itemWidthProperty, width);
}

void CNSplitViewToolbar::addItem(QWidget* item, int64_t align)
{
    setToolbarItemAlign(item, align);
    toolbarItems_.append(item);
    item->setParent(this);
    const auto* button = qobject_cast<const CNSplitViewToolbarButton*>(item);
    item->setGeometry(QRect(QPoint(0, 0), button != nullptr ? sizeForToolbarButton(button) : sizeForToolbarItem(item)));
    item->show();
    // Items added after the first layout are placed at the next paint, not left at x 0.
    previousToolbarRect_ = QRect();
    update();
}

void CNSplitViewToolbar::removeItem(QWidget* item)
{
    toolbarItems_.removeAll(item);
    if (item->parentWidget() == this) {
        item->hide();
        item->setParent(nullptr);
    }
    previousToolbarRect_ = QRect();
    update();
}

void CNSplitViewToolbar::removeAllItems()
{
    const QList<QWidget*> children = findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget* child : children) {
        child->hide();
        child->setParent(nullptr);
        // The grip is ours; items go back to whoever made them.
        if (child == draggingHandle_) {
            child->deleteLater();
        }
    }
    toolbarItems_.clear();
    update();
}

void CNSplitViewToolbar::enable()
{
    NotificationHub::defaultHub().post(QStringLiteral("ToolbarItemsEnableNotification"));
}

void CNSplitViewToolbar::disable()
{
    NotificationHub::defaultHub().post(QStringLiteral("ToolbarItemsDisableNotification"));
}

QSize CNSplitViewToolbar::sizeForToolbarButton(const CNSplitViewToolbarButton* button) const
{
    const double imageWidth = button->image().isNull() ? 0.0 : button->image().width();
    const double titleWidth
        = button->title().isEmpty() ? 0.0 : QFontMetricsF(button->titleFont()).horizontalAdvance(button->title());
    const double minimum = toolbarItemWidth(button);
    const double m = CNSplitViewToolbarButtonCell::margin;
    double width = minimum;
    if (imageWidth > 0 && titleWidth > 0) {
        width = m + imageWidth + m + titleWidth + m;
    } else if (imageWidth > 0) {
        width = std::max(m + imageWidth + m, minimum);
    } else if (titleWidth > 0) {
        width = m + titleWidth + m;
    }
    return QSize(static_cast<int>(std::ceil(std::max(minimum, width))), qRound(height_ - 1));
}

QSize CNSplitViewToolbar::sizeForToolbarItem(const QWidget* item) const
{
    return QSize(static_cast<int>(std::ceil(toolbarItemWidth(item))), qRound(height_ - 1));
}

CNSplitView* CNSplitViewToolbar::enclosingSplitView() const
{
    return static_cast<CNSplitView*>(enclosingSplitView_.data());
}

int CNSplitViewToolbar::handleWidth() const
{
    const CNSplitView* splitView = enclosingSplitView();
    return splitView != nullptr && splitView->isVertical() ? handleWidthVertical : handleWidthHorizontal;
}

// Items sit one pixel clear of the border line: below it on a bottom toolbar,
// above it on a top one.
int CNSplitViewToolbar::itemTop(const QWidget* item) const
{
    const double toolbarHeight = QWidget::height();
    const double itemHeight = item->height();
    const double fromBottom = (toolbarHeight - itemHeight - 1) / 2 + (anchorEdge_ == 2 ? 1 : 0);
    return qRound(toolbarHeight - fromBottom - itemHeight);
}

void CNSplitViewToolbar::recalculateItemPositions()
{
    const double s = itemDelimiterEnabled_ ? delimiterWidth : 0.0;
    double left = 0;
    double right = width() - (isDraggingHandleEnabled() ? handleWidth() : 0);
    delimiterOffsets_.clear();
    if (contentAlign_ == 0) {
        for (QWidget* item : std::as_const(toolbarItems_)) {
            const double w = item->width();
            double x = 0;
            if (toolbarItemAlign(item) == 0) {
                x = left;
                left += w + s;
                delimiterOffsets_.append(std::ceil(x + w));
            } else {
                x = right - w;
                right -= w + s;
                delimiterOffsets_.append(std::ceil(x) - 1);
            }
            item->move(qRound(x), itemTop(item));
        }
    } else if (contentAlign_ == 1) {
        double total = 0;
        for (const QWidget* item : std::as_const(toolbarItems_)) {
            total += item->width() + s;
        }
        // A centred group has a separator before its first item and after each item.
        left = std::ceil((width() - total) / 2);
        for (int i = 0; i < toolbarItems_.size(); ++i) {
            QWidget* item = toolbarItems_[i];
            const double w = item->width();
            item->move(qRound(left), itemTop(item));
            if (i == 0) {
                delimiterOffsets_.append(std::ceil(left) - 1);
            }
            delimiterOffsets_.append(std::ceil(left + w));
            left += std::ceil(w) + s;
        }
    }
}

bool CNSplitViewToolbar::containsSubView(const QWidget* view) const
{
    return view != nullptr && view->parentWidget() == this;
}

bool CNSplitViewToolbar::isAttachedToEnclosingSplitViewLastSubview() const
{
    const std::optional<uint64_t> index = delegate_ != nullptr
        ? delegate_->toolbarAttachedSubviewIndex(const_cast<CNSplitViewToolbar*>(this))
        : std::nullopt;
    return index && enclosingSplitView_ && enclosingSplitView_->count() > 0
        && *index == static_cast<uint64_t>(enclosingSplitView_->count() - 1);
}

bool CNSplitViewToolbar::isDraggingHandleEnabled() const
{
    const CNSplitView* splitView = enclosingSplitView();
    if (splitView == nullptr || isAttachedToEnclosingSplitViewLastSubview() || !splitView->isDraggingHandleEnabled()) {
        return false;
    }
    if (!splitView->isVertical()) {
        return anchorEdge_ == 1;
    }
    return splitView->attachedSubviewIndex() == 0;
}

void CNSplitViewToolbar::setAnchorEdge(int64_t edge)
{
    anchorEdge_ = edge;
    if (edge == 2) {
        for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
            child->move(child->x(), child->y() - 1);
        }
    }
}

void CNSplitViewToolbar::setItemDelimiterEnabled(bool enabled)
{
    itemDelimiterEnabled_ = enabled;
    previousToolbarRect_ = QRect();
    update();
}

void CNSplitViewToolbar::setContentAlign(int64_t align)
{
    contentAlign_ = align;
    previousToolbarRect_ = QRect();
    update();
}

void CNSplitViewToolbar::injectEnclosingSplitView(const Notification& notification)
{
    // Only the toolbar being attached takes the posting split view.
    if (notification.userInfo.value(QStringLiteral("toolbar")).value<QObject*>() != this) {
        return;
    }
    auto* splitView = static_cast<CNSplitView*>(const_cast<void*>(notification.sender));
    enclosingSplitView_ = splitView;
}

void CNSplitViewToolbar::draggingHandleEnableDisable(bool enabled)
{
    delete draggingHandle_;
    const CNSplitView* splitView = enclosingSplitView();
    if (enabled && splitView != nullptr
        && (splitView->isVertical() || (anchorEdge_ == 1 && !isAttachedToEnclosingSplitViewLastSubview()))) {
        auto* handle = new CNSplitViewDraggingHandle(this);
        handle->setVertical(splitView->isVertical());
        // Zero-sized until the split view asks for the divider's extra area.
        handle->setGeometry(QRect());
        handle->show();
        draggingHandle_ = handle;
    }
    recalculateItemPositions();
    update();
}

QRect CNSplitViewToolbar::additionalEffectiveRectOfDividerAtIndex(CNSplitView* splitView, int dividerIndex)
{
    QWidget* pane = splitView != nullptr ? splitView->widget(dividerIndex) : nullptr;
    if (pane == nullptr || !draggingHandle_ || !isDraggingHandleEnabled()) {
        return QRect();
    }
    const int w = handleWidth();
    const int y = anchorEdge_ == 2 ? 0 : 1;
    draggingHandle_->setGeometry(pane->width() - w, y, w, QWidget::height());
    return QRect(draggingHandle_->mapTo(splitView, QPoint(0, 0)), draggingHandle_->size());
}

QColor CNSplitViewToolbar::lookColor(double white, double alpha, bool active)
{
    const double level = active ? white : white + (1.0 - white) * inactiveHighlight;
    return QColor::fromRgbF(
        static_cast<float>(level), static_cast<float>(level), static_cast<float>(level), static_cast<float>(alpha));
}

void CNSplitViewToolbar::layoutIfNeeded()
{
    if (rect() != previousToolbarRect_) {
        recalculateItemPositions();
        previousToolbarRect_ = rect();
    }
}

void CNSplitViewToolbar::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutIfNeeded();
}

void CNSplitViewToolbar::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange) {
        windowStatusChanged();
    }
    QWidget::changeEvent(event);
}

void CNSplitViewToolbar::paintEvent(QPaintEvent*)
{
    const bool active = isActiveWindow();
    QPainter painter(this);
    const QRectF bounds = rect();
    QLinearGradient background = upwardGradient(bounds);
    background.setColorAt(0.0, lookColor(0.75, 1.0, active));
    background.setColorAt(1.0, lookColor(0.95, 1.0, active));
    painter.fillRect(bounds, background);
    // The border runs along the side facing the pane: the top row of a bottom
    // toolbar, the last row of a top one.
    painter.fillRect(
        QRectF(0, anchorEdge_ == 2 ? bounds.height() - 1 : 0, bounds.width(), 1), lookColor(0.5, 1.0, active));
    layoutIfNeeded();
    drawItemDelimiter(painter, active);
}

void CNSplitViewToolbar::drawItemDelimiter(QPainter& painter, bool active) const
{
    if (!itemDelimiterEnabled_) {
        return;
    }
    const double top = anchorEdge_ == 1 ? 1 : 0;
    for (const double offset : delimiterOffsets_) {
        const QRectF line(offset, top, delimiterWidth, QWidget::height() - 1);
        QLinearGradient gradient = upwardGradient(line);
        gradient.setColorAt(0.0, lookColor(0.75, 0.1, active));
        gradient.setColorAt(0.1, lookColor(0.78, 0.5, active));
        gradient.setColorAt(0.5, lookColor(0.42, 1.0, active));
        gradient.setColorAt(0.9, lookColor(0.78, 0.5, active));
        gradient.setColorAt(1.0, lookColor(0.75, 0.1, active));
        painter.fillRect(line, gradient);
    }
}
