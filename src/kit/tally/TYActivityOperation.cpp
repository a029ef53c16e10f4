#include "kit/tally/TYActivityOperation.h"

std::shared_ptr<TYActivityOperation> TYActivityOperation::operationByStartingActivityName(
    const std::string& name, uint64_t options)
{
    auto operation = std::make_shared<TYActivityOperation>();
    operation->activity_ = TYActivity::beginActivity(name, options);
    return operation;
}

const std::shared_ptr<TYActivity>& TYActivityOperation::activity() const
{
    return activity_;
}

void TYActivityOperation::main()
{
    if (activity_) {
        activity_->end();
    }
}
