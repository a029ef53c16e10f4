#pragma once

#include "kit/core/KBIcon.h"

#include <functional>
#include <optional>
#include <string>

// Finds the application icon. The kit cannot draw, so the application may
// hand in a provider of PNG bytes; without one there is no icon.
class KBAppIconUtility {
public:
    using Provider = std::function<std::optional<std::string>()>;
    static void setIconProvider(Provider provider);

    // Made on first read.
    const std::optional<KBIcon>& applicationIcon();

private:
    static std::optional<KBIcon> fetchApplicationIcon();

    bool fetched_ = false;
    std::optional<KBIcon> icon_;
};
