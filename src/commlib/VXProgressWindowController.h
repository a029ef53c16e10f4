#pragma once

#include "commlib/VXCommonWindowController.h"

class QLabel;
class QProgressBar;
class QPushButton;

// The progress sheet of the long loops (import, save, filename to title): a
// message, an indicator and a Cancel button whose action the caller connects.
// Escape and the window's close button press Cancel and never close the
// sheet, so no loop runs on without a sheet showing it; only the caller ends it.
class VXProgressWindowController : public VXCommonWindowController {
    Q_OBJECT
public:
    explicit VXProgressWindowController(QObject* parent = nullptr);

    QLabel* tfPrgTips();
    QProgressBar* prgIndicator();
    QPushButton* btnCancel();

    // The indicator's value from 0 to 1 (shown in steps of 0.001).
    void setProgressValue(double value);
    double progressValue();

protected:
    QWidget* makeWindow() override;

private:
    QLabel* tfPrgTips_ = nullptr;
    QProgressBar* prgIndicator_ = nullptr;
    QPushButton* btnCancel_ = nullptr;
};
