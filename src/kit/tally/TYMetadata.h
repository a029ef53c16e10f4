#pragma once

#include "kit/tally/TYMetadataSerializable.h"

#include <optional>
#include <string>

class Kitbase;

// The facts of this run that head every log it writes, gathered once.
class TYMetadata : public TYMetadataSerializable {
public:
    static constexpr const char* kGenerator = "Tally Linux SDK/1.3.4";

    TYMetadata(Kitbase& kitbase, const std::optional<std::string>& betaToken);

    // "2:<token>" gives the token; anything else nothing.
    static std::optional<std::string> unwrapBetaToken(const std::optional<std::string>& token);
    static std::optional<std::string> identifierForAdvertising();
    static bool advertisingSupportFrameworkLinked();
    static bool trackingForAdvertisingEnabled();

    std::string eventName() const override;
    std::optional<nlohmann::ordered_json> dictionaryRepresentationWithStartTime(uint64_t startTime) const override;
    uint32_t platformCode() const;

    const std::optional<std::string>& APIKey() const;
    const std::optional<std::string>& betaToken() const;
    const std::optional<std::string>& installationId() const;
    const std::string& platform() const;

private:
    std::optional<std::string> APIKey_;
    std::optional<std::string> betaToken_;
    std::optional<std::string> buildVersion_;
    std::optional<std::string> bundleIdentifier_;
    std::optional<std::string> displayVersion_;
    std::optional<std::string> executionIdentifier_;
    std::optional<std::string> hostModel_;
    std::optional<std::string> installationId_;
    std::optional<std::string> instanceIdentifier_;
    bool isJailbroken_ = false;
    std::string locale_;
    uint32_t numberOfCores_ = 0;
    std::optional<std::string> OSBuildVersion_;
    std::string OSDisplayVersion_;
    std::string platform_ = "Linux";
};
