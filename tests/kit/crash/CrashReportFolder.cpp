#include "CrashReportFolder.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "kit/crash/CWContextInitialize.h"
#include "kit/crash/CWRecordReader.h"
#include "kit/support/KBSerialQueue.h"

CWContextConfiguration CrashReportFolder::defaultConfiguration()
{
    CWContextConfiguration configuration;
    configuration.apiKey = "0123456789abcdef0123456789abcdef01234567";
    configuration.reportIdentifier = "8b1f2c3d4e5f60718293a4b5c6d7e8f9";
    configuration.installIdentifier = "6F3A1D52-8C0B-4E7A-9B1E-2D4C5F6A7B8C";
    configuration.errorReportingEnabled = 1;
    configuration.customExceptionsEnabled = 1;
    configuration.maxCustomExceptions = 8;
    configuration.logBufferSize = 65536;
    configuration.maxCustomKeys = 64;
    return configuration;
}

CrashReportFolder::CrashReportFolder(bool initialize, CWContextConfiguration configuration)
{
    std::string pattern = (std::filesystem::temp_directory_path() / "lumetta-report-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    if (initialize) {
        configuration.reportPath = path_.c_str();
        CWContextInitialize(&configuration);
    }
}

CrashReportFolder::~CrashReportFolder()
{
    drainLoggingQueue();
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string CrashReportFolder::file(const std::string& name) const
{
    return path_ + "/" + name;
}

bool CrashReportFolder::exists(const std::string& name) const
{
    return std::filesystem::exists(file(name));
}

std::string CrashReportFolder::read(const std::string& name) const
{
    std::ifstream in(file(name), std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::vector<nlohmann::json> CrashReportFolder::records(const std::string& name, const std::string& kind) const
{
    return CWFileReadSections(file(name).c_str(), false, CWRecordKindFilter(kind))
        .value_or(std::vector<nlohmann::json>());
}

void CrashReportFolder::drainLoggingQueue()
{
    // Twice: a block that ran may itself have queued one more (a compaction or a swap check).
    CWContextLoggingQueue()->sync([] {});
    CWContextLoggingQueue()->sync([] {});
}
