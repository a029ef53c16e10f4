#pragma once

#include <QList>
#include <QRect>
#include <QSize>

#include <optional>

class CNSplitView;
class QWidget;

// The questions a split view passes on to the delegate its user set. Every
// question answers "no answer" (an empty optional) unless a subclass overrides
// it; the split view then falls back to its own neutral answer. Divider indexes
// count the dividers from 0 (divider i lies after pane i).
class CNSplitViewDelegate {
public:
    virtual ~CNSplitViewDelegate() = default;

    // Extra area that belongs to a divider (the split view asks its toolbar instead).
    virtual std::optional<QRect> additionalEffectiveRectOfDividerAtIndex(CNSplitView*, int) { return std::nullopt; }
    virtual std::optional<double> constrainMinCoordinate(CNSplitView*, double, int) { return std::nullopt; }
    virtual std::optional<double> constrainMaxCoordinate(CNSplitView*, double, int) { return std::nullopt; }
    virtual std::optional<bool> canCollapseSubview(CNSplitView*, QWidget*) { return std::nullopt; }
    virtual std::optional<bool> shouldCollapseSubviewForDoubleClickOnDividerAtIndex(CNSplitView*, QWidget*, int)
    {
        return std::nullopt;
    }
    virtual std::optional<double> constrainSplitPosition(CNSplitView*, double, int) { return std::nullopt; }
    // The pane sizes to take after the split view changed from `oldSize`.
    virtual std::optional<QList<int>> resizeSubviewsWithOldSize(CNSplitView*, QSize) { return std::nullopt; }
    virtual std::optional<bool> shouldAdjustSizeOfSubview(CNSplitView*, QWidget*) { return std::nullopt; }
    virtual std::optional<bool> shouldHideDividerAtIndex(CNSplitView*, int) { return std::nullopt; }
    // The mouse-sensitive rectangle of a divider, from the proposed one and the drawn one.
    virtual std::optional<QRect> effectiveRectForDrawnRect(CNSplitView*, QRect, QRect, int) { return std::nullopt; }
};
