#include "kit/core/KBAsyncOperation.h"

#include "kit/support/KBIdentifiers.h"

KBAsyncOperation::KBAsyncOperation()
    : lockName_(std::string(kb::kOperationLockPrefix) + ".KBAsyncOperation-lock")
{
}

bool KBAsyncOperation::isConcurrent() const
{
    return true;
}

bool KBAsyncOperation::isAsynchronous() const
{
    return true;
}

void KBAsyncOperation::start()
{
    if (isCancelled()) {
        markDone();
        return;
    }
    markStarted();
    main();
}

void KBAsyncOperation::setAsyncCompletion(Completion completion)
{
    std::lock_guard guard(lock_);
    asyncCompletion_ = std::move(completion);
}

const std::string& KBAsyncOperation::lockName() const
{
    return lockName_;
}

void KBAsyncOperation::lock(const std::function<void()>& block)
{
    std::lock_guard guard(lock_);
    block();
}

bool KBAsyncOperation::checkForCancellation()
{
    if (!isCancelled()) {
        return false;
    }
    markDone();
    return true;
}

void KBAsyncOperation::markStarted()
{
    std::lock_guard guard(lock_);
    markExecuting();
}

void KBAsyncOperation::markDone()
{
    std::lock_guard guard(lock_);
    finish();
}

void KBAsyncOperation::finishWithError(const std::optional<KBError>& error)
{
    Completion completion;
    {
        std::lock_guard guard(lock_);
        completion = asyncCompletion_;
    }
    if (completion) {
        completion(error);
    }
    markDone();
}
