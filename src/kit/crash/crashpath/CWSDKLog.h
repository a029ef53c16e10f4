#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <type_traits>

// The crash kit's own diagnostics, written to "sdk.log" in the current report
// folder. Safe inside a signal handler: no allocation, no lock, hand-made numbers,
// plain descriptor writes. Formats are checked against their arguments when the
// call is compiled: %s takes a C string, %d a signed and %u or %x an unsigned
// 32-bit number, %p a pointer or 64-bit address. Any other character after "%"
// is written as it stands and takes no argument.

enum CWLogLevel : int32_t {
    CWLogLevelDebug = 1,
    CWLogLevelInfo = 2,
    CWLogLevelWarn = 3,
    CWLogLevelError = 4,
};

struct CWLogArgument {
    char kind; // 's', 'd', 'u' or 'p'
    union {
        const char* text;
        int32_t signedValue;
        uint32_t unsignedValue;
        uint64_t address;
    };
};

template <typename T> consteval char CWLogKindOf()
{
    using U = std::remove_cvref_t<T>;
    if constexpr (std::is_same_v<U, const char*> || std::is_same_v<U, char*>) {
        return 's';
    } else if constexpr (std::is_pointer_v<U> || std::is_same_v<U, std::nullptr_t>) {
        return 'p';
    } else if constexpr (std::is_same_v<U, bool>) {
        return '?';
    } else if constexpr (std::is_integral_v<U> && std::is_signed_v<U> && sizeof(U) <= 4) {
        return 'd';
    } else if constexpr (std::is_integral_v<U> && std::is_unsigned_v<U> && sizeof(U) <= 4) {
        return 'u';
    } else if constexpr (std::is_same_v<U, uint64_t> || std::is_same_v<U, uintptr_t>) {
        return 'p';
    } else {
        return '?';
    }
}

// Reached only while compiling a format that does not fit its arguments.
void CWLogFormatDoesNotMatchArguments();

template <typename... Args> struct CWLogFormat {
    const char* text;

    template <size_t N>
    consteval CWLogFormat(const char (&format)[N])
        : text(format)
    {
        constexpr char kinds[] = {CWLogKindOf<Args>()..., 0};
        size_t taken = 0;
        for (size_t i = 0; i + 1 < N; ++i) {
            if (format[i] != '%' || i + 2 >= N) {
                continue;
            }
            const char conversion = format[++i];
            if (conversion != 's' && conversion != 'd' && conversion != 'u' && conversion != 'x' && conversion != 'p') {
                continue;
            }
            const char wanted = conversion == 'x' ? 'u' : conversion;
            if (taken >= sizeof...(Args) || kinds[taken] != wanted) {
                CWLogFormatDoesNotMatchArguments();
            }
            ++taken;
        }
        if (taken != sizeof...(Args)) {
            CWLogFormatDoesNotMatchArguments();
        }
    }
};

template <typename T> CWLogArgument CWLogArgumentOf(T value)
{
    CWLogArgument argument{};
    argument.kind = CWLogKindOf<T>();
    if constexpr (CWLogKindOf<T>() == 's') {
        argument.text = value;
    } else if constexpr (CWLogKindOf<T>() == 'd') {
        argument.signedValue = value;
    } else if constexpr (CWLogKindOf<T>() == 'u') {
        argument.unsignedValue = value;
    } else if constexpr (std::is_pointer_v<T>) {
        argument.address = reinterpret_cast<uintptr_t>(value);
    } else if constexpr (std::is_same_v<T, std::nullptr_t>) {
        argument.address = 0;
    } else {
        argument.address = value;
    }
    return argument;
}

// Writes one message when the crash context exists and `level` reaches the
// minimum level. Opens "sdk.log" on the first message.
void CWSDKLogWrite(int32_t level, const char* format, const CWLogArgument* arguments, size_t count);

template <typename... Args>
void CWSDKLog(int32_t level, CWLogFormat<std::type_identity_t<Args>...> format, Args... arguments)
{
    const CWLogArgument list[] = {CWLogArgumentOf(arguments)..., CWLogArgument{}};
    CWSDKLogWrite(level, format.text, list, sizeof...(Args));
}

// The level word, function and line that start every message.
#define CWLOG_DEBUG(format, ...)                                                                                       \
    CWSDKLog(CWLogLevelDebug, "DEBUG [%s:%d] " format, __func__, __LINE__ __VA_OPT__(, ) __VA_ARGS__)
#define CWLOG_INFO(format, ...)                                                                                        \
    CWSDKLog(CWLogLevelInfo, "INFO  [%s:%d] " format, __func__, __LINE__ __VA_OPT__(, ) __VA_ARGS__)
#define CWLOG_WARN(format, ...)                                                                                        \
    CWSDKLog(CWLogLevelWarn, "WARN  [%s:%d] " format, __func__, __LINE__ __VA_OPT__(, ) __VA_ARGS__)
#define CWLOG_ERROR(format, ...)                                                                                       \
    CWSDKLog(CWLogLevelError, "ERROR [%s:%d] " format, __func__, __LINE__ __VA_OPT__(, ) __VA_ARGS__)
