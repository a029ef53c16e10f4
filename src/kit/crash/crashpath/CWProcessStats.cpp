#include "kit/crash/crashpath/CWProcessStats.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "kit/crash/crashpath/CWDescriptorReserve.h"
#include "kit/crash/crashpath/CWSDKLog.h"

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The number after "Key:" on one line of `text`, in bytes ("kB" figures).
bool meminfoField(const char* text, size_t length, const char* key, uint64_t* out)
{
    const size_t keyLength = strlen(key);
    for (size_t line = 0; line < length;) {
        const char* end = static_cast<const char*>(memchr(text + line, '\n', length - line));
        const size_t lineEnd = end != nullptr ? static_cast<size_t>(end - text) : length;
        if (lineEnd - line > keyLength && memcmp(text + line, key, keyLength) == 0 && text[line + keyLength] == ':') {
            size_t i = line + keyLength + 1;
            while (i < lineEnd && text[i] == ' ') {
                ++i;
            }
            if (i == lineEnd || !isDigit(text[i])) {
                return false;
            }
            uint64_t value = 0;
            for (; i < lineEnd && isDigit(text[i]); ++i) {
                value = value * 10 + static_cast<uint64_t>(text[i] - '0');
            }
            *out = value * 1024;
            return true;
        }
        line = lineEnd + 1;
    }
    return false;
}

uint64_t microseconds(const timeval& time)
{
    return static_cast<uint64_t>(time.tv_sec) * 1000000 + static_cast<uint64_t>(time.tv_usec);
}

} // namespace

bool CWProcessStatsParseMeminfo(const char* text, size_t length, CWMemoryStats* out)
{
    return meminfoField(text, length, "Active", &out->active) && meminfoField(text, length, "Inactive", &out->inactive)
        && meminfoField(text, length, "Unevictable", &out->wired) && meminfoField(text, length, "MemFree", &out->free);
}

bool CWProcessStatsParseStatm(const char* text, size_t length, uint64_t pageSize, CWProcessUsage* out)
{
    uint64_t fields[2] = {};
    size_t i = 0;
    for (uint64_t& field : fields) {
        while (i < length && text[i] == ' ') {
            ++i;
        }
        if (i == length || !isDigit(text[i])) {
            return false;
        }
        for (; i < length && isDigit(text[i]); ++i) {
            field = field * 10 + static_cast<uint64_t>(text[i] - '0');
        }
    }
    out->virtualBytes = fields[0] * pageSize;
    out->residentBytes = fields[1] * pageSize;
    return true;
}

long CWProcessStatsReadFile(const char* path, char* buffer, size_t size)
{
    const int descriptor = CWDescriptorReserveOpen(path, O_RDONLY | O_CLOEXEC, 0);
    if (descriptor < 0 || size == 0) {
        return -1;
    }
    size_t filled = 0;
    while (filled + 1 < size) {
        const ssize_t count = read(descriptor, buffer + filled, size - 1 - filled);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            break;
        }
        filled += static_cast<size_t>(count);
    }
    close(descriptor);
    buffer[filled] = 0;
    return static_cast<long>(filled);
}

bool CWProcessGetMemoryUsage(CWMemoryStats* out)
{
    char text[8192];
    const long length = CWProcessStatsReadFile("/proc/meminfo", text, sizeof(text));
    if (length < 0 || !CWProcessStatsParseMeminfo(text, static_cast<size_t>(length), out)) {
        CWLOG_WARN("Failed to get vm statistics\n");
        return false;
    }
    return true;
}

bool CWProcessGetInfo(uint64_t pageSize, CWProcessUsage* out)
{
    char text[256];
    const long length = CWProcessStatsReadFile("/proc/self/statm", text, sizeof(text));
    rusage usage{};
    if (length < 0 || !CWProcessStatsParseStatm(text, static_cast<size_t>(length), pageSize, out)
        || getrusage(RUSAGE_SELF, &usage) != 0) {
        CWLOG_WARN("Failed to get task info\n");
        return false;
    }
    out->userMicroseconds = microseconds(usage.ru_utime);
    out->systemMicroseconds = microseconds(usage.ru_stime);
    return true;
}
