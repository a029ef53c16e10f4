#include "commlib/VXKeyPressImageBrowserView.h"

#include <QKeyEvent>

VXKeyPressImageBrowserView::VXKeyPressImageBrowserView(QWidget* parent)
    : QListView(parent)
{
    setViewMode(QListView::IconMode);
    setResizeMode(QListView::Adjust);
    setMovement(QListView::Static);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
}

void VXKeyPressImageBrowserView::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Space:
        if (enableSpacePreview_) {
            emit previewRequested();
            return;
        }
        break;
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
        emit removeSelectionRequested();
        return;
    default:
        break;
    }
    QListView::keyPressEvent(event);
}
