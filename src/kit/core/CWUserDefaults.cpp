#include "kit/core/CWUserDefaults.h"

#include "kit/core/KBMainBundle.h"
#include "kit/core/KBPropertyList.h"
#include "kit/support/KBFiles.h"
#include "kit/support/KBIdentifiers.h"
#include "kit/support/KBLog.h"

#include <algorithm>
#include <filesystem>

namespace {

std::mutex platformMutex;

std::shared_ptr<KBPlatformUserDefaults>& platformDefaults()
{
    static std::shared_ptr<KBPlatformUserDefaults> defaults;
    return defaults;
}

} // namespace

std::shared_ptr<CWUserDefaults> CWUserDefaults::standardUserDefaults()
{
    static const std::shared_ptr<CWUserDefaults> standard = [] {
        std::shared_ptr<KBPlatformUserDefaults> platform;
        {
            std::lock_guard lock(platformMutex);
            platform = platformDefaults();
        }
        return std::make_shared<CWUserDefaults>(generateDirectoryURL(), platform);
    }();
    return standard;
}

void CWUserDefaults::setPlatformDefaults(std::shared_ptr<KBPlatformUserDefaults> defaults)
{
    std::lock_guard lock(platformMutex);
    platformDefaults() = std::move(defaults);
}

CWUserDefaults::CWUserDefaults(std::string directory, std::shared_ptr<KBPlatformUserDefaults> platform)
    : directory_(std::move(directory))
    , file_(directory_ + "/CWUserDefaults.plist")
    , platform_(std::move(platform))
{
    std::lock_guard access(accessMutex_);
    data_ = loadDefaults();
}

std::string CWUserDefaults::generateDirectoryURL()
{
    return generateDirectoryURLForBaseURL(KBFiles::dataHome(), getEscapedAppBundleIdentifier());
}

std::string CWUserDefaults::generateDirectoryURLForBaseURL(
    const std::string& base, const std::optional<std::string>& hostAppBundleIdentifier)
{
    std::string directory = base;
    if (hostAppBundleIdentifier) {
        directory += "/" + *hostAppBundleIdentifier;
    }
    return directory + "/" + kb::kDefaultsVendorFolder;
}

std::optional<std::string> CWUserDefaults::getEscapedAppBundleIdentifier()
{
    auto identifier = KBMainBundle::bundleIdentifier();
    if (identifier) {
        std::replace(identifier->begin(), identifier->end(), '/', '_');
    }
    return identifier;
}

std::optional<nlohmann::json> CWUserDefaults::objectForKey(const std::string& key) const
{
    std::lock_guard lock(accessMutex_);
    const auto found = data_.find(key);
    return found != data_.end() ? std::optional(*found) : std::nullopt;
}

std::optional<std::string> CWUserDefaults::stringForKey(const std::string& key) const
{
    const auto value = objectForKey(key);
    return value && value->is_string() ? std::optional(value->get<std::string>()) : std::nullopt;
}

bool CWUserDefaults::boolForKey(const std::string& key) const
{
    const auto value = objectForKey(key);
    if (!value || !(value->is_boolean() || value->is_number())) {
        return false;
    }
    return value->is_boolean() ? value->get<bool>() : value->get<double>() != 0.0;
}

void CWUserDefaults::setObject(const std::optional<nlohmann::json>& value, const std::string& key)
{
    std::lock_guard lock(accessMutex_);
    if (value && !value->is_null()) {
        data_[key] = *value;
    } else {
        data_.erase(key);
    }
}

void CWUserDefaults::setString(const std::optional<std::string>& value, const std::string& key)
{
    setObject(value ? std::optional<nlohmann::json>(*value) : std::nullopt, key);
}

void CWUserDefaults::setBool(bool value, const std::string& key)
{
    setObject(nlohmann::json(value), key);
}

void CWUserDefaults::removeObjectForKey(const std::string& key)
{
    setObject(std::nullopt, key);
}

void CWUserDefaults::removeAllObjects()
{
    std::lock_guard lock(accessMutex_);
    data_ = nlohmann::json::object();
}

nlohmann::json CWUserDefaults::dictionaryRepresentation() const
{
    std::lock_guard lock(accessMutex_);
    return data_;
}

bool CWUserDefaults::synchronize()
{
    const nlohmann::json snapshot = dictionaryRepresentation();
    std::lock_guard io(ioMutex_);
    if (!std::filesystem::is_directory(directory_)) {
        std::string error;
        if (!KBFiles::makeFolders(directory_, &error)) {
            KBLog::info("[Kitbase:UserDefaults] failed to create directory with error:" + error);
        }
    }
    if (!KBFiles::writeAtomically(file_, KBPropertyList::toXml(snapshot))) {
        KBLog::info("[Kitbase:UserDefaults] Unable to open file for writing at path " + file_);
        return false;
    }
    return true;
}

nlohmann::json CWUserDefaults::loadDefaults()
{
    std::lock_guard io(ioMutex_);
    std::error_code code;
    const auto status = std::filesystem::symlink_status(file_, code);
    if (std::filesystem::is_regular_file(status)) {
        const auto text = KBFiles::read(file_);
        const auto value = text ? KBPropertyList::fromXml(*text) : std::nullopt;
        if (!value || !value->is_object()) {
            KBLog::info("[Kitbase:UserDefaults] failed to read existing UserDefaults file");
            return nlohmann::json::object();
        }
        return *value;
    }
    if (std::filesystem::is_directory(status)) {
        KBLog::info("[Kitbase:UserDefaults] found directory where file expected. Removing conflicting directory");
        std::filesystem::remove_all(file_, code);
        if (code) {
            KBLog::info(
                "[Kitbase:UserDefaults] error removing conflicting directory: {error = " + code.message() + "}");
        }
    }
    return nlohmann::json::object();
}

std::optional<nlohmann::json> CWUserDefaults::objectForKeyByMigratingFromNSUserDefaults(
    const std::optional<std::string>& key)
{
    if (!key) {
        return std::nullopt;
    }
    if (auto value = objectForKey(*key)) {
        return value;
    }
    if (!platform_) {
        return std::nullopt;
    }
    auto value = platform_->objectForKey(*key);
    if (!value) {
        return std::nullopt;
    }
    setObject(*value, *key);
    if (synchronize()) {
        platform_->removeObjectForKey(*key);
        platform_->synchronize();
    }
    return value;
}

void CWUserDefaults::migrateFromNSUserDefaults(const std::vector<std::string>& keys)
{
    if (!platform_) {
        return;
    }
    bool copied = false;
    for (const auto& key : keys) {
        if (auto value = platform_->objectForKey(key)) {
            setObject(*value, key);
            copied = true;
        }
    }
    if (!copied || !synchronize()) {
        return;
    }
    for (const auto& key : keys) {
        platform_->removeObjectForKey(key);
    }
    platform_->synchronize();
}

const std::string& CWUserDefaults::directoryURL() const
{
    return directory_;
}

const std::string& CWUserDefaults::fileURL() const
{
    return file_;
}
