#pragma once

#include <QJSValue>
#include <QObject>
#include <QPointer>
#include <QString>

class GMKMapView;

// What the map page sees as window.GMKMapView: exactly the callbacks a page may
// make, each forwarded to the map view. Nothing else of the view is reachable
// from script.
class GMKMapViewCallbacks : public QObject {
    Q_OBJECT
public:
    explicit GMKMapViewCallbacks(GMKMapView* view);

    Q_INVOKABLE void annotationScriptObjectSelected(const QJSValue& pageObject);
    Q_INVOKABLE void annotationScriptObjectDragStart(const QJSValue& pageObject);
    Q_INVOKABLE void annotationScriptObjectDrag(const QJSValue& pageObject);
    Q_INVOKABLE void annotationScriptObjectDragEnd(const QJSValue& pageObject);
    Q_INVOKABLE void annotationScriptObjectRightClick(const QJSValue& pageObject);
    Q_INVOKABLE void webviewReportingRegionChange();
    Q_INVOKABLE void webviewReportingLoadFailure();
    Q_INVOKABLE void webviewReportingClick(const QString& json);
    Q_INVOKABLE void webViewSearchAddressBack(const QString& json);
    Q_INVOKABLE void webviewReportingReloadGmaps();

private:
    QPointer<GMKMapView> view_;
};
