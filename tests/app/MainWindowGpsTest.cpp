#include "MainWindowFixture.h"
#include "app/ENTabBarView.h"
#include "commlib/TAVBaseTabViewCltr.h"
#include "gps/TAVGPSViewController.h"
#include "gps/VXMapView.h"
#include "models/image/TAVImageObject.h"
#include "support/ExifTool.h"
#include "support/Gallery.h"
#include "support/ImageFixtures.h"
#include "support/LoopbackHttpServer.h"
#include "support/Patience.h"
#include "webmapkit/MapTestSupport.h"

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QJsonObject>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

namespace {

// Every GPS tag exiftool reads, EXIF's and XMP's, as numbers.
QJsonObject gpsGroup(const QString& path)
{
    QJsonObject group;
    const QJsonObject tags = ExifTool::read(path, {QStringLiteral("-n")});
    for (auto it = tags.begin(); it != tags.end(); ++it) {
        if (it.key().startsWith(QLatin1String("GPS:")) || it.key().startsWith(QLatin1String("XMP-exif:GPS"))) {
            group.insert(it.key(), it.value());
        }
    }
    return group;
}

void retype(QLineEdit* field, const QString& text)
{
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Return);
}

class MainWindowGpsTest : public MainWindowTest {
protected:
    TAVGPSViewController* gps()
    {
        window().tabBar()->selectTab(TAVMainWindowCtlr::TabGps);
        return qobject_cast<TAVGPSViewController*>(window().tabSelectedView());
    }
    bool save(const TAVImageObjectPtr& image) { return image->saveMetadataToImage(); }
    // A copy of a camera file whose XMP restates a place and a GPS time.
    QString photoWithXmpPlace(const char* sample)
    {
        const QString path = samples({QLatin1String(sample)}).value(0);
        EXPECT_TRUE(ImageFixtures::writeTags(path,
            {{"Xmp.exif.GPSLatitude", "36,35.8465N", {}}, {"Xmp.exif.GPSLongitude", "4,30.5077W", {}},
                {"Xmp.exif.GPSAltitude", "58/10", {}}, {"Xmp.exif.GPSTimeStamp", "2017-10-27T06:38:52Z", {}}}));
        return path;
    }
};

} // namespace

TEST_F(MainWindowGpsTest, SamplesShowTheirExactSecondsAndSaveTheirGpsUntouched)
{
    if (!ExifTool::available()) {
        GTEST_SKIP() << "exiftool missing";
    }
    const QStringList paths = samples({"npm-iphone6p.jpg", "npm-lumia.jpg"});
    const QJsonObject iphoneBefore = gpsGroup(paths.at(0));
    const QJsonObject lumiaBefore = gpsGroup(paths.at(1));
    ASSERT_FALSE(iphoneBefore.isEmpty());
    ASSERT_TRUE(importAndWait(paths));
    TAVGPSViewController* tab = gps();
    ASSERT_NE(tab, nullptr);

    select({0});
    const TAVImageObjectPtr iphone = window().selectedImages().value(0);
    ASSERT_TRUE(iphone);
    EXPECT_EQ(tab->secondField(true)->text(), "14.71");
    EXPECT_EQ(tab->degreeField(true)->text(), "40");
    EXPECT_TRUE(Gallery::capture(window().window(), "main-window-gps"));
    tab->didFailLoadingMap(tab->mapView(), MapError{});
    EXPECT_TRUE(Gallery::capture(window().window(), "main-window-gps-load-error"));
    tab->didFinishLoadingMap(tab->mapView());

    // An edit in another tab saves the GPS group exactly as it was.
    window().tabBar()->selectTab(TAVMainWindowCtlr::TabSummary);
    retype(summaryField("fldCamera"), QStringLiteral("Lumetta Cam"));
    ASSERT_TRUE(save(iphone));
    EXPECT_EQ(gpsGroup(iphone->srcPath()), iphoneBefore);

    // Editing only the longitude leaves the latitude as it was.
    select({1});
    const TAVImageObjectPtr lumia = window().selectedImages().value(0);
    tab = gps();
    EXPECT_EQ(tab->secondField(true)->text(), "19.521");
    retype(tab->decimalField(false), QStringLiteral("9.5"));
    ASSERT_TRUE(save(lumia));
    const QJsonObject lumiaAfter = gpsGroup(lumia->srcPath());
    EXPECT_EQ(lumiaAfter.value("GPS:GPSLatitude"), lumiaBefore.value("GPS:GPSLatitude"));
    EXPECT_EQ(lumiaAfter.value("GPS:GPSLatitudeRef"), lumiaBefore.value("GPS:GPSLatitudeRef"));
    EXPECT_NEAR(lumiaAfter.value("GPS:GPSLongitude").toDouble(), 9.5, 1e-9);
}

TEST_F(MainWindowGpsTest, APlaceSetForTwoImagesReachesBothFiles)
{
    if (!ExifTool::available()) {
        GTEST_SKIP() << "exiftool missing";
    }
    ASSERT_TRUE(importAndWait({photoWithTags("a.jpg", {{"Exif.Image.Make", "Canon"}}),
        photoWithTags("b.jpg", {{"Exif.Image.Make", "Nikon"}})}));
    select({0, 1});
    const QList<TAVImageObjectPtr> images = window().selectedImages();
    ASSERT_EQ(images.size(), 2);
    TAVGPSViewController* tab = gps();
    tab->userDidClickAndHoldAtCoordinate(tab->mapView(), {10.0, 20.0});
    QCoreApplication::processEvents();
    const auto pin = tab->mapView()->annotations().value(0);
    ASSERT_TRUE(pin);
    const auto view = tab->mapView()->viewForAnnotation(pin);
    ASSERT_TRUE(view);
    tab->didChangeDragState(tab->mapView(), view, TileAnnotationView::DragStarting, TileAnnotationView::DragNone);
    pin->setCoordinate({-33.8688, 151.2093});
    tab->didChangeDragState(tab->mapView(), view, TileAnnotationView::DragEnding, TileAnnotationView::DragDragging);
    select({1});
    for (const TAVImageObjectPtr& image : images) {
        ASSERT_TRUE(save(image));
        const QJsonObject group = gpsGroup(image->srcPath());
        EXPECT_NEAR(group.value("GPS:GPSLatitude").toDouble(), 33.8688, 1e-7);
        EXPECT_EQ(group.value("GPS:GPSLatitudeRef").toString(), "S");
        EXPECT_NEAR(group.value("GPS:GPSLongitude").toDouble(), 151.2093, 1e-7);
    }
}

// A camera file's XMP restating its place: a typed place moves it, and the
// tab's Clear of two photos leaves no GPS tag in EXIF or XMP.
TEST_F(MainWindowGpsTest, TheTabsEditsAndClearTakeTheXmpPlaceAlong)
{
    if (!ExifTool::available()) {
        GTEST_SKIP() << "exiftool missing";
    }
    const QStringList paths = {photoWithXmpPlace("gowebp-pentax.jpg"), photoWithXmpPlace("npm-lumia.jpg")};
    ASSERT_TRUE(gpsGroup(paths.at(0)).contains("GPS:GPSImgDirection"));
    ASSERT_TRUE(importAndWait(paths));
    select({0});
    retype(gps()->decimalField(true), QStringLiteral("10.5"));
    retype(gps()->decimalField(false), QStringLiteral("-0.25"));
    window().clickSave();
    ASSERT_TRUE(waitForLoop());
    const QJsonObject moved = gpsGroup(window().selectedImages().value(0)->srcPath());
    EXPECT_NEAR(moved.value("XMP-exif:GPSLatitude").toDouble(), 10.5, 1e-7);
    EXPECT_NEAR(moved.value("XMP-exif:GPSLongitude").toDouble(), -0.25, 1e-7);

    select({0, 1});
    gps()->clearButton()->click();
    window().clickSave();
    ASSERT_TRUE(waitForLoop());
    for (const QString& path : paths)
        EXPECT_EQ(gpsGroup(path).keys(), QStringList()) << path.toStdString();
}

// The version, the altitude and its reference, which no save writes, are
// shown and not typed into: keys and wheel turns in the window leave their
// text, the photo unmarked, and Save All writes nothing.
TEST_F(MainWindowGpsTest, TheFieldsNoSaveWritesTakeNoTypingInTheWindow)
{
    const QString path = samples({"npm-lumia.jpg"}).value(0);
    ASSERT_TRUE(ImageFixtures::writeTags(path, {{"Exif.GPSInfo.GPSAltitude", "58/10", {}}}));
    const QByteArray digest = digestOf(path);
    ASSERT_TRUE(importAndWait({path}));
    activate();
    TAVGPSViewController* tab = gps();
    const QList<QLineEdit*> fields = {tab->versionField(), tab->altitudeRefField(), tab->altitudeField()};
    QStringList shown;
    for (QLineEdit* field : fields)
        shown.append(field->text());
    ASSERT_EQ(shown, (QStringList{"version 2.2.0.0", "0", "5.8"}));
    for (QLineEdit* field : fields) {
        QTest::mouseClick(field, Qt::LeftButton, {}, field->rect().center());
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(field, "1200");
        QTest::keyClick(field, Qt::Key_Backspace);
        const QPointF at = field->rect().center();
        QWheelEvent wheel(
            at, field->mapToGlobal(at), {}, {0, -120}, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(field, &wheel);
        QTest::keyClick(field, Qt::Key_Tab);
    }
    EXPECT_TRUE(Gallery::capture(window().window(), "main-window-gps-shown-fields"));
    QStringList after;
    for (QLineEdit* field : fields)
        after.append(field->text());
    EXPECT_EQ(after, shown);
    EXPECT_FALSE(anyPhotoModified());
    window().clickSaveAll();
    ASSERT_TRUE(waitForLoop());
    EXPECT_EQ(digestOf(path), digest);
}

namespace {

// Tiles from a loopback tile server, each showing its own address.
class MainWindowGpsTilesTest : public MainWindowGpsTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.start());
        server.setHandler([](const LoopbackRequest& request) {
            QImage image(256, 256, QImage::Format_RGB32);
            image.fill(QColor(214, 228, 206));
            QPainter painter(&image);
            painter.setPen(QColor(120, 140, 120));
            painter.drawRect(0, 0, 255, 255);
            painter.drawText(image.rect(), Qt::AlignCenter, QString::fromLatin1(request.target));
            painter.end();
            QByteArray png;
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            image.save(&buffer, "PNG");
            return LoopbackResponse::png(png);
        });
        qputenv("LUMETTA_TILEURL", server.url(QStringLiteral("/tiles/{z}/{x}/{y}.png")).toUtf8());
        MainWindowGpsTest::SetUp();
    }
    void TearDown() override
    {
        MainWindowGpsTest::TearDown();
        qputenv("LUMETTA_TILEURL", "");
    }
    LoopbackHttpServer server;
};

} // namespace

TEST_F(MainWindowGpsTilesTest, GalleryOfTheRedPinOverLoopbackTilesAfterADrag)
{
    ASSERT_TRUE(importAndWait(samples({"npm-lumia.jpg"})));
    TAVGPSViewController* tab = gps();
    tab->userDidClickAndHoldAtCoordinate(tab->mapView(), {54.0, 10.0});
    QCoreApplication::processEvents();
    const auto pin = tab->mapView()->annotations().value(1);
    const auto view = pin ? tab->mapView()->viewForAnnotation(pin) : nullptr;
    ASSERT_TRUE(view);
    ASSERT_TRUE(view->isDraggable());
    tab->didChangeDragState(tab->mapView(), view, TileAnnotationView::DragStarting, TileAnnotationView::DragNone);
    pin->setCoordinate({55.5, 12.5});
    tab->didChangeDragState(tab->mapView(), view, TileAnnotationView::DragEnding, TileAnnotationView::DragDragging);
    EXPECT_EQ(tab->degreeField(true)->text(), "55");
    ASSERT_TRUE(server.waitForRequests(4));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !tab->mapView()->isLoading(); }, kPatientMs));
    EXPECT_TRUE(Gallery::capture(window().window(), "main-window-gps-loopback-tiles"));
}
