#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "kit/crash/CWContextConfiguration.h"

// A fresh report folder with the crash context initialized on it, as the report
// controller sets it up at launch. Removed again when the test ends.
class CrashReportFolder {
public:
    static CWContextConfiguration defaultConfiguration();

    explicit CrashReportFolder(bool initialize = true, CWContextConfiguration configuration = defaultConfiguration());
    ~CrashReportFolder();
    CrashReportFolder(const CrashReportFolder&) = delete;
    CrashReportFolder& operator=(const CrashReportFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const;
    bool exists(const std::string& name) const;
    // The file's bytes; empty when missing.
    std::string read(const std::string& name) const;
    // The values of the records of one kind, in file order.
    std::vector<nlohmann::json> records(const std::string& name, const std::string& kind) const;
    // Waits until every block queued on the logging queue so far has run.
    static void drainLoggingQueue();

private:
    std::string path_;
};
