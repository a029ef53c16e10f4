#include "support/QtPrinters.h"
#include "support/TempFolder.h"
#include "webmapkit/GMKAnnotationView.h"
#include "webmapkit/GMKCircle.h"
#include "webmapkit/GMKCircleView.h"
#include "webmapkit/GMKColorAdditions.h"
#include "webmapkit/GMKPinAnnotationView.h"
#include "webmapkit/GMKPointAnnotation.h"
#include "webmapkit/GMKPolygonView.h"
#include "webmapkit/GMKPolylineView.h"
#include "webmapkit/JsPageHost.h"
#include "webmapkit/ScriptPageSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <QFile>
#include <QUrl>

#include <gtest/gtest.h>

TEST(GMKMapModelTest, HexStringScalesEachChannelAndLeavesOutAlphaAndInvalidColours)
{
    struct Case {
        QColor colour;
        QString text;
    };
    const Case cases[] = {
        {QColor(Qt::red), QStringLiteral("#ff0000")},
        {QColor::fromRgbF(0.5f, 0.0f, 1.0f), QStringLiteral("#7f00ff")},
        {QColor::fromRgbF(0.0f, 0.5f, 0.0f, 0.25f), QStringLiteral("#007f00")},
        {QColor(254, 128, 1), QStringLiteral("#fe8001")},
        {QColor::fromHsvF(0.0f, 0.0f, 1.0f), QStringLiteral("#ffffff")},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GMKColorAdditions::hexString(c.colour), c.text);
    }
    EXPECT_TRUE(GMKColorAdditions::hexString(QColor()).isNull());
}

TEST(GMKMapModelTest, ShapesKeepTheirCoordinatesAndRefuseRangesOutsideThem)
{
    const MapCoordinate points[] = {{1, 2}, {3, 4}, {5, 6}};
    const auto line = GMKPolyline::polylineWithCoordinates(points, 3);
    EXPECT_EQ(line->coordinateCount(), 3u);
    EXPECT_EQ(line->coordinate(), MapCoordinate{});
    EXPECT_EQ(line->getCoordinates(1, 2), (std::vector<MapCoordinate>{{3, 4}, {5, 6}}));
    EXPECT_EQ(line->getCoordinates(3, 0), std::vector<MapCoordinate>{});
    for (const auto& [location, length] : {std::pair<size_t, size_t>{2, 2}, {4, 0}, {1, SIZE_MAX}}) {
        EXPECT_FALSE(line->getCoordinates(location, length).has_value()) << location << "+" << length;
    }

    const auto circle = GMKCircle::circleWithCenterCoordinate(MapCoordinate{48, 9}, 1110.0);
    EXPECT_DOUBLE_EQ(circle->region().latitudeDelta, 0.01);
    EXPECT_DOUBLE_EQ(circle->region().longitudeDelta, 0.01);
    EXPECT_EQ(circle->region().center, (MapCoordinate{48, 9}));

    GMKPointAnnotation point(MapCoordinate{35.5, -120.25});
    point.setTitle(QStringLiteral("Here"));
    EXPECT_TRUE(point.description().endsWith(QStringLiteral("> <35.500000, -120.250000> Here - (null)")));
}

TEST(GMKMapModelTest, ViewOptionsBeforeDrawing)
{
    const MapCoordinate points[] = {{1, 2}, {3, 4}};
    GMKPolylineView line(GMKPolyline::polylineWithCoordinates(points, 2));
    line.setLineWidth(2.5);
    const QMap<QString, QVariant> lineOptions = line.options();
    EXPECT_EQ(lineOptions.keys(),
        (QStringList{"clickable", "fillColor", "fillOpacity", "strokeColor", "strokeOpacity", "strokeWeight"}));
    EXPECT_EQ(lineOptions.value("fillOpacity").toFloat(), 0.0f);
    EXPECT_EQ(lineOptions.value("strokeColor").toString(), QStringLiteral("#ff0000"));
    EXPECT_EQ(lineOptions.value("strokeWeight").toFloat(), 2.5f);
    EXPECT_FALSE(lineOptions.value("clickable").toBool());

    GMKPolygonView area(GMKPolygon::polygonWithCoordinates(points, 2));
    EXPECT_EQ(area.options().value("fillColor").toString(), QStringLiteral("#ff0000"));
    EXPECT_NEAR(area.options().value("fillOpacity").toFloat(), 0.3f, 1e-4);
    area.setFillColor(QColor());
    EXPECT_FALSE(area.options().contains("fillColor")) << "a colour without a text leaves out both options";
    EXPECT_FALSE(area.options().contains("fillOpacity"));
    EXPECT_TRUE(area.options().contains("strokeColor"));

    GMKAnnotationView bare(nullptr, QString());
    EXPECT_EQ(bare.options().keys(), QStringList{"draggable"});

    for (const auto& [colour, name] :
        {std::pair<unsigned, const char*>{0, "Red"}, {1, "Green"}, {2, "Purple"}, {7, "Red"}}) {
        GMKPinAnnotationView pin(std::make_shared<GMKPointAnnotation>(), QStringLiteral("pin"));
        pin.setPinColor(colour);
        EXPECT_EQ(pin.imageUrl(), QStringLiteral("qrc:/map/GMKPinAnnotationColor%1.png").arg(QLatin1String(name)));
        EXPECT_TRUE(QFile::exists(QUrl(pin.imageUrl()).path().prepend(QLatin1Char(':')))) << name;
        EXPECT_TRUE(pin.canShowCallout());
    }
}

namespace {

const QString kModelPage = QStringLiteral(R"js(
var webmap = { made: 0 };
webmap.LatLng = function (lat, lng) { this.lat = lat; this.lng = lng; webmap.made += 1; };
webmap.Polyline = function () { this.kind = "Polyline"; };
webmap.Polygon = function () { this.kind = "Polygon"; };
webmap.Circle = function () { this.kind = "Circle"; };
function AnnotationOverlay() { this.kind = "AnnotationOverlay"; }
function MVCObject() { this.kind = "MVCObject"; }
function setOverlayOption(object, key, value) {
    object.options = object.options || {};
    object.options[key] = value;
    object.keys = (object.keys || []).concat([key]);
}
function describe(object) { return JSON.stringify({ kind: object.kind, keys: object.keys, options: object.options }); }
)js");

class GMKMapModelDrawingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(loadScriptPage(host,
            writeScriptPage(temp.path(), QStringLiteral("model.html"), {{QStringLiteral("model.js"), kModelPage}})));
    }
    // Makes the view's page object, draws it and reads back what the page holds.
    ScriptObject drawn(GMKView& view)
    {
        const ScriptObject object = view.overlayScriptObjectFromMapScriptObject(host.windowObject());
        view.draw(object);
        return object;
    }
    QJsonObject pageState(const ScriptObject& object)
    {
        return QJsonDocument::fromJson(
            host.callFunction(QStringLiteral("describe"), {QVariant::fromValue(object)}).toString().toUtf8())
            .object();
    }
    int made() { return host.evaluate(QStringLiteral("webmap.made")).toInt(); }

    TempFolder temp;
    JsPageHost host;
};

const MapCoordinate kTriangle[] = {{35.5, 139.7}, {35.6, 139.8}, {35.4, 139.9}};

} // namespace

TEST_F(GMKMapModelDrawingTest, LinesMakeTheirPagePathsOnceAndPolygonsListTheirHoles)
{
    GMKPolylineView line(GMKPolyline::polylineWithCoordinates(kTriangle, 3));
    const ScriptObject object = drawn(line);
    QJsonObject state = pageState(object);
    EXPECT_EQ(state.value("kind").toString(), QStringLiteral("Polyline"));
    const QJsonArray path = state.value("options").toObject().value("path").toArray();
    ASSERT_EQ(path.size(), 3);
    EXPECT_EQ(path[1].toObject().value("lat").toDouble(), 35.6);
    EXPECT_EQ(path[2].toObject().value("lng").toDouble(), 139.9);
    EXPECT_EQ(state.value("keys").toArray().first().toString(), QStringLiteral("clickable"))
        << "options go in key order";
    EXPECT_EQ(made(), 3);
    line.draw(object);
    EXPECT_EQ(made(), 3) << "a redraw makes no new page coordinates";

    const QList<GMKPolygonPtr> holes{
        GMKPolygon::polygonWithCoordinates(kTriangle, 3), GMKPolygon::polygonWithCoordinates(kTriangle, 2)};
    GMKPolygonView area(GMKPolygon::polygonWithCoordinates(kTriangle, 3, holes));
    const QJsonObject areaOptions = pageState(drawn(area)).value("options").toObject();
    EXPECT_FALSE(areaOptions.contains("path"));
    const QJsonArray paths = areaOptions.value("paths").toArray();
    ASSERT_EQ(paths.size(), 3);
    EXPECT_EQ(paths[2].toArray().size(), 2);

    GMKPolygonView plain(GMKPolygon::polygonWithCoordinates(kTriangle, 3));
    const QJsonObject plainOptions = pageState(drawn(plain)).value("options").toObject();
    EXPECT_EQ(plainOptions.value("path").toArray().size(), 3);
    EXPECT_FALSE(plainOptions.contains("paths"));
}

TEST_F(GMKMapModelDrawingTest, CirclesAndAnnotationsPlaceThemselvesAnewAtEveryDrawing)
{
    GMKCircleView circle(GMKCircle::circleWithCenterCoordinate(MapCoordinate{48.5, 9.25}, 250.0));
    const ScriptObject round = drawn(circle);
    circle.draw(round);
    EXPECT_EQ(made(), 2);
    const QJsonObject circleOptions = pageState(round).value("options").toObject();
    EXPECT_EQ(circleOptions.value("radius").toDouble(), 250.0);
    EXPECT_EQ(circleOptions.value("center").toObject().value("lat").toDouble(), 48.5);

    auto point = std::make_shared<GMKPointAnnotation>(MapCoordinate{-33.8688, 151.2093});
    point->setTitle(QStringLiteral("Sydney"));
    GMKPinAnnotationView pin(point, QStringLiteral("pin"));
    pin.setPinColor(7);
    pin.setDraggable(true);
    const QJsonObject state = pageState(drawn(pin));
    EXPECT_EQ(state.value("kind").toString(), QStringLiteral("AnnotationOverlay"));
    const QJsonObject pinOptions = state.value("options").toObject();
    EXPECT_EQ(pinOptions.value("imageUrl").toString(), QStringLiteral("qrc:/map/GMKPinAnnotationColorRed.png"));
    EXPECT_EQ(pinOptions.value("title").toString(), QStringLiteral("Sydney"));
    EXPECT_EQ(pinOptions.value("position").toObject().value("lng").toDouble(), 151.2093);
    EXPECT_TRUE(pinOptions.value("draggable").toBool());

    GMKAnnotationView bare(nullptr, QString());
    EXPECT_EQ(pageState(drawn(bare)).value("keys").toArray(), QJsonArray{"draggable"});
    GMKView base;
    EXPECT_EQ(pageState(drawn(base)).value("kind").toString(), QStringLiteral("MVCObject"));
}
