#include "kit/core/KBSettingsOnboardingManager.h"

#include "kit/core/KBMainBundle.h"
#include "kit/support/KBFiles.h"
#include "kit/support/KBIdentifiers.h"
#include "kit/support/KBLog.h"
#include "kit/support/KBNotificationCenter.h"

#include <cstdlib>

namespace {

std::optional<std::string> processEnvironment(const std::string& name)
{
    const char* value = std::getenv(name.c_str());
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

} // namespace

KBSettingsOnboardingManager::KBSettingsOnboardingManager(
    std::shared_ptr<KBApplicationIdentiferModel> model, Environment environment)
    : appIdentifierModel_(std::move(model))
    , environment_(std::move(environment))
    , networkClient_(environment_.networkClient ? environment_.networkClient
                                                : KBNetworkClient::makeWithQueue(nullptr, KBPinnedCertificates()))
    , settingsModel_(settingsDirectoryPath() + "/settings.json")
{
    if (!environment_.environmentLookup) {
        environment_.environmentLookup = processEnvironment;
    }
    if (!environment_.infoDictionary) {
        environment_.infoDictionary = KBMainBundle::infoDictionary;
    }
}

void KBSettingsOnboardingManager::beginSettingsAndOnboardingOperations(
    const std::string& apiKey, const std::map<std::string, std::string>& kitVersions)
{
    apiKey_ = apiKey;
    kitVersions_ = kitVersions;
    beginSettingsDownload();
}

std::optional<nlohmann::json> KBSettingsOnboardingManager::settingsDictionary()
{
    return settingsModel_.settingsDictionary();
}

std::string KBSettingsOnboardingManager::settingsDirectoryPath()
{
    std::string path = KBFiles::cacheHome() + "/" + kb::kCoreDataFolder;
    if (const auto bundle = KBSettings::appBundleIdentifier()) {
        path += "/" + *bundle;
    }
    return path;
}

std::string KBSettingsOnboardingManager::settingsPath() const
{
    return settingsModel_.settingsPath();
}

KBSettings& KBSettingsOnboardingManager::settingsModel()
{
    return settingsModel_;
}

std::optional<std::string> KBSettingsOnboardingManager::settingsURL()
{
    const auto instance = appIdentifierModel_ ? std::optional(appIdentifierModel_->instanceIdentifier()) : std::nullopt;
    return KBSettings::settingsURLForEndpoint(valueForConfigurationKey("SettingsEndpoint"), instance, appIconHash());
}

std::optional<std::string> KBSettingsOnboardingManager::appIconHash() const
{
    if (!appIdentifierModel_ || !appIdentifierModel_->icon()) {
        return std::nullopt;
    }
    return appIdentifierModel_->icon()->dataHash();
}

std::optional<std::string> KBSettingsOnboardingManager::advertisingToken() const
{
    return environment_.advertisingToken ? environment_.advertisingToken() : std::nullopt;
}

std::optional<nlohmann::json> KBSettingsOnboardingManager::configuration() const
{
    const auto info = environment_.infoDictionary();
    if (!info || !info->is_object()) {
        return std::nullopt;
    }
    const auto crashwatch = info->find("Crashwatch");
    if (crashwatch == info->end() || !crashwatch->is_object()) {
        return std::nullopt;
    }
    return *crashwatch;
}

std::map<std::string, std::string> KBSettingsOnboardingManager::defaultConfiguration()
{
    // No service is built in: an unconfigured endpoint fails its requests.
    return {{"SettingsEndpoint", ""}, {"ConfigureEndpoint", ""}};
}

std::string KBSettingsOnboardingManager::valueForConfigurationKey(const std::string& key) const
{
    if (const auto value = environment_.environmentLookup(key); value && !value->empty()) {
        return *value;
    }
    if (const auto config = configuration()) {
        const auto found = config->find(key);
        if (found != config->end() && found->is_string() && !found->get<std::string>().empty()) {
            return found->get<std::string>();
        }
    }
    const auto defaults = defaultConfiguration();
    const auto found = defaults.find(key);
    return found != defaults.end() ? found->second : std::string();
}

void KBSettingsOnboardingManager::beginSettingsDownload()
{
    KBDownloadAndSaveSettingsOperation::Parameters parameters;
    parameters.apiKey = apiKey_;
    parameters.delegate = this;
    parameters.settingsURL = settingsURL();
    parameters.settingsDirectoryPath = settingsDirectoryPath();
    parameters.settingsFilePath = settingsPath();
    parameters.installIdentifier = appIdentifierModel_ ? appIdentifierModel_->installID() : std::string();
    parameters.advertisingToken = advertisingToken();
    parameters.networkClient = networkClient_;
    downloadOperation_ = std::make_shared<KBDownloadAndSaveSettingsOperation>(std::move(parameters));
    downloadOperation_->start();
}

void KBSettingsOnboardingManager::operationDidDownloadAndSaveSettingsWithError(
    KBDownloadAndSaveSettingsOperation&, const std::optional<KBError>& error)
{
    if (error) {
        KBLog::info("[Kitbase] failed to download settings " + error->description());
        finishNetworkingSession();
        return;
    }
    KBLog::debug("[Kitbase] settings downloaded successfully");
    settingsModel_.clearSettingsDictionary();
    if (hasAttemptedAppConfigure_) {
        KBLog::debug("[Kitbase] App already onboarded in this run of the app");
        postSettingsDownloadCompletedNotification();
        finishNetworkingSession();
        return;
    }
    if (settingsModel_.appNeedsOnboarding()) {
        KBLog::debug("[Kitbase] Starting onboarding with app create");
        hasAttemptedAppConfigure_ = true;
        beginOnboarding(true, valueForConfigurationKey("ConfigureEndpoint"));
        return;
    }
    postSettingsDownloadCompletedNotification();
    if (settingsModel_.appUpdateRequired()) {
        KBLog::debug("[Kitbase] Starting onboarding with app update");
        hasAttemptedAppConfigure_ = true;
        beginOnboarding(false, valueForConfigurationKey("ConfigureEndpoint"));
        return;
    }
    finishNetworkingSession();
}

void KBSettingsOnboardingManager::beginOnboarding(bool create, const std::string& endpoint)
{
    if (onboardingOperation_) {
        onboardingOperation_->cancel();
    }
    KBOnboardingOperation::Parameters parameters;
    parameters.shouldCreate = create;
    parameters.apiKey = apiKey_;
    parameters.kitVersionsByKitBundleIdentifier = kitVersions_;
    parameters.appIdentifierModel = appIdentifierModel_;
    parameters.appEndpoint = endpoint;
    parameters.delegate = this;
    parameters.networkClient = networkClient_;
    onboardingOperation_ = std::make_shared<KBOnboardingOperation>(std::move(parameters));
    onboardingOperation_->start();
}

void KBSettingsOnboardingManager::onboardingOperationDidCompleteAppCreationWithError(
    KBOnboardingOperation&, const std::optional<KBError>& error)
{
    if (error) {
        KBLog::info("[Kitbase] unable to complete application configure: " + error->description());
        finishNetworkingSession();
        return;
    }
    onboardingOperation_.reset();
    KBLog::debug("[Kitbase] completed configure");
    beginSettingsDownload();
}

void KBSettingsOnboardingManager::onboardingOperationDidCompleteAppUpdateWithError(
    KBOnboardingOperation&, const std::optional<KBError>& error)
{
    if (error) {
        KBLog::info("[Kitbase] unable to complete application update: " + error->description());
    } else {
        onboardingOperation_.reset();
        KBLog::debug("[Kitbase] completed application update");
    }
    // Last: whoever waits for the session may let the manager go at once.
    finishNetworkingSession();
}

void KBSettingsOnboardingManager::finishNetworkingSession()
{
    networkClient_->invalidateAndCancel();
    // Told under the lock: a waiter that sees the session finished may
    // destroy the manager, and its condition with it, before a notify that
    // came after the unlock.
    std::lock_guard lock(finishedMutex_);
    finished_ = true;
    finishedChanged_.notify_all();
}

void KBSettingsOnboardingManager::postSettingsDownloadCompletedNotification()
{
    KBLog::debug("[Kitbase] Settings are available for consumption");
    KBNotificationCenter::defaultCenter().post(kKBSettingsAvailableNotification);
}

bool KBSettingsOnboardingManager::waitUntilFinished(double seconds) const
{
    std::unique_lock lock(finishedMutex_);
    return finishedChanged_.wait_for(lock, std::chrono::duration<double>(seconds), [this] { return finished_; });
}

std::shared_ptr<KBNetworkClient> KBSettingsOnboardingManager::networkClient() const
{
    return networkClient_;
}
