#include "webmapkit/MapNetwork.h"

#include "foundation/AppInfo.h"
#include "support/LoopbackHttpServer.h"
#include "support/Patience.h"
#include "webmapkit/MapClock.h"
#include "webmapkit/MapTestSupport.h"

#include <QNetworkReply>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>

namespace {

std::optional<MapReply> fetch(const QUrl& url, const MapNetwork::Options& options = {})
{
    std::optional<MapReply> answer;
    QObject context;
    MapNetwork::shared()->get(
        url, QStringLiteral("test"), &context, [&](const MapReply& reply) { answer = reply; }, options);
    (void)QTest::qWaitFor([&]() { return answer.has_value(); }, kPatientMs);
    return answer;
}

LoopbackResponse redirectTo(const QByteArray& location)
{
    LoopbackResponse response;
    response.status = 302;
    response.headers.append(qMakePair(QByteArray("Location"), location));
    return response;
}

// A redirect whose answer announces `length` bytes and never sends them.
LoopbackResponse redirectAnnouncing(const QByteArray& location, const QByteArray& length)
{
    LoopbackResponse response = redirectTo(location);
    response.declareLength = false;
    response.headers.append(qMakePair(QByteArray("Content-Length"), length));
    return response;
}

} // namespace

TEST(MapNetworkTest, GetCarriesTheUserAgentAndReportsStatus)
{
    LoopbackHttpServer server;
    ASSERT_TRUE(server.start());
    server.setHandler([](const LoopbackRequest& request) {
        return request.path() == QLatin1String("/fail") ? LoopbackResponse::json("{}", 500)
                                                        : LoopbackResponse::json("[1]");
    });

    const auto good = fetch(QUrl(server.url(QStringLiteral("/ok?q=1"))));
    ASSERT_TRUE(good.has_value());
    EXPECT_TRUE(good->ok);
    EXPECT_EQ(good->body, QByteArray("[1]"));
    ASSERT_EQ(server.requestCount(), 1);
    EXPECT_EQ(server.requests()[0].target, QByteArray("/ok?q=1"));
    EXPECT_EQ(server.requests()[0].header("User-Agent"), QByteArray("Lumetta/") + AppInfo::version().toUtf8());

    const auto failed = fetch(QUrl(server.url(QStringLiteral("/fail"))));
    ASSERT_TRUE(failed.has_value());
    EXPECT_FALSE(failed->ok);
    EXPECT_EQ(failed->status, 500);

    MapNetwork::Options options;
    options.userAgent = "Lumetta AppleWebKit";
    ASSERT_TRUE(fetch(QUrl(server.url(QStringLiteral("/ok"))), options).has_value());
    EXPECT_EQ(server.requests().last().header("User-Agent"), QByteArray("Lumetta AppleWebKit"));
}

TEST(MapNetworkTest, UnusableEndpointsFailOnALaterTurnWithOneLogLine)
{
    for (const QString& endpoint :
        {QString(), QStringLiteral("file:///etc/passwd"), QStringLiteral("ftp://127.0.0.1/x")}) {
        MapLogCapture log;
        bool called = false;
        MapReply answer;
        QObject context;
        QNetworkReply* reply
            = MapNetwork::shared()->get(QUrl(endpoint), QStringLiteral("test"), &context, [&](const MapReply& r) {
                  called = true;
                  answer = r;
              });
        EXPECT_EQ(reply, nullptr);
        EXPECT_FALSE(called) << "the failure is delivered on a later turn";
        EXPECT_TRUE(QTest::qWaitFor([&]() { return called; }, kPatientMs)) << endpoint.toStdString();
        EXPECT_FALSE(answer.ok);
        EXPECT_EQ(log.count(QStringLiteral("network error")), 1) << endpoint.toStdString();
    }
}

TEST(MapNetworkTest, HeldAndRefusedRequestsFail)
{
    LoopbackHttpServer server;
    ASSERT_TRUE(server.start());
    server.setHandler([](const LoopbackRequest&) {
        LoopbackResponse held;
        held.hold = true;
        return held;
    });
    MapNetwork::shared()->setTransferTimeout(300);
    const auto timedOut = fetch(QUrl(server.url(QStringLiteral("/slow"))));
    MapNetwork::shared()->setTransferTimeout(10000);
    ASSERT_TRUE(timedOut.has_value());
    EXPECT_FALSE(timedOut->ok);

    const auto refused = fetch(QUrl(LoopbackHttpServer::refusedUrl(QStringLiteral("/x"))));
    ASSERT_TRUE(refused.has_value());
    EXPECT_FALSE(refused->ok);
}

// The client follows redirects itself, each as a request of its own, so every
// transfer gets the limits a request gets.
TEST(MapNetworkTest, RedirectsAreFollowedBoundedAndAbandonedWithTheirFirstReply)
{
    LoopbackHttpServer server;
    ASSERT_TRUE(server.start());
    server.setHandler([](const LoopbackRequest& request) {
        if (request.path() == QLatin1String("/moved")) {
            return redirectTo("/twice");
        }
        if (request.path() == QLatin1String("/twice")) {
            return redirectTo("/place?q=1");
        }
        if (request.path() == QLatin1String("/loop")) {
            return redirectTo("/loop");
        }
        if (request.path() == QLatin1String("/held")) {
            LoopbackResponse held;
            held.hold = true;
            return held;
        }
        return LoopbackResponse::json("[1]");
    });

    const auto moved = fetch(QUrl(server.url(QStringLiteral("/moved"))));
    ASSERT_TRUE(moved.has_value());
    EXPECT_TRUE(moved->ok);
    EXPECT_EQ(moved->body, QByteArray("[1]"));
    ASSERT_EQ(server.requestCount(), 3);
    EXPECT_EQ(server.requests()[2].target, QByteArray("/place?q=1"));
    EXPECT_EQ(server.requests()[2].header("User-Agent"), QByteArray("Lumetta/") + AppInfo::version().toUtf8());

    // A loop ends after as many redirects as Qt allows a request, as a failure.
    const auto loop = fetch(QUrl(server.url(QStringLiteral("/loop"))));
    ASSERT_TRUE(loop.has_value());
    EXPECT_FALSE(loop->ok);
    EXPECT_EQ(loop->status, 302);
    EXPECT_EQ(server.requestCount(), 3 + 1 + QNetworkRequest().maximumRedirectsAllowed());

    // Abandoning the reply the caller got stops the request it redirected to.
    const int before = server.requestCount();
    bool answered = false;
    QNetworkReply* first = MapNetwork::shared()->get(QUrl(server.url(QStringLiteral("/twice"))), QStringLiteral("test"),
        nullptr, [&](const MapReply&) { answered = true; });
    server.setHandler([](const LoopbackRequest& request) {
        LoopbackResponse held;
        held.hold = true;
        return request.path() == QLatin1String("/twice") ? redirectTo("/held") : held;
    });
    ASSERT_TRUE(server.waitForRequests(before + 2));
    ASSERT_EQ(server.heldCount(), 1);
    MapNetwork::abandon(first);
    server.answerHeld(0, LoopbackResponse::json("[2]"));
    QTest::qWait(200);
    EXPECT_FALSE(answered);
}

TEST(MapNetworkTest, NoThreadOfTheClientOutlivesTheApplication)
{
    QProcess quitting;
    quitting.start(QStringLiteral(QUIT_WHILE_LOADING), {});
    // The child waits as patiently as a test, twice at most.
    ASSERT_TRUE(quitting.waitForFinished(3 * kPatientMs));
    EXPECT_EQ(quitting.exitStatus(), QProcess::NormalExit) << quitting.readAllStandardError().toStdString();
    EXPECT_EQ(quitting.exitCode(), 0);
    EXPECT_EQ(quitting.readAllStandardOutput().toStdString(),
        "network threads while open: 1, after the end: 0, answered: no\n");
}

TEST(MapNetworkTest, AnHttpsRequestFollowsRedirectsOverHttpsOnlyNeverToPlainHttp)
{
    LoopbackHttpServer plain;
    ASSERT_TRUE(plain.start());
    plain.setHandler([](const LoopbackRequest&) { return LoopbackResponse::json("[\"plain\"]"); });
    LoopbackHttpServer secure;
    ASSERT_TRUE(secure.startHttps());
    secure.setHandler([&plain](const LoopbackRequest& request) {
        if (request.path() == QLatin1String("/within")) {
            return redirectTo("/moved");
        }
        if (request.path() == QLatin1String("/moved")) {
            return LoopbackResponse::json("[\"secure\"]");
        }
        return redirectTo(plain.url(QStringLiteral("/down")).toUtf8());
    });

    const auto within = fetch(QUrl(secure.url(QStringLiteral("/within"))));
    ASSERT_TRUE(within.has_value());
    EXPECT_TRUE(within->ok) << within->errorText.toStdString();
    EXPECT_EQ(within->body, QByteArray("[\"secure\"]"));

    const auto down = fetch(QUrl(secure.url(QStringLiteral("/to-plain"))));
    ASSERT_TRUE(down.has_value());
    EXPECT_FALSE(down->ok);
    EXPECT_EQ(down->status, 302);
    EXPECT_EQ(plain.requestCount(), 0);
}

// Refused while its redirect's headers are in, an answer ends there: its
// Location is not asked for.
TEST(MapNetworkTest, ARedirectRefusedAsTooLargeOrTooLateIsNotFollowed)
{
    ManualMapClock clock;
    MapClock::setDefaultClock(&clock);
    LoopbackHttpServer secure;
    ASSERT_TRUE(secure.startHttps());
    secure.setHandler([](const LoopbackRequest& request) {
        if (request.path() == QLatin1String("/target")) {
            return LoopbackResponse::json("[1]");
        }
        return redirectAnnouncing("/target", request.path() == QLatin1String("/large") ? "5000000" : "100");
    });

    const auto large = fetch(QUrl(secure.url(QStringLiteral("/large"))));
    ASSERT_TRUE(large.has_value());
    EXPECT_FALSE(large->ok);
    EXPECT_TRUE(large->errorText.contains(QStringLiteral("more than the"))) << large->errorText.toStdString();

    std::optional<MapReply> late;
    QObject context;
    MapNetwork::shared()->get(QUrl(secure.url(QStringLiteral("/late"))), QStringLiteral("test"), &context,
        [&](const MapReply& reply) { late = reply; });
    ASSERT_TRUE(secure.waitForRequests(2));
    // The redirect's headers reach the client; its body never comes.
    QTest::qWait(200);
    clock.advance(MapAccessManager::kDefaultDeadlineSeconds + 1);
    ASSERT_TRUE(QTest::qWaitFor([&]() { return late.has_value(); }, kPatientMs));
    EXPECT_FALSE(late->ok);
    EXPECT_TRUE(late->errorText.contains(QStringLiteral("no complete answer"))) << late->errorText.toStdString();
    QTest::qWait(100);
    EXPECT_EQ(secure.requestCount(), 2) << "no request for the redirect's target";
    MapClock::setDefaultClock(nullptr);
}
