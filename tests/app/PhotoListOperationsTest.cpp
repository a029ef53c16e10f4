#include "PhotoListFixture.h"

#include "app/TAVImageBrowserView.h"
#include "app/TAVPhotoListModel.h"
#include "app/TAVPreviewWindow.h"
#include "commlib/VXDropInTipsView.h"
#include "commlib/VXKeyPressTableView.h"
#include "commlib/VXPopUpButton.h"
#include "foundation/UserDefaults.h"
#include "support/FakeWorkspace.h"

#include <QAction>

#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMimeData>
#include <QSlider>
#include <QTest>
#include <QToolButton>

namespace {

QStringList srcNames(const QList<TAVImageObjectPtr>& images)
{
    QStringList names;
    for (const TAVImageObjectPtr& image : images) {
        names.append(QFileInfo(image->srcPath()).fileName());
    }
    return names;
}

} // namespace

TEST_F(PhotoListTest, ASelectionMadeInTheBrowserIsTheTablesSelection)
{
    makeList();
    importNumbered(6);
    list_->show();
    TAVImageBrowserView* browser = list_->imageBrowser();
    browser->doItemsLayout();
    const QPoint first = browser->visualRect(list_->listModel()->index(1, 0)).center();
    QTest::mouseClick(browser->viewport(), Qt::LeftButton, Qt::NoModifier, first);
    for (const int row : {3, 4}) {
        const QPoint point = browser->visualRect(list_->listModel()->index(row, 0)).center();
        QTest::mouseClick(browser->viewport(), Qt::LeftButton, Qt::ControlModifier, point);
    }
    ASSERT_EQ(list_->selectedIndexes(), QList<int>({1, 3, 4}));
    EXPECT_EQ(delegate_.selections.last(), QList<int>({1, 3, 4}));

    list_->clickShowType(TAVPhotosViewCltr::ModeTable);
    for (int row = 0; row < 6; ++row) {
        EXPECT_EQ(
            list_->tableView()->selectionModel()->isRowSelected(row, QModelIndex()), row == 1 || row == 3 || row == 4)
            << row;
    }
    EXPECT_EQ(srcNames(list_->selectedImageObjects()), QStringList({"p001.jpg", "p003.jpg", "p004.jpg"}));
}

TEST_F(PhotoListTest, SearchIgnoresCaseAndClearingItSelectsTheFirstImage)
{
    makeList();
    ASSERT_TRUE(importAndWait({photo("img_0001.jpg"), photo("holiday.jpg"), photo("beach.png")}));
    list_->typeInSearchField("IMG");
    EXPECT_TRUE(list_->isSearchState());
    EXPECT_EQ(shownNames(), QStringList({"img_0001.jpg"}));
    EXPECT_EQ(list_->listModel()->rowCount(), 1);

    list_->selectionModel()->clearSelection();
    list_->typeInSearchField(QString());
    EXPECT_FALSE(list_->isSearchState());
    EXPECT_EQ(list_->listModel()->rowCount(), 3);
    EXPECT_EQ(list_->selectedIndexes(), QList<int>({0}));
}

TEST_F(PhotoListTest, SortingFlipsOnTheSameKeyAndKeepsTheSelectionAndAnImportKeepsTheOrder)
{
    makeList();
    importNumbered(4); // the import sorted by name, ascending
    ASSERT_EQ(list_->sortKey(), "name");
    ASSERT_TRUE(list_->sortAscending());
    list_->selectIndexes({0, 3});
    const QList<TAVImageObjectPtr> chosen = list_->selectedImageObjects();

    list_->clickSortPop(); // the same item again
    EXPECT_FALSE(list_->sortAscending());
    EXPECT_EQ(srcNames(list_->maryDataSource()), QStringList({"p003.jpg", "p002.jpg", "p001.jpg", "p000.jpg"}));
    EXPECT_EQ(list_->selectedImageObjects(), QList<TAVImageObjectPtr>({chosen.at(1), chosen.at(0)}));
    list_->clickSortPop();
    EXPECT_TRUE(list_->sortAscending());
    EXPECT_EQ(srcNames(list_->maryDataSource()).first(), "p000.jpg");

    // A header click sorts by its column and moves the pop-up to that key.
    list_->clickShowType(TAVPhotosViewCltr::ModeTable);
    list_->show();
    QHeaderView* header = list_->tableView()->horizontalHeader();
    const int x = header->sectionViewportPosition(TAVPhotoListModel::ColumnType) + 10;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(x, header->height() / 2));
    EXPECT_EQ(list_->sortKey(), "type");
    EXPECT_EQ(list_->popSort()->currentText(), "Type");
    EXPECT_EQ(header->sortIndicatorSection(), int(TAVPhotoListModel::ColumnType));

    // An import keeps the key and the direction the user chose.
    const bool before = list_->sortAscending();
    importAndWait({photo("late.jpg")});
    EXPECT_EQ(list_->sortAscending(), before);
    EXPECT_EQ(list_->sortKey(), "type");
}

TEST_F(PhotoListTest, RemovalSelectsTheImageBeforeTheLastRemovedInsideTheList)
{
    const struct {
        QList<int> removed;
        int selected;
    } cases[] = {{{4}, 3}, {{0, 1}, 0}, {{5, 6, 7, 8, 9}, 4}};
    for (const auto& entry : cases) {
        makeList();
        importNumbered(10, QStringLiteral("set%1").arg(entry.selected));
        list_->selectIndexes(entry.removed);
        list_->removeSelectedImageObjects();
        EXPECT_EQ(list_->maryDataSource().size(), 10 - entry.removed.size());
        EXPECT_EQ(list_->selectedIndexes(), QList<int>({entry.selected})) << entry.selected;
        ASSERT_FALSE(delegate_.removals.isEmpty());
        EXPECT_EQ(delegate_.removals.last().size(), entry.removed.size());
    }

    list_->clearAllImageObjects();
    EXPECT_TRUE(list_->maryDataSource().isEmpty());
    EXPECT_FALSE(list_->fileSegment(TAVPhotosViewCltr::SegmentRemove)->isEnabled());
    EXPECT_FALSE(list_->fileSegment(TAVPhotosViewCltr::SegmentClear)->isEnabled());
    EXPECT_FALSE(list_->tipsView()->isHidden());
    EXPECT_TRUE(list_->searchField()->isHidden());
    const int beeps = ui_.beeps();
    list_->clearAllImageObjects();
    list_->removeSelectedImageObjects();
    EXPECT_EQ(ui_.beeps(), beeps + 2) << "nothing to remove";
}

TEST_F(PhotoListTest, ClearDuringASearchRemovesOnlyTheHits)
{
    makeList();
    ASSERT_TRUE(importAndWait({photo("img_1.jpg"), photo("img_2.jpg"), photo("other.jpg")}));
    list_->typeInSearchField("img");
    list_->clearAllImageObjects();
    EXPECT_TRUE(list_->getDataSourceForCurrentState().isEmpty());
    EXPECT_EQ(srcNames(list_->maryDataSource()), QStringList({"other.jpg"}));
    list_->typeInSearchField(QString());
    EXPECT_EQ(list_->listModel()->rowCount(), 1);
}

TEST_F(PhotoListTest, UnsavedEditsAreOnlyRemovedAfterTheQuestion)
{
    makeList();
    importNumbered(4);
    list_->maryDataSource().at(1)->exifData()->setEnuModifyState(TAVExifData::StateModified);

    list_->selectIndexes({0, 2});
    list_->removeSelectedImageObjects();
    EXPECT_TRUE(ui_.alerts().isEmpty()) << "no modified image among those removed";
    EXPECT_EQ(list_->maryDataSource().size(), 2);

    // Removing the modified one, by button and by the delete key: Cancel keeps it.
    ui_.answerAlerts({UiServices::SecondButton, UiServices::SecondButton, UiServices::SecondButton});
    int modifiedRow = 0;
    while (list_->maryDataSource().at(modifiedRow)->exifData()->enuModifyState() != TAVExifData::StateModified) {
        ++modifiedRow;
    }
    list_->selectIndexes({modifiedRow});
    list_->removeSelectedImageObjects();
    list_->show();
    list_->imageBrowser()->setFocus();
    QTest::keyClick(list_->imageBrowser(), Qt::Key_Delete);
    list_->clearAllImageObjects(); // the modified one is among all, selected or not
    ASSERT_EQ(ui_.alerts().size(), 3);
    EXPECT_EQ(ui_.alerts().first().title, "Remove photos with unsaved changes?");
    EXPECT_EQ(ui_.alerts().first().defaultButton, 1) << "Return keeps the photos";
    EXPECT_EQ(ui_.alerts().first().message, "Some Image(s) contains unsaved change, do you really want to remove?");
    EXPECT_EQ(ui_.alerts().first().buttons, QStringList({"Remove", "Cancel"}));
    EXPECT_EQ(list_->maryDataSource().size(), 2);

    ui_.answerAlerts({UiServices::FirstButton});
    list_->clearAllImageObjects();
    EXPECT_TRUE(list_->maryDataSource().isEmpty());
}

TEST_F(PhotoListTest, DraggedImagesMoveBeforeTheDestination)
{
    makeList();
    importNumbered(8);
    TAVPhotoListModel* model = list_->listModel();
    std::unique_ptr<QMimeData> dragged(model->mimeData({model->index(0, 0), model->index(1, 0), model->index(1, 2)}));
    EXPECT_TRUE(model->dropMimeData(dragged.get(), Qt::MoveAction, 5, 0, QModelIndex()));
    EXPECT_EQ(srcNames(list_->maryDataSource()),
        QStringList({"p002.jpg", "p003.jpg", "p004.jpg", "p000.jpg", "p001.jpg", "p005.jpg", "p006.jpg", "p007.jpg"}));
    EXPECT_EQ(srcNames(model->rows()), srcNames(list_->maryDataSource()));

    list_->typeInSearchField("p00");
    EXPECT_FALSE(list_->imageBrowserMoveItemsAtIndexesToIndex({0}, 3));
}

TEST_F(PhotoListTest, ZoomStaysInsideItsRangeAndIsRememberedOnlyWhenAsked)
{
    UserDefaults& defaults = UserDefaults::standard();
    makeList();
    EXPECT_FLOAT_EQ(list_->zoomValue(), 0.5f) << "nothing stored";
    defaults.setBool(true, "remember_photo_list_size");
    makeList();
    EXPECT_FLOAT_EQ(list_->zoomValue(), 0.5f) << "remembering, but nothing stored yet";
    defaults.setBool(false, "remember_photo_list_size");
    for (int i = 0; i < 8; ++i) {
        list_->clickEnlarge();
    }
    EXPECT_FLOAT_EQ(list_->zoomValue(), 1.0f);
    for (int i = 0; i < 12; ++i) {
        list_->clickSmaller();
    }
    EXPECT_FLOAT_EQ(list_->zoomValue(), 0.0f);
    EXPECT_FALSE(defaults.hasStoredValueForKey("PhotoRescaleKey")) << "the buttons store nothing";

    list_->slideZoom()->setValue(30);
    EXPECT_NEAR(list_->zoomValue(), 0.3, 1e-6);
    EXPECT_FALSE(defaults.hasStoredValueForKey("PhotoRescaleKey"));
    defaults.setBool(true, "remember_photo_list_size");
    list_->slideZoom()->setValue(80);
    EXPECT_NEAR(defaults.doubleForKey("PhotoRescaleKey"), 0.8, 1e-6);

    makeList();
    EXPECT_NEAR(list_->zoomValue(), 0.8, 1e-6) << "remembered";
    defaults.setBool(false, "remember_photo_list_size");
    makeList();
    EXPECT_FLOAT_EQ(list_->zoomValue(), 0.5f);
}

TEST_F(PhotoListTest, SpaceTogglesThePreviewThatFollowsTheSelection)
{
    makeList();
    importNumbered(3);
    list_->show();
    list_->selectIndexes({0});
    TAVPreviewWindow* preview = list_->previewWindow();
    QTest::keyClick(list_->imageBrowser(), Qt::Key_Space);
    ASSERT_TRUE(preview->isVisible());
    EXPECT_EQ(preview->windowTitle(), list_->maryDataSource().at(0)->imageTitle());
    EXPECT_FALSE(preview->picture().isNull());

    QTest::keyClick(preview, Qt::Key_Right); // goes to the browser
    EXPECT_EQ(list_->selectedIndexes(), QList<int>({1}));
    EXPECT_EQ(preview->shownImage(), list_->maryDataSource().at(1));
    QTest::keyClick(preview, Qt::Key_Space);
    EXPECT_FALSE(preview->isVisible());

    list_->moveSelection(true);
    EXPECT_EQ(list_->selectedIndexes(), QList<int>({2}));
    list_->moveSelection(true);
    EXPECT_EQ(list_->selectedIndexes(), QList<int>({2})) << "no image after the last";
}

TEST_F(PhotoListTest, TheContextMenuCountsTheSelectionAndRevealsTheUsersFiles)
{
    FakeWorkspace workspace;
    Workspace::setShared(&workspace);
    makeList();
    const QStringList paths = importNumbered(3);
    list_->selectIndexes({0, 2});
    EXPECT_EQ(list_->deleteMenuItem()->text(), "Delete 2 image");
    list_->clickRevealInFinder();
    EXPECT_EQ(workspace.revealedFiles(), QStringList({paths.at(0), paths.at(2)})) << "the user's files, not the copies";
    list_->deleteMenuItem()->trigger();
    EXPECT_EQ(srcNames(list_->maryDataSource()), QStringList({"p001.jpg"}));
    Workspace::setShared(nullptr);
}
