#include "kit/tally/TYEvent.h"

#include "kit/support/KBClock.h"
#include "kit/support/KBDigest.h"

TYEvent::TYEvent() : timestamp_(KBClock::shared()->wallSeconds()), identifier_(KBCreateUUIDString())
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
    return "<" + className() + ": " + name() + ">";
}

std::string TYEvent::className() const
{
    return "TYEvent";
}
