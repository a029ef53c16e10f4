#include "webmapkit/TileLayer.h"

#include "webmapkit/TileProjection.h"
#include "webmapkit/TileSource.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kTileCacheCount = 512;
// How many zoom levels up a missing tile may borrow a blurred picture from.
constexpr int kParentLevels = 4;

struct TileRange {
    int firstColumn = 0;
    int lastColumn = -1;
    int firstRow = 0;
    int lastRow = -1;
};

TileRange rangeOf(const TileViewport& viewport)
{
    const int zoom = viewport.tileZoom();
    const double scale = viewport.scale();
    const QPointF middle = TileProjection::toWorld(viewport.center, zoom);
    const double left = middle.x() - viewport.size.width() / 2.0 / scale;
    const double top = middle.y() - viewport.size.height() / 2.0 / scale;
    const int size = TileProjection::kTileSize;
    const int count = 1 << zoom;
    TileRange range;
    range.firstColumn = static_cast<int>(std::floor(left / size));
    range.lastColumn = static_cast<int>(std::floor((left + (viewport.size.width() - 1.0) / scale) / size));
    range.firstRow = std::max(0, static_cast<int>(std::floor(top / size)));
    range.lastRow
        = std::min(count - 1, static_cast<int>(std::floor((top + (viewport.size.height() - 1.0) / scale) / size)));
    return range;
}

} // namespace

int TileViewport::tileZoom() const
{
    const double level = std::isfinite(zoom) ? std::round(zoom) : 0.0;
    return static_cast<int>(std::clamp(level, double(TileProjection::kMinZoom), double(TileProjection::kMaxZoom)));
}

double TileViewport::scale() const
{
    return std::isfinite(zoom) ? std::exp2(zoom - tileZoom()) : 1.0;
}

TileLayer::TileLayer(TileSource* source, QObject* parent)
    : QObject(parent)
    , source_(source)
    , tiles_(kTileCacheCount)
{
    if (source_ != nullptr) {
        source_->setParent(this);
        connect(source_, &TileSource::tileReady, this, &TileLayer::onTileReady);
        connect(source_, &TileSource::tileFailed, this, &TileLayer::onTileFailed);
    }
}

int TileLayer::tileSet(int mapType) const
{
    return source_ != nullptr ? source_->tileSetFor(mapType) : -1;
}

QList<TileKey> TileLayer::visibleTiles(const TileViewport& viewport, int set)
{
    const int zoom = viewport.tileZoom();
    const int count = 1 << zoom;
    const int size = TileProjection::kTileSize;
    const QPointF middle = TileProjection::toWorld(viewport.center, zoom);
    const TileRange range = rangeOf(viewport);
    QList<TileKey> keys;
    for (int row = range.firstRow; row <= range.lastRow; ++row) {
        for (int column = range.firstColumn; column <= range.lastColumn; ++column) {
            const TileKey key{zoom, ((column % count) + count) % count, row, set};
            if (!keys.contains(key)) {
                keys.append(key);
            }
        }
    }
    // Nearest the centre first: that is where the user looks.
    const auto distance = [&](const TileKey& key) {
        const double dx = (key.x + 0.5) * size - middle.x();
        const double dy = (key.y + 0.5) * size - middle.y();
        return dx * dx + dy * dy;
    };
    std::stable_sort(
        keys.begin(), keys.end(), [&](const TileKey& a, const TileKey& b) { return distance(a) < distance(b); });
    return keys;
}

void TileLayer::cancelAll()
{
    for (const TileKey& key : std::as_const(inFlight_)) {
        source_->cancel(key);
    }
    inFlight_.clear();
    loading_ = false;
}

void TileLayer::update(const TileViewport& viewport)
{
    const int set = tileSet(viewport.mapType);
    if (set < 0 || viewport.size.isEmpty()) {
        cancelAll();
        return;
    }
    const QList<TileKey> visible = visibleTiles(viewport, set);
    const QSet<TileKey> shown(visible.begin(), visible.end());
    for (const TileKey& key : QSet<TileKey>(inFlight_)) {
        if (!shown.contains(key)) {
            source_->cancel(key);
            inFlight_.remove(key);
        }
    }
    for (const TileKey& key : QSet<TileKey>(failed_)) {
        if (!shown.contains(key)) {
            failed_.remove(key);
        }
    }
    QList<TileKey> wanted;
    for (const TileKey& key : visible) {
        if (!tiles_.contains(key) && !inFlight_.contains(key) && !failed_.contains(key)) {
            wanted.append(key);
        }
    }
    if (!wanted.isEmpty() && !loading_) {
        loading_ = true;
        burstFailed_ = false;
        emit loadStarted();
    }
    for (const TileKey& key : wanted) {
        inFlight_.insert(key);
        source_->request(key);
    }
    endOfTile();
}

void TileLayer::onTileReady(const TileKey& key, const QImage& image)
{
    if (!inFlight_.remove(key)) {
        return;
    }
    tiles_.insert(key, new QImage(image));
    emit tileArrived();
    endOfTile();
}

void TileLayer::onTileFailed(const TileKey& key)
{
    if (!inFlight_.remove(key)) {
        return;
    }
    failed_.insert(key);
    burstFailed_ = true;
    endOfTile();
}

void TileLayer::endOfTile()
{
    if (!loading_ || !inFlight_.isEmpty()) {
        return;
    }
    loading_ = false;
    emit loadEnded(burstFailed_);
}

void TileLayer::paint(QPainter& painter, const TileViewport& viewport) const
{
    const int set = tileSet(viewport.mapType);
    if (set < 0) {
        return;
    }
    const int zoom = viewport.tileZoom();
    const double scale = viewport.scale();
    const int count = 1 << zoom;
    const int size = TileProjection::kTileSize;
    const QPointF middle = TileProjection::toWorld(viewport.center, zoom);
    const QPointF half(viewport.size.width() / 2.0, viewport.size.height() / 2.0);
    // Unscaled tiles stand on whole pixels: they then copy straight across
    // instead of being resampled.
    const QPointF origin = scale == 1.0 ? QPointF((half - middle).toPoint()) : half - middle * scale;
    const double side = size * scale;
    const TileRange range = rangeOf(viewport);
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    for (int row = range.firstRow; row <= range.lastRow; ++row) {
        for (int column = range.firstColumn; column <= range.lastColumn; ++column) {
            const int x = ((column % count) + count) % count;
            const QRectF target(origin.x() + column * side, origin.y() + row * side, side, side);
            if (const QImage* image = tiles_.object(TileKey{zoom, x, row, set})) {
                if (scale == 1.0 && image->size() == QSize(size, size)) {
                    painter.drawImage(target.topLeft(), *image);
                } else {
                    painter.drawImage(target, *image);
                }
                continue;
            }
            // While a tile loads, show the part of a coarser tile that covers it.
            for (int up = 1; up <= kParentLevels && up <= zoom; ++up) {
                const TileKey parent{zoom - up, x >> up, row >> up, set};
                if (const QImage* image = tiles_.object(parent)) {
                    const double part = double(size) / (1 << up);
                    const QRectF source((x - (parent.x << up)) * part, (row - (parent.y << up)) * part, part, part);
                    painter.drawImage(target, *image, source);
                    break;
                }
            }
        }
    }
    painter.restore();
}

void TileLayer::paintAttribution(QPainter& painter, const QSizeF& area, int mapType, const QFont& font) const
{
    const QString text = source_ != nullptr ? source_->attribution() : QString();
    if (text.isEmpty() || tileSet(mapType) < 0) {
        return;
    }
    QFont small = font;
    small.setPointSizeF(std::max(7.0, small.pointSizeF() - 2.0));
    const QFontMetricsF metrics(small);
    const QSizeF size(metrics.horizontalAdvance(text) + 8.0, metrics.height() + 2.0);
    const QRectF box(area.width() - size.width(), area.height() - size.height(), size.width(), size.height());
    painter.save();
    painter.setFont(small);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 200));
    painter.drawRect(box);
    painter.setPen(QColor(40, 40, 40));
    painter.drawText(box, Qt::AlignCenter, text);
    painter.restore();
}
