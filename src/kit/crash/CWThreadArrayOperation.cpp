#include "kit/crash/CWThreadArrayOperation.h"

std::shared_ptr<CWThreadArray> CWThreadArrayOperation::threadArray() const
{
    return threadArray_;
}

void CWThreadArrayOperation::setThreadArray(std::shared_ptr<CWThreadArray> threadArray)
{
    threadArray_ = std::move(threadArray);
}

void CWThreadArrayOperation::enumerateFramesWithBlock(const std::function<void(CWStackFrame&)>& block) const
{
    if (!threadArray_) {
        return;
    }
    for (const auto& thread : *threadArray_) {
        for (const CWStackFramePtr& frame : thread) {
            if (frame) {
                block(*frame);
            }
            if (isCancelled()) {
                break;
            }
        }
    }
}
