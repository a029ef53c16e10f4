#include "support/Gallery.h"
#include "support/Patience.h"
#include "support/TempFolder.h"
#include "webmapkit/GMKPinAnnotationView.h"
#include "webmapkit/GMKPointAnnotation.h"
#include "webmapkit/GMKPolygon.h"
#include "webmapkit/GMKPolygonView.h"
#include "webmapkit/MapTestSupport.h"
#include "webmapkit/MapViewTestSupport.h"
#include "webmapkit/MemoryTileSource.h"

#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cmath>

// The built-in map page in a shown map view: the web view paints what the page
// holds over tiles from memory, and real mouse and wheel events reach the
// page, whose callbacks the delegate hears.

namespace {

const QColor kTileColour(200, 220, 255);
const QSize kViewSize(480, 360);
const MapCoordinate kCentre{48.0, 9.0};

class GMKWebViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MapClock::setDefaultClock(&clock);
        view = std::make_unique<GMKMapView>();
        view->setDelegate(&delegate);
        source = new MemoryTileSource();
        QImage tile(256, 256, QImage::Format_RGB32);
        tile.fill(kTileColour);
        source->setEveryTile(tile);
        source->setAttribution(QStringLiteral("© OpenStreetMap contributors"));
        view->webView()->setTileSource(source);
        view->resize(kViewSize);
        ASSERT_TRUE(waitForLoad(view->host()));
        // Zoom 10 exactly: whole tiles, unscaled.
        view->setRegion(MapRegion{kCentre, 0.2, 360.0 / 1024.0 * kViewSize.width() / 256.0});
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get(), kPatientMs));
    }
    void TearDown() override
    {
        view.reset();
        MapClock::setDefaultClock(nullptr);
    }

    GMKWebView* web() const { return view->webView(); }
    QPointF at(const MapCoordinate& coordinate) { return QPointF(view->convertCoordinate(coordinate, web())); }
    // The picture once every tile it asked for has come.
    QImage picture()
    {
        EXPECT_TRUE(QTest::qWaitFor(
            [&]() {
                web()->grab();
                QCoreApplication::processEvents();
                return !source->requested().isEmpty() && !web()->tileLayer()->isLoading();
            },
            kPatientMs));
        return web()->grab().toImage();
    }
    std::shared_ptr<GMKPointAnnotation> addPin(const MapCoordinate& coordinate, bool draggable)
    {
        delegate.makeAnnotationView = [draggable](const GMKAnnotationPtr& annotation) {
            auto pinView = std::make_shared<GMKPinAnnotationView>(annotation, QStringLiteral("pin"));
            pinView->setDraggable(draggable);
            return pinView;
        };
        auto pin = std::make_shared<GMKPointAnnotation>(coordinate);
        pin->setTitle(QStringLiteral("Home"));
        view->addAnnotation(pin);
        return pin;
    }
    void mouse(QEvent::Type type, const QPointF& point, Qt::MouseButton button = Qt::LeftButton)
    {
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
        QMouseEvent event(type, point, web()->mapToGlobal(point), type == QEvent::MouseMove ? Qt::NoButton : button,
            held, Qt::NoModifier);
        QApplication::sendEvent(web(), &event);
    }
    static bool near(const QPointF& a, const QPointF& b, double tolerance = 1.0)
    {
        return std::abs(a.x() - b.x()) <= tolerance && std::abs(a.y() - b.y()) <= tolerance;
    }

    ManualMapClock clock;
    MapViewTestDelegate delegate;
    MemoryTileSource* source = nullptr;
    std::unique_ptr<GMKMapView> view;
};

} // namespace

TEST_F(GMKWebViewTest, PaintsTilesAnOverlayPinsAndTheCalloutWhereTheConversionsSay)
{
    delegate.makeOverlayView = [](const GMKOverlayPtr& overlay) {
        auto polygonView = std::make_shared<GMKPolygonView>(std::dynamic_pointer_cast<GMKPolygon>(overlay));
        polygonView->setFillColor(QColor(0, 160, 0));
        polygonView->setStrokeColor(QColor(0, 0, 200));
        polygonView->setLineWidth(3.0);
        return polygonView;
    };
    const std::vector<MapCoordinate> square{{47.96, 8.90}, {47.99, 8.90}, {47.99, 8.95}, {47.96, 8.95}};
    view->addOverlay(GMKPolygon::polygonWithCoordinates(square.data(), square.size()));
    const auto pin = addPin(MapCoordinate{48.02, 9.05}, false);
    view->selectAnnotation(pin);

    const QImage image = picture();
    EXPECT_TRUE(Gallery::capture(view.get(), QStringLiteral("gmk-map-view")));
    ASSERT_EQ(image.size(), kViewSize);
    EXPECT_EQ(image.pixelColor(10, 10), kTileColour) << "a tile fills the top left";

    const QPointF inside = at(MapCoordinate{47.975, 8.925});
    EXPECT_EQ(image.pixelColor(inside.toPoint()), QColor(0, 160, 0)) << "the polygon's fill";
    const QPointF edge = at(MapCoordinate{47.975, 8.90});
    EXPECT_EQ(image.pixelColor(edge.toPoint()), QColor(0, 0, 200)) << "the polygon's outline";

    // The pin's picture stands on its point: red just above it, the tile beside it.
    const QPoint tip = at(pin->coordinate()).toPoint();
    int red = 0;
    for (int y = tip.y() - 39; y < tip.y(); ++y) {
        for (int x = tip.x() - 8; x < tip.x() + 8; ++x) {
            const QColor colour = image.pixelColor(x, y);
            red += colour.red() > 150 && colour.green() < 90 && colour.blue() < 90 ? 1 : 0;
        }
    }
    EXPECT_GT(red, 20) << "the red pin above its coordinate";
    EXPECT_EQ(image.pixelColor(tip.x() + 30, tip.y()), kTileColour);
    // The callout's bubble above the picture.
    const QColor bubble = image.pixelColor(tip.x(), tip.y() - 39 - 8 - 4);
    EXPECT_GT(bubble.lightness(), 240) << "the callout above the pin";
    // The credit line at the bottom right, over the tiles.
    const QColor credit = image.pixelColor(kViewSize.width() - 2, kViewSize.height() - 2);
    EXPECT_GT(credit.lightness(), kTileColour.lightness());
}

TEST_F(GMKWebViewTest, APinDraggedWithTheMouseReportsItsStatesAndFollows)
{
    const auto pin = addPin(MapCoordinate{48.0, 9.0}, true);
    picture();
    delegate.events.clear();
    const QPointF grab = at(pin->coordinate()) - QPointF(0, 20);
    mouse(QEvent::MouseButtonPress, grab);
    mouse(QEvent::MouseMove, grab + QPointF(10, 5));
    mouse(QEvent::MouseMove, grab + QPointF(40, 30));
    mouse(QEvent::MouseMove, grab + QPointF(60, 45));
    mouse(QEvent::MouseButtonRelease, grab + QPointF(60, 45));
    EXPECT_EQ(delegate.events, (QStringList{"drag 1<-0", "drag 2<-1", "drag 0<-2"}));
    EXPECT_TRUE(near(at(pin->coordinate()), grab + QPointF(60, 65)))
        << "the pin stands where it was let go: " << at(pin->coordinate()).x() << "," << at(pin->coordinate()).y();
    // The picture moved with it.
    const QImage image = web()->grab().toImage();
    const QPoint tip = at(pin->coordinate()).toPoint();
    EXPECT_NE(image.pixelColor(tip.x(), tip.y() - 30), kTileColour);
    EXPECT_EQ(image.pixelColor(grab.toPoint()), kTileColour);

    // A pin that cannot be dragged stays, and the map pans under the mouse.
    auto fixed = addPin(MapCoordinate{48.01, 8.98}, false);
    delegate.events.clear();
    const QPointF start = at(fixed->coordinate()) - QPointF(0, 20);
    QSignalSpy regions(view.get(), &GMKMapView::regionChanged);
    mouse(QEvent::MouseButtonPress, start);
    mouse(QEvent::MouseMove, start + QPointF(-50, 0));
    mouse(QEvent::MouseButtonRelease, start + QPointF(-50, 0));
    EXPECT_TRUE(delegate.events.isEmpty()) << delegate.events.join(", ").toStdString();
    EXPECT_NEAR(fixed->coordinate().latitude, 48.01, 1e-12);
    EXPECT_TRUE(near(at(fixed->coordinate()), start + QPointF(-50, 20)));
    EXPECT_EQ(regions.count(), 1) << "a pan reports the region once";
}

TEST_F(GMKWebViewTest, ClicksSelectPinsAndAClickHeldReportsItsCoordinate)
{
    const auto pin = addPin(MapCoordinate{48.0, 9.0}, false);
    picture();
    delegate.events.clear();
    const QPointF onPin = at(pin->coordinate()) - QPointF(0, 25);
    mouse(QEvent::MouseButtonPress, onPin);
    mouse(QEvent::MouseButtonRelease, onPin);
    EXPECT_EQ(delegate.events, QStringList{"select"});
    EXPECT_EQ(view->selectedAnnotations().size(), 1U);

    // A short click elsewhere only deselects.
    const QPointF empty(60, 300);
    mouse(QEvent::MouseButtonPress, empty);
    clock.advance(0.3);
    mouse(QEvent::MouseButtonRelease, empty);
    EXPECT_EQ(delegate.events, (QStringList{"select", "deselect"}));
    EXPECT_TRUE(delegate.holds.isEmpty());

    // Held 0.6 s: click-and-hold at the coordinate under the mouse.
    mouse(QEvent::MouseButtonPress, empty);
    clock.advance(0.6);
    mouse(QEvent::MouseButtonRelease, empty);
    ASSERT_EQ(delegate.holds.size(), 1);
    EXPECT_TRUE(near(at(delegate.holds.first()), empty));

    // A right click on a pin asks for its menu; elsewhere nothing.
    QAction item(QStringLiteral("Remove"));
    delegate.menuItems = {&item};
    delegate.events.clear();
    mouse(QEvent::MouseButtonPress, empty, Qt::RightButton);
    EXPECT_TRUE(web()->findChildren<QMenu*>().isEmpty() && view->findChildren<QMenu*>().isEmpty());
    mouse(QEvent::MouseButtonPress, onPin, Qt::RightButton);
    EXPECT_EQ(view->findChildren<QMenu*>().size(), 1);
}

TEST_F(GMKWebViewTest, TheWheelZoomsAboutThePointerAndReportsTheRegion)
{
    picture();
    const QPointF pointer(120, 90);
    const double before = view->region().longitudeDelta;
    QSignalSpy regions(view.get(), &GMKMapView::regionChanged);
    const MapCoordinate pointed = [&]() {
        // The coordinate under the pointer, read back from a hold there.
        mouse(QEvent::MouseButtonPress, pointer);
        clock.advance(0.6);
        mouse(QEvent::MouseButtonRelease, pointer);
        return delegate.holds.value(0, kCentre);
    }();
    QWheelEvent wheel(pointer, web()->mapToGlobal(pointer), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
        Qt::NoScrollPhase, false);
    QApplication::sendEvent(web(), &wheel);
    EXPECT_EQ(regions.count(), 1);
    EXPECT_NEAR(view->region().longitudeDelta, before / 2.0, 1e-12);
    EXPECT_TRUE(near(at(pointed), pointer)) << "the place under the pointer stays there";
    // The tiles of the next level fill the view again.
    const QImage image = picture();
    EXPECT_EQ(image.pixelColor(10, 10), kTileColour);
    EXPECT_TRUE(source->requested().last().zoom == 11);
}

TEST_F(GMKWebViewTest, TilesThatFailReportALoadFailureAndTagsLoadLocalScripts)
{
    source->setEveryTile(QImage());
    picture();
    ASSERT_TRUE(QTest::qWaitFor([&]() { return delegate.events.contains(QStringLiteral("load failed")); }, kPatientMs));
    ASSERT_EQ(delegate.errors.size(), 1);
    EXPECT_EQ(delegate.errors.first().domain, GMKMapView::errorDomain());

    TempFolder temp;
    QFile script(temp.filePath(QStringLiteral("extra.js")));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("window.extraLoaded = 'yes';\n");
    script.close();
    view->addJavascriptTag(QUrl::fromLocalFile(script.fileName()).toString());
    EXPECT_EQ(view->host()->evaluate(QStringLiteral("window.extraLoaded")).toString(), QStringLiteral("yes"));

    MapLogCapture log;
    view->host()->evaluate(QStringLiteral("alert('from the page')"));
    EXPECT_EQ(log.count(QStringLiteral("alert: from the page")), 1);
}

TEST_F(GMKWebViewTest, AHiddenMapAsksForNoTiles)
{
    view->hide();
    auto* unseen = new MemoryTileSource();
    web()->setTileSource(unseen);
    view->setCenterCoordinate(MapCoordinate{10.0, 20.0});
    for (int i = 0; i < 5; ++i) {
        QTest::qWait(5);
    }
    EXPECT_TRUE(unseen->requested().isEmpty()) << "only what is shown is loaded";
    view->show();
    ASSERT_TRUE(QTest::qWaitFor([&]() { return !unseen->requested().isEmpty(); }, kPatientMs));
}
