// The main window over many photos and by keyboard: removal lets go of the
// working copies and of what the tabs show, the tabs and the list answer the
// keys of desktop programs, and the window keeps its place and zoom.
#include "MainWindowFixture.h"

#include "app/ENTabBarView.h"
#include "app/TAVImageBrowserView.h"
#include "app/TAVPhotosViewCltr.h"
#include "app/TAVSummaryViewCtlr.h"
#include "commlib/VXKeyPressTableView.h"
#include "foundation/UserDefaults.h"
#include "models/image/TAVImageObject.h"
#include "support/ImageFixtures.h"
#include "support/Patience.h"
#include "support/QtPrinters.h"

#include <QDir>
#include <QLineEdit>
#include <QMainWindow>
#include <QSet>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class MainWindowScaleTest : public MainWindowTest {
protected:
    TAVPhotosViewCltr* list() { return window().photosViewCltr(); }
    QStringList workingCopies() const { return QDir(tempPath("src_temp")).entryList(QDir::Files | QDir::Hidden); }
    QStringList titles()
    {
        QStringList names;
        for (const auto& image : list()->maryDataSource())
            names.append(image->imageTitle());
        return names;
    }
    // Two photos named alike in two folders, and a third.
    QStringList photos()
    {
        QDir().mkpath(tempPath("in/day2"));
        const QString first = photoWithTags("harbour.jpg", {{"Exif.Image.Make", "Canon"}});
        const QString second = tempPath("in/day2/harbour.jpg");
        QFile::remove(second);
        EXPECT_TRUE(QFile::copy(first, second));
        return {first, second, photoWithTags("quay.jpg", {{"Exif.Image.Make", "Nikon"}})};
    }
    int tabIndex() { return window().tabBar()->selectedTabIndex(); }
};

} // namespace

TEST_F(MainWindowScaleTest, RemovedPhotosTakeTheirWorkingCopiesAndTheirPictureWithThem)
{
    ASSERT_TRUE(importAndWait(photos()));
    EXPECT_EQ(titles(), (QStringList{"harbour.jpg", "harbour.jpg", "quay.jpg"}));
    EXPECT_EQ(workingCopies(), (QStringList{"harbour(1).jpg", "harbour.jpg", "quay.jpg"}));
    EXPECT_FALSE(summaryField("fldImageSize")->text().isEmpty());
    EXPECT_FALSE(window().summaryTab()->curDispImagePath().isEmpty());

    // Removing one photo deletes its working copy only.
    const QString gone = list()->maryDataSource().at(2)->path();
    select({2});
    list()->removeSelectedImageObjects();
    EXPECT_FALSE(QFile::exists(gone));
    EXPECT_EQ(workingCopies().size(), 2);

    // Clear takes the rest, and the Summary tab shows no photo any more.
    QSet<QString> earlierCopies;
    for (const auto& image : list()->maryDataSource())
        earlierCopies.insert(image->path());
    earlierCopies.insert(gone);
    list()->clearAllImageObjects();
    QCoreApplication::processEvents();
    EXPECT_TRUE(list()->maryDataSource().isEmpty());
    EXPECT_TRUE(workingCopies().isEmpty());
    EXPECT_TRUE(summaryField("fldImageSize")->text().isEmpty());
    EXPECT_TRUE(window().summaryTab()->curDispImagePath().isEmpty());
    EXPECT_TRUE(window().selectedImages().isEmpty());

    // Imported again, the photos are listed under the user's names.
    ASSERT_TRUE(importAndWait(photos()));
    QStringList again = titles();
    again.sort();
    EXPECT_EQ(again, (QStringList{"harbour.jpg", "harbour.jpg", "quay.jpg"}));
    EXPECT_EQ(workingCopies().size(), 3);
    // Under new working-copy paths: nothing cached for the removed photos
    // (thumbnails, pictures) is ever taken for these.
    for (const auto& image : list()->maryDataSource())
        EXPECT_FALSE(earlierCopies.contains(image->path())) << qPrintable(image->path());
    // The user's files were only ever read.
    EXPECT_TRUE(QFile::exists(tempPath("in/harbour.jpg")));
    EXPECT_TRUE(QFile::exists(tempPath("in/day2/harbour.jpg")));
}

TEST_F(MainWindowScaleTest, ControlTabAndPageKeysSwitchTabsFromAnywhereInTheWindow)
{
    ASSERT_TRUE(importAndWait(photos()));
    window().mainWindow()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window().mainWindow(), kPatientMs));
    QWidget* listView = list()->imageBrowser();
    listView->setFocus();
    ASSERT_EQ(tabIndex(), 0);
    QTest::keyClick(listView, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(tabIndex(), 1);
    QTest::keyClick(listView, Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(tabIndex(), 2);
    QTest::keyClick(listView, Qt::Key_PageDown, Qt::ControlModifier);
    QTest::keyClick(listView, Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(tabIndex(), 0) << "past the last tab comes the first";
    QTest::keyClick(listView, Qt::Key_PageUp, Qt::ControlModifier);
    EXPECT_EQ(tabIndex(), 3);
    QTest::keyClick(listView, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(tabIndex(), 2);

    // From a field of a tab as well.
    QTest::keyClick(listView, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(listView, Qt::Key_PageUp, Qt::ControlModifier);
    ASSERT_EQ(tabIndex(), 0);
    QLineEdit* field = summaryField("fldImageSize");
    field->setFocus();
    QTest::keyClick(field, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(tabIndex(), 1);
}

TEST_F(MainWindowScaleTest, HomeAndEndGoToTheFirstAndLastPhotoInBothViews)
{
    ASSERT_TRUE(importAndWait(photos()));
    for (const int mode : {int(TAVPhotosViewCltr::ModeBrowser), int(TAVPhotosViewCltr::ModeTable)}) {
        list()->clickShowType(mode);
        QWidget* view = mode == TAVPhotosViewCltr::ModeTable ? static_cast<QWidget*>(list()->tableView())
                                                             : static_cast<QWidget*>(list()->imageBrowser());
        view->setFocus();
        select({1});
        QTest::keyClick(view, Qt::Key_End);
        EXPECT_EQ(list()->selectedIndexes(), QList<int>{2}) << mode;
        EXPECT_EQ(window().selectedImages().first(), list()->maryDataSource().at(2));
        QTest::keyClick(view, Qt::Key_Home);
        EXPECT_EQ(list()->selectedIndexes(), QList<int>{0}) << mode;
        QTest::keyClick(view, Qt::Key_End, Qt::ShiftModifier);
        EXPECT_EQ(list()->selectedIndexes(), (QList<int>{0, 1, 2})) << mode;
        select({2});
        QTest::keyClick(view, Qt::Key_Home, Qt::ShiftModifier);
        EXPECT_EQ(list()->selectedIndexes(), (QList<int>{0, 1, 2})) << mode;
    }
}

TEST_F(MainWindowScaleTest, TheWindowsPlaceAndTheButtonsZoomAreKeptForTheNextStart)
{
    UserDefaults::standard().setBool(true, "remember_photo_list_size");
    const double zoom = list()->zoomValue();
    list()->clickEnlarge();
    list()->clickEnlarge();
    list()->clickSmaller();
    const QRect place(40, 60, 1100, 700);
    window().mainWindow()->setGeometry(place);
    QCoreApplication::processEvents();
    ASSERT_EQ(window().mainWindow()->geometry().size(), place.size());

    ctlr_ = std::make_unique<TAVMainWindowCtlr>(tempPath("src_temp"));
    ctlr_->mainWindow()->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(ctlr_->mainWindow()->geometry().size(), place.size());
    EXPECT_EQ(ctlr_->mainWindow()->geometry().topLeft(), place.topLeft());
    EXPECT_NEAR(ctlr_->photosViewCltr()->zoomValue(), zoom + 0.1, 1e-6);
}
