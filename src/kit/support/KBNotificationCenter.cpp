#include "kit/support/KBNotificationCenter.h"

#include <algorithm>

KBNotificationCenter& KBNotificationCenter::defaultCenter()
{
    static auto* center = new KBNotificationCenter;
    return *center;
}

KBNotificationCenter::Token KBNotificationCenter::addObserver(
    const std::string& name, const void* sender, Observer observer)
{
    auto entry = std::make_shared<Entry>();
    entry->name = name;
    entry->sender = sender;
    entry->observer = std::move(observer);
    std::lock_guard lock(mutex_);
    entry->token = nextToken_++;
    entries_.push_back(entry);
    return entry->token;
}

void KBNotificationCenter::removeObserver(Token token)
{
    std::lock_guard lock(mutex_);
    auto found = std::find_if(entries_.begin(), entries_.end(),
        [token](const std::shared_ptr<Entry>& entry) { return entry->token == token; });
    if (found != entries_.end()) {
        (*found)->active.store(false);
        entries_.erase(found);
    }
}

void KBNotificationCenter::post(const std::string& name, const void* object, nlohmann::json userInfo)
{
    std::vector<std::shared_ptr<Entry>> receivers;
    {
        std::lock_guard lock(mutex_);
        for (const auto& entry : entries_) {
            if (entry->name == name && (entry->sender == nullptr || entry->sender == object)) {
                receivers.push_back(entry);
            }
        }
    }
    const KBNotification notification{name, object, std::move(userInfo)};
    // Delivered unlocked, so observers may add, remove and post themselves.
    for (const auto& entry : receivers) {
        if (entry->active.load()) {
            entry->observer(notification);
        }
    }
}
