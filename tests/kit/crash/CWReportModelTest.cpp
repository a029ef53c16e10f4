#include <gtest/gtest.h>

#include <filesystem>

#include "CrashReportFolder.h"
#include "ReportFixture.h"
#include "kit/crash/CWReport.h"
#include "kit/crash/CWThreadArrayOperation.h"
#include "kit/crash/CWUserLogging.h"
#include "kit/support/KBLog.h"

using ReportFixture::TemporaryFolder;
using ReportFixture::writeCrash;
using ReportFixture::writeFile;
using ReportFixture::writeMetadata;

namespace {

CWInternalReport::Date at(int64_t seconds)
{
    return CWInternalReport::Date(std::chrono::seconds(seconds));
}

// Runs a block on every frame it is handed, so a test can cancel in the middle.
class FrameVisitor : public CWThreadArrayOperation {
public:
    std::function<void(CWStackFrame&)> visit;

protected:
    void main() override { enumerateFramesWithBlock(visit); }
};

} // namespace

TEST(CWReportModelTest, MetadataAndFilesDescribeTheReport)
{
    TemporaryFolder temporary;
    const std::string folder = temporary.folder("8b1f");
    writeMetadata(folder, "session-1", 1700000000);
    auto report = CWInternalReport::reportWithPath(folder);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->identifier(), "session-1");
    EXPECT_EQ(report->directoryName(), "8b1f");
    EXPECT_EQ(report->APIKey(), "0123456789abcdef0123456789abcdef01234567");
    EXPECT_EQ(report->bundleVersion(), "412");
    EXPECT_EQ(report->bundleShortVersionString(), "2.3.1");
    EXPECT_EQ(report->OSVersion(), "6.1.0");
    EXPECT_EQ(report->OSBuildVersion(), "#1 SMP Debian 6.1.76-1");
    EXPECT_EQ(report->dateCreated(), at(1700000000));
    EXPECT_EQ(report->customKeys(), std::nullopt);
    EXPECT_FALSE(report->needsToBeSubmitted());

    // Logged errors alone are worth sending, but they are no crash.
    writeFile(folder + "/errors_a.cwrecord", "{\"error\":{}}\n");
    EXPECT_TRUE(report->needsToBeSubmitted());
    EXPECT_FALSE(report->isCrash());
    EXPECT_EQ(report->crashedOnDate(), std::nullopt);
}

TEST(CWReportModelTest, TheCrashDateComesFromTheCrashRecord)
{
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::optional<uint64_t>>> crashes;
        std::optional<int64_t> date;
    };
    const std::vector<Case> cases{
        {"exception only", {{"exception", 1700000050}}, std::nullopt},
        {"signal", {{"signal", 1700000100}}, 1700000100},
        {"mach exception before signal", {{"mach_exception", 1700000200}, {"signal", 1700000100}}, 1700000200},
        {"mach exception without time", {{"mach_exception", std::nullopt}, {"signal", 1700000100}}, 1700000100},
    };
    for (const Case& c : cases) {
        TemporaryFolder temporary;
        writeMetadata(temporary.path(), "session");
        for (const auto& [kind, time] : c.crashes) {
            writeCrash(temporary.path(), kind, time);
        }
        CWReport report(CWInternalReport::reportWithPath(temporary.path()));
        EXPECT_TRUE(report.isCrash()) << c.name;
        EXPECT_TRUE(report.internalReport()->needsToBeSubmitted()) << c.name;
        const auto expected = c.date ? std::optional(at(*c.date)) : std::nullopt;
        EXPECT_EQ(report.crashedOnDate(), expected) << c.name;
    }
}

TEST(CWReportModelTest, AFolderWithoutASessionIsNoReport)
{
    TemporaryFolder temporary;
    const std::string folder = temporary.folder("unnamed");
    KBLogCapture log;
    EXPECT_FALSE(CWInternalReport::reportWithPath(folder));
    writeMetadata(folder, std::nullopt);
    writeCrash(folder, "signal", 1700000100);
    EXPECT_FALSE(CWInternalReport::reportWithPath(folder));
    EXPECT_EQ(log.count("[Crashwatch:Crash] Unable to read identifier at path " + folder), 2u);
    EXPECT_FALSE(CWInternalReport::make(folder, std::nullopt));
    EXPECT_FALSE(CWInternalReport::make(std::nullopt, "id"));
}

TEST(CWReportModelTest, KeysRecordedIntoTheReportsOwnFiles)
{
    CrashReportFolder current;
    TemporaryFolder temporary;
    writeMetadata(temporary.path(), "earlier");
    writeCrash(temporary.path(), "signal", 1700000100);
    {
        CWReport writer(CWInternalReport::reportWithPath(temporary.path()));
        ASSERT_TRUE(writer.canRecordNewValues());
        writer.setObjectValue("a", "compacted");
        writer.setObjectValue("b", "compacted");
        writer.setObjectValue("c", "kept");
        CWUserLoggingCompactKVEntries(&writer.userKVStorage());
        writer.setObjectValue("b", "incremental");
        writer.setObjectValue(std::nullopt, "kept");
        writer.setUserIdentifier("user 7");
        EXPECT_EQ(writer.userIdentifier(), std::nullopt);
    }
    EXPECT_FALSE(current.exists("user_incremental_kv.cwrecord"));

    CWReport snapshot(CWInternalReport::reportWithPath(temporary.path()), true);
    const std::map<std::string, std::string> expected{{"compacted", "b"}, {"incremental", "b"}};
    EXPECT_EQ(snapshot.customKeys(), expected);
    EXPECT_FALSE(snapshot.canRecordNewValues());
    const std::string before = ReportFixture::readFile(temporary.path() + "/user_incremental_kv.cwrecord");
    snapshot.setObjectValue("late", "ignored");
    snapshot.setUserName("ignored");
    EXPECT_EQ(ReportFixture::readFile(temporary.path() + "/user_incremental_kv.cwrecord"), before);
    EXPECT_EQ(snapshot.customKeys(), expected);

    const CWKeyValues internal = CWUserLoggingGetCompactedKVEntries(&snapshot.internalKVStorage(), true);
    EXPECT_EQ(internal, (CWKeyValues{{"org.lumetta.kit.crashwatch.user-id", "user 7"}}));
    EXPECT_EQ(snapshot.crashedOnDate(), at(1700000100));
    EXPECT_EQ(snapshot.identifier(), "earlier");
}

TEST(CWReportModelTest, CancellingSkipsOnlyTheRestOfTheCurrentThread)
{
    auto threads = std::make_shared<CWThreadArray>();
    for (uint64_t thread = 0; thread < 3; ++thread) {
        auto& frames = threads->emplace_back();
        for (uint64_t frame = 0; frame < 3; ++frame) {
            frames.push_back(CWStackFrame::stackFrameWithAddress(thread * 16 + frame));
        }
    }
    auto visitor = std::make_shared<FrameVisitor>();
    visitor->setThreadArray(threads);
    std::vector<uint64_t> visited;
    visitor->visit = [&](CWStackFrame& frame) {
        visited.push_back(frame.address);
        if (frame.address == 1) {
            visitor->cancel();
        }
    };
    visitor->start();
    EXPECT_EQ(visited, (std::vector<uint64_t>{0, 1, 16, 32}));
}
