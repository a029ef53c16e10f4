#include "webmapkit/MapNetwork.h"

#include "foundation/AppInfo.h"
#include "support/LoopbackHttpServer.h"
#include "webmapkit/MapTestSupport.h"

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
    (void)QTest::qWaitFor([&]() { return answer.has_value(); }, 5000);
    return answer;
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
        EXPECT_TRUE(QTest::qWaitFor([&]() { return called; }, 1000)) << endpoint.toStdString();
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

TEST(MapNetworkTest, NoThreadOfTheClientOutlivesTheApplication)
{
    QProcess quitting;
    quitting.start(QStringLiteral(QUIT_WHILE_LOADING), {});
    ASSERT_TRUE(quitting.waitForFinished(30000));
    EXPECT_EQ(quitting.exitStatus(), QProcess::NormalExit) << quitting.readAllStandardError().toStdString();
    EXPECT_EQ(quitting.exitCode(), 0);
    EXPECT_EQ(quitting.readAllStandardOutput().toStdString(),
        "network threads while open: 1, after the end: 0, answered: no\n");
}
