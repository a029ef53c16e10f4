#include "kit/tally/TYSettings.h"

#include "kit/core/KBMainBundle.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

size_t skipSpace(const std::string& text)
{
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])) != 0) {
        ++i;
    }
    return i;
}

} // namespace

TYSettings::TYSettings(std::optional<nlohmann::json> settingsDictionary)
    : settingsDictionary_(std::move(settingsDictionary))
{
}

bool TYSettings::valid() const
{
    return settingsDictionary_.has_value();
}

const std::optional<nlohmann::json>& TYSettings::settingsDictionary() const
{
    return settingsDictionary_;
}

const nlohmann::json* TYSettings::entry(const char* section, const char* key) const
{
    if (!settingsDictionary_ || !settingsDictionary_->is_object()) {
        return nullptr;
    }
    const auto group = settingsDictionary_->find(section);
    if (group == settingsDictionary_->end() || !group->is_object()) {
        return nullptr;
    }
    const auto value = group->find(key);
    if (value == group->end() || value->is_null()) {
        return nullptr;
    }
    return &*value;
}

std::string TYSettings::tallyURL() const
{
    const nlohmann::json* url = entry("analytics", "url");
    if (url != nullptr && url->is_string()) {
        return url->get<std::string>();
    }
    return defaultTallyURL();
}

std::string TYSettings::defaultTallyURL()
{
    const auto info = KBMainBundle::infoDictionary();
    if (!info || !info->is_object() || !info->contains("Kitbase") || !(*info)["Kitbase"].is_object()) {
        return {};
    }
    const nlohmann::json& kits = (*info)["Kitbase"].value("Kits", nlohmann::json::array());
    if (!kits.is_array()) {
        return {};
    }
    for (const auto& kit : kits) {
        if (!kit.is_object() || kit.value("KitName", nlohmann::json()) != "Tally") {
            continue;
        }
        const nlohmann::json kitInfo = kit.value("KitInfo", nlohmann::json::object());
        const auto upload = kitInfo.is_object() ? kitInfo.find("UploadURL") : kitInfo.end();
        if (upload == kitInfo.end() || !upload->is_string() || upload->get<std::string>().empty()) {
            return {};
        }
        return upload->get<std::string>() + "/spi/v2/events";
    }
    return {};
}

bool TYSettings::shouldCollectAnalytics() const
{
    const nlohmann::json* value = entry("features", "collect_analytics");
    return value != nullptr ? boolValue(*value).value_or(true) : true;
}

bool TYSettings::shouldCollectCustomEvents() const
{
    const nlohmann::json* value = entry("analytics", "track_custom_events");
    return value != nullptr ? boolValue(*value).value_or(true) : true;
}

bool TYSettings::shouldCollectPredefinedEvents() const
{
    const nlohmann::json* value = entry("analytics", "track_predefined_events");
    return value != nullptr ? boolValue(*value).value_or(true) : true;
}

int64_t TYSettings::maximumPayloadSize() const
{
    const nlohmann::json* value = entry("analytics", "max_byte_size_per_file");
    return value != nullptr ? integerValue(*value).value_or(8000) : 8000;
}

int64_t TYSettings::maxPendingSendFiles() const
{
    const nlohmann::json* value = entry("analytics", "max_pending_send_file_count");
    return value != nullptr ? integerValue(*value).value_or(100) : 100;
}

double TYSettings::flushInterval() const
{
    const nlohmann::json* value = entry("analytics", "flush_interval_secs");
    return value != nullptr ? doubleValue(*value).value_or(0.0) : 0.0;
}

int64_t TYSettings::samplingRate() const
{
    const nlohmann::json* value = entry("analytics", "sampling_rate");
    return value != nullptr ? integerValue(*value).value_or(1) : 1;
}

double TYSettings::defaultUploadTimeout() const
{
    const nlohmann::json* value = entry("analytics", "upload_timeout_secs");
    return value != nullptr ? doubleValue(*value).value_or(21600.0) : 21600.0;
}

double TYSettings::lowPowerUploadTimeout() const
{
    const nlohmann::json* value = entry("analytics", "low_power_upload_timeout_secs");
    return value != nullptr ? doubleValue(*value).value_or(3600.0) : 3600.0;
}

std::optional<bool> TYSettings::boolValue(const nlohmann::json& value)
{
    if (value.is_boolean()) {
        return value.get<bool>();
    }
    if (value.is_number()) {
        return value.get<double>() != 0.0;
    }
    if (!value.is_string()) {
        return std::nullopt;
    }
    // Texts: leading space, sign and zeros skipped; then Y, y, T, t or a
    // digit 1-9 is true.
    const std::string text = value.get<std::string>();
    size_t i = skipSpace(text);
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        ++i;
    }
    while (i < text.size() && text[i] == '0') {
        ++i;
    }
    if (i == text.size()) {
        return false;
    }
    const char c = text[i];
    return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

std::optional<int64_t> TYSettings::integerValue(const nlohmann::json& value)
{
    if (value.is_boolean()) {
        return value.get<bool>() ? 1 : 0;
    }
    if (value.is_number_integer()) {
        return value.get<int64_t>();
    }
    if (value.is_number_float()) {
        const double number = value.get<double>();
        if (std::isnan(number)) {
            return 0;
        }
        if (number >= 9223372036854775807.0) {
            return std::numeric_limits<int64_t>::max();
        }
        if (number <= -9223372036854775808.0) {
            return std::numeric_limits<int64_t>::min();
        }
        return static_cast<int64_t>(number);
    }
    if (!value.is_string()) {
        return std::nullopt;
    }
    // Texts: the leading decimal integer, 0 when there is none; saturating.
    const std::string text = value.get<std::string>();
    const char* start = text.c_str() + skipSpace(text);
    return static_cast<int64_t>(std::strtoll(start, nullptr, 10));
}

std::optional<double> TYSettings::doubleValue(const nlohmann::json& value)
{
    if (value.is_boolean()) {
        return value.get<bool>() ? 1.0 : 0.0;
    }
    if (value.is_number()) {
        return value.get<double>();
    }
    if (!value.is_string()) {
        return std::nullopt;
    }
    const std::string text = value.get<std::string>();
    return std::strtod(text.c_str() + skipSpace(text), nullptr);
}
