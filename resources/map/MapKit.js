// The map page that GMKMapView and the geocoders drive. It keeps the map's
// state (type, centre, span, the objects on it with their options, the callout
// and the user's marker) so that every getter answers what the setters set,
// and it asks the geocoding service over XMLHttpRequest. It lays the map out
// in pixels (displayList) for the web view, which paints the tiles and that
// list, and it takes the web view's mouse and wheel events (handleMouseEvent):
// it hit-tests them against what it laid out and calls the map's callbacks.
//
// The native side puts on the window: GMKMapView (the map's callbacks),
// GMKGeocoder or GMKReverseGeocoder (a geocoder's callbacks), GMKGeocoderURL
// (the service's address, empty when none is configured), GMKServices (the
// turns and kept answers of the search services), GMKPictures (the
// display size of a picture by its URL), loadScript (runs a local script file
// in the page) and innerWidth and innerHeight (the map's size in pixels).

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

// The region shown: the longitude span fills the width, and the latitudes
// from the top edge to the bottom one follow from the height. A map without a
// size yet answers the span last asked for.
function getRegion() {
    var size = viewSize();
    var latitudeDelta = webmap.state.span.latitudeDelta;
    if (size.width > 0 && size.height > 0) {
        latitudeDelta = coordinateAt(size.width / 2, 0).latitude - coordinateAt(size.width / 2, size.height).latitude;
    }
    return JSON.stringify({
        center: webmap.state.center,
        latitudeDelta: latitudeDelta,
        longitudeDelta: webmap.state.span.longitudeDelta
    });
}

// The longitude span whose width shows `latitudeDelta` around `latitude` in
// the map's height; 0 while the map has no size.
function longitudeSpanShowing(latitude, latitudeDelta) {
    var size = viewSize();
    if (size.width <= 0 || size.height <= 0) {
        return 0;
    }
    var mercatorSpan = mercatorY(latitude + latitudeDelta / 2) - mercatorY(latitude - latitudeDelta / 2);
    return mercatorSpan * 180 / Math.PI * size.width / size.height;
}

// The whole region shows: the longitude span is widened as far as the asked
// latitudes need to fit the height.
function setRegionAnimated(latitude, longitude, latitudeDelta, longitudeDelta, animated) {
    setCenterCoordinateAnimated(latitude, longitude, animated);
    var asked = {
        latitudeDelta: Math.abs(finiteOr(latitudeDelta, webmap.state.span.latitudeDelta)),
        longitudeDelta: Math.abs(finiteOr(longitudeDelta, webmap.state.span.longitudeDelta))
    };
    var fitting = longitudeSpanShowing(webmap.state.center.latitude, asked.latitudeDelta);
    webmap.state.span = {
        latitudeDelta: asked.latitudeDelta,
        longitudeDelta: Math.min(360, Math.max(asked.longitudeDelta, fitting))
    };
}

// The point of a coordinate in the map's pixels, in Web Mercator: the span of
// longitude fills innerWidth, and the centre sits in the middle. Of the copies
// of the world side by side, the one nearest the centre counts.
var MAX_LATITUDE = 85.0511287798066;

function mercatorY(latitude) {
    var clamped = Math.max(-MAX_LATITUDE, Math.min(MAX_LATITUDE, latitude));
    var radians = clamped * Math.PI / 180;
    return Math.log(Math.tan(Math.PI / 4 + radians / 2));
}

function viewSize() {
    return { width: finiteOr(window.innerWidth, 0), height: finiteOr(window.innerHeight, 0) };
}

function pixelsPerDegree() {
    return viewSize().width / (webmap.state.span.longitudeDelta || 360);
}

function pointFor(latitude, longitude) {
    var size = viewSize();
    var perDegree = pixelsPerDegree();
    var perRadian = perDegree * 180 / Math.PI;
    var east = finiteOr(longitude, 0) - webmap.state.center.longitude;
    east -= Math.round(east / 360) * 360;
    return {
        x: size.width / 2 + east * perDegree,
        y: size.height / 2 + (mercatorY(webmap.state.center.latitude) - mercatorY(finiteOr(latitude, 0))) * perRadian
    };
}

function coordinateAt(x, y) {
    var size = viewSize();
    var perDegree = pixelsPerDegree() || 1;
    var perRadian = perDegree * 180 / Math.PI;
    var longitude = webmap.state.center.longitude + (x - size.width / 2) / perDegree;
    var mercator = mercatorY(webmap.state.center.latitude) - (y - size.height / 2) / perRadian;
    var latitude = Math.atan((Math.exp(mercator) - Math.exp(-mercator)) / 2) * 180 / Math.PI;
    return { latitude: latitude, longitude: wrapLongitude(longitude) };
}

function wrapLongitude(longitude) {
    var wrapped = (longitude + 180) % 360;
    return (wrapped < 0 ? wrapped + 360 : wrapped) - 180;
}

// Ground metres per pixel at a latitude, for radii given in metres.
function metresPerPixel(latitude) {
    var worldPixels = 360 * pixelsPerDegree();
    var clamped = Math.max(-MAX_LATITUDE, Math.min(MAX_LATITUDE, latitude));
    return worldPixels > 0 ? Math.cos(clamped * Math.PI / 180) * 2 * Math.PI * 6378137 / worldPixels : 0;
}

function convertCoordinate(latitude, longitude) {
    var point = pointFor(latitude, longitude);
    return JSON.stringify({ x: Math.round(point.x), y: Math.round(point.y) });
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
// nothing else. A script runs in the page at once.
function addJavascriptTag(path) {
    var text = String(path);
    if (text.charAt(0) === "/") {
        webmap.state.scripts.push(text);
        if (typeof window.loadScript === "function") {
            window.loadScript(text);
        }
    }
}

function addStylesheetTag(url) {
    webmap.state.stylesheets.push(String(url));
}

// Layout: what the web view paints, in the map's pixels. Overlays and
// annotations come in their zIndex order (equal ones in the order they were
// added), bottom first; a picture stands with the middle of its bottom edge on
// its coordinate.

webmap.DEFAULT_PICTURE = "qrc:/map/GMKPinAnnotationColorRed.png";
webmap.DEFAULT_PICTURE_SIZE = { width: 16, height: 39 };

function byZIndex(list) {
    return list.map(function (object, index) { return { object: object, index: index }; })
        .sort(function (a, b) {
            var za = finiteOr(a.object.get("zIndex"), 0);
            var zb = finiteOr(b.object.get("zIndex"), 0);
            return za !== zb ? za - zb : a.index - b.index;
        })
        .map(function (entry) { return entry.object; });
}

function isLatLng(value) {
    return value instanceof webmap.LatLng;
}

function pixelPath(path) {
    if (!Array.isArray(path)) {
        return [];
    }
    return path.filter(isLatLng).map(function (at) {
        var point = pointFor(at.latitude, at.longitude);
        return [point.x, point.y];
    });
}

function overlayItem(overlay) {
    var options = overlay.options;
    var item = {
        zIndex: finiteOr(options.zIndex, 0),
        strokeColor: typeof options.strokeColor === "string" ? options.strokeColor : "",
        strokeOpacity: finiteOr(options.strokeOpacity, 1),
        strokeWeight: finiteOr(options.strokeWeight, 1),
        fillColor: typeof options.fillColor === "string" ? options.fillColor : "",
        fillOpacity: finiteOr(options.fillOpacity, 0)
    };
    if (overlay instanceof webmap.Circle) {
        if (!isLatLng(options.center)) {
            return null;
        }
        var centre = pointFor(options.center.latitude, options.center.longitude);
        var perPixel = metresPerPixel(options.center.latitude);
        item.kind = "circle";
        item.center = [centre.x, centre.y];
        item.radius = perPixel > 0 ? Math.max(0, finiteOr(options.radius, 0)) / perPixel : 0;
        return item;
    }
    if (overlay instanceof webmap.Polygon || overlay instanceof webmap.Polyline) {
        var paths = overlay instanceof webmap.Polygon && Array.isArray(options.paths) ? options.paths : [options.path];
        item.kind = overlay instanceof webmap.Polygon ? "polygon" : "polyline";
        item.paths = paths.map(pixelPath).filter(function (path) { return path.length > 0; });
        return item.paths.length > 0 ? item : null;
    }
    return null;
}

function pictureOf(annotation) {
    var url = annotation.get("imageUrl");
    return typeof url === "string" && url !== "" ? url : webmap.DEFAULT_PICTURE;
}

function pictureSize(url) {
    var size = window.GMKPictures ? window.GMKPictures.size(url) : null;
    return size && size.width > 0 && size.height > 0 ? size : webmap.DEFAULT_PICTURE_SIZE;
}

// Where an annotation's picture stands; null while it has no position.
function annotationRect(annotation) {
    var position = annotation.get("position");
    if (!isLatLng(position)) {
        return null;
    }
    var anchor = pointFor(position.latitude, position.longitude);
    var size = pictureSize(pictureOf(annotation));
    return { x: anchor.x, y: anchor.y, left: anchor.x - size.width / 2, top: anchor.y - size.height,
        width: size.width, height: size.height };
}

function displayList() {
    var size = viewSize();
    var list = {
        width: size.width,
        height: size.height,
        center: webmap.state.center,
        longitudeDelta: webmap.state.span.longitudeDelta,
        mapType: webmap.state.mapType,
        overlays: [],
        annotations: [],
        callouts: [],
        userLocation: null
    };
    byZIndex(webmap.state.overlays).forEach(function (overlay) {
        var item = overlayItem(overlay);
        if (item) {
            list.overlays.push(item);
        }
    });
    var user = webmap.state.userLocation;
    if (user.visible) {
        var at = pointFor(user.latitude, user.longitude);
        var perPixel = metresPerPixel(user.latitude);
        list.userLocation = { x: at.x, y: at.y, radius: perPixel > 0 ? user.radius / perPixel : 0 };
    }
    byZIndex(webmap.state.annotations).forEach(function (annotation) {
        var rect = annotationRect(annotation);
        if (!rect) {
            return;
        }
        list.annotations.push({ x: rect.x, y: rect.y, left: rect.left, top: rect.top, width: rect.width,
            height: rect.height, imageUrl: pictureOf(annotation), zIndex: finiteOr(annotation.get("zIndex"), 0) });
        if (!annotation.callout.hidden && annotation.callout.text !== "") {
            list.callouts.push({ x: rect.x, y: rect.top, text: annotation.callout.text });
        }
    });
    return JSON.stringify(list);
}

// The web view could not load the tiles of the shown map.
function tilesDidFail() {
    callMap("webviewReportingLoadFailure");
}

// Mouse and wheel. A press that moves less than DRAG_SLOP pixels is a click:
// on an annotation it selects it, elsewhere it reports the pressed coordinate
// (the map view tells a click-and-hold by the time since the press). A press
// that moves drags a draggable annotation, or else pans the map; a pan and a
// wheel turn report the changed region.

var DRAG_SLOP = 3;
var WHEEL_STEP = 120;
var MAX_ZOOM = 19;
webmap.pointer = null;

function callMap(name, argument) {
    var map = window.GMKMapView;
    if (!map || typeof map[name] !== "function") {
        return;
    }
    if (arguments.length > 1) {
        map[name](argument);
    } else {
        map[name]();
    }
}

function annotationAt(x, y) {
    var list = byZIndex(webmap.state.annotations);
    for (var i = list.length - 1; i >= 0; --i) {
        var rect = annotationRect(list[i]);
        if (rect && x >= rect.left && x < rect.left + rect.width && y >= rect.top && y < rect.top + rect.height) {
            return list[i];
        }
    }
    return null;
}

function moveCenterBy(dx, dy) {
    var size = viewSize();
    var moved = coordinateAt(size.width / 2 + dx, size.height / 2 + dy);
    webmap.state.center = {
        latitude: Math.max(-MAX_LATITUDE, Math.min(MAX_LATITUDE, moved.latitude)),
        longitude: moved.longitude
    };
}

function moveGrabbedAnnotation(pointer, x, y) {
    var at = coordinateAt(x + pointer.grabX, y + pointer.grabY);
    pointer.target.set("position", new webmap.LatLng(at.latitude, at.longitude));
}

function pointerDown(x, y, button) {
    var target = annotationAt(x, y);
    if (button === "right") {
        webmap.pointer = null;
        if (target) {
            callMap("annotationScriptObjectRightClick", target);
        }
        return;
    }
    var pointer = { startX: x, startY: y, lastX: x, lastY: y, target: target, moved: false, dragging: false };
    if (target) {
        var rect = annotationRect(target);
        pointer.grabX = rect.x - x;
        pointer.grabY = rect.y - y;
    }
    webmap.pointer = pointer;
}

function pointerMove(x, y) {
    var pointer = webmap.pointer;
    if (!pointer) {
        return;
    }
    if (!pointer.moved && Math.abs(x - pointer.startX) < DRAG_SLOP && Math.abs(y - pointer.startY) < DRAG_SLOP) {
        return;
    }
    pointer.moved = true;
    if (pointer.target && pointer.target.get("draggable") === true) {
        if (!pointer.dragging) {
            pointer.dragging = true;
            callMap("annotationScriptObjectDragStart", pointer.target);
        }
        moveGrabbedAnnotation(pointer, x, y);
        callMap("annotationScriptObjectDrag", pointer.target);
        return;
    }
    moveCenterBy(pointer.lastX - x, pointer.lastY - y);
    pointer.lastX = x;
    pointer.lastY = y;
}

function pointerUp(x, y) {
    var pointer = webmap.pointer;
    webmap.pointer = null;
    if (!pointer) {
        return;
    }
    if (pointer.dragging) {
        moveGrabbedAnnotation(pointer, x, y);
        callMap("annotationScriptObjectDragEnd", pointer.target);
    } else if (pointer.moved) {
        callMap("webviewReportingRegionChange");
    } else if (pointer.target) {
        callMap("annotationScriptObjectSelected", pointer.target);
    } else {
        callMap("webviewReportingClick", JSON.stringify(coordinateAt(pointer.startX, pointer.startY)));
    }
}

// Zooms by a factor of two per wheel step, keeping the coordinate under the
// pointer where it is, between the whole world and zoom level 19.
function wheel(x, y, delta) {
    var size = viewSize();
    if (size.width <= 0 || delta === 0) {
        return;
    }
    var under = coordinateAt(x, y);
    var span = webmap.state.span;
    var narrowest = 360 / Math.pow(2, MAX_ZOOM) * size.width / 256;
    var widest = Math.max(360, size.width / 256 * 360);
    var longitudeDelta = Math.max(narrowest, Math.min(widest, span.longitudeDelta / Math.pow(2, delta / WHEEL_STEP)));
    var factor = longitudeDelta / span.longitudeDelta;
    if (factor === 1) {
        return;
    }
    webmap.state.span = { latitudeDelta: span.latitudeDelta * factor, longitudeDelta: longitudeDelta };
    var now = pointFor(under.latitude, under.longitude);
    moveCenterBy(now.x - x, now.y - y);
    callMap("webviewReportingRegionChange");
}

// The web view's entry point: type "down", "move", "up" or "wheel", the
// pointer's place in the map's pixels, the button ("left" or "right") and,
// for the wheel, its turn in eighths of a degree (positive away from the user).
function handleMouseEvent(type, x, y, button, delta) {
    x = finiteOr(x, 0);
    y = finiteOr(y, 0);
    if (type === "down") {
        pointerDown(x, y, String(button));
    } else if (type === "move") {
        pointerMove(x, y);
    } else if (type === "up") {
        pointerUp(x, y);
    } else if (type === "wheel") {
        wheel(x, y, finiteOr(delta, 0));
    }
}

// Geocoding. The service answers a GET with q (the address), or lat and lon
// (a coordinate; both with q to search near it), with a JSON array of places:
// {"lat", "lon", "address": {house_number, road, city|town|village, county,
// state, country, country_code}}.

// A reverse lookup goes to the service's "reverse" where its searches go to
// "search", as the public service has them.
function geocoderEndpoint(reverse) {
    var endpoint = String(window.GMKGeocoderURL || "");
    return reverse ? endpoint.replace(/\/search(\?|$)/, "/reverse$1") : endpoint;
}

// Every request waits for its turn (window.GMKServices: at most one a second
// in the whole application), and a good answer is kept for the session, so
// the same question is never asked twice.
function geocoderRequest(parameters, done, reverse) {
    var endpoint = geocoderEndpoint(reverse);
    if (endpoint === "") {
        setTimeout(function () { done({ code: webmap.NO_SERVICE }); }, 0);
        return;
    }
    var query = parameters.map(function (pair) {
        return pair[0] + "=" + encodeURIComponent(String(pair[1]));
    }).join("&");
    var url = endpoint + (endpoint.indexOf("?") < 0 ? "?" : "&") + query;
    var services = window.GMKServices;
    var kept = services ? services.cachedAnswer(url) : undefined;
    if (typeof kept === "string") {
        setTimeout(function () { done(readGeocoderAnswer(200, kept)); }, 0);
        return;
    }
    var send = function () {
        var request = new XMLHttpRequest();
        request.onreadystatechange = function () {
            if (request.readyState !== 4) {
                return;
            }
            var answer = readGeocoderAnswer(request.status, request.responseText);
            if (services && (answer.code === webmap.FOUND || answer.code === webmap.NOTHING_FOUND)) {
                services.keepAnswer(url, request.responseText);
            }
            done(answer);
        };
        request.open("GET", url);
        request.send();
    };
    var wait = services ? services.reserve() : 0;
    if (wait > 0) {
        setTimeout(send, wait * 1000);
    } else {
        send();
    }
}

function readGeocoderAnswer(status, text) {
    if (status === 429) {
        return { code: webmap.SERVICE_FAILURE, queryLimit: true };
    }
    if (status < 200 || status > 299) {
        return { code: webmap.SERVICE_FAILURE };
    }
    var places;
    try {
        places = JSON.parse(text);
    } catch (error) {
        return { code: webmap.SERVICE_FAILURE };
    }
    // A reverse lookup answers one place, or an error for none.
    if (places && typeof places === "object" && !Array.isArray(places)) {
        places = places.error !== undefined ? [] : [places];
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
    }, true);
    return true;
}
