// The image browser's thumbnails through a zoom of the real slider.
#include "PhotoListFixture.h"

#include "app/TAVImageBrowserView.h"
#include "app/TAVThumbnailLoader.h"
#include "support/Patience.h"

#include <QSlider>
#include <QTest>

#include <algorithm>

// Square pictures fill the loader's cache exactly, as pictures of the cells'
// shape do: shrinking one of them pushed out another still to be shrunk, and
// the window crashed on it when the zoom slider moved down a step.
TEST_F(PhotoListTest, TheZoomSliderShrinksEveryKeptThumbnailOfAFullCache)
{
    makeList(QString(), [](const QString&, int side) {
        QImage picture(side, side, QImage::Format_RGB32);
        picture.fill(QColor(200, 90, 90));
        return picture;
    });
    importNumbered(12);
    list_->resize(700, 500);
    list_->show();
    TAVImageBrowserView* browser = list_->imageBrowser();
    TAVThumbnailLoader* loader = list_->thumbnailLoader();
    const auto allKeptAtTheCellSide = [&] {
        const QList<int> rows = browser->shownRows();
        return !rows.isEmpty() && loader->cachedCount() == rows.size()
            && std::all_of(rows.cbegin(), rows.cend(), [&](int row) {
                   return loader->cachedSide(list_->maryDataSource().at(row)->path()) == browser->pictureSide();
               });
    };
    ASSERT_TRUE(QTest::qWaitFor(allKeptAtTheCellSide, kPatientMs));
    ASSERT_GT(loader->cachedCount(), 1);

    QSlider* zoom = list_->slideZoom();
    for (int step = 0; step < 3; ++step) {
        const int side = browser->pictureSide();
        QTest::keyClick(zoom, Qt::Key_Left);
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return browser->pictureSide() < side && allKeptAtTheCellSide(); }, kPatientMs))
            << "step " << step;
    }
}
