#pragma once

#include <optional>
#include <string>

struct CWContextConfiguration;

// The facts about this run that every report carries, written once at set-up to
// "metadata.cwrecord": who started the kit, the machine, the application and the
// executable image.
struct CWMetadata {
    std::optional<std::string> apiKey;
    std::optional<std::string> sessionIdentifier;
    std::optional<std::string> installIdentifier;
    std::optional<std::string> betaToken;
    std::optional<std::string> customBundleIdentifier;

    // Copies the configuration's strings, which live only during set-up's call.
    static CWMetadata fromConfiguration(const CWContextConfiguration& configuration);
};

// Writes the four records; false when the file cannot be opened.
bool CWContextRecordMetadata(const CWMetadata& metadata, const char* path);

// The "model name" of the first processor in /proc/cpuinfo.
std::optional<std::string> CWProcessorName();
// The locale of the user's messages without its character set ("de_DE").
std::string CWCurrentLocaleIdentifier();
