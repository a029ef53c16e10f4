#pragma once

#include "kit/crash/CWContextConfiguration.h"
#include "kit/crash/CWCrashCallbackReceiver.h"
#include "kit/crash/CWFileManager.h"
#include "kit/crash/CWInternalReport.h"
#include "kit/crash/CWNetworkClient.h"
#include "kit/crash/CWReportsController.h"
#include "kit/crash/CWSettings.h"
#include "kit/support/KBNotificationCenter.h"
#include "kit/support/KBOperationQueue.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class CWCrashReportingController;

// What the crash reporting controller asks of the kit object.
class CWCrashReportingControllerDelegate {
public:
    virtual ~CWCrashReportingControllerDelegate() = default;
    virtual bool isFirstInstallForCrashReportingController(CWCrashReportingController& controller) = 0;
    virtual std::optional<std::string> installIDForCrashReportingController(CWCrashReportingController& controller) = 0;
    virtual std::optional<std::string> APIKeyForCrashReportingController(CWCrashReportingController& controller) = 0;
    virtual CWSettings settingsForCrashReportingController(CWCrashReportingController& controller) = 0;
    virtual bool reportingControllerCanUseBackgroundSessions(CWCrashReportingController& controller) = 0;
    virtual bool reportingControllerMustInformDelegateOfReports(CWCrashReportingController& controller) = 0;
    virtual void reportingControllerDidDetectReportForLastExecution(CWCrashReportingController& controller,
        const CWInternalReportPtr& report, std::function<void(bool submit)> completion)
        = 0;
    virtual void reportingControllerInternalDidDetectReportForLastExecution(
        CWCrashReportingController& controller, const CWInternalReportPtr& report)
        = 0;
    virtual bool reportingControllerEnsureDeliveryOfUnixSignal(CWCrashReportingController& controller, int signal) = 0;
    virtual bool shouldInstallCrashCallback() = 0;
    virtual void detectedCrash() = 0;
};

// The texts of the send prompt.
struct CWSendPrompt {
    std::string title;
    std::string message;
    std::string cancel;
    std::string send;
    std::optional<std::string> alwaysSend;
};

// Runs the crash kit's side of every launch: folders and launch marker, the
// current report and the crash handlers, the reports earlier launches left,
// the send prompt and the retries of failed uploads. Later report work runs on
// the work queue, one operation at a time.
class CWCrashReportingController : public CWReportsControllerDelegate,
                                   public CWNetworkClientDelegate,
                                   public CWCrashCallbackReceiver {
public:
    // Shows the prompt on the main queue and answers the button pressed: 1000
    // send, then always send (when offered), then cancel; 0 when no prompt
    // could be shown.
    using PromptPresenter = std::function<int64_t(const CWSendPrompt& prompt)>;
    using ContextInitializer = std::function<bool(const CWContextConfiguration*)>;
    static constexpr double kRetryDelay = 600.0;
    static constexpr double kStartupChecksDelay = 2.0;

    CWCrashReportingController(
        std::shared_ptr<CWFileManager> fileManager, CWCrashReportingControllerDelegate* delegate);
    ~CWCrashReportingController() override;

    // mark: the monotonic time the kit started.
    bool startWithProfilingMark(std::chrono::nanoseconds mark, const std::optional<std::string>& betaToken);

    static void setPromptPresenter(PromptPresenter presenter);
    static PromptPresenter currentPromptPresenter();
    // Tests set the crash handlers up through a seam; the default is the real set-up.
    static void setContextInitializer(ContextInitializer initializer);
    static std::string internalKey(const std::string& suffix);

    CWSettings settings();
    bool packagingEnabled();
    bool needsToPrompt();
    bool canProcessUrgentReports();
    bool delegateNeedsToBeInformedOfReports();
    uint32_t machExceptionMask();
    int64_t promptChoice() const;

    std::shared_ptr<CWNetworkClient> networkClient() const;
    std::shared_ptr<KBOperationQueue> operationQueue() const;

    // Reports controller and network client.
    std::optional<CWSettings> settingsForReportsController(CWReportsController& controller) override;
    bool networkClientCanUseBackgroundSessions(CWNetworkClient& client) override;
    void networkClientDidFinishUploadWithPath(
        CWNetworkClient& client, const std::string& path, const std::optional<KBError>& error) override;
    std::optional<CWSettings> settingsForNetworkClient(CWNetworkClient& client) override;
    std::optional<std::string> APIKeyForNetworkClient(CWNetworkClient& client) override;
    void deliverCrashDelegateCallback() override;

    void reportsControllerDidCompletePackageSubmission(const std::string& path, const std::optional<KBError>& error);
    void retryUploadForReportAtPath(const std::string& path);

private:
    bool checkPreconditions();
    bool checkForAndCreateLaunchMarker();
    std::string launchMarkerPath() const;
    CWInternalReportPtr setupCurrentReport();
    bool startCrashReporter(
        const std::optional<std::string>& betaToken, std::chrono::nanoseconds mark, const CWInternalReportPtr& report);
    void crashReportingSetupCompleted(std::chrono::nanoseconds mark);
    void setupStateNotifications();
    void processExistingActiveReportPath(const std::string& path, bool urgent);
    void handleDelegateCompletionForReport(const CWInternalReportPtr& report, bool submit);
    void displayPermissionAlertForReport(const CWInternalReportPtr& report);
    void handlePromptCompleteForReport(const CWInternalReportPtr& report, bool submit, bool always);
    void removeReport(const CWInternalReportPtr& report);
    // Resumes what earlier launches left half done: `processing` reports and
    // `prepared` packages, as listed before this launch queued any work.
    void handleContentsInOtherReportingDirectories(
        const std::vector<std::string>& processing, const std::vector<std::string>& prepared);
    void recordInternalKey(const std::string& suffix, const std::string& value);
    double millisecondsSince(std::chrono::nanoseconds mark) const;
    std::shared_ptr<CWReportsController> reportsController();

    std::shared_ptr<CWFileManager> fileManager_;
    CWCrashReportingControllerDelegate* delegate_;
    std::shared_ptr<KBOperationQueue> operationQueue_;
    std::shared_ptr<CWNetworkClient> networkClient_;
    std::mutex mutex_;
    std::shared_ptr<CWReportsController> reportsController_;
    std::optional<CWSettings> settings_;
    std::atomic<int64_t> promptChoice_{0};
    std::vector<KBNotificationCenter::Token> observers_;
    // Lets delayed blocks see that the controller went.
    std::shared_ptr<CWCrashReportingController*> alive_;
};
