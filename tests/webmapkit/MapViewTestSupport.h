#pragma once

#include "support/Patience.h"
#include "webmapkit/GMKGeocoder.h"
#include "webmapkit/GMKMapView.h"
#include "webmapkit/GMKReverseGeocoder.h"
#include "webmapkit/GMKWebView.h"
#include "webmapkit/ScriptPageSupport.h"

#include <QObject>
#include <QSignalSpy>
#include <QStringList>

#include <functional>
#include <set>

// A map page that defines every page function as a recorder: each call is
// written down as one line ("setOverlayOption #2 zIndex 4000"; page objects as
// "#<id>", coordinates as "(lat,lng)") and answers answers[name]. Page objects
// are kept in objects[id] so that a test can make the page call back with them.
inline const QString kRecordingPage = QStringLiteral(R"js(
var calls = [];
var answers = {};
var objects = {};
var nextId = 1;
function describe(value) {
    if (value instanceof webmap.LatLng) { return "(" + value.lat + "," + value.lng + ")"; }
    if (value && typeof value === "object" && value.id !== undefined) { return "#" + value.id; }
    if (value && typeof value === "object") { return "[object]"; }
    return String(value);
}
function record(name, args) {
    var line = [name];
    for (var i = 0; i < args.length; ++i) { line.push(describe(args[i])); }
    calls.push(line.join(" "));
    var answer = answers[name];
    return typeof answer === "function" ? answer.apply(null, args) : answer;
}
function PageObject() { this.id = nextId++; objects[this.id] = this; }
function MVCObject() { PageObject.call(this); }
function AnnotationOverlay() { PageObject.call(this); }
var webmap = {
    LatLng: function (lat, lng) { this.lat = lat; this.lng = lng; },
    Polyline: function () { PageObject.call(this); },
    Polygon: function () { PageObject.call(this); },
    Circle: function () { PageObject.call(this); }
};
["setMapType", "setCenterCoordinateAnimated", "setRegionAnimated", "isUserLocationVisible", "addOverlay",
 "removeOverlay", "addAnnotation", "removeAnnotation", "setAnnotationCalloutText", "setAnnotationCalloutHidden",
 "convertCoordinate", "setUserLocationVisible", "setUserLocationRadius", "setUserLocationLatitudeLongitude",
 "setOverlayOption", "coordinateForAnnotation", "addJavascriptTag", "addStylesheetTag", "showAddress",
 "getCenterCoordinate", "getRegion", "geocode", "reverseGeocode"].forEach(function (name) {
    window[name] = function () { return record(name, arguments); };
});
)js");

// The calls the recording page has seen so far (and forgets them when asked).
inline QStringList pageCalls(ScriptBridge* page, bool clear = true)
{
    const QStringList calls
        = page->evaluate(QStringLiteral("calls.join('\\n')")).toString().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (clear) {
        page->evaluate(QStringLiteral("calls = []"));
    }
    return calls;
}

inline bool waitForLoad(ScriptBridge* page)
{
    QSignalSpy finished(page, &ScriptBridge::loadFinished);
    return finished.wait(kPatientMs);
}

// A map delegate that writes down what it hears as short lines, answers only
// the operations not listed in `unanswered`, and makes views with the given
// factories.
class MapViewTestDelegate : public QObject, public GMKMapViewDelegate {
public:
    QStringList events;
    std::set<Op> unanswered;
    QList<MapCoordinate> holds;
    QList<MapError> errors;
    QList<QAction*> menuItems;
    std::function<GMKOverlayViewPtr(const GMKOverlayPtr&)> makeOverlayView
        = [](const GMKOverlayPtr& overlay) { return std::make_shared<GMKOverlayView>(overlay); };
    std::function<GMKAnnotationViewPtr(const GMKAnnotationPtr&)> makeAnnotationView
        = [](const GMKAnnotationPtr& annotation) {
              return std::make_shared<GMKAnnotationView>(annotation, QStringLiteral("pin"));
          };

    bool responds(Op op) const override { return unanswered.count(op) == 0; }
    GMKOverlayViewPtr viewForOverlay(GMKMapView*, const GMKOverlayPtr& overlay) override
    {
        return makeOverlayView(overlay);
    }
    GMKAnnotationViewPtr viewForAnnotation(GMKMapView*, const GMKAnnotationPtr& annotation) override
    {
        return makeAnnotationView(annotation);
    }
    void didSelectAnnotationView(GMKMapView*, const GMKAnnotationViewPtr&) override
    {
        events << QStringLiteral("select");
    }
    void didDeselectAnnotationView(GMKMapView*, const GMKAnnotationViewPtr&) override
    {
        events << QStringLiteral("deselect");
    }
    void didChangeDragState(GMKMapView*, const GMKAnnotationViewPtr&, unsigned newState, unsigned oldState) override
    {
        events << QStringLiteral("drag %1<-%2").arg(newState).arg(oldState);
    }
    QList<QAction*> contextMenuItems(GMKMapView*, const GMKAnnotationViewPtr&) override { return menuItems; }
    void willStartLoadingMap(GMKMapView*) override { events << QStringLiteral("will load"); }
    void didFinishLoadingMap(GMKMapView*) override { events << QStringLiteral("did load"); }
    void didFailLoadingMap(GMKMapView*, const MapError& error) override
    {
        errors << error;
        events << QStringLiteral("load failed");
    }
    void userDidClickAndHold(GMKMapView*, const MapCoordinate& coordinate) override
    {
        holds << coordinate;
        events << QStringLiteral("hold");
    }
    void willStartLocatingUser(GMKMapView*) override { events << QStringLiteral("will locate"); }
    void didStopLocatingUser(GMKMapView*) override { events << QStringLiteral("did stop"); }
    void didUpdateUserLocation(GMKMapView*, GMKUserLocation*) override { events << QStringLiteral("location"); }
    void didFailToLocateUser(GMKMapView*, const MapError& error) override
    {
        errors << error;
        events << QStringLiteral("locate failed %1").arg(error.code);
    }
    void onSearchAddressBack(int errorCode, const MapCoordinate&, const QString& address) override
    {
        events << QStringLiteral("search %1 %2").arg(errorCode).arg(address);
    }
};

// Hears both kinds of geocoder: coordinates, placemarks and failure domains.
class GeocoderTestDelegate : public QObject, public GMKGeocoderDelegate, public GMKReverseGeocoderDelegate {
public:
    QList<MapCoordinate> found;
    QList<GMKPlacemark> placemarks;
    QStringList failures;

    bool responds(GMKGeocoderDelegate::Op) const override { return true; }
    bool responds(GMKReverseGeocoderDelegate::Op) const override { return true; }
    void didFindCoordinate(GMKGeocoder*, const MapCoordinate& coordinate) override { found << coordinate; }
    void didFailWithError(GMKGeocoder*, const MapError& error) override { failures << error.domain; }
    void didFindPlacemark(GMKReverseGeocoder*, const GMKPlacemark& placemark) override { placemarks << placemark; }
    void didFailWithError(GMKReverseGeocoder*, const MapError& error) override { failures << error.domain; }
};
