#include "app/ENTabBarView.h"
#include "app/ENTabBarViewDelegate.h"
#include "app/ENTabCell.h"
#include "app/ENTangentArc.h"

#include "support/Gallery.h"
#include "support/QtPrinters.h"

#include <QHelpEvent>
#include <QImage>
#include <QTest>
#include <QToolTip>

#include <gtest/gtest.h>

#include <memory>

namespace {

class RecordingTabDelegate : public ENTabBarViewDelegate {
public:
    void tabWillActive(ENTabCell* cell) override { record("willActive", cell); }
    void tabDidActived(ENTabCell* cell) override { record("didActived", cell); }
    void tabWillClose(ENTabCell* cell) override { record("willClose", cell); }
    void tabDidClosed(ENTabCell* cell) override { record("didClosed", cell); }
    void tabWillBeCreated(ENTabCell* cell) override { record("willBeCreated", cell); }
    void tabDidBeCreated(ENTabCell* cell) override { record("didBeCreated", cell); }

    // Reading the title shows that the cell is still alive when it is handed over.
    void record(const char* what, ENTabCell* cell) { calls << QString::fromLatin1(what) + ":" + cell->title(); }
    QStringList calls;
};

QStringList titlesOf(const ENTabBarView& bar)
{
    QStringList titles;
    for (const ENTabCell* cell : bar.tabs()) {
        titles << cell->title();
    }
    return titles;
}

// A bar of the given width with the main window's four tabs, the first one active.
std::unique_ptr<ENTabBarView> mainWindowBar(int width)
{
    auto bar = std::make_unique<ENTabBarView>();
    bar->resize(width, ENTabBarView::kBarHeight);
    for (const char* title : {"Summary", "Exposure", "GPS", "Details"}) {
        bar->addTabViewWithTitle(QString::fromLatin1(title));
    }
    bar->selectTab(0);
    return bar;
}

// What a desktop sends for a double-click: the widget test helper stops at the
// second press.
void doubleClick(QWidget* widget, const QPoint& point)
{
    QTest::mouseDClick(widget, Qt::LeftButton, {}, point);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, point);
}

QPoint centreOfClose(const ENTabCell* cell)
{
    return cell->closeButtonRect().center();
}

} // namespace

TEST(ENTabBarViewGeometry, TabsAreCentredBetweenTheMarginsAt100To180Wide)
{
    struct Case {
        int barWidth;
        int tabs;
        int width;
        QList<int> xs;
    };
    const Case cases[] = {
        {536, 4, 125, {24, 149, 274, 399}},
        {1036, 4, 180, {164, 344, 524, 704}},
        {336, 1, 180, {84}},
        // Too narrow: a negative spare counts as none, the tabs start at the left margin.
        {300, 6, 100, {24, 124, 224, 324, 424, 524}},
        {20, 2, 100, {24, 124}},
    };
    for (const Case& c : cases) {
        ENTabBarView bar;
        bar.resize(c.barWidth, ENTabBarView::kBarHeight);
        for (int i = 0; i < c.tabs; ++i) {
            bar.addTabViewWithTitle(QStringLiteral("T%1").arg(i));
        }
        for (int i = 0; i < c.tabs; ++i) {
            const QRect frame = bar.tabRectFromIndex(i);
            EXPECT_EQ(frame, QRect(c.xs[i], 4, c.width, 28)) << c.barWidth << " px, tab " << i;
            EXPECT_EQ(bar.tabs()[i]->frame(), frame) << "laid out without a paint";
        }
    }

    ENTabBarView bar;
    bar.resize(536, ENTabBarView::kBarHeight);
    bar.addTabViewWithTitle(QStringLiteral("Summary"));
    const ENTabCell* cell = bar.tabs().first();
    const int right = cell->frame().x() + cell->frame().width();
    EXPECT_EQ(cell->closeButtonRect(), QRect(right - 21, 14, 8, 8));
    EXPECT_EQ(ENTabBarView::rectForTabListControl(), QRect(6, 14, 12, 8));
}

TEST(ENTabBarViewGeometry, CornerArcTouchesBothLinesAtTheRadius)
{
    const ENTangentArc arc = ENTangentArc::between(QPointF(0, 0), QPointF(10, 0), QPointF(10, 10), 4);
    ASSERT_TRUE(arc.isValid);
    EXPECT_EQ(arc.start, QPointF(6, 0));
    EXPECT_EQ(arc.end, QPointF(10, 4));
    EXPECT_EQ(arc.centre, QPointF(6, 4));

    QPainterPath path(QPointF(0, 0));
    ENTangentArc::append(path, QPointF(10, 0), QPointF(10, 10), 4);
    EXPECT_NEAR(path.currentPosition().x(), 10, 1e-9);
    EXPECT_NEAR(path.currentPosition().y(), 4, 1e-9);
    for (int step = 0; step <= 100; ++step) {
        const QPointF point = path.pointAtPercent(step / 100.0);
        if (point.x() > 6 + 1e-6) {
            EXPECT_NEAR(QLineF(point, arc.centre).length(), 4, 0.01) << "past the straight part, on the circle";
        }
    }

    // Points on one line give no arc; the path goes straight to the corner.
    EXPECT_FALSE(ENTangentArc::between(QPointF(0, 0), QPointF(5, 0), QPointF(9, 0), 4).isValid);
    QPainterPath straight(QPointF(0, 0));
    ENTangentArc::append(straight, QPointF(5, 0), QPointF(9, 0), 4);
    EXPECT_EQ(straight.currentPosition(), QPointF(5, 0));
}

TEST(ENTabBarViewMouse, ClosingAnInactiveTabActivatesItsLeftNeighbour)
{
    auto bar = mainWindowBar(536);
    RecordingTabDelegate delegate;
    bar->setDelegate(&delegate);

    ENTabCell* gps = bar->tabs()[2];
    QTest::mouseClick(bar.get(), Qt::LeftButton, {}, centreOfClose(gps));

    EXPECT_EQ(titlesOf(*bar), (QStringList{"Summary", "Exposure", "Details"}));
    EXPECT_EQ(bar->selectedTabIndex(), 1);
    EXPECT_EQ(bar->selectedTab()->title(), QStringLiteral("Exposure"));
    EXPECT_EQ(delegate.calls,
        (QStringList{"willActive:GPS", "didActived:GPS", "willClose:GPS", "willActive:Exposure", "didActived:Exposure",
            "didClosed:GPS"}));
    EXPECT_EQ(bar->tabs()[1]->frame(), bar->tabRectFromIndex(1)) << "the rest laid out again";
}

TEST(ENTabBarViewMouse, DoubleClickAddsUntitledOnlyInAnEmptyPart)
{
    auto bar = mainWindowBar(536);
    RecordingTabDelegate delegate;
    bar->setDelegate(&delegate);

    doubleClick(bar.get(), bar->tabs()[1]->frame().center());
    doubleClick(bar.get(), ENTabBarView::rectForTabListControl().center());
    EXPECT_EQ(bar->tabs().size(), 4);
    EXPECT_EQ(bar->selectedTabIndex(), 1) << "the double-clicked tab was activated";

    delegate.calls.clear();
    doubleClick(bar.get(), QPoint(528, 20));
    EXPECT_EQ(titlesOf(*bar), (QStringList{"Summary", "Exposure", "GPS", "Details", "Untitled"}));
    EXPECT_EQ(bar->selectedTab()->title(), QStringLiteral("Untitled"));
    EXPECT_EQ(delegate.calls,
        (QStringList{"willBeCreated:Untitled", "willActive:Untitled", "didActived:Untitled", "didBeCreated:Untitled"}));
}

TEST(ENTabBarViewMouse, SelectingOutsideTheTabsOrTheActiveTabSendsNothing)
{
    auto bar = mainWindowBar(536);
    RecordingTabDelegate delegate;
    bar->setDelegate(&delegate);

    bar->selectTab(4);
    bar->selectTab(-1);
    bar->selectTab(0);
    QTest::mouseClick(bar.get(), Qt::LeftButton, {}, bar->tabs()[0]->frame().center());
    EXPECT_TRUE(delegate.calls.isEmpty()) << delegate.calls.join(", ").toStdString();
    EXPECT_EQ(bar->selectedTabIndex(), 0);

    bar->selectTab(3);
    EXPECT_EQ(delegate.calls, (QStringList{"willActive:Details", "didActived:Details"}));
    EXPECT_TRUE(bar->tabs()[3]->isActived());
    EXPECT_FALSE(bar->tabs()[0]->isActived());
}

TEST(ENTabBarViewMouse, RemovingTheLastTabLeavesNoActiveTab)
{
    ENTabBarView bar;
    bar.resize(536, ENTabBarView::kBarHeight);
    RecordingTabDelegate delegate;
    bar.setDelegate(&delegate);
    bar.removeTabCell(bar.addTabViewWithTitle(QStringLiteral("Only")));
    EXPECT_EQ(bar.selectedTab(), nullptr);
    EXPECT_EQ(bar.selectedTabIndex(), -1);

    ENTabCell* last = bar.addTabViewWithTitle(QStringLiteral("Last"));
    delegate.calls.clear();
    QTest::mouseClick(&bar, Qt::LeftButton, {}, centreOfClose(last));
    EXPECT_TRUE(bar.tabs().isEmpty());
    EXPECT_EQ(bar.selectedTab(), nullptr);
    EXPECT_EQ(bar.selectedTabIndex(), -1);
    EXPECT_EQ(delegate.calls, (QStringList{"willClose:Last", "didClosed:Last"}));
    bar.removeTabCell(last); // no longer in the bar: nothing happens
    bar.selectTab(0);
    EXPECT_TRUE(Gallery::capture(&bar, QStringLiteral("tab-bar-empty")));
}

TEST(ENTabBarViewMouse, HoverShowsTheCloseMarkAndTheTitleAsTooltip)
{
    auto bar = mainWindowBar(536);
    bar->show();
    ENTabCell* gps = bar->tabs()[2];
    QTest::mouseMove(bar.get(), centreOfClose(gps));
    EXPECT_TRUE(gps->canDrawCloseButton());
    EXPECT_FALSE(bar->tabs()[1]->canDrawCloseButton());
    const QImage shown = bar->grab().toImage();
    EXPECT_EQ(shown.pixel(centreOfClose(gps)), bar->smallControlColor().rgb()) << "the mark's crossing";

    QHelpEvent help(QEvent::ToolTip, gps->frame().center(), bar->mapToGlobal(gps->frame().center()));
    QApplication::sendEvent(bar.get(), &help);
    EXPECT_EQ(QToolTip::text(), QStringLiteral("GPS"));

    QTest::mouseMove(bar.get(), gps->frame().center());
    EXPECT_FALSE(gps->canDrawCloseButton());
    QTest::mouseMove(bar.get(), centreOfClose(gps));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(bar.get(), &leave);
    EXPECT_FALSE(gps->canDrawCloseButton());
    EXPECT_EQ(bar->grab().toImage().pixel(centreOfClose(gps)), bar->tabBGColor().rgb());
}

TEST(ENTabBarViewMouse, SwitchedOffTheBarNeitherClosesNorAdds)
{
    auto bar = mainWindowBar(536);
    bar->setTabsClosable(false);
    bar->setAddsUntitledTabOnDoubleClick(false);
    RecordingTabDelegate delegate;
    bar->setDelegate(&delegate);

    ENTabCell* gps = bar->tabs()[2];
    QTest::mouseMove(bar.get(), centreOfClose(gps));
    EXPECT_FALSE(gps->canDrawCloseButton());
    QTest::mouseClick(bar.get(), Qt::LeftButton, {}, centreOfClose(gps));
    doubleClick(bar.get(), QPoint(528, 20));
    EXPECT_EQ(titlesOf(*bar), (QStringList{"Summary", "Exposure", "GPS", "Details"}));
    EXPECT_EQ(bar->selectedTabIndex(), 2) << "a click still activates";
    EXPECT_EQ(delegate.calls, (QStringList{"willActive:GPS", "didActived:GPS"}));
}

TEST(ENTabBarViewGallery, FourTabsAndABarTooNarrow)
{
    auto bar = mainWindowBar(536);
    bar->show();
    QTest::mouseMove(bar.get(), centreOfClose(bar->tabs()[2]));
    EXPECT_TRUE(Gallery::capture(bar.get(), QStringLiteral("tab-bar-four-tabs")));

    auto narrow = mainWindowBar(260);
    EXPECT_EQ(narrow->tabs()[0]->frame().x(), 24);
    EXPECT_TRUE(Gallery::capture(narrow.get(), QStringLiteral("tab-bar-too-narrow")));
}
