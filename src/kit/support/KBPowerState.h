#pragma once

#include "kit/support/KBSystemBus.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

// The desktop's power state as power-profiles-daemon tells it on the system
// bus: the machine saves power when the active profile is "power-saver", and
// runs hot when the performance profile is degraded (PerformanceDegraded not
// empty). Both the current and the legacy name of the service are asked. The
// state follows the service's property changes and its coming and going;
// observers hear of every change on the bus thread and must only hand work on.
class KBPowerState {
public:
    using Observer = std::function<void()>;

    explicit KBPowerState(std::optional<std::string> busAddress = std::nullopt);
    ~KBPowerState();
    KBPowerState(const KBPowerState&) = delete;
    KBPowerState& operator=(const KBPowerState&) = delete;

    // The process's state, on the system bus, unless a test installed another.
    static std::shared_ptr<KBPowerState> shared();
    static void setShared(std::shared_ptr<KBPowerState> state);

    // Saving power or hot: uploads may wait longer.
    bool lowPowerMode() const;
    // True once the service answered: the state is then known and followed.
    bool supportsThermalNotifications() const;

    uint64_t addObserver(Observer observer);
    void removeObserver(uint64_t token);

    // Returns once every signal the bus has delivered so far is taken in.
    void sync();

    // Called on the bus thread.
    void takeSignal(struct DBusMessage* signal);
    void readProperties(struct DBusConnection* connection);

private:
    void update(std::optional<std::string> profile, std::optional<std::string> degraded, bool known);

    mutable std::mutex mutex_;
    std::string profile_;
    std::string degraded_;
    bool known_ = false;
    std::atomic<bool> lowPower_{false};
    std::atomic<bool> supported_{false};
    uint64_t nextObserver_ = 1;
    std::map<uint64_t, Observer> observers_;
    // Last, so that its thread stops before anything it calls goes.
    KBSystemBus bus_;
};
