#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

// The application's information dictionary (its app-info), handed to the kit
// by the application at start-up; tests inject their own. Until then there is
// none.
class KBMainBundle {
public:
    static void setInfoDictionary(std::optional<nlohmann::json> dictionary);
    static std::optional<nlohmann::json> infoDictionary();
    // A string value of the dictionary's top level, when it is a string.
    static std::optional<std::string> stringForKey(const std::string& key);
    static std::optional<std::string> bundleIdentifier();
};
