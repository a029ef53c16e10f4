#include "kit/tally/TYLifecycleEvent.h"

TYLifecycleEvent::TYLifecycleEvent(std::string name)
    : name_(std::move(name))
{
}

std::shared_ptr<TYLifecycleEvent> TYLifecycleEvent::eventWithNotification(const std::string& notificationName)
{
    return std::make_shared<TYLifecycleEvent>(nameFromNotification(notificationName));
}

std::shared_ptr<TYLifecycleEvent> TYLifecycleEvent::installEvent()
{
    return std::make_shared<TYLifecycleEvent>("app_installed");
}

std::shared_ptr<TYLifecycleEvent> TYLifecycleEvent::appLaunchedEvent()
{
    return std::make_shared<TYLifecycleEvent>("app_launched");
}

const std::map<std::string, std::string>& TYLifecycleEvent::notificationNameMap()
{
    static const std::map<std::string, std::string> map = {
        {"NSApplicationWillTerminateNotification", "app_terminated"},
        {"NSApplicationWillResignActiveNotification", "app_became_inactive"},
        {"NSApplicationDidBecomeActiveNotification", "app_became_active"},
    };
    return map;
}

std::string TYLifecycleEvent::nameFromNotification(const std::string& notificationName)
{
    const auto found = notificationNameMap().find(notificationName);
    return found == notificationNameMap().end() ? "unknown-notification" : found->second;
}

std::string TYLifecycleEvent::name() const
{
    return name_;
}

void TYLifecycleEvent::setName(std::string name)
{
    name_ = std::move(name);
}

nlohmann::ordered_json TYLifecycleEvent::dictionaryRepresentation() const
{
    return {{"eventId", identifier()}};
}

bool TYLifecycleEvent::triggersFlush() const
{
    return name_ == "app_became_inactive" || name_ == "app_became_active" || name_ == "app_installed";
}

std::string TYLifecycleEvent::className() const
{
    return "TYLifecycleEvent";
}
