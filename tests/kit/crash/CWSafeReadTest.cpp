#include <gtest/gtest.h>

#include <sys/mman.h>

#include <cstring>

#include "kit/crash/crashpath/CWSafeRead.h"

namespace {

// Two pages: the first readable, the second not.
struct EdgeOfMapping {
    char* page;
    EdgeOfMapping()
    {
        page = static_cast<char*>(mmap(nullptr, 8192, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        mprotect(page + 4096, 4096, PROT_NONE);
    }
    ~EdgeOfMapping() { munmap(page, 8192); }
};

} // namespace

TEST(CWSafeReadTest, ReadsMappedMemoryAndRefusesTheRest)
{
    ASSERT_TRUE(CWSafeReadInitialize());
    const char text[] = "crash path";
    char copy[sizeof(text)] = {};
    EXPECT_TRUE(CWSafeRead(text, copy, sizeof(text)));
    EXPECT_STREQ(copy, text);
    EXPECT_FALSE(CWSafeRead(reinterpret_cast<const void*>(4095), copy, 1));

    EdgeOfMapping edge;
    EXPECT_FALSE(CWSafeRead(edge.page + 4096, copy, 1));
    EXPECT_FALSE(CWSafeRead(edge.page + 4090, copy, 8));

    // A string that ends just before the unreadable page is readable; one that
    // runs into it is not, and neither is a limit that reaches into it.
    std::memset(edge.page, 'x', 4096);
    edge.page[4095] = 0;
    EXPECT_TRUE(CWSafeReadableString(edge.page + 100, 10000));
    edge.page[4095] = 'x';
    EXPECT_FALSE(CWSafeReadableString(edge.page + 100, 10000));
    EXPECT_TRUE(CWSafeReadableString(edge.page + 100, 3996));
    EXPECT_FALSE(CWSafeReadableString(nullptr, 1));
}
