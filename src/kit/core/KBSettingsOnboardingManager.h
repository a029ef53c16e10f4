#pragma once

#include "kit/core/KBApplicationIdentiferModel.h"
#include "kit/core/KBDownloadAndSaveSettingsOperation.h"
#include "kit/core/KBNetworkClient.h"
#include "kit/core/KBOnboardingOperation.h"
#include "kit/core/KBSettings.h"
#include "kit/core/KBSettingsOnboarding.h"

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

inline constexpr const char* kKBSettingsAvailableNotification = "KBSettingsAvailableNotification";

// Once per launch: downloads the settings into the cache, registers a new
// application or updates a known one whose record is out of date, and tells
// the other kits that settings are available.
class KBSettingsOnboardingManager : public KBSettingsOnboarding,
                                    public KBDownloadAndSaveSettingsOperationDelegate,
                                    public KBOnboardingOperationDelegate,
                                    public std::enable_shared_from_this<KBSettingsOnboardingManager> {
public:
    struct Environment {
        // The process environment unless a test looks values up elsewhere.
        std::function<std::optional<std::string>(const std::string&)> environmentLookup;
        std::function<std::optional<nlohmann::json>()> infoDictionary;
        std::function<std::optional<std::string>()> advertisingToken;
        // A client trusting the pinned roots unless one is given.
        std::shared_ptr<KBNetworkClient> networkClient;
    };

    KBSettingsOnboardingManager(std::shared_ptr<KBApplicationIdentiferModel> model, Environment environment);

    void beginSettingsAndOnboardingOperations(
        const std::string& apiKey, const std::map<std::string, std::string>& kitVersions) override;
    std::optional<nlohmann::json> settingsDictionary() override;

    static std::string settingsDirectoryPath();
    std::string settingsPath() const;
    KBSettings& settingsModel();
    std::optional<std::string> settingsURL();
    std::optional<std::string> appIconHash() const;
    std::optional<std::string> advertisingToken() const;
    std::optional<nlohmann::json> configuration() const;
    static std::map<std::string, std::string> defaultConfiguration();
    // Environment, then the app-info "Crashwatch" dictionary, then the default.
    std::string valueForConfigurationKey(const std::string& key) const;

    void finishNetworkingSession();
    void postSettingsDownloadCompletedNotification();
    // Waits (bounded, real time) until the sequence has ended.
    bool waitUntilFinished(double seconds) const;
    std::shared_ptr<KBNetworkClient> networkClient() const;

    void operationDidDownloadAndSaveSettingsWithError(
        KBDownloadAndSaveSettingsOperation& operation, const std::optional<KBError>& error) override;
    void onboardingOperationDidCompleteAppCreationWithError(
        KBOnboardingOperation& operation, const std::optional<KBError>& error) override;
    void onboardingOperationDidCompleteAppUpdateWithError(
        KBOnboardingOperation& operation, const std::optional<KBError>& error) override;

private:
    void beginSettingsDownload();
    void beginOnboarding(bool create, const std::string& endpoint);

    std::shared_ptr<KBApplicationIdentiferModel> appIdentifierModel_;
    Environment environment_;
    std::shared_ptr<KBNetworkClient> networkClient_;
    KBSettings settingsModel_;
    std::string apiKey_;
    std::map<std::string, std::string> kitVersions_;
    bool hasAttemptedAppConfigure_ = false;
    std::shared_ptr<KBDownloadAndSaveSettingsOperation> downloadOperation_;
    std::shared_ptr<KBOnboardingOperation> onboardingOperation_;

    mutable std::mutex finishedMutex_;
    mutable std::condition_variable finishedChanged_;
    bool finished_ = false;
};
