#include "app/TAVImageView.h"

#include "commlib/VXDragFiles.h"

#include <QDragEnterEvent>
#include <QDropEvent>

TAVImageView::TAVImageView(QWidget* parent)
    : QLabel(parent)
{
    setAcceptDrops(true);
    setAlignment(Qt::AlignCenter);
}

void TAVImageView::dragEnterEvent(QDragEnterEvent* event)
{
    update();
    if (!VXDragFiles::carriesFiles(event->mimeData()) || !event->possibleActions().testFlag(Qt::CopyAction)) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void TAVImageView::dragLeaveEvent(QDragLeaveEvent*)
{
    update();
}

void TAVImageView::dropEvent(QDropEvent* event)
{
    update();
    const QStringList paths = VXDragFiles::localPaths(event->mimeData());
    if (paths.isEmpty()) {
        event->ignore();
        return;
    }
    // Several files: the first one is the image; the rest are not for a well.
    strImgPath_ = paths.first();
    event->setDropAction(Qt::CopyAction);
    event->accept();
}
