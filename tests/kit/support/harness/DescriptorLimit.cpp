#include "kit/support/harness/DescriptorLimit.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

DescriptorLimit::DescriptorLimit(size_t limit)
{
    EXPECT_EQ(getrlimit(RLIMIT_NOFILE, &saved_), 0);
    const rlimit lowered{static_cast<rlim_t>(limit), saved_.rlim_max};
    EXPECT_EQ(setrlimit(RLIMIT_NOFILE, &lowered), 0);
}

DescriptorLimit::~DescriptorLimit()
{
    setrlimit(RLIMIT_NOFILE, &saved_);
}

std::map<int, std::string> DescriptorLimit::openDescriptors()
{
    std::map<int, std::string> open;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        const int descriptor = std::stoi(entry.path().filename().string());
        open[descriptor] = std::filesystem::read_symlink(entry.path(), error).string();
    }
    return open;
}

size_t DescriptorLimit::openDescriptorCount()
{
    return openDescriptors().size();
}
