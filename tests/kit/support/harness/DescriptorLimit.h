#pragma once

#include <sys/resource.h>

#include <cstddef>
#include <map>
#include <string>

// Lowers how many files the test process may have open, for as long as it
// lives, so that a test of what a long run under load would use up fails in
// moments. The descriptors open now stay valid whatever the new limit.
class DescriptorLimit {
public:
    explicit DescriptorLimit(size_t limit);
    ~DescriptorLimit();
    DescriptorLimit(const DescriptorLimit&) = delete;
    DescriptorLimit& operator=(const DescriptorLimit&) = delete;

    // The process's open descriptors and what each refers to.
    static std::map<int, std::string> openDescriptors();
    static size_t openDescriptorCount();

private:
    rlimit saved_{};
};
