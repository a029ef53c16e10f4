#include "gps/TileMapView.h"

#include "foundation/AppInfo.h"
#include "webmapkit/LocationProvider.h"
#include "webmapkit/MapMarkers.h"

#include <QFontMetricsF>
#include <QMetaObject>

#include <algorithm>

namespace {

constexpr double kUserDotSize = 16.0;

} // namespace

void TileMapView::addAnnotation(const GMKAnnotationPtr& annotation)
{
    if (annotation == nullptr || annotations_.contains(annotation)) {
        return;
    }
    annotations_.append(annotation);
    pendingViews_.append(annotation);
    scheduleViewRequests();
    update();
}

void TileMapView::addAnnotations(const QList<GMKAnnotationPtr>& annotations)
{
    for (const GMKAnnotationPtr& annotation : annotations) {
        addAnnotation(annotation);
    }
}

void TileMapView::removeAnnotation(const GMKAnnotationPtr& annotation)
{
    // The user location comes and goes with showsUserLocation only.
    if (annotation == nullptr || annotation == userLocation_ || !annotations_.contains(annotation)) {
        return;
    }
    annotations_.removeAll(annotation);
    pendingViews_.removeAll(annotation);
    selected_.removeAll(annotation);
    const auto found = views_.find(annotation.get());
    if (found != views_.end()) {
        const TileAnnotationViewPtr view = found->second;
        views_.erase(found);
        if (view == pressedView_) {
            pressedView_.reset();
            dragging_ = false;
        }
        view->setSelected(false);
        view->setDragState(TileAnnotationView::DragNone);
        if (!view->reuseIdentifier().isEmpty()) {
            reusable_.insert(view->reuseIdentifier(), view);
        }
    }
    update();
}

void TileMapView::removeAnnotations(const QList<GMKAnnotationPtr>& annotations)
{
    for (const GMKAnnotationPtr& annotation : annotations) {
        removeAnnotation(annotation);
    }
}

TileAnnotationViewPtr TileMapView::viewForAnnotation(const GMKAnnotationPtr& annotation) const
{
    const auto found = views_.find(annotation.get());
    return found != views_.end() ? found->second : nullptr;
}

TileAnnotationViewPtr TileMapView::dequeueReusableAnnotationView(const QString& identifier)
{
    const auto found = reusable_.find(identifier);
    if (found == reusable_.end()) {
        return nullptr;
    }
    TileAnnotationViewPtr view = found.value();
    reusable_.erase(found);
    return view;
}

void TileMapView::scheduleViewRequests()
{
    if (viewRequestQueued_) {
        return;
    }
    viewRequestQueued_ = true;
    // Views are asked for on the next turn, so that a caller adding several
    // annotations (and selecting one) hears about all their views in one batch.
    QMetaObject::invokeMethod(
        this, [this]() { requestViews(); }, Qt::QueuedConnection);
}

void TileMapView::requestViews()
{
    viewRequestQueued_ = false;
    const QList<GMKAnnotationPtr> pending = std::exchange(pendingViews_, {});
    QList<TileAnnotationViewPtr> added;
    QList<TileAnnotationViewPtr> selectedNow;
    for (const GMKAnnotationPtr& annotation : pending) {
        if (!annotations_.contains(annotation) || views_.count(annotation.get()) > 0) {
            continue;
        }
        TileAnnotationViewPtr view = makeView(annotation);
        views_[annotation.get()] = view;
        added.append(view);
        if (view->isSelected()) {
            selectedNow.append(view);
        }
    }
    update();
    if (added.isEmpty()) {
        return;
    }
    tellDelegate(TileMapViewDelegate::Op::DidAddAnnotationViews,
        [&](TileMapViewDelegate* d) { d->didAddAnnotationViews(this, added); });
    for (const TileAnnotationViewPtr& view : selectedNow) {
        tellDelegate(TileMapViewDelegate::Op::DidSelectAnnotationView,
            [&](TileMapViewDelegate* d) { d->didSelectAnnotationView(this, view); });
    }
}

TileAnnotationViewPtr TileMapView::makeView(const GMKAnnotationPtr& annotation)
{
    TileAnnotationViewPtr view;
    tellDelegate(TileMapViewDelegate::Op::ViewForAnnotation,
        [&](TileMapViewDelegate* d) { view = d->viewForAnnotation(this, annotation); });
    if (view == nullptr) {
        view = annotation == userLocation_
            ? std::make_shared<TileAnnotationView>(annotation, QString(), TileAnnotationView::Kind::UserLocation)
            : TileAnnotationView::defaultPin(annotation);
    }
    view->setAnnotation(annotation);
    view->setSelected(selected_.contains(annotation));
    return view;
}

void TileMapView::selectAnnotation(const GMKAnnotationPtr& annotation, bool animated)
{
    Q_UNUSED(animated);
    if (annotation == nullptr || !annotations_.contains(annotation) || selected_.contains(annotation)) {
        return;
    }
    // One selection at a time, as a user expects of pins.
    for (const GMKAnnotationPtr& other : QList<GMKAnnotationPtr>(selected_)) {
        deselectAnnotation(other, false);
    }
    selected_.append(annotation);
    if (const TileAnnotationViewPtr view = viewForAnnotation(annotation)) {
        view->setSelected(true);
        tellDelegate(TileMapViewDelegate::Op::DidSelectAnnotationView,
            [&](TileMapViewDelegate* d) { d->didSelectAnnotationView(this, view); });
    }
    update();
}

void TileMapView::deselectAnnotation(const GMKAnnotationPtr& annotation, bool animated)
{
    Q_UNUSED(animated);
    if (!selected_.removeOne(annotation)) {
        return;
    }
    if (const TileAnnotationViewPtr view = viewForAnnotation(annotation)) {
        view->setSelected(false);
        tellDelegate(TileMapViewDelegate::Op::DidDeselectAnnotationView,
            [&](TileMapViewDelegate* d) { d->didDeselectAnnotationView(this, view); });
    }
    update();
}

void TileMapView::setLocationProvider(LocationProvider* provider)
{
    if (provider_ != nullptr) {
        disconnect(provider_, nullptr, this, nullptr);
    }
    provider_ = provider;
    if (provider_ != nullptr) {
        connect(provider_, &LocationProvider::didUpdateLocation, this, &TileMapView::onLocation);
        connect(provider_, &LocationProvider::didFail, this, &TileMapView::onLocationFailure);
    }
}

void TileMapView::setShowsUserLocation(bool shows)
{
    const bool was = showsUserLocation_;
    showsUserLocation_ = shows;
    if (!was && shows) {
        tellDelegate(TileMapViewDelegate::Op::WillStartLocatingUser,
            [&](TileMapViewDelegate* d) { d->willStartLocatingUser(this); });
        if (provider_ == nullptr) {
            ownProvider_ = LocationProvider::create(AppInfo::mapServiceEndpoint(QStringLiteral("LocationURL")));
            setLocationProvider(ownProvider_.get());
        }
    }
    if (shows) {
        userLocation_->setUpdating(true);
        provider_->start();
        return;
    }
    stopLocating();
    userLocation_->setUpdating(false);
    userLocation_->setLocation(std::nullopt);
    annotations_.removeAll(userLocation_);
    pendingViews_.removeAll(userLocation_);
    selected_.removeAll(userLocation_);
    views_.erase(userLocation_.get());
    update();
    if (was) {
        tellDelegate(TileMapViewDelegate::Op::DidStopLocatingUser,
            [&](TileMapViewDelegate* d) { d->didStopLocatingUser(this); });
    }
}

void TileMapView::stopLocating()
{
    if (provider_ != nullptr) {
        provider_->stop();
    }
}

bool TileMapView::isUserLocationVisible() const
{
    if (!showsUserLocation_ || !userLocation_->location()) {
        return false;
    }
    return rect().contains(convertCoordinateToPoint(userLocation_->coordinate()).toPoint());
}

void TileMapView::onLocation(const MapLocation& location)
{
    if (!showsUserLocation_) {
        return;
    }
    userLocation_->setLocation(location);
    if (!annotations_.contains(userLocation_)) {
        annotations_.append(userLocation_);
        pendingViews_.append(userLocation_);
        scheduleViewRequests();
    }
    update();
    tellDelegate(TileMapViewDelegate::Op::DidUpdateUserLocation,
        [&](TileMapViewDelegate* d) { d->didUpdateUserLocation(this, userLocation_.get()); });
}

void TileMapView::onLocationFailure(const MapError& error)
{
    tellDelegate(TileMapViewDelegate::Op::DidFailToLocateUser,
        [&](TileMapViewDelegate* d) { d->didFailToLocateUser(this, error); });
    if (error.code == LocationProvider::kErrorDenied) {
        setShowsUserLocation(false);
    }
}

QPointF TileMapView::anchorPoint(const TileAnnotationView& view) const
{
    if (dragging_ && pressedView_.get() == &view) {
        return dragPoint_;
    }
    const GMKAnnotationPtr annotation = view.annotation();
    const QPointF point = annotation != nullptr ? convertCoordinateToPoint(annotation->coordinate()) : QPointF();
    return point + view.centerOffset();
}

QRectF TileMapView::pictureRect(const TileAnnotationView& view) const
{
    const QPointF anchor = anchorPoint(view);
    if (view.kind() == TileAnnotationView::Kind::UserLocation) {
        return QRectF(anchor.x() - kUserDotSize / 2.0, anchor.y() - kUserDotSize / 2.0, kUserDotSize, kUserDotSize);
    }
    const QImage image = view.image();
    const double ratio = image.devicePixelRatio() > 0 ? image.devicePixelRatio() : 1.0;
    const QSizeF size = QSizeF(image.size()) / ratio;
    return QRectF(anchor.x() - size.width() / 2.0, anchor.y() - size.height(), size.width(), size.height());
}

std::optional<QRectF> TileMapView::calloutRect(const TileAnnotationView& view) const
{
    const GMKAnnotationPtr annotation = view.annotation();
    if (!view.isSelected() || !view.canShowCallout() || annotation == nullptr || annotation->title().isEmpty()) {
        return std::nullopt;
    }
    const QRectF picture = pictureRect(view);
    return MapMarkers::calloutBox(
        QPointF(picture.center().x(), picture.top()), annotation->title(), annotation->subtitle(), font());
}

QList<TileAnnotationViewPtr> TileMapView::viewsInDrawingOrder() const
{
    QList<TileAnnotationViewPtr> views;
    for (const GMKAnnotationPtr& annotation : annotations_) {
        if (const TileAnnotationViewPtr view = viewForAnnotation(annotation)) {
            views.append(view);
        }
    }
    // North first, so a pin further south stands in front; the user dot lies
    // beneath the pins, and a pin being dragged above everything.
    std::stable_sort(
        views.begin(), views.end(), [this](const TileAnnotationViewPtr& a, const TileAnnotationViewPtr& b) {
            const auto rank = [this](const TileAnnotationViewPtr& v) {
                return v->kind() == TileAnnotationView::Kind::UserLocation ? 0
                                                                           : (dragging_ && v == pressedView_ ? 2 : 1);
            };
            if (rank(a) != rank(b)) {
                return rank(a) < rank(b);
            }
            return anchorPoint(*a).y() < anchorPoint(*b).y();
        });
    return views;
}

TileAnnotationViewPtr TileMapView::annotationViewAt(const QPointF& point) const
{
    const QList<TileAnnotationViewPtr> views = viewsInDrawingOrder();
    for (auto it = views.rbegin(); it != views.rend(); ++it) {
        if ((*it)->isEnabled() && pictureRect(**it).contains(point)) {
            return *it;
        }
    }
    return nullptr;
}

bool TileMapView::calloutContains(const QPointF& point) const
{
    for (const GMKAnnotationPtr& annotation : selected_) {
        const TileAnnotationViewPtr view = viewForAnnotation(annotation);
        if (view == nullptr) {
            continue;
        }
        const std::optional<QRectF> callout = calloutRect(*view);
        if (callout && callout->contains(point)) {
            return true;
        }
    }
    return false;
}
