#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "kit/crash/CWError.h"

struct CWABStorage;
struct CWContextConfiguration;
struct CWFile;
struct CWKeyValueStorage;

// What travels with a crash report besides the crash itself: log lines, recorded
// errors, custom exceptions and custom keys. Each is written to the report
// folder at once, on the logging queue, so it survives a crash without any work
// on the crash path. Log lines, errors and custom exceptions rotate through A/B
// file pairs; keys go to an incremental file that is compacted every 64 changes.

using CWKeyValues = std::map<std::string, std::string>;
using CWRecordWriter = std::function<void(CWFile*)>;

inline constexpr uint32_t CWKeyValueCompactionThreshold = 64;
inline constexpr uint32_t CWInternalMaxKeys = 32;

// Set-up job: paths and limits of every storage, then the starting state.
void CWUserLoggingInitialize(const CWContextConfiguration& configuration, const char* reportPath);
void CWUserLoggingInitStorages();

void CWUserLoggingRecordKeyValue(const std::optional<std::string>& key, const std::optional<std::string>& value,
    const CWKeyValueStorage* storage, uint32_t* counter);
void CWUserLoggingWriteKeyValue(const std::string& key, const std::optional<std::string>& value,
    const CWKeyValueStorage* storage, uint32_t* counter);
// The current set: the compacted file, then the incremental changes in order.
CWKeyValues CWUserLoggingGetCompactedKVEntries(const CWKeyValueStorage* storage, bool decode);
void CWUserLoggingCompactKVEntries(const CWKeyValueStorage* storage);

// Appends one record to a pair, then checks on the logging queue whether it swaps.
void CWUserLoggingAppendToABStorage(
    const CWABStorage* storage, std::atomic<const char*>* currentFile, const CWRecordWriter& writer);
void CWUserLoggingWriteAndCheckABFiles(
    const CWABStorage* storage, std::atomic<const char*>* currentFile, const CWRecordWriter& writer);
void CWUserLoggingCheckAndSwapABFiles(const CWABStorage* storage, std::atomic<const char*>* currentFile, uint64_t size);

void CWLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
void CWLogv(const char* format, va_list arguments) __attribute__((format(printf, 1, 0)));
// The same, and the line also goes to the kit's system log.
void CWNSLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
void CWNSLogv(const char* format, va_list arguments) __attribute__((format(printf, 1, 0)));

void CWUserLoggingRecordError(const CWError& error, const std::map<std::string, std::string>& additionalInfo);

// Runs inside compaction once the new file is complete and before it replaces
// the old one; the crash tests end the process there.
void CWUserLoggingSetCompactionHook(std::function<void()> hook);
