#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <thread>
#include <vector>

#include "CrashReportFolder.h"
#include "UnwindChain.h"
#include "kit/crash/crashpath/CWUnwind.h"

namespace {

struct Walk {
    std::vector<uint64_t> pcs;
    std::vector<uint32_t> repeats;
};

Walk walk(const CWMachineContext& context, bool pcIsReturnAddress)
{
    CWUnwindCursor cursor;
    CWUnwindInit(&cursor, &context, pcIsReturnAddress);
    Walk result;
    while (result.pcs.size() < 200 && CWUnwindNextFrameUsingAllStrategies(&cursor)) {
        result.pcs.push_back(CWUnwindCurrentPC(&cursor));
        result.repeats.push_back(CWUnwindRepeatCount(&cursor));
    }
    return result;
}

CWMachineContext contextOf(const UnwindChainRecord& record)
{
    CWMachineContext context;
    CWMachineContextFromUcontext(&record.context, &context);
    return context;
}

// Runs the chain and walks it from the deepest function's own context.
Walk walkChain(UnwindChainRecord& record, int depth)
{
    Walk result;
    record.user = &result;
    record.visit = [](UnwindChainRecord* live) { *static_cast<Walk*>(live->user) = walk(contextOf(*live), true); };
    chainTop(&record, depth);
    return result;
}

// The stored return addresses appear in the walk in order: the first two right
// after frame 0, the last three together after libc's frames of qsort.
void expectChain(const UnwindChainRecord& record, const std::vector<uint64_t>& pcs)
{
    ASSERT_EQ(record.count, 5);
    ASSERT_GT(pcs.size(), 6u);
    EXPECT_EQ(pcs[1], record.returnAddresses[0]);
    EXPECT_EQ(pcs[2], record.returnAddresses[1]);
    const auto qsortCaller = std::find(pcs.begin() + 3, pcs.end(), record.returnAddresses[2]);
    ASSERT_NE(qsortCaller, pcs.end());
    ASSERT_LT(qsortCaller + 2, pcs.end());
    EXPECT_EQ(qsortCaller[1], record.returnAddresses[3]);
    EXPECT_EQ(qsortCaller[2], record.returnAddresses[4]);
}

bool loggedErrors(const CrashReportFolder& folder)
{
    const std::string log = folder.read("sdk.log");
    return log.find("ERROR [") != std::string::npos || log.find("FP is zero") != std::string::npos
        || log.find("Unable to find binary") != std::string::npos;
}

UnwindChainRecord* gSignalledRecord = nullptr;

void takeContextAndVisit(int)
{
    getcontext(&gSignalledRecord->context);
    gSignalledRecord->visit(gSignalledRecord);
}

// Frame records laid out the way code with frame pointers leaves them.
struct FakeStack {
    std::vector<uint64_t> words = std::vector<uint64_t>(64, 0);
    uint64_t at(size_t index) { return reinterpret_cast<uintptr_t>(&words[index]); }
};

} // namespace

TEST(CWUnwindTest, CallFrameInformationWalksAnOptimisedChain)
{
    CrashReportFolder folder;
    UnwindChainRecord record{};
    const Walk result = walkChain(record, 3);
    expectChain(record, result.pcs);
    EXPECT_FALSE(loggedErrors(folder)) << folder.read("sdk.log");

    // glibc's own unwinder agrees on every frame both walks see (a sanitizer's
    // interceptor may add a frame of its own in front).
    const void** begin = const_cast<const void**>(record.backtrace);
    const void** end = begin + record.backtraceCount;
    const auto* start = std::find(begin, end, reinterpret_cast<const void*>(result.pcs[1]));
    ASSERT_NE(start, end);
    const size_t common = std::min(result.pcs.size() - 1, static_cast<size_t>(end - start));
    ASSERT_GT(common, 6u);
    for (size_t i = 0; i < common; ++i) {
        EXPECT_EQ(result.pcs[i + 1], reinterpret_cast<uintptr_t>(start[i])) << "frame " << i + 1;
    }
}

TEST(CWUnwindTest, AWalkFromAWorkerThreadEndsAtThreadStart)
{
    CrashReportFolder folder;
    UnwindChainRecord record{};
    Walk result;
    std::thread([&] { result = walkChain(record, 5); }).join();
    expectChain(record, result.pcs);
    EXPECT_LT(result.pcs.size(), 40u);
    EXPECT_FALSE(loggedErrors(folder)) << folder.read("sdk.log");
}

TEST(CWUnwindTest, AWalkFromASignalHandlerCrossesTheSignalFrame)
{
    CrashReportFolder folder;
    UnwindChainRecord record{};
    record.signal = SIGUSR1;
    gSignalledRecord = &record;
    struct sigaction action { };
    struct sigaction previous { };
    action.sa_handler = takeContextAndVisit;
    sigaction(SIGUSR1, &action, &previous);
    const Walk result = walkChain(record, 4);
    sigaction(SIGUSR1, &previous, nullptr);
    // The chain lies beyond the handler, the kernel's signal frame and raise().
    ASSERT_EQ(record.count, 5);
    const auto deepest = std::find(result.pcs.begin(), result.pcs.end(), record.returnAddresses[0]);
    ASSERT_NE(deepest, result.pcs.end());
    EXPECT_GT(deepest - result.pcs.begin(), 3);
    ASSERT_LT(deepest + 1, result.pcs.end());
    EXPECT_EQ(deepest[1], record.returnAddresses[1]);
    const auto top = std::find(deepest, result.pcs.end(), record.returnAddresses[4]);
    EXPECT_NE(top, result.pcs.end());
    EXPECT_FALSE(loggedErrors(folder)) << folder.read("sdk.log");
}

TEST(CWUnwindTest, AFaultAtAFunctionsFirstInstructionUnwindsToItsCaller)
{
    CrashReportFolder folder;
    UnwindChainRecord record{};
    chainTop(&record, 2);
    // As if chainLeaf had just been called from the place chainTop returns to.
    FakeStack stack;
    stack.words[0] = record.returnAddresses[4];
    CWMachineContext context = contextOf(record);
    context.registers[CWRegisterRIP] = reinterpret_cast<uintptr_t>(&chainLeaf);
    context.registers[CWRegisterRSP] = stack.at(0);
    const Walk result = walk(context, false);
    ASSERT_GE(result.pcs.size(), 2u);
    EXPECT_EQ(result.pcs[0], reinterpret_cast<uintptr_t>(&chainLeaf));
    EXPECT_EQ(result.pcs[1], record.returnAddresses[4]);
}

TEST(CWUnwindTest, FramePointerChainsOutsideAnyImage)
{
    CrashReportFolder folder;
    // Ten frames returning to the same place: a runaway recursion.
    FakeStack stack;
    for (size_t i = 0; i < 10; ++i) {
        stack.words[2 * i] = i < 9 ? stack.at(2 * i + 2) : 0;
        stack.words[2 * i + 1] = 0x10000;
    }
    CWMachineContext context{};
    context.registers[CWRegisterRIP] = 0x10000;
    context.registers[CWRegisterRSP] = stack.at(0);
    context.registers[CWRegisterRBP] = stack.at(0);
    Walk result = walk(context, false);
    ASSERT_EQ(result.pcs.size(), 11u);
    EXPECT_EQ(result.repeats[9], 9u);
    EXPECT_EQ(result.repeats[10], 10u);
    EXPECT_EQ(folder.read("sdk.log").find("ERROR ["), std::string::npos);

    // A record pointing at itself ends the walk.
    stack.words[0] = stack.at(0);
    stack.words[1] = 0x20000;
    EXPECT_EQ(walk(context, false).pcs, (std::vector<uint64_t>{0x10000, 0x20000}));

    // No frame pointer: frame 0 alone and the one line that says why.
    context.registers[CWRegisterRBP] = 0;
    EXPECT_EQ(walk(context, false).pcs, (std::vector<uint64_t>{0x10000}));
    EXPECT_NE(folder.read("sdk.log").find("] FP is zero, aborting unwind\n"), std::string::npos);
    EXPECT_EQ(folder.read("sdk.log").find("ERROR ["), std::string::npos);
}

TEST(CWUnwindTest, TheFirstStepScansTheStackForAnAddressInAnImage)
{
    CrashReportFolder folder;
    FakeStack stack;
    stack.words[0] = 0x30000;
    stack.words[1] = 42;
    stack.words[2] = reinterpret_cast<uintptr_t>(&chainLeaf) + 4;
    stack.words[3] = reinterpret_cast<uintptr_t>(&chainTop) + 4;
    CWMachineContext context{};
    context.registers[CWRegisterRIP] = 0x10000;
    context.registers[CWRegisterRSP] = stack.at(0);
    context.registers[CWRegisterRBP] = stack.at(8);
    CWUnwindCursor cursor;
    CWUnwindInit(&cursor, &context, false);
    ASSERT_TRUE(CWUnwindNextFrameUsingAllStrategies(&cursor));
    ASSERT_TRUE(CWUnwindNextFrameUsingAllStrategies(&cursor));
    EXPECT_EQ(CWUnwindCurrentPC(&cursor), reinterpret_cast<uintptr_t>(&chainLeaf) + 4);
    EXPECT_EQ(CWUnwindCurrentSP(&cursor), stack.at(3));
    EXPECT_NE(folder.read("sdk.log").find("] Stack scan successful\n"), std::string::npos);
}
