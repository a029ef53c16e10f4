#pragma once

#include <optional>
#include <string>

// What the crash kit asks the application's information dictionary about itself.
class CWApplication {
public:
    // The "NSExtension" dictionary's "NSExtensionPointIdentifier"; nothing for an
    // application, and nothing (with a log line) when either entry is mal-formed.
    static std::optional<std::string> extensionPointIdentifier();
    static bool isExtension();
};
