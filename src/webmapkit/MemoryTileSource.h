#pragma once

#include "webmapkit/TileSource.h"

#include <QList>
#include <QMap>

// Tiles from memory, for tests and offline use: a picture per key, or one
// picture for every key. A key without a picture fails. Answers come on the
// next event-loop turn, as a network source's would.
class MemoryTileSource : public TileSource {
    Q_OBJECT
public:
    explicit MemoryTileSource(QObject* parent = nullptr);

    void setTile(const TileKey& key, const QImage& image) { tiles_.insert(key, image); }
    void setEveryTile(const QImage& image) { everyTile_ = image; }
    // A map type this source has no pictures for draws the graticule.
    void setHasTiles(bool hasTiles) { hasTiles_ = hasTiles; }
    void setAttribution(const QString& text) { attribution_ = text; }

    int tileSetFor(int mapType) const override;
    void request(const TileKey& key) override;
    void cancel(const TileKey& key) override;
    QString attribution() const override { return attribution_; }

    const QList<TileKey>& requested() const { return requested_; }
    const QList<TileKey>& cancelled() const { return cancelled_; }

private:
    QMap<TileKey, QImage> tiles_;
    QImage everyTile_;
    bool hasTiles_ = true;
    QString attribution_;
    QList<TileKey> requested_;
    QList<TileKey> cancelled_;
    QMap<TileKey, int> live_;
    int nextTicket_ = 1;
};
