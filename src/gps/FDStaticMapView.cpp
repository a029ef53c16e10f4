#include "gps/FDStaticMapView.h"

#include "foundation/AppInfo.h"
#include "webmapkit/HttpTileSource.h"
#include "webmapkit/MapImageDecoder.h"
#include "webmapkit/MapLog.h"
#include "webmapkit/MapNetwork.h"
#include "webmapkit/MapResources.h"

#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QNetworkReply>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>

#include <cmath>

namespace {

constexpr double kCornerRadius = 5.0;
// The zoom the static-map service is asked for, and a composed picture shows.
constexpr int kZoom = 10;
const QColor kLandColour(238, 240, 232);

// The folded map: three panels, drawn y-up around their own middle.
const QPolygonF kPanels[] = {
    QPolygonF({QPointF(143.5, 128.5), QPointF(143.5, 41.5), QPointF(179.5, 58.5), QPointF(179.5, 144.5)}),
    QPolygonF({QPointF(74.5, 135.5), QPointF(75.5, 48.5), QPointF(111.5, 65.5), QPointF(111.5, 155.5)}),
    QPolygonF({QPointF(111.5, 155.5), QPointF(111.5, 65.5), QPointF(143.5, 41.5), QPointF(143.5, 128.5)}),
};

QImage rounded(const QImage& image, const QSize& size)
{
    QImage result(size, QImage::Format_ARGB32_Premultiplied);
    result.fill(Qt::transparent);
    QPainter painter(&result);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QPainterPath clip;
    clip.addRoundedRect(QRectF(QPointF(0, 0), QSizeF(size)), kCornerRadius, kCornerRadius);
    painter.setClipPath(clip);
    painter.drawImage(QRectF(QPointF(0, 0), QSizeF(size)), image);
    return result;
}

} // namespace

FDStaticMapView::FDStaticMapView(const QString& endpoint, QWidget* parent)
    : QWidget(parent)
    , endpoint_(endpoint)
    , clock_(MapClock::defaultClock())
{
    while (endpoint_.endsWith(QLatin1Char('/'))) {
        endpoint_.chop(1);
    }
    imageView_ = new QLabel(this);
    imageView_->setGeometry(rect());
    imageView_->setAttribute(Qt::WA_TranslucentBackground);
    opacity_ = new QGraphicsOpacityEffect(imageView_);
    opacity_->setOpacity(1.0);
    imageView_->setGraphicsEffect(opacity_);
}

FDStaticMapView::FDStaticMapView(QWidget* parent)
    : FDStaticMapView(AppInfo::mapServiceEndpoint(QStringLiteral("StaticMapURL")), parent)
{
}

FDStaticMapView::~FDStaticMapView()
{
    MapNetwork::abandon(pending_);
}

int FDStaticMapView::scale() const
{
    return scaleOverride_ > 0 ? scaleOverride_ : static_cast<int>(std::lround(devicePixelRatioF()));
}

double FDStaticMapView::pictureOpacity() const
{
    return opacity_->opacity();
}

QString FDStaticMapView::requestUrl(const QPointF& center) const
{
    // Single precision, as the service has always been asked.
    const float latitude = static_cast<float>(center.x());
    const float longitude = static_cast<float>(center.y());
    return endpoint_
        + QString::asprintf(
            "/maps/api/"
            "staticmap?center=%f,%f&zoom=10&size=%dx%d&scale=%d&sensor=false&visual_refresh=true&markers=%f,%f",
            latitude, longitude, width(), height(), scale(), latitude, longitude);
}

void FDStaticMapView::setMapViewCenter(const QPointF& center, bool animated)
{
    if (animated) {
        fadeTo(0.0, kFadeOutSeconds);
    }
    MapNetwork::abandon(pending_);
    const quint64 generation = ++generation_;
    if (endpoint_.isEmpty()) {
        compose(center, generation, animated);
        return;
    }
    const QUrl url(requestUrl(center), QUrl::TolerantMode);
    MapNetwork::Options options;
    options.maxBytes = kMaxPictureBytes;
    pending_ = MapNetwork::shared()->get(
        url, QStringLiteral("static map"), this,
        [this, generation, animated](const MapReply& reply) {
            if (generation != generation_) {
                return;
            }
            pending_ = nullptr;
            showAnswer(reply.ok ? MapImageDecoder::decode(reply.body, kMaxPictureSize) : QImage(), animated);
        },
        options);
}

void FDStaticMapView::showAnswer(const QImage& image, bool animated)
{
    showPicture(image);
    // A failed load still brings the (empty) view back to full strength.
    fadeTo(1.0, animated ? kFadeInSeconds : 0.0);
}

void FDStaticMapView::setTileSource(TileSource* source)
{
    delete tiles_;
    tiles_ = new TileLayer(source, this);
    connect(tiles_, &TileLayer::loadEnded, this, &FDStaticMapView::finishComposition);
}

void FDStaticMapView::compose(const QPointF& center, quint64 generation, bool animated)
{
    if (tiles_ == nullptr) {
        setTileSource(HttpTileSource::fromAppInfo());
    }
    const Composition composition{
        TileViewport{MapCoordinate{center.x(), center.y()}, double(kZoom), QSizeF(size()), 0}, generation, animated};
    composing_ = composition;
    if (tiles_->tileSet(0) < 0) {
        qCWarning(lcMap, "network error: static map has neither a static map service nor a tile service");
    }
    tiles_->update(composition.viewport);
    if (!tiles_->isLoading()) {
        // Every tile was at hand (or there are none): answer on a later turn all the same.
        QMetaObject::invokeMethod(
            this, [this]() { finishComposition(false); }, Qt::QueuedConnection);
    }
}

void FDStaticMapView::finishComposition(bool failed)
{
    if (!composing_ || composing_->generation != generation_) {
        return;
    }
    const Composition composition = *composing_;
    composing_.reset();
    if (failed || tiles_->tileSet(0) < 0 || size().isEmpty()) {
        showAnswer(QImage(), composition.animated);
        return;
    }
    QImage image(size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(kLandColour);
    QPainter painter(&image);
    tiles_->paint(painter, composition.viewport);
    // The marker the service would draw: a pin standing on the centre.
    const QImage pin = MapResources::picture(QStringLiteral("GMKPinAnnotationColorRed"));
    const QSizeF pinSize = QSizeF(pin.size()) / pin.devicePixelRatio();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(
        QRectF(QPointF(width() / 2.0 - pinSize.width() / 2.0, height() / 2.0 - pinSize.height()), pinSize), pin);
    tiles_->paintAttribution(painter, QSizeF(size()), 0, font());
    painter.end();
    showAnswer(image, composition.animated);
}

void FDStaticMapView::hideMap(bool animated)
{
    ++generation_;
    MapNetwork::abandon(pending_);
    pending_ = nullptr;
    composing_.reset();
    if (tiles_ != nullptr) {
        tiles_->cancelAll();
    }
    if (!animated) {
        showPicture(QImage());
        return;
    }
    const quint64 generation = generation_;
    fadeTo(0.0, kHideSeconds, [this, generation]() {
        if (generation == generation_) {
            showPicture(QImage());
        }
        opacity_->setOpacity(1.0);
    });
}

void FDStaticMapView::showPicture(const QImage& image)
{
    picture_ = image;
    if (image.isNull()) {
        imageView_->clear();
    } else {
        QImage shown = rounded(image, size() * devicePixelRatioF());
        shown.setDevicePixelRatio(devicePixelRatioF());
        imageView_->setPixmap(QPixmap::fromImage(shown));
    }
    update();
}

void FDStaticMapView::fadeTo(double opacity, double seconds, std::function<void()> done)
{
    if (fade_ != nullptr) {
        fade_->stop();
        delete fade_;
    }
    if (seconds <= 0.0 || !clock_->animates()) {
        opacity_->setOpacity(opacity);
        if (done) {
            done();
        }
        return;
    }
    fade_ = new QPropertyAnimation(opacity_, "opacity", this);
    fade_->setDuration(static_cast<int>(seconds * 1000.0));
    fade_->setEndValue(opacity);
    if (done) {
        connect(fade_, &QPropertyAnimation::finished, this, std::move(done));
    }
    fade_->start();
}

void FDStaticMapView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    imageView_->setGeometry(rect());
    if (!picture_.isNull()) {
        showPicture(picture_);
    }
}

void FDStaticMapView::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // Beneath the picture, so it shows whenever there is none (or while one fades).
    paintPlaceholder(painter);
}

void FDStaticMapView::paintPlaceholder(QPainter& painter) const
{
    QPainterPath path;
    for (const QPolygonF& panel : kPanels) {
        path.addPolygon(panel);
        path.closeSubpath();
    }
    const QPointF middle = path.boundingRect().center();
    painter.save();
    painter.translate(width() / 2.0, height() / 2.0);
    painter.scale(1.0, -1.0);
    painter.translate(-middle);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor::fromRgbF(0.931f, 0.931f, 0.931f));
    painter.drawPath(path);
    const QPen shadow(QColor::fromRgbF(1.0f, 1.0f, 1.0f, 0.727f), 5.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    const QPen stroke(QColor::fromRgbF(0.806f, 0.806f, 0.806f), 5.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(shadow);
    // The shadow's offset is one point up, in these y-up coordinates.
    painter.drawPath(path.translated(0.0, 1.0));
    painter.setPen(stroke);
    painter.drawPath(path);
    painter.restore();
}
