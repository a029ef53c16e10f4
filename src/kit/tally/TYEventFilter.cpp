#include "kit/tally/TYEventFilter.h"

#include "kit/tally/TYText.h"

const std::set<std::string>& TYEventFilter::sampledEventNames()
{
    static const std::set<std::string> names = {
        "app_launched",
        "app_terminated",
        "app_crashed",
        "app_memory_warning",
        "app_entered_background",
        "app_entered_foreground",
        "app_became_inactive",
        "app_became_active",
    };
    return names;
}

bool TYEventFilter::shouldDiscardEvent(const TYEventPtr& event, const std::optional<std::string>& betaToken,
    const std::optional<std::string>& installationID, int64_t factor) const
{
    if (!event) {
        return true;
    }
    if (betaToken) {
        return false;
    }
    if (!samplingEnabledForEventType(event->name())) {
        return false;
    }
    return shouldDiscardEventWithInstallationID(installationID, factor);
}

bool TYEventFilter::samplingEnabledForEventType(const std::string& eventName) const
{
    return sampledEventNames().count(eventName) != 0;
}

bool TYEventFilter::shouldDiscardEventWithInstallationID(
    const std::optional<std::string>& installationID, int64_t factor) const
{
    if (!installationID || factor < 2) {
        return false;
    }
    const int64_t hash = javaHashCodeForString(*installationID);
    return hash % factor != 0;
}

int32_t TYEventFilter::javaHashCodeForString(const std::string& text)
{
    return TYText::javaHashCode(text);
}
