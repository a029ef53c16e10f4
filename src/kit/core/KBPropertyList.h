#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

// XML property lists for the kit's small stores, read and written through
// libplist. Values map to JSON: dictionaries, arrays, strings, booleans,
// integers and reals (dates and data are not kept by the kit).
class KBPropertyList {
public:
    static std::string toXml(const nlohmann::json& value);
    // The value in the text; nothing when it is not a property list.
    static std::optional<nlohmann::json> fromXml(const std::string& text);
};
