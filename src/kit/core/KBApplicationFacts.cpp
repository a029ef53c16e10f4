#include "kit/core/KBApplicationFacts.h"

#include "kit/core/KBMainBundle.h"
#include "kit/support/KBFiles.h"

#include <sys/utsname.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace {

std::optional<bool> topLevelBool(const nlohmann::json& dictionary, const std::string& key)
{
    const auto found = dictionary.find(key);
    if (found == dictionary.end() || !found->is_boolean()) {
        return std::nullopt;
    }
    return found->get<bool>();
}

std::string trimmed(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == '\0')) {
        text.pop_back();
    }
    return text;
}

} // namespace

std::optional<std::string> KBEscapedBundleIdentifier()
{
    auto identifier = KBMainBundle::bundleIdentifier();
    if (identifier) {
        std::replace(identifier->begin(), identifier->end(), '/', '_');
    }
    return identifier;
}

std::optional<std::string> KBApplicationBuildVersion()
{
    return KBMainBundle::stringForKey("CFBundleVersion");
}

std::optional<std::string> KBApplicationDisplayVersion()
{
    return KBMainBundle::stringForKey("CFBundleShortVersionString");
}

std::optional<std::string> KBApplicationName()
{
    if (auto name = KBMainBundle::stringForKey("CFBundleDisplayName")) {
        return name;
    }
    if (auto name = KBMainBundle::stringForKey("CFBundleName")) {
        return name;
    }
    return KBApplicationBuildVersion();
}

bool KBIsAppStoreReceiptPresent()
{
    return false;
}

bool KBIsSignedForDistribution()
{
    const auto info = KBMainBundle::infoDictionary();
    return info && info->is_object() && topLevelBool(*info, "CrashwatchSignedForDistribution").value_or(false);
}

int KBInstallationSource()
{
    if (KBIsAppStoreReceiptPresent()) {
        return 4;
    }
    return KBIsSignedForDistribution() ? 3 : 1;
}

bool KBShouldCollectDeviceIdentifiers()
{
    const auto info = KBMainBundle::infoDictionary();
    if (!info || !info->is_object()) {
        return true;
    }
    const auto kitbase = info->find("Kitbase");
    if (kitbase != info->end() && kitbase->is_object()) {
        if (const auto report = topLevelBool(*kitbase, "ReportIdentifiers")) {
            return *report;
        }
    }
    return topLevelBool(*info, "CrashwatchCollectDeviceIdentifiers").value_or(true);
}

KBOSVersion KBParseKernelRelease(const std::string& release)
{
    KBOSVersion version;
    int64_t* parts[] = {&version.major, &version.minor, &version.patch};
    size_t at = 0;
    for (int64_t* part : parts) {
        size_t end = at;
        while (end < release.size() && release[end] >= '0' && release[end] <= '9' && end - at < 9) {
            ++end;
        }
        if (end == at) {
            break;
        }
        *part = std::stoll(release.substr(at, end - at));
        if (end >= release.size() || release[end] != '.') {
            break;
        }
        at = end + 1;
    }
    return version;
}

KBOSVersion KBOperatingSystemVersion()
{
    utsname names{};
    if (::uname(&names) != 0) {
        return KBOSVersion{};
    }
    return KBParseKernelRelease(names.release);
}

int64_t KBOperatingSystemVersionNumber(const KBOSVersion& version)
{
    switch (version.minor) {
    case 6:
        return 1060;
    case 7:
        return 1070;
    case 8:
        return 1080;
    case 9:
        return 1090;
    case 10:
        return 101000;
    case 11:
        return 101100;
    case 12:
        return 101200;
    default:
        return 0;
    }
}

std::string KBOSDisplayVersion()
{
    const KBOSVersion version = KBOperatingSystemVersion();
    return std::to_string(version.major) + "." + std::to_string(version.minor) + "." + std::to_string(version.patch);
}

std::optional<std::string> KBOSBuildVersion()
{
    utsname names{};
    if (::uname(&names) != 0) {
        return std::nullopt;
    }
    return std::string(names.version);
}

std::optional<std::string> KBHardwareModel()
{
    if (const auto product = KBFiles::read("/sys/class/dmi/id/product_name")) {
        const std::string name = trimmed(*product);
        if (!name.empty()) {
            return name;
        }
    }
    utsname names{};
    if (::uname(&names) != 0) {
        return std::nullopt;
    }
    return std::string(names.machine);
}

std::optional<std::string> KBSysctlString(const std::string& name)
{
    if (name.empty() || name.find("..") != std::string::npos || name.find('/') != std::string::npos) {
        return std::nullopt;
    }
    std::string path = "/proc/sys/" + name;
    std::replace(path.begin() + 10, path.end(), '.', '/');
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    char buffer[128];
    in.read(buffer, sizeof buffer);
    const auto length = static_cast<size_t>(in.gcount());
    if (length == sizeof buffer) {
        return std::nullopt;
    }
    return trimmed(std::string(buffer, length));
}

void KBEnumerateByteRanges(
    const void* bytes, size_t length, const std::function<void(const void*, size_t, size_t, bool&)>& block)
{
    bool stop = false;
    block(bytes, 0, length, stop);
}
