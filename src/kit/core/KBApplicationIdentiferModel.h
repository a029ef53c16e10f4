#pragma once

#include "kit/core/KBIcon.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

struct KBSDKVersion {
    uint32_t major = 0;
    uint32_t minor = 0;
    uint32_t bugfix = 0;
};

// Who the application is: its bundle identifier, the UUID of each slice of
// its executable (one on Linux: the executable's build-id), the build
// instance identifier over them, and its icon.
class KBApplicationIdentiferModel {
public:
    // The model of the running executable; nothing when the executable
    // cannot be read or carries no build-id.
    static std::shared_ptr<KBApplicationIdentiferModel> make(const std::string& installID);
    // The model of the given slices (architecture name to UUID).
    static std::shared_ptr<KBApplicationIdentiferModel> makeWithSlices(
        const std::string& installID, std::map<std::string, std::string> slices);

    std::string builtSDKString() const;
    std::string minimumSDKString() const;

    const std::map<std::string, std::string>& architectureUUIDMap() const;
    const std::string& installID() const;
    const std::optional<KBIcon>& icon() const;
    const std::optional<std::string>& bundleIdentifier() const;
    const std::string& instanceIdentifier() const;
    KBSDKVersion builtSDK() const;
    KBSDKVersion minimumSDK() const;

    KBApplicationIdentiferModel(const std::string& installID, std::map<std::string, std::string> slices);

private:
    void computeInstanceIdentifier();

    std::map<std::string, std::string> architectureUUIDMap_;
    std::string installID_;
    std::optional<KBIcon> icon_;
    std::optional<std::string> bundleIdentifier_;
    std::string instanceIdentifier_;
    // ELF carries no minimum or built system version.
    KBSDKVersion builtSDK_;
    KBSDKVersion minimumSDK_;
};
