#pragma once

#include "views/CNSplitViewDraggingHandle.h"
#include "views/CNSplitViewToolbarDelegate.h"

#include <QColor>
#include <QList>
#include <QPointer>
#include <QRect>
#include <QSplitter>
#include <QWidget>

#include <cstdint>

class CNSplitView;
class CNSplitViewToolbarButton;
struct Notification;

// The thin strip a CNSplitView attaches to one of its panes: items laid out from
// the left and right (or centred), a grey gradient with a one-pixel border and
// one-pixel separators, toned down while its window is inactive, and an optional
// grip at its right end that drags the split view's divider.
//
// Edge 1 puts the toolbar below the pane (border along its top), every other
// edge above it (border along its bottom).
class CNSplitViewToolbar : public QWidget {
    Q_OBJECT
public:
    static constexpr double defaultHeight = 24.0;
    static constexpr double delimiterWidth = 1.0;
    static constexpr int handleWidthVertical = 17;
    static constexpr int handleWidthHorizontal = 25;

    explicit CNSplitViewToolbar(QWidget* parent = nullptr);
    ~CNSplitViewToolbar() override;

    // Per-item settings, kept on the item itself: 0 left, 1 right; a minimum width.
    static int64_t toolbarItemAlign(const QWidget* item);
    static void setToolbarItemAlign(QWidget* item, int64_t align);
    static double toolbarItemWidth(const QWidget* item);
    static void setToolbarItemWidth(QWidget* item, double width);

    // The toolbar owns its items; removed items go back, unparented, to whoever keeps them.
    void addItem(QWidget* item, int64_t align);
    void removeItem(QWidget* item);
    void removeAllItems();
    // Enable or disable every toolbar button of the process.
    void enable();
    void disable();

    QSize sizeForToolbarButton(const CNSplitViewToolbarButton* button) const;
    QSize sizeForToolbarItem(const QWidget* item) const;
    void recalculateItemPositions();
    bool containsSubView(const QWidget* view) const;
    bool isDraggingHandleEnabled() const;
    bool isAttachedToEnclosingSplitViewLastSubview() const;

    double height() const { return height_; }
    void setHeight(double height) { height_ = height; }
    int64_t anchorEdge() const { return anchorEdge_; }
    void setAnchorEdge(int64_t edge);
    bool isItemDelimiterEnabled() const { return itemDelimiterEnabled_; }
    void setItemDelimiterEnabled(bool enabled);
    int64_t contentAlign() const { return contentAlign_; }
    void setContentAlign(int64_t align);
    CNSplitViewToolbarDelegate* delegate() const { return delegate_; }
    void setDelegate(CNSplitViewToolbarDelegate* delegate) { delegate_ = delegate; }

    const QList<QWidget*>& toolbarItems() const { return toolbarItems_; }
    // x positions of the separators of the last layout.
    const QList<double>& delimiterOffsets() const { return delimiterOffsets_; }
    CNSplitView* enclosingSplitView() const;
    CNSplitViewDraggingHandle* draggingHandle() const { return draggingHandle_; }

    // Repaints in the look of the window's new state.
    void windowStatusChanged() { update(); }
    // Rebuilds the grip after the split view switched it on or off.
    void draggingHandleEnableDisable(bool enabled);
    // Places the grip for a divider of the split view and answers its area in
    // the split view's coordinates (empty while no grip is wanted).
    QRect additionalEffectiveRectOfDividerAtIndex(CNSplitView* splitView, int dividerIndex);

    // The look, toned down for an inactive window.
    static QColor lookColor(double white, double alpha, bool active);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void injectEnclosingSplitView(const Notification& notification);
    void layoutIfNeeded();
    void drawItemDelimiter(class QPainter& painter, bool active) const;
    int itemTop(const QWidget* item) const;
    int handleWidth() const;

    double height_ = defaultHeight;
    int64_t anchorEdge_ = 0;
    bool itemDelimiterEnabled_ = true;
    int64_t contentAlign_ = 0;
    QList<QWidget*> toolbarItems_;
    QRect previousToolbarRect_;
    QList<double> delimiterOffsets_;
    QPointer<QSplitter> enclosingSplitView_;
    QPointer<CNSplitViewDraggingHandle> draggingHandle_;
    CNSplitViewToolbarDelegate* delegate_ = nullptr;
};
