#pragma once

class ENTabCell;

// Told about the tab bar's changes. Every operation has an empty default, so a
// delegate overrides only what it cares about. The cell given to
// tabDidClosed has left the bar already and lives until the call returns.
class ENTabBarViewDelegate {
public:
    virtual ~ENTabBarViewDelegate() = default;

    virtual void tabWillActive(ENTabCell* /*cell*/) { }
    virtual void tabDidActived(ENTabCell* /*cell*/) { }
    virtual void tabWillClose(ENTabCell* /*cell*/) { }
    virtual void tabDidClosed(ENTabCell* /*cell*/) { }
    virtual void tabWillBeCreated(ENTabCell* /*cell*/) { }
    virtual void tabDidBeCreated(ENTabCell* /*cell*/) { }
};
