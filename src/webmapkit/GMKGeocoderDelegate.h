#pragma once

#include "webmapkit/GMKPlacemark.h"
#include "webmapkit/MapCoordinate.h"
#include "webmapkit/MapError.h"

class GMKGeocoder;
class GMKReverseGeocoder;

// What a geocoder tells the object that started it. The delegate is a QObject
// that also derives from this class; the geocoder holds it weakly and calls
// only the operations responds() admits.
class GMKGeocoderDelegate {
public:
    enum class Op { DidFindCoordinate, DidFail };

    virtual ~GMKGeocoderDelegate() = default;
    virtual bool responds(Op op) const
    {
        Q_UNUSED(op);
        return true;
    }
    virtual void didFindCoordinate(GMKGeocoder*, const MapCoordinate&) { }
    virtual void didFailWithError(GMKGeocoder*, const MapError&) { }
};

class GMKReverseGeocoderDelegate {
public:
    enum class Op { DidFindPlacemark, DidFail };

    virtual ~GMKReverseGeocoderDelegate() = default;
    virtual bool responds(Op op) const
    {
        Q_UNUSED(op);
        return true;
    }
    virtual void didFindPlacemark(GMKReverseGeocoder*, const GMKPlacemark&) { }
    virtual void didFailWithError(GMKReverseGeocoder*, const MapError&) { }
};
