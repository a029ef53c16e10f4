#include "commlib/VXProgressWindowController.h"

#include "commlib/VXCommonWindow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

constexpr int indicatorSteps = 1000;

} // namespace

VXProgressWindowController::VXProgressWindowController(QObject* parent)
    : VXCommonWindowController(parent)
{
}

QWidget* VXProgressWindowController::makeWindow()
{
    auto* sheet = new VXCommonWindow();
    sheet->setWindowTitle(QStringLiteral("Progress"));
    sheet->setMinimumWidth(420);

    tfPrgTips_ = new QLabel(sheet);
    tfPrgTips_->setWordWrap(true);
    prgIndicator_ = new QProgressBar(sheet);
    prgIndicator_->setRange(0, indicatorSteps);
    prgIndicator_->setTextVisible(false);
    btnCancel_ = new QPushButton(QStringLiteral("Cancel"), sheet);
    btnCancel_->setAutoDefault(false);

    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    buttons->addWidget(btnCancel_);
    auto* layout = new QVBoxLayout(sheet);
    layout->addWidget(tfPrgTips_);
    layout->addWidget(prgIndicator_);
    layout->addLayout(buttons);

    QPushButton* cancel = btnCancel_;
    sheet->setRejectHandler([cancel] { cancel->click(); });
    return sheet;
}

QLabel* VXProgressWindowController::tfPrgTips()
{
    window();
    return tfPrgTips_;
}

QProgressBar* VXProgressWindowController::prgIndicator()
{
    window();
    return prgIndicator_;
}

QPushButton* VXProgressWindowController::btnCancel()
{
    window();
    return btnCancel_;
}

void VXProgressWindowController::setProgressValue(double value)
{
    const double clamped = std::isfinite(value) ? std::clamp(value, 0.0, 1.0) : 0.0;
    prgIndicator()->setValue(static_cast<int>(std::lround(clamped * indicatorSteps)));
}

double VXProgressWindowController::progressValue()
{
    return static_cast<double>(prgIndicator()->value()) / indicatorSteps;
}
