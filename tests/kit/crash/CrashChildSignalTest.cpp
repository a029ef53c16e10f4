// Real crashing children: how each ended and what its record files hold.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "CrashReportFolder.h"
#include "CrasherProcess.h"
#include "kit/crash/CWRecordReader.h"
#include "kit/support/harness/Eventually.h"

namespace {

using nlohmann::json;

std::vector<uint64_t> all(const std::multimap<std::string, uint64_t>& facts, const std::string& key)
{
    std::vector<uint64_t> values;
    for (auto [it, end] = facts.equal_range(key); it != end; ++it) {
        values.push_back(it->second);
    }
    return values;
}

// Every line of a record file is complete JSON; answers the kinds in order.
std::vector<std::string> lineKinds(const CrashReportFolder& folder, const std::string& name)
{
    std::vector<std::string> kinds;
    std::istringstream lines(folder.read(name));
    for (std::string line; std::getline(lines, line);) {
        const json parsed = json::parse(line, nullptr, false);
        EXPECT_FALSE(parsed.is_discarded()) << line;
        if (!parsed.is_discarded()) {
            kinds.push_back(parsed.begin().key());
        }
    }
    return kinds;
}

const std::vector<std::string> kSections
    = {"threads", "runtime", "dispatch_queue_names", "thread_names", "process_stats", "storage"};

std::vector<std::string> withSections(const std::string& first)
{
    std::vector<std::string> kinds{first};
    kinds.insert(kinds.end(), kSections.begin(), kSections.end());
    return kinds;
}

json only(const CrashReportFolder& folder, const std::string& file, const std::string& kind)
{
    const auto records = folder.records(file, kind);
    EXPECT_EQ(records.size(), 1u) << file << " " << kind;
    return records.empty() ? json() : records.front();
}

// The one thread marked crashed.
json crashedThread(const json& threads)
{
    json found;
    int count = 0;
    for (const json& thread : threads) {
        if (thread["crashed"] == true) {
            found = thread;
            ++count;
        }
    }
    EXPECT_EQ(count, 1);
    return found;
}

void expectDeathBy(int status, int signal)
{
    ASSERT_TRUE(WIFSIGNALED(status)) << "status " << status;
    EXPECT_EQ(WTERMSIG(status), signal);
}

} // namespace

TEST(CrashChildSignalTest, ANullWriteRecordsTheFaultAndTheStackTheCrasherSaw)
{
    CrashReportFolder folder(false);
    expectDeathBy(runCrasher("null-write", folder.path()), SIGSEGV);
    EXPECT_EQ(lineKinds(folder, "signal.cwrecord"), withSections("signal"));
    const json signal = only(folder, "signal.cwrecord", "signal");
    EXPECT_EQ(signal["number"], 11);
    EXPECT_EQ(signal["code"], 1);
    EXPECT_EQ(signal["address"], 0);
    EXPECT_EQ(signal["name"], "SIGSEGV");
    EXPECT_TRUE(signal["code_name"].is_null());
    EXPECT_TRUE(signal.contains("errno") && signal.contains("time"));

    const auto known = crasherFacts(folder.read("crasher.txt"));
    const json crashed = crashedThread(only(folder, "signal.cwrecord", "threads"));
    const uint64_t faulting = known.find("fault_function")->second;
    const uint64_t rip = crashed["registers"]["rip"];
    // nullWrite is called from the fault function; the faulting pc lies in
    // nullWrite, and the first return address in the fault function.
    const json& stack = crashed["stacktrace"];
    ASSERT_GE(stack.size(), 5u);
    EXPECT_EQ(stack[0], rip);
    EXPECT_EQ(crashed["registers"].size(), 21u);
    const uint64_t intoFault = stack[1];
    EXPECT_GT(intoFault, faulting);
    EXPECT_LT(intoFault, faulting + 512);
    const std::vector<uint64_t> returns = all(known, "return");
    ASSERT_EQ(returns.size(), 3u);
    for (size_t i = 0; i < returns.size(); ++i) {
        EXPECT_EQ(stack[i + 2], returns[i]) << "frame " << i + 2;
    }
    const json stats = only(folder, "signal.cwrecord", "process_stats");
    for (const char* key : {"active", "inactive", "wired", "freeMem", "free_mem", "virtual", "resident"}) {
        EXPECT_GT(stats[key].get<uint64_t>(), 0u) << key;
    }
    EXPECT_EQ(stats["freeMem"], stats["free_mem"]);
    const json storage = only(folder, "signal.cwrecord", "storage");
    EXPECT_GT(storage["total"].get<uint64_t>(), 0u);
    EXPECT_EQ(
        only(folder, "signal.cwrecord", "runtime"), json::parse(R"({"objc_selector":"","crash_info_entries":[]})"));
}

// With every descriptor taken, the record still opens, lists every thread and
// holds the crashed one's registers and stack from its signal context.
TEST(CrashChildSignalTest, AFaultWithTheDescriptorTableFullIsRecordedWhole)
{
    CrashReportFolder folder(false);
    expectDeathBy(runCrasher("fault-without-descriptors", folder.path()), SIGSEGV);
    EXPECT_EQ(lineKinds(folder, "signal.cwrecord"), withSections("signal"));
    const json threads = only(folder, "signal.cwrecord", "threads");
    const json crashed = crashedThread(threads);
    const json& stack = crashed["stacktrace"];
    ASSERT_GE(stack.size(), 5u);
    EXPECT_EQ(stack[0], crashed["registers"]["rip"]);
    const std::vector<uint64_t> returns = all(crasherFacts(folder.read("crasher.txt")), "return");
    ASSERT_EQ(returns.size(), 3u);
    for (size_t i = 0; i < returns.size(); ++i) {
        EXPECT_EQ(stack[i + 2], returns[i]) << "frame " << i + 2;
    }
    // Every thread is listed, the two waiting ones among them.
    const json names = only(folder, "signal.cwrecord", "thread_names");
    EXPECT_EQ(names.size(), threads.size());
    EXPECT_EQ(std::count(names.begin(), names.end(), "waiter-one"), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), "waiter-two"), 1);
    EXPECT_GT(only(folder, "signal.cwrecord", "process_stats").value("resident", uint64_t(0)), 0u);
}

TEST(CrashChildSignalTest, EachFatalSignalIsRecordedAndEndsTheProcessByItself)
{
    const struct {
        const char* mode;
        int signal;
        const char* name;
        const char* codeName;
    } cases[] = {{"abort", SIGABRT, "SIGABRT", "ABORT"}, {"fpe", SIGFPE, "SIGFPE", nullptr},
        {"ill", SIGILL, "SIGILL", nullptr}, {"bus", SIGBUS, "SIGBUS", nullptr}, {"int3", SIGTRAP, "SIGTRAP", nullptr},
        {"assert", SIGABRT, "SIGABRT", "ABORT"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        CrashReportFolder folder(false);
        expectDeathBy(runCrasher(c.mode, folder.path()), c.signal);
        EXPECT_EQ(lineKinds(folder, "signal.cwrecord"), withSections("signal"));
        const json signal = only(folder, "signal.cwrecord", "signal");
        EXPECT_EQ(signal["number"], c.signal);
        EXPECT_EQ(signal["name"], c.name);
        EXPECT_EQ(signal["code_name"], c.codeName != nullptr ? json(c.codeName) : json());
        const json entries = only(folder, "signal.cwrecord", "runtime")["crash_info_entries"];
        if (std::string(c.mode) == "assert") {
            ASSERT_EQ(entries.size(), 1u);
            EXPECT_NE(CWHexDecode(entries[0].get<std::string>()).find("Assertion `crasher's own assertion' failed"),
                std::string::npos);
        } else {
            EXPECT_TRUE(entries.empty());
        }
    }
}

TEST(CrashChildSignalTest, ASignalSentByAnotherProcessIsRecordedAndStillEndsIt)
{
    CrashReportFolder folder(false);
    const pid_t child = startCrasher("wait-for-signal", folder.path());
    eventually([&] { return folder.exists("crasher.txt"); });
    // Set-up is finished before the crasher writes its facts.
    kill(child, SIGSEGV);
    expectDeathBy(waitForCrasher(child, "wait-for-signal"), SIGSEGV);
    const json signal = only(folder, "signal.cwrecord", "signal");
    EXPECT_EQ(signal["number"], 11);
    EXPECT_EQ(signal["code"], 0); // SI_USER
}

TEST(CrashChildSignalTest, AStackOverflowOnTheMainThreadIsRecordedWithItsRecursionFolded)
{
    CrashReportFolder folder(false);
    expectDeathBy(runCrasher("stack-overflow", folder.path()), SIGSEGV);
    const json crashed = crashedThread(only(folder, "signal.cwrecord", "threads"));
    ASSERT_TRUE(crashed.contains("repeated_pc"));
    const uint64_t repeated = crashed["repeated_pc"];
    const uint64_t recurse = crasherFacts(folder.read("crasher.txt")).find("recurse_function")->second;
    EXPECT_GT(repeated, recurse);
    EXPECT_LT(repeated, recurse + 256);
    int copies = 0;
    for (const json& pc : crashed["stacktrace"]) {
        copies += pc == repeated ? 1 : 0;
    }
    EXPECT_EQ(copies, 10);
    EXPECT_GT(crashed["repeat_count"].get<uint64_t>(), 1000u);
    EXPECT_LT(crashed["stacktrace"].size(), 40u);
}

// Every level of a self-recursion returns to the same address from a higher
// stack: the walk goes on through all of them to the callers, writing that
// return address ten times and counting the rest.
TEST(CrashChildSignalTest, AFaultInARecursionKeepsEveryCallerWithTheRepeatsFolded)
{
    for (const auto& [mode, depth] : {std::pair{"recursion-50", 50}, std::pair{"recursion-20", 20}}) {
        SCOPED_TRACE(mode);
        CrashReportFolder folder(false);
        expectDeathBy(runCrasher(mode, folder.path()), SIGSEGV);
        const auto facts = crasherFacts(folder.read("crasher.txt"));
        const uint64_t inner = facts.find("inner_return")->second;
        const uint64_t outer = facts.find("outer_return")->second;
        const json crashed = crashedThread(only(folder, "signal.cwrecord", "threads"));
        const std::vector<uint64_t> trace = crashed["stacktrace"];
        // The faulting instruction, the inner return address ten times, then
        // the caller of the outermost level and the callers above it.
        ASSERT_GE(trace.size(), 13u);
        EXPECT_NE(trace[0], inner);
        EXPECT_EQ(std::vector<uint64_t>(trace.begin() + 1, trace.begin() + 11), std::vector<uint64_t>(10, inner));
        EXPECT_EQ(trace[11], outer);
        EXPECT_EQ(std::count(trace.begin(), trace.end(), inner), 10);
        EXPECT_EQ(crashed.value("repeated_pc", uint64_t(0)), inner);
        // Levels 2 to the deepest return there: repeat counts 0 to depth - 2.
        EXPECT_EQ(crashed.value("repeat_count", uint64_t(0)), uint64_t(depth - 2));
    }
}

TEST(CrashChildSignalTest, SecondCrashes)
{
    {
        SCOPED_TRACE("a fault in the crash callback ends the process at once, keeping whole lines");
        CrashReportFolder folder(false);
        expectDeathBy(runCrasher("callback-fault", folder.path()), SIGSEGV);
        EXPECT_EQ(lineKinds(folder, "signal.cwrecord"), withSections("signal"));
    }
    {
        SCOPED_TRACE("a fault in the application's own signal handler crosses the signal frame");
        CrashReportFolder folder(false);
        expectDeathBy(runCrasher("usr1-fault", folder.path()), SIGSEGV);
        const json crashed = crashedThread(only(folder, "signal.cwrecord", "threads"));
        const uint64_t raiser = crasherFacts(folder.read("crasher.txt")).find("raise_function")->second;
        bool crossed = false;
        for (const json& pc : crashed["stacktrace"]) {
            crossed = crossed || (pc.get<uint64_t>() > raiser && pc.get<uint64_t>() < raiser + 256);
        }
        EXPECT_TRUE(crossed) << crashed["stacktrace"];
    }
    {
        SCOPED_TRACE("a thread faulting while another records adds nothing and leaves the ending to it");
        CrashReportFolder folder(false);
        expectDeathBy(runCrasher("second-crash", folder.path()), SIGABRT);
        EXPECT_TRUE(folder.read("signal.cwrecord").empty());
        EXPECT_NE(folder.read("sdk.log").find("because crash has already occurred"), std::string::npos);
    }
}

// Six threads fault together: the first owns the report, the others wait in
// the handler until it is written, so no run loses its threads to a second
// fault under the default action.
TEST(CrashChildSignalTest, SixThreadsFaultingTogetherLeaveOneWholeReport)
{
    for (int run = 0; run < 20; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        CrashReportFolder folder(false);
        expectDeathBy(runCrasher("six-faults", folder.path()), SIGSEGV);
        ASSERT_EQ(lineKinds(folder, "signal.cwrecord"), withSections("signal"));
        const json threads = only(folder, "signal.cwrecord", "threads");
        EXPECT_GE(threads.size(), 7u);
        EXPECT_FALSE(crashedThread(threads)["stacktrace"].empty());
        // A thread slow to stop on a busy machine is listed without registers,
        // never left out.
        for (const json& thread : threads) {
            EXPECT_TRUE(thread.contains("registers") && thread["stacktrace"].is_array()) << thread;
        }
    }
}

TEST(CrashChildSignalTest, HandlersOfOthersAreChainedAndReported)
{
    {
        SCOPED_TRACE("a handler set before the kit runs after the record, in force again");
        CrashReportFolder folder(false);
        const int status = runCrasher("chain-before", folder.path());
        ASSERT_TRUE(WIFEXITED(status)) << status;
        EXPECT_EQ(WEXITSTATUS(status), 42);
        EXPECT_EQ(lineKinds(folder, "signal.cwrecord"), withSections("signal"));
    }
    {
        SCOPED_TRACE("handlers set after the kit are named");
        CrashReportFolder folder(false);
        const int status = runCrasher("chain-after", folder.path());
        ASSERT_TRUE(WIFEXITED(status)) << status;
        EXPECT_EQ(WEXITSTATUS(status), 0);
        std::istringstream lines(folder.read("warnings.txt"));
        std::string signalLine;
        std::string terminateLine;
        std::getline(lines, signalLine);
        std::getline(lines, terminateLine);
        EXPECT_EQ(signalLine.rfind("[Crashwatch] The signal SIGSEGV has a non-Crashwatch handler (", 0), 0u);
        EXPECT_NE(signalLine.find(").  This will interfere with reporting."), std::string::npos);
        EXPECT_EQ(terminateLine.rfind("[Crashwatch:Crash] Warning: std::get_terminate is '", 0), 0u) << terminateLine;
        EXPECT_TRUE(folder.read("warnings.txt").find("SIGABRT") == std::string::npos);
    }
}

// Without thread tables the crashed thread is still recorded, alone, with the
// registers and stack of its signal context.
TEST(CrashChildSignalTest, AFaultBeforeTheThreadTablesRecordsTheCrashedThreadFromItsSignal)
{
    CrashReportFolder folder(false);
    expectDeathBy(runCrasher("no-thread-tables", folder.path()), SIGSEGV);
    const json threads = only(folder, "signal.cwrecord", "threads");
    ASSERT_EQ(threads.size(), 1u) << threads;
    const json crashed = crashedThread(threads);
    const json& stack = crashed["stacktrace"];
    ASSERT_GE(stack.size(), 2u) << crashed;
    EXPECT_EQ(stack[0], crashed["registers"]["rip"]);
    const uint64_t faulting = crasherFacts(folder.read("crasher.txt")).find("fault_function")->second;
    const uint64_t intoFault = stack[1];
    EXPECT_GT(intoFault, faulting);
    EXPECT_LT(intoFault, faulting + 512);
}

// A child made by fork lists its own threads: its crashed one and the thread
// it named, none of the parent's it was copied from.
TEST(CrashChildSignalTest, AFaultInAForkedChildListsTheChildsOwnThreads)
{
    CrashReportFolder folder(false);
    const int status = runCrasher("forked-child", folder.path());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    const json threads = only(folder, "signal.cwrecord", "threads");
    const json names = only(folder, "signal.cwrecord", "thread_names");
    ASSERT_EQ(threads.size(), 2u) << names;
    crashedThread(threads);
    EXPECT_NE(std::find(names.begin(), names.end(), "child-own"), names.end()) << names;
    for (const char* parents : {"parent-one", "parent-two"}) {
        EXPECT_EQ(std::find(names.begin(), names.end(), parents), names.end()) << names;
    }
}
