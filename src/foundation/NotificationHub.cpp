#include "foundation/NotificationHub.h"

#include <algorithm>

NotificationHub& NotificationHub::defaultHub()
{
    static NotificationHub hub;
    return hub;
}

NotificationHub::ObserverId NotificationHub::addObserver(const void* owner, const QString& name, Handler handler)
{
    auto observation = std::make_shared<Observation>();
    observation->owner = owner;
    observation->name = name;
    observation->handler = std::move(handler);
    std::lock_guard lock(mutex_);
    observation->id = nextId_++;
    observations_.push_back(observation);
    return observation->id;
}

void NotificationHub::removeObserver(ObserverId id)
{
    std::lock_guard lock(mutex_);
    auto it = std::remove_if(observations_.begin(), observations_.end(), [id](const auto& observation) {
        if (observation->id != id) {
            return false;
        }
        observation->active = false;
        return true;
    });
    observations_.erase(it, observations_.end());
}

void NotificationHub::removeObserver(const void* owner, const QString& name)
{
    std::lock_guard lock(mutex_);
    auto it = std::remove_if(observations_.begin(), observations_.end(), [&](const auto& observation) {
        if (observation->owner != owner || (!name.isNull() && observation->name != name)) {
            return false;
        }
        observation->active = false;
        return true;
    });
    observations_.erase(it, observations_.end());
}

void NotificationHub::post(const QString& name, const void* sender, const QVariantMap& userInfo)
{
    // Handlers run outside the lock so they can post, add and remove; the
    // snapshot keeps each observation alive and its flag says whether it was
    // removed in the meantime.
    std::vector<std::shared_ptr<Observation>> receivers;
    {
        std::lock_guard lock(mutex_);
        for (const auto& observation : observations_) {
            if (observation->name == name) {
                receivers.push_back(observation);
            }
        }
    }
    const Notification notification{name, sender, userInfo};
    for (const auto& observation : receivers) {
        if (observation->active) {
            observation->handler(notification);
        }
    }
}
