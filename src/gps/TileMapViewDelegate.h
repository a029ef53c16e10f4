#pragma once

#include "gps/TileAnnotationView.h"
#include "webmapkit/GMKAnnotation.h"
#include "webmapkit/MapCoordinate.h"
#include "webmapkit/MapError.h"

#include <QList>

class TileMapView;
class GMKUserLocation;

// What a tile map tells the object that drives it. Every operation has an empty
// default; the map calls one only when responds() says the delegate answers it.
// The delegate is a QObject that also derives from this class; the map holds it
// by QPointer and never owns it.
class TileMapViewDelegate {
public:
    enum class Op {
        ViewForAnnotation,
        DidAddAnnotationViews,
        DidSelectAnnotationView,
        DidDeselectAnnotationView,
        DidChangeDragState,
        RegionWillChange,
        RegionDidChange,
        WillStartLoadingMap,
        DidFinishLoadingMap,
        DidFailLoadingMap,
        WillStartLocatingUser,
        DidStopLocatingUser,
        DidUpdateUserLocation,
        DidFailToLocateUser,
        UserDidClickAndHold,
    };

    virtual ~TileMapViewDelegate() = default;

    virtual bool responds(Op op) const
    {
        Q_UNUSED(op);
        return true;
    }

    // Null: the map shows its default view for the annotation.
    virtual TileAnnotationViewPtr viewForAnnotation(TileMapView*, const GMKAnnotationPtr&) { return nullptr; }
    virtual void didAddAnnotationViews(TileMapView*, const QList<TileAnnotationViewPtr>&) { }
    virtual void didSelectAnnotationView(TileMapView*, const TileAnnotationViewPtr&) { }
    virtual void didDeselectAnnotationView(TileMapView*, const TileAnnotationViewPtr&) { }
    virtual void didChangeDragState(TileMapView*, const TileAnnotationViewPtr&, unsigned newState, unsigned oldState)
    {
        Q_UNUSED(newState);
        Q_UNUSED(oldState);
    }
    virtual void regionWillChange(TileMapView*, bool animated) { Q_UNUSED(animated); }
    virtual void regionDidChange(TileMapView*, bool animated) { Q_UNUSED(animated); }
    virtual void willStartLoadingMap(TileMapView*) { }
    virtual void didFinishLoadingMap(TileMapView*) { }
    virtual void didFailLoadingMap(TileMapView*, const MapError&) { }
    virtual void willStartLocatingUser(TileMapView*) { }
    virtual void didStopLocatingUser(TileMapView*) { }
    virtual void didUpdateUserLocation(TileMapView*, GMKUserLocation*) { }
    virtual void didFailToLocateUser(TileMapView*, const MapError&) { }
};
