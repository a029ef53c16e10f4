#include "kit/crash/CWUserLogging.h"

#include <execinfo.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <vector>

#include "kit/crash/CWContextConfiguration.h"
#include "kit/crash/CWContextInitialize.h"
#include "kit/crash/CWRecordReader.h"
#include "kit/crash/crashpath/CWContext.h"
#include "kit/crash/crashpath/CWFile.h"
#include "kit/crash/crashpath/CWSDKLog.h"
#include "kit/support/KBFiles.h"
#include "kit/support/KBLog.h"
#include "kit/support/KBSerialQueue.h"

namespace {

constexpr int kMaxErrorFrames = 128;

std::mutex gHookMutex;
std::function<void()> gCompactionHook;

void runCompactionHook()
{
    std::function<void()> hook;
    {
        std::lock_guard lock(gHookMutex);
        hook = gCompactionHook;
    }
    if (hook) {
        hook();
    }
}

bool validStorage(const CWKeyValueStorage* storage)
{
    return storage != nullptr && storage->incrementalPath != nullptr && storage->compactedPath != nullptr;
}

std::vector<nlohmann::json> readKeyValues(const char* path)
{
    if (!CWContextIsInitialized()) {
        return {};
    }
    return CWFileReadSections(path, true, CWRecordKindFilter("kv")).value_or(std::vector<nlohmann::json>());
}

std::optional<std::string> textOf(const nlohmann::json& entry, const char* field, bool decode)
{
    const auto found = entry.find(field);
    if (found == entry.end() || !found->is_string()) {
        return std::nullopt;
    }
    return decode ? CWHexDecode(found->get<std::string>()) : found->get<std::string>();
}

// The compacted set goes to a file of its own first and replaces the old one
// only when complete, so that a crash at any moment leaves every key readable.
bool writeCompacted(const CWKeyValueStorage* storage, const CWKeyValues& entries)
{
    const std::string temporary = std::string(storage->compactedPath) + ".tmp";
    CWFile file;
    if (!CWFileInitWithPathMode(&file, temporary.c_str(), false, true)) {
        CWLOG_WARN("Error: Unable to open compacted k-v file\n");
        return false;
    }
    bool ok = true;
    for (const auto& [key, value] : entries) {
        ok = ok && CWFileWriteRecordStart(&file, "kv") && CWFileWriteObjectOpen(&file)
            && CWFileWriteHashString(&file, "key", key.c_str()) && CWFileWriteHashString(&file, "value", value.c_str())
            && CWFileWriteObjectClose(&file) && CWFileWriteObjectClose(&file) && CWFileWriteLineEnd(&file);
    }
    ok = CWFileFlush(&file) && ok;
    ok = fsync(file.descriptor) == 0 && ok;
    ok = CWFileClose(&file) && ok;
    runCompactionHook();
    if (!ok || std::rename(temporary.c_str(), storage->compactedPath) != 0) {
        CWLOG_WARN("Error: Unable to replace compacted KV store %s\n", strerror(errno));
        CWFileRemove(temporary.c_str());
        return false;
    }
    KBFiles::syncFolder(std::filesystem::path(storage->compactedPath).parent_path().string());
    return true;
}

bool writeKeyValueRecord(CWFile* file, const std::string& key, const std::optional<std::string>& value)
{
    if (!CWFileWriteRecordStart(file, "kv") || !CWFileWriteObjectOpen(file)
        || !CWFileWriteHashHexBytes(file, "key", key.data(), key.size())) {
        return false;
    }
    const bool valueWritten = value ? CWFileWriteHashHexBytes(file, "value", value->data(), value->size())
                                    : CWFileWriteHashString(file, "value", nullptr);
    return valueWritten && CWFileWriteObjectClose(file) && CWFileWriteObjectClose(file) && CWFileWriteLineEnd(file);
}

void writeInfoPairs(CWFile* file, const char* key, const std::map<std::string, std::string>& info)
{
    if (info.empty()) {
        return;
    }
    CWFileWriteKey(file, key);
    CWFileWriteArrayOpen(file);
    for (const auto& [name, value] : info) {
        CWFileWriteArrayOpen(file);
        CWFileWriteArrayHexString(file, name.c_str());
        CWFileWriteArrayHexString(file, value.c_str());
        CWFileWriteArrayClose(file);
    }
    CWFileWriteArrayClose(file);
}

std::string formatMessage(const char* format, va_list arguments)
{
    va_list copy;
    va_copy(copy, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length <= 0) {
        return {};
    }
    std::string message(static_cast<size_t>(length) + 1, '\0');
    std::vsnprintf(message.data(), message.size(), format, arguments);
    message.pop_back();
    return message;
}

uint64_t millisecondsSince1970()
{
    timeval now{};
    gettimeofday(&now, nullptr);
    return static_cast<uint64_t>(now.tv_sec) * 1000 + static_cast<uint64_t>(now.tv_usec) / 1000;
}

} // namespace

void CWUserLoggingInitialize(const CWContextConfiguration& configuration, const char* reportPath)
{
    CWContext* context = CWContextGet();
    CWCrashState* state = CWCrashStateGet();
    auto path = [reportPath](const char* name) { return CWContextCopyPath(reportPath, name); };
    context->userKeyValues = {path("user_incremental_kv.cwrecord"), path("user_compacted_kv.cwrecord"),
        CWKeyValueCompactionThreshold, configuration.maxCustomKeys};
    context->internalKeyValues = {path("internal_incremental_kv.cwrecord"), path("internal_compacted_kv.cwrecord"),
        CWKeyValueCompactionThreshold, CWInternalMaxKeys};
    context->logStorage = {path("log_a.cwrecord"), path("log_b.cwrecord"), configuration.logBufferSize, 0, 1, nullptr};
    const uint32_t maxErrors = configuration.errorReportingEnabled ? configuration.maxCustomExceptions : 0;
    context->errorsStorage
        = {path("errors_a.cwrecord"), path("errors_b.cwrecord"), 0, maxErrors, 0, &state->errorsCount};
    // The allowance, not the plain maximum: no custom exception is kept while they are off.
    const uint32_t allowance = configuration.customExceptionsEnabled ? configuration.maxCustomExceptions : 0;
    context->customExceptionStorage = {path("custom_exception_a.cwrecord"), path("custom_exception_b.cwrecord"), 0,
        allowance, 0, &state->customExceptionCount};
    CWUserLoggingInitStorages();
    // The first backtrace() loads the unwinder; do that now rather than inside a recorded error.
    void* frames[4];
    backtrace(frames, 4);
}

void CWUserLoggingInitStorages()
{
    CWContext* context = CWContextGet();
    CWCrashState* state = CWCrashStateGet();
    state->logCurrentFile.store(context->logStorage.pathA);
    state->errorsCurrentFile.store(context->errorsStorage.pathA);
    state->customExceptionCurrentFile.store(context->customExceptionStorage.pathA);
    state->userKeyValueCount = 0;
    state->internalKeyValueCount = 0;
    state->errorsCount = 0;
    context->userKeyValues.compactionThreshold = CWKeyValueCompactionThreshold;
    context->internalKeyValues.compactionThreshold = CWKeyValueCompactionThreshold;
}

void CWUserLoggingRecordKeyValue(const std::optional<std::string>& key, const std::optional<std::string>& value,
    const CWKeyValueStorage* storage, uint32_t* counter)
{
    if (!key) {
        CWLOG_WARN("User provided bad key\n");
        return;
    }
    if (!CWContextIsInitialized()) {
        return;
    }
    CWContextLoggingQueue()->sync([&]() { CWUserLoggingWriteKeyValue(*key, value, storage, counter); });
}

void CWUserLoggingWriteKeyValue(const std::string& key, const std::optional<std::string>& value,
    const CWKeyValueStorage* storage, uint32_t* counter)
{
    if (!validStorage(storage) || counter == nullptr) {
        CWLOG_ERROR("Bad parameters\n");
        return;
    }
    CWFile file;
    if (!CWFileInit(&file, storage->incrementalPath, true)) {
        CWLOG_ERROR("Unable to open k-v file\n");
        return;
    }
    writeKeyValueRecord(&file, key, value);
    CWFileClose(&file);
    if (++*counter == storage->compactionThreshold) {
        CWContextLoggingQueue()->async([storage, counter]() {
            CWUserLoggingCompactKVEntries(storage);
            *counter = 0;
        });
    }
}

CWKeyValues CWUserLoggingGetCompactedKVEntries(const CWKeyValueStorage* storage, bool decode)
{
    if (!validStorage(storage)) {
        CWLOG_ERROR("storage invalid\n");
        return {};
    }
    CWKeyValues entries;
    for (const nlohmann::json& entry : readKeyValues(storage->compactedPath)) {
        const auto key = textOf(entry, "key", decode);
        const auto value = textOf(entry, "value", decode);
        if (!key || !value) {
            CWLOG_ERROR("compacted key/value contains a nil and must be dropped\n");
            continue;
        }
        entries[*key] = *value;
    }
    for (const nlohmann::json& entry : readKeyValues(storage->incrementalPath)) {
        const auto key = textOf(entry, "key", decode);
        const bool deletes = entry.contains("value") && entry.at("value").is_null();
        const auto value = textOf(entry, "value", decode);
        if (!key || (!value && !deletes)) {
            CWLOG_ERROR("incremental key/value contains a nil and must be dropped\n");
        } else if (deletes) {
            entries.erase(*key);
        } else {
            entries[*key] = *value;
        }
    }
    return entries;
}

void CWUserLoggingCompactKVEntries(const CWKeyValueStorage* storage)
{
    if (!validStorage(storage)) {
        CWLOG_ERROR("Error: storage invalid\n");
        return;
    }
    CWKeyValues entries = CWUserLoggingGetCompactedKVEntries(storage, false);
    if (entries.size() > storage->maxKeys) {
        CWLOG_INFO("Truncating KV set, which is above max %d\n", static_cast<int32_t>(storage->maxKeys));
        // Keys in byte order: the first ones stay.
        entries.erase(std::next(entries.begin(), storage->maxKeys), entries.end());
    }
    // The incremental changes go only once the compacted set has replaced the old one.
    if (writeCompacted(storage, entries) && !CWFileRemove(storage->incrementalPath)) {
        CWLOG_WARN("Error: Unable to remove incremental KV store after compaction %s\n", strerror(errno));
    }
}

void CWUserLoggingAppendToABStorage(
    const CWABStorage* storage, std::atomic<const char*>* currentFile, const CWRecordWriter& writer)
{
    if (storage == nullptr || currentFile == nullptr || !writer || currentFile->load() == nullptr) {
        return;
    }
    if ((!storage->limitBySize && storage->maxEntries == 0) || (storage->limitBySize && storage->maxSize == 0)) {
        return;
    }
    CWContextLoggingQueue()->sync([&]() { CWUserLoggingWriteAndCheckABFiles(storage, currentFile, writer); });
}

void CWUserLoggingWriteAndCheckABFiles(
    const CWABStorage* storage, std::atomic<const char*>* currentFile, const CWRecordWriter& writer)
{
    CWFile file;
    if (!CWFileInit(&file, currentFile->load(), true)) {
        CWLOG_WARN("Unable to open log file\n");
        return;
    }
    writer(&file);
    uint64_t size = 0;
    CWFileCloseWithOffset(&file, &size);
    if (!storage->limitBySize && storage->entryCounter != nullptr) {
        ++*storage->entryCounter;
    }
    CWContextLoggingQueue()->async(
        [storage, currentFile, size]() { CWUserLoggingCheckAndSwapABFiles(storage, currentFile, size); });
}

void CWUserLoggingCheckAndSwapABFiles(const CWABStorage* storage, std::atomic<const char*>* currentFile, uint64_t size)
{
    if (!storage->limitBySize) {
        if (storage->entryCounter == nullptr) {
            CWLOG_ERROR("Error: storage has invalid pointer, but is restricted by entry count\n");
            return;
        }
        if (*storage->entryCounter < storage->maxEntries) {
            return;
        }
        *storage->entryCounter = 0;
    } else if (size <= storage->maxSize) {
        return;
    }
    const char* other = currentFile->load() == storage->pathA ? storage->pathB : storage->pathA;
    if (other != nullptr && other[0] != 0) {
        CWFileRemove(other);
    }
    currentFile->store(other);
}

void CWLog(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    CWLogv(format, arguments);
    va_end(arguments);
}

void CWLogv(const char* format, va_list arguments)
{
    const std::string message = formatMessage(format, arguments);
    if (message.empty()) {
        return;
    }
    if (!CWContextIsInitialized()) {
        KBLog::tagged("[Crashwatch:Crash]",
            "WARNING: CWLog has been used before (or concurrently with) Crashwatch initialization and cannot be "
            "recorded. The message was: \n"
                + message);
        return;
    }
    const uint64_t time = millisecondsSince1970();
    CWUserLoggingAppendToABStorage(
        &CWContextGet()->logStorage, &CWCrashStateGet()->logCurrentFile, [&message, time](CWFile* file) {
            CWFileWriteRecordStart(file, "log");
            CWFileWriteObjectOpen(file);
            CWFileWriteHashHexBytes(file, "msg", message.data(), message.size());
            CWFileWriteHashUnsigned(file, "time", time);
            CWFileWriteObjectClose(file);
            CWFileWriteObjectClose(file);
            CWFileWriteLineEnd(file);
        });
}

void CWNSLog(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    CWNSLogv(format, arguments);
    va_end(arguments);
}

void CWNSLogv(const char* format, va_list arguments)
{
    va_list copy;
    va_copy(copy, arguments);
    const std::string message = formatMessage(format, copy);
    va_end(copy);
    CWLogv(format, arguments);
    if (!message.empty()) {
        KBLog::info(message);
    }
}

void CWUserLoggingRecordError(const CWError& error, const std::map<std::string, std::string>& additionalInfo)
{
    if (!CWContextIsInitialized()) {
        return;
    }
    void* frames[kMaxErrorFrames];
    const int count = backtrace(frames, kMaxErrorFrames);
    const uint64_t time = millisecondsSince1970() / 1000;
    CWUserLoggingAppendToABStorage(
        &CWContextGet()->errorsStorage, &CWCrashStateGet()->errorsCurrentFile, [&](CWFile* file) {
            CWFileWriteRecordStart(file, "error");
            CWFileWriteObjectOpen(file);
            CWFileWriteHashHexString(file, "domain", error.domain.c_str());
            CWFileWriteHashSigned(file, "code", error.code);
            CWFileWriteHashUnsigned(file, "time", time);
            CWFileWriteKey(file, "stacktrace");
            CWFileWriteArrayOpen(file);
            for (int i = 0; i < count; ++i) {
                CWFileWriteArrayUnsigned(file, reinterpret_cast<uintptr_t>(frames[i]));
            }
            CWFileWriteArrayClose(file);
            writeInfoPairs(file, "info", error.userInfo);
            writeInfoPairs(file, "extra_info", additionalInfo);
            CWFileWriteObjectClose(file);
            CWFileWriteObjectClose(file);
            CWFileWriteLineEnd(file);
        });
}

void CWUserLoggingSetCompactionHook(std::function<void()> hook)
{
    std::lock_guard lock(gHookMutex);
    gCompactionHook = std::move(hook);
}
