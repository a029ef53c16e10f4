#pragma once

#include "webmapkit/GMKAnnotation.h"
#include "webmapkit/LocationProvider.h"
#include "webmapkit/TileKey.h"

#include <QColor>
#include <QImage>
#include <QPainter>

#include <memory>

// A settable annotation, as the GPS tab's pins are.
class TestPin : public GMKAnnotation {
public:
    TestPin(double latitude, double longitude, QString title = QString(), QString subtitle = QString())
        : coordinate_{latitude, longitude}
        , title_(std::move(title))
        , subtitle_(std::move(subtitle))
    {
    }
    MapCoordinate coordinate() const override { return coordinate_; }
    QString title() const override { return title_; }
    QString subtitle() const override { return subtitle_; }
    bool respondsToSetCoordinate() const override { return true; }
    void setCoordinate(const MapCoordinate& coordinate) override { coordinate_ = coordinate; }

private:
    MapCoordinate coordinate_;
    QString title_;
    QString subtitle_;
};

inline std::shared_ptr<TestPin> makePin(
    double latitude, double longitude, const QString& title = QString(), const QString& subtitle = QString())
{
    return std::make_shared<TestPin>(latitude, longitude, title, subtitle);
}

// A location provider the test drives: start() is counted, fixes and failures
// are delivered when the test says.
class FakeLocationProvider : public LocationProvider {
public:
    int starts = 0;
    int stops = 0;
    void start() override { ++starts; }
    void stop() override { ++stops; }
    void deliver(double latitude, double longitude, double accuracy)
    {
        MapLocation location;
        location.coordinate = {latitude, longitude};
        location.horizontalAccuracy = accuracy;
        emit didUpdateLocation(location);
    }
    void fail(int code) { emit didFail(MapError{errorDomain(), code, QStringLiteral("test")}); }
};

// A tile picture that shows its own key, so gallery pictures prove where each
// tile landed.
inline QImage numberedTile(const TileKey& key)
{
    QImage image(256, 256, QImage::Format_RGB32);
    image.fill(QColor::fromHsv((key.x * 47 + key.y * 89) % 360, 60, 235));
    QPainter painter(&image);
    painter.setPen(QColor(60, 60, 60));
    painter.drawRect(0, 0, 255, 255);
    painter.drawText(
        QRect(0, 0, 256, 256), Qt::AlignCenter, QStringLiteral("%1/%2/%3").arg(key.zoom).arg(key.x).arg(key.y));
    return image;
}
