#pragma once

#include "views/CNSplitViewToolbar.h"
#include "views/CNSplitViewToolbarDelegate.h"

#include <QColor>
#include <QPointer>
#include <QSplitter>

#include <cstdint>
#include <limits>

class CNSplitViewDelegate;
class QParallelAnimationGroup;

// A splitter that can carry a toolbar strip along the bottom (edge 1) or top
// (any other edge) of one pane; the toolbar slides in and out while the pane
// shrinks or grows by its height. Once setDelegate() was called the split view
// asks that delegate about its dividers and falls back to neutral answers
// where it does not answer. Toolbar events are posted on the default
// notification hub and then passed to the toolbar delegate.
//
// "Vertical" means panes side by side (Qt::Horizontal orientation).
class CNSplitView : public QSplitter, public CNSplitViewToolbarDelegate {
    Q_OBJECT
public:
    static constexpr uint64_t notFound = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    static constexpr int animationDurationMs = 100;

    explicit CNSplitView(QWidget* parent = nullptr);
    ~CNSplitView() override;

    void attachToolbar(CNSplitViewToolbar* toolbar, int paneIndex, int64_t edge);
    void showToolbarAnimated(bool animated);
    void hideToolbarAnimated(bool animated);
    void toggleToolbarAnimated(bool animated);

    QColor dividerColor() const { return dividerColor_; }
    void setDeviderColor(const QColor& color) { dividerColor_ = color; }
    bool isDraggingHandleEnabled() const { return draggingHandleEnabled_; }
    void setDraggingHandleEnabled(bool enabled);
    bool isVertical() const { return orientation() == Qt::Horizontal; }
    void setVertical(bool vertical);
    // Routes the divider questions through this split view to `delegate`.
    void setDelegate(CNSplitViewDelegate* delegate);
    bool isOwnDelegate() const { return ownDelegate_; }
    CNSplitViewDelegate* secondaryDelegate() const { return secondaryDelegate_; }
    void setSecondaryDelegate(CNSplitViewDelegate* delegate) { secondaryDelegate_ = delegate; }
    CNSplitViewToolbarDelegate* toolbarDelegate() const { return toolbarDelegate_; }
    void setToolbarDelegate(CNSplitViewToolbarDelegate* delegate) { toolbarDelegate_ = delegate; }
    uint64_t attachedSubviewIndex() const { return attachedSubviewIndex_; }
    CNSplitViewToolbar* toolbar() const { return toolbar_; }
    QWidget* toolbarContainer() const { return toolbarContainer_; }
    QWidget* anchoredView() const { return anchoredView_; }
    bool toolbarIsVisible() const { return toolbarIsVisible_; }
    bool animationIsRunning() const { return animationIsRunning_; }

    // Shrinks `view` by `height`, keeping its top for edge 1 and its bottom otherwise.
    static void adjustRectForNeighbourView(QWidget* view, double height, int64_t edge);

    // The divider answers: the delegate's when it gives one, else the neutral one.
    QRect additionalEffectiveRectOfDividerAtIndex(int dividerIndex);
    double constrainMinCoordinate(double proposed, int dividerIndex);
    double constrainMaxCoordinate(double proposed, int dividerIndex);
    bool canCollapseSubview(QWidget* pane);
    bool shouldCollapseSubviewForDoubleClickOnDividerAtIndex(QWidget* pane, int dividerIndex);
    double constrainSplitPosition(double proposed, int dividerIndex);
    std::optional<QList<int>> resizeSubviewsWithOldSize(QSize oldSize);
    bool shouldAdjustSizeOfSubview(QWidget* pane);
    bool shouldHideDividerAtIndex(int dividerIndex);
    QRect effectiveRectForDrawnRect(QRect proposed, QRect drawn, int dividerIndex);

    // Moves divider `dividerIndex` towards `position` within the delegate's limits.
    void dragDivider(int dividerIndex, int position);
    // Collapses a pane next to the divider when the delegate asks for it.
    void collapseForDoubleClick(int dividerIndex);

    // Toolbar delegate: answers for the attached toolbar and reports its events.
    std::optional<uint64_t> toolbarAttachedSubviewIndex(CNSplitViewToolbar* toolbar) override;
    void splitViewWillShowToolbar(CNSplitView* splitView, CNSplitViewToolbar* toolbar, int64_t edge) override;
    void splitViewDidShowToolbar(CNSplitView* splitView, CNSplitViewToolbar* toolbar, int64_t edge) override;
    void splitViewWillHideToolbar(CNSplitView* splitView, CNSplitViewToolbar* toolbar, int64_t edge) override;
    void splitViewDidHideToolbar(CNSplitView* splitView, CNSplitViewToolbar* toolbar, int64_t edge) override;
    std::optional<QRect> additionalEffectiveRectOfDividerAtIndex(CNSplitView* splitView, int dividerIndex) override;

protected:
    QSplitterHandle* createHandle() override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void runToolbarAnimation(bool show, bool animated);
    using ToolbarEvent = void (CNSplitViewToolbarDelegate::*)(CNSplitView*, CNSplitViewToolbar*, int64_t);
    void reportToolbarEvent(const QString& name, ToolbarEvent event, CNSplitViewToolbar* toolbar, int64_t edge);
    void autoresizeContainer(const QSize& oldSize, const QSize& newSize);
    void keepUnadjustablePanes(const QList<int>& oldSizes);
    void updateDividers();

    QColor dividerColor_;
    bool draggingHandleEnabled_ = false;
    QPointer<QWidget> toolbarContainer_;
    QPointer<QWidget> anchoredView_;
    QPointer<CNSplitViewToolbar> toolbar_;
    bool toolbarIsVisible_ = false;
    bool animationIsRunning_ = false;
    CNSplitViewToolbarDelegate* toolbarDelegate_ = nullptr;
    CNSplitViewDelegate* secondaryDelegate_ = nullptr;
    bool ownDelegate_ = false;
    uint64_t attachedSubviewIndex_ = notFound;
};
