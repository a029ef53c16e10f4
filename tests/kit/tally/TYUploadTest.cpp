#include "TallyFixture.h"

#include "kit/core/KBCertificatePinner.h"
#include "kit/support/KBIdentifiers.h"
#include "kit/support/KBMainQueue.h"
#include "kit/support/KBRandom.h"
#include "kit/support/KBVirtualClock.h"
#include "kit/support/harness/DescriptorLimit.h"
#include "kit/support/harness/Eventually.h"
#include "kit/support/harness/ManualQueue.h"
#include "kit/tally/TYCustomEvent.h"
#include "kit/tally/TYLifecycleEvent.h"
#include "kit/tally/TYWriteEventOperation.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

namespace {

// A controller whose retry handler trusts the test's root A.
class RootAController : public TYTallyController {
public:
    using TYTallyController::TYTallyController;

protected:
    std::shared_ptr<TYNetworkRetryHandler> makeNetworkRetryHandler() override
    {
        const std::string& der = TestCertificates::shared().rootA.certificateDer;
        return std::make_shared<TYNetworkRetryHandler>(
            std::vector<KBCertificate>{KBCertificateFromDERBytes(der.data(), der.size())});
    }
};

// Uploads on the virtual clock, the main queue pumped by hand and a jitter
// factor of exactly 1.
class TallyUploadTest : public TallyFixture {
protected:
    void SetUp() override
    {
        TallyFixture::SetUp();
        KBClock::setShared(clock);
        KBMainQueue::setExecutor([this](std::function<void()> block) { mainQueue->async(std::move(block)); });
        KBRandom::setSource([] { return 0.5; });
        platform->setObject(kb::kInstallationUUIDKey, "a");
    }
    void TearDown() override
    {
        KBLog::setDebugEnabled(false);
        KBRandom::setSource(nullptr);
        KBMainQueue::setExecutor({});
        KBClock::setShared(nullptr);
        TallyFixture::TearDown();
    }

    void useSettings(const std::string& eventsUrl, nlohmann::json analytics = nlohmann::json::object())
    {
        analytics["url"] = eventsUrl;
        settings->set(nlohmann::json{{"analytics", analytics}});
    }

    // A started controller whose settings send to the server's events path.
    std::shared_ptr<TYTallyController> startSendingTo(const LoopbackServer& server)
    {
        useSettings(server.url("/spi/v2/events"));
        return startController<TYTallyController>();
    }

    // Logs a flushing event and waits for its batch to be packaged.
    std::string flushOneBatch(const std::shared_ptr<TYTallyController>& controller)
    {
        const size_t before = filesWithExtension("multipartmime").size();
        controller->enqueueEvent(TYLifecycleEvent::eventWithNotification("NSApplicationDidBecomeActiveNotification"));
        controller->eventQueue()->waitUntilAllOperationsAreFinished();
        const auto batches = filesWithExtension("multipartmime");
        EXPECT_EQ(batches.size(), before + 1);
        return batches.empty() ? std::string() : *batches.rbegin();
    }

    // Waits out each back-off: the delay the clock waits for, then the retry.
    std::vector<double> runRetries(const LoopbackServer& server, size_t requests)
    {
        std::vector<double> waits;
        for (size_t n = 1; n < requests; ++n) {
            if (!eventually([&] { return clock->pendingCount() > 0; })) {
                break;
            }
            waits.push_back(std::round(clock->secondsUntilNext() * 1000.0) / 1000.0);
            clock->advance(clock->secondsUntilNext());
            mainQueue->pump();
            EXPECT_TRUE(server.waitForRequests(n + 1)) << n;
        }
        return waits;
    }

    // The batch a request sent: its multipart boundary.
    static std::string boundaryOf(const LoopbackRequest& request)
    {
        const std::string type = request.header("Content-Type").value_or("");
        const size_t at = type.find("boundary=");
        return at == std::string::npos ? std::string() : type.substr(at + 9);
    }

    // The drop summaries written so far, in order.
    std::vector<std::string> dropLines() const
    {
        std::vector<std::string> lines;
        for (const auto& line : log.lines()) {
            if (line.find("pending batches dropped") != std::string::npos) {
                lines.push_back(line);
            }
        }
        return lines;
    }
    static std::string dropLine(size_t dropped, size_t limit = 100)
    {
        return "[Tally] " + std::to_string(dropped) + " pending batches dropped since the start, oldest first, past "
            + "the limit of " + std::to_string(limit);
    }

    std::shared_ptr<KBVirtualClock> clock = std::make_shared<KBVirtualClock>();
    std::shared_ptr<ManualQueue> mainQueue = std::make_shared<ManualQueue>();
};

} // namespace

TEST_F(TallyUploadTest, BatchesArePostedOnceWithTheKitsHeadersAndRemovedWhenDone)
{
    LoopbackServer server;
    server.script("/spi/v2/events", {LoopbackReply::with(LoopbackReply::Behaviour::Hold), LoopbackReply::answer(200)});
    useSettings(server.url("/spi/v2/events"));
    clock->setWallStart(1'700'000'000.0);
    auto controller = startController<TYTallyController>();
    ASSERT_TRUE(controller->settings()->valid());

    const std::string batch = flushOneBatch(controller);
    const std::string name = TYFileUtils::baseName(batch);
    const auto bytes = KBFiles::read(batch);
    ASSERT_TRUE(server.waitForRequests(1));
    // A second operation for the batch while the first is in flight.
    controller->eventQueue()->addOperation(controller->uploadOperationForFileAtURL(batch, name));
    ASSERT_TRUE(eventually([&] { return log.contains("A task currently exists for '" + name + "', skipping"); }));
    // A new time-out makes a new session; the request in flight still ends.
    controller->eventQueue()->addOperationWithBlock(
        [controller] { controller->uploader()->setDefaultUploadTimeout(600); });
    controller->eventQueue()->waitUntilAllOperationsAreFinished();
    server.releaseHeld();
    ASSERT_TRUE(eventually([&] { return !TYFileUtils::isRegularFile(batch); }));
    EXPECT_TRUE(eventually([&] { return log.contains("Finished transmission of '" + name + "'."); }));
    EXPECT_EQ(server.requestCount(), 1u);

    const auto request = server.requests()[0];
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.body, *bytes);
    const std::vector<std::string> expected = {
        "Content-Type: multipart/form-data; boundary=" + name,
        "Content-Length: " + std::to_string(bytes->size()),
        "User-Agent: Tally Linux SDK/1.3.4",
        std::string("X-CRASHWATCH-DEVELOPER-TOKEN: ") + kb::kDeveloperToken,
        "X-CRASHWATCH-API-CLIENT-TYPE: Tally Linux SDK",
        "X-CRASHWATCH-API-CLIENT-VERSION: 26",
        "X-CRASHWATCH-API-CLIENT-DISPLAY-VERSION: 1.3.4",
        "X-CRASHWATCH-API-CLIENT-BUILD-VERSION: 26",
        "X-CRASHWATCH-API-KEY: test-key",
        "X-Crashwatch-Api-Client-Packaged-Timestamp: 1700000000",
    };
    std::vector<std::string> ours;
    for (const auto& line : request.headerLines) {
        for (const auto& want : expected) {
            if (line.substr(0, line.find(':')) == want.substr(0, want.find(':'))) {
                ours.push_back(line);
            }
        }
    }
    EXPECT_EQ(ours, expected);

    // A batch that is not there ends at once on the removal path.
    log.clear();
    const std::string missing = controller->multipartMimeURLWithBoundary("MISSING");
    controller->eventQueue()->addOperation(controller->uploadOperationForFileAtURL(missing, "MISSING"));
    ASSERT_TRUE(eventually([&] { return log.contains("Finished transmission of 'MISSING'."); }));
    EXPECT_TRUE(log.contains("Failed to upload 'MISSING': Error Domain=KBNetworkError Code=-8"));
    EXPECT_EQ(server.requestCount(), 1u);
}

TEST_F(TallyUploadTest, RetriesBackOffDoublingAndKeepTheBatchAfterElevenRetries)
{
    LoopbackServer server;
    server.script("/spi/v2/events", LoopbackReply::answer(503));
    auto controller = startSendingTo(server);
    const std::string batch = flushOneBatch(controller);
    const std::string name = TYFileUtils::baseName(batch);
    ASSERT_TRUE(server.waitForRequests(1));

    const auto waits = runRetries(server, 12);
    std::vector<double> doubling;
    for (int n = 1; n <= 11; ++n) {
        doubling.push_back(std::pow(2.0, n));
    }
    EXPECT_EQ(waits, doubling);
    // No 2xx ever came: the batch waits on disk for a later launch.
    ASSERT_TRUE(eventually([&] { return log.contains("Keeping '" + name + "' for a later upload."); }));
    EXPECT_TRUE(TYFileUtils::isRegularFile(batch));
    EXPECT_FALSE(log.contains("Finished transmission of '" + name + "'."));
    EXPECT_EQ(server.requestCount(), 12u);
    EXPECT_NEAR(std::chrono::duration<double>(clock->now()).count(), 4094.0, 0.01);
    // The last response's own error, not "retries ran out".
    EXPECT_TRUE(
        eventually([&] { return log.contains("Failed to upload '" + name + "': Error Domain=KBNetworkError"); }));
    EXPECT_FALSE(log.contains("Code=-6"));
    // The timestamp was taken once, when the batch was first sent.
    const auto requests = server.requests();
    for (const auto& request : requests) {
        EXPECT_EQ(request.header("X-Crashwatch-Api-Client-Packaged-Timestamp"),
            requests[0].header("X-Crashwatch-Api-Client-Packaged-Timestamp"));
    }
    EXPECT_EQ(clock->pendingCount(), 0u);
    EXPECT_EQ(controller->networkRetryHandler()->timerCount(), 0u);
}

TEST_F(TallyUploadTest, EveryRetryAfterIsWaitedOutAndNeverRaisedToAPower)
{
    LoopbackServer server;
    server.script("/spi/v2/events",
        {LoopbackReply::answer(503, "", {{"Retry-After", "30"}}),
            LoopbackReply::answer(503, "", {{"Retry-After", "5"}}), LoopbackReply::answer(200)});
    auto controller = startSendingTo(server);
    const std::string batch = flushOneBatch(controller);
    ASSERT_TRUE(server.waitForRequests(1));
    // The second wait is the larger of the 5 s asked and the doubled 4 s.
    EXPECT_EQ(runRetries(server, 3), (std::vector<double>{30.0, 5.0}));
    EXPECT_TRUE(eventually([&] { return !TYFileUtils::isRegularFile(batch); }));
    EXPECT_EQ(server.requestCount(), 3u);

    // A Retry-After so large that it overflows every clock never fires,
    // rather than wrapping round into an early retry.
    TYBackoffTimer huge(1e30);
    bool ran = false;
    huge.executeBlockAfterNextInterval([&] { ran = true; });
    clock->advance(1e18);
    mainQueue->pump();
    EXPECT_FALSE(ran);
}

TEST_F(TallyUploadTest, ServerTrustIsPinnedUnlessTheKitDebugs)
{
    LoopbackServer server(LoopbackServer::Scheme::Https, &TestCertificates::shared().leafA);
    server.script("/spi/v2/events", LoopbackReply::answer(200));
    useSettings(server.url("/spi/v2/events"));
    auto controller = startController<RootAController>();

    const std::string pinned = flushOneBatch(controller);
    ASSERT_TRUE(server.waitForRequests(1));
    EXPECT_TRUE(eventually([&] { return !TYFileUtils::isRegularFile(pinned); }));
    EXPECT_FALSE(log.contains("Failed to upload"));

    // Default handling trusts only the system's roots: refused, and the batch
    // waits for a later try.
    KBLog::setDebugEnabled(true);
    const std::string refused = flushOneBatch(controller);
    const std::string name = TYFileUtils::baseName(refused);
    ASSERT_TRUE(eventually([&] { return clock->pendingCount() == 1; }));
    EXPECT_TRUE(TYFileUtils::isRegularFile(refused));
    EXPECT_EQ(server.requestCount(), 1u);
    clock->advance(clock->secondsUntilNext());
    mainQueue->pump();
    EXPECT_TRUE(log.contains("Error transmitting '" + name + "'"));
    EXPECT_TRUE(log.contains("Code=-1202"));
    EXPECT_TRUE(log.contains("Scheduling retry for '" + name + "'."));
    EXPECT_FALSE(log.contains("Failed to upload"));
    // Refused again, it waits out the doubled back-off.
    ASSERT_TRUE(eventually([&] { return clock->pendingCount() == 1; }));
    EXPECT_DOUBLE_EQ(clock->secondsUntilNext(), 4.0);
}

// Redirects the session does not follow, and throttling with a date and in
// seconds: none of them is a 2xx, so the batch stays until one comes, and
// each retry waits what the server asked (the date read on the kit clock).
TEST_F(TallyUploadTest, ABatchIsKeptThroughRedirectsAndThrottlingUntilA2xx)
{
    LoopbackServer elsewhere;
    elsewhere.script("/catch", LoopbackReply::answer(200));
    LoopbackServer server;
    clock->setWallStart(1'700'000'000.0);
    // Asked after 2 + 4 s of back-off: 40 s from then.
    const std::string inForty = "Tue, 14 Nov 2023 22:14:06 GMT";
    server.script("/spi/v2/events",
        {LoopbackReply::answer(302, "", {{"Location", elsewhere.url("/catch")}}),
            LoopbackReply::answer(307, "", {{"Location", "/spi/v2/moved"}}),
            LoopbackReply::answer(429, "", {{"Retry-After", inForty}}),
            LoopbackReply::answer(429, "", {{"Retry-After", "90"}}), LoopbackReply::answer(200)});
    server.script("/spi/v2/moved", LoopbackReply::answer(503));
    auto controller = startSendingTo(server);
    const std::string batch = flushOneBatch(controller);
    const std::string name = TYFileUtils::baseName(batch);
    ASSERT_TRUE(server.waitForRequests(1));

    std::vector<double> waits;
    for (size_t answered = 1; answered < 5; ++answered) {
        ASSERT_TRUE(eventually([&] { return clock->pendingCount() > 0; })) << answered;
        EXPECT_TRUE(TYFileUtils::isRegularFile(batch)) << answered;
        waits.push_back(std::round(clock->secondsUntilNext() * 1000.0) / 1000.0);
        clock->advance(clock->secondsUntilNext());
        mainQueue->pump();
        ASSERT_TRUE(eventually([&] {
            size_t posted = 0;
            for (const auto& request : server.requests()) {
                posted += request.path == "/spi/v2/events" ? 1 : 0;
            }
            return posted == answered + 1;
        })) << answered;
    }
    EXPECT_EQ(waits, (std::vector<double>{2.0, 4.0, 40.0, 90.0}));
    ASSERT_TRUE(eventually([&] { return !TYFileUtils::isRegularFile(batch); }));
    EXPECT_TRUE(log.contains("Finished transmission of '" + name + "'."));
    EXPECT_FALSE(log.contains("Failed to upload"));
    EXPECT_EQ(elsewhere.requestCount(), 0u);
    EXPECT_EQ(clock->pendingCount(), 0u);
}

// Only a refusal of the batch itself settles it without a 2xx.
TEST_F(TallyUploadTest, APermanentRefusalRemovesTheBatchAtOnce)
{
    LoopbackServer server;
    // Held until the batch was seen on disk.
    LoopbackReply refusal = LoopbackReply::answer(413);
    refusal.behaviour = LoopbackReply::Behaviour::Hold;
    server.script("/spi/v2/events", refusal);
    auto controller = startSendingTo(server);
    const std::string batch = flushOneBatch(controller);
    server.releaseHeld();
    ASSERT_TRUE(eventually([&] { return !TYFileUtils::isRegularFile(batch); }));
    EXPECT_TRUE(log.contains("Failed to upload '" + TYFileUtils::baseName(batch) + "'"));
    EXPECT_EQ(server.requestCount(), 1u);
    EXPECT_EQ(clock->pendingCount(), 0u);
}

// Settings that give no usable events URL (none at all, or text that is no
// URL) leave every batch where it is: an upload that cannot start says
// nothing about the batch. A start whose settings give a URL sends them.
TEST_F(TallyUploadTest, BatchesWaitOnDiskUntilSettingsGiveAUsableURL)
{
    const std::vector<nlohmann::json> unusable
        = {nlohmann::json::object(), nlohmann::json{{"analytics", {{"url", "not-a-url"}}}}};
    for (const auto& dictionary : unusable) {
        SCOPED_TRACE(dictionary.dump());
        std::filesystem::remove_all(root);
        log.clear();
        settings->set(dictionary);
        auto controller = startController<TYTallyController>();
        ASSERT_TRUE(controller->settings()->valid());
        flushOneBatch(controller);
        flushOneBatch(controller);
        const std::set<std::string> batches = filesWithExtension("multipartmime");
        ASSERT_EQ(batches.size(), 2u);
        const auto triedAndKept = [&] {
            for (const std::string& batch : batches) {
                const std::string name = TYFileUtils::baseName(batch);
                EXPECT_TRUE(eventually([&] { return log.contains("Keeping '" + name + "' for a later upload."); }));
            }
            controller->eventQueue()->waitUntilAllOperationsAreFinished();
            EXPECT_EQ(filesWithExtension("multipartmime"), batches);
            EXPECT_FALSE(log.contains("Finished transmission"));
        };
        triedAndKept();
        // A start with the same settings tries every batch on disk again.
        controller.reset();
        log.clear();
        controller = startController<TYTallyController>();
        triedAndKept();

        controller.reset();
        LoopbackServer server;
        server.script("/spi/v2/events", LoopbackReply::answer(200));
        controller = startSendingTo(server);
        // The second start's log is packaged and sent along with them.
        ASSERT_TRUE(server.waitForRequests(3));
        EXPECT_TRUE(eventually([&] { return filesWithExtension("multipartmime").empty(); }));
        controller->eventQueue()->waitUntilAllOperationsAreFinished();
        std::set<std::string> sent;
        for (const auto& request : server.requests()) {
            sent.insert(events + "/" + boundaryOf(request) + ".multipartmime");
        }
        EXPECT_EQ(sent.size(), 3u);
        EXPECT_TRUE(std::includes(sent.begin(), sent.end(), batches.begin(), batches.end()));
        EXPECT_EQ(server.requestCount(), 3u);
    }
}

// The first settings may arrive while a batch's packaging is queued: the
// settings' own upload of every batch then runs before the batch exists, and
// the batch's upload step runs after. Either order sends it, once.
TEST_F(TallyUploadTest, ABatchPackagedAroundTheFirstSettingsIsSentAtOnceInEitherOrder)
{
    for (const bool settingsFirst : {true, false}) {
        SCOPED_TRACE(settingsFirst);
        std::filesystem::remove_all(root);
        LoopbackServer server;
        server.script("/spi/v2/events", LoopbackReply::answer(200));
        settings->set(std::nullopt);
        auto controller = startController<TYTallyController>();
        ASSERT_FALSE(controller->settings()->valid());
        useSettings(server.url("/spi/v2/events"));
        runOnQueue(controller, [&] {
            if (settingsFirst) {
                controller->initializeSettingsIfNeededWithKitbaseSettings(settings->settingsDictionary());
            }
            controller->rotateAndSubmitCurrentLog();
            if (!settingsFirst) {
                controller->initializeSettingsIfNeededWithKitbaseSettings(settings->settingsDictionary());
            }
        });
        ASSERT_TRUE(server.waitForRequests(1));
        EXPECT_TRUE(eventually([&] { return filesWithExtension("multipartmime").empty(); }));
        controller->eventQueue()->waitUntilAllOperationsAreFinished();
        EXPECT_EQ(server.requestCount(), 1u);
    }
}

// A batch dropped with every flush against a failing server: the count is
// written with the first drop and then once per firing of the flush timer,
// not once per batch.
TEST_F(TallyUploadTest, DroppedBatchesAreCountedInOneLinePerFlush)
{
    LoopbackServer server;
    server.script("/spi/v2/events", LoopbackReply::answer(503));
    useSettings(server.url("/spi/v2/events"), {{"flush_interval_secs", 600}});
    auto controller = startController<TYTallyController>();
    // The timer's firing hops through the global queue: once the line it
    // writes is there, every firing before it has run.
    const auto fireFlushTimer = [&] {
        controller->eventQueue()->waitUntilAllOperationsAreFinished();
        clock->advance(700);
        mainQueue->pump();
    };
    size_t sent = 0;
    const auto flushABatch = [&] {
        controller->enqueueEvent(TYLifecycleEvent::eventWithNotification("NSApplicationDidBecomeActiveNotification"));
        controller->eventQueue()->waitUntilAllOperationsAreFinished();
        EXPECT_TRUE(server.waitForRequests(++sent));
    };
    // The limit is the default hundred.
    for (int batch = 0; batch < 104; ++batch) {
        flushABatch();
    }
    EXPECT_EQ(controller->droppedBatchCount(), 4u);
    EXPECT_EQ(dropLines(), (std::vector<std::string>{dropLine(1)}));

    fireFlushTimer();
    EXPECT_TRUE(eventually([&] { return log.contains("[Tally] 4 pending batches dropped since the start"); }));
    // Nothing dropped before the next firing: it writes nothing.
    fireFlushTimer();
    flushABatch();
    fireFlushTimer();
    EXPECT_TRUE(eventually([&] { return log.contains("[Tally] 5 pending batches dropped since the start"); }));
    EXPECT_EQ(dropLines(), (std::vector<std::string>{dropLine(1), dropLine(4), dropLine(5)}));

    // The quit writes the total, also what was dropped since the last firing.
    // A firing hops through the global queue, so on a busy machine the last
    // one may run only after this drop and write the total before the quit
    // writes it once more.
    flushABatch();
    KBNotificationCenter::defaultCenter().post("NSApplicationWillTerminateNotification");
    EXPECT_TRUE(eventually([&] { return dropLines().size() >= 4; }));
    controller->eventQueue()->waitUntilAllOperationsAreFinished();
    auto lines = dropLines();
    if (lines.size() == 5) {
        EXPECT_EQ(lines.back(), dropLine(6));
        lines.pop_back();
    }
    EXPECT_EQ(lines, (std::vector<std::string>{dropLine(1), dropLine(4), dropLine(5), dropLine(6)}));
}

// The default settings have no flush timer: each drop writes the new total
// at once, and the quit writes the total once more, as the run's last word.
TEST_F(TallyUploadTest, WithoutAFlushTimerEachDropAndTheQuitWriteTheTotal)
{
    LoopbackServer server;
    server.script("/spi/v2/events", LoopbackReply::answer(503));
    // Batches of an earlier run fill the default limit of a hundred.
    ASSERT_TRUE(KBFiles::makeFolders(events));
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(KBFiles::writeAtomically(events + "/earlier" + std::to_string(i) + ".multipartmime", "batch"));
    }
    auto controller = startSendingTo(server);
    ASSERT_EQ(controller->flushTimer(), nullptr);
    for (int flushes = 0; flushes < 3; ++flushes) {
        controller->enqueueEvent(TYLifecycleEvent::eventWithNotification("NSApplicationDidBecomeActiveNotification"));
        controller->eventQueue()->waitUntilAllOperationsAreFinished();
    }
    EXPECT_EQ(controller->droppedBatchCount(), 3u);
    EXPECT_EQ(dropLines(), (std::vector<std::string>{dropLine(1), dropLine(2), dropLine(3)}));

    KBNotificationCenter::defaultCenter().post("NSApplicationWillTerminateNotification");
    EXPECT_TRUE(eventually([&] { return dropLines().size() == 4; }));
    controller->eventQueue()->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(dropLines(), (std::vector<std::string>{dropLine(1), dropLine(2), dropLine(3), dropLine(3)}));
    EXPECT_EQ(filesWithExtension("multipartmime").size(), 100u);
}

// Against a server that keeps failing, hundreds of batches wait for their
// retries: the newest hundred stay on disk, the older ones go with their
// retries, and no waiting batch holds a descriptor, so a process allowed
// only a few more files than it has open loses no event.
TEST_F(TallyUploadTest, BatchesWaitingOnAFailingServerStayBoundedInFilesDescriptorsAndRetries)
{
    LoopbackServer server;
    server.script("/spi/v2/events", LoopbackReply::answer(503));
    auto controller = startSendingTo(server);
    const auto handler = controller->networkRetryHandler();
    const uint64_t lostBefore = TYWriteEventOperation::lostEventCount();
    constexpr size_t kBatches = 250;
    constexpr size_t kLimit = 100;
    const size_t openBefore = DescriptorLimit::openDescriptorCount();
    size_t mostOpen = 0;
    {
        const DescriptorLimit limit(openBefore + 64);
        for (size_t i = 0; i < kBatches; ++i) {
            controller->enqueueEvent(
                TYLifecycleEvent::eventWithNotification("NSApplicationDidBecomeActiveNotification"));
            controller->eventQueue()->waitUntilAllOperationsAreFinished();
            ASSERT_TRUE(server.waitForRequests(i + 1)) << i;
            ASSERT_TRUE(eventually([&] { return handler->timerCount() == std::min(i + 1, kLimit); })) << i;
            mostOpen = std::max(mostOpen, DescriptorLimit::openDescriptorCount());
        }
    }
    EXPECT_EQ(TYWriteEventOperation::lostEventCount(), lostBefore);
    EXPECT_FALSE(log.contains("Failed to open"));
    EXPECT_LE(mostOpen, openBefore + 16);

    // The newest hundred wait; each older one went when a newer one came.
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), kBatches);
    std::set<std::string> newest;
    for (size_t i = kBatches - kLimit; i < kBatches; ++i) {
        newest.insert(events + "/" + boundaryOf(requests[i]) + ".multipartmime");
    }
    EXPECT_EQ(filesWithExtension("multipartmime"), newest);
    EXPECT_EQ(controller->droppedBatchCount(), kBatches - kLimit);
    // Without a flush timer every drop writes the total it reached.
    const auto lines = dropLines();
    ASSERT_EQ(lines.size(), kBatches - kLimit);
    EXPECT_EQ(lines.front(), dropLine(1));
    EXPECT_EQ(lines.back(), dropLine(kBatches - kLimit));

    // The server is back: only the hundred kept are tried again, once each,
    // and nothing of them is left behind. A batch is counted before its retry
    // is put on the clock, so a busy machine may leave the last retry for a
    // second turn of the clock.
    server.script("/spi/v2/events", LoopbackReply::answer(200));
    ASSERT_TRUE(eventually([&] {
        if (clock->pendingCount() > 0) {
            clock->advance(clock->secondsUntilNext());
        }
        mainQueue->pump();
        return server.requestCount() >= kBatches + kLimit;
    }));
    ASSERT_TRUE(eventually([&] { return filesWithExtension("multipartmime").empty(); }));
    controller->eventQueue()->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(server.requestCount(), kBatches + kLimit);
    std::set<std::string> retried;
    for (size_t i = kBatches; i < kBatches + kLimit; ++i) {
        retried.insert(events + "/" + boundaryOf(server.requests()[i]) + ".multipartmime");
    }
    EXPECT_EQ(retried, newest);
    EXPECT_EQ(handler->timerCount(), 0u);
}
