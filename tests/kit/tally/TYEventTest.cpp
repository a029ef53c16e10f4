#include "kit/support/KBLog.h"
#include "kit/support/KBVirtualClock.h"
#include "kit/tally/TYAttributeDictionary.h"
#include "kit/tally/TYCrashEvent.h"
#include "kit/tally/TYCustomEvent.h"
#include "kit/tally/TYLifecycleEvent.h"
#include "kit/tally/TYLogger.h"
#include "kit/tally/TYPredefinedEvent.h"
#include "kit/tally/TYText.h"
#include "kit/tally/TYWriteEventOperation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using Json = nlohmann::ordered_json;

std::string repeated(const std::string& piece, size_t count)
{
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        text += piece;
    }
    return text;
}

bool validUtf8(const std::string& text)
{
    try {
        (void)Json(text).dump();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

TEST(TYEventTest, AttributeLimitsCutAndRefuseWithMessagesPrintedEvenWithoutDebug)
{
    TYLogger::sharedLogger().setDebugMode(false);
    KBLog::setDebugEnabled(false);
    KBLogCapture log;

    Json many = Json::object();
    for (int i = 0; i < 25; ++i) {
        many["key" + std::to_string(i)] = i;
    }
    const TYAttributeDictionary limited(many);
    EXPECT_EQ(limited.dictionaryRepresentation().size(), 21u);
    EXPECT_TRUE(limited.dictionaryRepresentation().contains("key20"));
    EXPECT_FALSE(limited.dictionaryRepresentation().contains("key21"));
    EXPECT_EQ(log.count("[Tally] Maximum number of Event attributes exceeded. Ignoring entry key2"), 4u);
    EXPECT_TRUE(log.contains("Ignoring entry key24:24"));

    log.clear();
    TYAttributeDictionary cut;
    cut.addAttribute(std::string(150, 'v'), std::string(150, 'k'));
    const auto lines = log.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("Maximum length for an Event attributes exceeded. Truncating to 100 characters."),
        std::string::npos);
    EXPECT_EQ(cut.dictionaryRepresentation().at(std::string(100, 'k')), std::string(100, 'v'));

    // An emoji across units 99 and 100 is not split into half a surrogate pair.
    TYAttributeDictionary emoji;
    emoji.addAttribute(std::string(99, 'a') + repeated("\xF0\x9F\x98\x80", 5), "e");
    const std::string stored = emoji.dictionaryRepresentation().at("e").get<std::string>();
    EXPECT_EQ(stored, std::string(99, 'a'));
    EXPECT_TRUE(validUtf8(stored));
    TYAttributeDictionary fits;
    fits.addAttribute(std::string(98, 'a') + repeated("\xF0\x9F\x98\x80", 5), "e");
    EXPECT_EQ(fits.dictionaryRepresentation().at("e"), std::string(98, 'a') + "\xF0\x9F\x98\x80");

    log.clear();
    TYAttributeDictionary values;
    values.addAttribute(std::nan(""), "nan");
    values.addAttribute(std::numeric_limits<double>::infinity(), "inf");
    values.addAttribute(-std::numeric_limits<double>::infinity(), "-inf");
    values.addAttribute(42, "int");
    values.addAttribute(2.5, "float");
    values.addAttribute(true, "bool");
    values.addAttribute(Json::array({1}), "array");
    values.addAttribute(nullptr, "null");
    values.addBooleanAttribute(true, "yes");
    values.addBooleanAttribute(std::nullopt, "unset");
    EXPECT_EQ(values.dictionaryRepresentation().dump(), R"({"int":42,"float":2.5,"bool":true,"yes":"true"})");
    EXPECT_EQ(log.count("Event attribute values must be of type NSString or NSNumber. Ignoring entry array:[1]"), 1u);
    EXPECT_EQ(log.lines().size(), 1u);
}

TEST(TYEventTest, PricesBecomeExactMicrosUpToWhatFitsInSixtyFourBits)
{
    const std::vector<std::pair<std::string, Json>> cases = {
        {"9.99", 9990000},
        {"0.000001", 1},
        {"-2.5", -2500000},
        {"9223372036854.775807", std::numeric_limits<int64_t>::max()},
        {"9300000000000", nullptr},
        {"1e20", nullptr},
    };
    KBLogCapture log;
    for (const auto& [text, micros] : cases) {
        TYAttributeDictionary prices;
        prices.addPriceAttribute(TYDecimal::fromString(text), "price");
        const Json& stored = prices.dictionaryRepresentation();
        if (micros.is_null()) {
            EXPECT_FALSE(stored.contains("price")) << text;
            EXPECT_TRUE(
                log.contains("Maximum value for a price attribute exceeded. Ignoring price attribute with value: "
                    + TYDecimal::fromString(text)->description()))
                << text;
        } else {
            EXPECT_EQ(stored.value("price", Json()), micros) << text;
        }
    }
    TYAttributeDictionary none;
    none.addPriceAttribute(std::nullopt, "price");
    EXPECT_TRUE(none.dictionaryRepresentation().empty());
    EXPECT_FALSE(TYDecimal::fromString("12abc").has_value());
}

TEST(TYEventTest, EventsCarryTheirNamesPayloadsAndFlushRules)
{
    EXPECT_EQ(TYLifecycleEvent::eventWithNotification("SomethingElse")->name(), "unknown-notification");
    const std::vector<std::pair<std::string, bool>> flushes = {
        {"NSApplicationWillTerminateNotification", false},
        {"NSApplicationWillResignActiveNotification", true},
        {"NSApplicationDidBecomeActiveNotification", true},
    };
    for (const auto& [notification, flush] : flushes) {
        EXPECT_EQ(TYLifecycleEvent::eventWithNotification(notification)->triggersFlush(), flush) << notification;
    }
    EXPECT_TRUE(TYLifecycleEvent::installEvent()->triggersFlush());
    EXPECT_FALSE(TYLifecycleEvent::appLaunchedEvent()->triggersFlush());

    auto purchase = TYPredefinedEvent::purchaseEventWithPrice(
        TYDecimal::fromString("9.99"), "EUR", true, "Book", std::nullopt, "42", Json{{"shelf", 3}});
    const Json payload = purchase->dictionaryRepresentation();
    EXPECT_EQ(payload["predefined_type"], "purchase");
    EXPECT_EQ(payload["predefined_attributes"].dump(),
        R"({"item_price":9990000,"currency":"EUR","success":"true","item_name":"Book","item_id":"42"})");
    EXPECT_EQ(payload["custom_attributes"].dump(), R"({"shelf":3})");
    EXPECT_EQ(payload["eventId"], purchase->identifier());
    EXPECT_NE(TYPredefinedEvent::searchEventWithQuery("q", nullptr)->identifier(), purchase->identifier());

    const TYCustomEvent custom("opened", nullptr);
    EXPECT_EQ(custom.dictionaryRepresentation().dump(),
        R"({"eventId":")" + custom.identifier() + R"(","custom_type":"opened","custom_attributes":{}})");
}

TEST(TYEventTest, LogLinesCountJsonBytesAndCrashLinesCarryTheCrashTime)
{
    auto clock = std::make_shared<KBVirtualClock>();
    clock->setWallStart(1'700'000'000.25);
    KBClock::setShared(clock);
    const TYCustomEvent custom("caf\xC3\xA9", nullptr);
    const std::string line = *TYWriteEventOperation::generateFormattedLogLineWithEvent(custom);
    const std::string json = custom.dictionaryRepresentation().dump();
    EXPECT_EQ(line, "1700000000250\tcustom\t" + std::to_string(json.size()) + "\t" + json);
    // The length counts bytes: "\xC3\xA9" is one character but two bytes.
    EXPECT_EQ(TYText::utf16Length(json) + 1, json.size());

    const TYCrashEvent crash(1'600'000'000.5, 0);
    const std::string crashLine = *TYWriteEventOperation::generateFormattedLogLineWithEvent(crash);
    EXPECT_EQ(crashLine.substr(0, crashLine.find('\t')), "1600000000500");
    EXPECT_NE(crashLine.find(R"("crash_state":"unknown")"), std::string::npos);
    EXPECT_EQ(TYCrashEvent::payloadStringForCrashState(1), "foreground");
    EXPECT_EQ(TYCrashEvent::payloadStringForCrashState(2), "background");

    // Bytes that are not UTF-8 are replaced, never lose the line.
    const TYCustomEvent broken("bad\xFF", nullptr);
    EXPECT_TRUE(TYWriteEventOperation::generateFormattedLogLineWithEvent(broken).has_value());
    KBClock::setShared(nullptr);
}
