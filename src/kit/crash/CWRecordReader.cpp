#include "kit/crash/CWRecordReader.h"

#include <cstdint>

#include "kit/crash/crashpath/CWFile.h"
#include "kit/crash/crashpath/CWSDKLog.h"
#include "kit/support/KBFiles.h"

namespace {

int hexValue(char digit)
{
    if (digit >= '0' && digit <= '9') {
        return digit - '0';
    }
    if (digit >= 'a' && digit <= 'f') {
        return digit - 'a' + 10;
    }
    if (digit >= 'A' && digit <= 'F') {
        return digit - 'A' + 10;
    }
    return -1;
}

} // namespace

std::optional<std::vector<nlohmann::json>> CWFileReadSections(
    const char* path, bool deleteOnFailure, const CWRecordFilter& filter)
{
    if (reinterpret_cast<uintptr_t>(path) < 4096) {
        CWLOG_ERROR("Error: input path is invalid\n");
        return std::nullopt;
    }
    const std::optional<std::string> contents = KBFiles::read(path);
    if (!contents) {
        if (deleteOnFailure) {
            CWFileRemove(path);
        }
        CWLOG_WARN("Unable to read file %s\n", path);
        return std::nullopt;
    }
    std::vector<nlohmann::json> sections;
    std::string_view rest = *contents;
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        nlohmann::json parsed = nlohmann::json::parse(line, nullptr, false);
        if (parsed.is_discarded()) {
            continue;
        }
        if (!filter) {
            sections.push_back(std::move(parsed));
        } else if (std::optional<nlohmann::json> kept = filter(parsed); kept && !kept->is_null()) {
            sections.push_back(std::move(*kept));
        }
    }
    return sections;
}

CWRecordFilter CWRecordKindFilter(const std::string& kind)
{
    return [kind](const nlohmann::json& record) -> std::optional<nlohmann::json> {
        if (!record.is_object() || !record.contains(kind)) {
            return std::nullopt;
        }
        return record.at(kind);
    };
}

std::string CWHexDecode(std::string_view hex)
{
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        const int high = hexValue(hex[i]);
        const int low = hexValue(hex[i + 1]);
        if (high < 0 || low < 0) {
            break;
        }
        bytes.push_back(static_cast<char>(high * 16 + low));
    }
    return bytes;
}
