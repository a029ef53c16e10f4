// How long a crash takes to record: a child process with twenty idle threads
// sets the crash kit up, notes the monotonic time and writes through a null
// pointer; the kit's crash callback notes the time again once every section is
// written. The budget from the fault to the end of the handler is 50 ms.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "kit/crash/CWContextConfiguration.h"
#include "kit/crash/CWContextInitialize.h"
#include "kit/crash/crashpath/CWHandler.h"

extern char** environ;

namespace {

constexpr int kThreads = 20;
constexpr int kRuns = 15;
constexpr double kBudgetMilliseconds = 50;

int64_t monotonicNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Written inside the signal handler: digits by hand and one write.
int gCallbackDescriptor = -1;

void noteEnd(void*)
{
    char digits[24];
    int64_t value = monotonicNanoseconds();
    int length = 0;
    char reversed[24];
    do {
        reversed[length++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value > 0);
    for (int i = 0; i < length; ++i) {
        digits[i] = reversed[length - 1 - i];
    }
    (void)!write(gCallbackDescriptor, digits, static_cast<size_t>(length));
}

[[noreturn]] void crashingChild(const std::string& folder)
{
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    CWContextConfiguration configuration;
    configuration.reportPath = folder.c_str();
    if (!CWContextInitialize(&configuration)) {
        std::_Exit(3);
    }
    std::atomic<bool> stop{false};
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&] {
            ++ready;
            while (!stop) {
                usleep(1000);
            }
        });
    }
    while (ready < kThreads) {
        usleep(1000);
    }
    gCallbackDescriptor = ::open((folder + "/end.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    CWHandlerSetCrashCallback(noteEnd, nullptr);
    std::ofstream(folder + "/start.txt") << monotonicNanoseconds();
    *static_cast<volatile int*>(nullptr) = 1;
    std::_Exit(4);
}

int64_t readNumber(const std::string& path)
{
    std::ifstream in(path);
    int64_t value = -1;
    in >> value;
    return value;
}

// One crash; answers fault-to-end milliseconds, or a negative value when the run failed.
double oneRun(const std::string& self)
{
    std::string folder = (std::filesystem::temp_directory_path() / "lumetta-crash-bench-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr) {
        return -1;
    }
    std::string program = self;
    std::string mode = "child";
    char* arguments[] = {program.data(), mode.data(), folder.data(), nullptr};
    pid_t child = 0;
    int status = 0;
    if (posix_spawn(&child, program.c_str(), nullptr, nullptr, arguments, environ) != 0
        || waitpid(child, &status, 0) != child) {
        return -1;
    }
    const int64_t start = readNumber(folder + "/start.txt");
    const int64_t end = readNumber(folder + "/end.txt");
    std::filesystem::remove_all(folder);
    if (!WIFSIGNALED(status) || WTERMSIG(status) != SIGSEGV || start < 0 || end < start) {
        return -1;
    }
    return static_cast<double>(end - start) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "child") {
        crashingChild(argv[2]);
    }
    const std::string self = std::filesystem::canonical("/proc/self/exe").string();
    std::vector<double> times;
    for (int i = 0; i < kRuns; ++i) {
        const double milliseconds = oneRun(self);
        if (milliseconds < 0) {
            std::fprintf(stderr, "crash run %d failed\n", i);
            return 1;
        }
        times.push_back(milliseconds);
    }
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    std::printf("crash capture with %d threads alive, fault to end of handler over %d runs:\n", kThreads, kRuns);
    std::printf("  min %.2f ms, median %.2f ms, max %.2f ms (budget %.0f ms: %s)\n", times.front(), median,
        times.back(), kBudgetMilliseconds, times.back() <= kBudgetMilliseconds ? "met" : "MISSED");
    return 0;
}
