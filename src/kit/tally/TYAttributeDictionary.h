#pragma once

#include "kit/tally/TYDecimal.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

// The attributes an event carries: at most 21 entries, keys and text values
// cut to 100 UTF-16 units, values that are text, numbers or booleans. Each
// refused entry prints its reason whatever the kit's debug mode.
class TYAttributeDictionary {
public:
    static constexpr size_t kMaximumEntries = 21;
    static constexpr size_t kMaximumLength = 100;

    TYAttributeDictionary() = default;
    // Adds the entries in the object's order; anything but an object adds none.
    explicit TYAttributeDictionary(const nlohmann::ordered_json& dictionary);

    // A null value or an absent key is ignored without a message.
    void addAttribute(const nlohmann::ordered_json& value, const std::optional<std::string>& key);
    void addBooleanAttribute(std::optional<bool> value, const std::optional<std::string>& key);
    void addPriceAttribute(const std::optional<TYDecimal>& price, const std::optional<std::string>& key);

    static bool validAttributeValue(const nlohmann::ordered_json& value);
    // Null when the value cannot be stored.
    static nlohmann::ordered_json serializeAttributeValue(const nlohmann::ordered_json& value);
    static std::string truncateString(const std::string& text);
    static nlohmann::ordered_json serializeSuccess(std::optional<bool> success);
    static nlohmann::ordered_json serializePriceToMicros(const std::optional<TYDecimal>& price);
    static nlohmann::ordered_json serializeNumber(const nlohmann::ordered_json& number);

    const nlohmann::ordered_json& dictionaryRepresentation() const;
    std::string description() const;

private:
    nlohmann::ordered_json rawDictionary_ = nlohmann::ordered_json::object();
};
