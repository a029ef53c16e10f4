#include <gtest/gtest.h>

#include <sys/wait.h>

#include <csignal>
#include <string>

#include "CrashReportFolder.h"
#include "CrasherProcess.h"
#include "kit/crash/CWUserLogging.h"
#include "kit/crash/crashpath/CWContext.h"

TEST(CrashChildTest, WritesOutsideTheirPartFault)
{
    for (const char* mode : {"write-past-writable", "write-read-only"}) {
        SCOPED_TRACE(mode);
        CrashReportFolder folder(false);
        const int status = runCrasher(mode, folder.path());
        ASSERT_TRUE(WIFSIGNALED(status)) << status;
        EXPECT_EQ(WTERMSIG(status), SIGSEGV);
    }
}

TEST(CrashChildTest, AKillDuringCompactionLosesNoKey)
{
    CrashReportFolder child(false);
    const int status = runCrasher("kill-in-compaction", child.path());
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), SIGKILL);
    EXPECT_TRUE(child.exists("user_compacted_kv.cwrecord.tmp"));

    CrashReportFolder reader;
    const std::string incremental = child.file("user_incremental_kv.cwrecord");
    const std::string compacted = child.file("user_compacted_kv.cwrecord");
    const CWKeyValueStorage storage{incremental.c_str(), compacted.c_str(), 64, 64};
    const CWKeyValues keys = CWUserLoggingGetCompactedKVEntries(&storage, true);
    EXPECT_EQ(keys.size(), 50u);
    EXPECT_EQ(keys.at("early 39"), "39");
    EXPECT_EQ(keys.at("late 9"), "9");
}

TEST(CrashChildTest, SafeReadsWorkWhereTheKernelRefusesMemoryReads)
{
    CrashReportFolder folder(false);
    const int status = runCrasher("safe-read-under-seccomp", folder.path());
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(CrashChildTest, UnderADebuggerNoHandlerIsPreparedButMetadataIsWritten)
{
    CrashReportFolder folder(false);
    const int status = runCrasher("traced", folder.path());
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_NE(folder.read("sdk.log").find("] Debugger present - not installing handlers\n"), std::string::npos);
    EXPECT_EQ(folder.records("metadata.cwrecord", "executable").size(), 1u);
    EXPECT_FALSE(folder.records("binary_images.cwrecord", "load").empty());
}

TEST(CrashChildTest, TheImageTableReportsTheExecutablesBuildId)
{
    CrashReportFolder folder(false);
    const int status = runCrasher("set-up-only", folder.path());
    ASSERT_TRUE(WIFEXITED(status)) << status;
    ASSERT_EQ(WEXITSTATUS(status), 0);
    const auto loads = folder.records("binary_images.cwrecord", "load");
    ASSERT_FALSE(loads.empty());
    const nlohmann::json& main = loads.front();
    EXPECT_EQ(main["path"], CRASHER_PATH);
    EXPECT_EQ(main["uuid"], "0123456789abcdeffedcba9876543210");
    const auto executable = folder.records("metadata.cwrecord", "executable");
    ASSERT_EQ(executable.size(), 1u);
    for (const char* field : {"uuid", "base", "size"}) {
        EXPECT_EQ(executable[0][field], main[field]) << field;
    }
}
