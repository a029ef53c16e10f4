#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "CrashReportFolder.h"
#include "kit/crash/CWUserLogging.h"
#include "kit/crash/crashpath/CWContext.h"

extern char** environ;

namespace {

// Runs the crasher on a folder and answers its wait status. A child still alive
// after ten seconds is killed (only that child, by its pid) and counts as a failure.
int runCrasher(const std::string& mode, const std::string& folder)
{
    std::string program = CRASHER_PATH;
    std::string modeArgument = mode;
    std::string folderArgument = folder;
    char* arguments[] = {program.data(), modeArgument.data(), folderArgument.data(), nullptr};
    // A sanitizer must let the child die by its signal rather than report the fault itself.
    std::vector<std::string> variables;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        if (std::strncmp(*variable, "ASAN_OPTIONS=", 13) != 0) {
            variables.emplace_back(*variable);
        }
    }
    variables.emplace_back("ASAN_OPTIONS=handle_segv=0:detect_leaks=0");
    std::vector<char*> environment;
    for (std::string& variable : variables) {
        environment.push_back(variable.data());
    }
    environment.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawn(&child, program.c_str(), nullptr, nullptr, arguments, environment.data()) != 0) {
        ADD_FAILURE() << "cannot start " << program;
        return -1;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int status = 0;
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            ADD_FAILURE() << mode << " did not end";
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return status;
}

} // namespace

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
