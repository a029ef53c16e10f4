#include "webmapkit/GMKMapView.h"

#include "webmapkit/GMKWebView.h"
#include "webmapkit/MapLog.h"
#include "webmapkit/MapPageAnswer.h"

#include <QCursor>
#include <QMenu>

#include <algorithm>

namespace {

QString describe(const void* object)
{
    return QStringLiteral("<0x%1>").arg(reinterpret_cast<quintptr>(object), 0, 16);
}

template <typename T> bool contains(const std::vector<T>& list, const T& item)
{
    return std::find(list.begin(), list.end(), item) != list.end();
}

template <typename T> void erase(std::vector<T>& list, const T& item)
{
    list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

} // namespace

std::optional<GMKMapView::Placed> GMKMapView::place(
    const std::shared_ptr<GMKView>& view, const QString& what, const QString& name)
{
    if (!view) {
        qCWarning(lcMap).noquote()
            << QStringLiteral("Wasn't able to create a GMK%1View for %2: %3").arg(what, what.toLower(), name);
        return std::nullopt;
    }
    const ScriptObject pageObject = view->overlayScriptObjectFromMapScriptObject(host()->windowObject());
    if (!pageObject.isValid()) {
        qCWarning(lcMap).noquote()
            << QStringLiteral("Error creating internal representation of %1 view for %1: %2").arg(what.toLower(), name);
        return std::nullopt;
    }
    return Placed{view, pageObject};
}

void GMKMapView::addOverlay(const GMKOverlayPtr& overlay)
{
    insertOverlay(overlay, overlays_.size());
}

void GMKMapView::addOverlays(const std::vector<GMKOverlayPtr>& overlays)
{
    for (const GMKOverlayPtr& overlay : overlays) {
        addOverlay(overlay);
    }
}

void GMKMapView::insertOverlay(const GMKOverlayPtr& overlay, std::size_t index)
{
    if (!overlay || contains(overlays_, overlay)) {
        return;
    }
    index = std::min(index, overlays_.size());
    const QString name = describe(overlay.get());
    if (!pageIsReady()) {
        qCWarning(lcMap).noquote() << QStringLiteral("MapKit view isn't ready to add overlay: %1").arg(name);
        return;
    }
    GMKOverlayViewPtr view;
    tell(GMKMapViewDelegate::Op::ViewForOverlay, [&](auto* d) { view = d->viewForOverlay(this, overlay); });
    const std::optional<Placed> placed = place(view, QStringLiteral("Overlay"), name);
    if (!placed) {
        return;
    }
    overlays_.insert(overlays_.begin() + static_cast<std::ptrdiff_t>(index), overlay);
    overlayPlaces_[overlay.get()] = *placed;
    callPage(QStringLiteral("addOverlay"), {QVariant::fromValue(placed->pageObject)});
    view->draw(placed->pageObject);
    updateOverlayZIndexes();
    tell(GMKMapViewDelegate::Op::DidAddOverlayViews, [&](auto* d) { d->didAddOverlayViews(this, {view}); });
}

void GMKMapView::insertOverlayAbove(const GMKOverlayPtr& overlay, const GMKOverlayPtr& sibling)
{
    const auto at = std::find(overlays_.begin(), overlays_.end(), sibling);
    if (at != overlays_.end()) {
        insertOverlay(overlay, static_cast<std::size_t>(at - overlays_.begin()) + 1);
    }
}

void GMKMapView::insertOverlayBelow(const GMKOverlayPtr& overlay, const GMKOverlayPtr& sibling)
{
    const auto at = std::find(overlays_.begin(), overlays_.end(), sibling);
    if (at != overlays_.end()) {
        insertOverlay(overlay, static_cast<std::size_t>(at - overlays_.begin()));
    }
}

void GMKMapView::exchangeOverlays(std::size_t index1, std::size_t index2)
{
    if (index1 >= overlays_.size() || index2 >= overlays_.size()) {
        qCWarning(lcMap, "exchangeOverlayAtIndex: either index1 or index2 is above the bounds of the overlays array.");
        return;
    }
    std::swap(overlays_[index1], overlays_[index2]);
    updateOverlayZIndexes();
}

void GMKMapView::removeOverlay(const GMKOverlayPtr& overlay)
{
    const auto placed = overlayPlaces_.find(overlay.get());
    if (placed == overlayPlaces_.end()) {
        return;
    }
    callPage(QStringLiteral("removeOverlay"), {QVariant::fromValue(placed->second.pageObject)});
    overlayPlaces_.erase(placed);
    erase(overlays_, overlay);
    updateOverlayZIndexes();
}

void GMKMapView::removeOverlays(const std::vector<GMKOverlayPtr>& overlays)
{
    for (const GMKOverlayPtr& overlay : overlays) {
        removeOverlay(overlay);
    }
}

GMKOverlayViewPtr GMKMapView::viewForOverlay(const GMKOverlayPtr& overlay) const
{
    const auto placed = overlayPlaces_.find(overlay.get());
    return placed == overlayPlaces_.end() ? nullptr : std::dynamic_pointer_cast<GMKOverlayView>(placed->second.view);
}

void GMKMapView::setZIndex(const ScriptObject& pageObject, int zIndex)
{
    callPage(QStringLiteral("setOverlayOption"), {QVariant::fromValue(pageObject), QStringLiteral("zIndex"), zIndex});
}

void GMKMapView::updateOverlayZIndexes()
{
    // The count moves on for every entry, so a missing page object leaves a gap.
    for (std::size_t i = 0; i < overlays_.size(); ++i) {
        const auto placed = overlayPlaces_.find(overlays_[i].get());
        if (placed != overlayPlaces_.end() && placed->second.pageObject.isValid()) {
            setZIndex(placed->second.pageObject, 4000 + static_cast<int>(i));
        }
    }
}

void GMKMapView::addAnnotation(const GMKAnnotationPtr& annotation)
{
    if (!annotation || contains(annotations_, annotation)) {
        return;
    }
    const QString name = describe(annotation.get());
    if (!pageIsReady()) {
        qCWarning(lcMap).noquote() << QStringLiteral("MapKit view isn't ready to add annotation: %1").arg(name);
        return;
    }
    GMKAnnotationViewPtr view;
    tell(GMKMapViewDelegate::Op::ViewForAnnotation, [&](auto* d) { view = d->viewForAnnotation(this, annotation); });
    const std::optional<Placed> placed = place(view, QStringLiteral("Annotation"), name);
    if (!placed) {
        return;
    }
    annotations_.push_back(annotation);
    annotationPlaces_[annotation.get()] = *placed;
    callPage(QStringLiteral("addAnnotation"), {QVariant::fromValue(placed->pageObject)});
    view->draw(placed->pageObject);
    updateAnnotationZIndexes();
    tell(GMKMapViewDelegate::Op::DidAddAnnotationViews, [&](auto* d) { d->didAddAnnotationViews(this, {view}); });
}

void GMKMapView::addAnnotations(const std::vector<GMKAnnotationPtr>& annotations)
{
    for (const GMKAnnotationPtr& annotation : annotations) {
        addAnnotation(annotation);
    }
}

void GMKMapView::removeAnnotation(const GMKAnnotationPtr& annotation)
{
    const auto placed = annotationPlaces_.find(annotation.get());
    if (placed == annotationPlaces_.end()) {
        return;
    }
    // A removed annotation must not stay selected: a later selection change
    // would hand the page an object it has forgotten.
    deselectAnnotation(annotation, false);
    callPage(QStringLiteral("removeAnnotation"), {QVariant::fromValue(placed->second.pageObject)});
    annotationPlaces_.erase(placed);
    erase(annotations_, annotation);
}

void GMKMapView::removeAnnotations(const std::vector<GMKAnnotationPtr>& annotations)
{
    for (const GMKAnnotationPtr& annotation : annotations) {
        removeAnnotation(annotation);
    }
}

GMKAnnotationViewPtr GMKMapView::viewForAnnotation(const GMKAnnotationPtr& annotation) const
{
    const auto placed = annotationPlaces_.find(annotation.get());
    return placed == annotationPlaces_.end() ? nullptr
                                             : std::dynamic_pointer_cast<GMKAnnotationView>(placed->second.view);
}

GMKAnnotationViewPtr GMKMapView::dequeueReusableAnnotationView(const QString&) const
{
    return nullptr;
}

void GMKMapView::updateAnnotationZIndexes()
{
    // Further south lies above further north, so pins overlap like a map read
    // from the top.
    std::vector<GMKAnnotationPtr> sorted = annotations_;
    std::stable_sort(sorted.begin(), sorted.end(), [](const GMKAnnotationPtr& a, const GMKAnnotationPtr& b) {
        return a->coordinate().latitude > b->coordinate().latitude;
    });
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        const auto placed = annotationPlaces_.find(sorted[i].get());
        if (placed != annotationPlaces_.end() && placed->second.pageObject.isValid()) {
            setZIndex(placed->second.pageObject, 6000 + static_cast<int>(i));
        }
    }
}

void GMKMapView::selectAnnotation(const GMKAnnotationPtr& annotation, bool)
{
    const GMKAnnotationViewPtr view = viewForAnnotation(annotation);
    if (!view || contains(selected_, annotation)) {
        return;
    }
    selected_.push_back(annotation);
    tell(GMKMapViewDelegate::Op::DidSelectAnnotationView, [&](auto* d) { d->didSelectAnnotationView(this, view); });
    if (!annotation->title().isEmpty() && view->canShowCallout()) {
        const QVariant pageObject = QVariant::fromValue(annotationPlaces_[annotation.get()].pageObject);
        callPage(QStringLiteral("setAnnotationCalloutText"), {pageObject, annotation->title()});
        callPage(QStringLiteral("setAnnotationCalloutHidden"), {pageObject, false});
    }
}

void GMKMapView::deselectAnnotation(const GMKAnnotationPtr& annotation, bool)
{
    if (!contains(selected_, annotation)) {
        return;
    }
    erase(selected_, annotation);
    const GMKAnnotationViewPtr view = viewForAnnotation(annotation);
    tell(GMKMapViewDelegate::Op::DidDeselectAnnotationView, [&](auto* d) { d->didDeselectAnnotationView(this, view); });
    callPage(QStringLiteral("setAnnotationCalloutHidden"),
        {QVariant::fromValue(annotationPlaces_[annotation.get()].pageObject), true});
}

void GMKMapView::setSelectedAnnotations(const std::vector<GMKAnnotationPtr>& annotations)
{
    // Deselecting changes the list, so walk a copy.
    const std::vector<GMKAnnotationPtr> previous = selected_;
    for (const GMKAnnotationPtr& annotation : previous) {
        deselectAnnotation(annotation, false);
    }
    selected_.clear();
    for (const GMKAnnotationPtr& annotation : annotations) {
        if (annotationPlaces_.count(annotation.get()) != 0 && !contains(selected_, annotation)) {
            selected_.push_back(annotation);
        }
    }
}

std::vector<GMKAnnotationPtr> GMKMapView::annotationsMatching(const ScriptObject& pageObject) const
{
    std::vector<GMKAnnotationPtr> matches;
    for (const GMKAnnotationPtr& annotation : annotations_) {
        const auto placed = annotationPlaces_.find(annotation.get());
        if (placed != annotationPlaces_.end() && placed->second.pageObject == pageObject) {
            matches.push_back(annotation);
        }
    }
    return matches;
}

std::optional<MapCoordinate> GMKMapView::coordinateForAnnotationScriptObject(const ScriptObject& pageObject)
{
    const auto answer
        = MapPageAnswer::object(callPage(QStringLiteral("coordinateForAnnotation"), {QVariant::fromValue(pageObject)}));
    return answer ? MapPageAnswer::coordinate(*answer) : std::nullopt;
}

void GMKMapView::changeDragState(const GMKAnnotationPtr& annotation, unsigned state)
{
    const GMKAnnotationViewPtr view = viewForAnnotation(annotation);
    const unsigned old = view->dragState();
    view->setDragState(state);
    tell(GMKMapViewDelegate::Op::DidChangeDragState, [&](auto* d) { d->didChangeDragState(this, view, state, old); });
}

void GMKMapView::annotationScriptObjectSelected(const ScriptObject& pageObject)
{
    setSelectedAnnotations({});
    for (const GMKAnnotationPtr& annotation : annotationsMatching(pageObject)) {
        selectAnnotation(annotation, true);
    }
}

void GMKMapView::annotationScriptObjectDragStart(const ScriptObject& pageObject)
{
    for (const GMKAnnotationPtr& annotation : annotationsMatching(pageObject)) {
        if (annotation->respondsToSetCoordinate()) {
            changeDragState(annotation, 1);
        }
    }
}

void GMKMapView::annotationScriptObjectDrag(const ScriptObject& pageObject)
{
    for (const GMKAnnotationPtr& annotation : annotationsMatching(pageObject)) {
        if (!annotation->respondsToSetCoordinate()) {
            continue;
        }
        // An answer without a coordinate leaves the annotation where it was
        // rather than moving it to (0, 0).
        if (const auto coordinate = coordinateForAnnotationScriptObject(pageObject)) {
            annotation->setCoordinate(*coordinate);
        }
        if (viewForAnnotation(annotation)->dragState() != 2) {
            changeDragState(annotation, 2);
        }
    }
}

void GMKMapView::annotationScriptObjectDragEnd(const ScriptObject& pageObject)
{
    for (const GMKAnnotationPtr& annotation : annotationsMatching(pageObject)) {
        if (!annotation->respondsToSetCoordinate()) {
            continue;
        }
        if (const auto coordinate = coordinateForAnnotationScriptObject(pageObject)) {
            annotation->setCoordinate(*coordinate);
        }
        changeDragState(annotation, 0);
    }
}

void GMKMapView::annotationScriptObjectRightClick(const ScriptObject& pageObject)
{
    const std::vector<GMKAnnotationPtr> matches = annotationsMatching(pageObject);
    if (matches.empty()) {
        return;
    }
    const GMKAnnotationViewPtr view = viewForAnnotation(matches.back());
    QList<QAction*> items;
    tell(GMKMapViewDelegate::Op::ContextMenuItems, [&](auto* d) { items = d->contextMenuItems(this, view); });
    if (items.isEmpty()) {
        return;
    }
    auto* menu = new QMenu(QString(), this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addActions(items);
    menu->popup(QCursor::pos());
}
