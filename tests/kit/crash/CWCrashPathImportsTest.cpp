#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <string>

namespace {

// What crash-path code may call: async-signal-safe system calls and memory
// helpers, its own functions in other crash-path objects, and the heap fall-back
// that only set-up and user logging reach; the loader's list of images is data.
const std::set<std::string> kAllowed = {"__errno_location", "close", "fstat", "getpid", "memcpy", "memmove", "memset",
    "mmap", "mprotect", "open", "pipe2", "process_vm_readv", "read", "strerrordesc_np", "strlen", "sysconf", "unlink",
    "write", "memchr", "memcmp", "strncpy", "strnlen", "_r_debug", "_GLOBAL_OFFSET_TABLE_", "__stack_chk_fail",
    "_Z22CWHeapFallbackAllocatem", "_Z18CWHeapFallbackFreePv", "_exit", "clock_gettime", "getdents64", "getrusage",
    "gettid", "lseek", "nanosleep", "sched_yield", "sigaction", "sigaltstack", "sigemptyset", "sigprocmask", "statfs",
    "syscall", "tgkill"};

// The symbols `nm` lists for one object with the given option.
std::set<std::string> symbols(const std::string& object, const char* option)
{
    std::set<std::string> found;
    const std::string command = std::string("nm ") + option + " '" + object + "'";
    std::FILE* pipe = popen(command.c_str(), "r");
    char line[512];
    while (pipe != nullptr && std::fgets(line, sizeof(line), pipe) != nullptr) {
        std::string symbol = line;
        symbol = symbol.substr(symbol.find_last_of(' ') + 1);
        symbol.erase(symbol.find_last_not_of('\n') + 1);
        found.insert(symbol);
    }
    if (pipe == nullptr || pclose(pipe) != 0) {
        ADD_FAILURE() << "nm failed on " << object;
    }
    return found;
}

bool sanitizerSymbol(const std::string& symbol)
{
#ifdef LUMETTA_SANITIZE
    return symbol.rfind("__asan", 0) == 0 || symbol.rfind("__ubsan", 0) == 0 || symbol.rfind("__sanitizer", 0) == 0;
#else
    (void)symbol;
    return false;
#endif
}

} // namespace

TEST(CWCrashPathImportsTest, CrashPathObjectsCallOnlyAllowedFunctions)
{
    std::ifstream list(CRASH_PATH_OBJECTS_LIST);
    std::set<std::string> imported;
    std::set<std::string> defined;
    int objects = 0;
    for (std::string object; std::getline(list, object);) {
        if (!object.empty()) {
            ++objects;
            imported.merge(symbols(object, "-u"));
            defined.merge(symbols(object, "--defined-only"));
        }
    }
    EXPECT_GE(objects, 5);
    for (const std::string& symbol : imported) {
        EXPECT_TRUE(kAllowed.count(symbol) > 0 || defined.count(symbol) > 0 || sanitizerSymbol(symbol))
            << "crash-path code imports " << symbol;
    }
}
