#include "kit/crash/CWInternalReport.h"

#include <sys/stat.h>

#include <algorithm>
#include <set>

#include "kit/crash/CWRecordReader.h"
#include "kit/support/KBLog.h"

namespace {

const nlohmann::json* memberOf(const nlohmann::json& object, const char* member)
{
    if (!object.is_object()) {
        return nullptr;
    }
    const auto found = object.find(member);
    return found == object.end() ? nullptr : &*found;
}

// The value at section[member][key], when it is there.
const nlohmann::json* valueAt(const nlohmann::json& section, const char* member, const char* key)
{
    const nlohmann::json* inner = memberOf(section, member);
    return inner == nullptr ? nullptr : memberOf(*inner, key);
}

std::optional<std::string> stringOf(const nlohmann::json* value)
{
    if (value == nullptr || !value->is_string()) {
        return std::nullopt;
    }
    return value->get<std::string>();
}

// Whole seconds since 1970, as the crash path writes them.
std::optional<CWInternalReport::Date> dateOf(const nlohmann::json* value)
{
    if (value == nullptr || !value->is_number()) {
        return std::nullopt;
    }
    const int64_t seconds
        = value->is_number_unsigned() ? static_cast<int64_t>(value->get<uint64_t>()) : value->get<int64_t>();
    return CWInternalReport::Date(std::chrono::seconds(seconds));
}

bool fileExists(const std::string& path)
{
    struct stat status { };
    return ::stat(path.c_str(), &status) == 0;
}

} // namespace

std::shared_ptr<CWInternalReport> CWInternalReport::reportWithPath(const std::string& path)
{
    const auto sections = readRecordFileAtPath(path + "/metadata.cwrecord");
    std::optional<std::string> identifier;
    if (sections && !sections->empty()) {
        identifier = stringOf(valueAt(sections->front(), "identity", "session_id"));
    }
    if (!identifier) {
        KBLog::info("[Crashwatch:Crash] Unable to read identifier at path " + path);
    }
    return make(path, identifier);
}

std::shared_ptr<CWInternalReport> CWInternalReport::make(
    const std::optional<std::string>& path, const std::optional<std::string>& executionIdentifier)
{
    if (!path || !executionIdentifier) {
        return nullptr;
    }
    return std::shared_ptr<CWInternalReport>(new CWInternalReport(*path, *executionIdentifier));
}

CWInternalReport::CWInternalReport(std::string path, std::string identifier)
    : identifier_(std::move(identifier))
    , path_(std::move(path))
{
}

const std::vector<std::string>& CWInternalReport::crashFilenames()
{
    static const std::vector<std::string> names{"exception.cwrecord", "mach_exception.cwrecord", "signal.cwrecord"};
    return names;
}

const std::vector<std::string>& CWInternalReport::submittableFilenames()
{
    static const std::vector<std::string> names{"exception.cwrecord", "signal.cwrecord", "custom_exception_a.cwrecord",
        "custom_exception_b.cwrecord", "mach_exception.cwrecord", "errors_a.cwrecord", "errors_b.cwrecord"};
    return names;
}

bool CWInternalReport::isContentFilename(const std::string& name)
{
    static const std::set<std::string> names{"metadata.cwrecord", "binary_images.cwrecord", "exception.cwrecord",
        "mach_exception.cwrecord", "signal.cwrecord", "custom_exception_a.cwrecord", "custom_exception_b.cwrecord",
        "errors_a.cwrecord", "errors_b.cwrecord", "log_a.cwrecord", "log_b.cwrecord", "user_compacted_kv.cwrecord",
        "user_incremental_kv.cwrecord", "internal_compacted_kv.cwrecord", "internal_incremental_kv.cwrecord",
        "sdk.log"};
    if (names.count(name) != 0) {
        return true;
    }
    // The named frames of a crash file, written beside it at the next launch.
    const std::string companion = ".symbolicated";
    return name.size() > companion.size()
        && name.compare(name.size() - companion.size(), companion.size(), companion) == 0
        && std::find(crashFilenames().begin(), crashFilenames().end(), name.substr(0, name.size() - companion.size()))
        != crashFilenames().end();
}

std::optional<std::vector<nlohmann::json>> CWInternalReport::readRecordFileAtPath(const std::string& path)
{
    auto sections = CWFileReadSections(path.c_str(), false);
    if (!sections || sections->empty()) {
        return std::nullopt;
    }
    return sections;
}

const std::string& CWInternalReport::identifier() const
{
    return identifier_;
}

const std::string& CWInternalReport::path() const
{
    return path_;
}

void CWInternalReport::setPath(const std::string& path)
{
    path_ = path;
}

std::string CWInternalReport::directoryName() const
{
    const auto slash = path_.find_last_of('/');
    return slash == std::string::npos ? path_ : path_.substr(slash + 1);
}

std::string CWInternalReport::pathForContentFile(const std::string& name) const
{
    return path_ + "/" + name;
}

std::string CWInternalReport::metadataPath() const
{
    return pathForContentFile("metadata.cwrecord");
}

std::string CWInternalReport::binaryImagePath() const
{
    return pathForContentFile("binary_images.cwrecord");
}

const std::vector<nlohmann::json>& CWInternalReport::metadataSections()
{
    if (!metadataSections_) {
        metadataSections_ = readRecordFileAtPath(metadataPath()).value_or(std::vector<nlohmann::json>());
    }
    return *metadataSections_;
}

bool CWInternalReport::needsToBeSubmitted() const
{
    return checkExistenceOfAtLeastOnceFileInArray(submittableFilenames());
}

bool CWInternalReport::isCrash() const
{
    return checkExistenceOfAtLeastOnceFileInArray(crashFilenames());
}

bool CWInternalReport::checkExistenceOfAtLeastOnceFileInArray(const std::vector<std::string>& names) const
{
    for (const std::string& name : names) {
        if (fileExists(pathForContentFile(name))) {
            return true;
        }
    }
    return false;
}

void CWInternalReport::enumerateSymbolicatableFilesInContent(const std::function<void(const std::string&)>& block) const
{
    for (const std::string& name : crashFilenames()) {
        block(pathForContentFile(name));
    }
}

std::optional<std::string> CWInternalReport::metadataString(size_t section, const char* member, const char* key)
{
    const auto& sections = metadataSections();
    return section < sections.size() ? stringOf(valueAt(sections[section], member, key)) : std::nullopt;
}

std::optional<std::string> CWInternalReport::APIKey()
{
    return metadataString(0, "identity", "api_key");
}

std::optional<std::string> CWInternalReport::bundleVersion()
{
    return metadataString(2, "application", "build_version");
}

std::optional<std::string> CWInternalReport::bundleShortVersionString()
{
    return metadataString(2, "application", "display_version");
}

std::optional<CWInternalReport::Date> CWInternalReport::dateCreated()
{
    const auto& sections = metadataSections();
    return sections.empty() ? std::nullopt : dateOf(valueAt(sections.front(), "identity", "started_at"));
}

std::optional<std::string> CWInternalReport::OSVersion()
{
    return metadataString(1, "host", "os_display_version");
}

std::optional<std::string> CWInternalReport::OSBuildVersion()
{
    return metadataString(1, "host", "os_build_version");
}

std::optional<std::map<std::string, std::string>> CWInternalReport::customKeys() const
{
    return std::nullopt;
}

std::optional<CWInternalReport::Date> CWInternalReport::crashedOnDate() const
{
    if (!isCrash()) {
        return std::nullopt;
    }
    if (auto date = timeFromCrashContentFile("mach_exception.cwrecord", "mach_exception")) {
        return date;
    }
    return timeFromCrashContentFile("signal.cwrecord", "signal");
}

std::optional<CWInternalReport::Date> CWInternalReport::timeFromCrashContentFile(
    const std::string& name, const std::string& sectionName) const
{
    const auto sections = readRecordFileAtPath(pathForContentFile(name));
    if (!sections) {
        return std::nullopt;
    }
    return dateOf(valueAt(sections->front(), sectionName.c_str(), "time"));
}
