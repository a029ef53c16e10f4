#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

// The kit's view of one report folder left by a launch: where it is, which
// record files it holds and what the metadata says.
class CWInternalReport {
public:
    using Date = std::chrono::sys_seconds;

    // Reads the launch's identifier from the metadata; nothing (and a log line)
    // when the folder has none.
    static std::shared_ptr<CWInternalReport> reportWithPath(const std::string& path);
    // Nothing unless both are given.
    static std::shared_ptr<CWInternalReport> make(
        const std::optional<std::string>& path, const std::optional<std::string>& executionIdentifier);

    // Crash files, in the order symbolication visits them.
    static const std::vector<std::string>& crashFilenames();
    static const std::vector<std::string>& submittableFilenames();
    // A name of a file the kit writes into a report folder.
    static bool isContentFilename(const std::string& name);
    // The lines of a record file, or nothing when it has none.
    static std::optional<std::vector<nlohmann::json>> readRecordFileAtPath(const std::string& path);

    const std::string& identifier() const;
    const std::string& path() const;
    // The folder moved (to "processing").
    void setPath(const std::string& path);
    std::string directoryName() const;
    std::string pathForContentFile(const std::string& name) const;
    std::string metadataPath() const;
    std::string binaryImagePath() const;

    // Read on first use and kept.
    const std::vector<nlohmann::json>& metadataSections();

    bool needsToBeSubmitted() const;
    bool isCrash() const;
    bool checkExistenceOfAtLeastOnceFileInArray(const std::vector<std::string>& names) const;
    // Every crash file's path in order, whether or not the file exists.
    void enumerateSymbolicatableFilesInContent(const std::function<void(const std::string&)>& block) const;

    std::optional<std::string> APIKey();
    std::optional<std::string> bundleVersion();
    std::optional<std::string> bundleShortVersionString();
    std::optional<Date> dateCreated();
    std::optional<std::string> OSVersion();
    std::optional<std::string> OSBuildVersion();
    // The folder's own custom keys are read by CWReport; this view has none.
    std::optional<std::map<std::string, std::string>> customKeys() const;
    std::optional<Date> crashedOnDate() const;
    // The "time" of the named member of the first line of a crash file.
    std::optional<Date> timeFromCrashContentFile(const std::string& name, const std::string& sectionName) const;

private:
    CWInternalReport(std::string path, std::string identifier);
    std::optional<std::string> metadataString(size_t section, const char* member, const char* key);

    std::string identifier_;
    std::string path_;
    std::optional<std::vector<nlohmann::json>> metadataSections_;
};

using CWInternalReportPtr = std::shared_ptr<CWInternalReport>;
