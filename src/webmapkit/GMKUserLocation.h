#pragma once

#include "webmapkit/GMKAnnotation.h"
#include "webmapkit/MapLocation.h"

#include <QObject>

#include <optional>

// The user's own place on a map: the last fix and whether updates run. Clients
// read it and may set its texts; only the map view that owns it changes the
// location and the updating flag (changes are signalled).
class GMKUserLocation : public QObject, public GMKAnnotation {
    Q_OBJECT
public:
    using QObject::QObject;

    bool isUpdating() const { return updating_; }
    const std::optional<MapLocation>& location() const { return location_; }

    // (0, 0) while there is no location.
    MapCoordinate coordinate() const override;
    QString title() const override { return title_; }
    QString subtitle() const override { return subtitle_; }
    void setTitle(const QString& title) { title_ = title; }
    void setSubtitle(const QString& subtitle) { subtitle_ = subtitle; }

    // For the owning map view only.
    void setLocation(const std::optional<MapLocation>& location);
    void setUpdating(bool updating);

signals:
    void locationChanged();
    void updatingChanged();

private:
    bool updating_ = false;
    std::optional<MapLocation> location_;
    QString title_;
    QString subtitle_;
};

using GMKUserLocationPtr = std::shared_ptr<GMKUserLocation>;
