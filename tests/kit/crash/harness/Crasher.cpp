// A child process for the crash tests: sets the crash kit up on a report folder
// and then crashes in the way its first argument names. The tests start it with
// posix_spawn and look at how it ended and at what it left in the folder.
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "CrashModes.h"
#include "kit/crash/CWContextConfiguration.h"
#include "kit/crash/CWContextInitialize.h"
#include "kit/crash/CWUserLogging.h"
#include "kit/crash/crashpath/CWAllocator.h"
#include "kit/crash/crashpath/CWContext.h"
#include "kit/crash/crashpath/CWSafeRead.h"

namespace {

void setUserKey(const std::string& key, const std::string& value)
{
    CWUserLoggingRecordKeyValue(key, value, &CWContextGet()->userKeyValues, &CWCrashStateGet()->userKeyValueCount);
}

// Makes the kernel refuse process_vm_readv with EPERM, as some sandboxes do.
bool refuseMemoryReads()
{
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_process_vm_readv, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program{static_cast<unsigned short>(sizeof(filter) / sizeof(filter[0])), filter};
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

// Exit status 0 when safe reads still tell readable from unreadable memory.
int safeReadUnderSeccomp()
{
    if (!refuseMemoryReads()) {
        return 4;
    }
    const char text[] = "through the pipe";
    char copy[sizeof(text)] = {};
    void* gone = mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    munmap(gone, 4096);
    const bool ok = CWSafeReadInitialize() && CWSafeRead(text, copy, sizeof(text)) && strcmp(copy, text) == 0
        && !CWSafeRead(gone, copy, 1) && CWSafeRead(text, copy, 4);
    return ok ? 0 : 1;
}

// A helper child attaches to this process as a debugger would (without
// stopping it) and stays until it is killed. Answers the helper's pid.
pid_t attachTracer()
{
    prctl(PR_SET_PTRACER, PR_SET_PTRACER_ANY, 0, 0, 0);
    int ready[2];
    if (pipe(ready) != 0) {
        return -1;
    }
    const pid_t traced = getpid();
    const pid_t helper = fork();
    if (helper == 0) {
        const char attached = ptrace(PTRACE_SEIZE, traced, nullptr, nullptr) == 0 ? 1 : 0;
        (void)!write(ready[1], &attached, 1);
        pause();
        _exit(0);
    }
    char attached = 0;
    if (helper < 0 || read(ready[0], &attached, 1) != 1 || attached != 1) {
        return -1;
    }
    return helper;
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
    if (mode == "safe-read-under-seccomp") {
        return safeReadUnderSeccomp();
    }
    pid_t tracer = -1;
    if (mode == "traced" && (tracer = attachTracer()) < 0) {
        return 5;
    }
    crashModeBeforeSetUp(mode);
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
    } else if (mode == "set-up-only") {
        return 0;
    } else if (mode == "traced") {
        struct sigaction segv { };
        sigaction(SIGSEGV, nullptr, &segv);
        const bool skipped = CWContextGet()->debuggerAttached == 1 && CWContextGet()->signal.recordPath == nullptr
            && segv.sa_handler == SIG_DFL;
        kill(tracer, SIGKILL);
        waitpid(tracer, nullptr, 0);
        return skipped ? 0 : 1;
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
    } else if (int status = 0; runCrashMode(mode, argv[2], &status)) {
        return status;
    } else {
        return 2;
    }
    return 0;
}
