#include "kit/support/KBProcessActivities.h"

#include <atomic>

namespace {

std::atomic<int> suddenDisabled{0};
std::atomic<int> automaticDisabled{0};

} // namespace

KBProcessActivities::Token KBProcessActivities::begin(uint64_t options, const std::string& reason)
{
    if ((options & kSuddenTerminationDisabled) != 0) {
        ++suddenDisabled;
    }
    if ((options & kAutomaticTerminationDisabled) != 0) {
        ++automaticDisabled;
    }
    return Token{options, reason};
}

void KBProcessActivities::end(const std::optional<Token>& token)
{
    if (!token) {
        return;
    }
    if ((token->options & kSuddenTerminationDisabled) != 0) {
        --suddenDisabled;
    }
    if ((token->options & kAutomaticTerminationDisabled) != 0) {
        --automaticDisabled;
    }
}

void KBProcessActivities::perform(uint64_t options, const std::string& reason, const std::function<void()>& block)
{
    const Token token = begin(options, reason);
    block();
    end(token);
}

int KBProcessActivities::suddenTerminationDisabledCount()
{
    return suddenDisabled.load();
}

int KBProcessActivities::automaticTerminationDisabledCount()
{
    return automaticDisabled.load();
}
