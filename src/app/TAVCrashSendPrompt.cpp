#include "app/TAVCrashSendPrompt.h"

#include "foundation/UiServices.h"
#include "kit/crash/CWCrashReportingController.h"

int64_t TAVCrashSendPrompt::present(const CWSendPrompt& prompt)
{
    UiServices* services = UiServices::shared();
    if (services == nullptr) {
        return 0;
    }
    UiServices::AlertRequest request;
    request.title = QString::fromStdString(prompt.title);
    request.message = QString::fromStdString(prompt.message);
    request.buttons << QString::fromStdString(prompt.send);
    if (prompt.alwaysSend) {
        request.buttons << QString::fromStdString(*prompt.alwaysSend);
    }
    request.buttons << QString::fromStdString(prompt.cancel);
    request.style = UiServices::AlertStyle::Informational;
    return services->runAlert(request);
}

void TAVCrashSendPrompt::install()
{
    CWCrashReportingController::setPromptPresenter(&TAVCrashSendPrompt::present);
}
