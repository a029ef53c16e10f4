#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CrashReportFolder.h"
#include "kit/crash/CWRecordReader.h"
#include "kit/crash/CWUserLogging.h"
#include "kit/crash/crashpath/CWContext.h"
#include "kit/crash/crashpath/CWFile.h"
#include "kit/support/KBLog.h"

namespace {

void setUserKey(const std::string& key, const std::optional<std::string>& value)
{
    CWUserLoggingRecordKeyValue(key, value, &CWContextGet()->userKeyValues, &CWCrashStateGet()->userKeyValueCount);
}

CWKeyValues userKeys()
{
    return CWUserLoggingGetCompactedKVEntries(&CWContextGet()->userKeyValues, true);
}

CWContextConfiguration withConfiguration(const std::function<void(CWContextConfiguration&)>& change)
{
    CWContextConfiguration configuration = CrashReportFolder::defaultConfiguration();
    change(configuration);
    return configuration;
}

} // namespace

TEST(CWUserLoggingTest, SixtyFourChangesCompactToTheLastValues)
{
    CrashReportFolder folder;
    CWKeyValues expected;
    for (int i = 0; i < 63; ++i) {
        const std::string key = "key " + std::to_string(i % 20);
        const std::string value = "value \"" + std::to_string(i) + "\"\n";
        setUserKey(key, value);
        expected[key] = value;
    }
    EXPECT_EQ(userKeys(), expected);
    setUserKey("key 3", std::nullopt);
    expected.erase("key 3");

    CrashReportFolder::drainLoggingQueue();
    EXPECT_FALSE(folder.exists("user_incremental_kv.cwrecord"));
    EXPECT_EQ(folder.records("user_compacted_kv.cwrecord", "kv").size(), expected.size());
    EXPECT_EQ(userKeys(), expected);
    EXPECT_EQ(CWCrashStateGet()->userKeyValueCount, 0u);

    // Changes after the compaction land in a new incremental file and win.
    setUserKey("key 4", "later");
    setUserKey("key 5", std::nullopt);
    expected["key 4"] = "later";
    expected.erase("key 5");
    EXPECT_EQ(userKeys(), expected);
    const auto incremental = folder.records("user_incremental_kv.cwrecord", "kv");
    ASSERT_EQ(incremental.size(), 2u);
    EXPECT_TRUE(incremental[1]["value"].is_null());
}

TEST(CWUserLoggingTest, CompactionKeepsAtMostTheMaximumKeys)
{
    CrashReportFolder folder(true, withConfiguration([](auto& c) { c.maxCustomKeys = 2; }));
    setUserKey("b", "2");
    setUserKey("a", "1");
    setUserKey("c", "3");
    CWUserLoggingCompactKVEntries(&CWContextGet()->userKeyValues);
    EXPECT_EQ(userKeys(), (CWKeyValues{{"a", "1"}, {"b", "2"}}));
    EXPECT_NE(folder.read("sdk.log").find("] Truncating KV set, which is above max 2\n"), std::string::npos);

    CWUserLoggingRecordKeyValue(
        std::nullopt, "x", &CWContextGet()->userKeyValues, &CWCrashStateGet()->userKeyValueCount);
    EXPECT_NE(folder.read("sdk.log").find("] User provided bad key\n"), std::string::npos);
}

TEST(CWUserLoggingTest, AnUnreadableLineLosesOnlyItself)
{
    CrashReportFolder folder;
    setUserKey("first", "1");
    {
        std::FILE* out = std::fopen(folder.file("user_incremental_kv.cwrecord").c_str(), "ab");
        std::fputs("{\"kv\":{\"key\":\"\xff\xfe\",\"value\":\"31\"}}\n{\"kv\":{\"value\":\"31\"}}\n", out);
        std::fclose(out);
    }
    setUserKey("second", "2");
    EXPECT_EQ(userKeys(), (CWKeyValues{{"first", "1"}, {"second", "2"}}));
    EXPECT_TRUE(folder.exists("user_incremental_kv.cwrecord"));
    EXPECT_NE(
        folder.read("sdk.log").find("] incremental key/value contains a nil and must be dropped\n"), std::string::npos);
}

TEST(CWUserLoggingTest, LogLinesRotateThroughTheSizeLimitedPair)
{
    CrashReportFolder folder;
    const std::string line(1000, 'l');
    int written = 0;
    while (!folder.exists("log_b.cwrecord") && written < 100) {
        CWLog("%s %d", line.c_str(), written++);
        CrashReportFolder::drainLoggingQueue();
    }
    ASSERT_TRUE(folder.exists("log_b.cwrecord"));
    EXPECT_GT(folder.read("log_a.cwrecord").size(), 65536u);
    const auto first = folder.records("log_a.cwrecord", "log");
    EXPECT_EQ(first.size(), static_cast<size_t>(written - 1));
    EXPECT_EQ(CWHexDecode(first[0]["msg"].get<std::string>()), line + " 0");
    EXPECT_GT(first[0]["time"].get<uint64_t>(), 1600000000000u);

    // When B in turn grows past the limit, A goes and new lines start it again.
    while (folder.exists("log_a.cwrecord") && written < 200) {
        CWLog("%s %d", line.c_str(), written++);
        CrashReportFolder::drainLoggingQueue();
    }
    EXPECT_FALSE(folder.exists("log_a.cwrecord"));
    CWLog("fresh");
    EXPECT_EQ(folder.records("log_a.cwrecord", "log").size(), 1u);
    CWLog("%s", "");
    EXPECT_EQ(folder.records("log_a.cwrecord", "log").size(), 1u);
}

TEST(CWUserLoggingTest, ErrorsRotateByCountAndCarryTheirStack)
{
    CrashReportFolder folder(true, withConfiguration([](auto& c) { c.maxCustomExceptions = 2; }));
    const CWError error{"org.lumetta.photos", -7, {{"path", "/tmp/a \"b\".jpg"}}};
    CWUserLoggingRecordError(error, {});
    CWUserLoggingRecordError(error, {{"step", "save"}});
    CrashReportFolder::drainLoggingQueue();
    CWUserLoggingRecordError(error, {});
    CrashReportFolder::drainLoggingQueue();

    const auto first = folder.records("errors_a.cwrecord", "error");
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(folder.records("errors_b.cwrecord", "error").size(), 1u);
    EXPECT_EQ(CWHexDecode(first[0]["domain"].get<std::string>()), "org.lumetta.photos");
    EXPECT_EQ(first[0]["code"], -7);
    EXPECT_FALSE(first[0]["stacktrace"].empty());
    EXPECT_EQ(CWHexDecode(first[0]["info"][0][1].get<std::string>()), "/tmp/a \"b\".jpg");
    EXPECT_FALSE(first[0].contains("extra_info"));
    EXPECT_EQ(CWHexDecode(first[1]["extra_info"][0][0].get<std::string>()), "step");
}

TEST(CWUserLoggingTest, DisabledPairsWriteNothing)
{
    CrashReportFolder folder(true, withConfiguration([](auto& c) {
        c.errorReportingEnabled = 0;
        c.customExceptionsEnabled = 0;
    }));
    CWUserLoggingRecordError(CWError{"d", 1, {}}, {});
    CWUserLoggingAppendToABStorage(&CWContextGet()->customExceptionStorage,
        &CWCrashStateGet()->customExceptionCurrentFile, [](CWFile* file) { CWFileWriteLineEnd(file); });
    CrashReportFolder::drainLoggingQueue();
    EXPECT_FALSE(folder.exists("errors_a.cwrecord"));
    EXPECT_FALSE(folder.exists("custom_exception_a.cwrecord"));
}

TEST(CWUserLoggingTest, LoggingBeforeSetUpOnlyWarns)
{
    CrashReportFolder folder;
    CWContext* context = CWContextGet();
    CWCrashState* state = CWCrashStateGet();
    CWContextInstall(nullptr, nullptr);
    KBLogCapture capture;
    CWLog("early %d", 1);
    CWUserLoggingRecordError(CWError{"d", 1, {}}, {});
    CWContextInstall(context, state);
    EXPECT_TRUE(capture.contains("[Crashwatch:Crash] WARNING: CWLog has been used before (or concurrently with) "
                                 "Crashwatch initialization and cannot be recorded. The message was: \nearly 1"));
    EXPECT_FALSE(folder.exists("log_a.cwrecord"));
    EXPECT_FALSE(folder.exists("errors_a.cwrecord"));

    CWNSLog("both %s", "places");
    EXPECT_TRUE(capture.contains("both places"));
    EXPECT_EQ(folder.records("log_a.cwrecord", "log").size(), 1u);
}
