#include "gps/TileMapView.h"

#include "webmapkit/LocationProvider.h"
#include "webmapkit/TileProjection.h"
#include "webmapkit/TileSource.h"

#include <QMetaObject>

#include <algorithm>
#include <cmath>

namespace {

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
    , layer_(new TileLayer(source, this))
    , clock_(MapClock::defaultClock())
    , userLocation_(std::make_shared<GMKUserLocation>())
{
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(false);
    setMinimumSize(64, 64);
    connect(layer_, &TileLayer::tileArrived, this, qOverload<>(&QWidget::update));
    connect(layer_, &TileLayer::loadStarted, this, [this]() {
        tellDelegate(TileMapViewDelegate::Op::WillStartLoadingMap,
            [&](TileMapViewDelegate* d) { d->willStartLoadingMap(this); });
    });
    connect(layer_, &TileLayer::loadEnded, this, [this](bool failed) {
        if (failed) {
            const MapError error{tileErrorDomain(), 1, QStringLiteral("some map tiles could not be loaded")};
            tellDelegate(TileMapViewDelegate::Op::DidFailLoadingMap,
                [&](TileMapViewDelegate* d) { d->didFailLoadingMap(this, error); });
        } else {
            tellDelegate(TileMapViewDelegate::Op::DidFinishLoadingMap,
                [&](TileMapViewDelegate* d) { d->didFinishLoadingMap(this); });
        }
    });
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
    return layer_->tileSet(mapType_);
}

TileViewport TileMapView::viewport() const
{
    return TileViewport{center_, double(zoom_), QSizeF(mapWidth(), mapHeight()), mapType_};
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

void TileMapView::updateTiles()
{
    tileUpdateQueued_ = false;
    layer_->update(viewport());
    if (tileSet() >= 0) {
        graticuleReportedFor_ = -2;
        return;
    }
    // The graticule needs nothing from the network: it counts as loaded.
    if (graticuleReportedFor_ != mapType_) {
        graticuleReportedFor_ = mapType_;
        tellDelegate(TileMapViewDelegate::Op::WillStartLoadingMap,
            [&](TileMapViewDelegate* d) { d->willStartLoadingMap(this); });
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
