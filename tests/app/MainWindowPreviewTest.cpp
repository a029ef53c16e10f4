// The preview of the selected photos, opened with Space in the main window's
// list: it pages through every selected photo and hands the arrow keys back
// to the list.
#include "MainWindowFixture.h"

#include "app/TAVImageBrowserView.h"
#include "app/TAVPhotosViewCltr.h"
#include "app/TAVPreviewWindow.h"
#include "app/TAVSummaryViewCtlr.h"
#include "app/TAVThumbnailLoader.h"
#include "foundation/FileServices.h"
#include "support/Gallery.h"
#include "support/ImageFixtures.h"
#include "support/Patience.h"

#include <QDir>
#include <QLabel>
#include <QTest>
#include <QToolButton>

namespace {

class MainWindowPreviewTest : public MainWindowTest {
protected:
    TAVPreviewWindow* preview() { return window().photosViewCltr()->previewWindow(); }
    QToolButton* button(const char* name) { return preview()->findChild<QToolButton*>(QLatin1String(name)); }
    QLabel* place() { return preview()->findChild<QLabel*>(QStringLiteral("lblPreviewPlace")); }
};

TEST_F(MainWindowPreviewTest, PagesThroughEverySelectedPhotoAndTheArrowKeysMoveTheList)
{
    ASSERT_TRUE(importAndWait(samples({"npm-canon-s40.jpg", "npm-lumia.jpg", "png-nikon-d3.png", "goexif.tif"})));
    select({0, 1, 3});
    QWidget* browser = window().photosViewCltr()->imageBrowser();
    QTest::keyClick(browser, Qt::Key_Space);
    ASSERT_TRUE(preview()->isVisible());

    // Every selected photo, in the list's order, the first one first.
    EXPECT_EQ(preview()->images(), (QList<TAVImageObjectPtr>{images().at(0), images().at(1), images().at(3)}));
    EXPECT_EQ(preview()->shownImage(), images().at(0));
    EXPECT_EQ(place()->text(), "1 of 3");
    EXPECT_TRUE(place()->isVisible());
    EXPECT_FALSE(button("btnPreviewPrevious")->isEnabled());
    EXPECT_TRUE(Gallery::capture(preview(), "photo-list-preview-paging-1-of-3"));

    button("btnPreviewNext")->click();
    button("btnPreviewNext")->click();
    EXPECT_EQ(preview()->shownImage(), images().at(3));
    EXPECT_EQ(preview()->windowTitle(), images().at(3)->imageTitle());
    EXPECT_FALSE(preview()->picture().isNull());
    EXPECT_EQ(place()->text(), "3 of 3");
    EXPECT_FALSE(button("btnPreviewNext")->isEnabled()) << "no page after the last";
    EXPECT_TRUE(Gallery::capture(preview(), "photo-list-preview-paging-3-of-3"));
    button("btnPreviewPrevious")->click();
    EXPECT_EQ(preview()->shownImage(), images().at(1));
    EXPECT_EQ(place()->text(), "2 of 3");
    EXPECT_EQ(window().photosViewCltr()->selectedIndexes(), QList<int>({0, 1, 3})) << "paging leaves the selection";

    // A selection change that keeps the shown photo keeps it in view, at its new place.
    select({1, 2});
    EXPECT_EQ(preview()->shownImage(), images().at(1));
    EXPECT_EQ(place()->text(), "1 of 2");

    // The arrow keys still move the list's selection; one photo needs no pager.
    QTest::keyClick(preview(), Qt::Key_Right);
    ASSERT_EQ(window().photosViewCltr()->selectedIndexes().size(), 1);
    const int moved = window().photosViewCltr()->selectedIndexes().first();
    EXPECT_EQ(preview()->shownImage(), images().at(moved));
    EXPECT_EQ(window().selectedImages(), QList<TAVImageObjectPtr>{images().at(moved)});
    EXPECT_FALSE(place()->isVisible());
    EXPECT_TRUE(preview()->placeText().isEmpty());

    // Closed, it lets the photos go; opened again it starts at the first.
    QTest::keyClick(preview(), Qt::Key_Space);
    EXPECT_FALSE(preview()->isVisible());
    EXPECT_EQ(preview()->shownImage(), nullptr);
    select({0, 1, 2});
    QTest::keyClick(browser, Qt::Key_Space);
    EXPECT_EQ(preview()->shownImage(), images().at(0));
    EXPECT_EQ(place()->text(), "1 of 3");
}

// A photo whose picture was edited after the camera stored its large preview:
// the list, the Summary tab and the preview window show the picture as it is,
// never the old preview.
TEST_F(MainWindowPreviewTest, AnEditedPhotoShowsItsOwnPictureNotTheStoredPreviewEverywhere)
{
    QImage picture(2400, 1600, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QImage stored(600, 400, QImage::Format_RGB32);
    stored.fill(Qt::green);
    ASSERT_TRUE(QDir().mkpath(tempPath("in")));
    const QString path = tempPath("in/edited.jpg");
    ASSERT_TRUE(FileServices::writeFileAtomically(path, ImageFixtures::jpegWithStoredPreview(picture, stored)));
    ASSERT_TRUE(importAndWait({path}));
    select({0});
    const auto isRed = [](const QImage& shown) {
        const QColor centre = shown.pixelColor(shown.width() / 2, shown.height() / 2);
        return !shown.isNull() && centre.red() > 200 && centre.green() < 60;
    };

    QImage thumbnail;
    TAVThumbnailLoader* loader = window().photosViewCltr()->thumbnailLoader();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !(thumbnail = loader->thumbnail(images().at(0)->path())).isNull(); }, kPatientMs));
    EXPECT_TRUE(isRed(thumbnail)) << "the list's thumbnail";

    auto* summaryPicture = window().summaryTab()->findChild<QLabel*>(QStringLiteral("imageView"));
    ASSERT_NE(summaryPicture, nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return isRed(summaryPicture->pixmap().toImage()); }, kPatientMs))
        << "the Summary tab's picture";

    QTest::keyClick(window().photosViewCltr()->imageBrowser(), Qt::Key_Space);
    ASSERT_TRUE(preview()->isVisible());
    EXPECT_TRUE(QTest::qWaitFor([&] { return isRed(preview()->picture()); }, kPatientMs))
        << "the preview window's picture";
}

} // namespace
