// The report upload client against a loopback server, on the virtual clock.
#include "kit/crash/CWNetworkClient.h"
#include "kit/core/KBMainBundle.h"
#include "kit/support/KBClock.h"
#include "kit/support/KBLog.h"
#include "kit/support/KBVirtualClock.h"
#include "kit/support/harness/Eventually.h"
#include "kit/support/harness/LoopbackServer.h"
#include "kit/support/harness/TestCertificates.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

namespace {

namespace fs = std::filesystem;

class RecordingDelegate : public CWNetworkClientDelegate {
public:
    bool networkClientCanUseBackgroundSessions(CWNetworkClient&) override { return true; }
    void networkClientDidFinishUploadWithPath(
        CWNetworkClient&, const std::string& path, const std::optional<KBError>& error) override
    {
        std::lock_guard lock(mutex);
        finished.emplace_back(path, error);
    }
    std::optional<CWSettings> settingsForNetworkClient(CWNetworkClient&) override { return CWSettings(std::nullopt); }
    std::optional<std::string> APIKeyForNetworkClient(CWNetworkClient&) override { return "the-api-key"; }

    size_t finishedCount()
    {
        std::lock_guard lock(mutex);
        return finished.size();
    }

    std::mutex mutex;
    std::vector<std::pair<std::string, std::optional<KBError>>> finished;
};

class CWNetworkClientTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kit-upload-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        files_ = std::make_shared<CWFileManager>(root_.string());
        ASSERT_TRUE(files_->prepareForNewLaunch());
        package_ = files_->preparedPath() + "/0A1B2C3D-0000-4000-8000-000000000001.multipartmime";
        std::ofstream(package_, std::ios::binary) << "MIME-Version: 1.0\r\n--body of the package--\r\n";
        KBMainBundle::setInfoDictionary(nlohmann::json{{"CFBundleIdentifier", "org.lumetta.tests.upload"}});
        clock_ = std::make_shared<KBVirtualClock>();
        KBClock::setShared(clock_);
        KBLog::setDebugEnabled(false);
        queue_ = KBOperationQueue::make("upload-test");
        queue_->setMaxConcurrentOperationCount(1);
    }
    void TearDown() override
    {
        client_.reset();
        KBClock::setShared(nullptr);
        unsetenv("CrashwatchReportsEndpoint");
        unsetenv("CrashwatchSubmitReports");
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    CWNetworkClient& clientFor(const LoopbackServer& server)
    {
        setenv("CrashwatchReportsEndpoint", server.baseUrl().c_str(), 1);
        client_ = CWNetworkClient::make(queue_, files_, &delegate_);
        return *client_;
    }

    // Real time, bounded: the session reports on its own threads.

    static std::string reportsPath() { return "/sdk-api/v1/platforms/linux/apps/org.lumetta.tests.upload/reports"; }

    fs::path root_;
    std::shared_ptr<CWFileManager> files_;
    std::string package_;
    std::shared_ptr<KBVirtualClock> clock_;
    std::shared_ptr<KBOperationQueue> queue_;
    RecordingDelegate delegate_;
    std::shared_ptr<CWNetworkClient> client_;
};

TEST_F(CWNetworkClientTest, APackageIsPostedWithTheServicesHeadersAndItsOwnBytes)
{
    LoopbackServer server;
    server.script(reportsPath(), LoopbackReply::json("{}"));
    ASSERT_TRUE(clientFor(server).uploadPackagedReportAtPath(package_, false));
    ASSERT_TRUE(eventually([&] { return delegate_.finishedCount() == 1; }));
    const auto request = server.requests().at(0);
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, reportsPath());
    const std::vector<std::string> names{"User-Agent", "Accept", "Accept-Charset", "Accept-Language",
        "Content-Language", "X-Crashwatch-Developer-Token", "X-Crashwatch-API-Client-Id",
        "X-Crashwatch-API-Client-Display-Version", "X-Crashwatch-API-Client-Build-Version", "X-Crashwatch-API-Key",
        "Content-Type", "Content-Length"};
    std::vector<std::string> seen;
    for (const auto& line : request.headerLines) {
        const std::string name = line.substr(0, line.find(':'));
        if (std::find(names.begin(), names.end(), name) != names.end()) {
            seen.push_back(name);
        }
    }
    EXPECT_EQ(seen, names);
    EXPECT_EQ(request.header("User-Agent").value_or(""), "Crashwatch Linux SDK/3.8.4");
    EXPECT_EQ(request.header("X-Crashwatch-API-Client-Id").value_or(""), "org.lumetta.kit.crashwatch.linux");
    EXPECT_EQ(request.header("X-Crashwatch-API-Key").value_or(""), "the-api-key");
    EXPECT_EQ(request.header("Content-Type").value_or(""),
        "multipart/form-data; boundary=0A1B2C3D-0000-4000-8000-000000000001");
    EXPECT_EQ(request.header("Content-Length").value_or(""), std::to_string(fs::file_size(package_)));
    std::ifstream in(package_, std::ios::binary);
    EXPECT_EQ(request.body, std::string(std::istreambuf_iterator<char>(in), {}));
    EXPECT_EQ(delegate_.finished.at(0).first, package_);
    EXPECT_FALSE(delegate_.finished.at(0).second.has_value());
}

// A Retry-After of almost nothing, nothing or a date must not make a tight loop.
TEST_F(CWNetworkClientTest, RetryableAnswersAreSentAgainAfterAtLeastTwoSeconds)
{
    for (const std::string retryAfter : {"0.05", "0", "Wed, 21 Oct 2015 07:28:00 GMT"}) {
        SCOPED_TRACE(retryAfter);
        LoopbackServer server;
        server.script(
            reportsPath(), {LoopbackReply::answer(503, "", {{"Retry-After", retryAfter}}), LoopbackReply::json("{}")});
        ASSERT_TRUE(clientFor(server).uploadPackagedReportAtPath(package_, false));
        ASSERT_TRUE(eventually([&] { return clock_->pendingCount() == 1; }));
        EXPECT_NEAR(clock_->secondsUntilNext(), 2.0, 1e-6);
        clock_->advance(1.9);
        EXPECT_EQ(server.requestCount(), 1U);
        clock_->advance(0.1);
        ASSERT_TRUE(eventually([&] { return delegate_.finishedCount() == 1; }));
        EXPECT_EQ(server.requestCount(), 2U);
        EXPECT_FALSE(delegate_.finished.back().second.has_value());
        delegate_.finished.clear();
    }
}

// A failing service: each retry waits twice as long as the last, up to an
// hour, and never less than the server asked for; the package is sent until a
// 2xx takes it, after which a new failure starts again at 2 s.
TEST_F(CWNetworkClientTest, RetriesBackOffDoublingUpToAnHourAndHonourRetryAfter)
{
    // The date is read against the kit clock, which has moved 2 + 4 + 8 + 45 s
    // by the fifth answer: a minute after that.
    clock_->setWallStart(1'700'000'000.0);
    const std::string inAMinute = "Tue, 14 Nov 2023 22:15:19 GMT";
    std::vector<LoopbackReply> replies(14, LoopbackReply::answer(500));
    replies[3] = LoopbackReply::answer(429, "", {{"Retry-After", "45"}});
    replies[4] = LoopbackReply::answer(429, "", {{"Retry-After", inAMinute}});
    replies.push_back(LoopbackReply::json("{}"));
    replies.push_back(LoopbackReply::answer(503));
    replies.push_back(LoopbackReply::json("{}"));
    LoopbackServer server;
    server.script(reportsPath(), replies);
    ASSERT_TRUE(clientFor(server).uploadPackagedReportAtPath(package_, false));

    std::vector<double> waits;
    for (size_t answered = 1; answered <= 14; ++answered) {
        ASSERT_TRUE(eventually([&] { return clock_->pendingCount() == 1; })) << answered;
        waits.push_back(clock_->secondsUntilNext());
        EXPECT_EQ(server.requestCount(), answered);
        EXPECT_EQ(delegate_.finishedCount(), 0U);
        clock_->advance(waits.back());
    }
    ASSERT_TRUE(eventually([&] { return delegate_.finishedCount() == 1; }));
    EXPECT_FALSE(delegate_.finished.back().second.has_value());
    const std::vector<double> doubling{2, 4, 8, 45, 60, 64, 128, 256, 512, 1024, 2048, 3600, 3600, 3600};
    ASSERT_EQ(waits.size(), doubling.size());
    for (size_t i = 0; i < waits.size(); ++i) {
        EXPECT_NEAR(waits[i], doubling[i], 1e-6) << i;
    }

    ASSERT_TRUE(client_->uploadPackagedReportAtPath(package_, false));
    ASSERT_TRUE(eventually([&] { return clock_->pendingCount() == 1; }));
    EXPECT_NEAR(clock_->secondsUntilNext(), 2.0, 1e-6);
    clock_->advance(2.0);
    ASSERT_TRUE(eventually([&] { return delegate_.finishedCount() == 2; }));
    EXPECT_EQ(server.requestCount(), 17U);
}

TEST_F(CWNetworkClientTest, APackageOnItsWayIsNotSentTwice)
{
    LoopbackServer server;
    server.script(reportsPath(), LoopbackReply::with(LoopbackReply::Behaviour::Hold));
    CWNetworkClient& client = clientFor(server);
    ASSERT_TRUE(client.uploadPackagedReportAtPath(package_, false));
    ASSERT_TRUE(server.waitForRequests(1));
    ASSERT_TRUE(client.uploadPackagedReportAtPath(package_, false));
    queue_->waitUntilAllOperationsAreFinished();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(server.requestCount(), 1U);
    server.releaseHeld();
    EXPECT_TRUE(eventually([&] { return delegate_.finishedCount() == 1; }));
    EXPECT_FALSE(client.relativeTaskPathForAbsolutePath("/elsewhere/report.multipartmime").has_value());
    EXPECT_EQ(client.relativeTaskPathForAbsolutePath(package_).value_or(""),
        "v3/prepared/0A1B2C3D-0000-4000-8000-000000000001.multipartmime");
}

TEST_F(CWNetworkClientTest, NothingIsSentWithoutAPackageOrWithSubmissionOff)
{
    LoopbackServer server;
    server.script(reportsPath(), LoopbackReply::json("{}"));
    CWNetworkClient& client = clientFor(server);
    EXPECT_FALSE(client.uploadPackagedReportAtPath(files_->preparedPath() + "/missing.multipartmime", false));
    const std::string empty = files_->preparedPath() + "/empty.multipartmime";
    std::ofstream{empty};
    EXPECT_FALSE(client.uploadPackagedReportAtPath(empty, true));
    setenv("CrashwatchSubmitReports", "NO", 1);
    EXPECT_FALSE(client.uploadPackagedReportAtPath(package_, true));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(server.requestCount(), 0U);
}

TEST_F(CWNetworkClientTest, AnUrgentUploadToASilentServerGivesUpAfterTwoSeconds)
{
    LoopbackServer server;
    server.script(reportsPath(), LoopbackReply::with(LoopbackReply::Behaviour::Silence));
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_TRUE(clientFor(server).uploadPackagedReportAtPath(package_, true));
    const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    // Well short of the ten seconds an upload that is not urgent waits, with
    // room for a busy machine's late wake-up.
    EXPECT_GT(waited, 1.5);
    EXPECT_LT(waited, 8.0);
    EXPECT_TRUE(fs::exists(package_));
    EXPECT_EQ(delegate_.finishedCount(), 0U);
}

TEST_F(CWNetworkClientTest, ServersAreTrustedByPinnedRootsUnlessTheKitDebugs)
{
    const auto& certificates = TestCertificates::shared();
    LoopbackServer server(LoopbackServer::Scheme::Https, &certificates.leafA);
    server.script(reportsPath(), LoopbackReply::json("{}"));
    const auto rootA
        = KBCertificateFromDERBytes(certificates.rootA.certificateDer.data(), certificates.rootA.certificateDer.size());
    const auto rootB
        = KBCertificateFromDERBytes(certificates.rootB.certificateDer.data(), certificates.rootB.certificateDer.size());
    struct Case {
        bool debug;
        KBCertificate pinned;
        bool accepted;
    };
    for (const Case& trial : {Case{true, rootA, false}, Case{false, rootB, false}, Case{false, rootA, true}}) {
        SCOPED_TRACE(trial.accepted);
        KBLog::setDebugEnabled(trial.debug);
        CWNetworkClient& client = clientFor(server);
        client.setPinnedCertificates({trial.pinned});
        ASSERT_TRUE(client.uploadPackagedReportAtPath(package_, false));
        ASSERT_TRUE(eventually([&] { return delegate_.finishedCount() == 1; }));
        EXPECT_EQ(!delegate_.finished.front().second.has_value(), trial.accepted);
        delegate_.finished.clear();
    }
    KBLog::setDebugEnabled(false);
}

} // namespace
