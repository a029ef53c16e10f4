#include "commlib/VXKeyPressTableView.h"

#include "commlib/VXKeyPressTableViewDelegate.h"

#include <QKeyEvent>

VXKeyPressTableView::VXKeyPressTableView(QWidget* parent)
    : QTableView(parent)
{
}

void VXKeyPressTableView::keyPressEvent(QKeyEvent* event)
{
    const bool command = event->modifiers().testFlag(Qt::ControlModifier);
    switch (event->key()) {
    case Qt::Key_Space:
        if (enableSpacePreview_ && state() != EditingState) {
            emit previewRequested();
            return;
        }
        break;
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
        if (delegate_ != nullptr) {
            delegate_->deleteSelectionFromTableView(this);
            return;
        }
        break;
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (command && delegate_ != nullptr) {
            if (event->key() == Qt::Key_Up) {
                delegate_->didClickCommondUpKeys(this);
            } else {
                delegate_->didClickCommondDownKeys(this);
            }
            return;
        }
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (delegate_ != nullptr && delegate_->preventEnterEditingTableView(this)) {
            return;
        }
        // Return opens the editor of the current cell, as the owner expects
        // when it did not take the key.
        if (state() != EditingState && currentIndex().isValid() && edit(currentIndex(), EditKeyPressed, event)) {
            return;
        }
        break;
    default:
        break;
    }
    QTableView::keyPressEvent(event);
}
