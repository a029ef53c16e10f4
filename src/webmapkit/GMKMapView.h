#pragma once

#include "foundation/KeyedCodable.h"
#include "webmapkit/GMKAnnotationView.h"
#include "webmapkit/GMKMapViewDelegate.h"
#include "webmapkit/GMKOverlayView.h"
#include "webmapkit/GMKUserLocation.h"
#include "webmapkit/LocationProvider.h"
#include "webmapkit/MapClock.h"
#include "webmapkit/MapRegion.h"
#include "webmapkit/ScriptObject.h"

#include <QJSValue>
#include <QList>
#include <QPointer>
#include <QRect>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class GMKMapViewCallbacks;
class GMKWebView;
class JsPageHost;

// A map that lives in a script page: every operation (map type, centre,
// region, overlays, annotations, selection, the user's location, address
// search) is a call of a named page function, and the page calls back through
// window.GMKMapView. The page keeps the map's state; its web view paints it
// and hands the page the mouse.
class GMKMapView : public QWidget, public KeyedCodable {
    Q_OBJECT
public:
    // Answer of an address search: error code (0 found), address, coordinate.
    using SearchBackBlock = std::function<void(int errorCode, const QString& address, const MapCoordinate& coordinate)>;
    using LocationProviderFactory = std::function<std::unique_ptr<LocationProvider>()>;

    // `pagePath` is the html wrapper of the page; the built-in map page unless
    // a test gives another. The page starts loading at once.
    explicit GMKMapView(QWidget* parent = nullptr, const QString& pagePath = QString());
    ~GMKMapView() override;

    static QString defaultPagePath();
    static QString errorDomain() { return QStringLiteral("org.lumetta.webmapkit"); }
    // Lets keyed archives make map views ("GMKMapView").
    static void registerForArchives();

    // A QObject that also derives from GMKMapViewDelegate; held weakly.
    void setDelegate(QObject* delegate);
    GMKMapViewDelegate* delegate() const;
    // Makes the location service when the user's location is turned on.
    void setLocationProviderFactory(LocationProviderFactory factory) { providerFactory_ = std::move(factory); }

    GMKWebView* webView() const { return webView_; }
    JsPageHost* host() const;
    void loadMapKitHtml();
    // Detaches the view from its page; callbacks that still come do nothing.
    void close();

    // Archives: "mapType" and "showsUserLocation".
    QString className() const override { return QStringLiteral("GMKMapView"); }
    void encode(KeyedArchiver& archiver) const override;
    void decode(KeyedUnarchiver& unarchiver) override;

    // Map state.
    unsigned mapType() const { return mapType_; }
    void setMapType(unsigned type);
    MapCoordinate centerCoordinate();
    void setCenterCoordinate(const MapCoordinate& coordinate, bool animated = false);
    // The region shown; a region set shows whole, the map widening the span
    // its proportions leave over.
    MapRegion region();
    void setRegion(const MapRegion& region, bool animated = false);
    bool isScrollEnabled() const { return true; }
    bool isZoomEnabled() const { return true; }
    void setScrollEnabled(bool enabled);
    void setZoomEnabled(bool enabled);
    bool hasSetCenterCoordinate() const { return hasSetCenterCoordinate_; }

    // The user's location.
    bool showsUserLocation() const { return showsUserLocation_; }
    void setShowsUserLocation(bool shows);
    GMKUserLocation* userLocation() const { return userLocation_.get(); }
    bool isUserLocationVisible();
    LocationProvider* locationProvider() const { return provider_.get(); }

    // Overlays, bottom first.
    std::vector<GMKOverlayPtr> overlays() const { return overlays_; }
    void addOverlay(const GMKOverlayPtr& overlay);
    void addOverlays(const std::vector<GMKOverlayPtr>& overlays);
    void insertOverlay(const GMKOverlayPtr& overlay, std::size_t index);
    void insertOverlayAbove(const GMKOverlayPtr& overlay, const GMKOverlayPtr& sibling);
    void insertOverlayBelow(const GMKOverlayPtr& overlay, const GMKOverlayPtr& sibling);
    void exchangeOverlays(std::size_t index1, std::size_t index2);
    void removeOverlay(const GMKOverlayPtr& overlay);
    void removeOverlays(const std::vector<GMKOverlayPtr>& overlays);
    GMKOverlayViewPtr viewForOverlay(const GMKOverlayPtr& overlay) const;

    // Annotations, in the order they were added.
    std::vector<GMKAnnotationPtr> annotations() const { return annotations_; }
    void addAnnotation(const GMKAnnotationPtr& annotation);
    void addAnnotations(const std::vector<GMKAnnotationPtr>& annotations);
    void removeAnnotation(const GMKAnnotationPtr& annotation);
    void removeAnnotations(const std::vector<GMKAnnotationPtr>& annotations);
    GMKAnnotationViewPtr viewForAnnotation(const GMKAnnotationPtr& annotation) const;
    // Views are never reused: always null.
    GMKAnnotationViewPtr dequeueReusableAnnotationView(const QString& identifier) const;
    void selectAnnotation(const GMKAnnotationPtr& annotation, bool animated = false);
    void deselectAnnotation(const GMKAnnotationPtr& annotation, bool animated = false);
    std::vector<GMKAnnotationPtr> selectedAnnotations() const { return selected_; }
    void setSelectedAnnotations(const std::vector<GMKAnnotationPtr>& annotations);

    // Conversions. Only coordinate-to-point is answered; the others log and
    // answer zeros.
    QPoint convertCoordinate(const MapCoordinate& coordinate, QWidget* toView);
    MapCoordinate convertPoint(const QPoint& point, QWidget* fromView);
    MapRegion convertRect(const QRect& rect, QWidget* fromView);
    QRect convertRegion(const MapRegion& region, QWidget* toView);

    // Page utilities.
    void addJavascriptTag(const QString& url);
    void addStylesheetTag(const QString& url);
    void showAddress(const QString& address, SearchBackBlock block);
    // A control whose "text" starts a search for it.
    void takeStringValueFrom(QObject* sender);
    SearchBackBlock searchBackBlock() const { return searchBackBlock_; }
    void setSearchBackBlock(SearchBackBlock block) { searchBackBlock_ = std::move(block); }

    // Callbacks from the page (through GMKMapViewCallbacks).
    ScriptObject pageObject(const QJSValue& value) const;
    void annotationScriptObjectSelected(const ScriptObject& pageObject);
    void annotationScriptObjectDragStart(const ScriptObject& pageObject);
    void annotationScriptObjectDrag(const ScriptObject& pageObject);
    void annotationScriptObjectDragEnd(const ScriptObject& pageObject);
    void annotationScriptObjectRightClick(const ScriptObject& pageObject);
    void webviewReportingRegionChange();
    void webviewReportingLoadFailure();
    void webviewReportingClick(const QString& json);
    void webViewSearchAddressBack(const QString& json);
    void webviewReportingReloadGmaps();
    void onSearchAddressBack(int errorCode, const MapCoordinate& coordinate, const QString& address);

signals:
    // Observers of "region" and "centerCoordinate".
    void regionChanged();
    void centerCoordinateChanged();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    struct Placed {
        std::shared_ptr<GMKView> view;
        ScriptObject pageObject;
    };
    template <typename Call> void tell(GMKMapViewDelegate::Op op, Call call);

    void connectPage();
    void onWindowObjectCleared();
    void onLoadFinished();
    void onLoadFailed(const MapError& error);
    void updateWindowSize();
    QVariant callPage(const QString& name, const QVariantList& arguments = {});
    bool pageIsReady() const;

    // Shared steps of putting an overlay or annotation on the page; null when
    // it could not be placed (logged).
    std::optional<Placed> place(const std::shared_ptr<GMKView>& view, const QString& what, const QString& name);
    void updateOverlayZIndexes();
    void updateAnnotationZIndexes();
    void setZIndex(const ScriptObject& pageObject, int zIndex);
    std::vector<GMKAnnotationPtr> annotationsMatching(const ScriptObject& pageObject) const;
    std::optional<MapCoordinate> coordinateForAnnotationScriptObject(const ScriptObject& pageObject);
    void changeDragState(const GMKAnnotationPtr& annotation, unsigned state);

    void startLocating();
    void stopLocating();
    void didUpdateLocation(const MapLocation& location);
    void didFailToLocate(const MapError& error);
    void setUserLocationMarkerVisible(bool visible);
    void updateUserLocationMarker(const MapLocation& location);

    QString pagePath_;
    QString geocoderUrl_;
    MapClock* clock_;
    GMKWebView* webView_ = nullptr;
    GMKMapViewCallbacks* callbacks_ = nullptr;
    QPointer<QObject> delegate_;
    bool closed_ = false;

    unsigned mapType_ = 0;
    bool showsUserLocation_ = false;
    bool hasSetCenterCoordinate_ = false;
    std::unique_ptr<GMKUserLocation> userLocation_;
    std::unique_ptr<LocationProvider> provider_;
    LocationProviderFactory providerFactory_;

    std::vector<GMKOverlayPtr> overlays_;
    std::vector<GMKAnnotationPtr> annotations_;
    std::vector<GMKAnnotationPtr> selected_;
    std::map<const GMKOverlay*, Placed> overlayPlaces_;
    std::map<const GMKAnnotation*, Placed> annotationPlaces_;
    SearchBackBlock searchBackBlock_;
};

template <typename Call> void GMKMapView::tell(GMKMapViewDelegate::Op op, Call call)
{
    GMKMapViewDelegate* target = delegate();
    if (target != nullptr && target->responds(op)) {
        call(target);
    }
}
