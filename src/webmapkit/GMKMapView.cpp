#include "webmapkit/GMKMapView.h"

#include "foundation/AppInfo.h"
#include "foundation/KeyedArchiver.h"
#include "foundation/KeyedClassRegistry.h"
#include "foundation/KeyedUnarchiver.h"
#include "webmapkit/GMKMapViewCallbacks.h"
#include "webmapkit/GMKWebView.h"
#include "webmapkit/MapLog.h"
#include "webmapkit/MapPageAnswer.h"
#include "webmapkit/MapResources.h"
#include "webmapkit/MapSearchPacing.h"
#include "webmapkit/MapUserAgent.h"

#include <QUrl>

GMKMapView::GMKMapView(QWidget* parent, const QString& pagePath)
    : QWidget(parent)
    , pagePath_(pagePath.isEmpty() ? defaultPagePath() : pagePath)
    , clock_(MapClock::defaultClock())
    , callbacks_(new GMKMapViewCallbacks(this))
    , userLocation_(std::make_unique<GMKUserLocation>())
    , providerFactory_(
          []() { return LocationProvider::create(AppInfo::mapServiceEndpoint(QStringLiteral("LocationURL"))); })
{
    webView_ = new GMKWebView(this);
    webView_->setGeometry(rect());
    host()->setUserAgent(mapPageUserAgent());
    connectPage();
    loadMapKitHtml();
}

GMKMapView::~GMKMapView()
{
    delegate_ = nullptr;
    closed_ = true;
    if (provider_) {
        provider_->stop();
    }
}

QString GMKMapView::defaultPagePath()
{
    MapResources::ensureLoaded();
    return QStringLiteral(":/map/MapKit.html");
}

void GMKMapView::registerForArchives()
{
    KeyedClassRegistry::registerClass(QStringLiteral("GMKMapView"),
        []() { return std::static_pointer_cast<KeyedCodable>(std::make_shared<GMKMapView>()); });
}

void GMKMapView::setDelegate(QObject* delegate)
{
    delegate_ = delegate;
}

GMKMapViewDelegate* GMKMapView::delegate() const
{
    return dynamic_cast<GMKMapViewDelegate*>(delegate_.data());
}

JsPageHost* GMKMapView::host() const
{
    return webView_->host();
}

void GMKMapView::connectPage()
{
    JsPageHost* page = host();
    connect(page, &ScriptBridge::willStartLoading, this, [this]() {
        tell(GMKMapViewDelegate::Op::WillStartLoadingMap, [this](auto* d) { d->willStartLoadingMap(this); });
    });
    connect(page, &ScriptBridge::windowObjectCleared, this, &GMKMapView::onWindowObjectCleared);
    connect(page, &ScriptBridge::loadFinished, this, &GMKMapView::onLoadFinished);
    connect(page, &ScriptBridge::loadFailed, this, &GMKMapView::onLoadFailed);
}

void GMKMapView::loadMapKitHtml()
{
    if (!closed_) {
        host()->load(pagePath_);
    }
}

void GMKMapView::close()
{
    delegate_ = nullptr;
    host()->setWindowValue(QStringLiteral("WindowScriptObject"), QVariant::fromValue(nullptr));
    host()->setWindowObject(QStringLiteral("GMKMapView"), nullptr);
    disconnect(host(), nullptr, this, nullptr);
    closed_ = true;
}

void GMKMapView::onWindowObjectCleared()
{
    JsPageHost* page = host();
    geocoderUrl_ = AppInfo::mapServiceEndpoint(QStringLiteral("GeocoderURL"));
    page->setWindowValue(QStringLiteral("WindowScriptObject"), QVariant::fromValue(page->windowObject()));
    page->setWindowObject(QStringLiteral("GMKMapView"), callbacks_);
    page->setWindowValue(QStringLiteral("GMKGeocoderURL"), geocoderUrl_);
    page->setWindowObject(QStringLiteral("GMKPictures"), webView_->pictures());
    page->setWindowObject(QStringLiteral("GMKServices"), MapSearchPacing::shared());
    updateWindowSize();
}

void GMKMapView::onLoadFinished()
{
    if (showsUserLocation_ && userLocation_->location()) {
        didUpdateLocation(*userLocation_->location());
    }
    // A fresh page knows nothing: give it the stored settings again.
    setMapType(mapType_);
    setShowsUserLocation(showsUserLocation_);
    clock_->callAfter(0.5, this, [this]() {
        tell(GMKMapViewDelegate::Op::DidFinishLoadingMap, [this](auto* d) { d->didFinishLoadingMap(this); });
    });
}

void GMKMapView::onLoadFailed(const MapError& error)
{
    tell(GMKMapViewDelegate::Op::DidFailLoadingMap, [&](auto* d) { d->didFailLoadingMap(this, error); });
}

void GMKMapView::updateWindowSize()
{
    // A hidden widget hears of a resize only when it is shown, and this view
    // usually stays hidden: take the size as it is now.
    webView_->setGeometry(rect());
    host()->setWindowValue(QStringLiteral("innerWidth"), width());
    host()->setWindowValue(QStringLiteral("innerHeight"), height());
}

QVariant GMKMapView::callPage(const QString& name, const QVariantList& arguments)
{
    if (closed_) {
        return QVariant();
    }
    const QVariant answer = host()->callFunction(name, arguments);
    // The page may have changed what it shows.
    webView_->update();
    return answer;
}

bool GMKMapView::pageIsReady() const
{
    return !closed_ && host()->windowObject().isValid();
}

void GMKMapView::encode(KeyedArchiver& archiver) const
{
    archiver.encodeInt64(QStringLiteral("mapType"), mapType_);
    archiver.encodeBool(QStringLiteral("showsUserLocation"), showsUserLocation_);
}

void GMKMapView::decode(KeyedUnarchiver& unarchiver)
{
    setMapType(static_cast<unsigned>(unarchiver.decodeInt64(QStringLiteral("mapType"))));
    setShowsUserLocation(unarchiver.decodeBool(QStringLiteral("showsUserLocation")));
}

void GMKMapView::setMapType(unsigned type)
{
    mapType_ = type;
    callPage(QStringLiteral("setMapType"), {static_cast<int>(type)});
}

MapCoordinate GMKMapView::centerCoordinate()
{
    const auto answer
        = MapPageAnswer::object(closed_ ? QVariant() : host()->evaluate(QStringLiteral("getCenterCoordinate()")));
    return answer ? MapPageAnswer::coordinate(*answer).value_or(MapCoordinate{}) : MapCoordinate{};
}

void GMKMapView::setCenterCoordinate(const MapCoordinate& coordinate, bool animated)
{
    callPage(QStringLiteral("setCenterCoordinateAnimated"), {coordinate.latitude, coordinate.longitude, animated});
    emit regionChanged();
    hasSetCenterCoordinate_ = true;
}

MapRegion GMKMapView::region()
{
    // What is shown depends on the size, which a hidden view may not have told yet.
    updateWindowSize();
    const auto answer = MapPageAnswer::object(closed_ ? QVariant() : host()->evaluate(QStringLiteral("getRegion()")));
    if (!answer) {
        return MapRegion{};
    }
    const auto read
        = [&](const char* path) { return MapPageAnswer::number(*answer, QString::fromLatin1(path)).value_or(0.0); };
    return MapRegion{
        {read("center.latitude"), read("center.longitude")}, read("latitudeDelta"), read("longitudeDelta")};
}

void GMKMapView::setRegion(const MapRegion& region, bool animated)
{
    tell(GMKMapViewDelegate::Op::RegionWillChange, [&](auto* d) { d->regionWillChange(this, animated); });
    updateWindowSize();
    callPage(QStringLiteral("setRegionAnimated"),
        {region.center.latitude, region.center.longitude, region.latitudeDelta, region.longitudeDelta, animated});
    emit centerCoordinateChanged();
    tell(GMKMapViewDelegate::Op::RegionDidChange, [&](auto* d) { d->regionDidChange(this, animated); });
}

void GMKMapView::setScrollEnabled(bool enabled)
{
    if (!enabled) {
        qCWarning(lcMap, "setting scrollEnabled to NO on GMKMapView not supported.");
    }
}

void GMKMapView::setZoomEnabled(bool enabled)
{
    if (!enabled) {
        qCWarning(lcMap, "setting zoomEnabled to NO on GMKMapView not supported");
    }
}

QPoint GMKMapView::convertCoordinate(const MapCoordinate& coordinate, QWidget* toView)
{
    updateWindowSize();
    const auto answer = MapPageAnswer::object(
        callPage(QStringLiteral("convertCoordinate"), {coordinate.latitude, coordinate.longitude}));
    if (!answer) {
        return QPoint();
    }
    const QPoint inPage(static_cast<int>(answer->value(QStringLiteral("x")).toInteger()),
        static_cast<int>(answer->value(QStringLiteral("y")).toInteger()));
    return toView != nullptr ? toView->mapFromGlobal(webView_->mapToGlobal(inPage)) : inPage;
}

MapCoordinate GMKMapView::convertPoint(const QPoint&, QWidget*)
{
    qCWarning(lcMap, "-[GMKMapView convertPoint: toCoordinateFromView:] not implemented yet");
    return MapCoordinate{};
}

MapRegion GMKMapView::convertRect(const QRect&, QWidget*)
{
    qCWarning(lcMap, "-[GMKMapView convertRect: toRegionFromView:] not implemented yet");
    return MapRegion{};
}

QRect GMKMapView::convertRegion(const MapRegion&, QWidget*)
{
    qCWarning(lcMap, "-[GMKMapView convertRegion: toRectToView:] not implemented yet");
    return QRect();
}

void GMKMapView::addJavascriptTag(const QString& url)
{
    callPage(QStringLiteral("addJavascriptTag"), {QUrl(url).path()});
}

void GMKMapView::addStylesheetTag(const QString& url)
{
    callPage(QStringLiteral("addStylesheetTag"), {url});
}

void GMKMapView::showAddress(const QString& address, SearchBackBlock block)
{
    searchBackBlock_ = std::move(block);
    if (pageIsReady() && geocoderUrl_.isEmpty()) {
        // The page answers "no endpoint" by itself; the log says why.
        qCWarning(lcMap, "network error: no geocoder endpoint is configured (address search)");
    }
    callPage(QStringLiteral("showAddress"), {address});
}

void GMKMapView::takeStringValueFrom(QObject* sender)
{
    if (sender == nullptr || sender->metaObject()->indexOfProperty("text") < 0) {
        qCWarning(lcMap, "sender must respond to -stringValue");
        return;
    }
    showAddress(sender->property("text").toString(), nullptr);
}

void GMKMapView::resizeEvent(QResizeEvent*)
{
    tell(GMKMapViewDelegate::Op::RegionWillChange, [this](auto* d) { d->regionWillChange(this, false); });
    updateWindowSize();
    emit regionChanged();
    emit centerCoordinateChanged();
    tell(GMKMapViewDelegate::Op::RegionDidChange, [this](auto* d) { d->regionDidChange(this, false); });
}

void GMKMapView::paintEvent(QPaintEvent*)
{
    // The web view covers the whole view and paints the map.
}
