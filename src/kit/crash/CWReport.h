#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "kit/crash/CWInternalReport.h"
#include "kit/crash/crashpath/CWContext.h"

// Internal keys a report can record about its user.
inline constexpr const char* kCWInternalKeyUserIdentifier = "org.lumetta.kit.crashwatch.user-id";
inline constexpr const char* kCWInternalKeyUserName = "org.lumetta.kit.crashwatch.user-name";
inline constexpr const char* kCWInternalKeyUserEmail = "org.lumetta.kit.crashwatch.user-email";

// The report handed to the application: it reads through to the report folder
// and can add key-values to that folder's own key-value files. Made with
// prefetch it is a read-only snapshot.
class CWReport {
public:
    explicit CWReport(CWInternalReportPtr internalReport, bool prefetchData = false);
    ~CWReport();
    CWReport(const CWReport&) = delete;
    CWReport& operator=(const CWReport&) = delete;

    const CWInternalReportPtr& internalReport() const;

    std::string identifier();
    std::optional<std::string> bundleVersion();
    std::optional<std::string> bundleShortVersionString();
    std::optional<CWInternalReport::Date> dateCreated();
    std::optional<CWInternalReport::Date> crashedOnDate();
    std::optional<std::string> OSVersion();
    std::optional<std::string> OSBuildVersion();
    bool isCrash();
    // The user's keys of this report: the compacted file merged with the later changes.
    const std::map<std::string, std::string>& customKeys();

    bool canRecordNewValues() const;
    void recordValueForInternalKey(const std::optional<std::string>& value, const std::string& key);
    void recordValueForUserKey(const std::optional<std::string>& value, const std::string& key);
    void setObjectValue(const std::optional<std::string>& value, const std::string& key);
    void setUserIdentifier(const std::optional<std::string>& value);
    void setUserName(const std::optional<std::string>& value);
    void setUserEmail(const std::optional<std::string>& value);
    // Write-only: a report never gives these back.
    std::optional<std::string> userIdentifier() const;
    std::optional<std::string> userName() const;
    std::optional<std::string> userEmail() const;

    const CWKeyValueStorage& internalKVStorage() const;
    const CWKeyValueStorage& userKVStorage() const;

private:
    std::map<std::string, std::string> readCustomKeys() const;

    CWInternalReportPtr internalReport_;
    uint32_t internalKVCounter_ = 0;
    uint32_t userKVCounter_ = 0;
    std::string internalCompactedKVFile_;
    std::string internalIncrementalKVFile_;
    std::string userCompactedKVFile_;
    std::string userIncrementalKVFile_;
    CWKeyValueStorage internalStorage_{};
    CWKeyValueStorage userStorage_{};
    bool readOnly_ = false;

    std::optional<std::string> identifer_;
    std::optional<std::optional<std::string>> bundleVersion_;
    std::optional<std::optional<std::string>> bundleShortVersionString_;
    std::optional<std::optional<CWInternalReport::Date>> dateCreated_;
    std::optional<std::optional<CWInternalReport::Date>> crashedOnDate_;
    std::optional<std::optional<std::string>> OSVersion_;
    std::optional<std::optional<std::string>> OSBuildVersion_;
    std::optional<bool> isCrash_;
    std::optional<std::map<std::string, std::string>> customKeys_;
};
