#pragma once

#include "webmapkit/MapClock.h"
#include "webmapkit/TileLayer.h"

#include <QImage>
#include <QPointF>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QWidget>

#include <optional>

class QGraphicsOpacityEffect;
class QLabel;
class QNetworkReply;
class QPropertyAnimation;
class TileSource;

// A small map picture centred on a coordinate, fetched as one image from the
// static-map service (asynchronously; the GUI never waits). Only the newest
// request may show its picture, and hiding the map voids requests under way.
// Without a static-map service the picture is composed from the tile
// service's tiles around the centre, at the same zoom, with a pin at the centre
// and the tiles' credit line. Without a picture a folded-map placeholder shows.
class FDStaticMapView : public QWidget {
    Q_OBJECT
public:
    static constexpr double kFadeOutSeconds = 0.2;
    static constexpr double kFadeInSeconds = 0.4;
    static constexpr double kHideSeconds = 0.25;
    // The service draws at most 640x640 points at scale 2; a picture beyond
    // these is refused unread.
    static constexpr qint64 kMaxPictureBytes = 4 * 1024 * 1024;
    static constexpr QSize kMaxPictureSize{2048, 2048};

    // `endpoint` is the service's base URL (StaticMapURL); empty means none.
    explicit FDStaticMapView(const QString& endpoint, QWidget* parent = nullptr);
    // The view on the application's configured endpoint.
    explicit FDStaticMapView(QWidget* parent = nullptr);
    ~FDStaticMapView() override;

    // `center` holds the latitude in x and the longitude in y, in degrees.
    void setMapViewCenter(const QPointF& center, bool animated);
    void hideMap(bool animated);

    // The request for a centre at the view's size and scale (the service's path
    // and query, numbers in the C locale).
    QString requestUrl(const QPointF& center) const;
    // Pixels per point asked of the service: the screen's ratio, rounded.
    int scale() const;
    void setScale(int scale) { scaleOverride_ = scale; }
    void setClock(MapClock* clock) { clock_ = clock; }
    // The tiles a composed picture is made of (the application's tile service
    // by default); owned.
    void setTileSource(TileSource* source);

    bool hasPicture() const { return !picture_.isNull(); }
    QImage picture() const { return picture_; }
    double pictureOpacity() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void showPicture(const QImage& image);
    void fadeTo(double opacity, double seconds, std::function<void()> done = {});
    void paintPlaceholder(QPainter& painter) const;
    void compose(const QPointF& center, quint64 generation, bool animated);
    void finishComposition(bool failed);
    void showAnswer(const QImage& image, bool animated);

    QString endpoint_;
    MapClock* clock_ = nullptr;
    QLabel* imageView_ = nullptr;
    QGraphicsOpacityEffect* opacity_ = nullptr;
    QPointer<QPropertyAnimation> fade_;
    QPointer<QNetworkReply> pending_;
    QImage picture_;
    int scaleOverride_ = 0;
    TileLayer* tiles_ = nullptr;
    struct Composition {
        TileViewport viewport;
        quint64 generation = 0;
        bool animated = false;
    };
    std::optional<Composition> composing_;
    // Raised by every request and every hide; an answer for an older value is dropped.
    quint64 generation_ = 0;
};
