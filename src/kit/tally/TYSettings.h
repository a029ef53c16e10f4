#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>

// The analytics view of the kit settings: each getter reads one entry,
// converting numbers and texts as the platform does, and falls back to its
// default when the dictionary or the entry is missing (a JSON null counts as
// missing).
class TYSettings {
public:
    explicit TYSettings(std::optional<nlohmann::json> settingsDictionary);

    bool valid() const;
    const std::optional<nlohmann::json>& settingsDictionary() const;

    // The build's events endpoint plus "/spi/v2/events"; empty when the build
    // configured none.
    std::string tallyURL() const;
    bool shouldCollectAnalytics() const;
    bool shouldCollectCustomEvents() const;
    bool shouldCollectPredefinedEvents() const;
    int64_t maximumPayloadSize() const;
    int64_t maxPendingSendFiles() const;
    double flushInterval() const;
    int64_t samplingRate() const;
    double defaultUploadTimeout() const;
    double lowPowerUploadTimeout() const;

    // The endpoint named by the app-info ("Kitbase"."Kits", the "Tally" entry's
    // "KitInfo"."UploadURL").
    static std::string defaultTallyURL();

    // The platform's conversions of a number or text.
    static std::optional<bool> boolValue(const nlohmann::json& value);
    static std::optional<int64_t> integerValue(const nlohmann::json& value);
    static std::optional<double> doubleValue(const nlohmann::json& value);

private:
    const nlohmann::json* entry(const char* section, const char* key) const;

    std::optional<nlohmann::json> settingsDictionary_;
};
