// The map page that GMKMapView and the geocoders drive. It keeps the map's
// state (type, centre, span, the objects on it with their options, the callout
// and the user's marker) so that every getter answers what the setters set,
// and it asks the geocoding service over XMLHttpRequest. It draws nothing.
//
// The native side puts on the window: GMKMapView (the map's callbacks),
// GMKGeocoder or GMKReverseGeocoder (a geocoder's callbacks), GMKGeocoderURL
// (the service's address, empty when none is configured) and innerWidth and
// innerHeight (the map's size in pixels).

var webmap = {};

webmap.state = {
    mapType: 0,
    center: { latitude: 0, longitude: 0 },
    span: { latitudeDelta: 170, longitudeDelta: 360 },
    overlays: [],
    annotations: [],
    userLocation: { visible: false, radius: 0, latitude: 0, longitude: 0 },
    scripts: [],
    stylesheets: []
};

// Search answers: 0 found, 1 nothing found, 2 the service failed (an HTTP
// error, no connection, a timeout or an answer that cannot be read), 3 no
// service is configured.
webmap.FOUND = 0;
webmap.NOTHING_FOUND = 1;
webmap.SERVICE_FAILURE = 2;
webmap.NO_SERVICE = 3;

webmap.LatLng = function (latitude, longitude) {
    this.latitude = Number(latitude);
    this.longitude = Number(longitude);
};
webmap.LatLng.prototype.lat = function () { return this.latitude; };
webmap.LatLng.prototype.lng = function () { return this.longitude; };

// The base of everything placed on the map: named options.
function MVCObject() {
    this.options = {};
}
MVCObject.prototype.set = function (name, value) { this.options[name] = value; };
MVCObject.prototype.get = function (name) { return this.options[name]; };

function AnnotationOverlay() {
    MVCObject.call(this);
    this.callout = { text: "", hidden: true };
}
AnnotationOverlay.prototype = Object.create(MVCObject.prototype);
AnnotationOverlay.prototype.constructor = AnnotationOverlay;

webmap.Polyline = function () { MVCObject.call(this); };
webmap.Polyline.prototype = Object.create(MVCObject.prototype);
webmap.Polyline.prototype.constructor = webmap.Polyline;

webmap.Polygon = function () { MVCObject.call(this); };
webmap.Polygon.prototype = Object.create(MVCObject.prototype);
webmap.Polygon.prototype.constructor = webmap.Polygon;

webmap.Circle = function () { MVCObject.call(this); };
webmap.Circle.prototype = Object.create(MVCObject.prototype);
webmap.Circle.prototype.constructor = webmap.Circle;

function isMapObject(object) {
    return object instanceof MVCObject;
}

function addTo(list, object) {
    if (isMapObject(object) && list.indexOf(object) < 0) {
        list.push(object);
    }
}

function removeFrom(list, object) {
    var index = list.indexOf(object);
    if (index >= 0) {
        list.splice(index, 1);
    }
}

function finiteOr(value, fallback) {
    var number = Number(value);
    return isFinite(number) ? number : fallback;
}

// Map state.

function setMapType(type) {
    webmap.state.mapType = finiteOr(type, 0);
}

function getCenterCoordinate() {
    return JSON.stringify(webmap.state.center);
}

function setCenterCoordinateAnimated(latitude, longitude, animated) {
    webmap.state.center = { latitude: finiteOr(latitude, 0), longitude: finiteOr(longitude, 0) };
}

function getRegion() {
    return JSON.stringify({
        center: webmap.state.center,
        latitudeDelta: webmap.state.span.latitudeDelta,
        longitudeDelta: webmap.state.span.longitudeDelta
    });
}

function setRegionAnimated(latitude, longitude, latitudeDelta, longitudeDelta, animated) {
    setCenterCoordinateAnimated(latitude, longitude, animated);
    webmap.state.span = {
        latitudeDelta: Math.abs(finiteOr(latitudeDelta, webmap.state.span.latitudeDelta)),
        longitudeDelta: Math.abs(finiteOr(longitudeDelta, webmap.state.span.longitudeDelta))
    };
}

// The point of a coordinate in the map's pixels, in Web Mercator: the span of
// longitude fills innerWidth, and the centre sits in the middle.
function mercatorY(latitude) {
    var clamped = Math.max(-85.05112878, Math.min(85.05112878, latitude));
    var radians = clamped * Math.PI / 180;
    return Math.log(Math.tan(Math.PI / 4 + radians / 2));
}

function convertCoordinate(latitude, longitude) {
    var width = finiteOr(window.innerWidth, 0);
    var height = finiteOr(window.innerHeight, 0);
    var longitudeDelta = webmap.state.span.longitudeDelta || 360;
    var pixelsPerDegree = width / longitudeDelta;
    var pixelsPerRadian = pixelsPerDegree * 180 / Math.PI;
    var x = width / 2 + (finiteOr(longitude, 0) - webmap.state.center.longitude) * pixelsPerDegree;
    var y = height / 2 + (mercatorY(webmap.state.center.latitude) - mercatorY(finiteOr(latitude, 0))) * pixelsPerRadian;
    return JSON.stringify({ x: Math.round(x), y: Math.round(y) });
}

// Objects on the map.

function addOverlay(overlay) {
    addTo(webmap.state.overlays, overlay);
}

function removeOverlay(overlay) {
    removeFrom(webmap.state.overlays, overlay);
}

function addAnnotation(annotation) {
    addTo(webmap.state.annotations, annotation);
}

function removeAnnotation(annotation) {
    removeFrom(webmap.state.annotations, annotation);
}

function setOverlayOption(object, name, value) {
    if (isMapObject(object)) {
        object.set(String(name), value);
    }
}

function setAnnotationCalloutText(annotation, text) {
    if (annotation instanceof AnnotationOverlay) {
        annotation.callout.text = String(text);
    }
}

function setAnnotationCalloutHidden(annotation, hidden) {
    if (annotation instanceof AnnotationOverlay) {
        annotation.callout.hidden = Boolean(hidden);
    }
}

function coordinateForAnnotation(annotation) {
    var position = annotation instanceof AnnotationOverlay ? annotation.get("position") : undefined;
    if (!(position instanceof webmap.LatLng)) {
        return undefined;
    }
    return JSON.stringify({ latitude: position.latitude, longitude: position.longitude });
}

// The user's marker.

function setUserLocationVisible(visible) {
    webmap.state.userLocation.visible = Boolean(visible);
}

function isUserLocationVisible() {
    return webmap.state.userLocation.visible;
}

function setUserLocationRadius(metres) {
    webmap.state.userLocation.radius = Math.max(0, finiteOr(metres, 0));
}

function setUserLocationLatitudeLongitude(latitude, longitude) {
    webmap.state.userLocation.latitude = finiteOr(latitude, 0);
    webmap.state.userLocation.longitude = finiteOr(longitude, 0);
}

// Extra scripts and style sheets. Only local files are taken; the page reaches
// nothing else.
function addJavascriptTag(path) {
    var text = String(path);
    if (text.charAt(0) === "/") {
        webmap.state.scripts.push(text);
    }
}

function addStylesheetTag(url) {
    webmap.state.stylesheets.push(String(url));
}

// Geocoding. The service answers a GET with q (the address), or lat and lon
// (a coordinate; both with q to search near it), with a JSON array of places:
// {"lat", "lon", "address": {house_number, road, city|town|village, county,
// state, country, country_code}}.

function geocoderRequest(parameters, done) {
    var endpoint = String(window.GMKGeocoderURL || "");
    if (endpoint === "") {
        setTimeout(function () { done({ code: webmap.NO_SERVICE }); }, 0);
        return;
    }
    var query = parameters.map(function (pair) {
        return pair[0] + "=" + encodeURIComponent(String(pair[1]));
    }).join("&");
    var request = new XMLHttpRequest();
    request.onreadystatechange = function () {
        if (request.readyState !== 4) {
            return;
        }
        done(readGeocoderAnswer(request));
    };
    request.open("GET", endpoint + (endpoint.indexOf("?") < 0 ? "?" : "&") + query);
    request.send();
}

function readGeocoderAnswer(request) {
    if (request.status === 429) {
        return { code: webmap.SERVICE_FAILURE, queryLimit: true };
    }
    if (request.status < 200 || request.status > 299) {
        return { code: webmap.SERVICE_FAILURE };
    }
    var places;
    try {
        places = JSON.parse(request.responseText);
    } catch (error) {
        return { code: webmap.SERVICE_FAILURE };
    }
    if (!Array.isArray(places)) {
        return { code: webmap.SERVICE_FAILURE };
    }
    if (places.length === 0) {
        return { code: webmap.NOTHING_FOUND };
    }
    var place = places[0] || {};
    var latitude = Number(place.lat);
    var longitude = Number(place.lon);
    if (place.lat === null || place.lon === null || place.lat === "" || place.lon === ""
            || !isFinite(latitude) || !isFinite(longitude)) {
        return { code: webmap.SERVICE_FAILURE };
    }
    return { code: webmap.FOUND, latitude: latitude, longitude: longitude, address: place.address || {} };
}

function addressComponents(address) {
    var components = [];
    function add(value, types, shortName) {
        if (value !== undefined && value !== null && String(value) !== "") {
            components.push({ long_name: String(value), short_name: String(shortName === undefined ? value : shortName), types: types });
        }
    }
    add(address.house_number, ["street_number"]);
    add(address.road, ["route"]);
    add(address.city || address.town || address.village, ["locality", "political"]);
    add(address.county, ["administrative_area_level_2", "political"]);
    add(address.state, ["administrative_area_level_1", "political"]);
    if (address.country !== undefined) {
        add(address.country, ["country", "political"], String(address.country_code || "").toUpperCase());
    }
    return components;
}

function geocoderResult(answer) {
    return JSON.stringify({
        geometry: { location: { lat: answer.latitude, lng: answer.longitude } },
        address_components: addressComponents(answer.address)
    });
}

var failureTexts = {};
failureTexts[webmap.NOTHING_FOUND] = "nothing found";
failureTexts[webmap.SERVICE_FAILURE] = "geocoding service failure";
failureTexts[webmap.NO_SERVICE] = "no geocoding service configured";

function showAddress(address) {
    var text = String(address);
    geocoderRequest([["q", text]], function (answer) {
        var reply = { errorCode: answer.code, address: text };
        if (answer.code === webmap.FOUND) {
            reply.latitude = answer.latitude;
            reply.longitude = answer.longitude;
        }
        if (window.GMKMapView) {
            window.GMKMapView.webViewSearchAddressBack(JSON.stringify(reply));
        }
    });
}

function answerGeocoder(target, answer, succeed) {
    if (!target) {
        return;
    }
    if (answer.queryLimit) {
        target.didReachQueryLimit();
    } else if (answer.code === webmap.FOUND) {
        succeed(geocoderResult(answer));
    } else {
        target.didFailWithError(failureTexts[answer.code]);
    }
}

function geocode(address, latitude, longitude) {
    var parameters = [["q", String(address)]];
    if (arguments.length >= 3) {
        parameters.push(["lat", finiteOr(latitude, 0)], ["lon", finiteOr(longitude, 0)]);
    }
    geocoderRequest(parameters, function (answer) {
        var target = window.GMKGeocoder;
        answerGeocoder(target, answer, function (result) { target.didSucceedWithResult(result); });
    });
    return true;
}

function reverseGeocode(latitude, longitude, geocoder) {
    geocoderRequest([["lat", finiteOr(latitude, 0)], ["lon", finiteOr(longitude, 0)]], function (answer) {
        var target = geocoder || window.GMKReverseGeocoder;
        answerGeocoder(target, answer, function (result) { target.didSucceedWithAddress(result); });
    });
    return true;
}
