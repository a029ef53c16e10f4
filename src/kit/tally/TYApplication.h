#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

// The host application's information dictionary (its app-info), read for its
// versions and to tell an application from an application extension.
class TYApplication {
public:
    static TYApplication hostApplication();
    explicit TYApplication(nlohmann::json infoPlistDict);

    std::optional<std::string> bundleIdentifier() const;
    std::optional<std::string> bundleVersion() const;
    std::optional<std::string> shortVersionString() const;
    // The "NSExtension" entry; a present entry that is not an object prints an
    // error and counts as absent.
    std::optional<nlohmann::json> extensionDefinitionDictionary() const;
    std::optional<std::string> extensionPointIdentifier() const;
    bool isExtension() const;
    const nlohmann::json& infoPlistDict() const;

private:
    std::optional<std::string> stringEntry(const char* key) const;

    nlohmann::json infoPlistDict_;
};
