#pragma once

#include "commlib/VXKeyPressImageBrowserView.h"

// The photo list's thumbnail browser: cells with state badges whose size
// follows the zoom, drags that reorder the list, and drops of files, both
// decided by the model (canDropMimeData / dropMimeData).
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

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    bool acceptDrag(QDropEvent* event);

    double zoom_ = 0.5;
};
