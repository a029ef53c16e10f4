#pragma once

#include "kit/tally/TYAttributeDictionary.h"
#include "kit/tally/TYEvent.h"

#include <optional>

// One of the kit's named events (sign-up, purchase, ...): its own attributes
// beside the caller's. Absent texts, flags and prices add no attribute;
// numbers (score, rating, item count) are JSON values where null is absent.
class TYPredefinedEvent : public TYEvent {
public:
    using Text = std::optional<std::string>;
    using Json = nlohmann::ordered_json;

    static std::shared_ptr<TYPredefinedEvent> signUpEventWithMethod(
        const Text& method, std::optional<bool> success, const Json& customAttributes);
    static std::shared_ptr<TYPredefinedEvent> loginEventWithMethod(
        const Text& method, std::optional<bool> success, const Json& customAttributes);
    static std::shared_ptr<TYPredefinedEvent> shareEventWithMethod(const Text& method, const Text& contentName,
        const Text& contentType, const Text& contentId, const Json& customAttributes);
    static std::shared_ptr<TYPredefinedEvent> inviteEventWithMethod(const Text& method, const Json& customAttributes);
    static std::shared_ptr<TYPredefinedEvent> purchaseEventWithPrice(const std::optional<TYDecimal>& price,
        const Text& currency, std::optional<bool> success, const Text& itemName, const Text& itemType,
        const Text& itemId, const Json& customAttributes);
    static std::shared_ptr<TYPredefinedEvent> levelStartEventWithLevelName(
        const Text& levelName, const Json& customAttributes);
    static std::shared_ptr<TYPredefinedEvent> levelEndEventWithLevelName(
        const Text& levelName, const Json& score, std::optional<bool> success, const Json& customAttributes);
    static std::shared_ptr<TYPredefinedEvent> addToCartEventWithPrice(const std::optional<TYDecimal>& price,
        const Text& currency, const Text& itemName, const Text& itemType, const Text& itemId,
        const Json& customAttributes);
    static std::shared_ptr<TYPredefinedEvent> startCheckoutEventWithPrice(const std::optional<TYDecimal>& price,
        const Text& currency, const Json& itemCount, const Json& customAttributes);
    static std::shared_ptr<TYPredefinedEvent> ratingEventWithRating(const Json& rating, const Text& contentName,
        const Text& contentType, const Text& contentId, const Json& customAttributes);
    static std::shared_ptr<TYPredefinedEvent> contentViewEventWithName(
        const Text& contentName, const Text& contentType, const Text& contentId, const Json& customAttributes);
    static std::shared_ptr<TYPredefinedEvent> searchEventWithQuery(const Text& query, const Json& customAttributes);

    TYPredefinedEvent(std::string predefinedEventName, const Json& customAttributes);

    std::string name() const override;
    nlohmann::ordered_json dictionaryRepresentation() const override;
    std::string description() const override;
    const std::string& predefinedEventName() const;
    void setPredefinedEventName(std::string name);
    const TYAttributeDictionary& customAttributes() const;
    void setCustomAttributes(TYAttributeDictionary attributes);
    const TYAttributeDictionary& predefinedAttributes() const;
    void setPredefinedAttributes(TYAttributeDictionary attributes);

protected:
    std::string className() const override;

private:
    void addText(const Text& value, const std::string& key);

    std::string predefinedEventName_;
    TYAttributeDictionary customAttributes_;
    TYAttributeDictionary predefinedAttributes_;
};
