#include "kit/core/KBNetworkClient.h"
#include "kit/core/KBCertificatePinner.h"
#include "kit/core/KBNetworkOperation.h"
#include "kit/core/KBNetworkResponseHandler.h"
#include "kit/core/KBURLBuilder.h"
#include "kit/core/SessionRecorder.h"
#include "kit/support/KBLog.h"
#include "kit/support/KBRandom.h"
#include "kit/support/KBVirtualClock.h"
#include "kit/support/harness/Eventually.h"
#include "kit/support/harness/LoopbackServer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <thread>

namespace {

KBHTTPURLResponse responseWith(int status, std::vector<std::pair<std::string, std::string>> headers = {})
{
    KBHTTPURLResponse response;
    response.statusCode = status;
    for (const auto& [name, value] : headers) {
        response.headers.set(name, value);
    }
    return response;
}

struct Classified {
    bool retry = false;
    std::optional<KBError> error;
};

Classified classify(const std::optional<KBHTTPURLResponse>& response, const KBURLRequest& request = {},
    const std::optional<KBError>& transport = std::nullopt)
{
    Classified result;
    KBNetworkResponseHandler::handleCompletedResponse(
        response, request, transport, [&](bool retry, const std::optional<KBError>& error) {
            result = Classified{retry, error};
        });
    return result;
}

// Waits (real time, bounded) until the virtual clock holds a delayed retry.
double nextDelay(KBVirtualClock& clock)
{
    eventually([&] { return clock.pendingCount() != 0; });
    return clock.secondsUntilNext();
}

class JitterFixedAtOne {
public:
    JitterFixedAtOne()
    {
        KBRandom::setSource([] { return 0.5; });
    }
    ~JitterFixedAtOne() { KBRandom::setSource({}); }
};

} // namespace

TEST(KBNetworkClientTest, ResponsesAreClassifiedByStatusTypeAndTransportError)
{
    const std::vector<std::tuple<int, bool, int64_t>> statuses = {
        {200, false, 0},
        {204, false, 0},
        {304, false, -4},
        {203, false, -4},
        {302, false, -4},
        {199, false, -4},
        {400, false, -5},
        {431, false, -5},
        {418, false, -4},
        {420, true, -1},
        {429, true, -1},
        {408, true, -1},
        {503, true, -1},
        {599, true, -1},
        {600, false, -4},
    };
    for (const auto& [status, retry, code] : statuses) {
        const Classified result = classify(responseWith(status, {{"X-Request-Id", "r1"}}));
        EXPECT_EQ(result.retry, retry) << status;
        EXPECT_EQ(result.error ? result.error->code : 0, code) << status;
        if (result.error) {
            EXPECT_EQ(result.error->domain, "KBNetworkError");
            EXPECT_EQ(result.error->userInfo["status_code"], status);
            EXPECT_EQ(result.error->userInfo["request_id"], "r1");
            EXPECT_EQ(result.error->userInfo["content_type"], "");
        }
    }
    EXPECT_EQ(classify(std::nullopt).error->userInfo["status_code"], 0);

    KBURLRequest json;
    json.setHeader("Accept", "application/json");
    json.setHeader("Accept-Charset", "utf-8");
    const std::vector<std::pair<std::string, int64_t>> types = {
        {"application/json", 0},
        {"APPLICATION/JSON; charset=UTF-8", 0},
        {"application/json; charset=latin1", -4},
        {"text/html", -4},
        {"application/json;charset=utf-8", -4},
    };
    for (const auto& [type, code] : types) {
        const Classified result = classify(responseWith(200, {{"Content-Type", type}}), json);
        EXPECT_EQ(result.error ? result.error->code : 0, code) << type;
    }
    EXPECT_EQ(classify(responseWith(304, {{"Content-Type", "text/html"}}), json).error->code, -4);
    EXPECT_EQ(classify(responseWith(200), json).error->code, -4) << "no Content-Type";

    const Classified timedOut = classify(std::nullopt, {}, KBError{kb::kURLErrorDomain, kb::kURLErrorTimedOut});
    EXPECT_TRUE(timedOut.retry);
    EXPECT_FALSE(classify(std::nullopt, {}, KBError{kb::kURLErrorDomain, -1005}).retry);

    EXPECT_EQ(KBNetworkResponseHandler::retryValueForResponse(responseWith(503)), 2.0);
    EXPECT_EQ(KBNetworkResponseHandler::retryValueForResponse(responseWith(503, {{"Retry-After", "-3"}})), 2.0);
    EXPECT_EQ(KBNetworkResponseHandler::retryValueForResponse(responseWith(503, {{"Retry-After", "0.05"}})), 0.05);
}

TEST(KBNetworkClientTest, URLsEscapeAndCountTheirParameters)
{
    auto builder = KBURLBuilder::URLWithBase("https://host/spi/v2/platforms/");
    builder.escapeAndAppendComponent("linux");
    builder.appendComponent("/apps/");
    builder.escapeAndAppendComponent("org.example/a b%ü");
    builder.appendValue(nlohmann::json("1.0 beta"), "build_version");
    builder.appendValue(std::nullopt, "icon_hash");
    builder.appendValue(nlohmann::json(3), "source");
    EXPECT_EQ(builder.URL(),
        "https://host/spi/v2/platforms/linux/apps/org.example/a%20b%25%C3%BC"
        "?build_version=1.0%20beta&source=3");
    EXPECT_EQ(builder.queryParams(), 2u);
    EXPECT_EQ(KBURLBuilder::escapeString("a-._~:/?#[]@!$&'()*+,;=\"<>\\^`{|}"),
        "a-._~:/?#[]@!$&'()*+,;=%22%3C%3E%5C%5E%60%7B%7C%7D");
    EXPECT_EQ(KBURLBuilder::URLWithBase("not a url").URL(), std::nullopt);
}

TEST(KBNetworkClientTest, RequestsCarryTheKitHeadersAndLocale)
{
    const std::vector<std::pair<const char*, const char*>> locales = {{"de_DE.UTF-8", "de_DE"}, {"C", "en_US_POSIX"},
        {"POSIX", "en_US_POSIX"}, {"", "en_US_POSIX"}, {"sr_RS@latin", "sr_RS"}};
    for (const auto& [value, expected] : locales) {
        ::unsetenv("LC_ALL");
        ::unsetenv("LC_MESSAGES");
        ::setenv("LANG", value, 1);
        EXPECT_EQ(KBNetworkOperation::localeIdentifier(), expected) << value;
    }
    ::setenv("LC_ALL", "fr_CA.UTF-8", 1);
    const KBURLRequest request
        = KBNetworkOperation("KEY").mutableRequestWithDefaultHTTPHeaderFieldsAndTimeoutForURL("https://h/");
    ::unsetenv("LC_ALL");
    std::vector<std::string> names;
    for (const auto& [name, value] : request.headers.fields()) {
        names.push_back(name);
    }
    EXPECT_EQ(names,
        (std::vector<std::string>{"User-Agent", "Accept-Charset", "Accept-Language", "Content-Language",
            "X-Crashwatch-Developer-Token", "X-Crashwatch-API-Client-Id", "X-Crashwatch-API-Client-Display-Version",
            "X-Crashwatch-API-Client-Build-Version", "X-Crashwatch-API-Key"}));
    EXPECT_EQ(request.header("User-Agent"), "org.lumetta.kit.core/1.6.11 (60)");
    EXPECT_EQ(request.header("Accept-Language"), "fr_CA");
    EXPECT_EQ(request.header("X-Crashwatch-API-Key"), "KEY");
    EXPECT_EQ(request.header("X-Crashwatch-Developer-Token")->size(), 40u);
    EXPECT_EQ(request.timeoutInterval, 10.0);
    EXPECT_EQ(request.cachePolicy, 1);
}

TEST(KBNetworkClientTest, RetriesBackOffOnTheKitClock)
{
    JitterFixedAtOne jitter;
    LoopbackServer server;
    // What the server asks for is a floor, in seconds or as a date on the
    // client's clock (the second answer comes 30 s after the start), never
    // a base raised to the try; without it the waits double from 2 s.
    server.script("/throttled",
        {LoopbackReply::answer(429, "", {{"Retry-After", "30"}}),
            LoopbackReply::answer(429, "", {{"Retry-After", "Tue, 14 Nov 2023 22:14:30 GMT"}}),
            LoopbackReply::answer(429, "", {{"Retry-After", "1"}}), LoopbackReply::answer(503),
            LoopbackReply::answer(200, "finally")});
    server.script("/busy", LoopbackReply::answer(503));
    auto clock = std::make_shared<KBVirtualClock>();
    clock->setWallStart(1700000000.0);
    auto client = KBNetworkClient::make();
    client->setClock(clock);

    Awaited<std::pair<std::optional<std::string>, std::optional<KBError>>> done;
    KBURLRequest request;
    request.url = server.url("/throttled");
    client->startDataTaskWithRequest(request, [&](auto data, auto, auto error) { done.set({data, error}); });
    for (const double expected : {30.0, 40.0, 8.0, 16.0}) {
        EXPECT_NEAR(nextDelay(*clock), expected, expected * 1e-6);
        clock->advance(expected - 0.001);
        EXPECT_EQ(clock->pendingCount(), 1u);
        clock->advance(0.001);
    }
    EXPECT_EQ(done.get().first, "finally");
    EXPECT_EQ(server.requestCount(), 5u);

    Awaited<std::optional<KBError>> busy;
    request.url = server.url("/busy");
    client->startDataTaskWithRequest(request, 1, [&](auto, auto, auto error) { busy.set(error); });
    EXPECT_NEAR(nextDelay(*clock), 2.0, 1e-6);
    clock->advance(2.0);
    EXPECT_EQ(busy.get()->code, -6);
    EXPECT_EQ(server.requestCount(), 7u);
}

TEST(KBNetworkClientTest, TimeOutsAreRetriedAndLostConnectionsAreNot)
{
    JitterFixedAtOne jitter;
    LoopbackServer server;
    server.script("/silent", LoopbackReply::with(LoopbackReply::Behaviour::Silence));
    server.script("/reset", LoopbackReply::with(LoopbackReply::Behaviour::Reset));
    auto clock = std::make_shared<KBVirtualClock>();
    auto client = KBNetworkClient::make();
    client->setClock(clock);

    KBURLRequest request;
    request.url = server.url("/silent");
    request.timeoutInterval = 0.2;
    Awaited<std::optional<KBError>> silent;
    client->startDataTaskWithRequest(request, 1, [&](auto, auto, auto error) { silent.set(error); });
    EXPECT_NEAR(nextDelay(*clock), 2.0, 1e-6);
    clock->advance(2.0);
    EXPECT_EQ(silent.get()->code, -6);
    EXPECT_EQ(server.requestCount(), 2u);

    request.url = server.url("/reset");
    Awaited<std::optional<KBError>> reset;
    client->startDataTaskWithRequest(request, [&](auto, auto, auto error) { reset.set(error); });
    EXPECT_EQ(reset.get()->code, kb::kURLErrorNetworkConnectionLost);
    EXPECT_EQ(clock->pendingCount(), 0u);

    request.url = "mailto:nobody";
    Awaited<std::optional<KBError>> noTask;
    client->startDownloadTaskWithRequest(request, [&](auto, auto, auto error) { noTask.set(error); });
    EXPECT_EQ(noTask.get()->code, -3);
}

// Pinning is on unless the kit's debug mode is: a server whose certificate the
// trust store accepts but no pinned root issued is refused before any request.
TEST(KBNetworkClientTest, UnpinnedCertificatesAreRefusedOutsideDebugMode)
{
    LoopbackServer server(LoopbackServer::Scheme::Https);
    server.script("/settings", LoopbackReply::json("{}"));
    auto configuration = CWURLSessionConfiguration::defaultSessionConfiguration();
    configuration->caFile = TestCertificates::shared().rootAFile;
    auto client = KBNetworkClient::make(configuration, nullptr, KBPinnedCertificates());
    ASSERT_TRUE(client);
    KBURLRequest request;
    request.url = server.url("/settings");
    auto fetch = [&] {
        Awaited<std::optional<KBError>> done;
        client->startDataTaskWithRequest(request, 0, [&](auto, auto, auto error) { done.set(error); });
        return done.get();
    };
    ASSERT_FALSE(KBLog::debugEnabled()) << "the kit starts with debug mode off";
    const auto refused = fetch();
    ASSERT_TRUE(refused.has_value());
    EXPECT_EQ(server.requestCount(), 0u);

    KBLog::setDebugEnabled(true);
    const auto accepted = fetch();
    KBLog::setDebugEnabled(false);
    EXPECT_FALSE(accepted.has_value()) << accepted->description();
    EXPECT_EQ(server.requestCount(), 1u);
}
