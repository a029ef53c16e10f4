#include "kit/crash/crashpath/CWFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "kit/crash/CWHeapFallback.h"
#include "kit/crash/crashpath/CWDescriptorReserve.h"
#include "kit/crash/crashpath/CWSDKLog.h"

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

bool writeText(CWFile* file, const char* text)
{
    return CWFileWriteBytes(file, text, strlen(text));
}

ssize_t writeToDescriptor(void* context, const char* bytes, size_t length)
{
    const int descriptor = *static_cast<int*>(context);
    errno = 0;
    const ssize_t written = write(descriptor, bytes, length);
    if (written < 0 && errno != EINTR) {
        CWLOG_ERROR("Failed to write: %s\n", strerrordesc_np(errno));
    }
    return written;
}

bool writeRaw(CWFile* file, const char* bytes, size_t length)
{
    if (!CWFileWriteWithRetries(file->descriptor, bytes, length)) {
        return false;
    }
    file->bytesWritten += length;
    return true;
}

// Length of the well-formed UTF-8 sequence at `text`, or 0 when it is not one.
size_t utf8SequenceLength(const unsigned char* text)
{
    const unsigned char lead = text[0];
    auto continuation = [](unsigned char byte) { return (byte & 0xC0) == 0x80; };
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return continuation(text[1]) ? 2 : 0;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        const unsigned char low = lead == 0xE0 ? 0xA0 : 0x80;
        const unsigned char high = lead == 0xED ? 0x9F : 0xBF;
        return text[1] >= low && text[1] <= high && continuation(text[2]) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const unsigned char low = lead == 0xF0 ? 0x90 : 0x80;
        const unsigned char high = lead == 0xF4 ? 0x8F : 0xBF;
        return text[1] >= low && text[1] <= high && continuation(text[2]) && continuation(text[3]) ? 4 : 0;
    }
    return 0;
}

// Gathers output in a small stack buffer and hands it to the file in pieces.
struct Chunk {
    CWFile* file;
    char bytes[128];
    size_t fill = 0;
    bool ok = true;

    void add(const char* text, size_t length)
    {
        if (fill + length > sizeof(bytes)) {
            flush();
        }
        memcpy(bytes + fill, text, length);
        fill += length;
    }
    void flush()
    {
        ok = ok && CWFileWriteBytes(file, bytes, fill);
        fill = 0;
    }
};

// Writes `text` as the inside of a JSON string.
bool writeEscaped(CWFile* file, const char* text)
{
    Chunk chunk{file, {}, 0, true};
    const auto* cursor = reinterpret_cast<const unsigned char*>(text);
    while (*cursor != 0) {
        const unsigned char byte = *cursor;
        if (byte == '"' || byte == '\\') {
            const char escaped[2] = {'\\', static_cast<char>(byte)};
            chunk.add(escaped, 2);
            ++cursor;
        } else if (byte < 0x20) {
            const char escaped[6] = {'\\', 'u', '0', '0', kHexDigits[byte >> 4], kHexDigits[byte & 0xF]};
            chunk.add(escaped, 6);
            ++cursor;
        } else if (const size_t length = utf8SequenceLength(cursor); length > 0) {
            chunk.add(reinterpret_cast<const char*>(cursor), length);
            cursor += length;
        } else {
            chunk.add("\xEF\xBF\xBD", 3);
            ++cursor;
        }
    }
    chunk.flush();
    return chunk.ok;
}

bool writeCommaIfNeeded(CWFile* file)
{
    return file->needsComma == 0 || writeText(file, ",");
}

bool openBracket(CWFile* file, const char* bracket)
{
    if (!writeCommaIfNeeded(file) || !writeText(file, bracket)) {
        return false;
    }
    ++file->depth;
    file->needsComma = 0;
    return true;
}

bool closeBracket(CWFile* file, const char* bracket)
{
    if (!writeText(file, bracket)) {
        return false;
    }
    if (file->depth > 0) {
        // A closed value is followed by a comma inside its parent; the record's
        // outermost object ends the line instead.
        const int32_t before = file->depth--;
        file->needsComma = before > 1 ? 1 : 0;
    }
    return true;
}

bool writeUnsignedDigits(CWFile* file, uint64_t value)
{
    char digits[21];
    const size_t count = CWFileFormatUnsigned(value, 10, digits);
    return CWFileWriteBytes(file, digits, count);
}

bool writeQuoted(CWFile* file, const char* value)
{
    return writeText(file, "\"") && writeEscaped(file, value) && writeText(file, "\"");
}

bool writeHexQuoted(CWFile* file, const void* bytes, size_t length)
{
    if (!writeText(file, "\"")) {
        return false;
    }
    const auto* cursor = static_cast<const unsigned char*>(bytes);
    char hex[129];
    while (length > 0) {
        const size_t part = length < 64 ? length : 64;
        CWHexEncodeBytes(cursor, part, hex);
        if (!CWFileWriteBytes(file, hex, part * 2)) {
            return false;
        }
        cursor += part;
        length -= part;
    }
    return writeText(file, "\"");
}

bool markValue(CWFile* file, bool written)
{
    if (written) {
        file->needsComma = 1;
    }
    return written;
}

} // namespace

bool CWFileInit(CWFile* file, const char* path, bool buffered)
{
    return CWFileInitWithPathMode(file, path, true, buffered);
}

bool CWFileInitWithPathMode(CWFile* file, const char* path, bool append, bool buffered)
{
    if (file == nullptr) {
        CWLOG_WARN("Error: file is null\n");
        return false;
    }
    memset(file, 0, sizeof(*file));
    file->descriptor = -1;
    if (path == nullptr) {
        CWLOG_WARN("Error: file descriptor invalid\n");
        return false;
    }
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
    const int descriptor = CWDescriptorReserveOpen(path, flags, 0644);
    if (descriptor < 0) {
        CWLOG_WARN("Error: Unable to open file %s\n", strerrordesc_np(errno));
        CWLOG_WARN("Error: file descriptor invalid\n");
        return false;
    }
    struct stat status;
    if (append && fstat(descriptor, &status) == 0) {
        file->bytesWritten = static_cast<uint64_t>(status.st_size);
    }
    if (buffered) {
        file->buffer = static_cast<char*>(CWHeapFallbackAllocate(CWFileBufferSize));
        if (file->buffer == nullptr) {
            close(descriptor);
            return false;
        }
        file->buffered = 1;
    }
    file->descriptor = descriptor;
    return true;
}

bool CWFileCloseWithOffset(CWFile* file, uint64_t* offset)
{
    if (file == nullptr || file->descriptor < 0) {
        return false;
    }
    if (file->buffered && file->fill > 0) {
        CWFileFlush(file);
    }
    if (close(file->descriptor) != 0) {
        CWLOG_WARN("Error: Unable to close file %s\n", strerrordesc_np(errno));
        return false;
    }
    if (offset != nullptr) {
        *offset = file->bytesWritten;
    }
    if (file->buffered) {
        CWHeapFallbackFree(file->buffer);
    }
    memset(file, 0, sizeof(*file));
    file->descriptor = -1;
    return true;
}

bool CWFileClose(CWFile* file)
{
    return CWFileCloseWithOffset(file, nullptr);
}

bool CWFileLoopWithWriteBlock(const char* bytes, size_t length, CWWriteBlock block)
{
    size_t remaining = length;
    for (int attempt = 0; attempt < CWFileWriteAttempts && remaining > 0; ++attempt) {
        const ssize_t written = block.write(block.context, bytes, remaining);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written > 0 && static_cast<size_t>(written) > remaining) {
            CWLOG_ERROR("Error: length doesn't make sense (%zd, %zu)\n");
            return false;
        }
        if (written < 1) {
            break;
        }
        bytes += written;
        remaining -= static_cast<size_t>(written);
    }
    if (remaining == 0) {
        return true;
    }
    CWLOG_ERROR("Error: exited write loop without success\n");
    return false;
}

bool CWFileWriteWithRetries(int descriptor, const char* bytes, size_t length)
{
    return CWFileLoopWithWriteBlock(bytes, length, CWWriteBlock{writeToDescriptor, &descriptor});
}

bool CWFileFlush(CWFile* file)
{
    if (file->fill == 0) {
        return true;
    }
    const bool ok = writeRaw(file, file->buffer, file->fill);
    file->fill = 0;
    return ok;
}

bool CWFileWriteBytes(CWFile* file, const char* bytes, size_t length)
{
    if (file == nullptr || file->descriptor < 0) {
        return false;
    }
    if (!file->buffered) {
        return writeRaw(file, bytes, length);
    }
    bool ok = true;
    // The buffer keeps a terminating zero after at most 999 bytes; a full buffer goes out at once.
    while (file->fill + length >= CWFileBufferSize - 1) {
        const size_t part = CWFileBufferSize - 1 - file->fill;
        memcpy(file->buffer + file->fill, bytes, part);
        file->fill += part;
        file->buffer[file->fill] = 0;
        ok = CWFileFlush(file) && ok;
        bytes += part;
        length -= part;
    }
    memcpy(file->buffer + file->fill, bytes, length);
    file->fill += length;
    file->buffer[file->fill] = 0;
    return ok;
}

size_t CWFileFormatUnsigned(uint64_t value, unsigned base, char* out)
{
    char reversed[21] = {};
    size_t count = 0;
    do {
        reversed[count++] = kHexDigits[value % base];
        value /= base;
    } while (value != 0 && count < 20);
    for (size_t i = 0; i < count; ++i) {
        out[i] = reversed[count - 1 - i];
    }
    out[count] = 0;
    return count;
}

bool CWFileWriteRecordStart(CWFile* file, const char* kind)
{
    return CWFileWriteObjectOpen(file) && CWFileWriteKey(file, kind);
}

bool CWFileWriteObjectOpen(CWFile* file)
{
    return openBracket(file, "{");
}

bool CWFileWriteObjectClose(CWFile* file)
{
    return closeBracket(file, "}");
}

bool CWFileWriteArrayOpen(CWFile* file)
{
    return openBracket(file, "[");
}

bool CWFileWriteArrayClose(CWFile* file)
{
    return closeBracket(file, "]");
}

bool CWFileWriteLineEnd(CWFile* file)
{
    return writeText(file, "\n");
}

bool CWFileWriteKey(CWFile* file, const char* key)
{
    if (!writeCommaIfNeeded(file)) {
        return false;
    }
    file->needsComma = 0;
    return writeText(file, "\"") && writeText(file, key) && writeText(file, "\":");
}

bool CWFileWriteHashUnsigned(CWFile* file, const char* key, uint64_t value)
{
    return markValue(file, CWFileWriteKey(file, key) && writeUnsignedDigits(file, value));
}

bool CWFileWriteHashSigned(CWFile* file, const char* key, int64_t value)
{
    if (!CWFileWriteKey(file, key)) {
        return false;
    }
    // The magnitude of INT64_MIN does not fit a signed value; take it unsigned.
    const uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    return markValue(file, (value >= 0 || writeText(file, "-")) && writeUnsignedDigits(file, magnitude));
}

bool CWFileWriteHashBool(CWFile* file, const char* key, bool value)
{
    return markValue(file, CWFileWriteKey(file, key) && writeText(file, value ? "true" : "false"));
}

bool CWFileWriteHashString(CWFile* file, const char* key, const char* value)
{
    if (!CWFileWriteKey(file, key)) {
        return false;
    }
    return markValue(file, value == nullptr ? writeText(file, "null") : writeQuoted(file, value));
}

bool CWFileWriteHashStringIfNotEmpty(CWFile* file, const char* key, const char* value)
{
    if (value == nullptr || value[0] == 0) {
        return true;
    }
    return CWFileWriteHashString(file, key, value);
}

bool CWFileWriteHashHexString(CWFile* file, const char* key, const char* value)
{
    if (value == nullptr) {
        return CWFileWriteHashString(file, key, nullptr);
    }
    return CWFileWriteHashHexBytes(file, key, value, strlen(value));
}

bool CWFileWriteHashHexBytes(CWFile* file, const char* key, const void* bytes, size_t length)
{
    return markValue(file, CWFileWriteKey(file, key) && writeHexQuoted(file, bytes, length));
}

bool CWFileWriteArrayUnsigned(CWFile* file, uint64_t value)
{
    return markValue(file, writeCommaIfNeeded(file) && writeUnsignedDigits(file, value));
}

bool CWFileWriteArrayString(CWFile* file, const char* value)
{
    if (!writeCommaIfNeeded(file)) {
        return false;
    }
    return markValue(file, value == nullptr ? writeText(file, "null") : writeQuoted(file, value));
}

bool CWFileWriteArrayHexString(CWFile* file, const char* value)
{
    if (!writeCommaIfNeeded(file)) {
        return false;
    }
    return markValue(file, value == nullptr ? writeText(file, "null") : writeHexQuoted(file, value, strlen(value)));
}

void CWHexEncodeBytes(const void* bytes, size_t length, char* out)
{
    const auto* cursor = static_cast<const unsigned char*>(bytes);
    for (size_t i = 0; i < length; ++i) {
        out[2 * i] = kHexDigits[cursor[i] >> 4];
        out[2 * i + 1] = kHexDigits[cursor[i] & 0xF];
    }
    out[2 * length] = 0;
}

bool CWFileRemove(const char* path)
{
    return unlink(path) == 0 || errno == ENOENT;
}
