#include "kit/tally/TYAttributeDictionary.h"

#include "kit/tally/TYLogger.h"
#include "kit/tally/TYText.h"

#include <cmath>

namespace {

std::string describe(const nlohmann::ordered_json& value)
{
    if (value.is_string()) {
        return value.get<std::string>();
    }
    return value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

} // namespace

TYAttributeDictionary::TYAttributeDictionary(const nlohmann::ordered_json& dictionary)
{
    if (!dictionary.is_object()) {
        return;
    }
    for (const auto& [key, value] : dictionary.items()) {
        addAttribute(value, key);
    }
}

void TYAttributeDictionary::addAttribute(const nlohmann::ordered_json& value, const std::optional<std::string>& key)
{
    if (value.is_null() || !key) {
        return;
    }
    if (rawDictionary_.size() >= kMaximumEntries) {
        TYLogger::printAlways(
            "[Tally] Maximum number of Event attributes exceeded. Ignoring entry " + *key + ":" + describe(value));
        return;
    }
    if (!validAttributeValue(value)) {
        TYLogger::printAlways("[Tally] Event attribute values must be of type NSString or NSNumber. Ignoring entry "
            + *key + ":" + describe(value));
        return;
    }
    // The value is cut before the key, so its message comes first.
    const nlohmann::ordered_json serialized = serializeAttributeValue(value);
    const std::string cutKey = truncateString(*key);
    if (serialized.is_null()) {
        rawDictionary_.erase(cutKey);
    } else {
        rawDictionary_[cutKey] = serialized;
    }
}

void TYAttributeDictionary::addBooleanAttribute(std::optional<bool> value, const std::optional<std::string>& key)
{
    const nlohmann::ordered_json serialized = serializeSuccess(value);
    addAttribute(serialized, key ? std::optional<std::string>(truncateString(*key)) : std::nullopt);
}

void TYAttributeDictionary::addPriceAttribute(
    const std::optional<TYDecimal>& price, const std::optional<std::string>& key)
{
    const nlohmann::ordered_json micros = serializePriceToMicros(price);
    addAttribute(micros, key ? std::optional<std::string>(truncateString(*key)) : std::nullopt);
}

bool TYAttributeDictionary::validAttributeValue(const nlohmann::ordered_json& value)
{
    return value.is_string() || value.is_number() || value.is_boolean();
}

nlohmann::ordered_json TYAttributeDictionary::serializeAttributeValue(const nlohmann::ordered_json& value)
{
    if (value.is_string()) {
        return truncateString(value.get<std::string>());
    }
    if (value.is_number() || value.is_boolean()) {
        return serializeNumber(value);
    }
    return nullptr;
}

std::string TYAttributeDictionary::truncateString(const std::string& text)
{
    if (TYText::utf16Length(text) <= kMaximumLength) {
        return text;
    }
    TYLogger::printAlways("[Tally] Maximum length for an Event attributes exceeded. Truncating to "
        + std::to_string(kMaximumLength) + " characters.");
    return TYText::truncatedToUtf16Units(text, kMaximumLength);
}

nlohmann::ordered_json TYAttributeDictionary::serializeSuccess(std::optional<bool> success)
{
    if (!success) {
        return nullptr;
    }
    return *success ? "true" : "false";
}

nlohmann::ordered_json TYAttributeDictionary::serializePriceToMicros(const std::optional<TYDecimal>& price)
{
    if (!price) {
        return nullptr;
    }
    const std::optional<int64_t> micros = price->micros();
    if (!micros) {
        TYLogger::printAlways(
            "[Tally] Maximum value for a price attribute exceeded. Ignoring price attribute with value: "
            + price->description());
        return nullptr;
    }
    return *micros;
}

nlohmann::ordered_json TYAttributeDictionary::serializeNumber(const nlohmann::ordered_json& number)
{
    // JSON holds neither not-a-number nor the infinities: such an entry would
    // make the whole event line impossible to write.
    if (number.is_number_float() && !std::isfinite(number.get<double>())) {
        return nullptr;
    }
    return number;
}

const nlohmann::ordered_json& TYAttributeDictionary::dictionaryRepresentation() const
{
    return rawDictionary_;
}

std::string TYAttributeDictionary::description() const
{
    return describe(rawDictionary_);
}
