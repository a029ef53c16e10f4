#include "webmapkit/GMKMapViewCallbacks.h"

#include "webmapkit/GMKMapView.h"

GMKMapViewCallbacks::GMKMapViewCallbacks(GMKMapView* view)
    : QObject(view)
    , view_(view)
{
}

void GMKMapViewCallbacks::annotationScriptObjectSelected(const QJSValue& pageObject)
{
    if (view_) {
        view_->annotationScriptObjectSelected(view_->pageObject(pageObject));
    }
}

void GMKMapViewCallbacks::annotationScriptObjectDragStart(const QJSValue& pageObject)
{
    if (view_) {
        view_->annotationScriptObjectDragStart(view_->pageObject(pageObject));
    }
}

void GMKMapViewCallbacks::annotationScriptObjectDrag(const QJSValue& pageObject)
{
    if (view_) {
        view_->annotationScriptObjectDrag(view_->pageObject(pageObject));
    }
}

void GMKMapViewCallbacks::annotationScriptObjectDragEnd(const QJSValue& pageObject)
{
    if (view_) {
        view_->annotationScriptObjectDragEnd(view_->pageObject(pageObject));
    }
}

void GMKMapViewCallbacks::annotationScriptObjectRightClick(const QJSValue& pageObject)
{
    if (view_) {
        view_->annotationScriptObjectRightClick(view_->pageObject(pageObject));
    }
}

void GMKMapViewCallbacks::webviewReportingRegionChange()
{
    if (view_) {
        view_->webviewReportingRegionChange();
    }
}

void GMKMapViewCallbacks::webviewReportingLoadFailure()
{
    if (view_) {
        view_->webviewReportingLoadFailure();
    }
}

void GMKMapViewCallbacks::webviewReportingClick(const QString& json)
{
    if (view_) {
        view_->webviewReportingClick(json);
    }
}

void GMKMapViewCallbacks::webViewSearchAddressBack(const QString& json)
{
    if (view_) {
        view_->webViewSearchAddressBack(json);
    }
}

void GMKMapViewCallbacks::webviewReportingReloadGmaps()
{
    if (view_) {
        view_->webviewReportingReloadGmaps();
    }
}
