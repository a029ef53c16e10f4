#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

// The crash kit's read-only view of its settings: the downloaded settings
// dictionary (features, limits, prompt texts) and the local configuration
// (environment, app-info, built-in defaults) for endpoints and switches. Every
// answer is worked out at each call.
class CWSettings {
public:
    // The downloaded settings, or nothing before the first download.
    explicit CWSettings(std::optional<nlohmann::json> settingsDictionary);

    const std::optional<nlohmann::json>& settingsDictionary() const;

    static const nlohmann::json& defaultConfiguration();
    // The app-info "Crashwatch" dictionary.
    static std::optional<nlohmann::json> configuration();
    // Environment "Crashwatch<key>" (logged), then app-info, then the built-in value.
    static std::optional<nlohmann::json> valueForConfigurationKey(const std::string& key);
    // Yes for "Y", "y", "T", "t" or a digit 1-9 after blanks, a sign and zeros; numbers when not zero.
    static bool boolValue(const std::optional<nlohmann::json>& value);

    std::string reportsEndpoint() const;
    std::string betaEndpoint() const;
    bool shouldPackageReports() const;
    bool shouldSubmitReports() const;
    bool canProcessUrgentReports() const;

    bool crashReportingEnabled() const;
    bool errorReportingEnabled() const;
    bool customExceptionsEnabled() const;
    bool userPromptEnabled() const;
    uint32_t logBufferSize() const;
    uint32_t errorLogBufferSize() const;
    uint32_t maxCustomExceptions() const;
    uint32_t maxCustomKeys() const;
    double betaSuspendDuration() const;

    std::string promptValueForSettingsKey(
        const std::string& settingsKey, const std::string& localizedKey, const std::string& defaultValue) const;
    std::string interactivePromptTitle() const;
    std::string interactivePromptMessage() const;
    std::string interactivePromptCancelTitle() const;
    std::string interactivePromptSendTitle() const;
    std::string interactivePromptAlwaysSendTitle() const;

private:
    // The value at group.key of the settings; JSON null counts as absent.
    std::optional<nlohmann::json> settingsValue(const char* group, const char* key) const;
    bool settingsBool(const char* group, const char* key, bool fallback) const;
    uint32_t settingsUnsigned(const char* group, const char* key, uint32_t fallback) const;

    std::optional<nlohmann::json> settingsDictionary_;
};
