#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "CallFrameBytes.h"
#include "CrashReportFolder.h"
#include "kit/crash/crashpath/CWCompactUnwind.h"
#include "kit/crash/crashpath/CWUnwind.h"

namespace {

constexpr uint64_t kLoad = 0x7f0000000000;

uint32_t kind(uint32_t value)
{
    return value << 24;
}

// An "__unwind_info" table: one common encoding, a first-level index of two
// functions ranges and its sentinel, and one compressed page per range.
struct UnwindTable {
    std::vector<uint32_t> words;

    // `functions` are {offset from the first-level start, encoding index} for page 0,
    // which covers [0x1000, 0x2000); page 1 covers [0x2000, 0x3000) with one function.
    UnwindTable(uint32_t common, std::vector<std::pair<uint32_t, uint32_t>> functions,
        std::vector<uint32_t> pageEncodings, uint32_t pageKind = 3)
    {
        const uint32_t headerWords = 7;
        const uint32_t commonOffset = headerWords * 4;
        const uint32_t indexOffset = commonOffset + 4;
        const uint32_t pageOffset = indexOffset + 3 * 12;
        const uint32_t entriesOffset = 12;
        const uint32_t encodingsOffset = entriesOffset + uint32_t(functions.size()) * 4;
        const uint32_t pageSize = encodingsOffset + uint32_t(pageEncodings.size()) * 4;
        const uint32_t secondPage = pageOffset + pageSize;
        words = {1, commonOffset, 1, 0, 0, indexOffset, 3, common};
        for (uint32_t entry : {0x1000u, pageOffset, 0u, 0x2000u, secondPage, 0u, 0x3000u, 0u, 0u}) {
            words.push_back(entry);
        }
        words.push_back(pageKind);
        words.push_back(entriesOffset | uint32_t(functions.size()) << 16);
        words.push_back(encodingsOffset | uint32_t(pageEncodings.size()) << 16);
        for (const auto& [offset, index] : functions) {
            words.push_back(offset | index << 24);
        }
        words.insert(words.end(), pageEncodings.begin(), pageEncodings.end());
        words.push_back(3);
        words.push_back(12 | 1 << 16);
        words.push_back(16 | 0 << 16);
        words.push_back(0);
    }

    uint64_t address() const { return reinterpret_cast<uintptr_t>(words.data()); }
};

bool lookup(const UnwindTable& table, uint64_t pc, CWCompactUnwindResult* result)
{
    CWCompactUnwindContext context;
    return CWCompactUnwindInit(&context, table.address(), 0x5000, kLoad) && CWCompactUnwindLookup(&context, pc, result);
}

// The compact unwind encoder's own permutation numbering.
uint32_t encodePermutation(const std::vector<uint32_t>& registers)
{
    const size_t n = registers.size();
    std::vector<uint32_t> renumbered(n);
    for (size_t i = 0; i < n; ++i) {
        uint32_t smaller = 0;
        for (size_t j = 0; j < i; ++j) {
            smaller += registers[j] < registers[i] ? 1 : 0;
        }
        renumbered[i] = registers[i] - 1 - smaller;
    }
    const std::vector<std::vector<uint32_t>> factors
        = {{}, {1}, {5, 1}, {20, 4, 1}, {60, 12, 3, 1}, {120, 24, 6, 2, 1}, {120, 24, 6, 2, 1}};
    uint32_t permutation = 0;
    for (size_t i = 0; i < factors[n].size(); ++i) {
        permutation += factors[n][i] * renumbered[i];
    }
    return permutation;
}

CWUnwindCursor cursorAt(std::vector<uint64_t>& stack)
{
    CWMachineContext context{};
    context.registers[CWRegisterRSP] = reinterpret_cast<uintptr_t>(stack.data());
    context.registers[CWRegisterRIP] = kLoad + 0x1010;
    CWUnwindCursor cursor;
    CWUnwindInit(&cursor, &context, false);
    return cursor;
}

} // namespace

TEST(CWCompactUnwindTest, LookupFindsTheFunctionAndItsEncoding)
{
    CrashReportFolder folder;
    const uint32_t frameless = kind(2) | 3 << 16;
    const UnwindTable table(kind(1), {{0, 0}, {0x40, 1}, {0x80, 2}}, {frameless, 0});
    CWCompactUnwindResult result;
    ASSERT_TRUE(lookup(table, kLoad + 0x1010, &result));
    EXPECT_EQ(result.encoding, kind(1));
    EXPECT_EQ(result.functionStart, kLoad + 0x1000);
    EXPECT_EQ(result.functionEnd, kLoad + 0x1040);
    ASSERT_TRUE(lookup(table, kLoad + 0x1040, &result));
    EXPECT_EQ(result.encoding, frameless);
    // The page's last function ends where the next first-level range starts.
    EXPECT_FALSE(lookup(table, kLoad + 0x1FFF, &result));
    EXPECT_NE(folder.read("sdk.log").find("] Entry has has no unwind info\n"), std::string::npos);
    EXPECT_FALSE(lookup(table, kLoad + 0x3000, &result));
    EXPECT_NE(folder.read("sdk.log").find("] Unable to find pc in first level\n"), std::string::npos);
    EXPECT_FALSE(lookup(table, kLoad + 0x0FFF, &result));

    const UnwindTable regular(kind(1), {{0, 0}}, {}, 2);
    EXPECT_FALSE(lookup(regular, kLoad + 0x1010, &result));
    EXPECT_NE(folder.read("sdk.log").find("] Encountered a regular second-level page\n"), std::string::npos);
}

TEST(CWCompactUnwindTest, FramelessFunctionsFindTheirReturnAddress)
{
    CrashReportFolder folder;
    // Kind 2, three words, no saved registers: pc = [sp + 16], sp + 24.
    std::vector<uint64_t> stack = {1, 2, 0x7f0000009999, 4};
    CWUnwindCursor cursor = cursorAt(stack);
    const UnwindTable table(kind(2) | 3 << 16, {{0, 0}}, {});
    CWCompactUnwindContext context;
    ASSERT_TRUE(CWCompactUnwindInit(&context, table.address(), 0x5000, kLoad));
    ASSERT_TRUE(CWCompactUnwindLookupAndCompute(&context, &cursor));
    EXPECT_EQ(CWUnwindCurrentPC(&cursor), 0x7f0000009999u);
    EXPECT_EQ(CWUnwindCurrentSP(&cursor), reinterpret_cast<uintptr_t>(stack.data()) + 24);

    // Kind 3 reads the stack size from the function's own subtraction, plus 1 word.
    std::vector<uint8_t> code(32, 0x90);
    const uint32_t immediate = 16;
    memcpy(code.data() + 5, &immediate, 4);
    cursor = cursorAt(stack);
    ASSERT_TRUE(
        CWCompactUnwindFrameless(kind(3) | 5 << 16 | 1 << 13, &cursor, reinterpret_cast<uintptr_t>(code.data()), true));
    EXPECT_EQ(CWUnwindCurrentPC(&cursor), 0x7f0000009999u);
    EXPECT_EQ(CWUnwindCurrentSP(&cursor), reinterpret_cast<uintptr_t>(stack.data()) + 24);
}

TEST(CWCompactUnwindTest, TheDwarfEncodingHandsItsFdeToTheDwarfStep)
{
    CrashReportFolder folder;
    const Bytes frames = frameInfo({0x41, 0x0E, 16});
    const uint32_t offset = static_cast<uint32_t>(fdeAddress(frames) - frames.address());
    const UnwindTable table(kind(4) | offset, {{0, 0}}, {});
    std::vector<uint64_t> stack = {0x7f0000004444, 0x7f0000005555, 0};
    CWUnwindCursor cursor = cursorAt(stack);
    CWCompactUnwindContext context;
    ASSERT_TRUE(CWCompactUnwindInit(&context, table.address(), frames.address(), kLoad));
    ASSERT_EQ(kFunction, kLoad + 0x1000);
    ASSERT_TRUE(CWCompactUnwindLookupAndCompute(&context, &cursor));
    EXPECT_EQ(CWUnwindCurrentPC(&cursor), 0x7f0000005555u);
    EXPECT_EQ(CWUnwindCurrentSP(&cursor), reinterpret_cast<uintptr_t>(stack.data()) + 16);
}

TEST(CWCompactUnwindTest, SavedRegisterPermutationsDecodeForEveryCount)
{
    CrashReportFolder folder;
    const std::vector<std::vector<uint32_t>> orders
        = {{6}, {3}, {1, 6}, {6, 2}, {5, 3, 6}, {6, 1, 2, 3}, {4, 6, 5, 2, 1}, {2, 4, 6, 1, 5, 3}, {6, 5, 4, 3, 2, 1}};
    for (const auto& order : orders) {
        const uint32_t count = uint32_t(order.size());
        uint32_t digits[6];
        uint32_t registers[6];
        ASSERT_TRUE(CWCompactUnwindDecompressPermutation(count, encodePermutation(order), digits));
        ASSERT_TRUE(CWCompactUnwindRemapRegisters(count, digits, registers));
        EXPECT_EQ(std::vector<uint32_t>(registers, registers + count), order);

        // The saved rbp comes back from its place in the save area.
        std::vector<uint64_t> stack(16, 0);
        const uint64_t words = count + 2;
        for (uint32_t i = 0; i < count; ++i) {
            stack[words - 1 - count + i] = order[i] == CWCompactUnwindRBP ? 0xB0B0 : 0xDEAD;
        }
        stack[words - 1] = 0x7f0000001234;
        CWUnwindCursor cursor = cursorAt(stack);
        cursor.context.registers[CWRegisterRBP] = 0x1111;
        const uint32_t encoding = kind(2) | uint32_t(words) << 16 | count << 10 | encodePermutation(order);
        ASSERT_TRUE(CWCompactUnwindFrameless(encoding, &cursor, 0, false));
        EXPECT_EQ(CWUnwindCurrentPC(&cursor), 0x7f0000001234u);
        const bool savesRbp = std::find(order.begin(), order.end(), CWCompactUnwindRBP) != order.end();
        EXPECT_EQ(cursor.context.registers[CWRegisterRBP], savesRbp ? 0xB0B0u : 0x1111u);
    }
    uint32_t digits[6];
    EXPECT_FALSE(CWCompactUnwindDecompressPermutation(7, 0, digits));
}
