#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// What every request and report says about the application and the machine.
// Application values come from the app-info dictionary (KBMainBundle);
// system values from uname, /proc and DMI.

struct KBOSVersion {
    int64_t major = 0;
    int64_t minor = 0;
    int64_t patch = 0;
};

std::optional<std::string> KBEscapedBundleIdentifier();
std::optional<std::string> KBApplicationBuildVersion();
std::optional<std::string> KBApplicationDisplayVersion();
std::optional<std::string> KBApplicationName();

// There is no application store on Linux, so there is never a receipt.
bool KBIsAppStoreReceiptPresent();
bool KBIsSignedForDistribution();
// 4 with a store receipt, 3 when signed for distribution, 1 otherwise.
int KBInstallationSource();
bool KBShouldCollectDeviceIdentifiers();

KBOSVersion KBOperatingSystemVersion();
// "6.1.0-18-amd64" is 6.1.0; missing parts are 0.
KBOSVersion KBParseKernelRelease(const std::string& release);
int64_t KBOperatingSystemVersionNumber(const KBOSVersion& version);
std::string KBOSDisplayVersion();
std::optional<std::string> KBOSBuildVersion();
std::optional<std::string> KBHardwareModel();
// A kernel value by its dotted name ("kernel.ostype" is /proc/sys/kernel/ostype);
// nothing when it cannot be read or does not fit in 128 bytes.
std::optional<std::string> KBSysctlString(const std::string& name);

// Contiguous ranges of a byte buffer; one range for ordinary memory.
void KBEnumerateByteRanges(const void* bytes, size_t length,
    const std::function<void(const void*, size_t offset, size_t length, bool& stop)>& block);
