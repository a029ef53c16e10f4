#pragma once

#include "webmapkit/MapError.h"
#include "webmapkit/MapLocation.h"

#include <QObject>
#include <QString>

#include <memory>

// Where the user is, for the map views' user location. start() asks for a fix;
// the answer comes later as didUpdateLocation or didFail (code 1: access denied,
// 0: no location available). Signals arrive on the GUI thread.
class LocationProvider : public QObject {
    Q_OBJECT
public:
    static constexpr int kErrorUnknown = 0;
    static constexpr int kErrorDenied = 1;

    using QObject::QObject;

    virtual void start() = 0;
    virtual void stop() = 0;

    // The provider for an endpoint: HTTP when one is given, else one that always
    // fails with code 0 (there is no other location service on this platform).
    static std::unique_ptr<LocationProvider> create(const QString& endpoint, QObject* parent = nullptr);
    static QString errorDomain() { return QStringLiteral("org.lumetta.location"); }

signals:
    void didUpdateLocation(const MapLocation& location);
    void didFail(const MapError& error);
};

// The provider without a location service: every start fails on a later turn.
class NullLocationProvider : public LocationProvider {
    Q_OBJECT
public:
    using LocationProvider::LocationProvider;
    void start() override;
    void stop() override;

private:
    int generation_ = 0;
};
