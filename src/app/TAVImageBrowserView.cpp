#include "app/TAVImageBrowserView.h"

#include "app/TAVimageBrowserCell.h"

#include <QDragMoveEvent>
#include <QDropEvent>

#include <algorithm>

TAVImageBrowserView::TAVImageBrowserView(QWidget* parent)
    : VXKeyPressImageBrowserView(parent)
{
    setItemDelegate(new TAVimageBrowserCell(this));
    setUniformItemSizes(true);
    setWrapping(true);
    setFlow(QListView::LeftToRight);
    setSpacing(4);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    // The base keeps items where the layout puts them; moving happens in the
    // list itself, so dragging is switched on after that.
    setDragEnabled(true);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
    setGridSize(TAVimageBrowserCell::cellSize(zoom_) + QSize(8, 8));
}

void TAVImageBrowserView::setZoomValue(double zoom)
{
    zoom_ = std::clamp(zoom, 0.0, 1.0);
    setGridSize(TAVimageBrowserCell::cellSize(zoom_) + QSize(8, 8));
    scheduleDelayedItemsLayout();
    viewport()->update();
}

void TAVImageBrowserView::reloadData()
{
    viewport()->update();
}

int TAVImageBrowserView::dropRowAt(const QPoint& point) const
{
    const QModelIndex index = indexAt(point);
    if (!index.isValid()) {
        return model() ? model()->rowCount() : 0;
    }
    const QRect rect = visualRect(index);
    return point.x() < rect.center().x() ? index.row() : index.row() + 1;
}

bool TAVImageBrowserView::acceptDrag(QDropEvent* event)
{
    if (model() == nullptr
        || !model()->canDropMimeData(event->mimeData(), event->proposedAction(), -1, -1, QModelIndex())) {
        event->ignore();
        return false;
    }
    event->setDropAction(event->source() == this ? Qt::MoveAction : Qt::CopyAction);
    event->accept();
    return true;
}

void TAVImageBrowserView::dragEnterEvent(QDragEnterEvent* event)
{
    acceptDrag(event);
}

void TAVImageBrowserView::dragMoveEvent(QDragMoveEvent* event)
{
    acceptDrag(event);
}

void TAVImageBrowserView::dropEvent(QDropEvent* event)
{
    if (!acceptDrag(event)) {
        return;
    }
    const bool handled = model()->dropMimeData(
        event->mimeData(), event->dropAction(), dropRowAt(event->position().toPoint()), 0, QModelIndex());
    // The model moved or imported what was dropped; a drag from this view
    // must not remove its rows afterwards, so it ends as a copy.
    event->setDropAction(Qt::CopyAction);
    if (handled) {
        event->accept();
    } else {
        event->ignore();
    }
}
