#include "kit/tally/TYCrashMetadata.h"

#include "kit/support/KBFiles.h"

TYCrashMetadata::TYCrashMetadata(std::optional<nlohmann::ordered_json> rawMetadataDictionary)
    : rawMetadataDictionary_(std::move(rawMetadataDictionary))
{
}

std::optional<nlohmann::ordered_json> TYCrashMetadata::readSerializedDictionaryFromURL(const std::string& path)
{
    const auto bytes = KBFiles::read(path);
    if (!bytes) {
        return std::nullopt;
    }
    auto parsed = nlohmann::ordered_json::parse(*bytes, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object()) {
        return std::nullopt;
    }
    return parsed;
}

bool TYCrashMetadata::writeSerializedDictionary(const nlohmann::ordered_json& dictionary, const std::string& path)
{
    const std::string text = dictionary.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    return KBFiles::writeAtomically(path, text);
}

std::string TYCrashMetadata::eventName() const
{
    return "metadata";
}

std::optional<nlohmann::ordered_json> TYCrashMetadata::dictionaryRepresentationWithStartTime(uint64_t) const
{
    return rawMetadataDictionary_;
}

const std::optional<nlohmann::ordered_json>& TYCrashMetadata::rawMetadataDictionary() const
{
    return rawMetadataDictionary_;
}
