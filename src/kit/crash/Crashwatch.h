#pragma once

#include "kit/core/KBKitRegistry.h"
#include "kit/crash/CWBetaController.h"
#include "kit/crash/CWCrashReportingController.h"
#include "kit/crash/CWError.h"
#include "kit/crash/CWStackFrame.h"
#include "kit/crash/CrashwatchDelegate.h"

#include <nlohmann/json.hpp>

#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class Kitbase;

// The exception throwException() raises; the terminate handler records its name.
class CrashwatchTestException : public std::exception {
public:
    const char* what() const noexcept override;
};

// The crash kit's public face, one shared object per process: a kit of the
// registry, the application's operations (identity, keys, errors, custom
// exceptions, events, test crashes), and the delegate of the crash reporting
// controller. It starts the analytics kit.
class Crashwatch : public CWCrashReportingControllerDelegate, public CWBetaControllerDelegate {
public:
    static Crashwatch& sharedInstance();
    static KBKitClass kitDescriptor();
    static void initializeIfNeeded();
    static std::string bundleIdentifier();
    static std::string kitDisplayVersion();
    static std::string kitBuildVersion();

    static Crashwatch& startWithAPIKey(const std::string& key, CrashwatchDelegate* delegate = nullptr);
    // The delay is ignored: the kit starts at once.
    static Crashwatch& startWithAPIKeyAfterDelay(
        const std::string& key, double delay, CrashwatchDelegate* delegate = nullptr);

    // Tests: a kit object over its own Kitbase.
    explicit Crashwatch(std::function<Kitbase&()> kitbase);
    ~Crashwatch() override;

    // The start sequence, once per object.
    void start();
    bool isCrashwatchStarted() const;
    std::string version() const;
    std::optional<std::string> APIKey();
    std::string installID();
    bool isFirstInstall();
    void setDebugMode(bool debug);
    bool debugMode();
    void setDelegate(CrashwatchDelegate* delegate);
    CrashwatchDelegate* delegate() const;

    [[noreturn]] void crash();
    [[noreturn]] void throwException();

    void setUserIdentifier(const std::optional<std::string>& identifier);
    void setUserName(const std::optional<std::string>& name);
    void setUserEmail(const std::optional<std::string>& email);
    void setDevelopmentPlatformName(const std::optional<std::string>& name);
    void setDevelopmentPlatformVersion(const std::optional<std::string>& version);
    std::optional<std::string> developmentPlatformName();
    std::optional<std::string> developmentPlatformVersion();
    void setObjectValue(const std::optional<std::string>& value, const std::string& key);
    void setIntValue(int value, const std::string& key);
    void setBoolValue(bool value, const std::string& key);
    void setFloatValue(float value, const std::string& key);
    void recordError(const CWError& error, const std::map<std::string, std::string>& additionalUserInfo = {});
    void recordCustomExceptionName(
        const std::string& name, const std::string& reason, const std::vector<CWStackFramePtr>& frames);
    // A message from a page's script bridge; the body as JSON.
    void userContentControllerDidReceiveScriptMessage(const nlohmann::json& body);
    void logEvent(const std::string& name, const nlohmann::json& attributes = nullptr);

    CWCrashReportingController* crashReportingController() const;

    // The crash reporting controller's questions.
    bool isFirstInstallForCrashReportingController(CWCrashReportingController& controller) override;
    std::optional<std::string> installIDForCrashReportingController(CWCrashReportingController& controller) override;
    std::optional<std::string> APIKeyForCrashReportingController(CWCrashReportingController& controller) override;
    CWSettings settingsForCrashReportingController(CWCrashReportingController& controller) override;
    bool reportingControllerCanUseBackgroundSessions(CWCrashReportingController& controller) override;
    bool reportingControllerMustInformDelegateOfReports(CWCrashReportingController& controller) override;
    void reportingControllerDidDetectReportForLastExecution(CWCrashReportingController& controller,
        const CWInternalReportPtr& report, std::function<void(bool submit)> completion) override;
    void reportingControllerInternalDidDetectReportForLastExecution(
        CWCrashReportingController& controller, const CWInternalReportPtr& report) override;
    bool reportingControllerEnsureDeliveryOfUnixSignal(CWCrashReportingController& controller, int signal) override;
    bool shouldInstallCrashCallback() override;
    void detectedCrash() override;

    // The beta controller's questions.
    CWSettings settingsForBetaController(CWBetaController& controller) override;
    std::optional<std::string> APIKeyForBetaController(CWBetaController& controller) override;
    std::shared_ptr<CWBetaController> betaController() const;

private:
    void warnDelegateAboutMethods();
    void recordInternal(const char* suffix, const std::optional<std::string>& value);

    std::function<Kitbase&()> kitbase_;
    std::once_flag started_;
    std::atomic<CrashwatchDelegate*> delegate_{nullptr};
    std::unique_ptr<CWCrashReportingController> crashReportingController_;
    std::shared_ptr<CWBetaController> betaController_;
    std::atomic<bool> controllerReady_{false};
};
