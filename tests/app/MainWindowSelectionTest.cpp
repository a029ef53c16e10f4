#include "MainWindowFixture.h"

#include "app/ENTabBarView.h"
#include "app/TAVDetailViewCtlr.h"
#include "app/TAVPhotoListModel.h"
#include "app/TAVPhotosViewCltr.h"
#include "commlib/TAVBaseTabViewCltr.h"
#include "commlib/TAVSearchableTagTableModel.h"
#include "commlib/VXDropDownButton.h"
#include "foundation/NotificationHub.h"
#include "gps/TAVGPSViewController.h"
#include "support/Gallery.h"
#include "support/Patience.h"

#include <QLineEdit>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QString valueOf(const TAVImageObjectPtr& image, const QString& key, int category = 0)
{
    return image->exifData()->getValueForKey(key, category);
}

// Stands in the GPS tab's slot: records what the window hands it.
class SlotTab : public TAVBaseTabViewCltr {
public:
    void setImgExifData(const TAVExifDataPtr& record) override
    {
        TAVBaseTabViewCltr::setImgExifData(record);
        ++records;
    }
    void setEditEnable(bool enable) override { editable = enable; }
    int records = 0;
    bool editable = false;
};

} // namespace

TEST_F(MainWindowTest, TheGpsSlotHoldsTheGpsTabAndAnyTabPutThereFollowsTheShownRecord)
{
    window().tabBar()->selectTab(TAVMainWindowCtlr::TabGps);
    auto* own = qobject_cast<TAVGPSViewController*>(window().tabSelectedView());
    ASSERT_NE(own, nullptr);
    EXPECT_TRUE(own->isVisible());
    EXPECT_EQ(own->imgExifData(), window().curExifData());

    auto* gps = new SlotTab;
    window().setGpsTab(gps);
    EXPECT_EQ(window().tabSelectedView(), gps);
    EXPECT_TRUE(gps->isVisible()) << "the selected GPS tab shows its view at once";
    EXPECT_EQ(gps->imgExifData(), window().curExifData());
    EXPECT_FALSE(gps->editable);

    ASSERT_TRUE(importAndWait({photoWithTags("a.jpg", {})}));
    EXPECT_EQ(gps->imgExifData(), window().selectedImages().first()->exifData());
    EXPECT_TRUE(gps->editable);
}

TEST_F(MainWindowTest, SeveralImagesShowTheirCommonValuesAndTakeEditsWithoutLosingTheirOwn)
{
    ASSERT_TRUE(importAndWait({
        photoWithTags("a.jpg", {{"Exif.Image.Make", "Canon"}, {"Exif.Image.Model", "X1"}}),
        photoWithTags("b.jpg", {{"Exif.Image.Make", "Canon"}, {"Exif.Image.Model", "Y2"}}),
        photoWithTags("c.jpg", {{"Exif.Image.Make", "Nikon"}, {"Exif.Image.Model", "X1"}}),
    }));
    const QList<TAVImageObjectPtr> images = window().photosViewCltr()->getDataSourceForCurrentState();
    ASSERT_EQ(images.size(), 3);

    struct Case {
        QList<int> rows;
        QString make; // what the camera field shows
    };
    int user = 0;
    for (const Case& c : {Case{{0, 1}, "Canon"}, Case{{0, 2}, ""}}) {
        SCOPED_TRACE(c.make.toStdString());
        select(c.rows);
        const TAVExifDataPtr shown = window().curExifData();
        EXPECT_EQ(summaryField("fldCamera")->text(), c.make);
        EXPECT_FALSE(shown->isModifiedForKey("Exif.Image.Make", 0));
        EXPECT_FALSE(shown->isModifiedForKey("Exif.Image.Model", 0));
        EXPECT_EQ(summaryField("fldPhotographer")->text(), "") << "a key both lack";
        EXPECT_EQ(summaryField("fldCameraModel")->text(), c.make.isEmpty() ? "X1" : "");

        const QString artist = QStringLiteral("Ann %1").arg(++user);
        QTest::keyClicks(summaryField("fldPhotographer"), artist);
        emit summaryField("fldPhotographer")->editingFinished();
        QCoreApplication::processEvents();
        for (int row : c.rows) {
            EXPECT_EQ(valueOf(images.at(row), "Exif.Image.Artist"), artist) << row;
            EXPECT_TRUE(images.at(row)->exifData()->isModifiedForKey("Exif.Image.Artist", 0));
            EXPECT_FALSE(images.at(row)->exifData()->isModifiedForKey("Exif.Image.Make", 0));
        }
        // Typing rebuilt nothing and moved nothing.
        EXPECT_EQ(window().curExifData(), shown);
        EXPECT_EQ(window().photosViewCltr()->selectedIndexes(), c.rows);
        EXPECT_EQ(summaryField("fldPhotographer")->text(), artist);
    }
    EXPECT_EQ(valueOf(images.at(0), "Exif.Image.Make"), "Canon");
    EXPECT_EQ(valueOf(images.at(1), "Exif.Image.Make"), "Canon");
    EXPECT_EQ(valueOf(images.at(2), "Exif.Image.Make"), "Nikon");
    EXPECT_EQ(valueOf(images.at(1), "Exif.Image.Model"), "Y2");
    EXPECT_EQ(valueOf(images.at(1), "Exif.Image.Artist"), "Ann 1") << "not selected the second time";

    // A value common to all and modified in every image after the first
    // comes back modified in the new common record.
    select({0, 1, 2});
    EXPECT_EQ(window().curExifData()->getValueForKey("Exif.Image.Artist", 0), "");
    select({0, 2});
    EXPECT_EQ(summaryField("fldPhotographer")->text(), "Ann 2");
    EXPECT_TRUE(window().curExifData()->isModifiedForKey("Exif.Image.Artist", 0));
}

TEST_F(MainWindowTest, OneImageIsEditedInPlaceAndOnlyAPendingModifyingNoticeApplies)
{
    ASSERT_TRUE(importAndWait({photoWithTags("a.jpg", {{"Exif.Image.Make", "Canon"}}),
        photoWithTags("b.jpg", {{"Exif.Image.Make", "Nikon"}})}));
    const QList<TAVImageObjectPtr> images = window().photosViewCltr()->getDataSourceForCurrentState();
    select({0});
    EXPECT_EQ(window().curExifData(), images.at(0)->exifData()) << "the image's own record, not a copy";

    QLineEdit* camera = summaryField("fldCamera");
    camera->selectAll();
    QTest::keyClicks(camera, "Leica");
    emit camera->editingFinished();
    EXPECT_EQ(valueOf(images.at(0), "Exif.Image.Make"), "Leica");
    EXPECT_FALSE(TAVBaseTabViewCltr::isPendingEdits()) << "applied and cleared";
    // The row shows the modified badge once the list has reloaded.
    auto badged = [&](int row) {
        return !window().photosViewCltr()->listModel()->index(row, 0).data(Qt::DecorationRole).isNull();
    };
    EXPECT_EQ(TAVPhotosViewCltr::getStringFromModifyState(images.at(0)->exifData()->enuModifyState()), "M");
    EXPECT_TRUE(QTest::qWaitFor([&] { return badged(0); }, kPatientMs));
    EXPECT_FALSE(badged(1));

    // With two selected, an edit reaches the images only when the notice says
    // so and the flag is still up.
    select({0, 1});
    const TAVExifDataPtr shown = window().curExifData();
    shown->setValue("Zed", "Exif.Image.Artist", 0, false, false, true);
    auto post = [&](bool pending, bool hasModify) {
        TAVBaseTabViewCltr::setPendingEdits(pending);
        NotificationHub::defaultHub().post(TAVBaseTabViewCltr::kNotiFileMetadataHasChanged, nullptr,
            {{"hasModify", hasModify}, {"needRefresh", false}});
    };
    post(true, false);
    post(false, true);
    for (const auto& image : images)
        EXPECT_EQ(valueOf(image, "Exif.Image.Artist"), "");
    post(true, true);
    for (const auto& image : images)
        EXPECT_EQ(valueOf(image, "Exif.Image.Artist"), "Zed");
    EXPECT_EQ(valueOf(images.at(1), "Exif.Image.Make"), "Nikon");
    EXPECT_EQ(window().curExifData(), shown) << "no refresh was asked for";
}

TEST_F(MainWindowTest, RemovingTheSelectedImagesShowsNoneOfThemAnyMore)
{
    ASSERT_TRUE(importAndWait({photoWithTags("a.jpg", {{"Exif.Image.Make", "Canon"}}), photoWithTags("b.jpg", {})}));
    select({0});
    ASSERT_EQ(summaryField("fldCamera")->text(), "Canon");
    // Removing another photo leaves the shown one.
    const TAVExifDataPtr shown = window().curExifData();
    window().photosViewCltr()->imageBrowserRemoveItemsAtIndexes({1});
    QCoreApplication::processEvents();
    EXPECT_EQ(window().curExifData(), shown);
    ASSERT_TRUE(importAndWait({photoWithTags("b.jpg", {})}));
    select({0, 1});
    ASSERT_EQ(window().selectedImages().size(), 2);
    window().photosViewCltr()->removeSelectedImageObjects();
    QCoreApplication::processEvents();
    ASSERT_EQ(window().photosViewCltr()->maryDataSource().size(), 0);
    EXPECT_TRUE(window().selectedImages().isEmpty());
    EXPECT_EQ(window().curExifData(), window().defaultSetting());
    EXPECT_EQ(summaryField("fldCamera")->text(), "");
    EXPECT_FALSE(window().btnClearOne()->isEnabled());

    ASSERT_TRUE(importAndWait({photoWithTags("c.jpg", {})}));
    EXPECT_EQ(window().curExifData(), window().photosViewCltr()->maryDataSource().first()->exifData());
    select({});
    EXPECT_EQ(window().curExifData(), window().defaultSetting());
    EXPECT_EQ(summaryField("fldCamera")->text(), "");
    EXPECT_FALSE(window().defaultSetting()->isModifiedForKey("Exif.Image.Make", 0));
}

TEST_F(MainWindowTest, DetailTagsCommonToSeveralImagesAreListedAndEditedInEach)
{
    ASSERT_TRUE(importAndWait({
        photoWithTags("a.jpg", {{"Exif.Image.HostComputer", "Studio PC"}, {"Exif.Image.Make", "Canon"}}),
        photoWithTags("b.jpg", {{"Exif.Image.HostComputer", "Studio PC"}, {"Exif.Image.Make", "Canon"}}),
    }));
    const QList<TAVImageObjectPtr> images = window().photosViewCltr()->getDataSourceForCurrentState();
    select({0, 1});
    window().tabBar()->selectTab(TAVMainWindowCtlr::TabDetail);
    TAVDetailViewCtlr* detail = window().detailTab();
    const TAVSearchableTagTable& table = detail->model()->table();
    auto rowOf = [&](const QString& key) {
        for (int row = 0; row < table.shownCount(); ++row) {
            if (table.shownRow(row)->entity->key() == key)
                return row;
        }
        return -1;
    };
    const int row = rowOf("Exif.Image.HostComputer");
    ASSERT_GE(row, 0);
    EXPECT_EQ(rowOf("EXIF"), 0) << "the family heading leads the list";
    EXPECT_GE(rowOf("IPTC"), 0);
    const QModelIndex cell = detail->model()->index(row, 2);
    EXPECT_EQ(cell.data().toString(), "Studio PC");

    TAVBaseTabViewCltr::setPendingEdits(true); // as the cell editor's keystrokes do
    ASSERT_TRUE(detail->model()->setData(cell, "Render Box"));
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    for (const auto& image : images) {
        EXPECT_EQ(valueOf(image, "Exif.Image.HostComputer", 3), "Render Box");
        EXPECT_EQ(valueOf(image, "Exif.Image.Make"), "Canon");
    }
    EXPECT_GE(rowOf("Exif.Image.HostComputer"), 0) << "the rebuilt common record lists it again";
    EXPECT_TRUE(Gallery::capture(window().mainWindow(), "main-window-details-two-selected"));
}
