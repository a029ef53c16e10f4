// Beta update checks against a loopback server, on the virtual clock.
#include "kit/core/KBMainBundle.h"
#include "kit/crash/CWBetaController.h"
#include "kit/support/KBClock.h"
#include "kit/support/KBMainQueue.h"
#include "kit/support/KBVirtualClock.h"
#include "kit/support/harness/LoopbackServer.h"
#include "kit/support/harness/ManualQueue.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

class BetaSettings : public CWBetaControllerDelegate {
public:
    CWSettings settingsForBetaController(CWBetaController&) override
    {
        return CWSettings(nlohmann::json{{"beta", {{"update_suspend_duration", 300}}}});
    }
    std::optional<std::string> APIKeyForBetaController(CWBetaController&) override { return "key"; }
};

class CWBetaControllerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        KBMainBundle::setInfoDictionary(nlohmann::json{{"CFBundleIdentifier", "org.lumetta.tests.beta"},
            {"CFBundleVersion", "7"}, {"CFBundleShortVersionString", "1.2"}});
        clock_ = std::make_shared<KBVirtualClock>();
        KBClock::setShared(clock_);
        KBMainQueue::setExecutor([this](std::function<void()> block) { main_.async(std::move(block)); });
        setenv("CrashwatchBetaEndpoint", server_.baseUrl().c_str(), 1);
    }
    void TearDown() override
    {
        KBMainQueue::setExecutor({});
        KBClock::setShared(nullptr);
        unsetenv("CrashwatchBetaEndpoint");
    }
    bool eventually(const std::function<bool()>& condition)
    {
        for (int i = 0; i < 300 && !condition(); ++i) {
            main_.pump();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return condition();
    }
    static std::string path() { return "/spi/v2/platforms/linux/apps/org.lumetta.tests.beta/beta_update_check"; }

    std::shared_ptr<KBVirtualClock> clock_;
    ManualQueue main_;
    LoopbackServer server_;
    BetaSettings settings_;
};

TEST_F(CWBetaControllerTest, WithoutATokenNothingStartsAndNothingIsAsked)
{
    auto controller = CWBetaController::make(&settings_, std::nullopt);
    EXPECT_FALSE(controller->start());
    controller->checkForUpdate();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(server_.requestCount(), 0U);
}

TEST_F(CWBetaControllerTest, AnUpdateIsKeptAndChecksPauseForTheSuspendDuration)
{
    server_.script(path(), LoopbackReply::json(R"({"url":"https://127.0.0.1/build","version_string":"1.3"})"));
    auto controller = CWBetaController::make(&settings_, std::string("token-1"));
    ASSERT_TRUE(controller->start());
    KBNotificationCenter::defaultCenter().post("KBSettingsAvailableNotification");
    ASSERT_TRUE(eventually([&] { return controller->activeUpdate() != nullptr; }));
    EXPECT_EQ(controller->activeUpdate()->url(), "https://127.0.0.1/build");
    EXPECT_EQ(controller->activeUpdate()->version().value_or(""), "1.3");
    const auto request = server_.requests().at(0);
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.path, path());
    EXPECT_EQ(request.query.rfind("build_version=7&display_version=1.2&instance=", 0), 0U) << request.query;
    EXPECT_NE(request.query.find("&source="), std::string::npos);
    EXPECT_EQ(request.header("X-Crashwatch-Beta-Token").value_or(""), "token-1");
    EXPECT_EQ(request.header("X-Crashwatch-API-Key").value_or(""), "key");
    EXPECT_EQ(request.header("User-Agent").value_or(""), "Crashwatch Linux SDK/3.8.4");

    // Suspended: the foreground check asks nothing until the duration passed.
    ASSERT_TRUE(eventually([&] { return controller->checksSuspended(); }));
    controller->applicationWillEnterForeground();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(server_.requestCount(), 1U);
    clock_->advance(300.0);
    ASSERT_TRUE(eventually([&] { return !controller->checksSuspended(); }));
    controller->applicationWillEnterForeground();
    EXPECT_TRUE(eventually([&] { return server_.requestCount() == 2; }));
}

TEST_F(CWBetaControllerTest, AnAnswerWithoutAURLIsNoUpdate)
{
    std::optional<KBError> error;
    EXPECT_EQ(CWBetaUpdate::betaUpdateWithDictionary(nlohmann::json{{"version_string", "1.3"}}, &error), nullptr);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->code, -1017);
}

}  // namespace
