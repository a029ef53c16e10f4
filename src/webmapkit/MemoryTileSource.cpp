#include "webmapkit/MemoryTileSource.h"

#include <QTimer>

MemoryTileSource::MemoryTileSource(QObject* parent)
    : TileSource(parent)
{
}

int MemoryTileSource::tileSetFor(int mapType) const
{
    if (!hasTiles_) {
        return -1;
    }
    return mapType == 1 || mapType == 2 ? 1 : 0;
}

void MemoryTileSource::request(const TileKey& key)
{
    requested_.append(key);
    const int ticket = nextTicket_++;
    live_.insert(key, ticket);
    QTimer::singleShot(0, this, [this, key, ticket]() {
        if (live_.value(key) != ticket) {
            return;
        }
        live_.remove(key);
        const QImage image = tiles_.value(key, everyTile_);
        if (image.isNull()) {
            emit tileFailed(key);
        } else {
            emit tileReady(key, image);
        }
    });
}

void MemoryTileSource::cancel(const TileKey& key)
{
    if (live_.remove(key) > 0) {
        cancelled_.append(key);
    }
}
