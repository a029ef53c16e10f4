// The launch sequence in process: crash handlers through the set-up seam, the
// main queue pumped by hand, delays on the virtual clock, uploads to a
// loopback server.
#include "kit/crash/CWCrashReportingController.h"
#include "ReportFixture.h"
#include "kit/core/KBMainBundle.h"
#include "kit/support/KBClock.h"
#include "kit/support/KBMainQueue.h"
#include "kit/support/KBVirtualClock.h"
#include "kit/support/harness/Eventually.h"
#include "kit/support/harness/LoopbackServer.h"
#include "kit/support/harness/ManualQueue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace {

namespace fs = std::filesystem;

class FakeKit : public CWCrashReportingControllerDelegate {
public:
    bool isFirstInstallForCrashReportingController(CWCrashReportingController&) override { return false; }
    std::optional<std::string> installIDForCrashReportingController(CWCrashReportingController&) override
    {
        return "install";
    }
    std::optional<std::string> APIKeyForCrashReportingController(CWCrashReportingController&) override { return "key"; }
    CWSettings settingsForCrashReportingController(CWCrashReportingController&) override
    {
        return CWSettings(settings);
    }
    bool reportingControllerCanUseBackgroundSessions(CWCrashReportingController&) override { return true; }
    bool reportingControllerMustInformDelegateOfReports(CWCrashReportingController&) override { return false; }
    void reportingControllerDidDetectReportForLastExecution(
        CWCrashReportingController&, const CWInternalReportPtr& report, std::function<void(bool)> completion) override
    {
        seen.push_back(report->path());
        completion(true);
        if (afterAnswer) {
            afterAnswer();
        }
    }
    void reportingControllerInternalDidDetectReportForLastExecution(
        CWCrashReportingController&, const CWInternalReportPtr& report) override
    {
        seen.push_back(report->path());
    }
    bool reportingControllerEnsureDeliveryOfUnixSignal(CWCrashReportingController&, int) override { return false; }
    bool shouldInstallCrashCallback() override { return false; }
    void detectedCrash() override { }

    std::optional<nlohmann::json> settings;
    std::vector<std::string> seen;
    // Runs in the launch after the delegate answered for a report.
    std::function<void()> afterAnswer;
};

class CWCrashReportingControllerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        KBMainBundle::setInfoDictionary(nlohmann::json{{"CFBundleIdentifier", "org.lumetta.tests.controller"}});
        clock_ = std::make_shared<KBVirtualClock>();
        KBClock::setShared(clock_);
        KBMainQueue::setExecutor([this](std::function<void()> block) { main_.async(std::move(block)); });
        CWCrashReportingController::setContextInitializer([this](const CWContextConfiguration* configuration) {
            ++installs_;
            EXPECT_NE(configuration->reportPath, nullptr);
            return true;
        });
        server_.script(path(), LoopbackReply::json("{}"));
        setenv("CrashwatchReportsEndpoint", server_.baseUrl().c_str(), 1);
        files_ = std::make_shared<CWFileManager>(root_.path());
        ASSERT_TRUE(files_->prepareForNewLaunch());
    }
    void TearDown() override
    {
        controller_.reset();
        CWCrashReportingController::setContextInitializer(nullptr);
        CWCrashReportingController::setPromptPresenter(nullptr);
        KBMainQueue::setExecutor({});
        KBClock::setShared(nullptr);
        unsetenv("CrashwatchReportsEndpoint");
    }

    static std::string path() { return "/sdk-api/v1/platforms/linux/apps/org.lumetta.tests.controller/reports"; }

    // An earlier launch's crashed report folder in "active".
    std::string earlierCrash(const std::string& name)
    {
        const std::string folder = files_->activePath() + "/" + name;
        fs::create_directories(folder);
        ReportFixture::writeMetadata(folder, "session-" + name);
        ReportFixture::writeCrash(folder, "signal", 1700000100);
        return folder;
    }

    bool start()
    {
        controller_ = std::make_unique<CWCrashReportingController>(files_, &kit_);
        return controller_->startWithProfilingMark(std::chrono::steady_clock::now().time_since_epoch(), std::nullopt);
    }

    // Lets the work queue and the uploads finish (real time, bounded far
    // above what a busy machine needs).
    bool eventually(const std::function<bool()>& condition)
    {
        return ::eventually(condition, kPatientSeconds, [this] {
            controller_->operationQueue()->waitUntilAllOperationsAreFinished();
            main_.pump();
        });
    }

    ReportFixture::TemporaryFolder root_;
    std::shared_ptr<CWFileManager> files_;
    std::shared_ptr<KBVirtualClock> clock_;
    ManualQueue main_;
    LoopbackServer server_;
    FakeKit kit_;
    int installs_ = 0;
    std::unique_ptr<CWCrashReportingController> controller_;
};

TEST_F(CWCrashReportingControllerTest, EarlierCrashesAreSentAndFoldersWithoutOneGoUnseen)
{
    const std::string crash = earlierCrash("a-crash");
    const std::string quiet = files_->activePath() + "/b-quiet";
    fs::create_directories(quiet);
    ReportFixture::writeMetadata(quiet, "session-quiet");
    ReportFixture::writeFile(quiet + "/log_a.cwrecord", "{}\n");
    const std::string noSession = files_->activePath() + "/c-no-session";
    fs::create_directories(noSession);
    ReportFixture::writeMetadata(noSession, std::nullopt);
    ReportFixture::writeCrash(noSession, "signal", 1700000100);

    EXPECT_TRUE(start());
    EXPECT_EQ(installs_, 1);
    ASSERT_TRUE(eventually([&] { return server_.requestCount() == 1 && files_->preparedPathContents().empty(); }));
    EXPECT_TRUE(eventually([&] { return files_->activePathContents().size() == 1; }));
    // Only the crash reached the delegate, and the current folder is not earlier.
    EXPECT_EQ(kit_.seen, (std::vector<std::string>{crash, crash}));
    EXPECT_FALSE(fs::exists(quiet));
    EXPECT_FALSE(fs::exists(noSession));
    // The marker goes at the first main turn (the work above may have needed
    // none); the start-up checks two seconds later.
    main_.pump();
    EXPECT_FALSE(fs::exists(files_->structurePath() + "/launchmarker"));
    EXPECT_NEAR(clock_->secondsUntilNext(), 2.0, 0.01);
}

TEST_F(CWCrashReportingControllerTest, SwitchedOffReportingEmptiesEveryFolderAndInstallsNothing)
{
    earlierCrash("a-crash");
    ReportFixture::writeFile(files_->preparedPath() + "/x.multipartmime", "package");
    kit_.settings = nlohmann::json{{"features", {{"collect_reports", false}}}};
    EXPECT_FALSE(start());
    EXPECT_EQ(installs_, 0);
    EXPECT_TRUE(files_->activePathContents().empty());
    EXPECT_TRUE(files_->preparedPathContents().empty());
    EXPECT_EQ(server_.requestCount(), 0U);
}

TEST_F(CWCrashReportingControllerTest, AFailedUploadIsTriedOnceMoreTenMinutesLater)
{
    server_.script(path(), {LoopbackReply::answer(400), LoopbackReply::json("{}")});
    earlierCrash("a-crash");
    EXPECT_TRUE(start());
    ASSERT_TRUE(eventually([&] { return server_.requestCount() == 1 && clock_->pendingCount() == 2; }));
    EXPECT_EQ(files_->preparedPathContents().size(), 1U);
    clock_->advance(599.0);
    controller_->operationQueue()->waitUntilAllOperationsAreFinished();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(server_.requestCount(), 1U);
    clock_->advance(1.0);
    EXPECT_TRUE(eventually([&] { return server_.requestCount() == 2 && files_->preparedPathContents().empty(); }));
}

// Only a 2xx takes a report off the disk: a "not modified" (no request of
// the kit is conditional) or a redirect the session will not follow confirms
// nothing, and the report is tried again.
TEST_F(CWCrashReportingControllerTest, ANotModifiedOrRedirectAnswerKeepsTheReportForTheNextTry)
{
    server_.script(path(),
        {LoopbackReply::answer(304, "", {{"Content-Type", "application/json"}}),
            LoopbackReply::answer(302, "", {{"Location", "http://192.0.2.1/elsewhere"}}), LoopbackReply::json("{}")});
    earlierCrash("a-crash");
    EXPECT_TRUE(start());
    // The retry's timer waits the first time beside one of the launch's own,
    // which the first ten minutes run out.
    for (const auto& [answered, timers] : {std::pair{1U, 2U}, std::pair{2U, 1U}}) {
        ASSERT_TRUE(eventually([&, answered = answered, timers = timers] {
            return server_.requestCount() == answered && clock_->pendingCount() == timers;
        })) << answered;
        EXPECT_EQ(files_->preparedPathContents().size(), 1U) << "removed after answer " << answered;
        clock_->advance(600.0);
    }
    EXPECT_TRUE(eventually([&] { return server_.requestCount() == 3 && files_->preparedPathContents().empty(); }));
}

TEST_F(CWCrashReportingControllerTest, AReportSentWhileTheLaunchGoesOnIsNoLeftoverToSendAgain)
{
    server_.script(path(), {LoopbackReply::answer(400), LoopbackReply::json("{}")});
    earlierCrash("a-crash");
    // A slow launch, as on a busy machine: the work queue packages the report
    // and its upload fails before the launch looks at the other folders.
    kit_.afterAnswer
        = [&] { ::eventually([&] { return server_.requestCount() == 1 && clock_->pendingCount() == 2; }); };
    EXPECT_TRUE(start());
    ASSERT_EQ(server_.requestCount(), 1U);
    ASSERT_EQ(files_->preparedPathContents().size(), 1U);
    controller_->operationQueue()->waitUntilAllOperationsAreFinished();
    main_.pump();
    EXPECT_FALSE(server_.waitForRequests(2, 0.5)) << "sent again as a leftover of an earlier launch";
    EXPECT_EQ(files_->preparedPathContents().size(), 1U);
    clock_->advance(600.0);
    EXPECT_TRUE(eventually([&] { return server_.requestCount() == 2 && files_->preparedPathContents().empty(); }));
}

TEST_F(CWCrashReportingControllerTest, ThePromptsAnswerHoldsForLaterReportsOfTheProcess)
{
    struct Case {
        int64_t answer;
        size_t uploads;
    };
    for (const Case trial : {Case{1001, 2}, Case{1002, 0}}) {
        SCOPED_TRACE(trial.answer);
        int prompts = 0;
        CWCrashReportingController::setPromptPresenter([&](const CWSendPrompt& prompt) {
            ++prompts;
            EXPECT_TRUE(prompt.alwaysSend.has_value());
            return trial.answer;
        });
        kit_.settings = nlohmann::json{{"features", {{"prompt_enabled", true}}}};
        earlierCrash("a-crash");
        earlierCrash("b-crash");
        const size_t before = server_.requestCount();
        start();
        EXPECT_TRUE(eventually([&] { return files_->activePathContents().size() == 1; }));
        EXPECT_TRUE(eventually([&] {
            return server_.requestCount() - before == trial.uploads && files_->preparedPathContents().empty();
        }));
        EXPECT_EQ(prompts, 1);
        controller_.reset();
        fs::remove_all(files_->activePath());
        ASSERT_TRUE(files_->prepareForNewLaunch());
    }
}

} // namespace
