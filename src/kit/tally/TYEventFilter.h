#pragma once

#include "kit/tally/TYEvent.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string>

// Samples installations: with a factor n, about one installation in n keeps
// its lifecycle events; beta testers and named events are always kept.
class TYEventFilter {
public:
    static const std::set<std::string>& sampledEventNames();

    bool shouldDiscardEvent(const TYEventPtr& event, const std::optional<std::string>& betaToken,
        const std::optional<std::string>& installationID, int64_t factor) const;
    bool samplingEnabledForEventType(const std::string& eventName) const;
    bool shouldDiscardEventWithInstallationID(const std::optional<std::string>& installationID, int64_t factor) const;
    static int32_t javaHashCodeForString(const std::string& text);
};
