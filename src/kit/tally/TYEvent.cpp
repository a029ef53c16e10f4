#include "kit/tally/TYEvent.h"

#include "kit/support/KBClock.h"
#include "kit/support/KBDigest.h"

TYEvent::TYEvent()
    : timestamp_(KBClock::shared()->wallSeconds())
    , identifier_(KBCreateUUIDString())
{
}

std::string TYEvent::name() const
{
    return "unknown";
}

nlohmann::ordered_json TYEvent::dictionaryRepresentation() const
{
    return nlohmann::ordered_json::object();
}

bool TYEvent::triggersFlush() const
{
    return false;
}

double TYEvent::timestamp() const
{
    return timestamp_;
}

const std::string& TYEvent::identifier() const
{
    return identifier_;
}

std::string TYEvent::description() const
{
    // Appended in order: "<" + a temporary inserts at its front, which GCC 12
    // at -O2 misreads as an overlapping copy (-Wrestrict).
    std::string text = "<";
    text.append(className()).append(": ").append(name()).append(">");
    return text;
}

std::string TYEvent::className() const
{
    return "TYEvent";
}
