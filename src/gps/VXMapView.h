#pragma once

#include "gps/TileMapView.h"
#include "gps/VXMapViewDelegate.h"

// The GPS tab's map: a tile map with a thin border, centring at a whole zoom
// level, and click-and-hold detection: a press held more than half a second and
// released without dragging reports the coordinate under the pointer. A press
// on a pin or a callout never counts.
class VXMapView : public TileMapView {
    Q_OBJECT
public:
    static constexpr double kHoldSeconds = 0.5;

    explicit VXMapView(TileSource* source = nullptr, QWidget* parent = nullptr);
    ~VXMapView() override;

    // Also becomes the map's own delegate, so one object hears everything.
    void setMapDelegate(QObject* delegate);
    VXMapViewDelegate* mapDelegate() const;

    void setCenterCoordinate(const MapCoordinate& center, unsigned zoomLevel, bool animated);
    using TileMapView::setCenterCoordinate;
    double getZoomLevel() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QPointer<QObject> mapDelegate_;
    double lastHitTestDate_ = 0.0;
    bool mouseMoved_ = false;
    bool pressOnPinOrCallout_ = false;
};
