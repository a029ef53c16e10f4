#pragma once

#include "gps/TileSource.h"

#include <QMap>
#include <QPointer>

#include <deque>

class QNetworkReply;

// Tiles from an XYZ tile service: the template's {z}, {x} and {y} are replaced
// by the tile's numbers. Satellite and hybrid maps use the satellite template
// (the plain one when it is empty). At most six downloads run at once; the rest
// wait in order. Answers go through the disk cache of the map network.
class HttpTileSource : public TileSource {
    Q_OBJECT
public:
    static constexpr int kMaxRunning = 6;

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
    void finish(const TileKey& key, bool ok, const QByteArray& body);

    QString tileTemplate_;
    QString satelliteTemplate_;
    QString attribution_;
    std::deque<TileKey> waiting_;
    QMap<TileKey, QPointer<QNetworkReply>> running_;
};
