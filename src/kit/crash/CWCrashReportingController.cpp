#include "kit/crash/CWCrashReportingController.h"

#include "kit/core/KBMainBundle.h"
#include "kit/core/Kitbase.h"
#include "kit/crash/CWApplication.h"
#include "kit/crash/CWContextInitialize.h"
#include "kit/crash/CWException.h"
#include "kit/crash/CWSignalCheckForeignHandlers.h"
#include "kit/crash/CWUserLogging.h"
#include "kit/crash/crashpath/CWContext.h"
#include "kit/crash/crashpath/CWSDKLog.h"
#include "kit/support/KBClock.h"
#include "kit/support/KBIdentifiers.h"
#include "kit/support/KBLog.h"
#include "kit/support/KBMainQueue.h"
#include "kit/support/KBSerialQueue.h"

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include <charconv>

namespace {

std::mutex& hooksMutex()
{
    static std::mutex mutex;
    return mutex;
}

CWCrashReportingController::PromptPresenter& promptPresenter()
{
    static CWCrashReportingController::PromptPresenter presenter;
    return presenter;
}

CWCrashReportingController::ContextInitializer& contextInitializer()
{
    static CWCrashReportingController::ContextInitializer initializer;
    return initializer;
}

std::string decimalText(double value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
    return std::string(buffer, result.ptr);
}

// Runs on the logging queue.
void writeInternalKey(const std::string& key, const std::string& value)
{
    if (CWContextIsInitialized()) {
        CWUserLoggingWriteKeyValue(
            key, value, &CWContextGet()->internalKeyValues, &CWCrashStateGet()->internalKeyValueCount);
    }
}

} // namespace

CWCrashReportingController::CWCrashReportingController(
    std::shared_ptr<CWFileManager> fileManager, CWCrashReportingControllerDelegate* delegate)
    : fileManager_(std::move(fileManager))
    , delegate_(delegate)
    , operationQueue_(KBOperationQueue::make(std::string(kb::kVendorPrefix) + ".crashwatch.work-queue"))
    , alive_(std::make_shared<CWCrashReportingController*>(this))
{
    operationQueue_->setMaxConcurrentOperationCount(1);
    networkClient_ = CWNetworkClient::make(operationQueue_, fileManager_, this);
}

CWCrashReportingController::~CWCrashReportingController()
{
    for (const auto token : observers_) {
        KBNotificationCenter::defaultCenter().removeObserver(token);
    }
    alive_.reset();
    operationQueue_->cancelAllOperations();
    operationQueue_->waitUntilAllOperationsAreFinished();
    networkClient_->setDelegate(nullptr);
}

void CWCrashReportingController::setPromptPresenter(PromptPresenter presenter)
{
    std::lock_guard lock(hooksMutex());
    promptPresenter() = std::move(presenter);
}

CWCrashReportingController::PromptPresenter CWCrashReportingController::currentPromptPresenter()
{
    std::lock_guard lock(hooksMutex());
    return promptPresenter();
}

void CWCrashReportingController::setContextInitializer(ContextInitializer initializer)
{
    std::lock_guard lock(hooksMutex());
    contextInitializer() = std::move(initializer);
}

std::string CWCrashReportingController::internalKey(const std::string& suffix)
{
    return std::string(kb::kVendorPrefix) + ".crashwatch." + suffix;
}

bool CWCrashReportingController::startWithProfilingMark(
    std::chrono::nanoseconds mark, const std::optional<std::string>& betaToken)
{
    if (!checkPreconditions()) {
        return false;
    }
    if (!settings().crashReportingEnabled()) {
        KBLog::info("[Crashwatch:Crash] Reporting is disabled");
        fileManager_->removeContentsOfAllPaths();
        return false;
    }
    // Synchronously: queued, the removal could run after the current report's
    // folder exists.
    fileManager_->removeLegacyDirectories();
    if (!fileManager_->prepareForNewLaunch()) {
        return false;
    }
    const bool urgent = checkForAndCreateLaunchMarker();
    const std::vector<std::string> earlier = fileManager_->activePathContents();
    // Listed before any report of this launch is queued: the queue moves them
    // through these folders at once, and a report listed there as a leftover
    // too would be packaged or sent twice.
    const std::vector<std::string> processing = fileManager_->processingPathContents();
    const std::vector<std::string> prepared = fileManager_->preparedPathContents();
    const CWInternalReportPtr report = setupCurrentReport();
    const bool started = startCrashReporter(betaToken, mark, report);
    if (!started) {
        KBLog::info("[Crashwatch:Crash] Unable to start crash reporter");
    }
    for (const auto& path : earlier) {
        processExistingActiveReportPath(path, urgent);
    }
    handleContentsInOtherReportingDirectories(processing, prepared);
    if (started) {
        const std::string value = decimalText(millisecondsSince(mark));
        CWContextLoggingQueue()->async([value] { writeInternalKey(internalKey("kit-start-time"), value); });
    }
    return report != nullptr && started;
}

bool CWCrashReportingController::checkPreconditions()
{
    if (KBMainBundle::bundleIdentifier().value_or("").empty()) {
        KBLog::info("[Crashwatch] An application must have a valid bundle idenifier in its Info.plist");
        return false;
    }
    return true;
}

std::string CWCrashReportingController::launchMarkerPath() const
{
    return fileManager_->structurePath() + "/launchmarker";
}

bool CWCrashReportingController::checkForAndCreateLaunchMarker()
{
    if (access(launchMarkerPath().c_str(), F_OK) == 0) {
        KBLog::debug("[Crashwatch:Crash] Last launch failed: this may indicate a crash shortly after app launch.");
        return true;
    }
    const int descriptor = open(launchMarkerPath().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (descriptor >= 0) {
        close(descriptor);
    }
    return false;
}

CWInternalReportPtr CWCrashReportingController::setupCurrentReport()
{
    const int descriptor = open(launchMarkerPath().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (descriptor >= 0) {
        close(descriptor);
    }
    const std::string identifier = Kitbase::sharedSDK().executionIdentifier();
    const auto path = fileManager_->setupNewPathForExecutionIdentifier(identifier);
    if (!path) {
        KBLog::info("[Crashwatch:Crash] Unable to setup a new report");
        return nullptr;
    }
    return CWInternalReport::make(*path, identifier);
}

uint32_t CWCrashReportingController::machExceptionMask()
{
    // Carried to the set-up unused: Linux has no exception ports.
    static const std::pair<int, uint32_t> masks[]
        = {{SIGABRT, 1024}, {SIGBUS, 2}, {SIGFPE, 8}, {SIGILL, 4}, {SIGSEGV, 2}, {SIGSYS, 1024}, {SIGTRAP, 64}};
    uint32_t mask = 0;
    for (const auto& [signal, bits] : masks) {
        if (delegate_ != nullptr && delegate_->reportingControllerEnsureDeliveryOfUnixSignal(*this, signal)) {
            mask |= bits;
        }
    }
    return mask;
}

bool CWCrashReportingController::startCrashReporter(
    const std::optional<std::string>& betaToken, std::chrono::nanoseconds mark, const CWInternalReportPtr& report)
{
    if (!report || delegate_ == nullptr) {
        return false;
    }
    const CWSettings current = settings();
    const std::string apiKey = delegate_->APIKeyForCrashReportingController(*this).value_or("");
    const std::string installID = delegate_->installIDForCrashReportingController(*this).value_or("");
    CWContextConfiguration configuration;
    configuration.apiKey = apiKey.c_str();
    configuration.firstInstall = delegate_->isFirstInstallForCrashReportingController(*this);
    configuration.crashCallbackReceiver = delegate_->shouldInstallCrashCallback() ? this : nullptr;
    configuration.reportPath = report->path().c_str();
    configuration.reportIdentifier = report->identifier().c_str();
    configuration.installIdentifier = installID.c_str();
    configuration.betaToken = betaToken ? betaToken->c_str() : nullptr;
    configuration.machExceptionMask = machExceptionMask();
    configuration.errorReportingEnabled = current.errorReportingEnabled() ? 1 : 0;
    configuration.customExceptionsEnabled = current.customExceptionsEnabled() ? 1 : 0;
    configuration.maxCustomExceptions = current.maxCustomExceptions();
    configuration.errorLogBufferSize = current.errorLogBufferSize();
    configuration.logBufferSize = current.logBufferSize();
    configuration.maxCustomKeys = current.maxCustomKeys();
    ContextInitializer initializer;
    {
        std::lock_guard lock(hooksMutex());
        initializer = contextInitializer();
    }
    const bool installed = initializer ? initializer(&configuration) : CWContextInitialize(&configuration);
    if (!installed) {
        return false;
    }
    setupStateNotifications();
    crashReportingSetupCompleted(mark);
    return true;
}

void CWCrashReportingController::crashReportingSetupCompleted(std::chrono::nanoseconds mark)
{
    std::weak_ptr<CWCrashReportingController*> alive = alive_;
    KBClock::shared()->after(kStartupChecksDelay, KBMainQueue::shared(), [alive] {
        CWExceptionStartupWarnings();
        CWSignalCheckForeignHandlers(stderr);
        const auto self = alive.lock();
        if (self && (*self)->settings().userPromptEnabled() && !(*self)->delegateNeedsToBeInformedOfReports()) {
            KBLog::info("[Crashwatch:Crash] WARNING: the user prompt feature is enabled. As of Crashwatch 3.0.0, "
                        "implementing a user prompt is the application's responsibility. See Crashwatch.h's notes "
                        "about -crashwatchDidDetectReportForLastExecution:completionHandler:");
        }
    });
    const std::string marker = launchMarkerPath();
    KBMainQueue::shared()->async([marker, mark, alive] {
        unlink(marker.c_str());
        CWContextLoggingQueue()->async([mark, alive] {
            const auto self = alive.lock();
            if (self) {
                // Measured when this operation runs, on the logging queue itself.
                writeInternalKey(internalKey("first-run-loop-time"), decimalText((*self)->millisecondsSince(mark)));
            }
        });
    });
}

void CWCrashReportingController::setupStateNotifications()
{
    recordInternalKey("in-background", "0");
    auto& center = KBNotificationCenter::defaultCenter();
    observers_.push_back(center.addObserver("NSApplicationWillBecomeActiveNotification", nullptr,
        [this](const KBNotification&) { recordInternalKey("in-background", "0"); }));
    observers_.push_back(center.addObserver("NSApplicationDidResignActiveNotification", nullptr,
        [this](const KBNotification&) { recordInternalKey("in-background", "1"); }));
}

void CWCrashReportingController::recordInternalKey(const std::string& suffix, const std::string& value)
{
    if (!CWContextIsInitialized()) {
        return;
    }
    const std::string key = internalKey(suffix);
    CWContextLoggingQueue()->async([key, value] { writeInternalKey(key, value); });
}

double CWCrashReportingController::millisecondsSince(std::chrono::nanoseconds mark) const
{
    return static_cast<double>((std::chrono::steady_clock::now().time_since_epoch() - mark).count()) / 1e6;
}
