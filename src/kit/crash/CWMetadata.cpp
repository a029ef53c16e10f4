#include "kit/crash/CWMetadata.h"

#include <sys/utsname.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>

#include "kit/core/KBApplicationFacts.h"
#include "kit/core/KBLoadedImages.h"
#include "kit/crash/CWApplication.h"
#include "kit/crash/CWBinaryImages.h"
#include "kit/crash/CWContextConfiguration.h"
#include "kit/crash/crashpath/CWBinaryImage.h"
#include "kit/crash/crashpath/CWFile.h"
#include "kit/crash/crashpath/CWSDKLog.h"

namespace {

constexpr const char* kGenerator = "Crashwatch Linux SDK/3.8.4";
constexpr const char* kBuildVersion = "121";
constexpr const char* kDisplayVersion = "3.8.4";
constexpr const char* kFailed = "(failed)";
// ELF images carry no minimum or built system version.
constexpr const char* kUnknownSystemVersion = "0.0.0";

std::optional<std::string> copied(const char* text)
{
    return text != nullptr ? std::optional<std::string>(text) : std::nullopt;
}

const char* orNull(const std::optional<std::string>& text)
{
    return text ? text->c_str() : nullptr;
}

bool endRecord(CWFile* file)
{
    return CWFileWriteObjectClose(file) && CWFileWriteObjectClose(file) && CWFileWriteLineEnd(file);
}

bool writeIdentity(CWFile* file, const CWMetadata& metadata)
{
    return CWFileWriteRecordStart(file, "identity") && CWFileWriteObjectOpen(file)
        && CWFileWriteHashString(file, "generator", kGenerator)
        && CWFileWriteHashString(file, "build_version", kBuildVersion)
        && CWFileWriteHashString(file, "display_version", kDisplayVersion)
        && CWFileWriteHashString(file, "api_key", orNull(metadata.apiKey))
        && CWFileWriteHashUnsigned(file, "started_at", static_cast<uint64_t>(std::time(nullptr)))
        && CWFileWriteHashString(file, "session_id", orNull(metadata.sessionIdentifier))
        && CWFileWriteHashString(file, "install_id", orNull(metadata.installIdentifier))
        && CWFileWriteHashString(file, "beta_token", orNull(metadata.betaToken))
        && CWFileWriteHashBool(file, "absolute_log_timestamps", true) && endRecord(file);
}

bool writeHost(CWFile* file)
{
    utsname names{};
    const bool named = uname(&names) == 0;
    const auto cpu = CWProcessorName();
    const std::string locale = CWCurrentLocaleIdentifier();
    return CWFileWriteRecordStart(file, "host") && CWFileWriteObjectOpen(file)
        && CWFileWriteHashString(file, "model", orNull(KBHardwareModel()))
        && CWFileWriteHashString(file, "machine", named ? names.machine : kFailed)
        && CWFileWriteHashString(file, "cpu", cpu ? cpu->c_str() : kFailed)
        && CWFileWriteHashString(file, "os_build_version", orNull(KBOSBuildVersion()))
        && CWFileWriteHashString(file, "os_display_version", KBOSDisplayVersion().c_str())
        && CWFileWriteHashString(file, "platform", "linux") && CWFileWriteHashString(file, "locale", locale.c_str())
        && endRecord(file);
}

bool writeApplication(CWFile* file, const CWMetadata& metadata)
{
    return CWFileWriteRecordStart(file, "application") && CWFileWriteObjectOpen(file)
        && CWFileWriteHashString(file, "bundle_id", orNull(KBEscapedBundleIdentifier()))
        && CWFileWriteHashString(file, "custom_bundle_id", orNull(metadata.customBundleIdentifier))
        && CWFileWriteHashString(file, "build_version", orNull(KBApplicationBuildVersion()))
        && CWFileWriteHashString(file, "display_version", orNull(KBApplicationDisplayVersion()))
        && CWFileWriteHashString(file, "extension_id", orNull(CWApplication::extensionPointIdentifier()))
        && endRecord(file);
}

bool writeExecutable(CWFile* file)
{
    const auto image = KBLoadedImages::executable();
    if (!image) {
        return false;
    }
    const CWBinaryImageDetails details = CWBinaryImages::detailsOf(*image);
    return CWFileWriteRecordStart(file, "executable") && CWFileWriteObjectOpen(file)
        && CWFileWriteHashString(file, "architecture", image->architecture.c_str())
        && CWBinaryImageRecordDetails(file, &details) && CWFileWriteHashBool(file, "encrypted", false)
        && CWFileWriteHashString(file, "minimum_sdk_version", kUnknownSystemVersion)
        && CWFileWriteHashString(file, "built_sdk_version", kUnknownSystemVersion) && endRecord(file);
}

} // namespace

CWMetadata CWMetadata::fromConfiguration(const CWContextConfiguration& configuration)
{
    return CWMetadata{copied(configuration.apiKey), copied(configuration.reportIdentifier),
        copied(configuration.installIdentifier), copied(configuration.betaToken),
        copied(configuration.customBundleIdentifier)};
}

bool CWContextRecordMetadata(const CWMetadata& metadata, const char* path)
{
    if (!CWFileRemove(path)) {
        CWLOG_WARN("Unable to unlink existing metadata file %s\n", strerror(errno));
    }
    CWFile file;
    if (!CWFileInit(&file, path, false)) {
        CWLOG_WARN("Unable to open metadata file %s\n", path);
        return false;
    }
    writeIdentity(&file, metadata);
    if (!writeHost(&file)) {
        CWLOG_WARN("Unable to write out host metadata\n");
    }
    writeApplication(&file, metadata);
    if (!writeExecutable(&file)) {
        CWLOG_WARN("Unable to write out executable metadata\n");
    }
    CWFileClose(&file);
    return true;
}

std::optional<std::string> CWProcessorName()
{
    std::ifstream cpuinfo("/proc/cpuinfo");
    for (std::string line; std::getline(cpuinfo, line);) {
        if (line.rfind("model name", 0) != 0) {
            continue;
        }
        const size_t colon = line.find(':');
        if (colon == std::string::npos) {
            break;
        }
        const size_t start = line.find_first_not_of(" \t", colon + 1);
        return start == std::string::npos ? std::string() : line.substr(start);
    }
    return std::nullopt;
}

std::string CWCurrentLocaleIdentifier()
{
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && value[0] != 0) {
            std::string locale = value;
            return locale.substr(0, locale.find_first_of(".@"));
        }
    }
    return "C";
}
