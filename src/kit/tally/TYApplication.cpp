#include "kit/tally/TYApplication.h"

#include "kit/core/KBMainBundle.h"
#include "kit/tally/TYLogger.h"

TYApplication TYApplication::hostApplication()
{
    return TYApplication(KBMainBundle::infoDictionary().value_or(nlohmann::json::object()));
}

TYApplication::TYApplication(nlohmann::json infoPlistDict)
    : infoPlistDict_(std::move(infoPlistDict))
{
}

std::optional<std::string> TYApplication::stringEntry(const char* key) const
{
    if (!infoPlistDict_.is_object()) {
        return std::nullopt;
    }
    const auto found = infoPlistDict_.find(key);
    if (found == infoPlistDict_.end() || !found->is_string()) {
        return std::nullopt;
    }
    return found->get<std::string>();
}

std::optional<std::string> TYApplication::bundleIdentifier() const
{
    return stringEntry("CFBundleIdentifier");
}

std::optional<std::string> TYApplication::bundleVersion() const
{
    return stringEntry("CFBundleVersion");
}

std::optional<std::string> TYApplication::shortVersionString() const
{
    return stringEntry("CFBundleShortVersionString");
}

std::optional<nlohmann::json> TYApplication::extensionDefinitionDictionary() const
{
    if (!infoPlistDict_.is_object()) {
        return std::nullopt;
    }
    const auto found = infoPlistDict_.find("NSExtension");
    if (found == infoPlistDict_.end()) {
        return std::nullopt;
    }
    if (!found->is_object()) {
        TYLogger::printAlways("Error: NSExtension Info.plist entry is mal-formed " + found->dump() + "\n");
        return std::nullopt;
    }
    return *found;
}

std::optional<std::string> TYApplication::extensionPointIdentifier() const
{
    const auto definition = extensionDefinitionDictionary();
    if (!definition) {
        return std::nullopt;
    }
    const auto found = definition->find("NSExtensionPointIdentifier");
    if (found == definition->end() || !found->is_string()) {
        TYLogger::printAlways("Error: NSExtensionPointIdentifier Info.plist entry is mal-formed\n");
        return std::nullopt;
    }
    return found->get<std::string>();
}

bool TYApplication::isExtension() const
{
    return extensionPointIdentifier().has_value();
}

const nlohmann::json& TYApplication::infoPlistDict() const
{
    return infoPlistDict_;
}
