#include "gps/MapTestDelegate.h"
#include "gps/TileMapTestSupport.h"
#include "gps/VXMapView.h"
#include "support/Gallery.h"
#include "support/QtPrinters.h"
#include "webmapkit/MemoryTileSource.h"
#include "webmapkit/TileProjection.h"

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

class TileMapViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MapClock::setDefaultClock(&clock);
        source = new MemoryTileSource();
        source->setEveryTile(numberedTile(TileKey{}));
        map = std::make_unique<VXMapView>(source);
        map->resize(512, 384);
        map->setMapDelegate(&delegate);
        map->show();
        settle();
        delegate.events.clear();
    }
    void TearDown() override
    {
        map.reset();
        MapClock::setDefaultClock(nullptr);
    }
    static void settle()
    {
        for (int turn = 0; turn < 4; ++turn) {
            QApplication::processEvents();
        }
    }
    // The point where a picture view's pin can be grabbed: the middle of its picture.
    QPoint pinPoint(const GMKAnnotationPtr& pin) const
    {
        return (map->convertCoordinateToPoint(pin->coordinate()) - QPointF(0, 10)).toPoint();
    }
    void hold(const QPoint& at, double seconds, bool move)
    {
        QTest::mousePress(map.get(), Qt::LeftButton, {}, at);
        clock.advance(seconds);
        if (move) {
            QTest::mouseMove(map.get(), at + QPoint(20, 0));
        }
        QTest::mouseRelease(map.get(), Qt::LeftButton, {}, move ? at + QPoint(20, 0) : at);
    }

    ManualMapClock clock;
    MemoryTileSource* source = nullptr;
    MapTestDelegate delegate;
    std::unique_ptr<VXMapView> map;
};

} // namespace

TEST_F(TileMapViewTest, ZoomLevelsRoundTripAndRegionsSnapToTheLargestZoomShowingThemWhole)
{
    map->setCenterCoordinate(MapCoordinate{35.5125, 139.75}, 15u, false);
    EXPECT_EQ(map->region().longitudeDelta, 0.02197265625);
    EXPECT_EQ(map->getZoomLevel(), 15.0);

    for (int width : {300, 512, 777}) {
        map->resize(width, 300);
        for (unsigned zoom : {0u, 3u, 10u, 19u}) {
            map->setCenterCoordinate(MapCoordinate{-33.86, 151.2}, zoom, false);
            EXPECT_DOUBLE_EQ(map->getZoomLevel(), zoom) << width << " px at zoom " << zoom;
        }
    }

    map->resize(512, 384);
    const MapRegion wanted[] = {{{48.0, 9.0}, 0.0, 0.05}, {{48.0, 9.0}, 3.0, 0.01}, {{-10.0, 170.0}, 0.4, 0.7}};
    for (const MapRegion& region : wanted) {
        map->setRegion(region, false);
        const MapRegion shown = map->region();
        EXPECT_GE(shown.longitudeDelta, region.longitudeDelta);
        EXPECT_GE(shown.latitudeDelta, region.latitudeDelta);
        map->setCenterCoordinate(region.center, static_cast<unsigned>(map->zoomLevel() + 1), false);
        const MapRegion closer = map->region();
        EXPECT_TRUE(closer.longitudeDelta < region.longitudeDelta || closer.latitudeDelta < region.latitudeDelta)
            << "one zoom level closer would cut the region";
    }

    map->setCenterCoordinate(MapCoordinate{89.0, 190.0}, false);
    EXPECT_DOUBLE_EQ(map->centerCoordinate().latitude, TileProjection::kMaxLatitude);
    EXPECT_DOUBLE_EQ(map->centerCoordinate().longitude, -170.0);

    const MapCoordinate place{35.5125, 139.75};
    map->setCenterCoordinate(place, 12u, false);
    EXPECT_EQ(map->convertCoordinateToPoint(place), QPointF(256, 192));
    const MapCoordinate back = map->convertPointToCoordinate(QPointF(100, 300));
    const QPointF again = map->convertCoordinateToPoint(back);
    EXPECT_NEAR(again.x(), 100, 1e-6);
    EXPECT_NEAR(again.y(), 300, 1e-6);
}

TEST_F(TileMapViewTest, ViewsComeOnTheNextTurnInAddingOrderInOneBatchAndStayWhileTheAnnotationDoes)
{
    delegate.makeView = [](const GMKAnnotationPtr& annotation) -> TileAnnotationViewPtr {
        if (annotation->title() != QLatin1String("custom")) {
            return nullptr;
        }
        auto view = std::make_shared<TileAnnotationView>(annotation, QStringLiteral("photoLocal"));
        view->setImageNamed(QStringLiteral("MKPinAnnotationColorGreen"));
        return view;
    };
    const auto first = makePin(10, 10, QStringLiteral("custom"));
    const auto second = makePin(20, 20);
    const auto third = makePin(30, 30, QStringLiteral("custom"));
    const auto gone = makePin(40, 40);
    map->addAnnotations({first, second, third, gone});
    map->removeAnnotation(gone);
    EXPECT_TRUE(delegate.addedBatches.isEmpty()) << "views are asked for on the next turn";

    settle();
    ASSERT_EQ(delegate.addedBatches.size(), 1);
    const QList<TileAnnotationViewPtr> batch = delegate.addedBatches[0];
    ASSERT_EQ(batch.size(), 3);
    EXPECT_EQ(batch[0]->annotation(), first);
    EXPECT_EQ(batch[1]->annotation(), second);
    EXPECT_EQ(batch[2]->annotation(), third);
    EXPECT_FALSE(batch[1]->image().isNull()) << "no view from the delegate gives the default pin";
    EXPECT_TRUE(batch[1]->canShowCallout());

    map->setCenterCoordinate(MapCoordinate{-40, -100}, false);
    settle();
    EXPECT_EQ(map->viewForAnnotation(first), batch[0]) << "no recycling while the annotation stays";
    EXPECT_EQ(delegate.addedBatches.size(), 1);

    map->removeAnnotation(first);
    EXPECT_EQ(map->viewForAnnotation(first), nullptr);
    EXPECT_EQ(map->dequeueReusableAnnotationView(QStringLiteral("photoLocal")), batch[0]);
    EXPECT_EQ(map->dequeueReusableAnnotationView(QStringLiteral("photoLocal")), nullptr);
}

TEST_F(TileMapViewTest, DraggingReportsItsStatesAndSetsTheCoordinateBeforeTheEnd)
{
    delegate.makeView = [](const GMKAnnotationPtr& annotation) {
        auto view = std::make_shared<TileAnnotationView>(annotation, QStringLiteral("photoLocal"));
        view->setImageNamed(QStringLiteral("MKPinAnnotationColorRed"));
        view->setDraggable(true);
        return view;
    };
    const auto pin = makePin(35.5, 139.7);
    map->setCenterCoordinate(pin->coordinate(), 12u, false);
    map->addAnnotation(pin);
    settle();
    delegate.events.clear();
    const MapCoordinate start = pin->coordinate();
    MapCoordinate atEnd;
    delegate.onDrag = [&](const TileAnnotationViewPtr&, unsigned state) {
        if (state == TileAnnotationView::DragEnding) {
            atEnd = pin->coordinate();
        }
    };

    const QPoint grab = pinPoint(pin);
    QTest::mousePress(map.get(), Qt::LeftButton, {}, grab);
    QTest::mouseMove(map.get(), grab + QPoint(15, 0));
    QTest::mouseMove(map.get(), grab + QPoint(40, 20));
    QTest::mouseRelease(map.get(), Qt::LeftButton, {}, grab + QPoint(40, 20));
    EXPECT_EQ(delegate.events, (QStringList{"drag 1<-0", "drag 2<-1", "drag 4<-2"}));
    const QPointF moved = map->convertCoordinateToPoint(start) + QPointF(40, 20);
    EXPECT_NEAR(atEnd.latitude, map->convertPointToCoordinate(moved).latitude, 1e-9);
    EXPECT_NEAR(atEnd.longitude, map->convertPointToCoordinate(moved).longitude, 1e-9);
    EXPECT_EQ(map->viewForAnnotation(pin)->dragState(), 0u);

    // A delegate that moves the view on to dragging itself hears no second report;
    // Escape puts the pin back and reports cancelling.
    delegate.events.clear();
    delegate.onDrag = [](const TileAnnotationViewPtr& view, unsigned state) {
        if (state == TileAnnotationView::DragStarting) {
            view->setDragState(TileAnnotationView::DragDragging);
        }
    };
    const MapCoordinate before = pin->coordinate();
    const QPoint again = pinPoint(pin);
    QTest::mousePress(map.get(), Qt::LeftButton, {}, again);
    QTest::mouseMove(map.get(), again + QPoint(30, 30));
    QTest::keyClick(map.get(), Qt::Key_Escape);
    QTest::mouseRelease(map.get(), Qt::LeftButton, {}, again + QPoint(30, 30));
    EXPECT_EQ(delegate.events, (QStringList{"drag 1<-0", "drag 3<-2"}));
    EXPECT_EQ(pin->coordinate(), before);
}

TEST_F(TileMapViewTest, ClickAndHoldReportsOnlyAStillPressHeldLongerThanHalfASecondOffThePins)
{
    const auto pin = makePin(0, 0, QStringLiteral("Where Photo Taken"));
    map->setCenterCoordinate(MapCoordinate{10, 10}, 6u, false);
    map->addAnnotation(makePin(10, 10));
    settle();
    const QPoint pinAt = pinPoint(map->annotations().first());
    const QPoint open(100, 300);
    struct Case {
        const char* name;
        QPoint at;
        double seconds;
        bool move;
        bool answers;
        int reports;
    };
    const Case cases[] = {
        {"held 0.6 s", open, 0.6, false, true, 1},
        {"held 0.5 s", open, 0.5, false, true, 0},
        {"moved", open, 0.6, true, true, 0},
        {"on a pin", pinAt, 0.6, false, true, 0},
        {"delegate without the operation", open, 0.6, false, false, 0},
    };
    for (const Case& c : cases) {
        delegate.holds.clear();
        delegate.unanswered.clear();
        if (!c.answers) {
            delegate.unanswered.insert(TileMapViewDelegate::Op::UserDidClickAndHold);
        }
        map->setCenterCoordinate(MapCoordinate{10, 10}, 6u, false);
        const MapCoordinate expected = map->convertPointToCoordinate(c.at);
        hold(c.at, c.seconds, c.move);
        ASSERT_EQ(delegate.holds.size(), c.reports) << c.name;
        if (c.reports == 1) {
            EXPECT_EQ(delegate.holds[0], expected) << c.name;
        }
    }
}

TEST_F(TileMapViewTest, LoadEventsCoverEachBurstAndFailedTilesWaitUntilTheyComeBackIntoView)
{
    auto* failing = new MemoryTileSource();
    VXMapView failingMap(failing);
    MapTestDelegate watcher;
    failingMap.setMapDelegate(&watcher);
    failingMap.resize(300, 200);
    failingMap.show();
    settle();
    EXPECT_EQ(watcher.loadEvents(), (QStringList{"start", "fail"}));
    const qsizetype asked = failing->requested().size();
    EXPECT_GT(asked, 0);

    failingMap.update();
    failingMap.setCenterCoordinate(failingMap.centerCoordinate(), false);
    settle();
    EXPECT_EQ(failing->requested().size(), asked) << "a failed tile still in view is not asked for again";

    failing->setEveryTile(numberedTile(TileKey{}));
    failingMap.setCenterCoordinate(MapCoordinate{60, 100}, 8u, false);
    settle();
    failingMap.setCenterCoordinate(MapCoordinate{0, 0}, 2u, false);
    settle();
    EXPECT_EQ(watcher.loadEvents(), (QStringList{"start", "fail", "start", "finish", "start", "finish"}));

    // Without pictures the graticule stands in and counts as loaded, once.
    delegate.events.clear();
    source->setHasTiles(false);
    map->setMapType(1);
    settle();
    map->setCenterCoordinate(MapCoordinate{5, 5}, false);
    settle();
    EXPECT_EQ(delegate.loadEvents(), (QStringList{"start", "finish"}));
}

TEST_F(TileMapViewTest, UserLocationFollowsItsProvider)
{
    FakeLocationProvider provider;
    map->setLocationProvider(&provider);
    map->setShowsUserLocation(true);
    EXPECT_EQ(provider.starts, 1);
    provider.deliver(35.5, 139.7, 120.0);
    settle();
    EXPECT_EQ(delegate.events, (QStringList{"locating", "located", "added 1"}));
    EXPECT_TRUE(map->annotations().contains(map->userLocation()));
    EXPECT_EQ(map->viewForAnnotation(map->userLocation())->kind(), TileAnnotationView::Kind::UserLocation);
    map->setCenterCoordinate(MapCoordinate{35.5, 139.7}, false);
    EXPECT_TRUE(map->isUserLocationVisible());
    map->removeAnnotations(map->annotations());
    EXPECT_TRUE(map->annotations().contains(map->userLocation())) << "only switching it off removes the dot";

    provider.fail(LocationProvider::kErrorUnknown);
    EXPECT_TRUE(map->showsUserLocation());
    provider.fail(LocationProvider::kErrorDenied);
    EXPECT_FALSE(map->showsUserLocation());
    EXPECT_FALSE(map->userLocation()->location().has_value());
    EXPECT_FALSE(map->annotations().contains(map->userLocation()));
    EXPECT_EQ(delegate.events.mid(3), (QStringList{"location failed 0", "location failed 1", "stopped"}));

    // Without a location endpoint or a desktop service the map's own provider
    // fails as refused, which turns the user location off again.
    VXMapView offline;
    MapTestDelegate watcher;
    offline.setMapDelegate(&watcher);
    offline.setShowsUserLocation(true);
    settle();
    ASSERT_EQ(watcher.locationFailures.size(), 1);
    EXPECT_EQ(watcher.locationFailures[0].code, LocationProvider::kErrorDenied);
    EXPECT_FALSE(offline.showsUserLocation());
}

TEST_F(TileMapViewTest, GalleryGraticuleWithPinsCalloutAndUserDot)
{
    source->setHasTiles(false);
    FakeLocationProvider provider;
    map->setLocationProvider(&provider);
    map->setCenterCoordinate(MapCoordinate{35.51, 139.75}, 13u, false);
    delegate.makeView = [](const GMKAnnotationPtr& annotation) -> TileAnnotationViewPtr {
        if (annotation->title().isEmpty()) {
            return nullptr;
        }
        auto view = std::make_shared<TileAnnotationView>(annotation, QStringLiteral("photoLocal"));
        view->setImageNamed(annotation->title().startsWith(QLatin1String("Where"))
                ? QStringLiteral("MKPinAnnotationColorGreen")
                : QStringLiteral("MKPinAnnotationColorRed"));
        view->setCanShowCallout(true);
        return view;
    };
    const auto photo = makePin(35.5125, 139.75, QStringLiteral("Where Photo Taken"), QStringLiteral("(35.51, 139.75)"));
    map->addAnnotations({photo, makePin(35.49, 139.77, QStringLiteral("Press & Drag to move"))});
    map->selectAnnotation(photo, true);
    map->setShowsUserLocation(true);
    provider.deliver(35.525, 139.72, 400.0);
    settle();
    EXPECT_TRUE(map->calloutContains(map->convertCoordinateToPoint(photo->coordinate()) - QPointF(0, 60)));
    EXPECT_TRUE(Gallery::capture(map.get(), QStringLiteral("tile-map-graticule-pins")));
}
