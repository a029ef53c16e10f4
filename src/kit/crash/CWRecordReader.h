#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

// Reads record files back: one JSON object per line. A cut last line, a line of
// garbage or a line with invalid UTF-8 is skipped alone; the rest of the file
// still counts.
using CWRecordFilter = std::function<std::optional<nlohmann::json>(const nlohmann::json&)>;

// The kept objects in file order; nothing when the file cannot be read, which is
// then removed when `deleteOnFailure` is set.
std::optional<std::vector<nlohmann::json>> CWFileReadSections(
    const char* path, bool deleteOnFailure, const CWRecordFilter& filter = {});

// A filter keeping the value of every record of one kind.
CWRecordFilter CWRecordKindFilter(const std::string& kind);

// Pairs of hex digits of either case, up to the first pair that is not one.
std::string CWHexDecode(std::string_view hex);
