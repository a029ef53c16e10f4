// The split view's dividers: the answers that stand in for a missing delegate
// answer, and the divider handle that consults them.
#include "views/CNSplitView.h"

#include "views/CNSplitViewDelegate.h"
#include "views/CNSplitViewToolbar.h"

#include <QMouseEvent>
#include <QSplitterHandle>

#include <algorithm>

namespace {

// A divider that asks the split view before it moves or collapses a pane, once
// the split view has a delegate; until then it behaves like any splitter handle.
class DividerHandle : public QSplitterHandle {
public:
    DividerHandle(Qt::Orientation orientation, CNSplitView* splitView)
        : QSplitterHandle(orientation, splitView)
        , splitView_(splitView)
    {
    }

    // The splitter shows its handles again whenever it lays out; a divider the
    // delegate wants hidden stays hidden.
    void setVisible(bool visible) override
    {
        const int divider = dividerIndex();
        const bool hidden
            = splitView_->isOwnDelegate() && divider >= 0 && splitView_->shouldHideDividerAtIndex(divider);
        QSplitterHandle::setVisible(visible && !hidden);
    }

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        if (!splitView_->isOwnDelegate()) {
            QSplitterHandle::mousePressEvent(event);
            return;
        }
        const int divider = dividerIndex();
        const QPoint inSplitView = splitView_->mapFromGlobal(event->globalPosition()).toPoint();
        const QRect drawn(mapTo(splitView_, QPoint(0, 0)), size());
        const bool onDivider = splitView_->effectiveRectForDrawnRect(drawn, drawn, divider).contains(inSplitView)
            || splitView_->additionalEffectiveRectOfDividerAtIndex(divider).contains(inSplitView);
        if (divider < 0 || event->button() != Qt::LeftButton || !onDivider) {
            event->ignore();
            return;
        }
        pressed_ = true;
        mouseOffset_ = pick(event->position().toPoint());
        event->accept();
    }

    void mouseMoveEvent(QMouseEvent* event) override
    {
        if (!splitView_->isOwnDelegate()) {
            QSplitterHandle::mouseMoveEvent(event);
            return;
        }
        if (!pressed_ || !(event->buttons() & Qt::LeftButton)) {
            return;
        }
        const QPoint inSplitView = splitView_->mapFromGlobal(event->globalPosition()).toPoint();
        splitView_->dragDivider(dividerIndex(), pick(inSplitView) - mouseOffset_);
    }

    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (!splitView_->isOwnDelegate()) {
            QSplitterHandle::mouseReleaseEvent(event);
            return;
        }
        pressed_ = false;
    }

    void mouseDoubleClickEvent(QMouseEvent* event) override
    {
        if (!splitView_->isOwnDelegate()) {
            QSplitterHandle::mouseDoubleClickEvent(event);
            return;
        }
        splitView_->collapseForDoubleClick(dividerIndex());
    }

private:
    int dividerIndex() const { return splitView_->indexOf(const_cast<DividerHandle*>(this)) - 1; }
    int pick(const QPoint& point) const { return orientation() == Qt::Horizontal ? point.x() : point.y(); }

    CNSplitView* splitView_;
    bool pressed_ = false;
    int mouseOffset_ = 0;
};

} // namespace

QSplitterHandle* CNSplitView::createHandle()
{
    return new DividerHandle(orientation(), this);
}

QRect CNSplitView::additionalEffectiveRectOfDividerAtIndex(int dividerIndex)
{
    return toolbar_ ? toolbar_->additionalEffectiveRectOfDividerAtIndex(this, dividerIndex) : QRect();
}

namespace {

// The delegate's answer to `question`, or `neutral` when it has none.
template <typename Question, typename Answer, typename... Args>
Answer ask(CNSplitViewDelegate* delegate, Question question, CNSplitView* splitView, Answer neutral, Args... args)
{
    return delegate != nullptr ? (delegate->*question)(splitView, args...).value_or(neutral) : neutral;
}

} // namespace

double CNSplitView::constrainMinCoordinate(double proposed, int dividerIndex)
{
    return ask(
        secondaryDelegate_, &CNSplitViewDelegate::constrainMinCoordinate, this, proposed, proposed, dividerIndex);
}

double CNSplitView::constrainMaxCoordinate(double proposed, int dividerIndex)
{
    return ask(
        secondaryDelegate_, &CNSplitViewDelegate::constrainMaxCoordinate, this, proposed, proposed, dividerIndex);
}

bool CNSplitView::canCollapseSubview(QWidget* pane)
{
    return ask(secondaryDelegate_, &CNSplitViewDelegate::canCollapseSubview, this, false, pane);
}

bool CNSplitView::shouldCollapseSubviewForDoubleClickOnDividerAtIndex(QWidget* pane, int dividerIndex)
{
    return ask(secondaryDelegate_, &CNSplitViewDelegate::shouldCollapseSubviewForDoubleClickOnDividerAtIndex, this,
        false, pane, dividerIndex);
}

double CNSplitView::constrainSplitPosition(double proposed, int dividerIndex)
{
    return ask(
        secondaryDelegate_, &CNSplitViewDelegate::constrainSplitPosition, this, proposed, proposed, dividerIndex);
}

std::optional<QList<int>> CNSplitView::resizeSubviewsWithOldSize(QSize oldSize)
{
    return secondaryDelegate_ ? secondaryDelegate_->resizeSubviewsWithOldSize(this, oldSize) : std::nullopt;
}

bool CNSplitView::shouldAdjustSizeOfSubview(QWidget* pane)
{
    return ask(secondaryDelegate_, &CNSplitViewDelegate::shouldAdjustSizeOfSubview, this, true, pane);
}

bool CNSplitView::shouldHideDividerAtIndex(int dividerIndex)
{
    return ask(secondaryDelegate_, &CNSplitViewDelegate::shouldHideDividerAtIndex, this, false, dividerIndex);
}

QRect CNSplitView::effectiveRectForDrawnRect(QRect proposed, QRect drawn, int dividerIndex)
{
    return ask(secondaryDelegate_, &CNSplitViewDelegate::effectiveRectForDrawnRect, this, proposed, proposed, drawn,
        dividerIndex);
}

void CNSplitView::dragDivider(int dividerIndex, int position)
{
    const int handleIndex = dividerIndex + 1;
    if (dividerIndex < 0 || handleIndex >= count()) {
        return;
    }
    setCollapsible(dividerIndex, canCollapseSubview(widget(dividerIndex)));
    setCollapsible(handleIndex, canCollapseSubview(widget(handleIndex)));
    int min = 0;
    int max = 0;
    getRange(handleIndex, &min, &max);
    const double low = constrainMinCoordinate(min, dividerIndex);
    const double high = std::max(low, constrainMaxCoordinate(max, dividerIndex));
    const double wanted = std::clamp(constrainSplitPosition(position, dividerIndex), low, high);
    moveSplitter(qRound(wanted), handleIndex);
}

void CNSplitView::collapseForDoubleClick(int dividerIndex)
{
    const int handleIndex = dividerIndex + 1;
    if (dividerIndex < 0 || handleIndex >= count()) {
        return;
    }
    for (const int paneIndex : {dividerIndex, handleIndex}) {
        QWidget* pane = widget(paneIndex);
        if (!canCollapseSubview(pane) || !shouldCollapseSubviewForDoubleClickOnDividerAtIndex(pane, dividerIndex)) {
            continue;
        }
        setCollapsible(paneIndex, true);
        int min = 0;
        int max = 0;
        getRange(handleIndex, &min, &max);
        moveSplitter(paneIndex == dividerIndex ? min : max, handleIndex);
        return;
    }
}

// Hidden dividers and the toolbar's grip area are only asked for once the
// split view answers its own divider questions.
void CNSplitView::updateDividers()
{
    if (!ownDelegate_) {
        return;
    }
    for (int divider = 0; divider + 1 < count(); ++divider) {
        QSplitterHandle* divide = handle(divider + 1);
        const bool hide = shouldHideDividerAtIndex(divider);
        if (hide && !divide->isHidden()) {
            divide->hide();
        } else if (!hide && divide->isHidden() && !widget(divider + 1)->isHidden()) {
            divide->show();
        }
        additionalEffectiveRectOfDividerAtIndex(divider);
    }
}
