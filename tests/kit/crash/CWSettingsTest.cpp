#include <gtest/gtest.h>

#include <cstdlib>

#include "kit/core/KBMainBundle.h"
#include "kit/crash/CWSettings.h"
#include "kit/support/KBLog.h"

namespace {

class EnvironmentScope {
public:
    EnvironmentScope(const char* name, const char* value)
        : name_(name)
    {
        ::setenv(name, value, 1);
    }
    ~EnvironmentScope() { ::unsetenv(name_); }

private:
    const char* name_;
};

} // namespace

TEST(CWSettingsTest, BeforeTheFirstDownloadEveryDefaultHolds)
{
    const CWSettings settings(std::nullopt);
    EXPECT_TRUE(settings.crashReportingEnabled());
    EXPECT_TRUE(settings.errorReportingEnabled());
    EXPECT_TRUE(settings.customExceptionsEnabled());
    EXPECT_FALSE(settings.userPromptEnabled());
    EXPECT_EQ(settings.logBufferSize(), 65536u);
    EXPECT_EQ(settings.errorLogBufferSize(), 65536u);
    EXPECT_EQ(settings.maxCustomExceptions(), 16u);
    EXPECT_EQ(settings.maxCustomKeys(), 16u);
    EXPECT_EQ(settings.betaSuspendDuration(), 3600.0);
    EXPECT_TRUE(settings.shouldPackageReports());
    EXPECT_TRUE(settings.shouldSubmitReports());
    EXPECT_TRUE(settings.canProcessUrgentReports());
    EXPECT_EQ(settings.interactivePromptTitle(), "Send Crash Report?");
    EXPECT_EQ(settings.interactivePromptMessage(),
        "Looks like we crashed! Please help us fix the problem by sending a crash report.");
    EXPECT_EQ(settings.interactivePromptCancelTitle(), "Don't Send");
    EXPECT_EQ(settings.interactivePromptSendTitle(), "Send");
    EXPECT_EQ(settings.interactivePromptAlwaysSendTitle(), "Always Send");
}

TEST(CWSettingsTest, DownloadedValuesOnlyReplaceDefaultsWhereTheyArePresent)
{
    const auto settings = [](const char* json) { return CWSettings(nlohmann::json::parse(json)); };
    EXPECT_FALSE(settings(R"({"features": {"prompt_enabled": false}})").userPromptEnabled());
    EXPECT_TRUE(settings(R"({"features": {"prompt_enabled": true}})").userPromptEnabled());
    EXPECT_FALSE(settings(R"({"features": {}})").userPromptEnabled());

    const CWSettings zero = settings(R"({"session": {"log_buffer_size": 0, "max_custom_exception_events": null,
        "max_custom_key_value_pairs": 5000000000}, "features": {"collect_reports": null,
        "collect_logged_exceptions": false}, "beta": {"update_suspend_duration": 60}})");
    EXPECT_EQ(zero.logBufferSize(), 0u);
    EXPECT_EQ(zero.maxCustomExceptions(), 16u);
    EXPECT_EQ(zero.maxCustomKeys(), 4294967295u);
    EXPECT_TRUE(zero.crashReportingEnabled());
    EXPECT_FALSE(zero.errorReportingEnabled());
    EXPECT_FALSE(zero.customExceptionsEnabled());
    EXPECT_EQ(zero.betaSuspendDuration(), 60.0);
    EXPECT_EQ(settings(R"({"session": {"log_buffer_size": -5}})").logBufferSize(), 0u);

    const CWSettings prompt = settings(R"({"prompt": {"title": "Oops", "message": null}})");
    EXPECT_EQ(prompt.interactivePromptTitle(), "Oops");
    EXPECT_EQ(prompt.interactivePromptMessage(),
        "Looks like we crashed! Please help us fix the problem by sending a crash report.");
}

TEST(CWSettingsTest, EnvironmentThenAppInfoThenBuiltInConfiguration)
{
    const auto previous = KBMainBundle::infoDictionary();
    KBMainBundle::setInfoDictionary(
        nlohmann::json{{"Crashwatch", {{"ReportsEndpoint", "https://127.0.0.1:1/reports"}, {"UrgentReports", "NO"}}}});
    const CWSettings settings(std::nullopt);
    KBLogCapture log;
    EXPECT_EQ(settings.reportsEndpoint(), "https://127.0.0.1:1/reports");
    EXPECT_FALSE(settings.canProcessUrgentReports());
    EXPECT_EQ(settings.betaEndpoint(), "");
    EXPECT_TRUE(log.lines().empty());
    {
        EnvironmentScope endpoint("CrashwatchReportsEndpoint", "http://127.0.0.1:2");
        EnvironmentScope submit("CrashwatchSubmitReports", "NO");
        EXPECT_EQ(settings.reportsEndpoint(), "http://127.0.0.1:2");
        EXPECT_EQ(settings.reportsEndpoint(), "http://127.0.0.1:2");
        EXPECT_FALSE(settings.shouldSubmitReports());
        EXPECT_EQ(log.count("[Crashwatch:Crash] override: 'ReportsEndpoint' => 'http://127.0.0.1:2'"), 2u);
        EXPECT_TRUE(log.contains("[Crashwatch:Crash] override: 'SubmitReports' => 'NO'"));
    }
    EXPECT_EQ(settings.reportsEndpoint(), "https://127.0.0.1:1/reports");
    KBMainBundle::setInfoDictionary(previous);
}

TEST(CWSettingsTest, TextsReadAsSwitchesTheWayThePlatformReadsThem)
{
    const std::vector<std::pair<std::string, bool>> cases{{"NO", false}, {"false", false}, {"0", false}, {"", false},
        {"000", false}, {"nope", false}, {" yes", true}, {"1", true}, {"T", true}, {"true", true}, {"YES", true},
        {"-7", true}, {"0009", true}, {"\t y", true}};
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(CWSettings::boolValue(nlohmann::json(text)), expected) << '"' << text << '"';
    }
    EXPECT_TRUE(CWSettings::boolValue(nlohmann::json(2)));
    EXPECT_FALSE(CWSettings::boolValue(nlohmann::json(0)));
    EXPECT_FALSE(CWSettings::boolValue(std::nullopt));
}
