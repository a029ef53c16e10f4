#include "kit/core/CWURLSessionTemporaries.h"

#include "kit/support/KBDigest.h"
#include "kit/support/KBLog.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <set>

namespace {

std::mutex gMutex;
std::set<std::string>& livePaths()
{
    static auto* paths = new std::set<std::string>; // outlives every static destructor
    return *paths;
}

void removeLiveAtExit()
{
    std::lock_guard lock(gMutex);
    for (const auto& path : livePaths()) {
        ::unlink(path.c_str());
    }
    livePaths().clear();
}

bool processIsGone(pid_t pid)
{
    return pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH;
}

// Files of this kind from runs before names carried a process: any older
// than this can belong to no running transfer, whose deadline is shorter.
constexpr auto kUnownedAge = std::chrono::hours(1);

bool isStale(const std::filesystem::directory_entry& entry)
{
    const std::string name = entry.path().filename().string();
    const std::string rest = name.substr(std::char_traits<char>::length(CWURLSessionTemporaries::kPrefix));
    char* end = nullptr;
    const long pid = std::strtol(rest.c_str(), &end, 10);
    if (end != rest.c_str() && *end == '-') {
        return processIsGone(static_cast<pid_t>(pid));
    }
    std::error_code error;
    const auto modified = entry.last_write_time(error);
    return !error && std::filesystem::file_time_type::clock::now() - modified > kUnownedAge;
}

} // namespace

std::string CWURLSessionTemporaries::newPath()
{
    static std::once_flag registered;
    std::call_once(registered, [] { std::atexit(removeLiveAtExit); });
    std::error_code ignored;
    const auto folder = std::filesystem::temp_directory_path(ignored);
    const std::string path = (folder / (kPrefix + std::to_string(::getpid()) + "-" + KBCreateUUIDString())).string();
    std::lock_guard lock(gMutex);
    livePaths().insert(path);
    return path;
}

void CWURLSessionTemporaries::remove(const std::string& path)
{
    if (path.empty()) {
        return;
    }
    ::unlink(path.c_str());
    std::lock_guard lock(gMutex);
    livePaths().erase(path);
}

void CWURLSessionTemporaries::removeStaleOnce()
{
    static std::once_flag done;
    std::call_once(done, [] {
        std::error_code ignored;
        removeStale(std::filesystem::temp_directory_path(ignored).string());
    });
}

void CWURLSessionTemporaries::removeStale(const std::string& folder)
{
    std::error_code error;
    std::filesystem::directory_iterator entries(folder, error);
    for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        const auto& entry = *entries;
        if (entry.path().filename().string().rfind(kPrefix, 0) != 0 || !entry.is_regular_file(error)) {
            continue;
        }
        if (isStale(entry)) {
            std::error_code ignored;
            std::filesystem::remove(entry.path(), ignored);
            KBLog::debug("[Kitbase] Removed a stale download " + entry.path().string());
        }
    }
}
