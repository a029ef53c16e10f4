#pragma once

#include "webmapkit/MapCoordinate.h"
#include "webmapkit/ScriptObject.h"

#include <QMap>
#include <QString>
#include <QVariant>

#include <memory>

// How a model object stands on a map page. A view draws no pixels: it names the
// page constructor of its page object and pushes its options onto that object
// through the page's "setOverlayOption", in key order.
class GMKView {
public:
    virtual ~GMKView() = default;

    virtual QString viewPrototypeName() const { return QStringLiteral("MVCObject"); }
    virtual QMap<QString, QVariant> options() const { return {}; }

    // Makes the view's page object by running "new <prototype>()" in the page
    // of `window`.
    ScriptObject overlayScriptObjectFromMapScriptObject(const ScriptObject& window) const;
    // Prepares what the options need (page coordinates), then pushes them.
    void draw(const ScriptObject& pageObject);

protected:
    virtual void prepareDrawing(const ScriptObject& pageObject) { Q_UNUSED(pageObject); }
    // "new webmap.LatLng(latitude, longitude)" in the page of `pageObject`.
    static QVariant pageCoordinate(const ScriptObject& pageObject, const MapCoordinate& coordinate);
    static QVariantList pagePath(const ScriptObject& pageObject, const std::vector<MapCoordinate>& coordinates);
};

using GMKViewPtr = std::shared_ptr<GMKView>;
