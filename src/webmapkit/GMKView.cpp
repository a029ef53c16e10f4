#include "webmapkit/GMKView.h"

#include "webmapkit/ScriptBridge.h"

ScriptObject GMKView::overlayScriptObjectFromMapScriptObject(const ScriptObject& window) const
{
    ScriptBridge* bridge = window.bridge();
    if (bridge == nullptr) {
        return ScriptObject();
    }
    return bridge->evaluate(QStringLiteral("new %1()").arg(viewPrototypeName())).value<ScriptObject>();
}

void GMKView::draw(const ScriptObject& pageObject)
{
    ScriptBridge* bridge = pageObject.bridge();
    if (bridge == nullptr || !pageObject.isValid()) {
        return;
    }
    prepareDrawing(pageObject);
    const QMap<QString, QVariant> all = options();
    for (auto it = all.begin(); it != all.end(); ++it) {
        bridge->callFunction(
            QStringLiteral("setOverlayOption"), {QVariant::fromValue(pageObject), it.key(), it.value()});
    }
}

QVariant GMKView::pageCoordinate(const ScriptObject& pageObject, const MapCoordinate& coordinate)
{
    ScriptBridge* bridge = pageObject.bridge();
    if (bridge == nullptr) {
        return QVariant();
    }
    // asprintf formats in the C locale, whatever the user's locale.
    return bridge->evaluate(QString::asprintf("new webmap.LatLng(%f, %f);", coordinate.latitude, coordinate.longitude));
}

QVariantList GMKView::pagePath(const ScriptObject& pageObject, const std::vector<MapCoordinate>& coordinates)
{
    QVariantList path;
    for (const MapCoordinate& coordinate : coordinates) {
        path.append(pageCoordinate(pageObject, coordinate));
    }
    return path;
}
