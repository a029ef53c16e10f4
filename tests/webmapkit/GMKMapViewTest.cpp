#include "foundation/AppInfo.h"
#include "foundation/KeyedArchiver.h"
#include "foundation/KeyedUnarchiver.h"
#include "support/Patience.h"
#include "support/TempFolder.h"
#include "webmapkit/GMKCircle.h"
#include "webmapkit/GMKPointAnnotation.h"
#include "webmapkit/MapTestSupport.h"
#include "webmapkit/MapUserAgent.h"
#include "webmapkit/MapViewTestSupport.h"

#include <QJsonObject>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class GMKMapViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MapClock::setDefaultClock(&clock);
        page = writeScriptPage(
            temp.path(), QStringLiteral("map.html"), {{QStringLiteral("recorder.js"), kRecordingPage}});
        view = std::make_unique<GMKMapView>(nullptr, page);
        view->setDelegate(&delegate);
    }
    void TearDown() override
    {
        view.reset();
        MapClock::setDefaultClock(nullptr);
    }

    ScriptBridge* host() { return view->host(); }
    void load() { ASSERT_TRUE(waitForLoad(host())); }
    // Loaded, past the delayed report, with nothing recorded yet.
    void ready()
    {
        load();
        clock.advance(0.5);
        delegate.events.clear();
        calls();
    }
    QStringList calls() { return pageCalls(host()); }
    QVariant run(const QString& script) { return host()->evaluate(script); }
    // The z-index last given to page object #id.
    QString zIndexOf(const QStringList& seen, int id)
    {
        QString last;
        for (const QString& call : seen) {
            if (call.startsWith(QStringLiteral("setOverlayOption #%1 zIndex ").arg(id))) {
                last = call.section(QLatin1Char(' '), 3);
            }
        }
        return last;
    }
    std::shared_ptr<GMKPointAnnotation> pin(double latitude, const QString& title = QString())
    {
        auto annotation = std::make_shared<GMKPointAnnotation>(MapCoordinate{latitude, 0.0});
        annotation->setTitle(title);
        return annotation;
    }

    ManualMapClock clock;
    TempFolder temp;
    QString page;
    MapViewTestDelegate delegate;
    std::unique_ptr<GMKMapView> view;
};

} // namespace

TEST_F(GMKMapViewTest, EveryLoadSendsTheStoredSettingsAndFinishesHalfASecondLater)
{
    MapLogCapture log;
    view->setMapType(2);
    view->addOverlay(GMKCircle::circleWithCenterCoordinate({1, 2}, 100));
    view->addAnnotation(pin(1));
    EXPECT_EQ(log.count(QStringLiteral("MapKit view isn't ready to add overlay:")), 1);
    EXPECT_EQ(log.count(QStringLiteral("MapKit view isn't ready to add annotation:")), 1);
    EXPECT_TRUE(view->overlays().empty());
    EXPECT_TRUE(view->annotations().empty());

    load();
    EXPECT_EQ(calls(), (QStringList{QStringLiteral("setMapType 2"), QStringLiteral("setUserLocationVisible false")}));
    EXPECT_EQ(delegate.events, QStringList{QStringLiteral("will load")});
    clock.advance(0.4);
    EXPECT_EQ(delegate.events.size(), 1);
    clock.advance(0.1);
    EXPECT_EQ(delegate.events.last(), QStringLiteral("did load"));

    // The page asks for a reload: a new page, the settings again, and the
    // objects of the old page match nothing any more.
    auto annotation = pin(5);
    view->addAnnotation(annotation);
    const std::uint64_t before = host()->generation();
    run(QStringLiteral("GMKMapView.webviewReportingReloadGmaps()"));
    load();
    EXPECT_GT(host()->generation(), before);
    EXPECT_EQ(calls(), (QStringList{QStringLiteral("setMapType 2"), QStringLiteral("setUserLocationVisible false")}));
    run(QStringLiteral("GMKMapView.annotationScriptObjectSelected(new AnnotationOverlay())"));
    EXPECT_TRUE(view->selectedAnnotations().empty());
    view->selectAnnotation(annotation);
    view->deselectAnnotation(annotation);
    EXPECT_EQ(calls(), QStringList{QStringLiteral("setAnnotationCalloutHidden undefined true")});
    clock.advance(0.5);
    EXPECT_EQ(delegate.events.count(QStringLiteral("did load")), 2);
}

TEST_F(GMKMapViewTest, PageFailuresReachTheDelegate)
{
    const QString broken
        = writeScriptPage(temp.path(), QStringLiteral("broken.html"), {}, {QStringLiteral("missing.js")});
    GMKMapView failing(nullptr, broken);
    failing.setDelegate(&delegate);
    QSignalSpy failed(failing.host(), &ScriptBridge::loadFailed);
    ASSERT_TRUE(failed.wait(kPatientMs));
    failing.host()->evaluate(QStringLiteral("GMKMapView.webviewReportingLoadFailure()"));
    ASSERT_EQ(delegate.errors.size(), 2);
    EXPECT_EQ(delegate.errors.at(1).domain, QStringLiteral("org.lumetta.webmapkit"));
    EXPECT_EQ(delegate.errors.at(1).code, 0);
}

TEST_F(GMKMapViewTest, OverlaysAreAddedOnceAndNumberedFromTheBottom)
{
    ready();
    auto a = GMKCircle::circleWithCenterCoordinate({1, 1}, 10);
    auto b = GMKCircle::circleWithCenterCoordinate({2, 2}, 10);
    auto c = GMKCircle::circleWithCenterCoordinate({3, 3}, 10);
    view->addOverlay(a);
    view->addOverlay(a);
    view->insertOverlay(c, 99);
    view->insertOverlayBelow(b, c);
    view->insertOverlayAbove(b, std::make_shared<GMKCircle>(MapCoordinate{}, 1.0));
    ASSERT_EQ(view->overlays(), (std::vector<GMKOverlayPtr>{a, b, c}));
    QStringList seen = calls();
    EXPECT_EQ(seen.count(QStringLiteral("addOverlay #1")), 1);
    // a is #1, c #2, b #3.
    EXPECT_EQ(zIndexOf(seen, 1), QStringLiteral("4000"));
    EXPECT_EQ(zIndexOf(seen, 3), QStringLiteral("4001"));
    EXPECT_EQ(zIndexOf(seen, 2), QStringLiteral("4002"));

    view->exchangeOverlays(0, 2);
    seen = calls();
    EXPECT_EQ(zIndexOf(seen, 2), QStringLiteral("4000"));
    EXPECT_EQ(zIndexOf(seen, 3), QStringLiteral("4001"));
    EXPECT_EQ(zIndexOf(seen, 1), QStringLiteral("4002"));

    MapLogCapture log;
    view->exchangeOverlays(0, 3);
    EXPECT_EQ(log.count(QStringLiteral(
                  "exchangeOverlayAtIndex: either index1 or index2 is above the bounds of the overlays array.")),
        1);
    EXPECT_TRUE(calls().isEmpty());
    EXPECT_EQ(view->overlays(), (std::vector<GMKOverlayPtr>{c, b, a}));

    view->removeOverlay(c);
    seen = calls();
    EXPECT_EQ(seen.first(), QStringLiteral("removeOverlay #2"));
    EXPECT_EQ(zIndexOf(seen, 3), QStringLiteral("4000"));
    EXPECT_EQ(view->viewForOverlay(c), nullptr);
    EXPECT_NE(view->viewForOverlay(a), nullptr);
}

TEST_F(GMKMapViewTest, OverlaysAndAnnotationsWithoutAViewStayOff)
{
    ready();
    MapLogCapture log;
    delegate.unanswered = {GMKMapViewDelegate::Op::ViewForOverlay};
    view->addOverlay(GMKCircle::circleWithCenterCoordinate({1, 1}, 10));
    delegate.makeAnnotationView = [](const GMKAnnotationPtr&) { return nullptr; };
    view->addAnnotation(pin(1));
    EXPECT_EQ(log.count(QStringLiteral("Wasn't able to create a GMKOverlayView for overlay:")), 1);
    EXPECT_EQ(log.count(QStringLiteral("Wasn't able to create a GMKAnnotationView for annotation:")), 1);

    struct Unknown : GMKAnnotationView {
        using GMKAnnotationView::GMKAnnotationView;
        QString viewPrototypeName() const override { return QStringLiteral("NoSuchConstructor"); }
    };
    delegate.makeAnnotationView = [](const GMKAnnotationPtr& a) { return std::make_shared<Unknown>(a, QString()); };
    view->addAnnotation(pin(1));
    EXPECT_EQ(
        log.count(QStringLiteral("Error creating internal representation of annotation view for annotation:")), 1);
    EXPECT_TRUE(view->overlays().empty());
    EXPECT_TRUE(view->annotations().empty());
}

TEST_F(GMKMapViewTest, AnnotationsFurtherSouthLieAbove)
{
    ready();
    view->addAnnotations({pin(10), pin(50), pin(-20)});
    const QStringList seen = calls();
    EXPECT_EQ(zIndexOf(seen, 1), QStringLiteral("6001"));
    EXPECT_EQ(zIndexOf(seen, 2), QStringLiteral("6000"));
    EXPECT_EQ(zIndexOf(seen, 3), QStringLiteral("6002"));
    EXPECT_TRUE(seen.contains(QStringLiteral("setOverlayOption #1 position (10,0)")));
}

TEST_F(GMKMapViewTest, SelectionShowsCalloutsOnlyForTitlesAndRemovalDeselects)
{
    ready();
    auto untitled = pin(1);
    auto titled = pin(2, QStringLiteral("Home"));
    delegate.makeAnnotationView = [](const GMKAnnotationPtr& a) {
        auto made = std::make_shared<GMKAnnotationView>(a, QString());
        made->setCanShowCallout(true);
        return made;
    };
    view->addAnnotations({untitled, titled});
    calls();

    view->selectAnnotation(untitled);
    EXPECT_EQ(delegate.events.last(), QStringLiteral("select"));
    EXPECT_TRUE(calls().isEmpty());
    view->selectAnnotation(titled);
    EXPECT_EQ(calls(),
        (QStringList{QStringLiteral("setAnnotationCalloutText #2 Home"),
            QStringLiteral("setAnnotationCalloutHidden #2 false")}));
    view->selectAnnotation(titled);
    EXPECT_EQ(delegate.events.count(QStringLiteral("select")), 2);

    // Removing a selected annotation deselects it first, so no later call
    // hands the page an object it has forgotten.
    delegate.events.clear();
    view->removeAnnotation(titled);
    EXPECT_EQ(calls(),
        (QStringList{QStringLiteral("setAnnotationCalloutHidden #2 true"), QStringLiteral("removeAnnotation #2")}));
    EXPECT_EQ(delegate.events, QStringList{QStringLiteral("deselect")});
    EXPECT_EQ(view->selectedAnnotations(), std::vector<GMKAnnotationPtr>{untitled});
    view->setSelectedAnnotations({});
    EXPECT_EQ(calls(), QStringList{QStringLiteral("setAnnotationCalloutHidden #1 true")});

    // The page selects by page object: the selection is replaced.
    view->selectAnnotation(untitled);
    run(QStringLiteral("GMKMapView.annotationScriptObjectSelected(objects[1])"));
    EXPECT_EQ(view->selectedAnnotations(), std::vector<GMKAnnotationPtr>{untitled});

    // A right click shows the delegate's menu items, when it has any.
    run(QStringLiteral("GMKMapView.annotationScriptObjectRightClick(objects[1])"));
    EXPECT_EQ(view->findChild<QMenu*>(), nullptr);
    QAction item(QStringLiteral("Remove Pin"));
    delegate.menuItems = {&item};
    run(QStringLiteral("GMKMapView.annotationScriptObjectRightClick(objects[1])"));
    ASSERT_NE(view->findChild<QMenu*>(), nullptr);
    EXPECT_TRUE(view->findChild<QMenu*>()->isVisible());
    EXPECT_EQ(view->findChild<QMenu*>()->actions(), QList<QAction*>{&item});
    view->findChild<QMenu*>()->close();

    // A delegate that does not answer an operation does not hear it.
    delegate.events.clear();
    delegate.unanswered = {GMKMapViewDelegate::Op::DidDeselectAnnotationView};
    view->deselectAnnotation(untitled);
    EXPECT_TRUE(view->selectedAnnotations().empty());
    EXPECT_TRUE(delegate.events.isEmpty());
}

TEST_F(GMKMapViewTest, ClicksDeselectAndLongHoldsReportTheirCoordinate)
{
    ready();
    auto a = pin(1);
    auto b = pin(2);
    view->addAnnotations({a, b});
    const QString click
        = QStringLiteral("GMKMapView.webviewReportingClick('{\"latitude\": 48.5, \"longitude\": 9.25}')");

    view->selectAnnotation(a);
    view->selectAnnotation(b);
    delegate.events.clear();
    QTest::mousePress(view->webView(), Qt::LeftButton);
    clock.advance(0.3);
    run(click);
    EXPECT_EQ(delegate.events, (QStringList{QStringLiteral("deselect"), QStringLiteral("deselect")}));
    EXPECT_TRUE(view->selectedAnnotations().empty());

    delegate.events.clear();
    QTest::mousePress(view->webView(), Qt::LeftButton);
    clock.advance(0.6);
    run(click);
    EXPECT_EQ(delegate.events, QStringList{QStringLiteral("hold")});
    EXPECT_EQ(delegate.holds.value(0), (MapCoordinate{48.5, 9.25}));

    // A click the page cannot place is no click at all.
    view->selectAnnotation(a);
    delegate.events.clear();
    for (const char* text : {"not json", "{\"latitude\": 1}", "[1, 2]"}) {
        view->webviewReportingClick(QString::fromLatin1(text));
    }
    EXPECT_TRUE(delegate.events.isEmpty());
    EXPECT_EQ(view->selectedAnnotations().size(), 1u);
}

TEST_F(GMKMapViewTest, DragsReportTheirStatesAndFollowThePage)
{
    ready();
    auto dragged = pin(1);
    view->addAnnotation(dragged);
    run(QStringLiteral("answers.coordinateForAnnotation = '{\"latitude\": 5.5, \"longitude\": 6.5}'"));

    for (const char* step : {"DragStart", "Drag", "Drag", "DragEnd"}) {
        run(QStringLiteral("GMKMapView.annotationScriptObject%1(objects[1])").arg(QString::fromLatin1(step)));
    }
    EXPECT_EQ(delegate.events,
        (QStringList{QStringLiteral("drag 1<-0"), QStringLiteral("drag 2<-1"), QStringLiteral("drag 0<-2")}));
    EXPECT_EQ(dragged->coordinate(), (MapCoordinate{5.5, 6.5}));

    // A page answer without a coordinate leaves the annotation where it is.
    run(QStringLiteral("answers.coordinateForAnnotation = 'nonsense'"));
    run(QStringLiteral("GMKMapView.annotationScriptObjectDragEnd(objects[1])"));
    EXPECT_EQ(dragged->coordinate(), (MapCoordinate{5.5, 6.5}));

    // An annotation that cannot move is not dragged.
    view->addOverlay(GMKCircle::circleWithCenterCoordinate({1, 1}, 1));
    auto fixed = std::make_shared<GMKCircle>(MapCoordinate{3, 3}, 1.0);
    view->addAnnotation(fixed);
    delegate.events.clear();
    run(QStringLiteral("GMKMapView.annotationScriptObjectDragStart(objects[3])"));
    EXPECT_TRUE(delegate.events.isEmpty());
}

TEST_F(GMKMapViewTest, ThePageSeesOnlyTheCallbacks)
{
    qputenv("LUMETTA_GEOCODERURL", "http://127.0.0.1:9/geo");
    GMKMapView other(nullptr, page);
    ASSERT_TRUE(waitForLoad(other.host()));
    qputenv("LUMETTA_GEOCODERURL", "");
    EXPECT_EQ(other.host()->evaluate(QStringLiteral("Object.keys(GMKMapView).sort().join(',')")).toString(),
        QStringLiteral("annotationScriptObjectDrag,annotationScriptObjectDragEnd,annotationScriptObjectDragStart,"
                       "annotationScriptObjectRightClick,annotationScriptObjectSelected,webViewSearchAddressBack,"
                       "webviewReportingClick,webviewReportingLoadFailure,webviewReportingRegionChange,"
                       "webviewReportingReloadGmaps"));
    EXPECT_EQ(
        other.host()->evaluate(QStringLiteral("typeof GMKMapView.setMapType")).toString(), QStringLiteral("undefined"));
    EXPECT_EQ(other.host()->evaluate(QStringLiteral("typeof GMKMapView.deleteLater")).toString(),
        QStringLiteral("undefined"));
    EXPECT_TRUE(other.host()->evaluate(QStringLiteral("WindowScriptObject === window")).toBool());
    EXPECT_EQ(
        other.host()->evaluate(QStringLiteral("GMKGeocoderURL")).toString(), QStringLiteral("http://127.0.0.1:9/geo"));

    other.close();
    EXPECT_EQ(other.host()->evaluate(QStringLiteral("GMKMapView")).metaType(), QMetaType::fromType<std::nullptr_t>());
}

TEST_F(GMKMapViewTest, StateAndConversionsComeFromThePageAnswers)
{
    ready();
    EXPECT_EQ(view->host()->userAgent(), "Lumetta AppleWebKit Lumetta/" + AppInfo::version().toUtf8());
    EXPECT_EQ(
        mapPageUserAgent(QJsonObject{{QStringLiteral("CFBundleName"), QStringLiteral("Lumetta")}}, QStringLiteral("x")),
        QByteArray("Lumetta AppleWebKit"));
    EXPECT_EQ(mapPageUserAgent(QJsonObject{}, QStringLiteral("lumetta-bin")), QByteArray("lumetta-bin AppleWebKit"));

    run(QStringLiteral("answers.getCenterCoordinate = '{\"latitude\": 1.5, \"longitude\": -2}'"));
    run(QStringLiteral("answers.getRegion = '{\"center\": {\"latitude\": 3, \"longitude\": 4}, \"latitudeDelta\": 0.5, "
                       "\"longitudeDelta\": 0.25}'"));
    run(QStringLiteral("answers.convertCoordinate = '{\"x\": 10, \"y\": 20}'"));
    EXPECT_EQ(view->centerCoordinate(), (MapCoordinate{1.5, -2}));
    EXPECT_EQ(view->region(), (MapRegion{{3, 4}, 0.5, 0.25}));
    EXPECT_EQ(view->convertCoordinate({1, 2}, nullptr), QPoint(10, 20));
    run(QStringLiteral(
        "answers.getCenterCoordinate = 7; answers.getRegion = 'not json'; answers.convertCoordinate = undefined"));
    EXPECT_EQ(view->centerCoordinate(), MapCoordinate{});
    EXPECT_EQ(view->region(), MapRegion{});
    EXPECT_EQ(view->convertCoordinate({1, 2}, nullptr), QPoint());

    MapLogCapture log;
    EXPECT_EQ(view->convertPoint(QPoint(5, 5), nullptr), MapCoordinate{});
    EXPECT_EQ(view->convertRect(QRect(0, 0, 5, 5), nullptr), MapRegion{});
    EXPECT_EQ(view->convertRegion(MapRegion{{1, 1}, 1, 1}, nullptr), QRect());
    EXPECT_EQ(log.count(QStringLiteral("not implemented yet")), 3);
    view->setScrollEnabled(false);
    view->setZoomEnabled(false);
    EXPECT_TRUE(view->isScrollEnabled() && view->isZoomEnabled());
    EXPECT_EQ(log.count(QStringLiteral("not supported")), 2);

    calls();
    view->setRegion(MapRegion{{1, 2}, 3, 4}, true);
    view->addJavascriptTag(QStringLiteral("file:///opt/extra.js"));
    view->addStylesheetTag(QStringLiteral("file:///opt/extra.css"));
    EXPECT_EQ(calls(),
        (QStringList{QStringLiteral("setRegionAnimated 1 2 3 4 true"), QStringLiteral("addJavascriptTag /opt/extra.js"),
            QStringLiteral("addStylesheetTag file:///opt/extra.css")}));
}

TEST_F(GMKMapViewTest, MapTypeAndUserLocationSettingComeBackFromAnArchive)
{
    GMKMapView::registerForArchives();
    view->setLocationProviderFactory([]() { return std::make_unique<NullLocationProvider>(); });
    view->setMapType(3);
    view->setShowsUserLocation(true);
    const QByteArray data = KeyedArchiver::archivedData(view.get());
    QString error;
    const auto copy = KeyedUnarchiver::unarchive<GMKMapView>(data, &error);
    ASSERT_TRUE(copy) << error.toStdString();
    EXPECT_EQ(copy->mapType(), 3u);
    EXPECT_TRUE(copy->showsUserLocation());
    EXPECT_TRUE(copy->userLocation()->isUpdating());
}
