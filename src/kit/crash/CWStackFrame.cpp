#include "kit/crash/CWStackFrame.h"

#include <cinttypes>
#include <cstdio>

std::shared_ptr<CWStackFrame> CWStackFrame::stackFrame()
{
    return std::make_shared<CWStackFrame>();
}

std::shared_ptr<CWStackFrame> CWStackFrame::stackFrameWithAddress(uint64_t address)
{
    auto frame = stackFrame();
    frame->address = address;
    return frame;
}

std::shared_ptr<CWStackFrame> CWStackFrame::stackFrameWithSymbol(const std::string& symbol)
{
    auto frame = stackFrame();
    frame->symbol = symbol;
    frame->rawSymbol = symbol;
    return frame;
}

std::string CWStackFrame::description() const
{
    const std::string shownSymbol = symbol.value_or("(null)");
    char head[64];
    if (fileName) {
        std::snprintf(head, sizeof head, "{[0x%" PRIx64 "] ", address);
        return head + *fileName + " - " + shownSymbol + ":" + std::to_string(lineNumber) + "}";
    }
    // The line number after "+" is kept as it always was: this text is for debugging only.
    std::snprintf(head, sizeof head, "{[0x%" PRIx64 " + %u] ", address, lineNumber);
    return head + shownSymbol + "}";
}
