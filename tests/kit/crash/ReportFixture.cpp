#include "ReportFixture.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "kit/crash/crashpath/CWFile.h"

namespace ReportFixture {

void writeRecord(const std::string& path, const std::function<void(CWFile*)>& body)
{
    CWFile file;
    if (!CWFileInit(&file, path.c_str(), true)) {
        return;
    }
    body(&file);
    CWFileWriteObjectClose(&file);
    CWFileWriteLineEnd(&file);
    CWFileClose(&file);
}

void writeMetadata(const std::string& folder, const std::optional<std::string>& sessionId, uint64_t startedAt,
    const std::string& apiKey)
{
    const std::string path = folder + "/metadata.cwrecord";
    writeRecord(path, [&](CWFile* file) {
        CWFileWriteRecordStart(file, "identity");
        CWFileWriteObjectOpen(file);
        CWFileWriteHashString(file, "api_key", apiKey.c_str());
        CWFileWriteHashUnsigned(file, "started_at", startedAt);
        if (sessionId) {
            CWFileWriteHashString(file, "session_id", sessionId->c_str());
        }
        CWFileWriteObjectClose(file);
    });
    writeRecord(path, [](CWFile* file) {
        CWFileWriteRecordStart(file, "host");
        CWFileWriteObjectOpen(file);
        CWFileWriteHashString(file, "os_display_version", "6.1.0");
        CWFileWriteHashString(file, "os_build_version", "#1 SMP Debian 6.1.76-1");
        CWFileWriteObjectClose(file);
    });
    writeRecord(path, [](CWFile* file) {
        CWFileWriteRecordStart(file, "application");
        CWFileWriteObjectOpen(file);
        CWFileWriteHashString(file, "build_version", "412");
        CWFileWriteHashString(file, "display_version", "2.3.1");
        CWFileWriteObjectClose(file);
    });
}

void writeCrash(const std::string& folder, const std::string& kind, std::optional<uint64_t> time,
    const std::vector<std::vector<uint64_t>>& stacks)
{
    const std::string path = folder + "/" + kind + ".cwrecord";
    writeRecord(path, [&](CWFile* file) {
        CWFileWriteRecordStart(file, kind.c_str());
        CWFileWriteObjectOpen(file);
        if (time) {
            CWFileWriteHashUnsigned(file, "time", *time);
        }
        CWFileWriteObjectClose(file);
    });
    writeRecord(path, [&](CWFile* file) {
        CWFileWriteRecordStart(file, "threads");
        CWFileWriteArrayOpen(file);
        for (const auto& stack : stacks) {
            CWFileWriteObjectOpen(file);
            CWFileWriteKey(file, "stacktrace");
            CWFileWriteArrayOpen(file);
            for (const uint64_t address : stack) {
                CWFileWriteArrayUnsigned(file, address);
            }
            CWFileWriteArrayClose(file);
            CWFileWriteObjectClose(file);
        }
        CWFileWriteArrayClose(file);
    });
}

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

TemporaryFolder::TemporaryFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "lumetta-reports-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

TemporaryFolder::~TemporaryFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string TemporaryFolder::folder(const std::string& name) const
{
    const std::string path = path_ + "/" + name;
    std::filesystem::create_directories(path);
    return path;
}

} // namespace ReportFixture
