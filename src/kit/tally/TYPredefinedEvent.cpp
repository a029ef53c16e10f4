#include "kit/tally/TYPredefinedEvent.h"

namespace {

using Event = std::shared_ptr<TYPredefinedEvent>;

Event make(const std::string& name, const nlohmann::ordered_json& customAttributes)
{
    return std::make_shared<TYPredefinedEvent>(name, customAttributes);
}

} // namespace

TYPredefinedEvent::TYPredefinedEvent(std::string predefinedEventName, const Json& customAttributes)
    : predefinedEventName_(std::move(predefinedEventName))
    , customAttributes_(customAttributes)
{
}

void TYPredefinedEvent::addText(const Text& value, const std::string& key)
{
    predefinedAttributes_.addAttribute(value ? Json(*value) : Json(), key);
}

Event TYPredefinedEvent::signUpEventWithMethod(const Text& method, std::optional<bool> success, const Json& custom)
{
    auto event = make("sign_up", custom);
    event->addText(method, "method");
    event->predefinedAttributes_.addBooleanAttribute(success, "success");
    return event;
}

Event TYPredefinedEvent::loginEventWithMethod(const Text& method, std::optional<bool> success, const Json& custom)
{
    auto event = make("login", custom);
    event->addText(method, "method");
    event->predefinedAttributes_.addBooleanAttribute(success, "success");
    return event;
}

Event TYPredefinedEvent::shareEventWithMethod(
    const Text& method, const Text& contentName, const Text& contentType, const Text& contentId, const Json& custom)
{
    auto event = make("share", custom);
    event->addText(method, "method");
    event->addText(contentName, "content_name");
    event->addText(contentType, "content_type");
    event->addText(contentId, "content_id");
    return event;
}

Event TYPredefinedEvent::inviteEventWithMethod(const Text& method, const Json& custom)
{
    auto event = make("invite", custom);
    event->addText(method, "method");
    return event;
}

Event TYPredefinedEvent::purchaseEventWithPrice(const std::optional<TYDecimal>& price, const Text& currency,
    std::optional<bool> success, const Text& itemName, const Text& itemType, const Text& itemId, const Json& custom)
{
    auto event = make("purchase", custom);
    event->predefinedAttributes_.addPriceAttribute(price, "item_price");
    event->addText(currency, "currency");
    event->predefinedAttributes_.addBooleanAttribute(success, "success");
    event->addText(itemName, "item_name");
    event->addText(itemType, "item_type");
    event->addText(itemId, "item_id");
    return event;
}

Event TYPredefinedEvent::levelStartEventWithLevelName(const Text& levelName, const Json& custom)
{
    auto event = make("level_start", custom);
    event->addText(levelName, "level_name");
    return event;
}

Event TYPredefinedEvent::levelEndEventWithLevelName(
    const Text& levelName, const Json& score, std::optional<bool> success, const Json& custom)
{
    auto event = make("level_end", custom);
    event->addText(levelName, "level_name");
    event->predefinedAttributes_.addAttribute(score, "score");
    event->predefinedAttributes_.addBooleanAttribute(success, "success");
    return event;
}

Event TYPredefinedEvent::addToCartEventWithPrice(const std::optional<TYDecimal>& price, const Text& currency,
    const Text& itemName, const Text& itemType, const Text& itemId, const Json& custom)
{
    auto event = make("add_to_cart", custom);
    event->predefinedAttributes_.addPriceAttribute(price, "item_price");
    event->addText(currency, "currency");
    event->addText(itemName, "item_name");
    event->addText(itemType, "item_type");
    event->addText(itemId, "item_id");
    return event;
}

Event TYPredefinedEvent::startCheckoutEventWithPrice(
    const std::optional<TYDecimal>& price, const Text& currency, const Json& itemCount, const Json& custom)
{
    auto event = make("start_checkout", custom);
    event->predefinedAttributes_.addPriceAttribute(price, "total_price");
    event->addText(currency, "currency");
    event->predefinedAttributes_.addAttribute(itemCount, "item_count");
    return event;
}

Event TYPredefinedEvent::ratingEventWithRating(
    const Json& rating, const Text& contentName, const Text& contentType, const Text& contentId, const Json& custom)
{
    auto event = make("rating", custom);
    event->predefinedAttributes_.addAttribute(rating, "rating");
    event->addText(contentName, "content_name");
    event->addText(contentType, "content_type");
    event->addText(contentId, "content_id");
    return event;
}

Event TYPredefinedEvent::contentViewEventWithName(
    const Text& contentName, const Text& contentType, const Text& contentId, const Json& custom)
{
    auto event = make("content_view", custom);
    event->addText(contentName, "content_name");
    event->addText(contentType, "content_type");
    event->addText(contentId, "content_id");
    return event;
}

Event TYPredefinedEvent::searchEventWithQuery(const Text& query, const Json& custom)
{
    auto event = make("search", custom);
    event->addText(query, "query");
    return event;
}

std::string TYPredefinedEvent::name() const
{
    return "predefined";
}

nlohmann::ordered_json TYPredefinedEvent::dictionaryRepresentation() const
{
    return {{"eventId", identifier()}, {"predefined_type", predefinedEventName_},
        {"custom_attributes", customAttributes_.dictionaryRepresentation()},
        {"predefined_attributes", predefinedAttributes_.dictionaryRepresentation()}};
}

std::string TYPredefinedEvent::description() const
{
    // Appended in order: "<" + a temporary inserts at its front, which GCC 12
    // at -O2 misreads as an overlapping copy (-Wrestrict).
    std::string text = "<";
    text.append(className()).append(": ").append(predefinedEventName_).append("\n");
    text.append(predefinedAttributes_.description()).append("\n");
    text.append(customAttributes_.description()).append(">");
    return text;
}

const std::string& TYPredefinedEvent::predefinedEventName() const
{
    return predefinedEventName_;
}

void TYPredefinedEvent::setPredefinedEventName(std::string name)
{
    predefinedEventName_ = std::move(name);
}

const TYAttributeDictionary& TYPredefinedEvent::customAttributes() const
{
    return customAttributes_;
}

void TYPredefinedEvent::setCustomAttributes(TYAttributeDictionary attributes)
{
    customAttributes_ = std::move(attributes);
}

const TYAttributeDictionary& TYPredefinedEvent::predefinedAttributes() const
{
    return predefinedAttributes_;
}

void TYPredefinedEvent::setPredefinedAttributes(TYAttributeDictionary attributes)
{
    predefinedAttributes_ = std::move(attributes);
}

std::string TYPredefinedEvent::className() const
{
    return "TYPredefinedEvent";
}
