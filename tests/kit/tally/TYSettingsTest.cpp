#include "kit/tally/TYSettings.h"
#include "kit/core/KBMainBundle.h"
#include "kit/support/KBLog.h"
#include "kit/support/KBProcessActivities.h"
#include "kit/support/KBVirtualClock.h"
#include "kit/support/harness/ManualQueue.h"
#include "kit/tally/TYActivityOperation.h"
#include "kit/tally/TYApplication.h"
#include "kit/tally/TYEventFilter.h"
#include "kit/tally/TYLifecycleEvent.h"
#include "kit/tally/TYMetadata.h"
#include "kit/tally/TYPredefinedEvent.h"
#include "kit/tally/TYTimer.h"

#include <gtest/gtest.h>

#include <atomic>

TEST(TYSettingsTest, MissingEntriesGiveDefaultsAndValuesConvertLikeThePlatform)
{
    KBMainBundle::setInfoDictionary(nlohmann::json{
        {"Kitbase", {{"Kits", {{{"KitName", "Tally"}, {"KitInfo", {{"UploadURL", "http://127.0.0.1:9"}}}}}}}}});
    const TYSettings none(std::nullopt);
    EXPECT_FALSE(none.valid());
    EXPECT_EQ(none.tallyURL(), "http://127.0.0.1:9/spi/v2/events");
    EXPECT_TRUE(none.shouldCollectAnalytics());
    EXPECT_TRUE(none.shouldCollectCustomEvents());
    EXPECT_TRUE(none.shouldCollectPredefinedEvents());
    EXPECT_EQ(none.maximumPayloadSize(), 8000);
    EXPECT_EQ(none.maxPendingSendFiles(), 100);
    EXPECT_EQ(none.flushInterval(), 0.0);
    EXPECT_EQ(none.samplingRate(), 1);
    EXPECT_EQ(none.defaultUploadTimeout(), 21600.0);
    EXPECT_EQ(none.lowPowerUploadTimeout(), 3600.0);

    KBMainBundle::setInfoDictionary(
        nlohmann::json{{"Kitbase", {{"Kits", {{{"KitName", "Tally"}, {"KitInfo", {{"UploadURL", ""}}}}}}}}});
    EXPECT_EQ(none.tallyURL(), "");
    KBMainBundle::setInfoDictionary(std::nullopt);

    const TYSettings given(nlohmann::json{{"features", {{"collect_analytics", "no"}}},
        {"analytics",
            {{"url", "http://x/e"}, {"max_byte_size_per_file", "  12abc"}, {"max_pending_send_file_count", 7.9},
                {"flush_interval_secs", "2.5"}, {"sampling_rate", nullptr}, {"track_custom_events", 0},
                {"track_predefined_events", " 0017"}, {"upload_timeout_secs", true}}}});
    EXPECT_TRUE(given.valid());
    EXPECT_EQ(given.tallyURL(), "http://x/e");
    EXPECT_FALSE(given.shouldCollectAnalytics());
    EXPECT_FALSE(given.shouldCollectCustomEvents());
    EXPECT_TRUE(given.shouldCollectPredefinedEvents());
    EXPECT_EQ(given.maximumPayloadSize(), 12);
    EXPECT_EQ(given.maxPendingSendFiles(), 7);
    EXPECT_EQ(given.flushInterval(), 2.5);
    EXPECT_EQ(given.samplingRate(), 1);
    EXPECT_EQ(given.defaultUploadTimeout(), 1.0);
    for (const char* yes : {"YES", "true", "t", "1", "+09", " y"}) {
        EXPECT_TRUE(*TYSettings::boolValue(yes)) << yes;
    }
    for (const char* no : {"no", "", "0", "false", "-0"}) {
        EXPECT_FALSE(*TYSettings::boolValue(no)) << no;
    }
}

TEST(TYSettingsTest, SamplingKeepsWholeInstallationsByTheirJavaHash)
{
    EXPECT_EQ(TYEventFilter::javaHashCodeForString("abc"), 96354);
    EXPECT_EQ(TYEventFilter::javaHashCodeForString(""), 0);
    // U+1F600 is the surrogate pair D83D DE00.
    EXPECT_EQ(TYEventFilter::javaHashCodeForString("\xF0\x9F\x98\x80"), 0xD83D * 31 + 0xDE00);
    // Wraps around in 32 bits: "polygenelubricants" hashes to the smallest int.
    EXPECT_EQ(TYEventFilter::javaHashCodeForString("polygenelubricants"), std::numeric_limits<int32_t>::min());

    // "a" hashes to 97 (odd), "b" to 98 (even), "d" to 100; "polygenelubricants"
    // is an even negative hash.
    const TYEventFilter filter;
    const auto launched = TYLifecycleEvent::appLaunchedEvent();
    for (const int64_t rate : {1, 0, -3}) {
        EXPECT_FALSE(filter.shouldDiscardEvent(launched, std::nullopt, "a", rate)) << rate;
    }
    EXPECT_TRUE(filter.shouldDiscardEvent(launched, std::nullopt, "a", 2));
    EXPECT_FALSE(filter.shouldDiscardEvent(launched, std::nullopt, "b", 2));
    EXPECT_FALSE(filter.shouldDiscardEvent(launched, std::nullopt, "polygenelubricants", 2));
    EXPECT_TRUE(filter.shouldDiscardEvent(launched, std::nullopt, "d", 3));
    EXPECT_FALSE(filter.shouldDiscardEvent(launched, std::nullopt, std::nullopt, 2));
    EXPECT_FALSE(filter.shouldDiscardEvent(launched, "beta", "a", 2));
    EXPECT_TRUE(filter.shouldDiscardEvent(nullptr, std::nullopt, "b", 1));
    EXPECT_FALSE(
        filter.shouldDiscardEvent(TYPredefinedEvent::searchEventWithQuery("q", nullptr), std::nullopt, "a", 2));
    EXPECT_FALSE(filter.shouldDiscardEvent(TYLifecycleEvent::installEvent(), std::nullopt, "a", 2));

    const std::vector<std::pair<std::optional<std::string>, std::optional<std::string>>> tokens = {
        {"2:abc", "abc"},
        {"2:", ""},
        {"3:abc", std::nullopt},
        {"abc", std::nullopt},
        {"2:a:b", std::nullopt},
        {std::nullopt, std::nullopt},
    };
    for (const auto& [token, unwrapped] : tokens) {
        EXPECT_EQ(TYMetadata::unwrapBetaToken(token), unwrapped) << token.value_or("(none)");
    }
}

TEST(TYSettingsTest, TimersFireOntoTheirQueueOnTheKitClockUntilReleased)
{
    auto clock = std::make_shared<KBVirtualClock>();
    KBClock::setShared(clock);
    auto dispatch = std::make_shared<ManualQueue>();
    auto queue = KBOperationQueue::make("timer-test");
    std::atomic<int> fired{0};
    auto timer = std::make_unique<TYTimer>(
        600, queue, "flush", [&] { ++fired; }, dispatch);
    EXPECT_EQ(timer->tolerance(), 60.0);
    EXPECT_EQ(timer->timerSource()->leeway(), 60.0);

    clock->advance(599);
    dispatch->pump();
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(fired.load(), 0);
    clock->advance(1201);
    dispatch->pump();
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(fired.load(), 3);

    clock->advance(600);
    timer.reset();
    dispatch->pump();
    clock->advance(6000);
    dispatch->pump();
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(fired.load(), 3);
    KBClock::setShared(nullptr);
}

TEST(TYSettingsTest, ActivitiesHoldTerminationsUntilTheirOperationRuns)
{
    const int sudden = KBProcessActivities::suddenTerminationDisabledCount();
    const int automatic = KBProcessActivities::automaticTerminationDisabledCount();
    auto operation = TYActivityOperation::operationByStartingActivityName("record", 0xC000);
    EXPECT_EQ(KBProcessActivities::suddenTerminationDisabledCount(), sudden + 1);
    EXPECT_EQ(KBProcessActivities::automaticTerminationDisabledCount(), automatic + 1);
    EXPECT_EQ(operation->activity()->backgroundTaskIdentifier(), 0u);

    auto queue = KBOperationQueue::make("activity-test");
    auto work = std::make_shared<KBBlockOperation>(
        [&] { EXPECT_EQ(KBProcessActivities::suddenTerminationDisabledCount(), sudden + 1); });
    operation->addDependency(work);
    queue->addOperation(operation);
    queue->addOperation(work);
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(KBProcessActivities::suddenTerminationDisabledCount(), sudden);
    EXPECT_EQ(KBProcessActivities::automaticTerminationDisabledCount(), automatic);
    operation->activity()->end();
    EXPECT_EQ(KBProcessActivities::suddenTerminationDisabledCount(), sudden);

    {
        auto rotate = TYActivity::beginActivity("rotate", 0xC0FF);
        EXPECT_EQ(KBProcessActivities::automaticTerminationDisabledCount(), automatic + 1);
    }
    EXPECT_EQ(KBProcessActivities::automaticTerminationDisabledCount(), automatic);
}

TEST(TYSettingsTest, AnApplicationIsAnExtensionOnlyWithAWellFormedExtensionPoint)
{
    KBLogCapture log;
    struct Case {
        nlohmann::json info;
        bool extension;
        const char* message;
    };
    const std::vector<Case> cases = {
        {{{"CFBundleIdentifier", "org.example"}}, false, nullptr},
        {{{"NSExtension", {{"NSExtensionPointIdentifier", "com.example.point"}}}}, true, nullptr},
        {{{"NSExtension", "text"}}, false, "Error: NSExtension Info.plist entry is mal-formed \"text\""},
        {{{"NSExtension", {{"NSExtensionPointIdentifier", 5}}}}, false,
            "Error: NSExtensionPointIdentifier Info.plist entry is mal-formed"},
        {{{"NSExtension", nlohmann::json::object()}}, false,
            "Error: NSExtensionPointIdentifier Info.plist entry is mal-formed"},
    };
    for (const auto& c : cases) {
        log.clear();
        EXPECT_EQ(TYApplication(c.info).isExtension(), c.extension) << c.info.dump();
        EXPECT_EQ(log.lines().size(), c.message ? 1u : 0u) << c.info.dump();
        if (c.message) {
            EXPECT_TRUE(log.contains(c.message)) << c.info.dump();
        }
    }
    KBMainBundle::setInfoDictionary(nlohmann::json{{"CFBundleVersion", "26"}, {"CFBundleShortVersionString", "1.0"}});
    EXPECT_EQ(TYApplication::hostApplication().bundleVersion(), "26");
    EXPECT_EQ(TYApplication::hostApplication().shortVersionString(), "1.0");
    KBMainBundle::setInfoDictionary(std::nullopt);
}
