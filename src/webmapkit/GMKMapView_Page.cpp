#include "webmapkit/GMKMapView.h"

#include "webmapkit/GMKWebView.h"
#include "webmapkit/MapLog.h"
#include "webmapkit/MapPageAnswer.h"

ScriptObject GMKMapView::pageObject(const QJSValue& value) const
{
    return ScriptObject(value, host()->generation(), host());
}

void GMKMapView::webviewReportingRegionChange()
{
    tell(GMKMapViewDelegate::Op::RegionDidChange, [this](auto* d) { d->regionDidChange(this, false); });
    emit centerCoordinateChanged();
    emit regionChanged();
}

void GMKMapView::webviewReportingLoadFailure()
{
    const MapError error{errorDomain(), 0, QStringLiteral("the map page reported a load failure")};
    tell(GMKMapViewDelegate::Op::DidFailLoadingMap, [&](auto* d) { d->didFailLoadingMap(this, error); });
}

void GMKMapView::webviewReportingClick(const QString& json)
{
    const auto answer = MapPageAnswer::object(json);
    const auto coordinate = answer ? MapPageAnswer::coordinate(*answer) : std::nullopt;
    if (!coordinate) {
        // Without a place a click would report a hold at (0, 0).
        qCWarning(lcMap).noquote() << "ignored a click without a coordinate:" << json;
        return;
    }
    const std::vector<GMKAnnotationPtr> previous = selected_;
    for (const GMKAnnotationPtr& annotation : previous) {
        deselectAnnotation(annotation, true);
    }
    if (clock_->now() - webView_->lastHitTestDate() > 0.5) {
        tell(GMKMapViewDelegate::Op::UserDidClickAndHold, [&](auto* d) { d->userDidClickAndHold(this, *coordinate); });
    }
}

void GMKMapView::webViewSearchAddressBack(const QString& json)
{
    // An answer that cannot be read is a failure (-1), never a place at (0, 0).
    const auto answer = MapPageAnswer::object(json);
    if (!answer) {
        onSearchAddressBack(-1, MapCoordinate{}, QString());
        return;
    }
    int code = static_cast<int>(answer->value(QStringLiteral("errorCode")).toInteger());
    const QString address = answer->value(QStringLiteral("address")).toString();
    MapCoordinate coordinate;
    if (code == 0) {
        const auto found = MapPageAnswer::coordinate(*answer);
        code = found ? 0 : -1;
        coordinate = found.value_or(MapCoordinate{});
    }
    onSearchAddressBack(code, coordinate, address);
}

void GMKMapView::onSearchAddressBack(int errorCode, const MapCoordinate& coordinate, const QString& address)
{
    tell(GMKMapViewDelegate::Op::SearchAddressBack,
        [&](auto* d) { d->onSearchAddressBack(errorCode, coordinate, address); });
    if (searchBackBlock_) {
        // A copy: the block may start the next search and replace itself.
        const SearchBackBlock block = searchBackBlock_;
        block(errorCode, address, coordinate);
    }
}

void GMKMapView::webviewReportingReloadGmaps()
{
    loadMapKitHtml();
}

void GMKMapView::setShowsUserLocation(bool shows)
{
    const bool was = showsUserLocation_;
    showsUserLocation_ = shows;
    if (!was && shows) {
        tell(GMKMapViewDelegate::Op::WillStartLocatingUser, [this](auto* d) { d->willStartLocatingUser(this); });
    }
    if (shows) {
        startLocating();
    } else {
        setUserLocationMarkerVisible(false);
        stopLocating();
    }
    if (was && !shows) {
        tell(GMKMapViewDelegate::Op::DidStopLocatingUser, [this](auto* d) { d->didStopLocatingUser(this); });
    }
}

void GMKMapView::startLocating()
{
    if (!provider_) {
        provider_ = providerFactory_();
        connect(provider_.get(), &LocationProvider::didUpdateLocation, this, &GMKMapView::didUpdateLocation);
        connect(provider_.get(), &LocationProvider::didFail, this, &GMKMapView::didFailToLocate);
    }
    userLocation_->setUpdating(true);
    provider_->start();
}

void GMKMapView::stopLocating()
{
    userLocation_->setUpdating(false);
    if (provider_) {
        provider_->stop();
        provider_->disconnect(this);
        // Possibly inside one of its own signals: let it go on a later turn.
        provider_.release()->deleteLater();
    }
    if (userLocation_->location()) {
        userLocation_->setLocation(std::nullopt);
    }
}

bool GMKMapView::isUserLocationVisible()
{
    if (!showsUserLocation_ || !userLocation_->location()) {
        return false;
    }
    return callPage(QStringLiteral("isUserLocationVisible")).toBool();
}

void GMKMapView::didUpdateLocation(const MapLocation& location)
{
    if (!hasSetCenterCoordinate_) {
        setCenterCoordinate(location.coordinate, false);
    }
    userLocation_->setLocation(location);
    updateUserLocationMarker(location);
    setUserLocationMarkerVisible(true);
    tell(GMKMapViewDelegate::Op::DidUpdateUserLocation,
        [this](auto* d) { d->didUpdateUserLocation(this, userLocation_.get()); });
}

void GMKMapView::didFailToLocate(const MapError& error)
{
    tell(GMKMapViewDelegate::Op::DidFailToLocateUser, [&](auto* d) { d->didFailToLocateUser(this, error); });
    setUserLocationMarkerVisible(false);
    if (error.code == LocationProvider::kErrorDenied) {
        setShowsUserLocation(false);
    }
}

void GMKMapView::setUserLocationMarkerVisible(bool visible)
{
    callPage(QStringLiteral("setUserLocationVisible"), {visible});
}

void GMKMapView::updateUserLocationMarker(const MapLocation& location)
{
    callPage(QStringLiteral("setUserLocationRadius"), {location.radius()});
    callPage(QStringLiteral("setUserLocationLatitudeLongitude"),
        {location.coordinate.latitude, location.coordinate.longitude});
}
