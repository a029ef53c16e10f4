#include "TallyFixture.h"

#include "kit/core/KBMainBundle.h"
#include "kit/core/KBSettingsOnboardingManager.h"
#include "kit/support/KBIdentifiers.h"
#include "kit/support/KBVirtualClock.h"
#include "kit/support/harness/Eventually.h"
#include "kit/tally/TYCustomEvent.h"
#include "kit/tally/TYLifecycleEvent.h"
#include "kit/tally/Tally.h"

#include <chrono>
#include <thread>

namespace {

std::vector<std::string> requestLines(const LoopbackRequest& request)
{
    const auto parts = request.multipart();
    if (parts.size() != 1) {
        return {};
    }
    LoopbackRequest gz;
    gz.body = parts[0].body;
    std::vector<std::string> lines;
    const std::string text = gz.gunzippedBody();
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::vector<std::string> names(const std::vector<std::string>& lines)
{
    std::vector<std::string> result;
    for (const auto& line : lines) {
        result.push_back(DecodedBatch::name(line));
    }
    return result;
}

class TallyControllerTest : public TallyFixture {
protected:
    void TearDown() override
    {
        KBMainBundle::setInfoDictionary(std::nullopt);
        TallyFixture::TearDown();
    }
    void postSettings(nlohmann::json dictionary, const std::shared_ptr<TYTallyController>& controller)
    {
        settings->set(std::move(dictionary));
        KBNotificationCenter::defaultCenter().post("KBSettingsAvailableNotification");
        controller->eventQueue()->waitUntilAllOperationsAreFinished();
    }
    void post(const std::string& name, const std::shared_ptr<TYTallyController>& controller)
    {
        KBNotificationCenter::defaultCenter().post(name);
        controller->eventQueue()->waitUntilAllOperationsAreFinished();
    }
};

} // namespace

TEST_F(TallyControllerTest, AFirstInstallIsSentOnceValidSettingsArriveAndLifecycleNamesBecomeLines)
{
    LoopbackServer server;
    server.script("/spi/v2/events", LoopbackReply::answer(200));
    // The settings service answers only once the first batch is on disk.
    LoopbackReply held = LoopbackReply::json(
        R"({"app":{"status":"known"},"analytics":{"url":")" + server.url("/spi/v2/events") + R"("}})");
    held.behaviour = LoopbackReply::Behaviour::Hold;
    server.script("/spi/v2/platforms/linux/apps/org.example.tally/settings", held);
    KBMainBundle::setInfoDictionary(nlohmann::json{
        {"CFBundleIdentifier", "org.example.tally"}, {"Crashwatch", {{"SettingsEndpoint", server.baseUrl()}}}});
    std::filesystem::remove_all(KBSettingsOnboardingManager::settingsDirectoryPath());
    settingsMaker = [](Kitbase& kitbase) {
        KBSettingsOnboardingManager::Environment environment;
        environment.networkClient = KBNetworkClient::make();
        return std::make_shared<KBSettingsOnboardingManager>(kitbase.applicationIdentifierModel(), environment);
    };
    auto controller = startController<TYTallyController>(true);
    controller->sharedKitbaseSDK().settingsAndOnboardingManager()->beginSettingsAndOnboardingOperations("test-key", {});
    ASSERT_TRUE(server.waitForRequests(1));
    ASSERT_EQ(filesWithExtension("multipartmime").size(), 1u);
    const auto waiting = DecodedBatch::read(*filesWithExtension("multipartmime").begin());
    EXPECT_EQ(names(waiting.lines), (std::vector<std::string>{"metadata", "app_installed"}));
    EXPECT_FALSE(controller->settings()->valid());

    server.releaseHeld();
    ASSERT_TRUE(server.waitForRequests(2));
    const auto upload = server.requests()[1];
    EXPECT_EQ(upload.path, "/spi/v2/events");
    const auto lines = requestLines(upload);
    ASSERT_EQ(names(lines), (std::vector<std::string>{"metadata", "app_installed"}));
    EXPECT_EQ(DecodedBatch::payload(lines[0])["generator"], "Tally Linux SDK/1.3.4");
    EXPECT_EQ(DecodedBatch::payload(lines[0])["bundle_id"], "org.example.tally");
    ASSERT_TRUE(eventually([&] { return filesWithExtension("multipartmime").empty(); }));

    // The three observed names are written; becoming active flushes.
    post("NSApplicationWillResignActiveNotification", controller);
    post("NSApplicationWillBecomeActiveNotification", controller);
    post("NSApplicationDidBecomeActiveNotification", controller);
    post("NSApplicationWillTerminateNotification", controller);
    ASSERT_TRUE(server.waitForRequests(4));
    // The two batches travel at once, so they may arrive in either order.
    std::set<std::vector<std::string>> sent;
    for (size_t i = 2; i < 4; ++i) {
        const auto batch = requestLines(server.requests()[i]);
        sent.insert(names(batch));
        EXPECT_EQ(DecodedBatch::payload(batch[0])["session_id"], DecodedBatch::payload(lines[0])["session_id"]);
    }
    EXPECT_EQ(sent,
        (std::set<std::vector<std::string>>{
            {"metadata", "app_launched", "app_became_inactive"}, {"metadata", "app_became_active"}}));
}

TEST_F(TallyControllerTest, DisabledCollectionEmptiesTheFolderForGood)
{
    auto controller = startController<TYTallyController>();
    controller->enqueueEvent(std::make_shared<TYCustomEvent>("before", nullptr));
    controller->eventQueue()->waitUntilAllOperationsAreFinished();
    ASSERT_FALSE(TYFileUtils::allFilesInDirectory(events).empty());

    postSettings({{"features", {{"collect_analytics", false}}}}, controller);
    EXPECT_TRUE(log.contains("[Tally] Tally is disabled. Cleaning up."));
    EXPECT_TRUE(TYFileUtils::allFilesInDirectory(events).empty());
    controller->enqueueEvent(std::make_shared<TYCustomEvent>("after", nullptr));
    postSettings({{"features", {{"collect_analytics", true}}}}, controller);
    post("NSApplicationDidBecomeActiveNotification", controller);
    EXPECT_TRUE(TYFileUtils::allFilesInDirectory(events).empty());
    EXPECT_FALSE(controller->settings()->shouldCollectAnalytics());

    // Nothing the controller queued keeps it alive once its owner lets go.
    std::weak_ptr<TYTallyController> released = controller;
    controller.reset();
    EXPECT_TRUE(eventually([&] { return released.expired(); }));
}

TEST_F(TallyControllerTest, TheFlushTimerRotatesOnlyAnOversizedLog)
{
    auto clock = std::make_shared<KBVirtualClock>();
    KBClock::setShared(clock);
    LoopbackServer server;
    server.script("/spi/v2/events", LoopbackReply::answer(200));
    const std::string url = server.url("/spi/v2/events");

    for (const auto& analytics :
        {nlohmann::json{{"url", url}}, nlohmann::json{{"url", url}, {"flush_interval_secs", 0}}}) {
        settings->set(nlohmann::json{{"analytics", analytics}});
        EXPECT_EQ(startController<TYTallyController>()->flushTimer(), nullptr) << analytics.dump();
    }

    settings->set(nlohmann::json{{"analytics", {{"url", url}, {"flush_interval_secs", 60}}}});
    auto small = startController<TYTallyController>();
    ASSERT_NE(small->flushTimer(), nullptr);
    const std::string log = small->currentLogURL();
    clock->advance(60);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    small->eventQueue()->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(small->currentLogURL(), log);
    small.reset();

    settings->set(
        nlohmann::json{{"analytics", {{"url", url}, {"flush_interval_secs", 60}, {"max_byte_size_per_file", 100}}}});
    auto oversized = startController<TYTallyController>();
    ASSERT_TRUE(TYFileUtils::fileSizeAtURL(oversized->currentLogURL()) > 100);
    clock->advance(60);
    ASSERT_TRUE(server.waitForRequests(1));
    EXPECT_EQ(names(requestLines(server.requests()[0])), (std::vector<std::string>{"metadata", "app_launched"}));
    KBClock::setShared(nullptr);
}

TEST_F(TallyControllerTest, SampledInstallationsSkipLifecycleEventsAndNoEndpointSendsNothing)
{
    platform->setObject(kb::kInstallationUUIDKey, "a"); // Java hash 97: odd
    settings->set(nlohmann::json{{"analytics", {{"sampling_rate", 2}}}});
    auto controller = startController<TYTallyController>();
    ASSERT_EQ(controller->metadata()->installationId(), "a");
    post("NSApplicationDidBecomeActiveNotification", controller);
    EXPECT_TRUE(log.contains("Application is enabled for sampling, skipping <TYLifecycleEvent: app_became_active>"));

    // No events endpoint: the batch fails at once, with its error logged.
    controller->enqueueEvent(TYLifecycleEvent::installEvent());
    controller->eventQueue()->waitUntilAllOperationsAreFinished();
    ASSERT_TRUE(eventually([&] { return log.contains("Failed to upload '"); }));
    EXPECT_TRUE(log.contains("Code=-2"));
}

TEST_F(TallyControllerTest, TallyStartsOnceThroughTheCrashKitAndTakesEventsOnlyWhenStarted)
{
    auto registry = std::make_shared<KBKitRegistry>();
    int crashKitStarts = 0;
    auto crashKit = std::make_shared<KBKitDescriptor>();
    crashKit->className = "Crashwatch";
    crashKit->kit = KBKitDescriptor::KitProtocol{kb::kCrashKitIdentifier, "1", "1", [&] {
                                                     ++crashKitStarts;
                                                     Tally::startWithBetaToken("2:beta");
                                                 }};
    registry->registerKit(crashKit);
    registry->registerKit(Tally::kitDescriptor());
    kitbases.push_back(makeKitbase());
    Kitbase* kitbase = kitbases.back().get();
    Tally::sharedInstance().setRegistry(registry);
    Tally::sharedInstance().setKitbaseProvider([kitbase]() -> Kitbase& { return *kitbase; });

    Tally::logCustomEventWithName("too early", nullptr);
    EXPECT_EQ(Tally::sharedInstance().tallyController(), nullptr);
    registry->classNamed("Tally")->kit->initializeIfNeeded();
    EXPECT_EQ(crashKitStarts, 1);
    auto controller = Tally::sharedInstance().tallyController();
    ASSERT_NE(controller, nullptr);
    Tally::startWithBetaToken("2:other");
    Tally::initializeIfNeeded();
    EXPECT_EQ(Tally::sharedInstance().tallyController(), controller);
    controller->eventQueue()->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(controller->metadata()->betaToken(), "beta");

    KBLogCapture always;
    Tally::logCustomEventWithName(std::nullopt, nullptr);
    EXPECT_TRUE(always.contains("[Tally] Custom event name is missing. Ignoring event"));
    Tally::logSearchWithQuery("maps", nullptr);
    Tally::logPreviousSessionCrashedOnDate(std::nullopt);
    Tally::logPreviousSessionCrashedOnDate(1'600'000'000.0);
    controller->eventQueue()->waitUntilAllOperationsAreFinished();

    // The crash of the previous run travels alone; the search went before it.
    std::vector<std::vector<std::string>> batches;
    for (const auto& path : TYFileUtils::filesWithExtension("multipartmime", controller->rootEventDirectory())) {
        batches.push_back(names(DecodedBatch::read(path).lines));
    }
    EXPECT_NE(
        std::find(batches.begin(), batches.end(), std::vector<std::string>{"metadata", "app_crashed"}), batches.end());
    EXPECT_NE(
        std::find(batches.begin(), batches.end(), std::vector<std::string>{"metadata", "app_launched", "predefined"}),
        batches.end());
}
