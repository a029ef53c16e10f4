#pragma once

#include "gps/TileMapViewDelegate.h"

class VXMapView;

// The tile map's delegate plus the click-and-hold report of VXMapView.
class VXMapViewDelegate : public TileMapViewDelegate {
public:
    virtual void userDidClickAndHoldAtCoordinate(VXMapView* mapView, const MapCoordinate& coordinate)
    {
        Q_UNUSED(mapView);
        Q_UNUSED(coordinate);
    }
};
