#pragma once

#include "webmapkit/TileKey.h"

#include <QImage>
#include <QObject>
#include <QString>

// Where a tile map gets its pictures. Requests are answered later, on the GUI
// thread, by tileReady or tileFailed; a cancelled request is answered by neither.
class TileSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // The tile set that draws a map type, or -1 when the type has no pictures
    // here (the map then draws its graticule).
    virtual int tileSetFor(int mapType) const = 0;
    virtual void request(const TileKey& key) = 0;
    virtual void cancel(const TileKey& key) = 0;
    // Credit line drawn at the bottom right of the map; may be empty.
    virtual QString attribution() const { return QString(); }

signals:
    void tileReady(const TileKey& key, const QImage& image);
    void tileFailed(const TileKey& key);
};
