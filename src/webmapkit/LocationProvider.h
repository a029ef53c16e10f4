#pragma once

#include "webmapkit/MapError.h"
#include "webmapkit/MapLocation.h"

#include <QObject>
#include <QString>

#include <memory>

// Where create() looks for the desktop's location service. An empty address
// means the process's own system or session bus; the sandbox marker is the file
// that a sandboxed application finds at the root of its file system.
struct LocationBuses {
    QString systemAddress;
    QString sessionAddress;
    QString sandboxMarker = QStringLiteral("/.flatpak-info");
};

// Where the user is, for the map views' user location. start() asks for fixes;
// they come later as didUpdateLocation, or the provider fails with didFail
// (code 1: access refused or no location service at all, 0: no location
// available now). Signals arrive on the GUI thread.
class LocationProvider : public QObject {
    Q_OBJECT
public:
    static constexpr int kErrorUnknown = 0;
    static constexpr int kErrorDenied = 1;

    using QObject::QObject;

    virtual void start() = 0;
    virtual void stop() = 0;

    // The provider for an endpoint: HTTP when one is given; else the desktop's
    // location service (the portal inside a sandbox, GeoClue otherwise) when its
    // bus name is owned or can be activated; else one that always fails with
    // code 1. Asks only the bus daemons, never the service itself.
    static std::unique_ptr<LocationProvider> create(const QString& endpoint, QObject* parent = nullptr);
    static std::unique_ptr<LocationProvider> create(
        const QString& endpoint, const LocationBuses& buses, QObject* parent = nullptr);
    static QString errorDomain() { return QStringLiteral("org.lumetta.location"); }

signals:
    void didUpdateLocation(const MapLocation& location);
    void didFail(const MapError& error);
};

// The provider without a location service: every start fails on a later turn,
// as refused, so that the map turns the user location off again.
class NullLocationProvider : public LocationProvider {
    Q_OBJECT
public:
    using LocationProvider::LocationProvider;
    void start() override;
    void stop() override;

private:
    int generation_ = 0;
};
