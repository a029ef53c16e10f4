#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

// The record-file writer: one JSON object per line, written without allocation
// or locks (a buffered file allocates its 1000-byte buffer when it opens, so only
// user logging, off the crash path, opens files buffered).
struct CWFile {
    int32_t descriptor;
    int32_t depth;
    uint8_t needsComma;
    uint8_t buffered;
    char* buffer;
    uint64_t fill;
    uint64_t bytesWritten;
};

inline constexpr size_t CWFileBufferSize = 1000;
inline constexpr int CWFileWriteAttempts = 50;

// A write step of the retry loop: answers the count written or a negative value.
struct CWWriteBlock {
    ssize_t (*write)(void* context, const char* bytes, size_t length);
    void* context;
};

bool CWFileInit(CWFile* file, const char* path, bool buffered);
bool CWFileInitWithPathMode(CWFile* file, const char* path, bool append, bool buffered);
bool CWFileClose(CWFile* file);
bool CWFileCloseWithOffset(CWFile* file, uint64_t* offset);

bool CWFileLoopWithWriteBlock(const char* bytes, size_t length, CWWriteBlock block);
bool CWFileWriteWithRetries(int descriptor, const char* bytes, size_t length);
bool CWFileWriteBytes(CWFile* file, const char* bytes, size_t length);
bool CWFileFlush(CWFile* file);

// Digits of `value` in base 10 or 16, most significant first, zero-terminated.
// Answers the digit count; `out` holds at least 21 bytes.
size_t CWFileFormatUnsigned(uint64_t value, unsigned base, char* out);

bool CWFileWriteRecordStart(CWFile* file, const char* kind);
bool CWFileWriteObjectOpen(CWFile* file);
bool CWFileWriteObjectClose(CWFile* file);
bool CWFileWriteArrayOpen(CWFile* file);
bool CWFileWriteArrayClose(CWFile* file);
bool CWFileWriteLineEnd(CWFile* file);
bool CWFileWriteKey(CWFile* file, const char* key);

bool CWFileWriteHashUnsigned(CWFile* file, const char* key, uint64_t value);
bool CWFileWriteHashSigned(CWFile* file, const char* key, int64_t value);
bool CWFileWriteHashBool(CWFile* file, const char* key, bool value);
// A string value: null when missing; quotes, backslashes and control bytes
// escaped and invalid UTF-8 written as U+FFFD, so the line always parses.
bool CWFileWriteHashString(CWFile* file, const char* key, const char* value);
// The same, but nothing at all (not even the key) for a missing or empty string.
bool CWFileWriteHashStringIfNotEmpty(CWFile* file, const char* key, const char* value);
// Text that may hold anything: each byte as two lower-case hex digits; null when missing.
bool CWFileWriteHashHexString(CWFile* file, const char* key, const char* value);
bool CWFileWriteHashHexBytes(CWFile* file, const char* key, const void* bytes, size_t length);

bool CWFileWriteArrayUnsigned(CWFile* file, uint64_t value);
bool CWFileWriteArrayString(CWFile* file, const char* value);
bool CWFileWriteArrayHexString(CWFile* file, const char* value);

// Two lower-case hex digits per byte into `out`, which holds 2 * length + 1 bytes.
void CWHexEncodeBytes(const void* bytes, size_t length, char* out);

// Removes a file; a missing file counts as removed.
bool CWFileRemove(const char* path);
