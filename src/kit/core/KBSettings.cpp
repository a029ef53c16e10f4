#include "kit/core/KBSettings.h"

#include "kit/core/KBApplicationFacts.h"
#include "kit/core/KBURLBuilder.h"
#include "kit/support/KBFiles.h"
#include "kit/support/KBLog.h"

#include <filesystem>

KBSettings::KBSettings(std::string settingsPath)
    : settingsPath_(std::move(settingsPath))
{
}

std::optional<nlohmann::json> KBSettings::settingsDictionary()
{
    std::lock_guard lock(mutex_);
    if (dictionary_) {
        return dictionary_;
    }
    const auto text = KBFiles::read(settingsPath_);
    if (!text) {
        return std::nullopt;
    }
    try {
        dictionary_ = nlohmann::json::parse(*text);
    } catch (const nlohmann::json::exception& error) {
        KBLog::info(std::string("[Kitbase] Could not load settings with error: ") + error.what());
        std::error_code ignored;
        std::filesystem::remove(settingsPath_, ignored);
        return std::nullopt;
    }
    return dictionary_;
}

void KBSettings::clearSettingsDictionary()
{
    std::lock_guard lock(mutex_);
    dictionary_.reset();
}

std::optional<nlohmann::json> KBSettings::appSettings()
{
    const auto settings = settingsDictionary();
    if (!settings || !settings->is_object()) {
        return std::nullopt;
    }
    const auto app = settings->find("app");
    if (app == settings->end() || app->is_null()) {
        return std::nullopt;
    }
    return *app;
}

std::optional<std::string> KBSettings::appStatus()
{
    const auto app = appSettings();
    if (!app || !app->is_object()) {
        return std::nullopt;
    }
    const auto status = app->find("status");
    return status != app->end() && status->is_string() ? std::optional(status->get<std::string>()) : std::nullopt;
}

bool KBSettings::appNeedsOnboarding()
{
    return appStatus() == "new";
}

bool KBSettings::appUpdateRequired()
{
    const auto app = appSettings();
    if (!app || !app->is_object()) {
        return false;
    }
    const auto required = app->find("update_required");
    return required != app->end() && required->is_boolean() && required->get<bool>();
}

std::optional<std::string> KBSettings::appBundleIdentifier()
{
    return KBEscapedBundleIdentifier();
}

std::string KBSettings::appPlatform()
{
    return "linux";
}

std::optional<std::string> KBSettings::appBuildVersion()
{
    return KBApplicationBuildVersion();
}

std::optional<std::string> KBSettings::appDisplayVersion()
{
    return KBApplicationDisplayVersion();
}

int KBSettings::appSource()
{
    return KBInstallationSource();
}

std::optional<std::string> KBSettings::settingsURLForEndpoint(const std::string& endpoint,
    const std::optional<std::string>& instanceIdentifier, const std::optional<std::string>& iconHash)
{
    auto asJson = [](const std::optional<std::string>& text) {
        return text ? std::optional<nlohmann::json>(*text) : std::nullopt;
    };
    auto builder = KBURLBuilder::URLWithBase(endpoint);
    builder.appendComponent("/spi/v2/platforms/");
    builder.escapeAndAppendComponent(appPlatform());
    builder.appendComponent("/apps/");
    builder.escapeAndAppendComponent(appBundleIdentifier().value_or(""));
    builder.appendComponent("/settings");
    builder.appendValue(asJson(appBuildVersion()), "build_version");
    builder.appendValue(asJson(appDisplayVersion()), "display_version");
    builder.appendValue(asJson(instanceIdentifier), "instance");
    builder.appendValue(asJson(iconHash), "icon_hash");
    builder.appendValue(nlohmann::json(appSource()), "source");
    return builder.URL();
}

const std::string& KBSettings::settingsPath() const
{
    return settingsPath_;
}
