#include "gps/TileMapView.h"

#include "webmapkit/TileProjection.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

namespace {

// Pointer travel (in pixels) below which a press still counts as a click.
constexpr double kClickSlop = 3.0;

} // namespace

void TileMapView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    pressPoint_ = event->position();
    pressMoved_ = false;
    dragging_ = false;
    panning_ = false;
    pressedView_ = annotationViewAt(pressPoint_);
    if (pressedView_ == nullptr && !calloutContains(pressPoint_)) {
        panning_ = true;
        panWorldStart_ = centerWorld();
    }
    event->accept();
}

void TileMapView::mouseMoveEvent(QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton)) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    const QPointF delta = event->position() - pressPoint_;
    if (!pressMoved_ && (std::abs(delta.x()) > kClickSlop || std::abs(delta.y()) > kClickSlop)) {
        pressMoved_ = true;
        if (panning_) {
            tellDelegate(TileMapViewDelegate::Op::RegionWillChange,
                [&](TileMapViewDelegate* d) { d->regionWillChange(this, false); });
        }
    }
    if (!pressMoved_) {
        return;
    }
    if (pressedView_ != nullptr) {
        const GMKAnnotationPtr annotation = pressedView_->annotation();
        if (!dragging_ && pressedView_->isDraggable() && annotation != nullptr
            && annotation->respondsToSetCoordinate()) {
            beginDrag();
        }
        if (dragging_) {
            dragPoint_ = event->position() + dragGrab_;
            update();
        }
    } else if (panning_) {
        const QPointF world = panWorldStart_ - delta;
        const MapCoordinate center = TileProjection::toCoordinate(world, zoom_);
        center_ = MapCoordinate{center.latitude, TileProjection::wrapLongitude(center.longitude)};
        update();
        scheduleTileUpdate();
    }
    event->accept();
}

void TileMapView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    if (dragging_) {
        endDrag(false);
    } else if (pressedView_ != nullptr && !pressMoved_) {
        selectAnnotation(pressedView_->annotation(), true);
    } else if (panning_ && pressMoved_) {
        tellDelegate(
            TileMapViewDelegate::Op::RegionDidChange, [&](TileMapViewDelegate* d) { d->regionDidChange(this, false); });
    } else if (panning_) {
        for (const GMKAnnotationPtr& annotation : QList<GMKAnnotationPtr>(selected_)) {
            deselectAnnotation(annotation, true);
        }
    }
    pressedView_.reset();
    panning_ = false;
    event->accept();
}

void TileMapView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && dragging_) {
        endDrag(true);
        pressedView_.reset();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TileMapView::wheelEvent(QWheelEvent* event)
{
    const int step = event->angleDelta().y() > 0 ? 1 : (event->angleDelta().y() < 0 ? -1 : 0);
    const int zoom = std::clamp(zoom_ + step, TileProjection::kMinZoom, TileProjection::kMaxZoom);
    if (zoom != zoom_) {
        // Keep the place under the pointer where it is.
        const QPointF pointer = event->position();
        const MapCoordinate under = convertPointToCoordinate(pointer);
        const QPointF world
            = TileProjection::toWorld(under, zoom) - (pointer - QPointF(mapWidth() / 2.0, mapHeight() / 2.0));
        applyCenterAndZoom(TileProjection::toCoordinate(world, zoom), zoom, false);
    }
    event->accept();
}

void TileMapView::beginDrag()
{
    dragGrab_ = anchorPoint(*pressedView_) - pressPoint_;
    dragPoint_ = anchorPoint(*pressedView_);
    dragging_ = true;
    const TileAnnotationViewPtr view = pressedView_;
    changeDragState(view, TileAnnotationView::DragStarting);
    // The delegate may move the view on to dragging itself; otherwise the map does.
    if (view->dragState() == TileAnnotationView::DragStarting) {
        changeDragState(view, TileAnnotationView::DragDragging);
    }
}

void TileMapView::endDrag(bool cancelled)
{
    const TileAnnotationViewPtr view = pressedView_;
    dragging_ = false;
    if (view == nullptr) {
        return;
    }
    if (cancelled) {
        // The annotation never moved during the drag, so it is back where it was.
        changeDragState(view, TileAnnotationView::DragCanceling);
        if (view->dragState() == TileAnnotationView::DragCanceling) {
            view->setDragState(TileAnnotationView::DragNone);
        }
    } else {
        if (const GMKAnnotationPtr annotation = view->annotation()) {
            annotation->setCoordinate(convertPointToCoordinate(dragPoint_ - view->centerOffset()));
        }
        changeDragState(view, TileAnnotationView::DragEnding);
        if (view->dragState() == TileAnnotationView::DragEnding) {
            view->setDragState(TileAnnotationView::DragNone);
        }
    }
    update();
}

void TileMapView::changeDragState(const TileAnnotationViewPtr& view, unsigned state)
{
    const unsigned old = view->dragState();
    view->setDragState(state);
    tellDelegate(TileMapViewDelegate::Op::DidChangeDragState,
        [&](TileMapViewDelegate* d) { d->didChangeDragState(this, view, state, old); });
}
