#include "kit/crash/crashpath/CWSafeRead.h"

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>

namespace {

// Descriptors of the fall-back pipe; -1 while the kernel's memory read works.
std::atomic<int> gPipeRead{-1};
std::atomic<int> gPipeWrite{-1};

bool readThroughKernel(const void* address, void* destination, size_t length)
{
    iovec local{destination, length};
    iovec remote{const_cast<void*>(address), length};
    return process_vm_readv(getpid(), &local, 1, &remote, 1, 0) == static_cast<ssize_t>(length);
}

// write() into a pipe fails with EFAULT for an unreadable source instead of
// faulting; the bytes then come back out of the pipe.
bool readThroughPipe(int readEnd, int writeEnd, const void* address, void* destination, size_t length)
{
    const auto* source = static_cast<const char*>(address);
    auto* target = static_cast<char*>(destination);
    while (length > 0) {
        const size_t part = length < 4096 ? length : 4096;
        if (write(writeEnd, source, part) != static_cast<ssize_t>(part)) {
            char drain[4096];
            while (read(readEnd, drain, sizeof(drain)) > 0) { }
            return false;
        }
        if (read(readEnd, target, part) != static_cast<ssize_t>(part)) {
            return false;
        }
        source += part;
        target += part;
        length -= part;
    }
    return true;
}

} // namespace

bool CWSafeReadInitialize()
{
    uint64_t probe = 0x5afe;
    uint64_t copy = 0;
    if (readThroughKernel(&probe, &copy, sizeof(probe)) && copy == probe) {
        return true;
    }
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        return false;
    }
    gPipeRead.store(ends[0]);
    gPipeWrite.store(ends[1]);
    return true;
}

bool CWSafeRead(const void* address, void* destination, size_t length)
{
    if (reinterpret_cast<uintptr_t>(address) < 4096) {
        return false;
    }
    if (length == 0) {
        return true;
    }
    const int writeEnd = gPipeWrite.load();
    if (writeEnd >= 0) {
        return readThroughPipe(gPipeRead.load(), writeEnd, address, destination, length);
    }
    return readThroughKernel(address, destination, length);
}

bool CWSafeReadableString(const char* address, size_t limit)
{
    char chunk[256];
    size_t checked = 0;
    while (checked < limit) {
        const uintptr_t at = reinterpret_cast<uintptr_t>(address + checked);
        // Stay within one page so that a readable string ending before an
        // unmapped page is not refused.
        size_t part = 4096 - (at % 4096);
        part = part < sizeof(chunk) ? part : sizeof(chunk);
        part = part < limit - checked ? part : limit - checked;
        if (!CWSafeRead(address + checked, chunk, part)) {
            return false;
        }
        for (size_t i = 0; i < part; ++i) {
            if (chunk[i] == 0) {
                return true;
            }
        }
        checked += part;
    }
    return true;
}
