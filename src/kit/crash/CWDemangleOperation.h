#pragma once

#include <optional>
#include <string>

#include "kit/crash/CWThreadArrayOperation.h"

// Turns each frame's mangled name into the readable one; the mangled form
// stays as the raw symbol.
class CWDemangleOperation : public CWThreadArrayOperation {
public:
    static std::optional<std::string> demangleSymbol(const char* symbol);
    static std::optional<std::string> demangleCppSymbol(const char* symbol);
    // "__Z...._block_invoke...": the function's name, then the tail as it stands.
    static std::optional<std::string> demangleBlockInvokeCppSymbol(const char* symbol);
    // No run-time demangler for these names exists here: they stay mangled.
    static std::optional<std::string> demangleSwiftSymbol(const char* symbol);

protected:
    void main() override;
};
