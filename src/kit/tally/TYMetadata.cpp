#include "kit/tally/TYMetadata.h"

#include "kit/core/KBApplicationFacts.h"
#include "kit/core/KBNetworkOperation.h"
#include "kit/core/Kitbase.h"

#include <unistd.h>

namespace {

void setValue(nlohmann::ordered_json& dictionary, const char* key, const std::optional<std::string>& value)
{
    if (value) {
        dictionary[key] = *value;
    }
}

} // namespace

TYMetadata::TYMetadata(Kitbase& kitbase, const std::optional<std::string>& betaToken)
    : APIKey_(kitbase.APIKey())
    , betaToken_(unwrapBetaToken(betaToken))
    , buildVersion_(KBApplicationBuildVersion())
    , bundleIdentifier_(KBEscapedBundleIdentifier())
    , displayVersion_(KBApplicationDisplayVersion())
    , executionIdentifier_(kitbase.executionIdentifier())
    , hostModel_(KBHardwareModel())
    , installationId_(kitbase.installID())
    , instanceIdentifier_(kitbase.instanceIdentifier())
    , locale_(KBNetworkOperation::localeIdentifier())
    , OSBuildVersion_(KBOSBuildVersion())
    , OSDisplayVersion_(KBOSDisplayVersion())
{
    const long cores = sysconf(_SC_NPROCESSORS_CONF);
    numberOfCores_ = cores > 0 ? static_cast<uint32_t>(cores) : 0;
}

std::optional<std::string> TYMetadata::unwrapBetaToken(const std::optional<std::string>& token)
{
    if (!token) {
        return std::nullopt;
    }
    const size_t colon = token->find(':');
    if (colon == std::string::npos || token->find(':', colon + 1) != std::string::npos) {
        return std::nullopt;
    }
    if (token->substr(0, colon) != "2") {
        return std::nullopt;
    }
    return token->substr(colon + 1);
}

std::optional<std::string> TYMetadata::identifierForAdvertising()
{
    return std::nullopt;
}

bool TYMetadata::advertisingSupportFrameworkLinked()
{
    return false;
}

bool TYMetadata::trackingForAdvertisingEnabled()
{
    return false;
}

std::string TYMetadata::eventName() const
{
    return "metadata";
}

std::optional<nlohmann::ordered_json> TYMetadata::dictionaryRepresentationWithStartTime(uint64_t startTime) const
{
    nlohmann::ordered_json dictionary = nlohmann::ordered_json::object();
    dictionary["generator"] = kGenerator;
    setValue(dictionary, "api_key", APIKey_);
    setValue(dictionary, "session_id", executionIdentifier_);
    dictionary["started_at"] = startTime;
    setValue(dictionary, "advertising_id", identifierForAdvertising());
    setValue(dictionary, "beta_tester_token", betaToken_);
    dictionary["links_ad_support"] = advertisingSupportFrameworkLinked();
    dictionary["advertising_tracking_enabled"] = trackingForAdvertisingEnabled();
    setValue(dictionary, "install_id", installationId_);
    setValue(dictionary, "model", hostModel_);
    setValue(dictionary, "machine", hostModel_);
    dictionary["locale"] = locale_;
    setValue(dictionary, "os_build", OSBuildVersion_);
    dictionary["os_version"] = OSDisplayVersion_;
    dictionary["platform"] = platform_;
    dictionary["platform_code"] = platformCode();
    dictionary["cores"] = numberOfCores_;
    dictionary["jailbroken"] = isJailbroken_;
    setValue(dictionary, "bundle_id", bundleIdentifier_);
    setValue(dictionary, "bundle_version", buildVersion_);
    setValue(dictionary, "bundle_short_version", displayVersion_);
    setValue(dictionary, "instance_id", instanceIdentifier_);
    return dictionary;
}

uint32_t TYMetadata::platformCode() const
{
    return 0;
}

const std::optional<std::string>& TYMetadata::APIKey() const
{
    return APIKey_;
}

const std::optional<std::string>& TYMetadata::betaToken() const
{
    return betaToken_;
}

const std::optional<std::string>& TYMetadata::installationId() const
{
    return installationId_;
}

const std::string& TYMetadata::platform() const
{
    return platform_;
}
