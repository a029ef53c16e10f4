// Uncaught C++ exceptions and crashes among many threads, in real children.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <csignal>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "CrashReportFolder.h"
#include "CrasherProcess.h"
#include "kit/crash/CWRecordReader.h"

namespace {

using nlohmann::json;

std::string decoded(const json& hex)
{
    return hex.is_string() ? CWHexDecode(hex.get<std::string>()) : "<null>";
}

} // namespace

TEST(CrashChildExceptionTest, UncaughtExceptionsAreRecordedBeforeTheAbort)
{
    const struct {
        const char* mode;
        const char* name;
        const char* reason;
    } cases[] = {{"throw-c-string", "const char *", "Crashwatch C++ Test Exception"},
        {"throw-runtime-error", "std::runtime_error", "crasher's runtime error"}, {"throw-int", "int", ""},
        {"bad-alloc", "std::bad_alloc", "std::bad_alloc"},
        {"throw-in-thread", "std::runtime_error", "escaped its thread"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        CrashReportFolder folder(false);
        const int status = runCrasher(c.mode, folder.path());
        ASSERT_TRUE(WIFSIGNALED(status)) << status;
        EXPECT_EQ(WTERMSIG(status), SIGABRT);
        const auto exceptions = folder.records("exception.cwrecord", "exception");
        ASSERT_EQ(exceptions.size(), 1u);
        const json& exception = exceptions[0];
        EXPECT_EQ(exception["type"], "c++");
        EXPECT_EQ(decoded(exception["name"]), c.name);
        EXPECT_EQ(decoded(exception["reason"]), c.reason);
        EXPECT_FALSE(exception.contains("frames"));
        EXPECT_EQ(folder.records("exception.cwrecord", "storage").size(), 1u);
        const auto threads = folder.records("exception.cwrecord", "threads");
        ASSERT_EQ(threads.size(), 1u);
        // The thread that threw is the crashed one, walked from the recorder itself.
        int crashed = 0;
        for (const json& thread : threads[0]) {
            if (thread["crashed"] == true) {
                ++crashed;
                EXPECT_GT(thread["stacktrace"].size(), 3u);
            }
        }
        EXPECT_EQ(crashed, 1);
        const auto signals = folder.records("signal.cwrecord", "signal");
        ASSERT_EQ(signals.size(), 1u);
        EXPECT_EQ(signals[0]["code_name"], "ABORT");
    }
}

TEST(CrashChildExceptionTest, ATerminateHandlerSetBeforeTheKitStillRuns)
{
    CrashReportFolder folder(false);
    const int status = runCrasher("terminate-before", folder.path());
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 42);
    EXPECT_EQ(folder.records("exception.cwrecord", "exception").size(), 1u);
}

TEST(CrashChildExceptionTest, AWorkerCrashingBesideTwentyThreadsRecordsEachOfThem)
{
    CrashReportFolder folder(false);
    const int status = runCrasher("threads", folder.path());
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), SIGSEGV);
    const auto known = crasherFacts(folder.read("crasher.txt"));
    std::vector<uint64_t> tids;
    for (auto [it, end] = known.equal_range("tid"); it != end; ++it) {
        tids.push_back(it->second);
    }
    auto indexOf = [&tids](uint64_t tid) {
        for (size_t i = 0; i < tids.size(); ++i) {
            if (tids[i] == tid) {
                return static_cast<int>(i);
            }
        }
        return -1;
    };
    ASSERT_GE(tids.size(), 22u);
    const json threads = folder.records("signal.cwrecord", "threads").at(0);
    const json names = folder.records("signal.cwrecord", "thread_names").at(0);
    const json queues = folder.records("signal.cwrecord", "dispatch_queue_names").at(0);
    ASSERT_EQ(threads.size(), tids.size());
    ASSERT_EQ(names.size(), tids.size());
    ASSERT_EQ(queues.size(), tids.size());

    const int crashing = indexOf(known.find("crashing")->second);
    const int blocking = indexOf(known.find("blocking")->second);
    const int named = indexOf(known.find("named")->second);
    const int strand = indexOf(known.find("strand")->second);
    ASSERT_TRUE(crashing >= 0 && blocking >= 0 && named >= 0 && strand >= 0);
    for (size_t i = 0; i < threads.size(); ++i) {
        SCOPED_TRACE(i);
        const json& thread = threads[i];
        EXPECT_EQ(thread["crashed"], static_cast<int>(i) == crashing);
        if (static_cast<int>(i) == blocking) {
            EXPECT_EQ(thread["registers"], json::object());
            EXPECT_EQ(thread["stacktrace"], json::array());
        } else {
            EXPECT_EQ(thread["registers"].size(), 21u);
            EXPECT_GE(thread["stacktrace"].size(), 2u) << thread << names[i];
        }
        EXPECT_TRUE(queues[i].is_string());
    }
    EXPECT_EQ(names[named], "named-worker");
    EXPECT_EQ(queues[strand], "crasher.strand");
    EXPECT_EQ(queues[crashing], "");
    // Every walk ended at its thread's start: no step failed on the way.
    const std::string log = folder.read("sdk.log");
    EXPECT_EQ(log.find("Failed to advance to the next frame"), std::string::npos);
    EXPECT_EQ(log.find("Exceeded maximum number of frames"), std::string::npos);
    EXPECT_NE(log.find("threads did not stop in time"), std::string::npos);
}
