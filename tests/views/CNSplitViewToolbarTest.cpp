#include "views/CNSplitViewToolbar.h"
#include "views/CNSplitView.h"
#include "views/CNSplitViewToolbarButton.h"
#include "views/CNToolbarView.h"

#include "support/Gallery.h"
#include "support/Patience.h"

#include <QApplication>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

QWidget* itemOfWidth(double width)
{
    auto* item = new QWidget;
    CNSplitViewToolbar::setToolbarItemWidth(item, width);
    return item;
}

QList<int> itemXs(const CNSplitViewToolbar& toolbar)
{
    QList<int> xs;
    for (const QWidget* item : toolbar.toolbarItems()) {
        xs.append(item->x());
    }
    return xs;
}

int grey(const QImage& image, int x, int y)
{
    return qGray(image.pixel(x, y));
}

// A toolbar with two items of widths 40 and 30, laid out by painting it.
QImage paintedTwoItemToolbar(CNSplitViewToolbar& toolbar, int64_t edge)
{
    toolbar.setAnchorEdge(edge);
    toolbar.addItem(itemOfWidth(40), 0);
    toolbar.addItem(itemOfWidth(30), 0);
    toolbar.resize(200, 24);
    return toolbar.grab().toImage();
}

} // namespace

TEST(CNSplitViewToolbarTest, LaysOutItemsFromTheLeftTheRightOrCentredWithSeparatorOffsets)
{
    struct Case {
        const char* name;
        int64_t contentAlign;
        QList<double> widths;
        int64_t align;
        QList<int> xs;
        QList<double> offsets;
    };
    const QList<Case> cases = {
        {"left", 0, {40, 30}, 0, {0, 41}, {40, 71}},
        {"right", 0, {30}, 1, {170}, {169}},
        {"centred", 1, {40, 30}, 0, {64, 105}, {63, 104, 135}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CNSplitViewToolbar toolbar;
        toolbar.setContentAlign(c.contentAlign);
        for (const double width : c.widths) {
            toolbar.addItem(itemOfWidth(width), c.align);
        }
        toolbar.resize(200, 24);
        toolbar.grab();
        EXPECT_EQ(itemXs(toolbar), c.xs);
        EXPECT_EQ(toolbar.delimiterOffsets(), c.offsets);
        for (const QWidget* item : toolbar.toolbarItems()) {
            EXPECT_EQ(item->geometry().top(), 1);
            EXPECT_EQ(item->height(), 23);
        }
    }
}

TEST(CNSplitViewToolbarTest, ItemsAddedOrRemovedAfterTheFirstLayoutArePlacedAtTheNextPaint)
{
    CNSplitViewToolbar toolbar;
    toolbar.addItem(itemOfWidth(40), 0);
    toolbar.resize(200, 24);
    toolbar.grab();
    QWidget* added = itemOfWidth(30);
    toolbar.addItem(added, 0);
    toolbar.grab();
    EXPECT_EQ(added->x(), 41);
    // A removed item goes back to its maker.
    std::unique_ptr<QWidget> removed(toolbar.toolbarItems().first());
    toolbar.removeItem(removed.get());
    toolbar.grab();
    EXPECT_EQ(added->x(), 0);
    EXPECT_EQ(toolbar.delimiterOffsets(), QList<double>{30});
}

TEST(CNSplitViewToolbarTest, RightItemsMakeRoomForTheGripOfAStackedSplitView)
{
    CNSplitView split;
    split.setOrientation(Qt::Vertical);
    split.addWidget(new QWidget);
    split.addWidget(new QWidget);
    split.resize(200, 300);
    split.show();
    QApplication::processEvents();
    auto* toolbar = new CNSplitViewToolbar;
    QWidget* item = itemOfWidth(30);
    toolbar->addItem(item, 1);
    split.attachToolbar(toolbar, 0, 1);
    split.setDraggingHandleEnabled(true);
    EXPECT_TRUE(toolbar->isDraggingHandleEnabled());
    EXPECT_EQ(item->x(), 145);

    // Attached to the last pane, the toolbar gets no grip.
    CNSplitViewToolbar lastPaneToolbar;
    split.attachToolbar(&lastPaneToolbar, 1, 1);
    EXPECT_FALSE(lastPaneToolbar.isDraggingHandleEnabled());
    lastPaneToolbar.setParent(nullptr);
}

TEST(CNSplitViewToolbarTest, ButtonSizeMenuAndProcessWideEnabling)
{
    CNSplitViewToolbar first;
    CNSplitViewToolbar second;
    auto* imageButton = new CNSplitViewToolbarButton;
    imageButton->setImageTemplate(3);
    first.addItem(imageButton, 0);
    EXPECT_EQ(imageButton->size(), QSize(36, 23));

    auto* other = new CNSplitViewToolbarButton;
    other->setImageTemplate(99);
    EXPECT_TRUE(other->image().isNull()) << "unknown numbers leave the image as it was";
    second.addItem(other, 1);
    first.disable();
    EXPECT_FALSE(imageButton->isEnabled());
    EXPECT_FALSE(other->isEnabled());
    second.enable();
    EXPECT_TRUE(imageButton->isEnabled());
    EXPECT_TRUE(other->isEnabled());

    QMenu menu;
    menu.addAction(QStringLiteral("Show in Folder"));
    auto* menuButton = new CNSplitViewToolbarButton(&menu);
    menuButton->setTitle(QStringLiteral("More"));
    first.addItem(menuButton, 1);
    first.resize(200, 24);
    first.show();
    QSignalSpy clicks(menuButton, &QAbstractButton::clicked);
    QTest::mouseClick(menuButton, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_TRUE(menu.isVisible());
    EXPECT_EQ(clicks.count(), 0);
    menu.close();
}

TEST(CNSplitViewToolbarTest, BorderAndSeparatorRowsFollowTheEdge)
{
    for (const int64_t edge : {1, 2}) {
        SCOPED_TRACE(edge);
        CNSplitViewToolbar toolbar;
        const QImage image = paintedTwoItemToolbar(toolbar, edge);
        const int borderRow = edge == 1 ? 0 : 23;
        const int firstSeparatorRow = edge == 1 ? 1 : 0;
        const int border = grey(image, 100, borderRow);
        // The border runs the full width; the separator at x 40 starts just past it.
        EXPECT_EQ(grey(image, 40, borderRow), border);
        EXPECT_EQ(grey(image, 5, borderRow), border);
        EXPECT_NE(grey(image, 40, firstSeparatorRow), border);
        EXPECT_LT(grey(image, 40, 12), grey(image, 45, 12) - 30) << "a dark separator mid-height";
    }
}

TEST(CNSplitViewToolbarTest, InactiveWindowsTonedDownAndButtonImagesVisibleFromTheStart)
{
    CNSplitViewToolbar active;
    auto* activeButton = new CNSplitViewToolbarButton;
    activeButton->setImageTemplate(1);
    active.addItem(activeButton, 0);
    active.resize(200, 24);
    active.show();
    active.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&active, kPatientMs));

    // Never shown, so never active: no window has changed activation for it.
    CNSplitViewToolbar inactive;
    auto* inactiveButton = new CNSplitViewToolbarButton;
    inactiveButton->setImageTemplate(1);
    inactive.addItem(inactiveButton, 0);
    inactive.resize(200, 24);

    const QImage on = active.grab().toImage();
    const QImage off = inactive.grab().toImage();
    EXPECT_NEAR(grey(on, 100, 0), 128, 2);
    EXPECT_NEAR(grey(off, 100, 0), 181, 2) << "the border blended 42% towards white";
    EXPECT_GT(grey(off, 100, 12), grey(on, 100, 12));

    // The plus sign's centre against the bezel beside it.
    const QImage onButton = activeButton->grab().toImage();
    const QImage offButton = inactiveButton->grab().toImage();
    EXPECT_LT(grey(onButton, 18, 11), 80);
    EXPECT_LT(grey(offButton, 18, 11), grey(offButton, 4, 11) - 50);
    EXPECT_GT(grey(offButton, 18, 11), grey(onButton, 18, 11));
}

TEST(CNSplitViewToolbarTest, GalleryToolbarView)
{
    QWidget window;
    window.resize(240, 60);
    auto* bar = new CNToolbarView(&window);
    bar->setGeometry(0, 30, 240, 30);
    auto* title = new CNSplitViewToolbarButton(bar);
    title->setTitle(QStringLiteral("Refresh"));
    title->setImageTemplate(13);
    title->setGeometry(4, 4, 90, 23);
    EXPECT_TRUE(Gallery::capture(&window, QStringLiteral("toolbar-view")));
    const QImage image = bar->grab().toImage();
    EXPECT_NEAR(grey(image, 200, 0), 128, 2) << "a grey line along the top";
    EXPECT_GT(grey(image, 200, 2), grey(image, 200, 28)) << "lighter above, darker below";
}
