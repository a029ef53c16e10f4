#pragma once

#include "kit/tally/TYAttributeDictionary.h"
#include "kit/tally/TYEvent.h"

// An event the caller names, with its own attributes.
class TYCustomEvent : public TYEvent {
public:
    // A null dictionary gives no attributes.
    TYCustomEvent(std::string customEventName, const nlohmann::ordered_json& customAttributes);

    std::string name() const override;
    nlohmann::ordered_json dictionaryRepresentation() const override;
    std::string description() const override;
    const std::string& customEventName() const;
    void setCustomEventName(std::string name);
    const TYAttributeDictionary& customAttributes() const;
    void setCustomAttributes(TYAttributeDictionary attributes);

protected:
    std::string className() const override;

private:
    std::string customEventName_;
    TYAttributeDictionary customAttributes_;
};
