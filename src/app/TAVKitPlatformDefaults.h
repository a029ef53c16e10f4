#pragma once

#include "kit/core/KBPlatformUserDefaults.h"

class UserDefaults;

// The application's user defaults as the kit sees them, so that the kit can
// move what older versions kept there into its own store.
class TAVKitPlatformDefaults : public KBPlatformUserDefaults {
public:
    explicit TAVKitPlatformDefaults(UserDefaults& defaults);

    // The stored (or registered) value as JSON; nothing for an unknown key.
    std::optional<nlohmann::json> objectForKey(const std::string& key) override;
    void removeObjectForKey(const std::string& key) override;
    bool synchronize() override;

private:
    UserDefaults& defaults_;
};
