#include "kit/crash/crashpath/CWDescriptorReserve.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "kit/crash/crashpath/CWContext.h"

namespace {

// Process-wide rather than in the crash-state block: set-up may run more than
// once, and each run only tops the same reserve up.
std::atomic<int32_t> gSpares[CWDescriptorReserveCount] = {-1, -1, -1, -1};

bool crashInProgress()
{
    const CWCrashState* state = CWCrashStateGet();
    return state != nullptr && state->crashInProgress.load() != 0;
}

// Closes one spare; false when none is left. Two recorders never close the same one.
bool releaseSpare()
{
    for (std::atomic<int32_t>& spare : gSpares) {
        const int32_t descriptor = spare.exchange(-1);
        if (descriptor >= 0) {
            close(descriptor);
            return true;
        }
    }
    return false;
}

} // namespace

bool CWDescriptorReserveFill()
{
    bool full = true;
    for (std::atomic<int32_t>& spare : gSpares) {
        if (spare.load() >= 0) {
            continue;
        }
        const int descriptor = open("/dev/null", O_RDONLY | O_CLOEXEC);
        int32_t expected = -1;
        if (descriptor < 0) {
            full = false;
        } else if (!spare.compare_exchange_strong(expected, descriptor)) {
            close(descriptor);
        }
    }
    return full;
}

int CWDescriptorReserveHeld()
{
    int held = 0;
    for (const std::atomic<int32_t>& spare : gSpares) {
        held += spare.load() >= 0 ? 1 : 0;
    }
    return held;
}

int CWDescriptorReserveOpen(const char* path, int flags, mode_t mode)
{
    // Nothing is logged here: the kit's log opens its file through this call.
    for (;;) {
        const int descriptor = open(path, flags, mode);
        if (descriptor >= 0 || (errno != EMFILE && errno != ENFILE) || !crashInProgress() || !releaseSpare()) {
            return descriptor;
        }
    }
}
