// The kit object's operations that need no running crash context.
#include "kit/crash/Crashwatch.h"
#include "kit/core/Kitbase.h"
#include "kit/support/KBLog.h"

#include <gtest/gtest.h>

namespace {

TEST(CrashwatchTest, DebugModeOnlyTurnsOnAndBadScriptMessagesOnlyLog)
{
    KBLogCapture log;
    Crashwatch kit([]() -> Kitbase& { return Kitbase::sharedSDK(); });
    Kitbase::sharedSDK().setDebug(false);
    kit.setDebugMode(false);
    EXPECT_TRUE(kit.debugMode());
    for (const auto& body : {nlohmann::json::array({1}), nlohmann::json("text"), nlohmann::json()}) {
        kit.userContentControllerDidReceiveScriptMessage(body);
    }
    EXPECT_EQ(log.count("[Crashwatch] Unable to record exception from WKWebView"), 3U);
    EXPECT_FALSE(kit.developmentPlatformName().has_value());
    EXPECT_TRUE(log.contains("[Crashwatch] developmentPlatformName is write-only"));
    Kitbase::sharedSDK().setDebug(false);
}

} // namespace
