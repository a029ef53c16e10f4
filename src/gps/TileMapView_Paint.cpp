#include "gps/TileMapView.h"

#include "gps/TileProjection.h"
#include "gps/TileSource.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {

const QColor kLandColour(238, 240, 232);
const QColor kLineColour(170, 176, 164);
const QColor kMainLineColour(120, 128, 116);
const QColor kLabelColour(90, 96, 88);
const QColor kUserBlue(0, 122, 255);
// Graticule lines stand at least this far apart on screen.
constexpr double kMinLineGap = 90.0;
// How many zoom levels up a missing tile may borrow a blurred picture from.
constexpr int kParentLevels = 4;

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
        paintTiles(painter);
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
    paintAttribution(painter);
}

void TileMapView::paintTiles(QPainter& painter) const
{
    const int set = tileSet();
    const QPointF middle = centerWorld();
    const int count = 1 << zoom_;
    const int size = TileProjection::kTileSize;
    // Whole pixels: tiles then copy straight across instead of being resampled.
    const QPoint origin = (QPointF(mapWidth() / 2.0, mapHeight() / 2.0) - middle).toPoint();
    const int firstColumn = static_cast<int>(std::floor((middle.x() - mapWidth() / 2.0) / size));
    const int lastColumn = static_cast<int>(std::floor((middle.x() + mapWidth() / 2.0) / size));
    const int firstRow = std::max(0, static_cast<int>(std::floor((middle.y() - mapHeight() / 2.0) / size)));
    const int lastRow = std::min(count - 1, static_cast<int>(std::floor((middle.y() + mapHeight() / 2.0) / size)));
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    for (int row = firstRow; row <= lastRow; ++row) {
        for (int column = firstColumn; column <= lastColumn; ++column) {
            const int x = ((column % count) + count) % count;
            const QRect target(origin.x() + column * size, origin.y() + row * size, size, size);
            if (const QImage* image = tiles_.object(TileKey{zoom_, x, row, set})) {
                if (image->size() == target.size()) {
                    painter.drawImage(target.topLeft(), *image);
                } else {
                    painter.drawImage(target, *image);
                }
                continue;
            }
            // While a tile loads, show the part of a coarser tile that covers it.
            for (int up = 1; up <= kParentLevels && up <= zoom_; ++up) {
                const TileKey parent{zoom_ - up, x >> up, row >> up, set};
                if (const QImage* image = tiles_.object(parent)) {
                    const double part = double(size) / (1 << up);
                    const QRectF source((x - (parent.x << up)) * part, (row - (parent.y << up)) * part, part, part);
                    painter.drawImage(QRectF(target), *image, source);
                    break;
                }
            }
        }
    }
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
    const QPointF centre = anchorPoint(view);
    const double ring = location->radius() / TileProjection::metresPerPixel(location->coordinate.latitude, zoom_);
    if (ring > 8.0) {
        QColor fill = kUserBlue;
        fill.setAlpha(40);
        QColor edge = kUserBlue;
        edge.setAlpha(120);
        painter.setPen(QPen(edge, 1.0));
        painter.setBrush(fill);
        painter.drawEllipse(centre, ring, ring);
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawEllipse(centre, 8.0, 8.0);
    painter.setBrush(kUserBlue);
    painter.drawEllipse(centre, 6.0, 6.0);
}

void TileMapView::paintCallout(QPainter& painter, const TileAnnotationView& view) const
{
    const std::optional<QRectF> box = calloutRect(view);
    if (!box) {
        return;
    }
    const QPointF tip(box->center().x(), box->bottom() + 8.0);
    QPainterPath bubble;
    bubble.addRoundedRect(*box, 6.0, 6.0);
    QPainterPath arrow;
    arrow.moveTo(tip.x() - 7.0, box->bottom() - 1.0);
    arrow.lineTo(tip);
    arrow.lineTo(tip.x() + 7.0, box->bottom() - 1.0);
    arrow.closeSubpath();
    bubble = bubble.united(arrow);
    painter.setPen(QPen(QColor(0, 0, 0, 90), 1.0));
    painter.setBrush(QColor(255, 255, 255, 245));
    painter.drawPath(bubble);

    const GMKAnnotationPtr annotation = view.annotation();
    QFont bold = font();
    bold.setBold(true);
    const QFontMetricsF titleMetrics(bold);
    const QRectF inner = box->adjusted(8.0, 6.0, -8.0, -6.0);
    painter.setPen(Qt::black);
    painter.setFont(bold);
    painter.drawText(
        QRectF(inner.left(), inner.top(), inner.width(), titleMetrics.height()), Qt::AlignCenter, annotation->title());
    if (!annotation->subtitle().isEmpty()) {
        painter.setFont(font());
        painter.setPen(QColor(70, 70, 70));
        painter.drawText(QRectF(inner.left(), inner.top() + titleMetrics.height(), inner.width(),
                             inner.height() - titleMetrics.height()),
            Qt::AlignCenter, annotation->subtitle());
    }
}

void TileMapView::paintAttribution(QPainter& painter) const
{
    const QString text = source_ != nullptr ? source_->attribution() : QString();
    if (text.isEmpty() || tileSet() < 0) {
        return;
    }
    QFont small = font();
    small.setPointSizeF(std::max(7.0, small.pointSizeF() - 2.0));
    painter.setFont(small);
    const QFontMetricsF metrics(small);
    const QSizeF size(metrics.horizontalAdvance(text) + 8.0, metrics.height() + 2.0);
    const QRectF box(width() - size.width(), height() - size.height(), size.width(), size.height());
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 200));
    painter.drawRect(box);
    painter.setPen(QColor(40, 40, 40));
    painter.drawText(box, Qt::AlignCenter, text);
}
