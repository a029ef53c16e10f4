#include "kit/crash/CWSettings.h"

#include <cmath>
#include <cstdlib>
#include <limits>

#include "kit/core/KBMainBundle.h"
#include "kit/support/KBLog.h"
#include "kit/tally/TYSettings.h"

namespace {

std::string stringOf(const std::optional<nlohmann::json>& value)
{
    return value && value->is_string() ? value->get<std::string>() : std::string();
}

} // namespace

CWSettings::CWSettings(std::optional<nlohmann::json> settingsDictionary)
    : settingsDictionary_(std::move(settingsDictionary))
{
}

const std::optional<nlohmann::json>& CWSettings::settingsDictionary() const
{
    return settingsDictionary_;
}

const nlohmann::json& CWSettings::defaultConfiguration()
{
    // Endpoints are configuration: with none set, uploads fail at once and are logged.
    static const nlohmann::json defaults{{"ReportsEndpoint", ""}, {"BetaEndpoint", ""}, {"PackageReports", true},
        {"SubmitReports", true}, {"UrgentReports", true}};
    return defaults;
}

std::optional<nlohmann::json> CWSettings::configuration()
{
    const auto info = KBMainBundle::infoDictionary();
    if (!info || !info->is_object()) {
        return std::nullopt;
    }
    const auto found = info->find("Crashwatch");
    if (found == info->end() || !found->is_object()) {
        return std::nullopt;
    }
    return *found;
}

std::optional<nlohmann::json> CWSettings::valueForConfigurationKey(const std::string& key)
{
    if (const char* value = std::getenv(("Crashwatch" + key).c_str())) {
        KBLog::info("[Crashwatch:Crash] override: '" + key + "' => '" + value + "'");
        return nlohmann::json(value);
    }
    if (const auto local = configuration()) {
        const auto found = local->find(key);
        if (found != local->end() && !found->is_null()) {
            return *found;
        }
    }
    const auto& defaults = defaultConfiguration();
    const auto found = defaults.find(key);
    return found == defaults.end() ? std::nullopt : std::optional<nlohmann::json>(*found);
}

bool CWSettings::boolValue(const std::optional<nlohmann::json>& value)
{
    // The analytics kit reads its switches by the same platform rules.
    return value && TYSettings::boolValue(*value).value_or(false);
}

std::string CWSettings::reportsEndpoint() const
{
    return stringOf(valueForConfigurationKey("ReportsEndpoint"));
}

std::string CWSettings::betaEndpoint() const
{
    return stringOf(valueForConfigurationKey("BetaEndpoint"));
}

bool CWSettings::shouldPackageReports() const
{
    return boolValue(valueForConfigurationKey("PackageReports"));
}

bool CWSettings::shouldSubmitReports() const
{
    return boolValue(valueForConfigurationKey("SubmitReports"));
}

bool CWSettings::canProcessUrgentReports() const
{
    return boolValue(valueForConfigurationKey("UrgentReports"));
}

std::optional<nlohmann::json> CWSettings::settingsValue(const char* group, const char* key) const
{
    if (!settingsDictionary_ || !settingsDictionary_->is_object()) {
        return std::nullopt;
    }
    const auto outer = settingsDictionary_->find(group);
    if (outer == settingsDictionary_->end() || !outer->is_object()) {
        return std::nullopt;
    }
    const auto inner = outer->find(key);
    if (inner == outer->end() || inner->is_null()) {
        return std::nullopt;
    }
    return *inner;
}

bool CWSettings::settingsBool(const char* group, const char* key, bool fallback) const
{
    const auto value = settingsValue(group, key);
    return value ? boolValue(value) : fallback;
}

uint32_t CWSettings::settingsUnsigned(const char* group, const char* key, uint32_t fallback) const
{
    const auto value = settingsValue(group, key);
    if (!value || !value->is_number()) {
        return fallback;
    }
    const double number = value->get<double>();
    if (std::isnan(number) || number <= 0) {
        return 0;
    }
    if (number >= static_cast<double>(std::numeric_limits<uint32_t>::max())) {
        return std::numeric_limits<uint32_t>::max();
    }
    return static_cast<uint32_t>(number);
}

bool CWSettings::crashReportingEnabled() const
{
    return settingsBool("features", "collect_reports", true);
}

bool CWSettings::errorReportingEnabled() const
{
    return settingsBool("features", "collect_logged_exceptions", true);
}

bool CWSettings::customExceptionsEnabled() const
{
    return errorReportingEnabled();
}

bool CWSettings::userPromptEnabled() const
{
    return settingsBool("features", "prompt_enabled", false);
}

uint32_t CWSettings::logBufferSize() const
{
    return settingsUnsigned("session", "log_buffer_size", 65536);
}

uint32_t CWSettings::errorLogBufferSize() const
{
    return logBufferSize();
}

uint32_t CWSettings::maxCustomExceptions() const
{
    return settingsUnsigned("session", "max_custom_exception_events", 16);
}

uint32_t CWSettings::maxCustomKeys() const
{
    return settingsUnsigned("session", "max_custom_key_value_pairs", 16);
}

double CWSettings::betaSuspendDuration() const
{
    const auto value = settingsValue("beta", "update_suspend_duration");
    return value && value->is_number() ? value->get<double>() : 3600.0;
}

std::string CWSettings::promptValueForSettingsKey(
    const std::string& settingsKey, const std::string& localizedKey, const std::string& defaultValue) const
{
    // There is no strings table to look the localized key up in; the settings text
    // or the default is what the user sees.
    (void)localizedKey;
    const auto value = settingsValue("prompt", settingsKey.c_str());
    return value && value->is_string() ? value->get<std::string>() : defaultValue;
}

std::string CWSettings::interactivePromptTitle() const
{
    return promptValueForSettingsKey("title", "CrashwatchCrashSubmissionPromptTitle", "Send Crash Report?");
}

std::string CWSettings::interactivePromptMessage() const
{
    return promptValueForSettingsKey("message", "CrashwatchCrashSubmissionPromptMessage",
        "Looks like we crashed! Please help us fix the problem by sending a crash report.");
}

std::string CWSettings::interactivePromptCancelTitle() const
{
    return promptValueForSettingsKey("cancel_button_title", "CrashwatchCrashSubmissionCancelTitle", "Don't Send");
}

std::string CWSettings::interactivePromptSendTitle() const
{
    return promptValueForSettingsKey("send_button_title", "CrashwatchCrashSubmissionSendTitle", "Send");
}

std::string CWSettings::interactivePromptAlwaysSendTitle() const
{
    return promptValueForSettingsKey(
        "always_send_button_title", "CrashwatchCrashSubmissionAlwaysSendTitle", "Always Send");
}
