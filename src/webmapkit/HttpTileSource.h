#pragma once

#include "webmapkit/TileSource.h"

#include <QMap>
#include <QPointer>
#include <QSize>
#include <QUrl>

#include <deque>

class QNetworkReply;
struct MapReply;

// Tiles from an XYZ tile service: the template's {z}, {x} and {y} are replaced
// by the tile's numbers. Satellite and hybrid maps use the satellite template;
// without one they draw the plain tiles. The tile services ask a desktop
// client for few connections, so at most two downloads run at once in the
// whole process, whichever map asked; the rest wait in order, each source's
// in turn. A tile answer is capped, and only one that decodes as a picture of
// tile size is shown and kept in the map network's disk cache (for as long as
// its expiry headers allow).
class HttpTileSource : public TileSource {
    Q_OBJECT
public:
    static constexpr int kMaxRunning = 2;
    // Far above any 256-pixel tile; the map draws tiles of 256 points.
    static constexpr qint64 kMaxTileBytes = 2 * 1024 * 1024;
    static constexpr QSize kMaxTileSize{256, 256};

    HttpTileSource(const QString& tileTemplate, const QString& satelliteTemplate, const QString& attribution,
        QObject* parent = nullptr);
    ~HttpTileSource() override;
    // The source configured by the application's endpoints.
    static HttpTileSource* fromAppInfo(QObject* parent = nullptr);

    int tileSetFor(int mapType) const override;
    void request(const TileKey& key) override;
    void cancel(const TileKey& key) override;
    QString attribution() const override { return attribution_; }

    QString urlFor(const TileKey& key) const;
    int runningCount() const { return static_cast<int>(running_.size()); }

    // Downloads running in the whole process.
    static int runningInProcess();

private:
    // Starts waiting downloads of every source while there is room.
    static void pumpAll();
    bool startNext();
    void finish(const TileKey& key, const QUrl& url, const MapReply& reply);

    QString tileTemplate_;
    QString satelliteTemplate_;
    QString attribution_;
    std::deque<TileKey> waiting_;
    QMap<TileKey, QPointer<QNetworkReply>> running_;
};
