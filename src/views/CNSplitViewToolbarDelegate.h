#pragma once

#include <QRect>

#include <cstdint>
#include <optional>

class CNSplitView;
class CNSplitViewToolbar;

// What a split-view toolbar asks of the split view that attached it, and the
// events a split view reports about its toolbar. Every operation does nothing or
// answers nothing unless a subclass overrides it.
class CNSplitViewToolbarDelegate {
public:
    virtual ~CNSplitViewToolbarDelegate() = default;

    // The index of the pane that carries the toolbar.
    virtual std::optional<uint64_t> toolbarAttachedSubviewIndex(CNSplitViewToolbar*) { return std::nullopt; }
    virtual void splitViewWillShowToolbar(CNSplitView*, CNSplitViewToolbar*, int64_t) { }
    virtual void splitViewDidShowToolbar(CNSplitView*, CNSplitViewToolbar*, int64_t) { }
    virtual void splitViewWillHideToolbar(CNSplitView*, CNSplitViewToolbar*, int64_t) { }
    virtual void splitViewDidHideToolbar(CNSplitView*, CNSplitViewToolbar*, int64_t) { }
    virtual std::optional<QRect> additionalEffectiveRectOfDividerAtIndex(CNSplitView*, int) { return std::nullopt; }
};
