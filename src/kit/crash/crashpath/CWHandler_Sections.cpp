// The sections after "threads": runtime hints, queue and thread names, memory
// and CPU figures, free disk space.
#include <sys/statfs.h>

#include <cstring>

#include "kit/crash/crashpath/CWContext.h"
#include "kit/crash/crashpath/CWFile.h"
#include "kit/crash/crashpath/CWHandler.h"
#include "kit/crash/crashpath/CWProcessStats.h"
#include "kit/crash/crashpath/CWSDKLog.h"
#include "kit/crash/crashpath/CWSafeRead.h"

namespace {

constexpr size_t kAbortMessageLimit = 1024;
constexpr size_t kLabelLimit = 128;
constexpr size_t kThreadNameLimit = 64;

// Copies a string of foreign memory into `out` (at most size - 1 bytes) when
// it can be read; false otherwise.
bool copyForeignString(const char* address, char* out, size_t size)
{
    if (address == nullptr || !CWSafeReadableString(address, size - 1)) {
        return false;
    }
    const size_t length = strnlen(address, size - 1);
    memcpy(out, address, length);
    out[length] = 0;
    return true;
}

// The C library keeps the text of a failed assertion or of detected heap
// corruption for the abort that follows: {u32 size; char text[]}.
void writeAbortMessage(CWFile* file)
{
    const CWThreadTables* tables = CWThreadTablesGet();
    uint64_t message = 0;
    if (tables == nullptr || tables->abortMessageAddress == 0
        || !CWSafeRead(reinterpret_cast<const void*>(tables->abortMessageAddress), &message, sizeof(message))
        || message == 0) {
        return;
    }
    CWLOG_DEBUG("attempting to read crash info string\n");
    char text[kAbortMessageLimit + 1];
    if (!copyForeignString(reinterpret_cast<const char*>(message + sizeof(uint32_t)), text, sizeof(text))) {
        CWLOG_ERROR("Failed to copy crash info string\n");
        return;
    }
    CWFileWriteArrayHexString(file, text);
}

void sectionStart(CWFile* file, const char* kind)
{
    CWFileWriteRecordStart(file, kind);
}

void sectionEnd(CWFile* file)
{
    CWFileWriteObjectClose(file);
    CWFileWriteLineEnd(file);
}

// "/proc/self/task/<tid>/comm" into `out` (64 bytes).
void commPath(int32_t tid, char* out)
{
    const char prefix[] = "/proc/self/task/";
    memcpy(out, prefix, sizeof(prefix) - 1);
    char digits[21];
    const size_t count = CWFileFormatUnsigned(static_cast<uint64_t>(tid), 10, digits);
    memcpy(out + sizeof(prefix) - 1, digits, count);
    memcpy(out + sizeof(prefix) - 1 + count, "/comm", 6);
}

} // namespace

void CWProcessRecordRuntimeInfo(CWFile* file, const CWProcess*)
{
    sectionStart(file, "runtime");
    CWFileWriteObjectOpen(file);
    // No message-sending runtime exists here to name a selector.
    CWFileWriteHashString(file, "objc_selector", "");
    CWFileWriteKey(file, "crash_info_entries");
    CWFileWriteArrayOpen(file);
    writeAbortMessage(file);
    CWFileWriteArrayClose(file);
    CWFileWriteObjectClose(file);
    sectionEnd(file);
}

void CWProcessRecordDispatchQueueNames(CWFile* file, const CWProcess* process)
{
    const CWThreadTables* tables = CWThreadTablesGet();
    sectionStart(file, "dispatch_queue_names");
    CWFileWriteArrayOpen(file);
    const CWThreadList* list = process->threads;
    for (uint32_t i = 0; i < list->count; ++i) {
        if (list->states[i].load() == CWThreadStateGone) {
            continue;
        }
        char label[kLabelLimit + 1];
        const char* address = tables != nullptr ? CWThreadLabelFor(tables, list->tids[i]) : nullptr;
        CWFileWriteArrayString(file, copyForeignString(address, label, sizeof(label)) ? label : "");
    }
    CWFileWriteArrayClose(file);
    sectionEnd(file);
}

void CWProcessRecordThreadNames(CWFile* file, const CWProcess* process)
{
    sectionStart(file, "thread_names");
    CWFileWriteArrayOpen(file);
    const CWThreadList* list = process->threads;
    for (uint32_t i = 0; i < list->count; ++i) {
        if (list->states[i].load() == CWThreadStateGone) {
            continue;
        }
        char path[64];
        commPath(list->tids[i], path);
        char name[kThreadNameLimit + 1];
        long length = CWProcessStatsReadFile(path, name, sizeof(name));
        while (length > 0 && name[length - 1] == '\n') {
            name[--length] = 0;
        }
        CWFileWriteArrayString(file, length > 0 ? name : "");
    }
    CWFileWriteArrayClose(file);
    sectionEnd(file);
}

void CWProcessRecordStats(CWFile* file)
{
    const CWContext* context = CWContextGet();
    const uint64_t pageSize = context != nullptr && context->pageSize != 0 ? context->pageSize : 4096;
    CWMemoryStats memory{};
    if (!CWProcessGetMemoryUsage(&memory)) {
        CWLOG_WARN("Unable to get process memory usage\n");
        return;
    }
    CWProcessUsage usage{};
    if (!CWProcessGetInfo(pageSize, &usage)) {
        CWLOG_WARN("Unable to get process stats\n");
        return;
    }
    sectionStart(file, "process_stats");
    CWFileWriteObjectOpen(file);
    CWFileWriteHashUnsigned(file, "active", memory.active);
    CWFileWriteHashUnsigned(file, "inactive", memory.inactive);
    CWFileWriteHashUnsigned(file, "wired", memory.wired);
    CWFileWriteHashUnsigned(file, "freeMem", memory.free);
    CWFileWriteHashUnsigned(file, "free_mem", memory.free);
    CWFileWriteHashUnsigned(file, "virtual", usage.virtualBytes);
    CWFileWriteHashUnsigned(file, "resident", usage.residentBytes);
    CWFileWriteHashUnsigned(file, "user_time", usage.userMicroseconds);
    CWFileWriteHashUnsigned(file, "sys_time", usage.systemMicroseconds);
    CWFileWriteObjectClose(file);
    sectionEnd(file);
}

void CWProcessRecordStorage(CWFile* file, const char* path)
{
    sectionStart(file, "storage");
    CWFileWriteObjectOpen(file);
    struct statfs figures { };
    if (path != nullptr && statfs(path, &figures) == 0) {
        const auto blockSize = static_cast<uint64_t>(figures.f_bsize);
        CWFileWriteHashUnsigned(file, "free", blockSize * static_cast<uint64_t>(figures.f_bavail));
        CWFileWriteHashUnsigned(file, "total", blockSize * static_cast<uint64_t>(figures.f_blocks));
    }
    CWFileWriteObjectClose(file);
    sectionEnd(file);
}
