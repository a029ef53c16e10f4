// Beta update checks against a loopback server, on the virtual clock.
#include "kit/crash/CWBetaController.h"
#include "kit/core/KBMainBundle.h"
#include "kit/support/KBClock.h"
#include "kit/support/KBMainQueue.h"
#include "kit/support/KBVirtualClock.h"
#include "kit/support/harness/Eventually.h"
#include "kit/support/harness/LoopbackServer.h"
#include "kit/support/harness/ManualQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

class BetaSettings : public CWBetaControllerDelegate {
public:
    CWSettings settingsForBetaController(CWBetaController&) override
    {
        return CWSettings(nlohmann::json{{"beta", {{"update_suspend_duration", 300}}}});
    }
    std::optional<std::string> APIKeyForBetaController(CWBetaController&) override { return "key"; }
};

// Counts the questions it is asked; the settings question waits while the
// test holds it.
class CountingSettings : public BetaSettings {
public:
    CWSettings settingsForBetaController(CWBetaController& controller) override
    {
        ++asked;
        std::unique_lock lock(mutex);
        answering = true;
        changed.notify_all();
        changed.wait(lock, [&] { return !holding; });
        answering = false;
        return BetaSettings::settingsForBetaController(controller);
    }
    std::optional<std::string> APIKeyForBetaController(CWBetaController& controller) override
    {
        ++asked;
        return BetaSettings::APIKeyForBetaController(controller);
    }
    void hold(bool held)
    {
        std::lock_guard lock(mutex);
        holding = held;
        changed.notify_all();
    }
    bool waitUntilAnswering()
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::duration<double>(kPatientSeconds), [&] { return answering; });
    }

    std::atomic<int> asked{0};
    std::mutex mutex;
    std::condition_variable changed;
    bool holding = false;
    bool answering = false;
};

class CWBetaControllerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        KBMainBundle::setInfoDictionary(nlohmann::json{{"CFBundleIdentifier", "org.lumetta.tests.beta"},
            {"CFBundleVersion", "7"}, {"CFBundleShortVersionString", "1.2"}});
        clock_ = std::make_shared<KBVirtualClock>();
        KBClock::setShared(clock_);
        // The executor keeps the queue it hands to alive: a kit thread may
        // still hold a copy of it while the fixture goes.
        KBMainQueue::setExecutor([main = main_](std::function<void()> block) { main->async(std::move(block)); });
        setenv("CrashwatchBetaEndpoint", server_.baseUrl().c_str(), 1);
    }
    void TearDown() override
    {
        // As the kit does when it goes: an answer still on its way may keep a
        // controller alive, but it asks the delegate nothing more.
        for (const auto& controller : controllers_) {
            controller->setDelegate(nullptr);
        }
        KBMainQueue::setExecutor({});
        KBClock::setShared(nullptr);
        unsetenv("CrashwatchBetaEndpoint");
    }
    std::shared_ptr<CWBetaController> make(
        std::optional<std::string> token, CWBetaControllerDelegate* delegate = nullptr)
    {
        controllers_.push_back(CWBetaController::make(delegate ? delegate : &settings_, std::move(token)));
        return controllers_.back();
    }
    bool eventually(const std::function<bool()>& condition)
    {
        return ::eventually(condition, kPatientSeconds, [this] { main_->pump(); });
    }
    static std::string path() { return "/spi/v2/platforms/linux/apps/org.lumetta.tests.beta/beta_update_check"; }
    static LoopbackReply update()
    {
        return LoopbackReply::json(R"({"url":"https://127.0.0.1/build","version_string":"1.3"})");
    }

    std::shared_ptr<KBVirtualClock> clock_;
    std::shared_ptr<ManualQueue> main_ = std::make_shared<ManualQueue>();
    LoopbackServer server_;
    BetaSettings settings_;
    std::vector<std::shared_ptr<CWBetaController>> controllers_;
};

TEST_F(CWBetaControllerTest, WithoutATokenNothingStartsAndNothingIsAsked)
{
    auto controller = make(std::nullopt);
    EXPECT_FALSE(controller->start());
    controller->checkForUpdate();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(server_.requestCount(), 0U);
}

TEST_F(CWBetaControllerTest, AnUpdateIsKeptAndChecksPauseForTheSuspendDuration)
{
    server_.script(path(), update());
    auto controller = make(std::string("token-1"));
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
    // The second answer suspends the checks again.
    EXPECT_TRUE(eventually([&] { return controller->checksSuspended(); }));
}

// The owner letting the delegate go while a question or an answer is under
// way: clearing waits for the question being answered, and the answer that
// arrives later asks the delegate nothing.
TEST_F(CWBetaControllerTest, ADelegateLetGoIsAskedNothingMore)
{
    LoopbackReply held = update();
    held.behaviour = LoopbackReply::Behaviour::Hold;
    server_.script(path(), held);
    CountingSettings delegate;
    auto controller = make(std::string("token-1"), &delegate);
    controller->checkForUpdate();
    ASSERT_TRUE(server_.waitForRequests(1));

    // Letting go while the delegate answers returns only after its answer.
    delegate.hold(true);
    std::thread asking([&] { controller->betaUpdateRequest(); });
    const bool answering = delegate.waitUntilAnswering();
    std::atomic<bool> letGo{false};
    std::thread owner([&] {
        controller->setDelegate(nullptr);
        letGo = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const bool letGoWhileAnswering = letGo;
    delegate.hold(false);
    asking.join();
    owner.join();
    ASSERT_TRUE(answering);
    EXPECT_FALSE(letGoWhileAnswering);

    // The held answer arrives now and is handled without the delegate.
    const int asked = delegate.asked;
    server_.releaseHeld();
    ASSERT_TRUE(eventually([&] { return controller->activeUpdate() != nullptr && controller->checksSuspended(); }));
    EXPECT_EQ(delegate.asked, asked);
}

TEST_F(CWBetaControllerTest, AnAnswerWithoutAURLIsNoUpdate)
{
    std::optional<KBError> error;
    EXPECT_EQ(CWBetaUpdate::betaUpdateWithDictionary(nlohmann::json{{"version_string", "1.3"}}, &error), nullptr);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->code, -1017);
}

} // namespace
