#include "kit/crash/CWReportsController.h"

#include "kit/crash/CWPackageReportOperation.h"
#include "kit/crash/CWProcessReportOperation.h"
#include "kit/support/KBLog.h"
#include "kit/support/KBProcessActivities.h"

CWReportsController::CWReportsController(
    CWReportsControllerDelegate* delegate, std::shared_ptr<const CWFileManager> fileManager, Upload upload)
    : delegate_(delegate)
    , fileManager_(std::move(fileManager))
    , upload_(std::move(upload))
{
}

void CWReportsController::setDelegate(CWReportsControllerDelegate* delegate)
{
    delegate_ = delegate;
}

bool CWReportsController::packagingEnabled()
{
    const auto settings = delegate_ != nullptr ? delegate_->settingsForReportsController(*this) : std::nullopt;
    return settings.value_or(CWSettings(std::nullopt)).shouldPackageReports();
}

bool CWReportsController::prepareAndSubmitReport(const CWInternalReportPtr& report, bool urgent, bool processing)
{
    bool result = false;
    KBProcessActivities::perform(
        KBProcessActivities::kSuddenTerminationDisabled | KBProcessActivities::kAutomaticTerminationDisabled,
        "Crashwatch Crash Report Processing", [&] { result = runPipeline(report, urgent, processing); });
    return result;
}

bool CWReportsController::runPipeline(const CWInternalReportPtr& report, bool urgent, bool processing)
{
    if (!report) {
        return false;
    }
    if (processing) {
        if (!fileManager_->moveItemAtPath(report->path(), fileManager_->processingPath())) {
            KBLog::info("[Crashwatch:Crash:Reports] Unable to move report for processing");
            return false;
        }
        report->setPath(fileManager_->processingPath() + "/" + report->directoryName());
        auto process = std::make_shared<CWProcessReportOperation>(report, std::make_shared<CWSymbolResolver>());
        process->start();
    }
    if (!packagingEnabled()) {
        KBLog::info("[Crashwatch:Crash:Reports] Report packaging disabled");
        return false;
    }
    auto package = std::make_shared<CWPackageReportOperation>(report, fileManager_);
    package->start();
    const auto packagePath = package->finalPath();
    if (!packagePath) {
        KBLog::info("[Crashwatch:Crash:Reports] Unable to package report");
        return false;
    }
    if (!fileManager_->removeItemAtPath(report->path())) {
        KBLog::info("[Crashwatch:Crash:Reports] Unable to remove a processing item");
    }
    KBLog::info("[Crashwatch:Crash:Reports] Packaged report with id '" + report->identifier() + "' for submission");
    return upload_ ? upload_(*packagePath, urgent) : false;
}
