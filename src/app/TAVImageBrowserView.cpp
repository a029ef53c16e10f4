#include "app/TAVImageBrowserView.h"

#include "app/TAVimageBrowserCell.h"

#include <QDragMoveEvent>
#include <QDropEvent>
#include <QTimer>

#include <algorithm>
#include <cmath>

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
    shownRowsTimer_ = new QTimer(this);
    shownRowsTimer_->setSingleShot(true);
    shownRowsTimer_->setInterval(0);
    connect(shownRowsTimer_, &QTimer::timeout, this, &TAVImageBrowserView::announceShownRows);
}

void TAVImageBrowserView::setZoomValue(double zoom)
{
    zoom_ = std::clamp(zoom, 0.0, 1.0);
    setGridSize(TAVimageBrowserCell::cellSize(zoom_) + QSize(8, 8));
    scheduleDelayedItemsLayout();
    viewport()->update();
    scheduleShownRows();
}

void TAVImageBrowserView::setModel(QAbstractItemModel* model)
{
    VXKeyPressImageBrowserView::setModel(model);
    if (model == nullptr) {
        return;
    }
    connect(model, &QAbstractItemModel::rowsInserted, this, &TAVImageBrowserView::scheduleShownRows);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &TAVImageBrowserView::scheduleShownRows);
    connect(model, &QAbstractItemModel::rowsMoved, this, &TAVImageBrowserView::scheduleShownRows);
    connect(model, &QAbstractItemModel::layoutChanged, this, &TAVImageBrowserView::scheduleShownRows);
    connect(model, &QAbstractItemModel::modelReset, this, &TAVImageBrowserView::scheduleShownRows);
}

void TAVImageBrowserView::resizeEvent(QResizeEvent* event)
{
    VXKeyPressImageBrowserView::resizeEvent(event);
    scheduleShownRows();
}

bool TAVImageBrowserView::event(QEvent* event)
{
    if (event->type() == QEvent::Show || event->type() == QEvent::Hide) {
        scheduleShownRows();
    }
    return VXKeyPressImageBrowserView::event(event);
}

void TAVImageBrowserView::scrollContentsBy(int dx, int dy)
{
    VXKeyPressImageBrowserView::scrollContentsBy(dx, dy);
    scheduleShownRows();
}

void TAVImageBrowserView::scheduleShownRows()
{
    shownRowsTimer_->start();
}

void TAVImageBrowserView::announceShownRows()
{
    // A browser never shown has nothing to let go of; one that was shown
    // says once that it shows nothing any more.
    if (!isVisible()) {
        if (announcedShown_) {
            announcedShown_ = false;
            emit shownRowsChanged({}, pictureSide());
        }
        return;
    }
    announcedShown_ = true;
    emit shownRowsChanged(shownRows(), pictureSide());
}

int TAVImageBrowserView::pictureSide() const
{
    return int(std::lround(TAVimageBrowserCell::iconSide(zoom_) * devicePixelRatioF()));
}

QList<int> TAVImageBrowserView::shownRows() const
{
    const QAbstractItemModel* list = model();
    const int count = list != nullptr ? list->rowCount() : 0;
    if (!isVisible() || count == 0) {
        return {};
    }
    const QRect view = viewport()->rect();
    auto cellOf = [&](int row) { return visualRect(list->index(row, 0)); };
    // Cells are laid out in row order, line by line: the first and the last
    // one in view are found by halving.
    auto firstWhere = [count](int from, const auto& past) {
        int low = from;
        int high = count;
        while (low < high) {
            const int middle = low + (high - low) / 2;
            if (past(middle)) {
                high = middle;
            } else {
                low = middle + 1;
            }
        }
        return low;
    };
    const int first = firstWhere(0, [&](int row) { return cellOf(row).bottom() >= view.top(); });
    const int end = firstWhere(first, [&](int row) { return cellOf(row).top() > view.bottom(); });
    if (first >= end) {
        return {};
    }
    int columns = 1;
    while (first + columns < count && cellOf(first + columns).top() == cellOf(first).top()) {
        ++columns;
    }
    const int margin = kMarginRows * columns;
    QList<int> rows;
    for (int row = first; row < std::min(count, end + margin); ++row) {
        rows.append(row);
    }
    for (int row = first - 1; row >= std::max(0, first - margin); --row) {
        rows.append(row);
    }
    return rows;
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
