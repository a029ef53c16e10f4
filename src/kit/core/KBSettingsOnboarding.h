#pragma once

#include <nlohmann/json.hpp>

#include <map>
#include <optional>
#include <string>

// What Kitbase asks of the settings manager: begin the download (and any
// onboarding) once, and hand out the cached settings.
class KBSettingsOnboarding {
public:
    virtual ~KBSettingsOnboarding() = default;
    virtual void beginSettingsAndOnboardingOperations(
        const std::string& apiKey, const std::map<std::string, std::string>& kitVersions)
        = 0;
    virtual std::optional<nlohmann::json> settingsDictionary() = 0;
};
