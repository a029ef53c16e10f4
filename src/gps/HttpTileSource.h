#pragma once

#include "gps/TileSource.h"

#include <QMap>
#include <QPointer>
#include <QSize>
#include <QUrl>

#include <deque>

class QNetworkReply;
struct MapReply;

// Tiles from an XYZ tile service: the template's {z}, {x} and {y} are replaced
// by the tile's numbers. Satellite and hybrid maps use the satellite template;
// without one they draw the plain tiles. At most six downloads run at once;
// the rest wait in order. A tile answer is capped, and only one that decodes
// as a picture of tile size is shown and kept in the map network's disk cache.
class HttpTileSource : public TileSource {
    Q_OBJECT
public:
    static constexpr int kMaxRunning = 6;
    // Far above any 256-pixel tile; the map draws tiles of 256 points.
    static constexpr qint64 kMaxTileBytes = 2 * 1024 * 1024;
    static constexpr QSize kMaxTileSize{256, 256};

    HttpTileSource(const QString& tileTemplate, const QString& satelliteTemplate, const QString& attribution,
        QObject* parent = nullptr);
    // The source configured by the application's endpoints.
    static HttpTileSource* fromAppInfo(QObject* parent = nullptr);

    int tileSetFor(int mapType) const override;
    void request(const TileKey& key) override;
    void cancel(const TileKey& key) override;
    QString attribution() const override { return attribution_; }

    QString urlFor(const TileKey& key) const;
    int runningCount() const { return static_cast<int>(running_.size()); }

private:
    void pump();
    void finish(const TileKey& key, const QUrl& url, const MapReply& reply);

    QString tileTemplate_;
    QString satelliteTemplate_;
    QString attribution_;
    std::deque<TileKey> waiting_;
    QMap<TileKey, QPointer<QNetworkReply>> running_;
};
