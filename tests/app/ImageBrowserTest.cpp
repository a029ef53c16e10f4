#include "PhotoListFixture.h"

#include "app/TAVImageBrowserView.h"
#include "app/TAVPhotoListModel.h"
#include "app/TAVPreviewWindow.h"
#include "app/TAVThumbnailLoader.h"
#include "app/TAVimageBrowserCell.h"
#include "commlib/VXDropInTipsView.h"
#include "commlib/VXKeyPressTableView.h"
#include "models/image/TAVImageCacheManager.h"
#include "support/Gallery.h"
#include "support/Patience.h"
#include "support/SyntheticDrops.h"

#include <QBuffer>
#include <QDir>
#include <QPainter>
#include <QSemaphore>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include <atomic>

#include <exiv2/exiv2.hpp>

namespace {

QImage solid(const QColor& colour, QSize size = QSize(160, 120))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

bool near(const QColor& a, const QColor& b, int tolerance = 24)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
        && std::abs(a.blue() - b.blue()) <= tolerance;
}

} // namespace

TEST(TAVimageBrowserCell, BadgeSitsAtTheLowerRightOfThePictureMovingWithTheZoom)
{
    const QRect cell(10, 20, 200, 250);
    const QRectF picture(16, 26, 188, 120); // bottom edge at 146
    EXPECT_EQ(TAVimageBrowserCell::badgeRect(cell, picture, 0.0), QRectF(190, 122, 20, 20));
    EXPECT_EQ(TAVimageBrowserCell::badgeRect(cell, picture, 1.0), QRectF(185, 112, 20, 20));
    EXPECT_EQ(TAVimageBrowserCell::iconSide(0.0), 64);
    EXPECT_EQ(TAVimageBrowserCell::iconSide(1.0), 256);
    EXPECT_EQ(TAVimageBrowserCell::iconSide(7.0), 256);
}

TEST_F(PhotoListTest, EveryStateImageIsPaintedInItsBadgePlace)
{
    const QColor ground(128, 128, 128);
    makeList(QString(), [ground](const QString&, int) { return solid(ground); });
    ASSERT_TRUE(importAndWait({photo("state.jpg")}));
    list_->show();
    TAVImageBrowserView* browser = list_->imageBrowser();
    TAVPhotoListModel* model = list_->listModel();
    const QModelIndex index = model->index(0, 0);
    model->data(index, TAVPhotoListModel::ThumbnailRole);
    ASSERT_TRUE(QTest::qWaitFor([&] { return list_->thumbnailLoader()->cachedCount() == 1; }, kPatientMs));
    list_->selectionModel()->clearSelection();

    const struct {
        int32_t state;
        QColor expected;
    } states[] = {
        {TAVExifData::StateNone, ground},
        {TAVExifData::StateModified, QColor(232, 140, 20)},
        {TAVExifData::StateSaved, QColor(30, 130, 90)},
        {TAVExifData::StateSaveFailed, QColor(200, 30, 45)},
    };
    for (const double zoom : {0.0, 1.0}) {
        browser->setZoomValue(zoom);
        browser->doItemsLayout();
        for (const auto& entry : states) {
            list_->maryDataSource().first()->exifData()->setEnuModifyState(entry.state);
            list_->reloadViewByAutoDetectSegementSelected();
            const QImage shot = browser->viewport()->grab().toImage();
            const QRect cell = browser->visualRect(index);
            const QRectF picture
                = TAVimageBrowserCell::imageRect(TAVimageBrowserCell::imageContainerRect(cell, zoom), QSize(160, 120));
            const QRectF badge = TAVimageBrowserCell::badgeRect(cell, picture, zoom);
            // A point of the badge's disc that no sign covers.
            const QPoint probe = (badge.topLeft() + QPointF(4.5, 7.5)).toPoint();
            EXPECT_TRUE(near(shot.pixelColor(probe), entry.expected))
                << "zoom " << zoom << " state " << entry.state << ": " << qPrintable(shot.pixelColor(probe).name());
        }
    }
}

TEST_F(PhotoListTest, ASlowThumbnailLeavesThePlaceholderWhileTheWindowRuns)
{
    auto gate = std::make_shared<QSemaphore>(0);
    makeList(QString(), [gate](const QString&, int) {
        gate->acquire();
        return solid(QColor(0, 0, 255), QSize(90, 60));
    });
    struct Release {
        std::shared_ptr<QSemaphore> gate;
        ~Release() { gate->release(10); }
    } release{gate};
    ASSERT_TRUE(importAndWait({photo("slow.jpg")}));
    TAVPhotoListModel* model = list_->listModel();
    const QModelIndex index = model->index(0, 0);
    QSignalSpy changed(model, &QAbstractItemModel::dataChanged);

    EXPECT_EQ(model->data(index, TAVPhotoListModel::ThumbnailRole).value<QImage>(), TAVThumbnailLoader::placeholder());
    bool timerRan = false;
    QTimer::singleShot(10, [&timerRan] { timerRan = true; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return timerRan; }, kPatientMs)) << "the GUI thread does not wait for the loader";
    EXPECT_EQ(model->data(index, TAVPhotoListModel::ThumbnailRole).value<QImage>(), TAVThumbnailLoader::placeholder());

    gate->release();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            for (const QList<QVariant>& signal : std::as_const(changed)) {
                if (signal.at(2).value<QList<int>>().contains(TAVPhotoListModel::ThumbnailRole)) {
                    return true;
                }
            }
            return false;
        },
        kPatientMs));
    const QImage thumbnail = model->data(index, TAVPhotoListModel::ThumbnailRole).value<QImage>();
    EXPECT_EQ(thumbnail.size(), QSize(90, 60));
    EXPECT_EQ(thumbnail.pixelColor(45, 30), QColor(0, 0, 255));
}

TEST_F(PhotoListTest, ACameraRawFileShowsItsEmbeddedPreview)
{
    // A TIFF-based raw file: blue pixels, with a red JPEG preview inside.
    const QString path = tempPath("camera.dng");
    ASSERT_TRUE(solid(QColor(0, 0, 255), QSize(64, 48)).save(path, "TIFF"));
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(solid(QColor(255, 0, 0), QSize(40, 30)).save(&buffer, "JPG"));
    auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
    image->readMetadata();
    Exiv2::ExifThumb thumb(image->exifData());
    thumb.setJpegThumbnail(reinterpret_cast<const Exiv2::byte*>(jpeg.constData()), long(jpeg.size()));
    image->writeMetadata();

    const QImage thumbnail = TAVThumbnailLoader::defaultLoad(path);
    ASSERT_FALSE(thumbnail.isNull());
    const QColor middle = thumbnail.pixelColor(thumbnail.width() / 2, thumbnail.height() / 2);
    EXPECT_TRUE(near(middle, QColor(255, 0, 0), 40)) << qPrintable(middle.name());
}

TEST_F(PhotoListTest, Gallery)
{
    makeList();
    TAVPhotosViewCltr& list = *list_;
    list.resize(760, 520);
    list.show();
    EXPECT_TRUE(Gallery::capture(&list, "photo-list-empty-tips"));

    const QColor colours[] = {QColor(220, 120, 60), QColor(60, 140, 200), QColor(90, 170, 90), QColor(200, 180, 60),
        QColor(150, 90, 170), QColor(70, 70, 90)};
    QStringList paths;
    for (int i = 0; i < 6; ++i) {
        QImage picture(i % 2 ? QSize(300, 200) : QSize(200, 260), QImage::Format_RGB32);
        picture.fill(colours[i]);
        QPainter painter(&picture);
        painter.setBrush(colours[i].lighter(150));
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(picture.rect().center(), picture.width() / 4, picture.height() / 4);
        painter.end();
        paths.append(tempPath(QStringLiteral("gallery/IMG_%1.jpg").arg(2040 + i)));
        QDir().mkpath(tempPath("gallery"));
        ASSERT_TRUE(picture.save(paths.last()));
    }
    ASSERT_TRUE(importAndWait(paths));
    const int32_t states[] = {TAVExifData::StateModified, TAVExifData::StateNone, TAVExifData::StateSaved,
        TAVExifData::StateSaveFailed, TAVExifData::StateNone, TAVExifData::StateModified};
    for (int i = 0; i < 6; ++i) {
        list.maryDataSource().at(i)->exifData()->setEnuModifyState(states[i]);
        list.listModel()->data(list.listModel()->index(i, 0), TAVPhotoListModel::ThumbnailRole);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return list.thumbnailLoader()->cachedCount() == 6; }, kPatientMs));
    list.selectIndexes({1, 2});
    list.reloadViewByAutoDetectSegementSelected();
    EXPECT_TRUE(Gallery::capture(&list, "photo-list-browser"));

    list.clickShowType(TAVPhotosViewCltr::ModeTable);
    EXPECT_TRUE(Gallery::capture(&list, "photo-list-table"));

    list.togglePreview();
    ASSERT_TRUE(list.previewWindow()->isVisible());
    EXPECT_TRUE(Gallery::capture(list.previewWindow(), "photo-list-preview"));
}

TEST_F(PhotoListTest, FilesDroppedOnTheTipsViewOrTheBrowserAreImported)
{
    makeList();
    list_->show();
    std::unique_ptr<QMimeData> first(SyntheticDrop::files({photo("dropped/one.jpg"), tempPath("dropped/notes.txt")}));
    const SyntheticDrop onTips = SyntheticDrop::onto(list_->tipsView(), *first);
    EXPECT_TRUE(onTips.dropped);
    ASSERT_TRUE(QTest::qWaitFor([&] { return delegate_.finishes == 1; }, kPatientMs));
    EXPECT_EQ(shownNames(), QStringList({"one.jpg"}));
    EXPECT_TRUE(list_->tipsView()->isHidden());

    QWidget* viewport = list_->imageBrowser()->viewport();
    std::unique_ptr<QMimeData> second(SyntheticDrop::files({photo("dropped/two.jpg")}));
    list_->typeInSearchField("one");
    EXPECT_FALSE(SyntheticDrop::onto(viewport, *second).entered) << "refused while a search is shown";
    list_->typeInSearchField(QString());
    EXPECT_TRUE(SyntheticDrop::onto(viewport, *second).dropped);
    ASSERT_TRUE(QTest::qWaitFor([&] { return delegate_.finishes == 2; }, kPatientMs));
    EXPECT_EQ(list_->maryDataSource().size(), 2);
}

TEST_F(PhotoListTest, TheModeSwitchSlidesTheOtherViewIn)
{
    makeList();
    importNumbered(2);
    list_->show();
    TAVPhotosViewCltr::setAnimationsEnabled(true);
    list_->clickShowType(TAVPhotosViewCltr::ModeTable);
    QWidget* table = list_->tableView()->parentWidget();
    QWidget* browser = list_->imageBrowser()->parentWidget();
    EXPECT_TRUE(QTest::qWaitFor([&] { return browser->isHidden(); }, kPatientMs));
    EXPECT_EQ(table->geometry(), table->parentWidget()->rect());
    EXPECT_FALSE(list_->slideZoom()->isVisible()) << "zoom belongs to the thumbnails";
    TAVPhotosViewCltr::setAnimationsEnabled(false);
}

TEST_F(PhotoListTest, ImportDecodesNoPictureAndThumbnailsAreDecodedSmallWithoutFillingTheImageCache)
{
    // A list that is never shown asks for no thumbnail: whatever is decoded
    // comes from the import itself.
    std::atomic<int> loads{0};
    makeList(QString(), [&loads](const QString& path, int side) {
        ++loads;
        return TAVThumbnailLoader::defaultLoad(path, side);
    });
    const qsizetype cachedBefore = TAVImageCacheManager::sharedInstance().count();
    const QString large = tempPath(QStringLiteral("in/large.jpg"));
    ASSERT_TRUE(QDir().mkpath(tempPath(QStringLiteral("in"))));
    ASSERT_TRUE(solid(QColor(0, 160, 0), QSize(3000, 2000)).save(large, "JPG"));
    photo(QStringLiteral("in/small.jpg"));
    ASSERT_TRUE(importAndWait({tempPath(QStringLiteral("in"))}));
    ASSERT_EQ(list_->maryDataSource().size(), 2);
    EXPECT_EQ(loads.load(), 0);
    EXPECT_EQ(TAVImageCacheManager::sharedInstance().count(), cachedBefore);

    const QImage thumbnail = TAVThumbnailLoader::defaultLoad(large);
    EXPECT_EQ(thumbnail.size(), QSize(256, 170));
    EXPECT_TRUE(near(thumbnail.pixelColor(128, 85), QColor(0, 160, 0)));
    EXPECT_EQ(TAVImageCacheManager::sharedInstance().count(), cachedBefore);
}

TEST_F(PhotoListTest, TheThumbnailsKeptAreThoseOfTheCellsInViewAtTheirSize)
{
    makeList(QString(), [](const QString&, int side) { return solid(QColor(90, 90, 200), QSize(side, side * 3 / 4)); });
    importNumbered(80);
    list_->resize(700, 500);
    list_->show();
    TAVImageBrowserView* browser = list_->imageBrowser();
    TAVThumbnailLoader* loader = list_->thumbnailLoader();
    auto pathOf = [&](int row) { return list_->maryDataSource().at(row)->path(); };
    // Every row the browser shows or keeps ready has its thumbnail at the
    // cells' side, and no other row has one.
    auto onlyShownAreKept = [&] {
        const QList<int> rows = browser->shownRows();
        if (rows.isEmpty() || loader->cachedCount() != rows.size()) {
            return false;
        }
        return std::all_of(rows.cbegin(), rows.cend(),
            [&](int row) { return loader->cachedSide(pathOf(row)) == browser->pictureSide(); });
    };
    auto keptRows = [&] {
        QList<int> rows;
        for (int row = 0; row < list_->maryDataSource().size(); ++row) {
            if (loader->isCached(pathOf(row))) {
                rows.append(row);
            }
        }
        return rows;
    };

    ASSERT_TRUE(QTest::qWaitFor(onlyShownAreKept, kPatientMs));
    const QList<int> atTop = keptRows();
    EXPECT_EQ(atTop.first(), 0);
    EXPECT_LT(atTop.size(), 40) << "a screenful and a few lines, not the whole list";
    // The margin: rows below the last one in view are ready for a scroll.
    const QRect view = browser->viewport()->rect();
    EXPECT_FALSE(view.intersects(browser->visualRect(list_->listModel()->index(atTop.last(), 0))));
    EXPECT_LE(loader->maxBytes(), qsizetype(atTop.size()) * browser->pictureSide() * browser->pictureSide() * 4);

    browser->scrollToBottom();
    ASSERT_TRUE(QTest::qWaitFor(onlyShownAreKept, kPatientMs));
    EXPECT_TRUE(keptRows().contains(79));
    EXPECT_FALSE(keptRows().contains(0)) << "what scrolled out is freed";
    browser->scrollToTop();
    EXPECT_TRUE(QTest::qWaitFor(onlyShownAreKept, kPatientMs)) << "scrolling back shows them again";
    EXPECT_EQ(keptRows(), atTop);

    list_->resize(700, 900);
    ASSERT_TRUE(QTest::qWaitFor(onlyShownAreKept, kPatientMs));
    EXPECT_GT(keptRows().size(), atTop.size());

    // Smaller cells shrink the kept thumbnails at once; larger ones are made again.
    list_->zoomSliderDidChange(0.0);
    ASSERT_TRUE(QTest::qWaitFor(onlyShownAreKept, kPatientMs));
    EXPECT_EQ(browser->pictureSide(), 64);
    const QImage small
        = list_->listModel()->data(list_->listModel()->index(0, 0), TAVPhotoListModel::ThumbnailRole).value<QImage>();
    EXPECT_EQ(small.size(), QSize(64, 48));
    list_->zoomSliderDidChange(1.0);
    EXPECT_TRUE(QTest::qWaitFor(onlyShownAreKept, kPatientMs));

    list_->clickShowType(TAVPhotosViewCltr::ModeTable);
    EXPECT_TRUE(QTest::qWaitFor([&] { return loader->cachedCount() == 0; }, kPatientMs)) << "the table shows none";
}
