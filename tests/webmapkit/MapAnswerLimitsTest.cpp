#include "support/HostileAnswers.h"
#include "support/LoopbackHttpServer.h"
#include "support/Patience.h"
#include "support/ProcessMemory.h"
#include "webmapkit/EndlessHttp2Server.h"
#include "webmapkit/GMKMapView.h"
#include "webmapkit/GMKReverseGeocoder.h"
#include "webmapkit/LocationProvider.h"
#include "webmapkit/MapAccessManager.h"
#include "webmapkit/MapNetwork.h"
#include "webmapkit/MapSearchPacing.h"
#include "webmapkit/MapTestSupport.h"
#include "webmapkit/MapViewTestSupport.h"

#include <QNetworkReply>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>
#include <vector>

// Servers the user does not control answer without end, far too much, too
// slowly or with something else than asked: every map client stops at its cap
// or its deadline, says so in the log and fails as its callers expect, while
// the process stays small.

namespace {

using namespace HostileAnswers;

class MapAnswerLimitsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MapClock::setDefaultClock(&clock);
        MapSearchPacing::shared()->forget();
        ASSERT_TRUE(server.start());
        server.setHandler([this](const LoopbackRequest&) { return answer; });
    }
    void TearDown() override
    {
        qputenv("LUMETTA_GEOCODERURL", "");
        MapClock::setDefaultClock(nullptr);
    }

    // Starts a new memory peak, where the process has one that means something.
    void startMeasuring()
    {
        // What a flood before left free in the heap would hide the next one.
        malloc_trim(0);
        baseline = ProcessMemory::residentBytes();
        measured = ProcessMemory::resetPeak() && baseline > 0;
    }
    // What the work since startMeasuring() took at its peak; 0 when unmeasured.
    qint64 grownBy() const { return measured ? ProcessMemory::peakBytes() - baseline : 0; }

    std::optional<MapReply> fetch(qint64 maxBytes, const QString& path = QStringLiteral("/answer"))
    {
        std::optional<MapReply> result;
        QObject context;
        MapNetwork::Options options;
        options.maxBytes = maxBytes;
        MapNetwork::shared()->get(
            QUrl(server.url(path)), QStringLiteral("test fetch"), &context,
            [&](const MapReply& reply) { result = reply; }, options);
        (void)QTest::qWaitFor([&]() { return result.has_value(); }, kPatientMs);
        return result;
    }

    ManualMapClock clock;
    LoopbackHttpServer server;
    LoopbackResponse answer;
    qint64 baseline = 0;
    bool measured = false;
};

} // namespace

TEST_F(MapAnswerLimitsTest, EndlessAndHugeAnswersStopAtTheCapWithOneLoggedErrorInBoundedMemory)
{
    const struct {
        const char* name;
        LoopbackResponse response;
        const char* logged;
    } cases[] = {
        {"endless", endless(), "answer longer than the 1048576 bytes allowed"},
        {"huge and declared", huge(true), "declared 314572801 bytes, more than the 1048576 allowed"},
        {"huge and undeclared", huge(false), "answer longer than the 1048576 bytes allowed"},
    };
    for (const auto& c : cases) {
        answer = c.response;
        MapLogCapture log;
        startMeasuring();
        const auto result = fetch(kMiB);
        ASSERT_TRUE(result.has_value()) << c.name;
        EXPECT_FALSE(result->ok) << c.name;
        EXPECT_TRUE(result->body.isEmpty()) << c.name;
        EXPECT_EQ(log.count(QStringLiteral("network error: test fetch")), 1) << c.name;
        EXPECT_EQ(log.count(QString::fromLatin1(c.logged)), 1)
            << c.name << ": " << log.lines().join('\n').toStdString();
        EXPECT_LT(grownBy(), kMemoryBound) << c.name;
    }

    // An answer exactly at the cap is whole and good.
    answer = LoopbackResponse::json(QByteArray(kMiB, ' '));
    const auto atCap = fetch(kMiB);
    ASSERT_TRUE(atCap.has_value());
    EXPECT_TRUE(atCap->ok);
    EXPECT_EQ(atCap->body.size(), kMiB);
}

TEST_F(MapAnswerLimitsTest, ASlowAnswerEndsAtTheOverallDeadlineThoughItIsNeverIdle)
{
    answer = trickling();
    std::optional<MapReply> result;
    QObject context;
    MapLogCapture log;
    MapNetwork::shared()->get(QUrl(server.url(QStringLiteral("/slow"))), QStringLiteral("test fetch"), &context,
        [&](const MapReply& reply) { result = reply; });
    ASSERT_TRUE(server.waitForRequests(1));
    QTest::qWait(100);
    clock.advance(MapAccessManager::kDefaultDeadlineSeconds - 1);
    QTest::qWait(50);
    EXPECT_FALSE(result.has_value()) << "still within its deadline";
    clock.advance(2);
    ASSERT_TRUE(QTest::qWaitFor([&]() { return result.has_value(); }, kPatientMs));
    EXPECT_FALSE(result->ok);
    EXPECT_EQ(log.count(QStringLiteral("no complete answer within 30 s")), 1);

    // A settable deadline for callers that need a shorter one.
    MapNetwork::shared()->setAnswerDeadline(2);
    result.reset();
    MapNetwork::shared()->get(QUrl(server.url(QStringLiteral("/slow"))), QStringLiteral("test fetch"), &context,
        [&](const MapReply& reply) { result = reply; });
    MapNetwork::shared()->setAnswerDeadline(MapAccessManager::kDefaultDeadlineSeconds);
    ASSERT_TRUE(server.waitForRequests(2));
    clock.advance(2.5);
    ASSERT_TRUE(QTest::qWaitFor([&]() { return result.has_value(); }, kPatientMs));
    EXPECT_EQ(log.count(QStringLiteral("no complete answer within 2 s")), 1);
}

TEST_F(MapAnswerLimitsTest, PageSearchesAndGeocodersFailWithTheServiceFailureCode)
{
    qputenv("LUMETTA_GEOCODERURL", server.url(QStringLiteral("/search")).toUtf8());
    GMKMapView view;
    ASSERT_TRUE(waitForLoad(view.host()));
    auto search = [&]() {
        int code = -99;
        view.showAddress(
            QStringLiteral("Main Street"), [&](int found, const QString&, const MapCoordinate&) { code = found; });
        clock.advance(MapSearchPacing::kSpacingSeconds);
        (void)QTest::qWaitFor([&]() { return code != -99; }, kPatientMs);
        return code;
    };
    for (const LoopbackResponse& response : {endless(), huge(true), huge(false)}) {
        answer = response;
        MapLogCapture log;
        startMeasuring();
        EXPECT_EQ(search(), 2);
        EXPECT_EQ(log.count(QStringLiteral("network error: map page request")), 1);
        EXPECT_LT(grownBy(), kMemoryBound);
    }

    answer = trickling();
    int slow = -99;
    view.showAddress(
        QStringLiteral("Elm Road"), [&](int found, const QString&, const MapCoordinate&) { slow = found; });
    ASSERT_TRUE(server.waitForRequests(4));
    clock.advance(MapAccessManager::kDefaultDeadlineSeconds + 1);
    ASSERT_TRUE(QTest::qWaitFor([&]() { return slow != -99; }, kPatientMs));
    EXPECT_EQ(slow, 2);

    // The reverse geocoder goes the same way and reports a failure.
    answer = endless();
    GeocoderTestDelegate delegate;
    GMKReverseGeocoder reverse(MapCoordinate{48.5, 9.25});
    reverse.setDelegate(&delegate);
    reverse.start();
    ASSERT_TRUE(QTest::qWaitFor([&]() { return !delegate.failures.isEmpty(); }, kPatientMs));
    EXPECT_TRUE(delegate.placemarks.isEmpty());
}

TEST_F(MapAnswerLimitsTest, TheUserLocationFailsOnAnEndlessAnswer)
{
    answer = endless();
    const auto provider = LocationProvider::create(server.url(QStringLiteral("/where")));
    QSignalSpy failures(provider.get(), &LocationProvider::didFail);
    MapLogCapture log;
    startMeasuring();
    provider->start();
    ASSERT_TRUE(failures.wait(kPatientMs));
    EXPECT_EQ(log.count(QStringLiteral("network error: user location")), 1);
    EXPECT_LT(grownBy(), kMemoryBound);
}

TEST_F(MapAnswerLimitsTest, EndlessAnswersStayBoundedWhileEveryCoreIsBusy)
{
    // The GUI thread runs late when the machine is busy; the transfer thread
    // must wait for it instead of filling the reply's buffer meanwhile.
    std::atomic<bool> stop{false};
    std::vector<std::thread> spinners;
    const unsigned cores = std::max(2U, std::thread::hardware_concurrency());
    for (unsigned i = 0; i < cores; ++i) {
        spinners.emplace_back([&stop]() {
            volatile unsigned long spins = 0;
            while (!stop.load(std::memory_order_relaxed)) {
                spins = spins + 1;
            }
        });
    }
    answer = endless();
    MapLogCapture log;
    startMeasuring();
    QObject context;
    int answered = 0;
    MapNetwork::Options tile;
    tile.maxBytes = 2 * kMiB;
    for (int i = 0; i < 10; ++i) {
        const QNetworkReply* reply = MapNetwork::shared()->get(
            QUrl(server.url(QStringLiteral("/endless/%1").arg(i))), QStringLiteral("test fetch"), &context,
            [&](const MapReply& reply) { answered += reply.ok ? 100 : 1; }, i < 8 ? tile : MapNetwork::Options{});
        // Qt's transfer thread holds no more of it than this.
        EXPECT_TRUE(reply != nullptr && reply->readBufferSize() == MapAccessManager::kReadBufferBytes);
    }
    // The GUI thread, late as on a busy machine, takes nothing for a while
    // once the answers flow.
    EXPECT_TRUE(server.waitForRequests(6));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const bool done = QTest::qWaitFor([&]() { return answered >= 10; }, kPatientMs);
    const qint64 grown = grownBy();
    stop = true;
    for (std::thread& spinner : spinners) {
        spinner.join();
    }
    ASSERT_TRUE(done);
    EXPECT_EQ(answered, 10) << "every answer failed at its cap";
    EXPECT_EQ(log.count(QStringLiteral("answer longer than")), 10);
    EXPECT_LT(grown, kMemoryBound);
    std::printf("peak growth with %u busy cores: %.1f MiB\n", cores, double(grown) / double(kMiB));
}

TEST_F(MapAnswerLimitsTest, EndlessAnswersBehindRedirectsStayBoundedWhileTheGuiThreadIsBusy)
{
    // The GUI thread, busy painting or running a page, takes nothing for a
    // while once the endless answer flows: Qt's transfer thread must wait for
    // it, for the transfer a redirect starts as for the first one.
    server.setHandler([](const LoopbackRequest& request) {
        if (request.path().startsWith(QLatin1String("/moved"))) {
            LoopbackResponse moved;
            moved.status = 302;
            moved.headers.append(qMakePair(QByteArray("Location"), QByteArray("/endless")));
            return moved;
        }
        QTimer::singleShot(0, []() { std::this_thread::sleep_for(std::chrono::milliseconds(500)); });
        return endless();
    });
    {
        MapLogCapture log;
        startMeasuring();
        const auto result = fetch(kMiB, QStringLiteral("/moved"));
        ASSERT_TRUE(result.has_value());
        EXPECT_FALSE(result->ok);
        EXPECT_EQ(server.requests().last().path(), QStringLiteral("/endless"));
        EXPECT_EQ(log.count(QStringLiteral("answer longer than the 1048576 bytes allowed")), 1);
        EXPECT_LT(grownBy(), kMemoryBound) << "a place search's own request";
    }

    // A page's request (the map's address search) takes the same way.
    qputenv("LUMETTA_GEOCODERURL", server.url(QStringLiteral("/moved/search")).toUtf8());
    GMKMapView view;
    ASSERT_TRUE(waitForLoad(view.host()));
    MapLogCapture log;
    startMeasuring();
    int code = -99;
    view.showAddress(
        QStringLiteral("Main Street"), [&](int found, const QString&, const MapCoordinate&) { code = found; });
    clock.advance(MapSearchPacing::kSpacingSeconds);
    ASSERT_TRUE(QTest::qWaitFor([&]() { return code != -99; }, kPatientMs));
    EXPECT_EQ(code, 2) << "the search fails as on any failed answer";
    EXPECT_EQ(server.requests().last().path(), QStringLiteral("/endless"));
    EXPECT_EQ(log.count(QStringLiteral("network error: map page request")), 1);
    EXPECT_LT(grownBy(), kMemoryBound) << "a page's request";
}

TEST_F(MapAnswerLimitsTest, MapRequestsSpeakHttp1WhoseTransferWaitsForABusyGuiThread)
{
    // Qt's HTTP/2 transfer ignores the reply's read buffer and grants the
    // server all it asks for, so it would hold an endless answer however
    // late the GUI thread reads. Over TLS Qt offers HTTP/2 to any server; here
    // a request asks for it outright, without TLS.
    EndlessHttp2Server endlessServer;
    ASSERT_TRUE(endlessServer.start());
    QObject owner;
    MapAccessManager* manager = MapNetwork::createAccessManager(QByteArray(), &owner);
    QNetworkRequest request(QUrl(endlessServer.url(QStringLiteral("/search?q=Main"))));
    request.setAttribute(QNetworkRequest::Http2DirectAttribute, true);
    MapLogCapture log;
    startMeasuring();
    QNetworkReply* reply = manager->get(request);
    QObject::connect(reply, &QNetworkReply::readyRead, [reply]() { (void)reply->readAll(); });
    // Busy once the answer flows.
    QObject::connect(
        reply, &QNetworkReply::metaDataChanged, []() { std::this_thread::sleep_for(std::chrono::milliseconds(500)); });
    ASSERT_TRUE(QTest::qWaitFor([&]() { return reply->isFinished(); }, kPatientMs));
    EXPECT_LT(grownBy(), kMemoryBound);
    EXPECT_EQ(reply->error(), QNetworkReply::OperationCanceledError);
    EXPECT_EQ(log.count(QStringLiteral("answer longer than the 1048576 bytes allowed")), 1);
    EXPECT_EQ(endlessServer.http2Connections(), 0);
    EXPECT_EQ(endlessServer.http1Connections(), 1);
}
