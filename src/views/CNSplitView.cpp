#include "views/CNSplitView.h"

#include "foundation/NotificationHub.h"
#include "views/CNSplitViewDelegate.h"
#include "views/CNSplitViewToolbar.h"

#include <QEasingCurve>
#include <QEvent>
#include <QLoggingCategory>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>
#include <QResizeEvent>
#include <QTimer>

Q_LOGGING_CATEGORY(lcSplitView, "lumetta.views.splitview")

namespace {

// Frames are reasoned about with y growing upwards inside the toolbar
// container; this turns such a rectangle into the container's own coordinates
// (and back: the formula is its own inverse).
QRect flipped(const QRect& rect, int containerHeight)
{
    return QRect(rect.x(), containerHeight - rect.y() - rect.height(), rect.width(), rect.height());
}

QVariantMap toolbarEventInfo(CNSplitViewToolbar* toolbar, int64_t edge)
{
    return {{QStringLiteral("toolbar"), QVariant::fromValue(static_cast<QObject*>(toolbar))},
        {QStringLiteral("edge"), QVariant::fromValue(static_cast<qlonglong>(edge))}};
}

} // namespace

CNSplitView::CNSplitView(QWidget* parent)
    : QSplitter(parent)
    , dividerColor_(QColor::fromRgbF(0.5f, 0.5f, 0.5f, 1.0f))
{
    connect(this, &QSplitter::splitterMoved, this, [this] { updateDividers(); });
}

CNSplitView::~CNSplitView() = default;

void CNSplitView::attachToolbar(CNSplitViewToolbar* toolbar, int paneIndex, int64_t edge)
{
    QWidget* pane = widget(paneIndex);
    if (toolbar == nullptr || pane == nullptr) {
        qCWarning(lcSplitView) << "no toolbar or no pane at index" << paneIndex << "to attach to";
        return;
    }
    NotificationHub::defaultHub().post(QStringLiteral("InjectReference"), this,
        {{QStringLiteral("toolbar"), QVariant::fromValue(static_cast<QObject*>(toolbar))}});

    attachedSubviewIndex_ = static_cast<uint64_t>(paneIndex);
    anchoredView_ = pane;
    const QSize paneSize = pane->size();

    auto* container = new QWidget;
    container->resize(paneSize);
    replaceWidget(paneIndex, container);
    toolbarContainer_ = container;

    toolbar_ = toolbar;
    toolbar->setDelegate(this);
    toolbar->setAnchorEdge(edge);

    // Hidden means just outside the container: below it for edge 1, above it otherwise.
    const int toolbarHeight = qRound(toolbar->height());
    const int hiddenY = edge == 1 ? paneSize.height() : -toolbarHeight;
    toolbar->setParent(container);
    toolbar->setGeometry(0, hiddenY, paneSize.width(), toolbarHeight);
    pane->setParent(container);
    pane->setGeometry(0, 0, paneSize.width(), paneSize.height());
    toolbar->show();
    pane->show();
    pane->raise();
    container->installEventFilter(this);
    updateDividers();
}

void CNSplitView::showToolbarAnimated(bool animated)
{
    Q_ASSERT_X(toolbar_, "CNSplitView::showToolbarAnimated", "a toolbar must be attached before it is shown");
    if (!toolbar_ || !anchoredView_ || !toolbarContainer_) {
        qCWarning(lcSplitView) << "a toolbar must be attached before it is shown";
        return;
    }
    runToolbarAnimation(true, animated);
}

void CNSplitView::hideToolbarAnimated(bool animated)
{
    if (!toolbar_ || !anchoredView_ || !toolbarContainer_) {
        return;
    }
    runToolbarAnimation(false, animated);
}

void CNSplitView::toggleToolbarAnimated(bool animated)
{
    if (toolbarIsVisible_) {
        hideToolbarAnimated(animated);
    } else {
        showToolbarAnimated(animated);
    }
}

void CNSplitView::runToolbarAnimation(bool show, bool animated)
{
    if (animationIsRunning_) {
        return;
    }
    animationIsRunning_ = true;
    const int64_t edge = toolbar_->anchorEdge();
    if (show) {
        splitViewWillShowToolbar(this, toolbar_, edge);
    } else {
        splitViewWillHideToolbar(this, toolbar_, edge);
    }

    const int containerHeight = toolbarContainer_->height();
    const QRect pane = flipped(anchoredView_->geometry(), containerHeight);
    const int t = qRound(toolbar_->height());
    QRect paneTarget;
    int toolbarY = 0;
    if (show) {
        paneTarget = QRect(pane.x(), edge == 1 ? pane.y() + t : 0, pane.width(), pane.height() - t);
        toolbarY = edge == 1 ? 0 : pane.height() - t;
    } else {
        paneTarget = QRect(pane.x(), edge == 1 ? pane.y() - t : 0, pane.width(), pane.height() + t);
        toolbarY = edge == 1 ? -t : pane.height() + t;
    }
    const int duration = animated ? animationDurationMs : 0;
    auto* group = new QParallelAnimationGroup(this);
    auto* paneAnimation = new QPropertyAnimation(anchoredView_, "geometry", group);
    paneAnimation->setEndValue(flipped(paneTarget, containerHeight));
    auto* toolbarAnimation = new QPropertyAnimation(toolbar_, "pos", group);
    toolbarAnimation->setEndValue(QPoint(toolbar_->x(), containerHeight - toolbarY - t));
    for (QPropertyAnimation* animation : {paneAnimation, toolbarAnimation}) {
        animation->setDuration(duration);
        animation->setEasingCurve(QEasingCurve::Linear);
        group->addAnimation(animation);
    }
    connect(group, &QAbstractAnimation::finished, this, [this, show, group] {
        group->deleteLater();
        toolbarIsVisible_ = show;
        animationIsRunning_ = false;
        updateDividers();
        CNSplitViewToolbar* toolbar = toolbar_;
        const int64_t edgeNow = toolbar != nullptr ? toolbar->anchorEdge() : 0;
        if (show) {
            splitViewDidShowToolbar(this, toolbar, edgeNow);
        } else {
            splitViewDidHideToolbar(this, toolbar, edgeNow);
        }
    });
    // Even without animation the end comes from the group, one event-loop turn later.
    if (duration == 0) {
        QTimer::singleShot(0, group, [group] { group->start(); });
    } else {
        group->start();
    }
}

void CNSplitView::setDraggingHandleEnabled(bool enabled)
{
    draggingHandleEnabled_ = enabled;
    NotificationHub::defaultHub().post(
        QStringLiteral("DraggingHandleEnableDisableNotification"), this, {{QStringLiteral("enabled"), enabled}});
    updateDividers();
}

void CNSplitView::setVertical(bool vertical)
{
    setOrientation(vertical ? Qt::Horizontal : Qt::Vertical);
    refresh();
    NotificationHub::defaultHub().post(QStringLiteral("DraggingHandleEnableDisableNotification"), this,
        {{QStringLiteral("enabled"), draggingHandleEnabled_}});
    updateDividers();
}

void CNSplitView::setDelegate(CNSplitViewDelegate* delegate)
{
    secondaryDelegate_ = delegate;
    ownDelegate_ = true;
    updateDividers();
}

void CNSplitView::adjustRectForNeighbourView(QWidget* view, double height, int64_t edge)
{
    if (view == nullptr) {
        return;
    }
    const int parentHeight = view->parentWidget() != nullptr ? view->parentWidget()->height() : view->height();
    QRect frame = flipped(view->geometry(), parentHeight);
    const int h = qRound(height);
    frame.setHeight(frame.height() - h);
    if (edge == 1) {
        frame.moveTop(frame.y() + h);
    }
    view->setGeometry(flipped(frame, parentHeight));
}

std::optional<uint64_t> CNSplitView::toolbarAttachedSubviewIndex(CNSplitViewToolbar*)
{
    return attachedSubviewIndex_;
}

// Posted first, then passed to the toolbar delegate.
void CNSplitView::reportToolbarEvent(const QString& name, ToolbarEvent event, CNSplitViewToolbar* toolbar, int64_t edge)
{
    NotificationHub::defaultHub().post(name, this, toolbarEventInfo(toolbar, edge));
    if (toolbarDelegate_ != nullptr) {
        (toolbarDelegate_->*event)(this, toolbar, edge);
    }
}

void CNSplitView::splitViewWillShowToolbar(CNSplitView*, CNSplitViewToolbar* toolbar, int64_t edge)
{
    reportToolbarEvent(QStringLiteral("SplitViewWillShowToolbar"),
        &CNSplitViewToolbarDelegate::splitViewWillShowToolbar, toolbar, edge);
}

void CNSplitView::splitViewDidShowToolbar(CNSplitView*, CNSplitViewToolbar* toolbar, int64_t edge)
{
    reportToolbarEvent(
        QStringLiteral("SplitViewDidShowToolbar"), &CNSplitViewToolbarDelegate::splitViewDidShowToolbar, toolbar, edge);
}

void CNSplitView::splitViewWillHideToolbar(CNSplitView*, CNSplitViewToolbar* toolbar, int64_t edge)
{
    reportToolbarEvent(QStringLiteral("SplitViewWillHideToolbar"),
        &CNSplitViewToolbarDelegate::splitViewWillHideToolbar, toolbar, edge);
}

void CNSplitView::splitViewDidHideToolbar(CNSplitView*, CNSplitViewToolbar* toolbar, int64_t edge)
{
    reportToolbarEvent(
        QStringLiteral("SplitViewDidHideToolbar"), &CNSplitViewToolbarDelegate::splitViewDidHideToolbar, toolbar, edge);
}

std::optional<QRect> CNSplitView::additionalEffectiveRectOfDividerAtIndex(CNSplitView*, int dividerIndex)
{
    return additionalEffectiveRectOfDividerAtIndex(dividerIndex);
}

void CNSplitView::resizeEvent(QResizeEvent* event)
{
    const QList<int> oldSizes = sizes();
    if (ownDelegate_) {
        if (const std::optional<QList<int>> answer = resizeSubviewsWithOldSize(event->oldSize())) {
            QSplitter::resizeEvent(event);
            setSizes(*answer);
            updateDividers();
            return;
        }
    }
    QSplitter::resizeEvent(event);
    if (ownDelegate_) {
        keepUnadjustablePanes(oldSizes);
    }
    updateDividers();
}

// Panes the delegate does not want resized keep their size; the others share
// the change in proportion to their size.
void CNSplitView::keepUnadjustablePanes(const QList<int>& oldSizes)
{
    QList<int> newSizes = sizes();
    if (oldSizes.size() != newSizes.size() || oldSizes.isEmpty()) {
        return;
    }
    QList<int> adjustable;
    int adjustableTotal = 0;
    for (int i = 0; i < count(); ++i) {
        if (!widget(i)->isHidden() && shouldAdjustSizeOfSubview(widget(i))) {
            adjustable.append(i);
            adjustableTotal += oldSizes[i];
        }
    }
    if (adjustable.isEmpty() || adjustable.size() == count()) {
        return;
    }
    int delta = 0;
    for (int i = 0; i < count(); ++i) {
        delta += newSizes[i] - oldSizes[i];
    }
    QList<int> result = oldSizes;
    int given = 0;
    for (int k = 0; k < adjustable.size(); ++k) {
        const int i = adjustable[k];
        const bool last = k == adjustable.size() - 1;
        const int share = last ? delta - given
                               : (adjustableTotal > 0 ? delta * oldSizes[i] / adjustableTotal
                                                      : delta / static_cast<int>(adjustable.size()));
        given += share;
        result[i] = std::max(0, oldSizes[i] + share);
    }
    setSizes(result);
}

bool CNSplitView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == toolbarContainer_ && event->type() == QEvent::Resize) {
        const auto* resize = static_cast<QResizeEvent*>(event);
        if (resize->oldSize().isValid()) {
            autoresizeContainer(resize->oldSize(), resize->size());
        }
    }
    return QSplitter::eventFilter(watched, event);
}

// The pane follows the container's size; the toolbar follows its width and
// keeps its distance to the container edge it is anchored to.
void CNSplitView::autoresizeContainer(const QSize& oldSize, const QSize& newSize)
{
    const int dw = newSize.width() - oldSize.width();
    const int dh = newSize.height() - oldSize.height();
    if (anchoredView_ && anchoredView_->parentWidget() == toolbarContainer_) {
        const QRect pane = anchoredView_->geometry();
        anchoredView_->setGeometry(pane.x(), pane.y(), pane.width() + dw, pane.height() + dh);
    }
    if (toolbar_ && toolbar_->parentWidget() == toolbarContainer_) {
        const QRect bar = toolbar_->geometry();
        const int y = toolbar_->anchorEdge() == 1 ? bar.y() + dh : bar.y();
        toolbar_->setGeometry(bar.x(), y, bar.width() + dw, bar.height());
    }
}
