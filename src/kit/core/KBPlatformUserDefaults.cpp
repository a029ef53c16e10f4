#include "kit/core/KBPlatformUserDefaults.h"

std::optional<nlohmann::json> KBInMemoryUserDefaults::objectForKey(const std::string& key)
{
    std::lock_guard lock(mutex_);
    const auto found = values_.find(key);
    return found != values_.end() ? std::optional(found->second) : std::nullopt;
}

void KBInMemoryUserDefaults::removeObjectForKey(const std::string& key)
{
    std::lock_guard lock(mutex_);
    values_.erase(key);
}

bool KBInMemoryUserDefaults::synchronize()
{
    return true;
}

void KBInMemoryUserDefaults::setObject(const std::string& key, nlohmann::json value)
{
    std::lock_guard lock(mutex_);
    values_[key] = std::move(value);
}
