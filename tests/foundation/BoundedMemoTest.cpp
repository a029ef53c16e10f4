#include "foundation/BoundedMemo.h"

#include <gtest/gtest.h>

#include <string>

TEST(BoundedMemoTest, KeepsValuesUpToItsBoundAndWorksOutTheRestEachTime)
{
    BoundedMemo<int, std::string> memo(2);
    int made = 0;
    const auto spelled = [&made](int key) {
        return [&made, key] {
            ++made;
            return "tag " + std::to_string(key);
        };
    };
    EXPECT_EQ(memo.get(1, spelled(1)), "tag 1");
    EXPECT_EQ(memo.get(2, spelled(2)), "tag 2");
    EXPECT_EQ(memo.get(1, spelled(1)), "tag 1");
    EXPECT_EQ(made, 2);
    // Full: a third key is answered but not kept, and the kept ones stay.
    EXPECT_EQ(memo.get(3, spelled(3)), "tag 3");
    EXPECT_EQ(memo.get(3, spelled(3)), "tag 3");
    EXPECT_EQ(made, 4);
    EXPECT_EQ(memo.get(2, spelled(2)), "tag 2");
    EXPECT_EQ(made, 4);
}
