#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct CWFile;

// Report folders as a crashed launch leaves them, written with the crash
// path's own record writer.
namespace ReportFixture {

// Appends one line to a record file.
void writeRecord(const std::string& path, const std::function<void(CWFile*)>& body);
// "metadata.cwrecord": identity (with or without a session), host and application.
void writeMetadata(const std::string& folder, const std::optional<std::string>& sessionId,
    uint64_t startedAt = 1700000000, const std::string& apiKey = "0123456789abcdef0123456789abcdef01234567");
// A crash file: the crash record of `kind` with its "time", then the threads' stacks.
void writeCrash(const std::string& folder, const std::string& kind, std::optional<uint64_t> time,
    const std::vector<std::vector<uint64_t>>& stacks = {});
void writeFile(const std::string& path, const std::string& bytes);
std::string readFile(const std::string& path);

// A fresh folder under the system's temporary folder, removed with the object.
class TemporaryFolder {
public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    const std::string& path() const { return path_; }
    // A sub-folder, made with its parents.
    std::string folder(const std::string& name) const;

private:
    std::string path_;
};

} // namespace ReportFixture
