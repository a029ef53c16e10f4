#include "kit/core/KBMainBundle.h"

#include <mutex>

namespace {

std::mutex bundleMutex;

std::optional<nlohmann::json>& stored()
{
    static std::optional<nlohmann::json> dictionary;
    return dictionary;
}

} // namespace

void KBMainBundle::setInfoDictionary(std::optional<nlohmann::json> dictionary)
{
    std::lock_guard lock(bundleMutex);
    stored() = std::move(dictionary);
}

std::optional<nlohmann::json> KBMainBundle::infoDictionary()
{
    std::lock_guard lock(bundleMutex);
    return stored();
}

std::optional<std::string> KBMainBundle::stringForKey(const std::string& key)
{
    std::lock_guard lock(bundleMutex);
    if (!stored() || !stored()->is_object()) {
        return std::nullopt;
    }
    const auto found = stored()->find(key);
    if (found == stored()->end() || !found->is_string()) {
        return std::nullopt;
    }
    return found->get<std::string>();
}

std::optional<std::string> KBMainBundle::bundleIdentifier()
{
    // An empty identifier names nothing; treat it as absent.
    auto identifier = stringForKey("CFBundleIdentifier");
    return identifier && !identifier->empty() ? identifier : std::nullopt;
}
