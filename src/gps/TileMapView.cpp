#include "gps/TileMapView.h"

#include "gps/TileProjection.h"
#include "gps/TileSource.h"
#include "webmapkit/LocationProvider.h"

#include <QMetaObject>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kTileCacheCount = 512;
constexpr double kGlideSeconds = 0.3;
// Spans compare with a little slack so that a span made for a zoom level snaps
// back to exactly that level despite rounding.
constexpr double kSpanSlack = 1e-9;

QString tileErrorDomain()
{
    return QStringLiteral("org.lumetta.tilemap");
}

} // namespace

TileMapView::TileMapView(TileSource* source, QWidget* parent)
    : QWidget(parent)
    , source_(source)
    , clock_(MapClock::defaultClock())
    , tiles_(kTileCacheCount)
    , userLocation_(std::make_shared<GMKUserLocation>())
{
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(false);
    setMinimumSize(64, 64);
    if (source_ != nullptr) {
        source_->setParent(this);
        connect(source_, &TileSource::tileReady, this, &TileMapView::onTileReady);
        connect(source_, &TileSource::tileFailed, this, &TileMapView::onTileFailed);
    }
}

TileMapView::~TileMapView()
{
    stopLocating();
}

void TileMapView::setDelegate(QObject* delegate)
{
    delegate_ = delegate;
}

TileMapViewDelegate* TileMapView::delegate() const
{
    return dynamic_cast<TileMapViewDelegate*>(delegate_.data());
}

void TileMapView::setMapType(int mapType)
{
    if (mapType_ == mapType) {
        return;
    }
    mapType_ = mapType;
    update();
    scheduleTileUpdate();
}

double TileMapView::mapWidth() const
{
    return width() > 0 ? width() : TileProjection::kTileSize;
}

double TileMapView::mapHeight() const
{
    return height() > 0 ? height() : TileProjection::kTileSize;
}

QPointF TileMapView::centerWorld() const
{
    return TileProjection::toWorld(center_, zoom_);
}

MapRegion TileMapView::region() const
{
    const QPointF middle = centerWorld();
    const double top
        = TileProjection::toCoordinate(QPointF(middle.x(), middle.y() - mapHeight() / 2.0), zoom_).latitude;
    const double bottom
        = TileProjection::toCoordinate(QPointF(middle.x(), middle.y() + mapHeight() / 2.0), zoom_).latitude;
    return MapRegion{center_, top - bottom, TileProjection::longitudeSpan(zoom_, mapWidth())};
}

void TileMapView::setRegion(const MapRegion& region, bool animated)
{
    const MapCoordinate center{
        TileProjection::clampLatitude(region.center.latitude), TileProjection::wrapLongitude(region.center.longitude)};
    int chosen = TileProjection::kMinZoom;
    for (int zoom = TileProjection::kMaxZoom; zoom >= TileProjection::kMinZoom; --zoom) {
        const QPointF middle = TileProjection::toWorld(center, zoom);
        const double top
            = TileProjection::toCoordinate(QPointF(middle.x(), middle.y() - mapHeight() / 2.0), zoom).latitude;
        const double bottom
            = TileProjection::toCoordinate(QPointF(middle.x(), middle.y() + mapHeight() / 2.0), zoom).latitude;
        const bool wideEnough
            = TileProjection::longitudeSpan(zoom, mapWidth()) >= std::abs(region.longitudeDelta) * (1.0 - kSpanSlack);
        const bool tallEnough = top - bottom >= std::abs(region.latitudeDelta) * (1.0 - kSpanSlack);
        if (wideEnough && tallEnough) {
            chosen = zoom;
            break;
        }
    }
    applyCenterAndZoom(center, chosen, animated);
}

void TileMapView::startGlide(const QPointF& offset)
{
    // Only short moves glide; a jump across the world would just blur.
    if (std::abs(offset.x()) > 2.0 * mapWidth() || std::abs(offset.y()) > 2.0 * mapHeight()) {
        return;
    }
    glideFrom_ = glideOffset() + offset;
    glideStart_ = clock_->now();
    if (glideFrameCall_ == 0) {
        glideFrame();
    }
}

void TileMapView::glideFrame()
{
    glideFrameCall_ = 0;
    update();
    if (clock_->now() - glideStart_ < kGlideSeconds) {
        glideFrameCall_ = clock_->callAfter(1.0 / 60.0, this, [this]() { glideFrame(); });
    } else {
        glideFrom_ = QPointF();
    }
}

QPointF TileMapView::glideOffset() const
{
    const double progress = std::clamp((clock_->now() - glideStart_) / kGlideSeconds, 0.0, 1.0);
    const double remaining = 1.0 - progress;
    return glideFrom_ * remaining * remaining * remaining;
}

void TileMapView::setCenterCoordinate(const MapCoordinate& center, bool animated)
{
    applyCenterAndZoom(center, zoom_, animated);
}

void TileMapView::applyCenterAndZoom(const MapCoordinate& center, int zoom, bool animated)
{
    tellDelegate(TileMapViewDelegate::Op::RegionWillChange,
        [&](TileMapViewDelegate* d) { d->regionWillChange(this, animated); });
    const QPointF before = centerWorld();
    const int oldZoom = zoom_;
    center_ = MapCoordinate{
        TileProjection::clampLatitude(center.latitude), TileProjection::wrapLongitude(center.longitude)};
    zoom_ = std::clamp(zoom, TileProjection::kMinZoom, TileProjection::kMaxZoom);
    if (animated && zoom_ == oldZoom && isVisible() && clock_->animates()) {
        QPointF offset = centerWorld() - before;
        const double size = TileProjection::worldSize(zoom_);
        offset.setX(offset.x() - std::round(offset.x() / size) * size);
        startGlide(offset);
    }
    update();
    scheduleTileUpdate();
    tellDelegate(
        TileMapViewDelegate::Op::RegionDidChange, [&](TileMapViewDelegate* d) { d->regionDidChange(this, animated); });
}

QPointF TileMapView::convertCoordinateToPoint(const MapCoordinate& coordinate) const
{
    const QPointF middle = centerWorld();
    QPointF world = TileProjection::toWorld(coordinate, zoom_);
    // Take the copy of the world nearest the centre, so pins near the date line
    // stand where the user looks.
    const double size = TileProjection::worldSize(zoom_);
    world.setX(world.x() - std::round((world.x() - middle.x()) / size) * size);
    return world - middle + QPointF(mapWidth() / 2.0, mapHeight() / 2.0);
}

MapCoordinate TileMapView::convertPointToCoordinate(const QPointF& point) const
{
    const QPointF world = centerWorld() + point - QPointF(mapWidth() / 2.0, mapHeight() / 2.0);
    const MapCoordinate coordinate = TileProjection::toCoordinate(world, zoom_);
    return MapCoordinate{coordinate.latitude, TileProjection::wrapLongitude(coordinate.longitude)};
}

int TileMapView::tileSet() const
{
    return source_ != nullptr ? source_->tileSetFor(mapType_) : -1;
}

void TileMapView::scheduleTileUpdate()
{
    if (tileUpdateQueued_) {
        return;
    }
    tileUpdateQueued_ = true;
    QMetaObject::invokeMethod(
        this, [this]() { updateTiles(); }, Qt::QueuedConnection);
}

QList<TileKey> TileMapView::visibleTiles() const
{
    const int set = tileSet();
    const QPointF middle = centerWorld();
    const int count = 1 << zoom_;
    const double left = middle.x() - mapWidth() / 2.0;
    const double top = middle.y() - mapHeight() / 2.0;
    const int size = TileProjection::kTileSize;
    const int firstColumn = static_cast<int>(std::floor(left / size));
    const int lastColumn = static_cast<int>(std::floor((left + mapWidth() - 1.0) / size));
    const int firstRow = std::max(0, static_cast<int>(std::floor(top / size)));
    const int lastRow = std::min(count - 1, static_cast<int>(std::floor((top + mapHeight() - 1.0) / size)));
    QList<TileKey> keys;
    for (int row = firstRow; row <= lastRow; ++row) {
        for (int column = firstColumn; column <= lastColumn; ++column) {
            const TileKey key{zoom_, ((column % count) + count) % count, row, set};
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

void TileMapView::updateTiles()
{
    tileUpdateQueued_ = false;
    if (tileSet() < 0) {
        for (const TileKey& key : std::as_const(inFlight_)) {
            source_->cancel(key);
        }
        inFlight_.clear();
        loading_ = false;
        // The graticule needs nothing from the network: it counts as loaded.
        if (graticuleReportedFor_ != mapType_) {
            graticuleReportedFor_ = mapType_;
            tellDelegate(TileMapViewDelegate::Op::WillStartLoadingMap,
                [&](TileMapViewDelegate* d) { d->willStartLoadingMap(this); });
            tellDelegate(TileMapViewDelegate::Op::DidFinishLoadingMap,
                [&](TileMapViewDelegate* d) { d->didFinishLoadingMap(this); });
        }
        return;
    }
    graticuleReportedFor_ = -2;
    const QList<TileKey> visible = visibleTiles();
    const QSet<TileKey> shown(visible.begin(), visible.end());
    for (const TileKey& key : QSet<TileKey>(inFlight_)) {
        if (!shown.contains(key)) {
            source_->cancel(key);
            inFlight_.remove(key);
        }
    }
    // A failed tile is asked for again only once it has left the view and come back.
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
        startBurst();
    }
    for (const TileKey& key : wanted) {
        inFlight_.insert(key);
        source_->request(key);
    }
    endOfTile();
}

void TileMapView::startBurst()
{
    loading_ = true;
    burstFailed_ = false;
    tellDelegate(
        TileMapViewDelegate::Op::WillStartLoadingMap, [&](TileMapViewDelegate* d) { d->willStartLoadingMap(this); });
}

void TileMapView::onTileReady(const TileKey& key, const QImage& image)
{
    if (!inFlight_.remove(key)) {
        return;
    }
    tiles_.insert(key, new QImage(image));
    update();
    endOfTile();
}

void TileMapView::onTileFailed(const TileKey& key)
{
    if (!inFlight_.remove(key)) {
        return;
    }
    failed_.insert(key);
    burstFailed_ = true;
    endOfTile();
}

void TileMapView::endOfTile()
{
    if (!loading_ || !inFlight_.isEmpty()) {
        return;
    }
    loading_ = false;
    if (burstFailed_) {
        const MapError error{tileErrorDomain(), 1, QStringLiteral("some map tiles could not be loaded")};
        tellDelegate(TileMapViewDelegate::Op::DidFailLoadingMap,
            [&](TileMapViewDelegate* d) { d->didFailLoadingMap(this, error); });
    } else {
        tellDelegate(TileMapViewDelegate::Op::DidFinishLoadingMap,
            [&](TileMapViewDelegate* d) { d->didFinishLoadingMap(this); });
    }
}

void TileMapView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    scheduleTileUpdate();
}

void TileMapView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    scheduleTileUpdate();
}
