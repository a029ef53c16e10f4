#include "webmapkit/GMKWebView.h"

#include "webmapkit/HttpTileSource.h"
#include "webmapkit/MapMarkers.h"
#include "webmapkit/TileProjection.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

const QColor kLandColour(238, 240, 232);

QPointF pointOf(const QJsonValue& value)
{
    const QJsonArray pair = value.toArray();
    return QPointF(pair.at(0).toDouble(), pair.at(1).toDouble());
}

// A page colour ("#rrggbb") at an opacity; invalid for none.
QColor colourOf(const QJsonObject& item, const QString& name, const QString& opacity)
{
    QColor colour(item.value(name).toString());
    if (colour.isValid()) {
        colour.setAlphaF(static_cast<float>(std::clamp(item.value(opacity).toDouble(1.0), 0.0, 1.0)));
    }
    return colour;
}

// The page's centre and span as the tiles see them: the span of longitude
// across the width gives a (fractional) zoom level.
TileViewport viewportOf(const QJsonObject& list)
{
    const QJsonObject center = list.value(QStringLiteral("center")).toObject();
    const double width = list.value(QStringLiteral("width")).toDouble();
    const double height = list.value(QStringLiteral("height")).toDouble();
    const double span = list.value(QStringLiteral("longitudeDelta")).toDouble();
    TileViewport viewport;
    viewport.center = MapCoordinate{
        center.value(QStringLiteral("latitude")).toDouble(), center.value(QStringLiteral("longitude")).toDouble()};
    viewport.zoom = span > 0.0 && width > 0.0 ? std::log2(360.0 * width / span / TileProjection::kTileSize) : 0.0;
    viewport.size = QSizeF(std::max(0.0, width), std::max(0.0, height));
    viewport.mapType = list.value(QStringLiteral("mapType")).toInt();
    return viewport;
}

} // namespace

GMKWebView::GMKWebView(QWidget* parent)
    : QWidget(parent)
    , clock_(MapClock::defaultClock())
{
    host_.setClock(clock_);
    setContextMenuPolicy(Qt::NoContextMenu);
    setAcceptDrops(false);
    setTileSource(HttpTileSource::fromAppInfo());
}

void GMKWebView::setTileSource(TileSource* source)
{
    delete layer_;
    layer_ = new TileLayer(source, this);
    connect(layer_, &TileLayer::tileArrived, this, qOverload<>(&QWidget::update));
    connect(layer_, &TileLayer::loadEnded, this, [this](bool failed) {
        if (failed) {
            host_.callFunction(QStringLiteral("tilesDidFail"), {});
        }
    });
    wantedTiles_.reset();
    update();
}

QJsonObject GMKWebView::displayList()
{
    if (!host_.isLoaded()) {
        return {};
    }
    return QJsonDocument::fromJson(host_.callFunction(QStringLiteral("displayList"), {}).toString().toUtf8()).object();
}

void GMKWebView::sendMouse(const QString& type, const QPointF& point, const QString& button, int delta)
{
    if (host_.isLoaded()) {
        host_.callFunction(QStringLiteral("handleMouseEvent"), {type, point.x(), point.y(), button, delta});
        update();
    }
}

void GMKWebView::mousePressEvent(QMouseEvent* event)
{
    lastHitTestDate_ = clock_->now();
    if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton) {
        sendMouse(QStringLiteral("down"), event->position(),
            event->button() == Qt::RightButton ? QStringLiteral("right") : QStringLiteral("left"));
    }
    event->accept();
}

void GMKWebView::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() & Qt::LeftButton) {
        sendMouse(QStringLiteral("move"), event->position(), QStringLiteral("left"));
    }
    event->accept();
}

void GMKWebView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        sendMouse(QStringLiteral("up"), event->position(), QStringLiteral("left"));
    }
    event->accept();
}

void GMKWebView::wheelEvent(QWheelEvent* event)
{
    const int delta = event->angleDelta().y();
    if (delta != 0) {
        sendMouse(QStringLiteral("wheel"), event->position(), QString(), delta);
    }
    event->accept();
}

void GMKWebView::scheduleTileUpdate(const TileViewport& viewport)
{
    const bool queued = wantedTiles_.has_value();
    wantedTiles_ = viewport;
    // Outside the paint: a burst that ends at once reports to the page.
    if (!queued) {
        QMetaObject::invokeMethod(
            this,
            [this]() {
                if (wantedTiles_) {
                    const TileViewport wanted = *wantedTiles_;
                    wantedTiles_.reset();
                    layer_->update(wanted);
                }
            },
            Qt::QueuedConnection);
    }
}

void GMKWebView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), kLandColour);
    const QJsonObject list = displayList();
    if (list.isEmpty()) {
        return;
    }
    const TileViewport viewport = viewportOf(list);
    scheduleTileUpdate(viewport);
    layer_->paint(painter, viewport);
    painter.setRenderHint(QPainter::Antialiasing);
    paintOverlays(painter, list);
    paintMarks(painter, list);
    layer_->paintAttribution(painter, size(), viewport.mapType, font());
}

void GMKWebView::paintOverlays(QPainter& painter, const QJsonObject& list) const
{
    for (const QJsonValue& value : list.value(QStringLiteral("overlays")).toArray()) {
        const QJsonObject item = value.toObject();
        const QString kind = item.value(QStringLiteral("kind")).toString();
        const QColor stroke = colourOf(item, QStringLiteral("strokeColor"), QStringLiteral("strokeOpacity"));
        const QColor fill = colourOf(item, QStringLiteral("fillColor"), QStringLiteral("fillOpacity"));
        const double weight = item.value(QStringLiteral("strokeWeight")).toDouble(1.0);
        painter.setPen(stroke.isValid() && weight > 0.0
                ? QPen(stroke, weight, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin)
                : QPen(Qt::NoPen));
        painter.setBrush(fill.isValid() && kind != QLatin1String("polyline") ? QBrush(fill) : QBrush(Qt::NoBrush));
        if (kind == QLatin1String("circle")) {
            const double radius = item.value(QStringLiteral("radius")).toDouble();
            painter.drawEllipse(pointOf(item.value(QStringLiteral("center"))), radius, radius);
            continue;
        }
        // A polygon's further paths are its holes.
        QPainterPath shape;
        shape.setFillRule(Qt::OddEvenFill);
        for (const QJsonValue& pathValue : item.value(QStringLiteral("paths")).toArray()) {
            QPolygonF points;
            for (const QJsonValue& point : pathValue.toArray()) {
                points << pointOf(point);
            }
            if (kind == QLatin1String("polygon")) {
                shape.addPolygon(points);
                shape.closeSubpath();
            } else {
                painter.drawPolyline(points);
            }
        }
        if (kind == QLatin1String("polygon")) {
            painter.drawPath(shape);
        }
    }
}

void GMKWebView::paintMarks(QPainter& painter, const QJsonObject& list) const
{
    const QJsonObject user = list.value(QStringLiteral("userLocation")).toObject();
    if (!user.isEmpty()) {
        MapMarkers::paintUserLocation(painter,
            QPointF(user.value(QStringLiteral("x")).toDouble(), user.value(QStringLiteral("y")).toDouble()),
            user.value(QStringLiteral("radius")).toDouble());
    }
    for (const QJsonValue& value : list.value(QStringLiteral("annotations")).toArray()) {
        const QJsonObject item = value.toObject();
        const QImage picture = MapPictures::picture(item.value(QStringLiteral("imageUrl")).toString());
        if (!picture.isNull()) {
            painter.drawImage(
                QRectF(item.value(QStringLiteral("left")).toDouble(), item.value(QStringLiteral("top")).toDouble(),
                    item.value(QStringLiteral("width")).toDouble(), item.value(QStringLiteral("height")).toDouble()),
                picture);
        }
    }
    for (const QJsonValue& value : list.value(QStringLiteral("callouts")).toArray()) {
        const QJsonObject item = value.toObject();
        const QString text = item.value(QStringLiteral("text")).toString();
        const QRectF box = MapMarkers::calloutBox(
            QPointF(item.value(QStringLiteral("x")).toDouble(), item.value(QStringLiteral("y")).toDouble()), text,
            QString(), font());
        MapMarkers::paintCallout(painter, box, text, QString(), font());
    }
}
