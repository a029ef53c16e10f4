#include "kit/tally/TYCustomEvent.h"

TYCustomEvent::TYCustomEvent(std::string customEventName, const nlohmann::ordered_json& customAttributes)
    : customEventName_(std::move(customEventName))
    , customAttributes_(customAttributes)
{
}

std::string TYCustomEvent::name() const
{
    return "custom";
}

nlohmann::ordered_json TYCustomEvent::dictionaryRepresentation() const
{
    return {{"eventId", identifier()}, {"custom_type", customEventName_},
        {"custom_attributes", customAttributes_.dictionaryRepresentation()}};
}

std::string TYCustomEvent::description() const
{
    // Appended in order: "<" + a temporary inserts at its front, which GCC 12
    // at -O2 misreads as an overlapping copy (-Wrestrict).
    std::string text = "<";
    text.append(className()).append(": ").append(customEventName_).append("\n");
    text.append(customAttributes_.description()).append(">");
    return text;
}

const std::string& TYCustomEvent::customEventName() const
{
    return customEventName_;
}

void TYCustomEvent::setCustomEventName(std::string name)
{
    customEventName_ = std::move(name);
}

const TYAttributeDictionary& TYCustomEvent::customAttributes() const
{
    return customAttributes_;
}

void TYCustomEvent::setCustomAttributes(TYAttributeDictionary attributes)
{
    customAttributes_ = std::move(attributes);
}

std::string TYCustomEvent::className() const
{
    return "TYCustomEvent";
}
