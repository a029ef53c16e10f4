#pragma once

#include "webmapkit/GMKAnnotation.h"
#include "webmapkit/GMKAnnotationView.h"
#include "webmapkit/GMKOverlay.h"
#include "webmapkit/GMKOverlayView.h"
#include "webmapkit/MapCoordinate.h"
#include "webmapkit/MapError.h"

#include <QList>
#include <QString>

class GMKMapView;
class GMKUserLocation;
class QAction;

// What a page-driven map tells the object that drives it. Every operation has
// an empty default; the map calls one only when responds() says the delegate
// answers it. The delegate is a QObject that also derives from this class; the
// map holds it weakly and never owns it.
class GMKMapViewDelegate {
public:
    enum class Op {
        ViewForOverlay,
        ViewForAnnotation,
        RegionWillChange,
        RegionDidChange,
        DidUpdateUserLocation,
        DidFailToLocateUser,
        WillStartLocatingUser,
        DidStopLocatingUser,
        DidAddOverlayViews,
        DidAddAnnotationViews,
        DidSelectAnnotationView,
        DidDeselectAnnotationView,
        DidChangeDragState,
        WillStartLoadingMap,
        DidFinishLoadingMap,
        DidFailLoadingMap,
        UserDidClickAndHold,
        ContextMenuItems,
        SearchAddressBack,
    };

    virtual ~GMKMapViewDelegate() = default;

    virtual bool responds(Op op) const
    {
        Q_UNUSED(op);
        return true;
    }

    // Null: the object is not put on the map.
    virtual GMKOverlayViewPtr viewForOverlay(GMKMapView*, const GMKOverlayPtr&) { return nullptr; }
    virtual GMKAnnotationViewPtr viewForAnnotation(GMKMapView*, const GMKAnnotationPtr&) { return nullptr; }
    virtual void regionWillChange(GMKMapView*, bool animated) { Q_UNUSED(animated); }
    virtual void regionDidChange(GMKMapView*, bool animated) { Q_UNUSED(animated); }
    virtual void didUpdateUserLocation(GMKMapView*, GMKUserLocation*) { }
    virtual void didFailToLocateUser(GMKMapView*, const MapError&) { }
    virtual void willStartLocatingUser(GMKMapView*) { }
    virtual void didStopLocatingUser(GMKMapView*) { }
    virtual void didAddOverlayViews(GMKMapView*, const QList<GMKOverlayViewPtr>&) { }
    virtual void didAddAnnotationViews(GMKMapView*, const QList<GMKAnnotationViewPtr>&) { }
    virtual void didSelectAnnotationView(GMKMapView*, const GMKAnnotationViewPtr&) { }
    virtual void didDeselectAnnotationView(GMKMapView*, const GMKAnnotationViewPtr&) { }
    virtual void didChangeDragState(GMKMapView*, const GMKAnnotationViewPtr&, unsigned newState, unsigned oldState)
    {
        Q_UNUSED(newState);
        Q_UNUSED(oldState);
    }
    virtual void willStartLoadingMap(GMKMapView*) { }
    virtual void didFinishLoadingMap(GMKMapView*) { }
    virtual void didFailLoadingMap(GMKMapView*, const MapError&) { }
    virtual void userDidClickAndHold(GMKMapView*, const MapCoordinate&) { }
    // The actions of the annotation's context menu; the map shows them in a
    // menu of its own and does not take ownership.
    virtual QList<QAction*> contextMenuItems(GMKMapView*, const GMKAnnotationViewPtr&) { return {}; }
    // The end of an address search; the map view is not passed.
    virtual void onSearchAddressBack(int errorCode, const MapCoordinate& coordinate, const QString& address)
    {
        Q_UNUSED(errorCode);
        Q_UNUSED(coordinate);
        Q_UNUSED(address);
    }
};
