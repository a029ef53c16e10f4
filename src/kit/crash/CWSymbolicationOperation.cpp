#include "kit/crash/CWSymbolicationOperation.h"

CWSymbolicationOperation::CWSymbolicationOperation(std::shared_ptr<const CWSymbolResolver> symbolResolver)
    : symbolResolver_(std::move(symbolResolver))
{
}

void CWSymbolicationOperation::main()
{
    const auto threads = threadArray();
    if (!symbolResolver_ || !threads) {
        return;
    }
    // A stack's first frame is where its thread was; the others are return
    // addresses, just past their calls.
    for (const auto& thread : *threads) {
        for (size_t index = 0; index < thread.size() && !isCancelled(); ++index) {
            if (thread[index]) {
                symbolResolver_->updateStackFrame(*thread[index], index > 0);
            }
        }
    }
}
