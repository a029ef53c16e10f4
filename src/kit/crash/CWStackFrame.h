#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// One frame of a recorded stack, filled in by symbolication.
class CWStackFrame {
public:
    static std::shared_ptr<CWStackFrame> stackFrame();
    static std::shared_ptr<CWStackFrame> stackFrameWithAddress(uint64_t address);
    static std::shared_ptr<CWStackFrame> stackFrameWithSymbol(const std::string& symbol);

    uint64_t address = 0;
    std::optional<std::string> symbol;
    std::optional<std::string> rawSymbol;
    std::optional<std::string> library;
    std::optional<std::string> fileName;
    uint32_t lineNumber = 0;
    uint64_t offset = 0;

    // Debug text: "{[0x1f] file - symbol:12}" with a file name, else "{[0x1f + 12] symbol}".
    std::string description() const;
};

using CWStackFramePtr = std::shared_ptr<CWStackFrame>;
// One entry per thread, each the thread's frames in stack order.
using CWThreadArray = std::vector<std::vector<CWStackFramePtr>>;
