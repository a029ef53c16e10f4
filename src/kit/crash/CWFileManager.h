#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "kit/crash/CWInternalReport.h"

// The crash kit's folders: "active" report folders of launches, "processing"
// while a later launch symbolicates one, "prepared" packages waiting for
// upload. Every operation logs its failures and answers true only when every
// step succeeded.
class CWFileManager {
public:
    // Root: the user's cache folder, the crash kit's data folder, then the
    // application's bundle identifier, so two applications never share reports.
    CWFileManager();
    // A chosen root (tests).
    explicit CWFileManager(std::string rootPath);

    static std::string defaultRootPath();
    static std::optional<std::string> pathNamespace();

    const std::string& rootPath() const;
    std::string structurePath() const;
    std::string activePath() const;
    std::string pendingPath() const;
    std::string processingPath() const;
    std::string preparedPath() const;
    std::string legacyPath() const;

    bool createDirectoryAtPath(const std::string& path) const;
    bool removeItemAtPath(const std::string& path) const;
    bool removeContentsOfDirectoryAtPath(const std::string& path) const;
    bool moveItemAtPath(const std::optional<std::string>& path, const std::optional<std::string>& directory) const;
    // Stops at the first entry that cannot be moved.
    bool moveItemsFromDirectory(const std::string& from, const std::string& to) const;
    // Entries in name order, hidden ones skipped: the full path and the extension.
    void enumerateFilesInDirectory(const std::string& path,
        const std::function<void(const std::string& path, const std::string& extension)>& block) const;
    std::vector<std::string> contentsOfDirectory(const std::string& path) const;
    std::vector<std::string> activePathContents() const;
    std::vector<std::string> processingPathContents() const;
    std::vector<std::string> preparedPathContents() const;
    std::optional<uint64_t> fileSizeAtPath(const std::string& path) const;

    bool prepareForNewLaunch() const;
    std::optional<std::string> setupNewPathForExecutionIdentifier(const std::string& identifier) const;
    void removeLegacyDirectories() const;
    bool removeContentsOfProcessingPath() const;
    bool removeContentsOfPendingPath() const;
    // Empties every folder even after a failure.
    bool removeContentsOfAllPaths() const;

    void enumerateReportsInProcessingDirectoryUsingBlock(
        const std::function<void(const CWInternalReportPtr& report, const std::string& path)>& block) const;
    void enumerateFilesInActiveDirectoryUsingBlock(
        const std::function<void(const std::string& path, const std::string& extension)>& block) const;
    void enumerateFilesInPreparedDirectoryUsingBlock(
        const std::function<void(const std::string& path, const std::string& extension)>& block) const;
    bool moveProcessingContentsToPrepared() const;
    bool movePendingToProcessing() const;

private:
    std::string rootPath_;
};

// The last path component and its extension ("" when it has none).
std::string CWLastPathComponent(const std::string& path);
std::string CWPathExtension(const std::string& path);
