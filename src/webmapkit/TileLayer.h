#pragma once

#include "webmapkit/MapCoordinate.h"
#include "webmapkit/TileKey.h"

#include <QCache>
#include <QFont>
#include <QImage>
#include <QList>
#include <QObject>
#include <QSet>
#include <QSizeF>

class QPainter;
class TileSource;

// What a map shows: its centre, its zoom (a fractional zoom draws the tiles of
// the nearest whole level, scaled), its size in pixels and its map type.
struct TileViewport {
    MapCoordinate center;
    double zoom = 0.0;
    QSizeF size;
    int mapType = 0;

    // The whole level whose tiles are drawn, and how much they are scaled.
    int tileZoom() const;
    double scale() const;
};

// The tiles under a map: asks its source for the tiles a viewport shows (the
// nearest to the centre first) and for nothing else, gives up those that left
// the view, keeps the pictures in memory and paints them, borrowing a part of
// a coarser tile while one loads. A tile that failed is asked for again only
// after it has left the view and come back. Both map widgets draw through it.
class TileLayer : public QObject {
    Q_OBJECT
public:
    // `source` becomes the layer's child; null means no tiles.
    explicit TileLayer(TileSource* source, QObject* parent = nullptr);

    TileSource* source() const { return source_; }
    // The tile set that draws a map type; -1 when there are no pictures for it.
    int tileSet(int mapType) const;
    // Requests what the viewport shows, cancels what it no longer shows.
    void update(const TileViewport& viewport);
    // Stops every request (the map is gone from view).
    void cancelAll();
    bool isLoading() const { return loading_; }

    void paint(QPainter& painter, const TileViewport& viewport) const;
    // The source's credit line at the bottom right of `area`, when tiles show.
    void paintAttribution(QPainter& painter, const QSizeF& area, int mapType, const QFont& font) const;

    static QList<TileKey> visibleTiles(const TileViewport& viewport, int set);

signals:
    // A picture arrived: the map should be painted again.
    void tileArrived();
    // A burst of loading began, and ended (with failures or not).
    void loadStarted();
    void loadEnded(bool failed);

private:
    void onTileReady(const TileKey& key, const QImage& image);
    void onTileFailed(const TileKey& key);
    void endOfTile();

    TileSource* source_ = nullptr;
    QCache<TileKey, QImage> tiles_;
    QSet<TileKey> inFlight_;
    QSet<TileKey> failed_;
    bool loading_ = false;
    bool burstFailed_ = false;
};
