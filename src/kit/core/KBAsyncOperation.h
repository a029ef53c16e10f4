#pragma once

#include "kit/core/KBError.h"
#include "kit/support/KBOperation.h"

#include <functional>
#include <mutex>
#include <optional>
#include <string>

// An operation whose work ends after main() returns: it is executing from
// markStarted() until markDone(), and finishWithError() reports to its
// completion first. A cancelled one that is started finishes at once.
class KBAsyncOperation : public KBOperation {
public:
    using Completion = std::function<void(const std::optional<KBError>&)>;

    KBAsyncOperation();

    bool isConcurrent() const;
    bool isAsynchronous() const override;
    void start() override;

    void setAsyncCompletion(Completion completion);
    const std::string& lockName() const;
    void lock(const std::function<void()>& block);

    // True (and the operation done) when it was cancelled.
    bool checkForCancellation();
    void markStarted();
    void markDone();
    void finishWithError(const std::optional<KBError>& error);

private:
    std::recursive_mutex lock_;
    std::string lockName_;
    Completion asyncCompletion_;
};
