#include "webmapkit/GMKAnnotationView.h"
#include "webmapkit/GMKCircle.h"
#include "webmapkit/GMKColorAdditions.h"
#include "webmapkit/GMKPinAnnotationView.h"
#include "webmapkit/GMKPointAnnotation.h"
#include "webmapkit/GMKPolygonView.h"
#include "webmapkit/GMKPolylineView.h"
#include "support/QtPrinters.h"

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
    EXPECT_EQ(lineOptions.keys(), (QStringList{"clickable", "fillColor", "fillOpacity", "strokeColor", "strokeOpacity", "strokeWeight"}));
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

    for (const auto& [colour, name] : {std::pair<unsigned, const char*>{0, "Red"}, {1, "Green"}, {2, "Purple"}, {7, "Red"}}) {
        GMKPinAnnotationView pin(std::make_shared<GMKPointAnnotation>(), QStringLiteral("pin"));
        pin.setPinColor(colour);
        EXPECT_EQ(pin.imageUrl(), QStringLiteral("qrc:/map/GMKPinAnnotationColor%1.png").arg(QLatin1String(name)));
        EXPECT_TRUE(QFile::exists(QUrl(pin.imageUrl()).path().prepend(QLatin1Char(':')))) << name;
        EXPECT_TRUE(pin.canShowCallout());
    }
}
