#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "CrashReportFolder.h"
#include "kit/crash/crashpath/CWAllocator.h"
#include "kit/crash/crashpath/CWContext.h"

namespace {

// Protections of the mapping's pages from /proc/self/maps, one letter group per
// run of equal protection: "---p", "rw-p", "r--p".
std::vector<std::string> protections(uint64_t begin, uint64_t end)
{
    std::vector<std::string> runs;
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) {
        uint64_t low = 0;
        uint64_t high = 0;
        char dash = 0;
        std::string perms;
        std::istringstream in(line);
        in >> std::hex >> low >> dash >> high >> perms;
        if (high <= begin || low >= end) {
            continue;
        }
        runs.push_back(perms);
    }
    return runs;
}

bool inside(const CWAllocator* allocator, const void* block)
{
    const auto address = reinterpret_cast<uintptr_t>(block);
    return address >= allocator->base && address < allocator->base + CWAllocatorMappedSize(allocator);
}

} // namespace

TEST(CWAllocatorTest, MapsGuardedWritableAndReadOnlyParts)
{
    CrashReportFolder folder;
    ASSERT_EQ(CWHostGetPageSize(), 4096u);
    CWAllocator* allocator = CWAllocatorCreate(544872, 17064);
    ASSERT_NE(allocator, nullptr);
    EXPECT_EQ(allocator->writable.size, 548864u);
    EXPECT_EQ(allocator->readOnly.size, 20480u);
    EXPECT_EQ(CWAllocatorMappedSize(allocator), 581632u);
    EXPECT_EQ(allocator->writable.start, allocator->base + 4096);
    EXPECT_EQ(allocator->readOnly.start, allocator->base + 4096 + 548864 + 4096);
    EXPECT_EQ(allocator->readOnly.cursor.load(), allocator->readOnly.start + 64);
    const uint64_t end = allocator->base + 581632;
    EXPECT_EQ(protections(allocator->base, end), (std::vector<std::string>{"---p", "rw-p", "---p", "rw-p", "---p"}));
    EXPECT_NE(folder.read("sdk.log").find("] Mapping: 0x"), std::string::npos);

    // Blocks are bump-allocated on 16-byte boundaries.
    auto* first = static_cast<char*>(CWAllocatorSafeAllocate(allocator, 1, CWAllocationWritable));
    auto* second = static_cast<char*>(CWAllocatorSafeAllocate(allocator, 24, CWAllocationWritable));
    auto* third = static_cast<char*>(CWAllocatorSafeAllocate(allocator, 8, CWAllocationWritable));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(first), allocator->writable.start);
    EXPECT_EQ(second - first, 16);
    EXPECT_EQ(third - second, 32);
    EXPECT_EQ(CWAllocatorSafeAllocate(allocator, 8, 2), nullptr);
    char* copy = CWAllocatorCopyString(allocator, "/tmp/report/sdk.log");
    EXPECT_STREQ(copy, "/tmp/report/sdk.log");
    EXPECT_TRUE(inside(allocator, copy));

    ASSERT_TRUE(CWAllocatorProtect(allocator));
    EXPECT_EQ(protections(allocator->base, end), (std::vector<std::string>{"---p", "rw-p", "---p", "r--p", "---p"}));
}

TEST(CWAllocatorTest, OverflowAndLateAllocationsFallBackToTheHeap)
{
    CrashReportFolder folder;
    CWAllocator* allocator = CWAllocatorCreate(4096, 0);
    ASSERT_NE(allocator, nullptr);
    void* fits = CWAllocatorSafeAllocate(allocator, allocator->writable.size, CWAllocationWritable);
    EXPECT_TRUE(inside(allocator, fits));
    void* overflow = CWAllocatorSafeAllocate(allocator, 1, CWAllocationWritable);
    EXPECT_FALSE(inside(allocator, overflow));
    std::free(overflow);
    EXPECT_NE(folder.read("sdk.log").find("] Unable to allocate sufficient memory, falling back to malloc\n"),
        std::string::npos);

    void* orphan = CWAllocatorSafeAllocate(nullptr, 16, CWAllocationWritable);
    EXPECT_NE(orphan, nullptr);
    CWAllocatorFree(nullptr, orphan);
    EXPECT_NE(folder.read("sdk.log").find("] Allocator invalid, falling back to malloc\n"), std::string::npos);

    EXPECT_TRUE(CWAllocatorProtect(allocator));
    void* late = CWAllocatorSafeAllocate(allocator, 16, CWAllocationReadOnly);
    EXPECT_FALSE(inside(allocator, late));
    std::free(late);
    EXPECT_NE(
        folder.read("sdk.log").find("] Allocator already protected, falling back to malloc\n"), std::string::npos);
    EXPECT_TRUE(CWAllocatorProtect(allocator));
    EXPECT_NE(folder.read("sdk.log").find("] Write protection already enabled"), std::string::npos);
    EXPECT_FALSE(CWAllocatorProtect(reinterpret_cast<CWAllocator*>(64)));
    EXPECT_NE(folder.read("sdk.log").find("] Invalid allocator"), std::string::npos);
}
