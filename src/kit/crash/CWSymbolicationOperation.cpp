#include "kit/crash/CWSymbolicationOperation.h"

CWSymbolicationOperation::CWSymbolicationOperation(std::shared_ptr<const CWSymbolResolver> symbolResolver)
    : symbolResolver_(std::move(symbolResolver))
{
}

void CWSymbolicationOperation::main()
{
    if (!symbolResolver_) {
        return;
    }
    enumerateFramesWithBlock([this](CWStackFrame& frame) { symbolResolver_->updateStackFrame(frame); });
}
