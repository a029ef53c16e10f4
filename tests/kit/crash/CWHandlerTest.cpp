#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

#include "CrashReportFolder.h"
#include "kit/crash/crashpath/CWFile.h"
#include "kit/crash/crashpath/CWHandler.h"
#include "kit/crash/crashpath/CWProcessStats.h"
#include "kit/crash/crashpath/CWSignal.h"

namespace {

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

TEST(CWHandlerTest, AThreadRecordingItselfIsWalkedFromItsOwnCallers)
{
    CrashReportFolder folder;
    const uint64_t returnAddress = recordHere(folder.file("handler.cwrecord"));
    const auto threads = folder.records("handler.cwrecord", "threads");
    ASSERT_EQ(threads.size(), 1u);
    bool found = false;
    for (const auto& thread : threads[0]) {
        for (const auto& pc : thread["stacktrace"]) {
            found = found || (thread["crashed"] == true && pc == returnAddress);
        }
    }
    EXPECT_TRUE(found);
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
