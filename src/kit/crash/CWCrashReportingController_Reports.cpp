// The reports earlier launches left: asking the delegate, the send prompt,
// packaging and upload, and the retries of failed uploads.
#include "kit/crash/CWApplication.h"
#include "kit/crash/CWCrashReportingController.h"
#include "kit/crash/crashpath/CWSDKLog.h"
#include "kit/support/KBClock.h"
#include "kit/support/KBLog.h"
#include "kit/support/KBMainQueue.h"

#include <unistd.h>

CWSettings CWCrashReportingController::settings()
{
    std::lock_guard lock(mutex_);
    if (!settings_) {
        settings_
            = delegate_ != nullptr ? delegate_->settingsForCrashReportingController(*this) : CWSettings(std::nullopt);
    }
    return *settings_;
}

bool CWCrashReportingController::packagingEnabled()
{
    return settings().shouldPackageReports();
}

bool CWCrashReportingController::delegateNeedsToBeInformedOfReports()
{
    return delegate_ != nullptr && delegate_->reportingControllerMustInformDelegateOfReports(*this);
}

bool CWCrashReportingController::needsToPrompt()
{
    const int64_t choice = promptChoice_.load();
    if (choice == 2 || choice == 3) {
        return false;
    }
    return settings().userPromptEnabled();
}

bool CWCrashReportingController::canProcessUrgentReports()
{
    return settings().canProcessUrgentReports() && !needsToPrompt() && !delegateNeedsToBeInformedOfReports();
}

int64_t CWCrashReportingController::promptChoice() const
{
    return promptChoice_.load();
}

std::shared_ptr<CWNetworkClient> CWCrashReportingController::networkClient() const
{
    return networkClient_;
}

std::shared_ptr<KBOperationQueue> CWCrashReportingController::operationQueue() const
{
    return operationQueue_;
}

std::shared_ptr<CWReportsController> CWCrashReportingController::reportsController()
{
    std::lock_guard lock(mutex_);
    if (!reportsController_) {
        std::weak_ptr<CWNetworkClient> client = networkClient_;
        reportsController_
            = std::make_shared<CWReportsController>(this, fileManager_, [client](const std::string& path, bool urgent) {
                  const auto upload = client.lock();
                  return upload && upload->uploadPackagedReportAtPath(path, urgent);
              });
    }
    return reportsController_;
}

void CWCrashReportingController::processExistingActiveReportPath(const std::string& path, bool urgent)
{
    const CWInternalReportPtr report = CWInternalReport::reportWithPath(path);
    if (!report || !report->needsToBeSubmitted()) {
        // A folder that makes no report (no session identifier) goes too: kept,
        // it would be looked at again at every launch.
        auto fileManager = fileManager_;
        operationQueue_->addOperationWithBlock([fileManager, path] { fileManager->removeItemAtPath(path); });
        return;
    }
    if (delegate_ != nullptr) {
        delegate_->reportingControllerInternalDidDetectReportForLastExecution(*this, report);
    }
    if (urgent && canProcessUrgentReports()) {
        reportsController()->prepareAndSubmitReport(report, true, true);
        return;
    }
    if (delegate_ == nullptr) {
        handleDelegateCompletionForReport(report, true);
        return;
    }
    delegate_->reportingControllerDidDetectReportForLastExecution(
        *this, report, [this, report](bool submit) { handleDelegateCompletionForReport(report, submit); });
}

void CWCrashReportingController::handleDelegateCompletionForReport(const CWInternalReportPtr& report, bool submit)
{
    operationQueue_->addOperationWithBlock([this, report, submit] {
        if (submit && needsToPrompt()) {
            displayPermissionAlertForReport(report);
        } else if (submit) {
            reportsController()->prepareAndSubmitReport(report, false, true);
        } else {
            KBLog::debug("[Crashwatch:Crash] Removing report at request of delegate");
            removeReport(report);
        }
    });
}

void CWCrashReportingController::displayPermissionAlertForReport(const CWInternalReportPtr& report)
{
    if (CWApplication::isExtension()) {
        operationQueue_->addOperationWithBlock(
            [this, report] { reportsController()->prepareAndSubmitReport(report, false, true); });
        return;
    }
    const CWSettings current = settings();
    CWSendPrompt prompt{current.interactivePromptTitle(), current.interactivePromptMessage(),
        current.interactivePromptCancelTitle(), current.interactivePromptSendTitle(),
        current.interactivePromptAlwaysSendTitle()};
    KBLog::debug("[Crashwatch:Crash] Displaying permission alert");
    std::weak_ptr<CWCrashReportingController*> alive = alive_;
    KBMainQueue::shared()->async([alive, prompt, report] {
        const auto self = alive.lock();
        if (!self) {
            return;
        }
        CWCrashReportingController& controller = **self;
        const int64_t choice = controller.promptChoice_.load();
        if (choice == 2 || choice == 3) {
            controller.handlePromptCompleteForReport(report, true, false);
            return;
        }
        if (choice == 1) {
            controller.handlePromptCompleteForReport(report, false, false);
            return;
        }
        const PromptPresenter presenter = currentPromptPresenter();
        const int64_t response = presenter ? presenter(prompt) : 0;
        const bool threeButtons = prompt.alwaysSend.has_value();
        const int64_t cancel = threeButtons ? 1002 : 1001;
        controller.handlePromptCompleteForReport(report, response != cancel, threeButtons && response == 1001);
    });
}

void CWCrashReportingController::handlePromptCompleteForReport(
    const CWInternalReportPtr& report, bool submit, bool always)
{
    // The answer counts from the moment it is given: a prompt for the next
    // report may already wait on the main queue.
    if (!submit) {
        promptChoice_.store(1);
    } else if (promptChoice_.load() != 3) {
        promptChoice_.store(always ? 3 : 2);
    }
    operationQueue_->addOperationWithBlock([this, report, submit, always] {
        if (!submit) {
            KBLog::debug("[Crashwatch:Crash] Removing report at request of user");
            removeReport(report);
            return;
        }
        reportsController()->prepareAndSubmitReport(report, false, true);
        if (always) {
            KBLog::info("should set always submit here");
        }
    });
}

void CWCrashReportingController::removeReport(const CWInternalReportPtr& report)
{
    fileManager_->removeItemAtPath(report->path());
}

void CWCrashReportingController::handleContentsInOtherReportingDirectories(
    const std::vector<std::string>& processing, const std::vector<std::string>& prepared)
{
    for (const auto& path : processing) {
        operationQueue_->addOperationWithBlock([this, path] {
            reportsController()->prepareAndSubmitReport(CWInternalReport::reportWithPath(path), false, false);
        });
    }
    networkClient_->attemptToReconnectBackgroundSessionWithCompletionBlock([this, prepared] {
        operationQueue_->addOperationWithBlock([this, prepared] {
            for (const auto& path : prepared) {
                if (access(path.c_str(), F_OK) == 0) {
                    networkClient_->uploadPackagedReportAtPath(path, false);
                }
            }
        });
    });
}

void CWCrashReportingController::networkClientDidFinishUploadWithPath(
    CWNetworkClient&, const std::string& path, const std::optional<KBError>& error)
{
    KBLog::debug("[Crashwatch:Crash:Reports] completed submission of " + path);
    if (!error && !fileManager_->removeItemAtPath(path)) {
        KBLog::info("[Crashwatch:Crash:Reports] Unable to remove packaged submission");
    }
    reportsControllerDidCompletePackageSubmission(path, error);
}

void CWCrashReportingController::reportsControllerDidCompletePackageSubmission(
    const std::string& path, const std::optional<KBError>& error)
{
    if (!error) {
        KBLog::debug("[Crashwatch:Crash] report submission successful");
        return;
    }
    KBLog::debug("[Crashwatch:Crash] report submission failed with error " + error->description());
    CWLOG_WARN("Error: failed to submit report '%s'\n", error->description().c_str());
    retryUploadForReportAtPath(path);
}

void CWCrashReportingController::retryUploadForReportAtPath(const std::string& path)
{
    std::weak_ptr<CWCrashReportingController*> alive = alive_;
    auto queue = operationQueue_;
    KBClock::shared()->after(kRetryDelay, KBQueue::global(), [alive, queue, path] {
        queue->addOperationWithBlock([alive, path] {
            if (const auto self = alive.lock()) {
                KBLog::debug("[Crashwatch:Crash] re-attempting report submission");
                (*self)->networkClient_->uploadPackagedReportAtPath(path, false);
            }
        });
    });
}

std::optional<CWSettings> CWCrashReportingController::settingsForReportsController(CWReportsController&)
{
    return settings();
}

std::optional<CWSettings> CWCrashReportingController::settingsForNetworkClient(CWNetworkClient&)
{
    return settings();
}

std::optional<std::string> CWCrashReportingController::APIKeyForNetworkClient(CWNetworkClient&)
{
    return delegate_ != nullptr ? delegate_->APIKeyForCrashReportingController(*this) : std::nullopt;
}

bool CWCrashReportingController::networkClientCanUseBackgroundSessions(CWNetworkClient&)
{
    return delegate_ != nullptr && delegate_->reportingControllerCanUseBackgroundSessions(*this);
}

void CWCrashReportingController::deliverCrashDelegateCallback()
{
    if (delegate_ != nullptr) {
        delegate_->detectedCrash();
    }
}
