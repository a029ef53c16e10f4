#include "kit/core/KBAppIconUtility.h"

#include <mutex>

namespace {

std::mutex providerMutex;

KBAppIconUtility::Provider& provider()
{
    static KBAppIconUtility::Provider installed;
    return installed;
}

} // namespace

void KBAppIconUtility::setIconProvider(Provider newProvider)
{
    std::lock_guard lock(providerMutex);
    provider() = std::move(newProvider);
}

const std::optional<KBIcon>& KBAppIconUtility::applicationIcon()
{
    if (!fetched_) {
        icon_ = fetchApplicationIcon();
        fetched_ = true;
    }
    return icon_;
}

std::optional<KBIcon> KBAppIconUtility::fetchApplicationIcon()
{
    Provider current;
    {
        std::lock_guard lock(providerMutex);
        current = provider();
    }
    if (!current) {
        return std::nullopt;
    }
    const auto png = current();
    return png ? KBIcon::fromImage(*png) : std::nullopt;
}
