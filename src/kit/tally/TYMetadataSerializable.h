#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>

// What heads a log file: a name for its line and a dictionary, or nothing
// when there is no dictionary to write (the line is then left out).
class TYMetadataSerializable {
public:
    virtual ~TYMetadataSerializable() = default;
    virtual std::string eventName() const = 0;
    virtual std::optional<nlohmann::ordered_json> dictionaryRepresentationWithStartTime(uint64_t startTime) const = 0;
};
