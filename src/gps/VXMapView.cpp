#include "gps/VXMapView.h"

#include "webmapkit/TileProjection.h"

#include <QMouseEvent>
#include <QPainter>

#include <cmath>

namespace {

constexpr double kBorderWidth = 2.0;

} // namespace

VXMapView::VXMapView(TileSource* source, QWidget* parent)
    : TileMapView(source, parent)
{
}

VXMapView::~VXMapView()
{
    mapDelegate_ = nullptr;
    setDelegate(nullptr);
}

void VXMapView::setMapDelegate(QObject* delegate)
{
    mapDelegate_ = delegate;
    setDelegate(delegate);
}

VXMapViewDelegate* VXMapView::mapDelegate() const
{
    return dynamic_cast<VXMapViewDelegate*>(mapDelegate_.data());
}

void VXMapView::setCenterCoordinate(const MapCoordinate& center, unsigned zoomLevel, bool animated)
{
    const int zoom = static_cast<int>(std::min<unsigned>(zoomLevel, TileProjection::kMaxZoom));
    const MapRegion region{center, 0.0, TileProjection::longitudeSpan(zoom, mapWidth())};
    setRegion(region, animated);
}

double VXMapView::getZoomLevel() const
{
    return std::log2(360.0 * (mapWidth() / TileProjection::kTileSize) / region().longitudeDelta);
}

void VXMapView::paintEvent(QPaintEvent* event)
{
    TileMapView::paintEvent(event);
    QPainter painter(this);
    painter.setPen(QPen(QColor(0, 0, 0, 128), kBorderWidth));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(rect()).adjusted(kBorderWidth / 2, kBorderWidth / 2, -kBorderWidth / 2, -kBorderWidth / 2));
}

void VXMapView::mousePressEvent(QMouseEvent* event)
{
    mouseMoved_ = false;
    lastHitTestDate_ = clock()->now();
    pressOnPinOrCallout_ = annotationViewAt(event->position()) != nullptr || calloutContains(event->position());
    TileMapView::mousePressEvent(event);
}

void VXMapView::mouseMoveEvent(QMouseEvent* event)
{
    TileMapView::mouseMoveEvent(event);
    if (event->buttons() != Qt::NoButton) {
        mouseMoved_ = true;
    }
}

void VXMapView::mouseReleaseEvent(QMouseEvent* event)
{
    TileMapView::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || mouseMoved_ || pressOnPinOrCallout_) {
        return;
    }
    if (clock()->now() - lastHitTestDate_ <= kHoldSeconds) {
        return;
    }
    VXMapViewDelegate* target = mapDelegate();
    if (target != nullptr && target->responds(TileMapViewDelegate::Op::UserDidClickAndHold)) {
        target->userDidClickAndHoldAtCoordinate(this, convertPointToCoordinate(event->position()));
    }
}
