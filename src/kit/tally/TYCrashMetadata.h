#pragma once

#include "kit/tally/TYMetadataSerializable.h"

#include <optional>
#include <string>

// The metadata the previous run stored, as read back: heads the log of that
// run's crash. Without a dictionary (the file could not be parsed) there is
// no metadata line, and so no crash line either.
class TYCrashMetadata : public TYMetadataSerializable {
public:
    explicit TYCrashMetadata(std::optional<nlohmann::ordered_json> rawMetadataDictionary);

    // The JSON object in the file; nothing when it cannot be read or parsed.
    static std::optional<nlohmann::ordered_json> readSerializedDictionaryFromURL(const std::string& path);
    // Writes the object so that the file is always whole.
    static bool writeSerializedDictionary(const nlohmann::ordered_json& dictionary, const std::string& path);

    std::string eventName() const override;
    std::optional<nlohmann::ordered_json> dictionaryRepresentationWithStartTime(uint64_t startTime) const override;
    const std::optional<nlohmann::ordered_json>& rawMetadataDictionary() const;

private:
    std::optional<nlohmann::ordered_json> rawMetadataDictionary_;
};
