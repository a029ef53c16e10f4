#include "MainWindowFixture.h"

#include "app/ENTabBarView.h"
#include "app/TAVExposureViewCtlr.h"
#include "app/TAVImageView.h"
#include "commlib/TAVCustomBgColorView.h"
#include "gps/TAVGPSViewController.h"
#include "gps/VXMapView.h"

#include "support/Gallery.h"
#include "support/SyntheticDrops.h"

#include <QImage>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <memory>

TEST(TAVCustomBgColorView, FrameLineOnlyWhenItsColourIsSet)
{
    TAVCustomBgColorView view;
    view.resize(40, 30);
    QImage plain = view.grab().toImage();
    for (const QPoint point : {QPoint(0, 0), QPoint(39, 29), QPoint(20, 15)}) {
        EXPECT_EQ(plain.pixelColor(point), QColor(Qt::white));
    }

    view.setFrameLineColor(QColor(200, 0, 0));
    view.setBgColor(QColor(0, 0, 120));
    const QImage framed = view.grab().toImage();
    for (const QPoint edge : {QPoint(0, 0), QPoint(39, 0), QPoint(0, 29), QPoint(39, 29), QPoint(20, 0)}) {
        EXPECT_EQ(framed.pixelColor(edge), QColor(200, 0, 0)) << edge.x() << "," << edge.y();
    }
    for (const QPoint inside : {QPoint(1, 1), QPoint(38, 28), QPoint(20, 15)}) {
        EXPECT_EQ(framed.pixelColor(inside), QColor(0, 0, 120)) << "one pixel wide, over the background";
    }
}

TEST(TAVImageView, KeepsTheFirstDroppedPathAndRefusesOtherDrags)
{
    TAVImageView well;
    well.resize(120, 120);
    EXPECT_TRUE(well.strImgPath().isNull());

    std::unique_ptr<QMimeData> three(SyntheticDrop::files(
        {QStringLiteral("/photos/first one.jpg"), QStringLiteral("/photos/2.jpg"), QStringLiteral("/photos/3.jpg")}));
    const SyntheticDrop drop = SyntheticDrop::onto(&well, *three);
    EXPECT_TRUE(drop.entered && drop.dropped);
    EXPECT_EQ(well.strImgPath(), QStringLiteral("/photos/first one.jpg"));
    EXPECT_TRUE(well.pixmap().isNull()) << "the well does not load the image itself";

    QMimeData text;
    text.setText(QStringLiteral("/photos/other.jpg"));
    QMimeData link;
    link.setUrls({QUrl(QStringLiteral("https://photos.invalid/other.jpg"))});
    std::unique_ptr<QMimeData> moveOnly(SyntheticDrop::files({QStringLiteral("/photos/other.jpg")}));
    EXPECT_FALSE(SyntheticDrop::onto(&well, text).entered);
    EXPECT_FALSE(SyntheticDrop::onto(&well, link).entered);
    EXPECT_FALSE(SyntheticDrop::onto(&well, *moveOnly, Qt::MoveAction).entered) << "the well only copies";
    EXPECT_EQ(well.strImgPath(), QStringLiteral("/photos/first one.jpg"));
}

// In the real window: the exposure form lies on its coloured view, cleared so
// the tab's own background shows, with a well beside each of the three
// lengths; the GPS fields lie on the GPS tab's mask view, the map below it.
TEST_F(MainWindowTest, TheExposureAndGpsTabsPlaceTheSmallViews)
{
    ASSERT_TRUE(importAndWait({photoWithTags("a.jpg", {{"Exif.Photo.FocalLength", "50/1"}})}));
    window().tabBar()->selectTab(TAVMainWindowCtlr::TabExposure);
    TAVExposureViewCtlr* exposure = window().exposureTab();
    auto* bgView = exposure->findChild<TAVCustomBgColorView*>(QStringLiteral("bgView"));
    ASSERT_NE(bgView, nullptr);
    EXPECT_EQ(bgView->bgColor().alpha(), 0);
    EXPECT_EQ(bgView->geometry(), exposure->rect()) << "it holds the whole form";
    auto* focalLength = exposure->findChild<QLineEdit*>(QStringLiteral("fldFocalLength"));
    ASSERT_NE(focalLength, nullptr);
    EXPECT_TRUE(bgView->isAncestorOf(focalLength));
    EXPECT_FALSE(focalLength->text().isEmpty());
    for (const char* name : {"imgViewFocalLength", "imgView35mmEquiv", "imgViewDigitalZoom"}) {
        auto* well = exposure->findChild<TAVImageView*>(QLatin1String(name));
        ASSERT_NE(well, nullptr) << name;
        EXPECT_TRUE(well->isVisible() && bgView->isAncestorOf(well)) << name;
    }
    // The well is level with its length's field.
    auto* well = exposure->findChild<TAVImageView*>(QStringLiteral("imgViewFocalLength"));
    EXPECT_LT(std::abs(well->mapTo(exposure, well->rect().center()).y()
                  - focalLength->mapTo(exposure, focalLength->rect().center()).y()),
        focalLength->height());
    EXPECT_TRUE(Gallery::capture(exposure, "exposure-tab-on-its-coloured-view"));

    window().tabBar()->selectTab(TAVMainWindowCtlr::TabGps);
    auto* gps = qobject_cast<TAVGPSViewController*>(window().tabSelectedView());
    ASSERT_NE(gps, nullptr);
    auto* mask = gps->findChild<TAVCustomBgColorView*>(QStringLiteral("maskView"));
    ASSERT_NE(mask, nullptr);
    EXPECT_TRUE(mask->isVisible());
    EXPECT_EQ(mask->bgColor(), QColor(Qt::white));
    for (QWidget* part : gps->findChildren<QLineEdit*>())
        EXPECT_TRUE(mask->isAncestorOf(part)) << part->objectName().toStdString();
    EXPECT_FALSE(mask->isAncestorOf(gps->mapView()));
    EXPECT_LE(mask->geometry().bottom(), gps->mapView()->geometry().top());
    EXPECT_TRUE(Gallery::capture(gps, "gps-tab-form-on-its-mask-view"));
}
