#pragma once

#include "kit/core/CWUserDefaults.h"
#include "kit/core/KBApplicationIdentiferModel.h"
#include "kit/core/KBKitRegistry.h"
#include "kit/core/KBSettingsOnboarding.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The one object through which the kit starts: it reads the kit
// configuration from the app-info dictionary, validates and completes the
// kit list, starts every kit and begins the settings download. It owns the
// identities every request and report carries.
class Kitbase {
public:
    // Everything Kitbase reaches outside itself, injectable for tests.
    struct Environment {
        std::shared_ptr<KBKitRegistry> registry;
        std::shared_ptr<CWUserDefaults> defaults;
        std::function<std::optional<nlohmann::json>()> infoDictionary;
        std::function<std::shared_ptr<KBApplicationIdentiferModel>(const std::string&)> makeIdentity;
        std::function<std::shared_ptr<KBSettingsOnboarding>(Kitbase&)> makeSettingsManager;

        // The process's: shared registry, standard defaults store, main bundle,
        // running executable and the kit's settings manager.
        static Environment process();
    };

    explicit Kitbase(Environment environment);
    Kitbase(const Kitbase&) = delete;
    Kitbase& operator=(const Kitbase&) = delete;

    static Kitbase& sharedSDK();
    // Starts the process's kit with these kits; only the first call acts.
    static Kitbase& with(const std::vector<KBKitReference>& kits);
    // The start sequence on this object (what with() runs on the shared one).
    // Throws KBException for a faulty configuration or kit.
    Kitbase& start(const std::vector<KBKitReference>& kits);

    nlohmann::json kitbaseConfig();
    std::optional<std::string> APIKey();
    void setAPIKey(std::optional<std::string> key);
    bool debug() const;
    void setDebug(bool debug);
    std::vector<KBKitClass> kitClasses() const;
    std::shared_ptr<KBSettingsOnboarding> settingsAndOnboardingManager() const;
    std::shared_ptr<KBApplicationIdentiferModel> applicationIdentifierModel() const;
    const std::string& installID() const;
    bool isFirstInstall() const;
    const std::string& executionIdentifier() const;
    std::optional<std::string> instanceIdentifier() const;
    std::optional<nlohmann::json> settings() const;
    std::optional<std::string> advertisingToken() const;
    void setAdvertisingToken(std::optional<std::string> token);

    std::map<std::string, std::string> kitVersionsByKitBundleIdentifier() const;
    // The "KitInfo" of the kit's entry in "Kits": empty when the entry has
    // none, nothing when no entry names the kit.
    std::optional<nlohmann::json> configurationDictionaryForKit(const KBKitObject& kit);
    std::optional<nlohmann::json> configurationDictionaryForKitClass(const KBKitClass& kitClass);

    static std::vector<KBKitClass> convertToKitClassesIfNeeded(const std::vector<KBKitReference>& kits);
    static void validateFABKitConformance(const std::vector<KBKitClass>& kits);
    std::vector<KBKitClass> kitClassesByAddingDigitsIfFound(std::vector<KBKitClass> kits) const;
    std::vector<KBKitClass> kitClassesByAddingTallyIfFound(std::vector<KBKitClass> kits) const;
    std::vector<KBKitClass> kitClassesByEnsuringAppseeIsFirst(std::vector<KBKitClass> kits) const;
    static void initializeKit(const KBKitClass& kit);

private:
    void onboardAppAndDownloadSettings();
    std::string readInstallationUUID();
    std::string generateInstallationUUID();
    nlohmann::json validKitbaseConfigFromInfoPlist(const std::optional<nlohmann::json>& info);

    Environment environment_;
    std::mutex startMutex_;
    bool startAttempted_ = false;

    mutable std::mutex stateMutex_;
    std::optional<nlohmann::json> kitbaseConfig_;
    bool apiKeyRead_ = false;
    std::optional<std::string> apiKey_;
    bool debug_ = false;
    std::vector<KBKitClass> kitClasses_;
    std::optional<std::string> advertisingToken_;

    std::string installID_;
    bool isFirstInstall_ = false;
    std::string executionIdentifier_;
    std::shared_ptr<KBApplicationIdentiferModel> applicationIdentifierModel_;
    std::shared_ptr<KBSettingsOnboarding> settingsAndOnboardingManager_;
};
