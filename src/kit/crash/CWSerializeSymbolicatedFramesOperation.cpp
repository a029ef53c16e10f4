#include "kit/crash/CWSerializeSymbolicatedFramesOperation.h"

#include "kit/crash/crashpath/CWFile.h"
#include "kit/support/KBLog.h"

namespace {

const char* orNull(const std::optional<std::string>& text)
{
    return text ? text->c_str() : nullptr;
}

bool writeFrame(CWFile* file, const CWStackFrame& frame)
{
    bool written = CWFileWriteObjectOpen(file) && CWFileWriteHashString(file, "symbol", orNull(frame.symbol));
    // The raw symbol only where it tells something the symbol does not.
    if (frame.rawSymbol != frame.symbol || !frame.symbol) {
        written = written && CWFileWriteHashString(file, "raw_symbol", orNull(frame.rawSymbol));
    }
    written = written && CWFileWriteHashUnsigned(file, "offset", frame.offset)
        && CWFileWriteHashString(file, "library", orNull(frame.library));
    // Source file and line where the library's line tables told them.
    if (frame.fileName) {
        written = written && CWFileWriteHashString(file, "file", frame.fileName->c_str())
            && CWFileWriteHashUnsigned(file, "line", frame.lineNumber);
    }
    return written && CWFileWriteObjectClose(file);
}

} // namespace

CWSerializeSymbolicatedFramesOperation::CWSerializeSymbolicatedFramesOperation(std::string outputPath)
    : outputPath_(std::move(outputPath))
{
}

void CWSerializeSymbolicatedFramesOperation::main()
{
    CWFile file;
    if (!CWFileInitWithPathMode(&file, outputPath_.c_str(), false, true)) {
        KBLog::info("[Crashwatch:Crash:Symbolication] Failed to create output file");
        return;
    }
    CWFileWriteRecordStart(&file, "threads");
    CWFileWriteArrayOpen(&file);
    if (const auto threads = threadArray()) {
        for (const auto& thread : *threads) {
            CWFileWriteArrayOpen(&file);
            for (const CWStackFramePtr& frame : thread) {
                writeFrame(&file, frame ? *frame : CWStackFrame());
            }
            CWFileWriteArrayClose(&file);
        }
    }
    CWFileWriteArrayClose(&file);
    CWFileWriteObjectClose(&file);
    CWFileWriteLineEnd(&file);
    CWFileClose(&file);
}
