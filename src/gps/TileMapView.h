#pragma once

#include "gps/TileAnnotationView.h"
#include "gps/TileMapViewDelegate.h"
#include "webmapkit/GMKUserLocation.h"
#include "webmapkit/MapClock.h"
#include "webmapkit/MapRegion.h"
#include "webmapkit/TileLayer.h"

#include <QImage>
#include <QList>
#include <QMultiMap>
#include <QPointer>
#include <QSet>
#include <QWidget>

#include <map>
#include <memory>
#include <optional>

class LocationProvider;
class TileSource;

// A map widget over XYZ tiles in Web Mercator, at whole zoom levels 0 to 19.
// Without tiles for the map type it draws a graticule labelled with coordinates,
// so it works offline. It shows annotations through annotation views, a callout
// for the selected one, the user's location as a dot with an accuracy ring, and
// lets the user pan, zoom with the wheel, select and drag pins. Everything runs
// on the GUI thread; downloads never block it.
class TileMapView : public QWidget {
    Q_OBJECT
public:
    // `source` becomes the map's child; null means no tiles (graticule only).
    explicit TileMapView(TileSource* source = nullptr, QWidget* parent = nullptr);
    ~TileMapView() override;

    TileSource* tileSource() const { return layer_->source(); }
    // A QObject that derives from TileMapViewDelegate; held weakly.
    void setDelegate(QObject* delegate);
    TileMapViewDelegate* delegate() const;
    void setClock(MapClock* clock) { clock_ = clock; }
    MapClock* clock() const { return clock_; }

    // 0 standard, 1 satellite, 2 hybrid; other values draw as 0.
    int mapType() const { return mapType_; }
    void setMapType(int mapType);

    MapCoordinate centerCoordinate() const { return center_; }
    void setCenterCoordinate(const MapCoordinate& center, bool animated);
    int zoomLevel() const { return zoom_; }
    // The shown region: the span across is exactly 360 / 2^zoom × width / 256.
    MapRegion region() const;
    // Centres on the region at the largest zoom that shows all of it.
    void setRegion(const MapRegion& region, bool animated);
    // The width used for spans (the widget's, or one tile before it has one).
    double mapWidth() const;
    double mapHeight() const;

    QPointF convertCoordinateToPoint(const MapCoordinate& coordinate) const;
    MapCoordinate convertPointToCoordinate(const QPointF& point) const;

    void addAnnotation(const GMKAnnotationPtr& annotation);
    void addAnnotations(const QList<GMKAnnotationPtr>& annotations);
    void removeAnnotation(const GMKAnnotationPtr& annotation);
    void removeAnnotations(const QList<GMKAnnotationPtr>& annotations);
    // In adding order; the user location is among them while it is shown.
    QList<GMKAnnotationPtr> annotations() const { return annotations_; }
    TileAnnotationViewPtr viewForAnnotation(const GMKAnnotationPtr& annotation) const;
    // A view that a removed annotation left behind under that identifier.
    TileAnnotationViewPtr dequeueReusableAnnotationView(const QString& identifier);

    void selectAnnotation(const GMKAnnotationPtr& annotation, bool animated);
    void deselectAnnotation(const GMKAnnotationPtr& annotation, bool animated);
    QList<GMKAnnotationPtr> selectedAnnotations() const { return selected_; }

    // The provider is not owned; without one the map makes its own from the
    // application's location endpoint on first use.
    void setLocationProvider(LocationProvider* provider);
    bool showsUserLocation() const { return showsUserLocation_; }
    void setShowsUserLocation(bool shows);
    GMKUserLocationPtr userLocation() const { return userLocation_; }
    bool isUserLocationVisible() const;

    // The annotation view under a point of the widget, topmost first; null for none.
    TileAnnotationViewPtr annotationViewAt(const QPointF& point) const;
    bool calloutContains(const QPointF& point) const;
    bool isLoading() const { return layer_->isLoading(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    template <typename Call> void tellDelegate(TileMapViewDelegate::Op op, Call call);

    // Region and tiles (TileMapView.cpp).
    void applyCenterAndZoom(const MapCoordinate& center, int zoom, bool animated);
    void startGlide(const QPointF& offset);
    void glideFrame();
    QPointF glideOffset() const;
    QPointF centerWorld() const;
    int tileSet() const;
    TileViewport viewport() const;
    void scheduleTileUpdate();
    void updateTiles();

    // Annotations, selection and user location (TileMapView_Annotations.cpp).
    void scheduleViewRequests();
    void requestViews();
    TileAnnotationViewPtr makeView(const GMKAnnotationPtr& annotation);
    void onLocation(const MapLocation& location);
    void onLocationFailure(const MapError& error);
    void stopLocating();
    QPointF anchorPoint(const TileAnnotationView& view) const;
    QRectF pictureRect(const TileAnnotationView& view) const;
    std::optional<QRectF> calloutRect(const TileAnnotationView& view) const;
    QList<TileAnnotationViewPtr> viewsInDrawingOrder() const;

    // Pointer and keys (TileMapView_Events.cpp).
    void beginDrag();
    void endDrag(bool cancelled);
    void changeDragState(const TileAnnotationViewPtr& view, unsigned state);

    // Drawing (TileMapView_Paint.cpp).
    void paintGraticule(QPainter& painter) const;
    void paintUserLocation(QPainter& painter, const TileAnnotationView& view) const;
    void paintCallout(QPainter& painter, const TileAnnotationView& view) const;

    TileLayer* layer_ = nullptr;
    QPointer<QObject> delegate_;
    MapClock* clock_ = nullptr;
    int mapType_ = 0;
    MapCoordinate center_;
    int zoom_ = 2;

    bool tileUpdateQueued_ = false;
    int graticuleReportedFor_ = -2;

    QList<GMKAnnotationPtr> annotations_;
    std::map<const GMKAnnotation*, TileAnnotationViewPtr> views_;
    QList<GMKAnnotationPtr> pendingViews_;
    bool viewRequestQueued_ = false;
    QMultiMap<QString, TileAnnotationViewPtr> reusable_;
    QList<GMKAnnotationPtr> selected_;

    GMKUserLocationPtr userLocation_;
    bool showsUserLocation_ = false;
    QPointer<LocationProvider> provider_;
    std::unique_ptr<LocationProvider> ownProvider_;

    // Pointer state: a press on a view, a drag of it, or a pan of the map.
    QPointF pressPoint_;
    TileAnnotationViewPtr pressedView_;
    bool pressMoved_ = false;
    bool dragging_ = false;
    QPointF dragPoint_;
    QPointF dragGrab_;
    bool panning_ = false;
    QPointF panWorldStart_;

    // An animated move changes the region at once and only slides the picture:
    // the screen offset of the old centre, shrinking to nothing.
    QPointF glideFrom_;
    double glideStart_ = 0.0;
    MapClock::Handle glideFrameCall_ = 0;
};

template <typename Call> void TileMapView::tellDelegate(TileMapViewDelegate::Op op, Call call)
{
    TileMapViewDelegate* target = delegate();
    if (target != nullptr && target->responds(op)) {
        call(target);
    }
}
