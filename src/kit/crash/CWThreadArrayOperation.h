#pragma once

#include <functional>
#include <memory>

#include "kit/crash/CWStackFrame.h"
#include "kit/support/KBOperation.h"

// A pass over the frames of every thread of one crash. The passes of a file
// share one thread array, each filling in more of its frames.
class CWThreadArrayOperation : public KBOperation {
public:
    std::shared_ptr<CWThreadArray> threadArray() const;
    void setThreadArray(std::shared_ptr<CWThreadArray> threadArray);

    // Threads in order, each thread's frames in order. A cancel skips the rest of
    // the thread being walked; the next thread is still walked.
    void enumerateFramesWithBlock(const std::function<void(CWStackFrame&)>& block) const;

private:
    std::shared_ptr<CWThreadArray> threadArray_;
};
