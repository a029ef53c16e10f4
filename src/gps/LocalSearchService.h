#pragma once

#include "webmapkit/MapRegion.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

// Place search by name or address: GET <endpoint>?q=<text>, answered by a JSON
// array of places whose first entry's "boundingbox" [south, north, west, east]
// gives the region. Any other answer, a failure or no endpoint gives no region,
// always on a later turn of the event loop. Requests take their turns with the
// other searches of the application (at most one a second), and an answer the
// service gave is kept for the session: the same text is not asked again.
class LocalSearchService : public QObject {
    Q_OBJECT
public:
    using Completion = std::function<void(const std::optional<MapRegion>&)>;

    explicit LocalSearchService(const QString& endpoint, QObject* parent = nullptr);
    // The service on the application's PlaceSearchURL.
    static LocalSearchService* fromAppInfo(QObject* parent = nullptr);

    void search(const QString& text, Completion completion);

    // The region of an answer's first place, if it has a usable bounding box.
    static std::optional<MapRegion> regionFromAnswer(const QByteArray& body);

private:
    QString endpoint_;
};
