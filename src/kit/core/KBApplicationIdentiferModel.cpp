#include "kit/core/KBApplicationIdentiferModel.h"

#include "kit/core/KBAppIconUtility.h"
#include "kit/core/KBApplicationFacts.h"
#include "kit/core/KBLoadedImages.h"
#include "kit/support/KBDigest.h"

namespace {

std::string versionText(const KBSDKVersion& version)
{
    return std::to_string(version.major) + "." + std::to_string(version.minor) + "." + std::to_string(version.bugfix);
}

} // namespace

std::shared_ptr<KBApplicationIdentiferModel> KBApplicationIdentiferModel::make(const std::string& installID)
{
    const auto executable = KBLoadedImages::executable();
    if (!executable || executable->uuid.empty()) {
        return nullptr;
    }
    return makeWithSlices(installID, {{executable->architecture, executable->uuid}});
}

std::shared_ptr<KBApplicationIdentiferModel> KBApplicationIdentiferModel::makeWithSlices(
    const std::string& installID, std::map<std::string, std::string> slices)
{
    return std::make_shared<KBApplicationIdentiferModel>(installID, std::move(slices));
}

KBApplicationIdentiferModel::KBApplicationIdentiferModel(
    const std::string& installID, std::map<std::string, std::string> slices)
    : architectureUUIDMap_(std::move(slices))
    , installID_(installID)
    , bundleIdentifier_(KBEscapedBundleIdentifier())
{
    computeInstanceIdentifier();
    icon_ = KBAppIconUtility().applicationIcon();
}

void KBApplicationIdentiferModel::computeInstanceIdentifier()
{
    // The map is ordered by architecture name, which is the order hashed.
    std::string joined;
    for (const auto& [architecture, uuid] : architectureUUIDMap_) {
        joined += uuid;
    }
    instanceIdentifier_ = KBSHA1HexDigest(joined);
}

std::string KBApplicationIdentiferModel::builtSDKString() const
{
    return versionText(builtSDK_);
}

std::string KBApplicationIdentiferModel::minimumSDKString() const
{
    return versionText(minimumSDK_);
}

const std::map<std::string, std::string>& KBApplicationIdentiferModel::architectureUUIDMap() const
{
    return architectureUUIDMap_;
}

const std::string& KBApplicationIdentiferModel::installID() const
{
    return installID_;
}

const std::optional<KBIcon>& KBApplicationIdentiferModel::icon() const
{
    return icon_;
}

const std::optional<std::string>& KBApplicationIdentiferModel::bundleIdentifier() const
{
    return bundleIdentifier_;
}

const std::string& KBApplicationIdentiferModel::instanceIdentifier() const
{
    return instanceIdentifier_;
}

KBSDKVersion KBApplicationIdentiferModel::builtSDK() const
{
    return builtSDK_;
}

KBSDKVersion KBApplicationIdentiferModel::minimumSDK() const
{
    return minimumSDK_;
}
