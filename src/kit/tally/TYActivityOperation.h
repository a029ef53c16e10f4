#pragma once

#include "kit/support/KBOperation.h"
#include "kit/tally/TYActivity.h"

// An operation whose activity begins when it is made and ends when it runs:
// made to depend on a piece of work, the activity spans that work.
class TYActivityOperation : public KBOperation {
public:
    static std::shared_ptr<TYActivityOperation> operationByStartingActivityName(
        const std::string& name, uint64_t options);
    const std::shared_ptr<TYActivity>& activity() const;

protected:
    void main() override;

private:
    std::shared_ptr<TYActivity> activity_;
};
