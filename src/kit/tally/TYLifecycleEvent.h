#pragma once

#include "kit/tally/TYEvent.h"

#include <map>

// An event of the application's life: install, launch, activation changes
// and termination.
class TYLifecycleEvent : public TYEvent {
public:
    explicit TYLifecycleEvent(std::string name);

    static std::shared_ptr<TYLifecycleEvent> eventWithNotification(const std::string& notificationName);
    static std::shared_ptr<TYLifecycleEvent> installEvent();
    static std::shared_ptr<TYLifecycleEvent> appLaunchedEvent();
    static const std::map<std::string, std::string>& notificationNameMap();
    // "unknown-notification" for a name the map does not hold.
    static std::string nameFromNotification(const std::string& notificationName);

    std::string name() const override;
    void setName(std::string name);
    nlohmann::ordered_json dictionaryRepresentation() const override;
    bool triggersFlush() const override;

protected:
    std::string className() const override;

private:
    std::string name_;
};
