#include "kit/core/Kitbase.h"

#include "kit/core/KBException.h"
#include "kit/core/KBMainBundle.h"
#include "kit/core/KBSettingsOnboardingManager.h"
#include "kit/support/KBDigest.h"
#include "kit/support/KBIdentifiers.h"
#include "kit/support/KBLog.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr const char* kClassName = "Kitbase";

std::string quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

bool contains(const std::vector<KBKitClass>& kits, const KBKitClass& kit)
{
    return kit && std::find(kits.begin(), kits.end(), kit) != kits.end();
}

bool isValidLegacyKit(const KBKitDescriptor& kit)
{
    return kit.sharedInstance && kit.sharedInstance->start && kit.sharedInstance->bundleIdentifier
        && kit.sharedInstance->version;
}

} // namespace

Kitbase::Environment Kitbase::Environment::process()
{
    Environment environment;
    environment.registry = KBKitRegistry::shared();
    environment.defaults = CWUserDefaults::standardUserDefaults();
    environment.infoDictionary = KBMainBundle::infoDictionary;
    environment.makeIdentity = KBApplicationIdentiferModel::make;
    environment.makeSettingsManager = [](Kitbase& kitbase) {
        KBSettingsOnboardingManager::Environment managerEnvironment;
        managerEnvironment.advertisingToken = [&kitbase] { return kitbase.advertisingToken(); };
        return std::make_shared<KBSettingsOnboardingManager>(kitbase.applicationIdentifierModel(), managerEnvironment);
    };
    return environment;
}

Kitbase::Kitbase(Environment environment)
    : environment_(std::move(environment))
{
    installID_ = readInstallationUUID();
    if (installID_.empty()) {
        isFirstInstall_ = true;
        installID_ = generateInstallationUUID();
    }
    std::string execution = KBCreateUUIDString();
    execution.erase(std::remove(execution.begin(), execution.end(), '-'), execution.end());
    std::transform(execution.begin(), execution.end(), execution.begin(),
        [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    executionIdentifier_ = execution;
    if (environment_.makeIdentity) {
        applicationIdentifierModel_ = environment_.makeIdentity(installID_);
    }
    if (environment_.makeSettingsManager) {
        settingsAndOnboardingManager_ = environment_.makeSettingsManager(*this);
    }
}

Kitbase& Kitbase::sharedSDK()
{
    static Kitbase* shared = new Kitbase(Environment::process());
    return *shared;
}

Kitbase& Kitbase::with(const std::vector<KBKitReference>& kits)
{
    return sharedSDK().start(kits);
}

Kitbase& Kitbase::start(const std::vector<KBKitReference>& kits)
{
    // Held for the whole start: a second caller waits for the first, then
    // finds the flag set (also when the first one threw).
    std::lock_guard lock(startMutex_);
    if (startAttempted_) {
        KBLog::info("[Kitbase] [Kitbase +with] called multiple times. Only the first call is honored, please pass "
                    "all kits you wish to initialize");
        return *this;
    }
    startAttempted_ = true;
    const auto key = APIKey();
    if (!key) {
        return *this;
    }
    std::vector<KBKitClass> classes = convertToKitClassesIfNeeded(kits);
    validateFABKitConformance(classes);
    classes = kitClassesByAddingDigitsIfFound(std::move(classes));
    classes = kitClassesByAddingTallyIfFound(std::move(classes));
    classes = kitClassesByEnsuringAppseeIsFirst(std::move(classes));
    {
        std::lock_guard state(stateMutex_);
        kitClasses_ = classes;
    }
    for (const auto& kit : classes) {
        initializeKit(kit);
    }
    onboardAppAndDownloadSettings();
    return *this;
}

void Kitbase::onboardAppAndDownloadSettings()
{
    if (settingsAndOnboardingManager_) {
        settingsAndOnboardingManager_->beginSettingsAndOnboardingOperations(
            APIKey().value_or(""), kitVersionsByKitBundleIdentifier());
    }
}

std::map<std::string, std::string> Kitbase::kitVersionsByKitBundleIdentifier() const
{
    std::map<std::string, std::string> versions;
    for (const auto& kit : kitClasses()) {
        if (kit->kit) {
            versions[kit->kit->bundleIdentifier] = kit->kit->displayVersion;
        } else if (isValidLegacyKit(*kit)) {
            versions[*kit->sharedInstance->bundleIdentifier] = *kit->sharedInstance->version;
        }
    }
    versions[kb::kCoreIdentifier] = kb::kCoreDisplayVersion;
    KBLog::debug("[Kitbase] Initialized with kit versions: " + nlohmann::json(versions).dump());
    return versions;
}

std::string Kitbase::readInstallationUUID()
{
    if (!environment_.defaults) {
        return {};
    }
    const auto value = environment_.defaults->objectForKeyByMigratingFromNSUserDefaults(kb::kInstallationUUIDKey);
    return value && value->is_string() ? value->get<std::string>() : std::string();
}

std::string Kitbase::generateInstallationUUID()
{
    const std::string uuid = KBCreateUUIDString();
    if (environment_.defaults) {
        environment_.defaults->setString(uuid, kb::kInstallationUUIDKey);
        environment_.defaults->synchronize();
    }
    return uuid;
}

nlohmann::json Kitbase::validKitbaseConfigFromInfoPlist(const std::optional<nlohmann::json>& info)
{
    const std::string tag = std::string("[") + kClassName + "] ";
    if (!info || !info->is_object()) {
        throw KBException(tag + "Cannot find Info.plist.");
    }
    const auto kitbase = info->find("Kitbase");
    if (kitbase == info->end() || !kitbase->is_object()) {
        throw KBException(tag + "Value of Info.plist key " + quoted("Kitbase") + " must be a NSDictionary.");
    }
    const auto kits = kitbase->find("Kits");
    if (kits == kitbase->end() || !kits->is_array()) {
        KBLog::info("[Kitbase] " + tag + "Value of Info.plist[Kitbase][Kits] should be a NSArray.");
    }
    const auto key = kitbase->find("APIKey");
    if (key == kitbase->end() || !key->is_string()) {
        throw KBException(tag + "Value of Info.plist[Kitbase][APIKey] must contain your " + kClassName + " API Key.");
    }
    return *kitbase;
}

nlohmann::json Kitbase::kitbaseConfig()
{
    {
        std::lock_guard lock(stateMutex_);
        if (kitbaseConfig_) {
            return *kitbaseConfig_;
        }
    }
    const auto info = environment_.infoDictionary ? environment_.infoDictionary() : std::nullopt;
    nlohmann::json config = validKitbaseConfigFromInfoPlist(info);
    std::lock_guard lock(stateMutex_);
    kitbaseConfig_ = config;
    return config;
}

std::optional<std::string> Kitbase::APIKey()
{
    {
        std::lock_guard lock(stateMutex_);
        if (apiKeyRead_) {
            return apiKey_;
        }
    }
    const nlohmann::json config = kitbaseConfig();
    const auto key = config.find("APIKey");
    std::optional<std::string> value;
    if (key != config.end() && key->is_string()) {
        value = key->get<std::string>();
    }
    if (!value) {
        KBLog::info("[Kitbase] Kitbase API Key is nil! Kitbase won't work unless there is a valid API Key setup "
                    "in Info.plist");
    }
    std::lock_guard lock(stateMutex_);
    apiKeyRead_ = true;
    apiKey_ = value;
    return value;
}

void Kitbase::setAPIKey(std::optional<std::string> key)
{
    std::lock_guard lock(stateMutex_);
    apiKeyRead_ = true;
    apiKey_ = std::move(key);
}

bool Kitbase::debug() const
{
    std::lock_guard lock(stateMutex_);
    return debug_;
}

void Kitbase::setDebug(bool debug)
{
    {
        std::lock_guard lock(stateMutex_);
        debug_ = debug;
    }
    KBLog::setDebugEnabled(debug);
}

std::vector<KBKitClass> Kitbase::kitClasses() const
{
    std::lock_guard lock(stateMutex_);
    return kitClasses_;
}

std::shared_ptr<KBSettingsOnboarding> Kitbase::settingsAndOnboardingManager() const
{
    return settingsAndOnboardingManager_;
}

std::shared_ptr<KBApplicationIdentiferModel> Kitbase::applicationIdentifierModel() const
{
    return applicationIdentifierModel_;
}

const std::string& Kitbase::installID() const
{
    return installID_;
}

bool Kitbase::isFirstInstall() const
{
    return isFirstInstall_;
}

const std::string& Kitbase::executionIdentifier() const
{
    return executionIdentifier_;
}

std::optional<std::string> Kitbase::instanceIdentifier() const
{
    if (!applicationIdentifierModel_) {
        return std::nullopt;
    }
    return applicationIdentifierModel_->instanceIdentifier();
}

std::optional<nlohmann::json> Kitbase::settings() const
{
    return settingsAndOnboardingManager_ ? settingsAndOnboardingManager_->settingsDictionary() : std::nullopt;
}

std::optional<std::string> Kitbase::advertisingToken() const
{
    std::lock_guard lock(stateMutex_);
    return advertisingToken_;
}

void Kitbase::setAdvertisingToken(std::optional<std::string> token)
{
    std::lock_guard lock(stateMutex_);
    advertisingToken_ = std::move(token);
}

std::optional<nlohmann::json> Kitbase::configurationDictionaryForKit(const KBKitObject& kit)
{
    return configurationDictionaryForKitClass(kit.kitClass);
}

std::optional<nlohmann::json> Kitbase::configurationDictionaryForKitClass(const KBKitClass& kitClass)
{
    if (!kitClass) {
        return std::nullopt;
    }
    const nlohmann::json config = kitbaseConfig();
    const auto kits = config.find("Kits");
    if (kits == config.end() || !kits->is_array()) {
        return std::nullopt;
    }
    for (const auto& entry : *kits) {
        if (!entry.is_object() || entry.value("KitName", nlohmann::json()) != kitClass->className) {
            continue;
        }
        const auto info = entry.find("KitInfo");
        return info != entry.end() ? *info : nlohmann::json::object();
    }
    return std::nullopt;
}

std::vector<KBKitClass> Kitbase::convertToKitClassesIfNeeded(const std::vector<KBKitReference>& kits)
{
    std::vector<KBKitClass> classes;
    for (const auto& reference : kits) {
        classes.push_back(std::holds_alternative<KBKitClass>(reference) ? std::get<KBKitClass>(reference)
                                                                        : std::get<KBKitObject>(reference).kitClass);
    }
    return classes;
}

void Kitbase::validateFABKitConformance(const std::vector<KBKitClass>& kits)
{
    const std::string tag = std::string("[") + kClassName + "] ";
    for (const auto& kit : kits) {
        const std::string name = kit ? kit->className : std::string("(null)");
        if (kit && kit->kit) {
            continue;
        }
        if (kit && kit->sharedInstance) {
            KBLog::info(tag + "Please upgrade to the latest version of " + quoted(name));
            if (isValidLegacyKit(*kit)) {
                continue;
            }
        }
        throw KBException(tag + "It appears that " + quoted(name)
            + " is not a valid Kitbase Kit. Please make sure you only pass Kitbase Kits to "
              "[Kitbase with:].");
    }
}

std::vector<KBKitClass> Kitbase::kitClassesByAddingDigitsIfFound(std::vector<KBKitClass> kits) const
{
    const KBKitClass digits = environment_.registry ? environment_.registry->classNamed("Digits") : nullptr;
    if (digits && !contains(kits, digits)) {
        kits.push_back(digits);
    }
    return kits;
}

std::vector<KBKitClass> Kitbase::kitClassesByAddingTallyIfFound(std::vector<KBKitClass> kits) const
{
    if (!environment_.registry) {
        return kits;
    }
    const KBKitClass crashwatch = environment_.registry->classNamed("Crashwatch");
    const KBKitClass tally = environment_.registry->classNamed("Tally");
    if (crashwatch && tally && contains(kits, crashwatch) && tally->kit && !contains(kits, tally)) {
        kits.push_back(tally);
    }
    return kits;
}

std::vector<KBKitClass> Kitbase::kitClassesByEnsuringAppseeIsFirst(std::vector<KBKitClass> kits) const
{
    const KBKitClass appsee = environment_.registry ? environment_.registry->classNamed("Appsee") : nullptr;
    const auto found = appsee ? std::find(kits.begin(), kits.end(), appsee) : kits.end();
    if (found != kits.end()) {
        std::rotate(kits.begin(), found, found + 1);
    }
    return kits;
}

void Kitbase::initializeKit(const KBKitClass& kit)
{
    if (kit->kit) {
        if (kit->kit->initializeIfNeeded) {
            kit->kit->initializeIfNeeded();
        }
        return;
    }
    if (kit->sharedInstance && kit->sharedInstance->start) {
        kit->sharedInstance->start();
    }
}
