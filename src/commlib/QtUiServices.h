#pragma once

#include "foundation/UiServices.h"

class QMessageBox;
class QWidget;

// The real UiServices: alerts are message boxes, panels file dialogs.
//
// Callers rely on:
// - The code follows the clicked button (1000 for the first button of the
//   request), whatever order the desktop style shows the buttons in; Escape
//   answers a "Cancel" button.
// - File filters match extensions without regard to case (cameras write
//   "JPG"), on a file system that is case-sensitive.
class QtUiServices : public UiServices {
public:
    int runAlert(const AlertRequest& request) override;
    QStringList runOpenPanel(const OpenPanelRequest& request) override;
    void beep() override;
    void runAlertSheet(const AlertRequest& request, const std::function<void(int)>& onDismiss,
        const std::function<void()>& onCancel) override;

    // The name filter of an open panel for the given extensions (without "."),
    // e.g. "Images (*.[jJ][pP][gG] *.[pP][nN][gG])"; empty for none.
    static QString nameFilterFor(const QStringList& extensions);
    // The alert box a request makes, not shown yet; the caller owns it.
    static QMessageBox* makeAlert(const AlertRequest& request, QWidget* parent);

private:
    static int codeOfClicked(const QMessageBox& box);
};
