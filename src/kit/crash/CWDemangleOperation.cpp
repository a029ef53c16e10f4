#include "kit/crash/CWDemangleOperation.h"

#include <cxxabi.h>

#include <cstdlib>
#include <cstring>
#include <memory>

std::optional<std::string> CWDemangleOperation::demangleSymbol(const char* symbol)
{
    if (symbol == nullptr) {
        return std::nullopt;
    }
    if (std::strncmp(symbol, "_Z", 2) == 0) {
        return demangleCppSymbol(symbol);
    }
    if (std::strncmp(symbol, "__Z", 3) == 0) {
        return demangleBlockInvokeCppSymbol(symbol);
    }
    if (std::strncmp(symbol, "_T", 2) == 0) {
        return demangleSwiftSymbol(symbol);
    }
    return std::nullopt;
}

std::optional<std::string> CWDemangleOperation::demangleCppSymbol(const char* symbol)
{
    int status = 0;
    const std::unique_ptr<char, decltype(&std::free)> demangled(
        abi::__cxa_demangle(symbol, nullptr, nullptr, &status), &std::free);
    if (status != 0 || !demangled) {
        return std::nullopt;
    }
    return std::string(demangled.get());
}

std::optional<std::string> CWDemangleOperation::demangleBlockInvokeCppSymbol(const char* symbol)
{
    const std::string text(symbol);
    const auto tail = text.rfind("_block_invoke");
    if (tail == std::string::npos || tail < 5) {
        return std::nullopt;
    }
    // From index 1: the block form carries one leading underscore more.
    const auto function = demangleSymbol(text.substr(1, tail - 1).c_str());
    if (!function) {
        return std::nullopt;
    }
    return *function + text.substr(tail);
}

std::optional<std::string> CWDemangleOperation::demangleSwiftSymbol(const char* symbol)
{
    (void)symbol;
    return std::nullopt;
}

void CWDemangleOperation::main()
{
    enumerateFramesWithBlock([](CWStackFrame& frame) {
        if (!frame.rawSymbol) {
            return;
        }
        if (auto demangled = demangleSymbol(frame.rawSymbol->c_str())) {
            frame.symbol = std::move(*demangled);
        }
    });
}
