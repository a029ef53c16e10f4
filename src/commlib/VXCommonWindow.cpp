#include "commlib/VXCommonWindow.h"

VXCommonWindow::VXCommonWindow(QWidget* parent)
    : QDialog(parent)
{
}

void VXCommonWindow::reject()
{
    // QDialog's close event also goes through reject() and keeps the window
    // up when it is still visible afterwards.
    if (rejectHandler_) {
        rejectHandler_();
        return;
    }
    QDialog::reject();
}
