#pragma once

#include <optional>

class GSStickyRowTableView;

// The questions a sticky-row table asks about its rows. The table does not own
// its delegate; whoever sets it clears it before going away. An empty answer
// means "does not answer", which is not the same as answering false: a
// delegate that answers the sticky question decides alone, otherwise the group
// question decides, otherwise no row is sticky.
class GSStickyRowTableViewDelegate {
public:
    virtual ~GSStickyRowTableViewDelegate() = default;

    virtual std::optional<bool> tableViewIsStickyRow(const GSStickyRowTableView* tableView, int row) const
    {
        (void)tableView;
        (void)row;
        return std::nullopt;
    }

    virtual std::optional<bool> tableViewIsGroupRow(const GSStickyRowTableView* tableView, int row) const
    {
        (void)tableView;
        (void)row;
        return std::nullopt;
    }
};
