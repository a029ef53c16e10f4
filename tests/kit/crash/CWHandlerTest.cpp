#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <atomic>
#include <future>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "CrashReportFolder.h"
#include "kit/crash/crashpath/CWContext.h"
#include "kit/crash/crashpath/CWFile.h"
#include "kit/crash/crashpath/CWHandler.h"
#include "kit/crash/crashpath/CWProcessStats.h"
#include "kit/crash/crashpath/CWSignal.h"
#include "kit/support/KBSerialQueue.h"

namespace {

using nlohmann::json;

size_t taskCount()
{
    size_t count = 0;
    DIR* directory = opendir("/proc/self/task");
    while (dirent* entry = readdir(directory)) {
        count += entry->d_name[0] != '.' ? 1 : 0;
    }
    closedir(directory);
    return count;
}

// Records the process as the exception path does; answers this call's return address.
[[gnu::noinline]] uint64_t recordHere(const std::string& path)
{
    CWFile file;
    if (CWFileInit(&file, path.c_str(), false)) {
        CWHandler(&file, gettid(), nullptr);
        CWFileClose(&file);
    }
    asm volatile("");
    return reinterpret_cast<uintptr_t>(__builtin_return_address(0));
}

} // namespace

TEST(CWHandlerTest, ARecordingOfTheLiveProcessListsEveryThreadWithItsNameAndQueue)
{
    CrashReportFolder folder;
    KBSerialQueue queue("test.handler.strand");
    std::promise<void> release;
    std::promise<pid_t> running;
    queue.async([&] {
        running.set_value(gettid());
        release.get_future().wait();
    });
    const pid_t strandTid = running.get_future().get();
    const size_t threadCount = taskCount();
    const uint64_t returnAddress = recordHere(folder.file("handler.cwrecord"));
    release.set_value();

    std::istringstream lines(folder.read("handler.cwrecord"));
    std::map<std::string, json> sections;
    for (std::string line; std::getline(lines, line);) {
        const json parsed = json::parse(line);
        sections[parsed.begin().key()] = parsed.begin().value();
    }
    ASSERT_EQ(sections.size(), 6u);
    const json& threads = sections["threads"];
    ASSERT_EQ(threads.size(), threadCount);
    EXPECT_EQ(sections["thread_names"].size(), threadCount);
    EXPECT_EQ(sections["dispatch_queue_names"].size(), threadCount);
    bool sawStrand = false;
    for (size_t i = 0; i < threads.size(); ++i) {
        EXPECT_EQ(threads[i]["registers"].size(), 21u) << i;
        if (threads[i]["crashed"] == true) {
            // The recording thread walks itself from its own frame up through this test.
            bool found = false;
            for (const json& pc : threads[i]["stacktrace"]) {
                found = found || pc == returnAddress;
            }
            EXPECT_TRUE(found);
        }
        sawStrand = sawStrand || sections["dispatch_queue_names"][i] == "test.handler.strand";
    }
    EXPECT_TRUE(sawStrand) << sections["dispatch_queue_names"] << " strand thread " << strandTid;
    EXPECT_GT(sections["process_stats"]["resident"].get<uint64_t>(), 0u);
    EXPECT_TRUE(sections["storage"].contains("free"));
}

TEST(CWHandlerTest, ProcFiguresAreReadFromTheKernelsText)
{
    const std::string meminfo = "MemTotal:       32768000 kB\n"
                                "MemFree:         1000 kB\n"
                                "Active(anon):    7 kB\n"
                                "Inactive(anon):  8 kB\n"
                                "Active:          2000 kB\n"
                                "Inactive:        3000 kB\n"
                                "Unevictable:     4 kB\n";
    CWMemoryStats memory{};
    ASSERT_TRUE(CWProcessStatsParseMeminfo(meminfo.data(), meminfo.size(), &memory));
    EXPECT_EQ(memory.free, 1000u * 1024);
    EXPECT_EQ(memory.active, 2000u * 1024);
    EXPECT_EQ(memory.inactive, 3000u * 1024);
    EXPECT_EQ(memory.wired, 4u * 1024);
    const std::string withoutUnevictable = meminfo.substr(0, meminfo.find("Unevictable"));
    EXPECT_FALSE(CWProcessStatsParseMeminfo(withoutUnevictable.data(), withoutUnevictable.size(), &memory));

    CWProcessUsage usage{};
    const std::string statm = "1200 300 100 10 0 500 0\n";
    ASSERT_TRUE(CWProcessStatsParseStatm(statm.data(), statm.size(), 4096, &usage));
    EXPECT_EQ(usage.virtualBytes, 1200u * 4096);
    EXPECT_EQ(usage.residentBytes, 300u * 4096);
    EXPECT_FALSE(CWProcessStatsParseStatm("1200", 4, 4096, &usage));
}

TEST(CWHandlerTest, SignalNamesFollowLinuxNumbers)
{
    const struct {
        int number;
        const char* name;
    } cases[] = {{4, "SIGILL"}, {5, "SIGTRAP"}, {6, "SIGABRT"}, {7, "SIGBUS"}, {8, "SIGFPE"}, {10, "UNKNOWN"},
        {11, "SIGSEGV"}, {12, "UNKNOWN"}, {31, "SIGSYS"}, {9, "UNKNOWN"}};
    for (const auto& c : cases) {
        EXPECT_STREQ(CWSignalNameForNumber(c.number), c.name) << c.number;
        EXPECT_EQ(CWSignalCodeNameForNumber(c.number) != nullptr, c.number == 6) << c.number;
    }
}
