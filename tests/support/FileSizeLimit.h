#pragma once

#include <sys/resource.h>

#include <csignal>
#include <cstdint>

// A full disk, as far as this process can tell: while the limit stands, writes
// past `bytes` into any regular file fail with EFBIG (the signal the kernel
// would send instead is ignored). The previous limit and signal action come
// back when it goes. The limit is the process's: other threads writing big
// files meanwhile fail too.
class FileSizeLimit {
public:
    explicit FileSizeLimit(uint64_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    // False when the limit could not be set (the test then fails on its own).
    bool isActive() const { return active_; }

private:
    struct rlimit saved_ { };
    struct sigaction previousAction_ { };
    bool active_ = false;
};
