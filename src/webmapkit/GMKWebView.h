#pragma once

#include "webmapkit/JsPageHost.h"
#include "webmapkit/MapClock.h"
#include "webmapkit/MapPictures.h"
#include "webmapkit/TileLayer.h"

#include <QJsonObject>
#include <QWidget>

#include <optional>

class TileSource;

// The widget that carries a map page: it owns the page's script host, paints
// what the page lays out (its displayList: the tiles of its centre, span and
// map type through the tile layer, overlays, the user's marker, pins and
// callouts, and the tile service's credit line) and hands the mouse and the
// wheel to the page's handleMouseEvent, which decides what they mean. It notes
// when the mouse last went down, which is how the map tells a click from a
// click-and-hold. It shows no context menu and accepts no drops. A hidden
// view paints nothing and so asks for no tiles.
class GMKWebView : public QWidget {
    Q_OBJECT
public:
    explicit GMKWebView(QWidget* parent = nullptr);

    JsPageHost* host() { return &host_; }
    // What the page may ask of the pictures it names (window.GMKPictures).
    MapPictures* pictures() { return &pictures_; }
    // Time (on the map clock) of the last mouse press; 0 before the first.
    double lastHitTestDate() const { return lastHitTestDate_; }
    // Replaces the tiles (the application's tile service by default); owned.
    void setTileSource(TileSource* source);
    TileLayer* tileLayer() const { return layer_; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QJsonObject displayList();
    void sendMouse(const QString& type, const QPointF& point, const QString& button, int delta = 0);
    void scheduleTileUpdate(const TileViewport& viewport);
    void paintOverlays(QPainter& painter, const QJsonObject& list) const;
    void paintMarks(QPainter& painter, const QJsonObject& list) const;

    JsPageHost host_;
    MapPictures pictures_;
    MapClock* clock_;
    TileLayer* layer_ = nullptr;
    double lastHitTestDate_ = 0.0;
    std::optional<TileViewport> wantedTiles_;
};
