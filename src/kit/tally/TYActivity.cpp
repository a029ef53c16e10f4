#include "kit/tally/TYActivity.h"

std::shared_ptr<TYActivity> TYActivity::beginActivity(
    const std::string& reason, uint64_t options, std::function<void()> expirationHandler)
{
    auto token = beginActivityIfAvailable(reason, options);
    uint64_t task = 0;
    if ((options
            & (KBProcessActivities::kSuddenTerminationDisabled | KBProcessActivities::kAutomaticTerminationDisabled))
        != 0) {
        task = beginBackgroundTaskWithName(reason, std::move(expirationHandler));
    }
    return std::make_shared<TYActivity>(std::move(token), options, reason, task);
}

void TYActivity::performActivity(const std::string& reason, uint64_t options, const std::function<void()>& block)
{
    auto activity = beginActivity(reason, options);
    block();
    activity->end();
}

std::optional<KBProcessActivities::Token> TYActivity::beginActivityIfAvailable(
    const std::string& reason, uint64_t options)
{
    return KBProcessActivities::begin(options, reason);
}

uint64_t TYActivity::beginBackgroundTaskWithName(const std::string&, std::function<void()>)
{
    return 0;
}

bool TYActivity::supportsBackgroundTasks()
{
    return false;
}

TYActivity::TYActivity(std::optional<KBProcessActivities::Token> token, uint64_t options, std::string reason,
    uint64_t backgroundTaskIdentifier)
    : processInfoToken_(std::move(token))
    , options_(options)
    , reason_(std::move(reason))
    , backgroundTaskIdentifier_(backgroundTaskIdentifier)
{
}

TYActivity::~TYActivity()
{
    end();
}

void TYActivity::end()
{
    std::optional<KBProcessActivities::Token> token;
    {
        std::lock_guard lock(mutex_);
        token.swap(processInfoToken_);
    }
    KBProcessActivities::end(token);
}

bool TYActivity::isActive() const
{
    std::lock_guard lock(mutex_);
    return processInfoToken_.has_value();
}

uint64_t TYActivity::options() const
{
    return options_;
}

const std::string& TYActivity::reason() const
{
    return reason_;
}

uint64_t TYActivity::backgroundTaskIdentifier() const
{
    return backgroundTaskIdentifier_;
}
