#pragma once

#include <QSplitter>

class QVariantAnimation;
class DMSplitView;

// Hears of the split view's collapsing and expanding.
class DMSplitViewDelegate {
public:
    virtual ~DMSplitViewDelegate() = default;
    // `animating` NO when a collapse or expansion has come to its end.
    virtual void splitViewIsAnimating(DMSplitView* /*splitView*/, bool /*animating*/) { }
    // The pane at `index` was collapsed (true) or expanded by the user's drag.
    virtual void splitViewSubviewStateChanged(DMSplitView* /*splitView*/, int /*index*/, bool /*collapsed*/) { }
};

// The main window's two panes: the photo list on the left, the tab pane on
// the right. The divider is dark grey with a handle; the left pane keeps at
// least 373 px and the right 545 px, the right pane takes the extra width,
// and either pane can be collapsed. The left pane collapses and expands with
// an animation on the sizes.
class DMSplitView : public QSplitter {
    Q_OBJECT
public:
    static constexpr int kMinimumLeft = 373;
    static constexpr int kMinimumRight = 545;

    explicit DMSplitView(QWidget* parent = nullptr);
    ~DMSplitView() override;

    // Not owned; clear it when the delegate goes.
    void setEventsDelegate(DMSplitViewDelegate* delegate) { delegate_ = delegate; }
    // Off: collapsing and expanding happen at once (tests, reduced motion).
    static void setAnimationsEnabled(bool enabled);

    bool isSubviewCollapsed(int index) const;
    // Collapses pane 0 when it is open, else expands it to its last width.
    void toggleSubviewZero();

protected:
    QSplitterHandle* createHandle() override;

private:
    void animateSubviewZero(int from, int to);
    void animationEnded();
    void userMovedSplitter();

    DMSplitViewDelegate* delegate_ = nullptr;
    QVariantAnimation* animation_ = nullptr;
    int lastOpenWidth_ = kMinimumLeft;
    bool lastCollapsed_ = false;
};
