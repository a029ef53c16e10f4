#include "kit/crash/crashpath/CWSDKLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "kit/crash/crashpath/CWContext.h"
#include "kit/crash/crashpath/CWDescriptorReserve.h"
#include "kit/crash/crashpath/CWFile.h"

namespace {

void writeAll(int descriptor, const char* bytes, size_t length)
{
    while (length > 0) {
        const ssize_t written = write(descriptor, bytes, length);
        if (written <= 0) {
            return;
        }
        bytes += written;
        length -= static_cast<size_t>(written);
    }
}

void writeNumber(int descriptor, uint64_t value, unsigned base)
{
    char digits[21];
    writeAll(descriptor, digits, CWFileFormatUnsigned(value, base, digits));
}

// The descriptor of "sdk.log", opened by the first message. Of two threads
// opening at once, one keeps its descriptor and the other closes its own.
int logDescriptor(CWCrashState* state, const char* path)
{
    int descriptor = state->sdkLogDescriptor.load();
    if (descriptor != -1) {
        return descriptor;
    }
    const int opened = CWDescriptorReserveOpen(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (opened < 0) {
        return -1;
    }
    int expected = -1;
    if (state->sdkLogDescriptor.compare_exchange_strong(expected, opened)) {
        return opened;
    }
    close(opened);
    return expected;
}

void writeConversion(int descriptor, char conversion, const CWLogArgument& argument)
{
    switch (conversion) {
    case 's': {
        const char* text = argument.text != nullptr ? argument.text : "(null)";
        writeAll(descriptor, text, strlen(text));
        break;
    }
    case 'd':
        if (argument.signedValue < 0) {
            writeAll(descriptor, "-", 1);
        }
        writeNumber(descriptor,
            argument.signedValue < 0 ? 0 - static_cast<int64_t>(argument.signedValue)
                                     : static_cast<uint64_t>(argument.signedValue),
            10);
        break;
    case 'u':
        writeNumber(descriptor, argument.unsignedValue, 10);
        break;
    case 'x':
        writeNumber(descriptor, argument.unsignedValue, 16);
        break;
    default:
        writeAll(descriptor, "0x", 2);
        writeNumber(descriptor, argument.address, 16);
        break;
    }
}

} // namespace

void CWSDKLogWrite(int32_t level, const char* format, const CWLogArgument* arguments, size_t count)
{
    CWContext* context = CWContextGet();
    CWCrashState* state = CWCrashStateGet();
    if (context == nullptr || state == nullptr) {
        return;
    }
    const char* path = context->sdkLogPath;
    if (reinterpret_cast<uintptr_t>(path) < 4096 || state->minimumLogLevel.load() > level) {
        return;
    }
    const int descriptor = logDescriptor(state, path);
    if (descriptor < 0) {
        return;
    }
    size_t taken = 0;
    for (const char* cursor = format; *cursor != 0; ++cursor) {
        const char conversion = cursor[1];
        const bool converts
            = conversion == 's' || conversion == 'd' || conversion == 'u' || conversion == 'x' || conversion == 'p';
        if (*cursor == '%' && converts && taken < count) {
            writeConversion(descriptor, conversion, arguments[taken++]);
            ++cursor;
        } else if (*cursor == '%' && conversion != 0) {
            writeAll(descriptor, cursor, 2);
            ++cursor;
        } else {
            writeAll(descriptor, cursor, 1);
        }
    }
}
