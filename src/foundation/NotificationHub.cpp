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
    removeMatching([id](const Observation& observation) { return observation.id == id; });
}

void NotificationHub::removeObserver(const void* owner, const QString& name)
{
    removeMatching([&](const Observation& observation) {
        return observation.owner == owner && (name.isNull() || observation.name == name);
    });
}

void NotificationHub::removeMatching(const std::function<bool(const Observation&)>& matches)
{
    std::vector<std::shared_ptr<Observation>> removed;
    {
        std::lock_guard lock(mutex_);
        auto it = std::stable_partition(observations_.begin(), observations_.end(),
            [&](const auto& observation) { return !matches(*observation); });
        removed.assign(it, observations_.end());
        observations_.erase(it, observations_.end());
    }
    // Waiting happens outside the hub's lock so that running handlers can still
    // post, add and remove.
    for (const auto& observation : removed) {
        deactivate(*observation);
    }
}

void NotificationHub::deactivate(Observation& observation)
{
    const std::thread::id self = std::this_thread::get_id();
    std::unique_lock lock(observation.mutex);
    observation.active = false;
    // A delivery running on this very thread (the handler removing itself, or
    // an outer handler) cannot be waited for; every other one is.
    observation.finished.wait(lock, [&] {
        return std::all_of(
            observation.runningOn.begin(), observation.runningOn.end(), [&](std::thread::id id) { return id == self; });
    });
}

void NotificationHub::deliver(Observation& observation, const Notification& notification)
{
    const std::thread::id self = std::this_thread::get_id();
    {
        std::lock_guard lock(observation.mutex);
        if (!observation.active) {
            return;
        }
        observation.runningOn.push_back(self);
    }
    const auto done = [&] {
        std::lock_guard lock(observation.mutex);
        observation.runningOn.erase(std::find(observation.runningOn.begin(), observation.runningOn.end(), self));
        observation.finished.notify_all();
    };
    try {
        observation.handler(notification);
    } catch (...) {
        done();
        throw;
    }
    done();
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
        deliver(*observation, notification);
    }
}
