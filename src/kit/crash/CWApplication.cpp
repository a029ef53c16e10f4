#include "kit/crash/CWApplication.h"

#include "kit/core/KBMainBundle.h"
#include "kit/crash/crashpath/CWSDKLog.h"

std::optional<std::string> CWApplication::extensionPointIdentifier()
{
    const auto info = KBMainBundle::infoDictionary();
    if (!info || !info->is_object() || !info->contains("NSExtension")) {
        return std::nullopt;
    }
    const nlohmann::json& extension = info->at("NSExtension");
    if (!extension.is_object()) {
        CWLOG_WARN("Error: NSExtension Info.plist entry is mal-formed\n");
        return std::nullopt;
    }
    const auto identifier = extension.find("NSExtensionPointIdentifier");
    if (identifier == extension.end() || !identifier->is_string()) {
        CWLOG_WARN("Error: NSExtensionPointIdentifier Info.plist entry is mal-formed\n");
        return std::nullopt;
    }
    return identifier->get<std::string>();
}

bool CWApplication::isExtension()
{
    return extensionPointIdentifier().has_value();
}
