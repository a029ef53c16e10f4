#include "MainWindowFixture.h"

#include "app/ENTabBarView.h"
#include "app/ENTabCell.h"
#include "app/TAVDetailViewCtlr.h"
#include "app/TAVPhotosViewCltr.h"
#include "app/TAVSummaryViewCtlr.h"
#include "commlib/VXCommonView.h"
#include "commlib/VXDropDownButton.h"
#include "commlib/VXIntroWindowController.h"
#include "commlib/VXResizeCallbackView.h"
#include "foundation/UserDefaults.h"
#include "support/Gallery.h"
#include "support/Patience.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

const QStringList kToolbarIds{
    "View", "Add Files", "Rename", "Replace", "Clone", "Export Exif", "Filename to Tags", "Help"};
const QStringList kMenuTitles{"Clear", "Save", "Restore", "Clear All", "Save All", "Restore All", "Previous", "Next",
    "Import Files...", "Lumetta Help"};

// What a user sees enabled, as one comparable text per control group.
struct Enabling {
    QStringList toolbar; // enabled identifiers
    QStringList menu; // enabled titles
    bool single = false; // Clear, Restore and Save (all three agree)
    bool batch = false; // the five batch buttons (all agree)
    bool prev = false;
    bool next = false;
    bool tabsEditable = false;
};

Enabling enablingOf(TAVMainWindowCtlr& w)
{
    Enabling e;
    for (const QString& id : kToolbarIds) {
        if (w.toolbarAction(id)->isEnabled())
            e.toolbar.append(id);
    }
    for (const QString& title : kMenuTitles) {
        if (w.validateMenuItem(title))
            e.menu.append(title);
    }
    e.single = w.btnClearOne()->isEnabled();
    EXPECT_EQ(w.btnRestore()->isEnabled(), e.single);
    EXPECT_EQ(w.btnApply()->isEnabled(), e.single);
    e.batch = w.btnClearAll()->isEnabled();
    for (QToolButton* b : {w.btnClearAllType(), w.btnRestoreAll(), w.btnApplyToAll(), w.btnBatchSave()})
        EXPECT_EQ(b->isEnabled(), e.batch);
    e.prev = w.btnPre()->isEnabled();
    e.next = w.btnNext()->isEnabled();
    e.tabsEditable = w.summaryTab()->findChild<QLineEdit*>("fldCamera")->isEnabled();
    return e;
}

QStringList without(QStringList list, const QStringList& gone)
{
    for (const QString& g : gone)
        list.removeAll(g);
    return list;
}

} // namespace

TEST_F(MainWindowTest, ToolbarButtonsMenuAndTabsFollowTheListAndTheSelection)
{
    const QStringList always{"View", "Add Files", "Help"};
    const QStringList selectionOnly{"Replace", "Export Exif", "Filename to Tags"};
    const QStringList selectionMenu{"Clear", "Save", "Restore", "Clear All", "Save All", "Restore All"};

    Enabling e = enablingOf(window());
    EXPECT_EQ(e.toolbar, always);
    EXPECT_EQ(e.menu, (QStringList{"Import Files...", "Lumetta Help"}));
    EXPECT_FALSE(e.single || e.batch || e.prev || e.next || e.tabsEditable);

    ASSERT_TRUE(importAndWait({photoWithTags("a.jpg", {}), photoWithTags("b.jpg", {}), photoWithTags("c.jpg", {})}));
    select({});
    e = enablingOf(window());
    EXPECT_TRUE(window().selectedImages().isEmpty());
    EXPECT_EQ(e.toolbar, without(kToolbarIds, selectionOnly));
    EXPECT_EQ(e.menu, (QStringList{"Import Files...", "Lumetta Help"}));
    EXPECT_TRUE(e.batch);
    EXPECT_FALSE(e.single || e.prev || e.next || e.tabsEditable);

    struct Case {
        int position;
        bool prev, next;
    };
    for (const Case& c : {Case{0, false, true}, Case{1, true, true}, Case{2, true, false}}) {
        SCOPED_TRACE(c.position);
        select({c.position});
        e = enablingOf(window());
        EXPECT_EQ(e.toolbar, kToolbarIds);
        QStringList menu = selectionMenu;
        if (c.prev)
            menu.append("Previous");
        if (c.next)
            menu.append("Next");
        menu << "Import Files..."
             << "Lumetta Help";
        EXPECT_EQ(e.menu, menu);
        EXPECT_TRUE(e.single && e.batch && e.tabsEditable);
        EXPECT_EQ(e.prev, c.prev);
        EXPECT_EQ(e.next, c.next);
    }

    // Next and Previous walk the list and stop at its ends.
    window().clickNext();
    QCoreApplication::processEvents();
    EXPECT_EQ(window().photosViewCltr()->selectedIndexes(), QList<int>{2});
    window().clickPre();
    window().clickPre();
    window().clickPre();
    QCoreApplication::processEvents();
    EXPECT_EQ(window().photosViewCltr()->selectedIndexes(), QList<int>{0});

    select({0, 2});
    e = enablingOf(window());
    EXPECT_EQ(e.menu, (selectionMenu + QStringList{"Import Files...", "Lumetta Help"}));
    EXPECT_FALSE(e.single || e.prev || e.next);
    EXPECT_TRUE(e.batch && e.tabsEditable);
}

TEST_F(MainWindowTest, IntroductionComesOnceAfterTheFirstActivationUnlessDeclined)
{
    TAVMainWindowCtlr::setIntroductionDelayMs(20);
    auto introShown
        = [&] { return window().introWindowController() && window().introWindowController()->window()->isVisible(); };
    auto activate = [&] {
        QEvent event(QEvent::WindowActivate);
        QCoreApplication::sendEvent(window().mainWindow(), &event);
    };

    const QString key = "next_not_show_tips_again";
    for (bool declined : {false, true}) {
        SCOPED_TRACE(declined);
        TAVMainWindowCtlr::resetIntroductionOffered();
        UserDefaults::standard().removeObjectForKey(key);
        if (declined) {
            ctlr_.reset();
            ctlr_ = std::make_unique<TAVMainWindowCtlr>(tempPath("src_temp"));
            ctlr_->mainWindow()->show();
            // The box of the introduction itself is how a user declines.
            VXIntroWindowController probe({}, "Tips");
            probe.window();
            probe.window()->findChild<QCheckBox*>()->click();
            ASSERT_TRUE(VXIntroWindowController::checkNextTimeNotShowAgain());
        }
        activate();
        EXPECT_FALSE(introShown()) << "not before the delay";
        // Shown, it may come late on a busy machine; declined, it has had
        // five times its delay to come all the same.
        (void)QTest::qWaitFor(introShown, declined ? 100 : kPatientMs);
        EXPECT_EQ(introShown(), !declined);
        if (introShown()) {
            EXPECT_EQ(window().introWindowController()->window()->windowTitle(), "Introduction");
            EXPECT_EQ(window().introWindowController()->pageCount(), 7); // six pictures and the questions
            window().introWindowController()->showPage(2);
            EXPECT_TRUE(Gallery::capture(window().introWindowController()->window(), "main-window-introduction"));
            window().introWindowController()->window()->hide();
        }
        activate();
        QTest::qWait(120);
        EXPECT_FALSE(introShown()) << "only the first activation offers it";
    }
    TAVMainWindowCtlr::setIntroductionDelayMs(1000);
}

TEST_F(MainWindowTest, AWindowClosedBeforeTheIntroductionIsDueGetsNoIntroduction)
{
    // The introduction is a window of its own: shown after the main window
    // closed, it would keep the application running with nothing behind it.
    TAVMainWindowCtlr::setIntroductionDelayMs(20);
    TAVMainWindowCtlr::resetIntroductionOffered();
    UserDefaults::standard().removeObjectForKey("next_not_show_tips_again");
    QEvent activation(QEvent::WindowActivate);
    QCoreApplication::sendEvent(window().mainWindow(), &activation);
    window().mainWindow()->close();
    QTest::qWait(150);
    EXPECT_FALSE(window().introWindowController() && window().introWindowController()->window()->isVisible());
    TAVMainWindowCtlr::setIntroductionDelayMs(1000);
}

TEST_F(MainWindowTest, TabBarSwitchesViewsKeepsThemCentredAndNeverLosesATab)
{
    ENTabBarView* bar = window().tabBar();
    QStringList titles;
    for (ENTabCell* cell : bar->tabs())
        titles.append(cell->title());
    EXPECT_EQ(titles, TAVMainWindowCtlr::tabTitles());

    auto centred = [&](QWidget* view) {
        const QRect area = window().tabArea()->rect();
        const QRect g = view->geometry();
        return view->isVisible() && std::abs((area.width() - g.width()) / 2 - g.x()) <= 1
            && std::abs((area.height() - g.height()) / 2 - g.y()) <= 1;
    };
    EXPECT_TRUE(centred(window().summaryTab()));
    for (QSize size : {QSize(1500, 900), QSize(1100, 760)}) {
        window().mainWindow()->resize(size);
        QCoreApplication::processEvents();
        EXPECT_TRUE(centred(window().summaryTab())) << size.width();
    }

    // Clicks near each tab's right end (where a close mark would be) and
    // double-clicks on the blank end of the bar.
    for (int i = 0; i < 4; ++i) {
        const QRect r = bar->tabRectFromIndex(i);
        QTest::mouseMove(bar, QPoint(r.right() - 17, 18));
        QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(r.right() - 17, 18));
        EXPECT_EQ(bar->selectedTabIndex(), i);
        EXPECT_TRUE(window().tabViewForIndex(i)->isVisible()) << i;
    }
    QTest::mouseDClick(bar, Qt::LeftButton, {}, QPoint(bar->width() - 10, 18));
    EXPECT_EQ(bar->tabs().size(), 4);
    EXPECT_EQ(bar->selectedTabIndex(), TAVMainWindowCtlr::TabDetail);
    EXPECT_TRUE(centred(window().detailTab()));
    EXPECT_FALSE(window().summaryTab()->isVisible());
}

TEST_F(MainWindowTest, DrawerCollapsesAndExpandsWithTheIconOfItsState)
{
    DMSplitView* split = window().splitView();
    QAction* view = window().toolbarAction("View");
    EXPECT_EQ(window().drawerIconName(), "drawer_open");
    view->trigger();
    EXPECT_TRUE(split->isSubviewCollapsed(0));
    EXPECT_EQ(window().drawerIconName(), "drawer_close");
    view->trigger();
    EXPECT_FALSE(split->isSubviewCollapsed(0));
    EXPECT_GE(split->sizes().at(0), DMSplitView::kMinimumLeft);
    EXPECT_EQ(window().drawerIconName(), "drawer_open");

    // Dragging the divider shut and open again shows the state it leaves.
    split->setSizes({0, 1280});
    emit split->splitterMoved(0, 1);
    EXPECT_EQ(window().drawerIconName(), "drawer_close");
    split->setSizes({400, 880});
    emit split->splitterMoved(400, 1);
    EXPECT_EQ(window().drawerIconName(), "drawer_open");
}

TEST_F(MainWindowTest, ClearKindMenuOpensBesideItsButtonWithTheFourKinds)
{
    ASSERT_TRUE(importAndWait({photoWithTags("a.jpg", {})}));
    QTest::mouseClick(window().btnClearAllType(), Qt::LeftButton);
    QMenu* menu = window().clearKindMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(menu->isVisible());
    QStringList kinds;
    for (QAction* action : menu->actions())
        kinds.append(QStringLiteral("%1=%2").arg(action->text()).arg(action->data().toInt()));
    EXPECT_EQ(kinds, (QStringList{"All=0", "Exif=1", "GPS=2", "IPTC=3"}));
    EXPECT_EQ(menu->pos().x(), window().btnClearAllType()->mapToGlobal(QPoint(0, 0)).x() + 100);
    menu->hide();
    QTest::mouseClick(window().btnClearAllType(), Qt::LeftButton);
    EXPECT_EQ(window().clearKindMenu(), menu) << "made once";
    menu->hide();
}

TEST_F(MainWindowTest, DroppedFilesGoToThePhotoList)
{
    EXPECT_TRUE(window().didWindowAccepteDragFiles(window().mainWindow(), {}));
    EXPECT_FALSE(window().dropView()->isVisible());
    const QString photo = photoWithTags("drop.jpg", {});
    EXPECT_TRUE(window().didWindowAccepteDragFiles(window().mainWindow(), {photo}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return window().photosViewCltr()->maryDataSource().size() == 1; }, kPatientMs));
}

TEST_F(MainWindowTest, Gallery)
{
    EXPECT_TRUE(Gallery::capture(window().mainWindow(), "main-window-empty"));
    const QStringList names{"1x1_exif_xmp.jpg", "goexif.tif", "huge_tag_exif.jpg", "infinite_loop_exif.jpg",
        "npm-arbitro.tiff", "npm-canon-s40.jpg", "npm-evil1.jpg", "npm-iphone6p.jpg", "npm-lumia.jpg",
        "png-nikon-d3.png", "png-sony-gps.png"};
    ASSERT_TRUE(importAndWait(samples(names)));
    TAVPhotosViewCltr* list = window().photosViewCltr();
    ASSERT_EQ(list->getDataSourceForCurrentState().size(), names.size());
    int canon = -1;
    for (int i = 0; i < list->getDataSourceForCurrentState().size(); ++i) {
        if (list->getDataSourceForCurrentState().at(i)->srcPath().endsWith("npm-canon-s40.jpg"))
            canon = i;
    }
    ASSERT_GE(canon, 0);
    select({canon});
    ASSERT_EQ(window().summaryTab()->findChild<QLineEdit*>("fldCamera")->text(), "Canon");
    // Thumbnails arrive from the worker pool.
    QTest::qWait(1500);
    EXPECT_TRUE(Gallery::capture(window().mainWindow(), "main-window"));

    window().tabBar()->selectTab(TAVMainWindowCtlr::TabExposure);
    EXPECT_TRUE(Gallery::capture(window().mainWindow(), "main-window-exposure"));
    window().tabBar()->selectTab(TAVMainWindowCtlr::TabDetail);
    EXPECT_TRUE(Gallery::capture(window().mainWindow(), "main-window-details"));
    window().tabBar()->selectTab(TAVMainWindowCtlr::TabSummary);
    select({canon, canon == 0 ? 1 : 0});
    QTest::qWait(200);
    EXPECT_TRUE(Gallery::capture(window().mainWindow(), "main-window-two-selected"));
}
