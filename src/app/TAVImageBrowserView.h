#pragma once

#include "commlib/VXKeyPressImageBrowserView.h"

#include <QList>

class QTimer;

// The photo list's thumbnail browser: cells with state badges whose size
// follows the zoom, drags that reorder the list, and drops of files, both
// decided by the model (canDropMimeData / dropMimeData). It tells which rows
// it shows whenever a scroll, a resize, the zoom or the list changes them, so
// that only their thumbnails are kept.
class TAVImageBrowserView : public VXKeyPressImageBrowserView {
    Q_OBJECT

public:
    explicit TAVImageBrowserView(QWidget* parent = nullptr);

    // 0 (smallest thumbnails) to 1 (largest); values outside are clamped.
    double zoomValue() const { return zoom_; }
    void setZoomValue(double zoom);
    // Redraws every cell (states and thumbnails may have changed).
    void reloadData();
    // The row a drop at `point` (viewport coordinates) lands before: the
    // item's own row on its left half, the next one on its right half, the
    // end of the list on empty space.
    int dropRowAt(const QPoint& point) const;

    // The rows kept ready beyond the first and last ones in view.
    static constexpr int kMarginRows = 2;
    // The rows whose cells are in view, then those of kMarginRows lines of
    // cells below them and above them; none while the browser is hidden.
    QList<int> shownRows() const;
    // The longer side of a cell's picture in device pixels.
    int pictureSide() const;

    void setModel(QAbstractItemModel* model) override;

signals:
    // shownRows() and pictureSide() changed (or may have); rows empty once
    // the browser is hidden.
    void shownRowsChanged(const QList<int>& rows, int side);

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    bool acceptDrag(QDropEvent* event);
    // Scroll and resize events come in bursts: the rows are told once after them.
    void scheduleShownRows();
    void announceShownRows();

    double zoom_ = 0.5;
    QTimer* shownRowsTimer_ = nullptr;
    bool announcedShown_ = false;
};
