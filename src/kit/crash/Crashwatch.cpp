#include "kit/crash/Crashwatch.h"

#include "kit/core/KBApplicationFacts.h"
#include "kit/core/Kitbase.h"
#include "kit/crash/CWApplication.h"
#include "kit/crash/CWException.h"
#include "kit/crash/CWReport.h"
#include "kit/crash/CWUserLogging.h"
#include "kit/crash/crashpath/CWContext.h"
#include "kit/support/KBIdentifiers.h"
#include "kit/support/KBLog.h"
#include "kit/support/KBMainQueue.h"
#include "kit/support/KBOperationQueue.h"
#include "kit/tally/Tally.h"

#include <charconv>
#include <chrono>

const char* CrashwatchTestException::what() const noexcept
{
    return "This is an exception used for testing.";
}

Crashwatch& Crashwatch::sharedInstance()
{
    static Crashwatch* instance = new Crashwatch([]() -> Kitbase& { return Kitbase::sharedSDK(); });
    return *instance;
}

KBKitClass Crashwatch::kitDescriptor()
{
    static const KBKitClass descriptor = [] {
        auto kit = std::make_shared<KBKitDescriptor>();
        kit->className = "Crashwatch";
        kit->kit = KBKitDescriptor::KitProtocol{
            bundleIdentifier(), kitDisplayVersion(), kitBuildVersion(), [] { Crashwatch::initializeIfNeeded(); }};
        return kit;
    }();
    return descriptor;
}

void Crashwatch::initializeIfNeeded()
{
    sharedInstance().start();
}

std::string Crashwatch::bundleIdentifier()
{
    return kb::kCrashKitIdentifier;
}

std::string Crashwatch::kitDisplayVersion()
{
    return "3.8.4";
}

std::string Crashwatch::kitBuildVersion()
{
    return "121";
}

Crashwatch& Crashwatch::startWithAPIKey(const std::string& key, CrashwatchDelegate* delegate)
{
    Crashwatch& kit = sharedInstance();
    if (delegate != nullptr) {
        kit.setDelegate(delegate);
    }
    Kitbase::sharedSDK().setAPIKey(key);
    Kitbase::with({KBKitObject{kitDescriptor()}});
    return kit;
}

Crashwatch& Crashwatch::startWithAPIKeyAfterDelay(const std::string& key, double, CrashwatchDelegate* delegate)
{
    KBLog::info(delegate != nullptr ? "[Crashwatch] Warning, startWithAPIKey:delegate:afterDelay: is deprecated."
                                    : "[Crashwatch] Warning, startWithAPIKey:afterDelay: is deprecated.");
    return startWithAPIKey(key, delegate);
}

Crashwatch::Crashwatch(std::function<Kitbase&()> kitbase)
    : kitbase_(std::move(kitbase))
{
}

Crashwatch::~Crashwatch()
{
    // An answer still on its way keeps the beta controller alive past us.
    if (betaController_) {
        betaController_->setDelegate(nullptr);
    }
}

void Crashwatch::start()
{
    std::call_once(started_, [this] {
        const auto mark = std::chrono::steady_clock::now().time_since_epoch();
        KBLog::info("[Crashwatch] Version " + kitDisplayVersion() + " (" + kitBuildVersion() + ")");
        const KBOSVersion os = KBOperatingSystemVersion();
        KBLog::debug("[Crashwatch] Running on " + KBHardwareModel().value_or("(null)") + ", " + std::to_string(os.major)
            + "." + std::to_string(os.minor) + "." + std::to_string(os.patch) + " ("
            + KBOSBuildVersion().value_or("(null)") + ")");
        KBOperationQueue::mainQueue()->addOperationWithBlock([this] { warnDelegateAboutMethods(); });
        auto fileManager = std::make_shared<CWFileManager>();
        std::optional<std::string> betaToken;
        if (CWBetaController::isBetaSupported()) {
            // The platform hands out no beta token, so the controller never starts here.
            betaController_ = CWBetaController::make(this, std::nullopt);
            if (!betaController_->start()) {
                KBLog::info("[Crashwatch] Beta could not be initialized");
            }
            betaToken = betaController_->betaToken();
        }
        crashReportingController_ = std::make_unique<CWCrashReportingController>(fileManager, this);
        controllerReady_ = true;
        if (!crashReportingController_->startWithProfilingMark(mark, betaToken)) {
            KBLog::info("[Crashwatch] Crash reporting could not be initialized");
        }
        Tally::startWithBetaToken(betaToken);
    });
}

void Crashwatch::warnDelegateAboutMethods()
{
    CrashwatchDelegate* current = delegate_.load();
    if (current == nullptr) {
        return;
    }
    if (current->respondsToDidDetectCrashDuringPreviousExecution()
        || current->respondsToDidDetectCrashDuringPreviousExecutionWithReport()) {
        KBLog::info("[Crashwatch] The Crashwatch delegate '" + std::string(typeid(*current).name())
            + "' implements deprecated methods.  Please see Crashwatch.h for details.");
    }
    if (current->crashwatchCanUseBackgroundSessions(*this).value_or(false) && CWApplication::isExtension()) {
        KBLog::info("[Crashwatch] Background sessions are not supported in extensions. Please see Crashwatch.h for "
                    "details.");
    }
}

bool Crashwatch::isCrashwatchStarted() const
{
    return controllerReady_.load();
}

CWCrashReportingController* Crashwatch::crashReportingController() const
{
    return controllerReady_.load() ? crashReportingController_.get() : nullptr;
}

std::string Crashwatch::version() const
{
    return kitDisplayVersion();
}

std::optional<std::string> Crashwatch::APIKey()
{
    return kitbase_().APIKey();
}

std::string Crashwatch::installID()
{
    // No historic install identifier exists on Linux.
    return kitbase_().installID();
}

bool Crashwatch::isFirstInstall()
{
    return kitbase_().isFirstInstall();
}

void Crashwatch::setDebugMode(bool)
{
    // Debug mode can only be switched on.
    kitbase_().setDebug(true);
    if (isCrashwatchStarted()) {
        KBLog::info("[Crashwatch] Warning, consider enabling debug mode before starting Crashwatch");
    }
}

bool Crashwatch::debugMode()
{
    return kitbase_().debug();
}

void Crashwatch::setDelegate(CrashwatchDelegate* delegate)
{
    delegate_ = delegate;
    if (isCrashwatchStarted()) {
        KBLog::info("[Crashwatch] Warning, setting delegate after start. Make sure to set the Crashwatch delegate "
                    "before calling startWithAPIKey:.., or +[Kitbase with...] to avoid missing some delegate "
                    "callbacks.");
    }
}

CrashwatchDelegate* Crashwatch::delegate() const
{
    return delegate_.load();
}

void Crashwatch::crash()
{
    __builtin_trap();
}

void Crashwatch::throwException()
{
    throw CrashwatchTestException();
}

void Crashwatch::recordInternal(const char* suffix, const std::optional<std::string>& value)
{
    if (CWContextIsInitialized()) {
        CWUserLoggingRecordKeyValue(
            std::string(suffix), value, &CWContextGet()->internalKeyValues, &CWCrashStateGet()->internalKeyValueCount);
    }
}

void Crashwatch::setUserIdentifier(const std::optional<std::string>& identifier)
{
    recordInternal(kCWInternalKeyUserIdentifier, identifier);
}

void Crashwatch::setUserName(const std::optional<std::string>& name)
{
    recordInternal(kCWInternalKeyUserName, name);
}

void Crashwatch::setUserEmail(const std::optional<std::string>& email)
{
    recordInternal(kCWInternalKeyUserEmail, email);
}

void Crashwatch::setDevelopmentPlatformName(const std::optional<std::string>& name)
{
    recordInternal(CWCrashReportingController::internalKey("development-platform-name").c_str(), name);
}

void Crashwatch::setDevelopmentPlatformVersion(const std::optional<std::string>& version)
{
    recordInternal(CWCrashReportingController::internalKey("development-platform-version").c_str(), version);
}

std::optional<std::string> Crashwatch::developmentPlatformName()
{
    KBLog::info("[Crashwatch] developmentPlatformName is write-only");
    return std::nullopt;
}

std::optional<std::string> Crashwatch::developmentPlatformVersion()
{
    KBLog::info("[Crashwatch] developmentPlatformVersion is write-only");
    return std::nullopt;
}

void Crashwatch::setObjectValue(const std::optional<std::string>& value, const std::string& key)
{
    if (CWContextIsInitialized()) {
        CWUserLoggingRecordKeyValue(key, value, &CWContextGet()->userKeyValues, &CWCrashStateGet()->userKeyValueCount);
    }
}

void Crashwatch::setIntValue(int value, const std::string& key)
{
    setObjectValue(std::to_string(value), key);
}

void Crashwatch::setBoolValue(bool value, const std::string& key)
{
    setObjectValue(value ? "1" : "0", key);
}

void Crashwatch::setFloatValue(float value, const std::string& key)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
    setObjectValue(std::string(buffer, result.ptr), key);
}

void Crashwatch::recordError(const CWError& error, const std::map<std::string, std::string>& additionalUserInfo)
{
    CWUserLoggingRecordError(error, additionalUserInfo);
}

void Crashwatch::recordCustomExceptionName(
    const std::string& name, const std::string& reason, const std::vector<CWStackFramePtr>& frames)
{
    CWExceptionRecord(4, name.c_str(), reason.c_str(), frames, false);
}

void Crashwatch::userContentControllerDidReceiveScriptMessage(const nlohmann::json& body)
{
    if (!body.is_object()) {
        KBLog::info("[Crashwatch] Unable to record exception from WKWebView");
        return;
    }
    const auto message = body.find("msg");
    const std::string reason = message != body.end() && message->is_string() ? message->get<std::string>() : "";
    CWExceptionRecord(3, "exception", reason.c_str(), {}, false);
}

void Crashwatch::logEvent(const std::string& name, const nlohmann::json& attributes)
{
    Tally::logCustomEventWithName(name, Tally::Json(attributes));
}

bool Crashwatch::isFirstInstallForCrashReportingController(CWCrashReportingController&)
{
    return isFirstInstall();
}

std::optional<std::string> Crashwatch::installIDForCrashReportingController(CWCrashReportingController&)
{
    return installID();
}

std::optional<std::string> Crashwatch::APIKeyForCrashReportingController(CWCrashReportingController&)
{
    return APIKey();
}

CWSettings Crashwatch::settingsForCrashReportingController(CWCrashReportingController&)
{
    return CWSettings(kitbase_().settings());
}

bool Crashwatch::reportingControllerCanUseBackgroundSessions(CWCrashReportingController&)
{
    CrashwatchDelegate* current = delegate_.load();
    const auto answer = current != nullptr ? current->crashwatchCanUseBackgroundSessions(*this) : std::nullopt;
    return answer.value_or(!CWApplication::isExtension());
}

bool Crashwatch::reportingControllerMustInformDelegateOfReports(CWCrashReportingController&)
{
    CrashwatchDelegate* current = delegate_.load();
    return current != nullptr
        && (current->respondsToDidDetectReportWithCompletion()
            || current->respondsToDidDetectCrashDuringPreviousExecutionWithReport()
            || current->respondsToDidDetectCrashDuringPreviousExecution());
}

void Crashwatch::reportingControllerDidDetectReportForLastExecution(CWCrashReportingController& controller,
    const CWInternalReportPtr& report, std::function<void(bool submit)> completion)
{
    CrashwatchDelegate* current = delegate_.load();
    std::shared_ptr<CWReport> made;
    if (current != nullptr && current->respondsToDidDetectReport()) {
        made = std::make_shared<CWReport>(report, true);
        KBMainQueue::shared()->async([this, made] {
            if (CrashwatchDelegate* now = delegate_.load()) {
                now->crashwatchDidDetectReportForLastExecution(*made);
            }
        });
    }
    if (!reportingControllerMustInformDelegateOfReports(controller)) {
        completion(true);
        return;
    }
    if (!made) {
        made = std::make_shared<CWReport>(report, false);
    }
    if (current->respondsToDidDetectReportWithCompletion()) {
        current->crashwatchDidDetectReportForLastExecution(*made, completion);
    } else {
        completion(true);
    }
    KBMainQueue::shared()->async([this, made] {
        CrashwatchDelegate* now = delegate_.load();
        if (now != nullptr && now->respondsToDidDetectCrashDuringPreviousExecutionWithReport()) {
            now->crashwatchDidDetectCrashDuringPreviousExecution(*this, *made);
        }
        if (now != nullptr && now->respondsToDidDetectCrashDuringPreviousExecution()) {
            now->crashwatchDidDetectCrashDuringPreviousExecution(*this);
        }
    });
}

void Crashwatch::reportingControllerInternalDidDetectReportForLastExecution(
    CWCrashReportingController&, const CWInternalReportPtr& report)
{
    CWReport made(report);
    if (!made.isCrash()) {
        return;
    }
    const auto created = made.dateCreated();
    const std::optional<double> seconds
        = created ? std::optional<double>(static_cast<double>(created->time_since_epoch().count())) : std::nullopt;
    KBMainQueue::shared()->async([seconds] { Tally::logPreviousSessionCrashedOnDate(seconds); });
}

bool Crashwatch::reportingControllerEnsureDeliveryOfUnixSignal(CWCrashReportingController&, int signal)
{
    CrashwatchDelegate* current = delegate_.load();
    return current != nullptr && current->crashwatchEnsureDeliveryOfUnixSignal(*this, signal).value_or(false);
}

bool Crashwatch::shouldInstallCrashCallback()
{
    CrashwatchDelegate* current = delegate_.load();
    return current != nullptr && current->respondsToDidDetectCrash();
}

void Crashwatch::detectedCrash()
{
    if (CrashwatchDelegate* current = delegate_.load()) {
        current->crashwatchDidDetectCrash(*this);
    }
}

CWSettings Crashwatch::settingsForBetaController(CWBetaController&)
{
    return CWSettings(kitbase_().settings());
}

std::optional<std::string> Crashwatch::APIKeyForBetaController(CWBetaController&)
{
    return APIKey();
}

std::shared_ptr<CWBetaController> Crashwatch::betaController() const
{
    return betaController_;
}
