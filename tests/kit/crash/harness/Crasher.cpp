// A child process for the crash tests: sets the crash kit up on a report folder
// and then crashes in the way its first argument names. The tests start it with
// posix_spawn and look at how it ended and at what it left in the folder.
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "kit/crash/CWContextConfiguration.h"
#include "kit/crash/CWContextInitialize.h"
#include "kit/crash/CWUserLogging.h"
#include "kit/crash/crashpath/CWAllocator.h"
#include "kit/crash/crashpath/CWContext.h"

namespace {

void setUserKey(const std::string& key, const std::string& value)
{
    CWUserLoggingRecordKeyValue(key, value, &CWContextGet()->userKeyValues, &CWCrashStateGet()->userKeyValueCount);
}

} // namespace

int main(int argc, char** argv)
{
    // No core files from the crashes the tests ask for.
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    if (argc < 3) {
        std::fprintf(stderr, "usage: crasher MODE REPORT-FOLDER\n");
        return 2;
    }
    const std::string mode = argv[1];
    CWContextConfiguration configuration;
    configuration.reportPath = argv[2];
    configuration.maxCustomKeys = 64;
    configuration.logBufferSize = 65536;
    if (!CWContextInitialize(&configuration) || !CWContextIsInitialized()) {
        return 3;
    }
    CWAllocator* allocator = CWContextAllocator();
    if (mode == "write-past-writable") {
        auto* end = reinterpret_cast<volatile char*>(allocator->writable.start + allocator->writable.size);
        end[0] = 1;
    } else if (mode == "write-read-only") {
        auto* context = reinterpret_cast<volatile uint8_t*>(CWContextGet());
        context[1] = 1;
    } else if (mode == "kill-in-compaction") {
        for (int i = 0; i < 40; ++i) {
            setUserKey("early " + std::to_string(i), std::to_string(i));
        }
        CWUserLoggingCompactKVEntries(&CWContextGet()->userKeyValues);
        for (int i = 0; i < 10; ++i) {
            setUserKey("late " + std::to_string(i), std::to_string(i));
        }
        CWUserLoggingSetCompactionHook([] { raise(SIGKILL); });
        CWUserLoggingCompactKVEntries(&CWContextGet()->userKeyValues);
    } else {
        return 2;
    }
    return 0;
}
