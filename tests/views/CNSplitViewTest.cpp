#include "views/CNSplitView.h"
#include "views/CNSplitViewDelegate.h"
#include "views/CNSplitViewToolbar.h"
#include "views/CNSplitViewToolbarButton.h"

#include "foundation/NotificationHub.h"
#include "support/Gallery.h"
#include "support/Patience.h"
#include "support/QtPrinters.h"

#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QSplitterHandle>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

struct RecordedEvent {
    QString name;
    const void* sender = nullptr;
    QStringList keys;
    QObject* toolbar = nullptr;
    qlonglong edge = 0;
};

// Records the split view's toolbar notifications while it lives.
class EventRecorder {
public:
    EventRecorder()
    {
        for (const char* name : {"SplitViewWillShowToolbar", "SplitViewDidShowToolbar", "SplitViewWillHideToolbar",
                 "SplitViewDidHideToolbar"}) {
            NotificationHub::defaultHub().addObserver(this, QString::fromLatin1(name), [this](const Notification& n) {
                QStringList keys = n.userInfo.keys();
                keys.sort();
                events.append({n.name, n.sender, keys, n.userInfo.value(QStringLiteral("toolbar")).value<QObject*>(),
                    n.userInfo.value(QStringLiteral("edge")).toLongLong()});
            });
        }
    }
    ~EventRecorder() { NotificationHub::defaultHub().removeObserver(this); }
    QStringList names() const
    {
        QStringList result;
        for (const RecordedEvent& event : events) {
            result.append(event.name);
        }
        return result;
    }
    QList<RecordedEvent> events;
};

class ToolbarDelegateRecorder : public CNSplitViewToolbarDelegate {
public:
    void splitViewDidShowToolbar(CNSplitView*, CNSplitViewToolbar*, int64_t) override { calls.append("didShow"); }
    void splitViewDidHideToolbar(CNSplitView*, CNSplitViewToolbar*, int64_t) override { calls.append("didHide"); }
    QStringList calls;
};

// Answers only whether a pane may collapse, and counts how often it was asked.
class CollapseOnlyDelegate : public CNSplitViewDelegate {
public:
    std::optional<bool> canCollapseSubview(CNSplitView*, QWidget*) override
    {
        ++asked;
        return true;
    }
    int asked = 0;
};

// Answers whatever the test sets.
class ScriptedDelegate : public CNSplitViewDelegate {
public:
    std::optional<double> constrainMaxCoordinate(CNSplitView*, double, int) override { return maxCoordinate; }
    std::optional<bool> canCollapseSubview(CNSplitView*, QWidget*) override { return true; }
    std::optional<bool> shouldCollapseSubviewForDoubleClickOnDividerAtIndex(CNSplitView*, QWidget* pane, int) override
    {
        return pane == collapseOnDoubleClick;
    }
    std::optional<QList<int>> resizeSubviewsWithOldSize(CNSplitView*, QSize) override { return sizes; }
    std::optional<bool> shouldAdjustSizeOfSubview(CNSplitView*, QWidget* pane) override { return pane != fixedPane; }
    std::optional<bool> shouldHideDividerAtIndex(CNSplitView*, int) override { return hideDivider; }
    std::optional<double> maxCoordinate;
    QWidget* collapseOnDoubleClick = nullptr;
    std::optional<QList<int>> sizes;
    QWidget* fixedPane = nullptr;
    bool hideDivider = false;
};

// Two stacked (or side-by-side) panes with a minimum size, shown offscreen.
struct SplitFixture {
    explicit SplitFixture(Qt::Orientation orientation, QSize size = QSize(200, 400))
    {
        split.setOrientation(orientation);
        for (QWidget* pane : {first, second}) {
            pane->setMinimumSize(50, 50);
            pane->setAutoFillBackground(true);
            split.addWidget(pane);
        }
        second->setPalette(QPalette(QColor(250, 250, 250)));
        first->setPalette(QPalette(QColor(255, 255, 255)));
        split.resize(size);
        split.show();
        QApplication::processEvents();
    }
    ~SplitFixture()
    {
        if (toolbar->parent() == nullptr) {
            delete toolbar;
        }
    }
    void attach(int64_t edge, int pane = 0)
    {
        split.attachToolbar(toolbar, pane, edge);
        QApplication::processEvents();
    }
    void waitForAnimation()
    {
        ASSERT_TRUE(QTest::qWaitFor([this] { return !split.animationIsRunning(); }, kPatientMs));
    }
    CNSplitView split;
    QWidget* first = new QWidget;
    QWidget* second = new QWidget;
    CNSplitViewToolbar* toolbar = new CNSplitViewToolbar;
};

// Sends a press, a move by `delta` and a release to `widget`, as the mouse would.
void drag(QWidget* widget, QPoint from, QPoint delta)
{
    // The widget may move with the divider: screen positions are fixed at the start.
    const QPoint origin = widget->mapToGlobal(QPoint(0, 0));
    const auto send = [widget, origin](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
        QMouseEvent event(
            type, widget->mapFromGlobal(origin + at), QPointF(origin + at), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(widget, &event);
    };
    send(QEvent::MouseButtonPress, from, Qt::LeftButton);
    send(QEvent::MouseMove, from + delta / 2, Qt::LeftButton);
    send(QEvent::MouseMove, from + delta, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, from + delta, Qt::NoButton);
}

} // namespace

TEST(CNSplitViewTest, ShowFollowedAtOnceByHideLeavesTheToolbarShown)
{
    SplitFixture f(Qt::Vertical);
    f.attach(1);
    const int containerHeight = f.split.toolbarContainer()->height();
    f.split.showToolbarAnimated(true);
    f.split.hideToolbarAnimated(true);
    f.waitForAnimation();
    EXPECT_TRUE(f.split.toolbarIsVisible());
    EXPECT_EQ(f.toolbar->geometry(), QRect(0, containerHeight - 24, 200, 24));
    EXPECT_EQ(f.first->geometry(), QRect(0, 0, 200, containerHeight - 24));
}

TEST(CNSplitViewTest, TogglingTwiceShowsThenRestoresThePaneOnEitherEdgeAnimatedOrNot)
{
    struct Case {
        int64_t edge;
        bool animated;
    };
    for (const Case c : {Case{1, true}, Case{1, false}, Case{2, true}, Case{2, false}}) {
        SCOPED_TRACE(testing::Message() << "edge " << c.edge << " animated " << c.animated);
        SplitFixture f(Qt::Vertical);
        EventRecorder recorder;
        ToolbarDelegateRecorder toolbarDelegate;
        f.split.setToolbarDelegate(&toolbarDelegate);
        f.attach(c.edge);
        const int h = f.split.toolbarContainer()->height();
        const QRect initialPane = f.first->geometry();
        EXPECT_EQ(f.toolbar->y(), c.edge == 1 ? h : -24) << "hidden just outside the container";

        f.split.toggleToolbarAnimated(c.animated);
        // The did-event comes from the end of the animation, never from the request itself.
        EXPECT_EQ(recorder.names(), QStringList{"SplitViewWillShowToolbar"});
        f.waitForAnimation();
        EXPECT_EQ(f.first->geometry(), QRect(0, c.edge == 1 ? 0 : 24, 200, h - 24));
        EXPECT_EQ(f.toolbar->geometry(), QRect(0, c.edge == 1 ? h - 24 : 0, 200, 24));

        f.split.toggleToolbarAnimated(c.animated);
        f.waitForAnimation();
        EXPECT_FALSE(f.split.toolbarIsVisible());
        EXPECT_EQ(f.first->geometry(), initialPane);
        EXPECT_EQ(f.toolbar->y(), c.edge == 1 ? h : -24);

        EXPECT_EQ(recorder.names(),
            (QStringList{"SplitViewWillShowToolbar", "SplitViewDidShowToolbar", "SplitViewWillHideToolbar",
                "SplitViewDidHideToolbar"}));
        for (const RecordedEvent& event : recorder.events) {
            EXPECT_EQ(event.sender, static_cast<const void*>(&f.split));
            EXPECT_EQ(event.keys, (QStringList{"edge", "toolbar"}));
            EXPECT_EQ(event.toolbar, f.toolbar);
            EXPECT_EQ(event.edge, c.edge);
        }
        EXPECT_EQ(toolbarDelegate.calls, (QStringList{"didShow", "didHide"}));
    }
}

TEST(CNSplitViewTest, PaneSizeFollowsTheSplitViewWhileTheToolbarKeepsItsEdge)
{
    SplitFixture f(Qt::Horizontal, QSize(400, 300));
    f.attach(1);
    f.split.showToolbarAnimated(false);
    f.waitForAnimation();
    f.split.resize(400, 360);
    QApplication::processEvents();
    const QWidget* container = f.split.toolbarContainer();
    EXPECT_EQ(f.toolbar->geometry(), QRect(0, container->height() - 24, container->width(), 24));
    EXPECT_EQ(f.first->geometry(), QRect(0, 0, container->width(), container->height() - 24));
}

TEST(CNSplitViewTest, NeighbourViewShrinksKeepingItsTopForEdgeOneAndItsBottomOtherwise)
{
    QWidget parent;
    parent.resize(100, 100);
    auto* view = new QWidget(&parent);
    view->setGeometry(0, 10, 50, 60);
    CNSplitView::adjustRectForNeighbourView(view, 24, 1);
    EXPECT_EQ(view->geometry(), QRect(0, 10, 50, 36));
    view->setGeometry(0, 10, 50, 60);
    CNSplitView::adjustRectForNeighbourView(view, 24, 2);
    EXPECT_EQ(view->geometry(), QRect(0, 34, 50, 36));
}

TEST(CNSplitViewTest, DelegateAnswersOnlyWhatItImplementsAndOnlyOnceConnected)
{
    SplitFixture f(Qt::Vertical);
    EXPECT_EQ(f.split.toolbarAttachedSubviewIndex(nullptr), std::optional<uint64_t>(9223372036854775807ULL));
    f.attach(1);
    f.split.setDraggingHandleEnabled(true);
    CollapseOnlyDelegate delegate;

    // Connected only as the secondary delegate: the dividers do not ask it yet.
    f.split.setSecondaryDelegate(&delegate);
    f.split.setChildrenCollapsible(false);
    QSplitterHandle* divider = f.split.handle(1);
    drag(divider, divider->rect().center(), QPoint(0, 400));
    EXPECT_EQ(delegate.asked, 0);
    EXPECT_EQ(f.split.sizes().at(1), 50) << "stops at the pane's minimum";

    f.split.setDelegate(&delegate);
    drag(divider, divider->rect().center(), QPoint(0, 400));
    EXPECT_GT(delegate.asked, 0);
    EXPECT_EQ(f.split.sizes().at(1), 0) << "the delegate lets the pane collapse";

    const QRect drawn(0, 10, 200, 5);
    EXPECT_EQ(f.split.constrainMinCoordinate(12.5, 0), 12.5);
    EXPECT_EQ(f.split.constrainMaxCoordinate(80.0, 0), 80.0);
    EXPECT_EQ(f.split.constrainSplitPosition(33.0, 0), 33.0);
    EXPECT_FALSE(f.split.shouldCollapseSubviewForDoubleClickOnDividerAtIndex(f.first, 0));
    EXPECT_TRUE(f.split.shouldAdjustSizeOfSubview(f.first));
    EXPECT_FALSE(f.split.shouldHideDividerAtIndex(0));
    EXPECT_EQ(f.split.effectiveRectForDrawnRect(drawn, QRect(), 0), drawn);
    EXPECT_FALSE(f.split.resizeSubviewsWithOldSize(QSize(1, 1)).has_value());
    EXPECT_EQ(f.split.additionalEffectiveRectOfDividerAtIndex(0),
        QRect(f.toolbar->draggingHandle()->mapTo(&f.split, QPoint(0, 0)), QSize(25, 24)))
        << "the grip area comes from the toolbar";
}

TEST(CNSplitViewTest, DelegateAnswersLimitCollapseResizeAndHideTheDivider)
{
    SplitFixture f(Qt::Vertical);
    ScriptedDelegate delegate;
    f.split.setDelegate(&delegate);
    QSplitterHandle* divider = f.split.handle(1);

    delegate.maxCoordinate = 150;
    drag(divider, divider->rect().center(), QPoint(0, 120));
    EXPECT_EQ(f.split.sizes().at(0), 150);

    delegate.fixedPane = f.second;
    const int fixed = f.split.sizes().at(1);
    f.split.resize(200, 460);
    QApplication::processEvents();
    EXPECT_EQ(f.split.sizes().at(1), fixed) << "only the adjustable pane takes the new height";

    delegate.sizes = QList<int>{100, 420 - 100 - f.split.handleWidth()};
    f.split.resize(200, 420);
    QApplication::processEvents();
    EXPECT_EQ(f.split.sizes().at(0), 100);

    delegate.collapseOnDoubleClick = f.second;
    QTest::mouseDClick(divider, Qt::LeftButton, Qt::NoModifier, divider->rect().center());
    EXPECT_EQ(f.split.sizes().at(1), 0);

    delegate.hideDivider = true;
    f.split.resize(200, 400);
    EXPECT_TRUE(divider->isHidden());
    QApplication::processEvents();
    EXPECT_TRUE(divider->isHidden());
}

TEST(CNSplitViewTest, GripStaysZeroSizedUntilTheSplitViewHasADelegateThenDragsTheDivider)
{
    SplitFixture f(Qt::Vertical);
    f.attach(1);
    f.split.setDraggingHandleEnabled(true);
    f.split.showToolbarAnimated(false);
    f.waitForAnimation();
    CNSplitViewDraggingHandle* grip = f.toolbar->draggingHandle();
    ASSERT_NE(grip, nullptr);
    EXPECT_TRUE(grip->geometry().isEmpty());

    f.split.setDelegate(nullptr);
    EXPECT_EQ(grip->geometry(), QRect(200 - 25, 1, 25, 24));
    const int before = f.split.sizes().at(0);
    drag(grip, QPoint(12, 10), QPoint(0, -40));
    EXPECT_EQ(f.split.sizes().at(0), before - 40);

    f.split.setDraggingHandleEnabled(false);
    EXPECT_EQ(f.toolbar->draggingHandle(), nullptr);
}

TEST(CNSplitViewTest, GallerySplitViewWithBottomToolbar)
{
    SplitFixture f(Qt::Horizontal, QSize(480, 260));
    f.split.setSizes({220, 260});
    QMenu menu;
    menu.addAction(QStringLiteral("Rename"));
    auto* add = new CNSplitViewToolbarButton;
    add->setImageTemplate(1);
    auto* remove = new CNSplitViewToolbarButton;
    remove->setImageTemplate(2);
    auto* action = new CNSplitViewToolbarButton(&menu);
    action->setImageTemplate(4);
    f.toolbar->addItem(add, 0);
    f.toolbar->addItem(remove, 0);
    f.toolbar->addItem(action, 1);
    f.attach(1);
    f.split.setDelegate(nullptr);
    f.split.setDraggingHandleEnabled(true);
    f.split.showToolbarAnimated(false);
    f.waitForAnimation();
    EXPECT_TRUE(Gallery::capture(&f.split, QStringLiteral("split-view-toolbar")));
}
