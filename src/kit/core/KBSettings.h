#pragma once

#include <nlohmann/json.hpp>

#include <mutex>
#include <optional>
#include <string>

// The cached settings file of this application, read on first use and kept
// until cleared. A file that is not JSON is deleted when read.
class KBSettings {
public:
    explicit KBSettings(std::string settingsPath);

    std::optional<nlohmann::json> settingsDictionary();
    void clearSettingsDictionary();

    std::optional<nlohmann::json> appSettings();
    std::optional<std::string> appStatus();
    bool appNeedsOnboarding();
    bool appUpdateRequired();
    static std::optional<std::string> appBundleIdentifier();
    static std::string appPlatform();
    static std::optional<std::string> appBuildVersion();
    static std::optional<std::string> appDisplayVersion();
    static int appSource();
    static std::optional<std::string> settingsURLForEndpoint(const std::string& endpoint,
        const std::optional<std::string>& instanceIdentifier, const std::optional<std::string>& iconHash);
    const std::string& settingsPath() const;

private:
    std::string settingsPath_;
    // The dictionary is cleared and read from different queues.
    std::mutex mutex_;
    std::optional<nlohmann::json> dictionary_;
};
