#pragma once

#include <QModelIndex>

#include <optional>

class GSStickyRowOutlineView;

// The questions a sticky-row outline asks about its items; the same rules as
// for tables: not owned, an empty answer means "does not answer", and the
// sticky question wins over the group question when it is answered.
class GSStickyRowOutlineViewDelegate {
public:
    virtual ~GSStickyRowOutlineViewDelegate() = default;

    virtual std::optional<bool> outlineViewIsStickyItem(
        const GSStickyRowOutlineView* outlineView, const QModelIndex& item) const
    {
        (void)outlineView;
        (void)item;
        return std::nullopt;
    }

    virtual std::optional<bool> outlineViewIsGroupItem(
        const GSStickyRowOutlineView* outlineView, const QModelIndex& item) const
    {
        (void)outlineView;
        (void)item;
        return std::nullopt;
    }
};
