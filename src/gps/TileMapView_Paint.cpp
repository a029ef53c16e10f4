#include "gps/TileMapView.h"

#include "webmapkit/MapMarkers.h"
#include "webmapkit/TileProjection.h"
#include "webmapkit/TileSource.h"

#include <QPainter>

#include <cmath>

namespace {

const QColor kLandColour(238, 240, 232);
const QColor kLineColour(170, 176, 164);
const QColor kMainLineColour(120, 128, 116);
const QColor kLabelColour(90, 96, 88);
// Graticule lines stand at least this far apart on screen.
constexpr double kMinLineGap = 90.0;

double graticuleStep(double degreesPerPixel)
{
    static const double steps[]
        = {30, 10, 5, 2, 1, 0.5, 0.2, 0.1, 0.05, 0.02, 0.01, 0.005, 0.002, 0.001, 0.0005, 0.0002, 0.0001};
    double chosen = steps[0];
    for (double step : steps) {
        if (step / degreesPerPixel >= kMinLineGap) {
            chosen = step;
        }
    }
    return chosen;
}

QString degreeLabel(double value, double step, bool latitude)
{
    const int decimals = std::max(0, static_cast<int>(std::ceil(-std::log10(step) - 1e-9)));
    const double rounded = std::abs(value) < step / 2.0 ? 0.0 : value;
    const QString hemisphere = rounded == 0.0
        ? QString()
        : (latitude ? (rounded > 0 ? QStringLiteral(" N") : QStringLiteral(" S"))
                    : (rounded > 0 ? QStringLiteral(" E") : QStringLiteral(" W")));
    return QString::number(std::abs(rounded), 'f', decimals) + QStringLiteral("°") + hemisphere;
}

} // namespace

void TileMapView::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), kLandColour);
    painter.save();
    painter.translate(glideOffset());
    if (tileSet() >= 0) {
        layer_->paint(painter, viewport());
    } else {
        paintGraticule(painter);
    }
    const QList<TileAnnotationViewPtr> views = viewsInDrawingOrder();
    for (const TileAnnotationViewPtr& view : views) {
        if (view->kind() == TileAnnotationView::Kind::UserLocation) {
            paintUserLocation(painter, *view);
        } else if (!view->image().isNull()) {
            painter.drawImage(pictureRect(*view), view->image());
        }
    }
    for (const TileAnnotationViewPtr& view : views) {
        paintCallout(painter, *view);
    }
    painter.restore();
    layer_->paintAttribution(painter, size(), mapType_, font());
}

void TileMapView::paintGraticule(QPainter& painter) const
{
    const double degreesPerPixel = 360.0 / TileProjection::worldSize(zoom_);
    const double step = graticuleStep(degreesPerPixel);
    const QPointF middle = centerWorld();
    const double leftWorld = middle.x() - mapWidth() / 2.0;
    const double leftLongitude = leftWorld * degreesPerPixel - 180.0;
    const double rightLongitude = leftLongitude + mapWidth() * degreesPerPixel;
    const MapCoordinate topLeft = convertPointToCoordinate(QPointF(0, 0));
    const MapCoordinate bottomLeft = convertPointToCoordinate(QPointF(0, mapHeight()));

    QFont small = font();
    small.setPointSizeF(std::max(7.0, small.pointSizeF() - 1.5));
    painter.setFont(small);
    const QFontMetricsF metrics(small);

    for (double longitude = std::floor(leftLongitude / step) * step; longitude <= rightLongitude; longitude += step) {
        const double x = (longitude + 180.0) / degreesPerPixel - leftWorld;
        const double wrapped = TileProjection::wrapLongitude(longitude + step / 1e6) - step / 1e6;
        const bool main = std::abs(wrapped) < step / 2.0;
        painter.setPen(QPen(main ? kMainLineColour : kLineColour, main ? 1.4 : 0.8));
        painter.drawLine(QPointF(x, 0), QPointF(x, mapHeight()));
        if (x >= 0.0) {
            painter.setPen(kLabelColour);
            painter.drawText(QPointF(x + 3, metrics.ascent() + 2), degreeLabel(wrapped, step, false));
        }
    }
    for (double latitude = std::floor(bottomLeft.latitude / step) * step; latitude <= topLeft.latitude;
         latitude += step) {
        if (std::abs(latitude) > TileProjection::kMaxLatitude) {
            continue;
        }
        const double y = convertCoordinateToPoint(MapCoordinate{latitude, center_.longitude}).y();
        const bool main = std::abs(latitude) < step / 2.0;
        painter.setPen(QPen(main ? kMainLineColour : kLineColour, main ? 1.4 : 0.8));
        painter.drawLine(QPointF(0, y), QPointF(mapWidth(), y));
        painter.setPen(kLabelColour);
        painter.drawText(QPointF(3, y - 3), degreeLabel(latitude, step, true));
    }
}

void TileMapView::paintUserLocation(QPainter& painter, const TileAnnotationView& view) const
{
    const std::optional<MapLocation>& location = userLocation_->location();
    if (!location) {
        return;
    }
    MapMarkers::paintUserLocation(painter, anchorPoint(view),
        location->radius() / TileProjection::metresPerPixel(location->coordinate.latitude, zoom_));
}

void TileMapView::paintCallout(QPainter& painter, const TileAnnotationView& view) const
{
    const std::optional<QRectF> box = calloutRect(view);
    if (box) {
        MapMarkers::paintCallout(painter, *box, view.annotation()->title(), view.annotation()->subtitle(), font());
    }
}
