#include "commlib/VXCommonView.h"

#include "commlib/VXCommonViewDelegate.h"
#include "commlib/VXDragFiles.h"

#include <QDragEnterEvent>
#include <QDropEvent>

VXCommonView::VXCommonView(QWidget* parent)
    : QWidget(parent)
{
}

void VXCommonView::dragEnterEvent(QDragEnterEvent* event)
{
    if (!enableDragAndDrop() || !VXDragFiles::carriesFiles(event->mimeData())) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
}

void VXCommonView::dropEvent(QDropEvent* event)
{
    const QStringList paths = VXDragFiles::localPaths(event->mimeData());
    if (enableDragAndDrop() && !paths.isEmpty() && delegate_ != nullptr
        && delegate_->didWindowAccepteDragFiles(window(), paths)) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}
