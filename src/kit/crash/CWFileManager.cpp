#include "kit/crash/CWFileManager.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "kit/core/KBApplicationFacts.h"
#include "kit/support/KBFiles.h"
#include "kit/support/KBIdentifiers.h"
#include "kit/support/KBLog.h"

namespace {

std::string errorText(int error, const std::string& path)
{
    return "Error " + std::to_string(error) + " (" + std::strerror(error) + ") at '" + path + "'";
}

bool isDirectory(const std::string& path)
{
    struct stat status { };
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// mkdir -p with 0755; answers the errno of the step that failed, or 0.
int makeFolders(const std::string& path)
{
    if (path.empty()) {
        return ENOENT;
    }
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string prefix = path.substr(0, slash);
        if (!prefix.empty() && ::mkdir(prefix.c_str(), 0755) != 0 && !(errno == EEXIST && isDirectory(prefix))) {
            return errno == EEXIST ? ENOTDIR : errno;
        }
        if (slash == std::string::npos) {
            return 0;
        }
    }
}

} // namespace

std::string CWLastPathComponent(const std::string& path)
{
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') {
        trimmed.pop_back();
    }
    const auto slash = trimmed.find_last_of('/');
    return slash == std::string::npos || trimmed.size() == 1 ? trimmed : trimmed.substr(slash + 1);
}

std::string CWPathExtension(const std::string& path)
{
    const std::string name = CWLastPathComponent(path);
    const auto dot = name.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot + 1);
}

CWFileManager::CWFileManager()
    : rootPath_(defaultRootPath())
{
}

CWFileManager::CWFileManager(std::string rootPath)
    : rootPath_(std::move(rootPath))
{
}

std::optional<std::string> CWFileManager::pathNamespace()
{
    return KBEscapedBundleIdentifier();
}

std::string CWFileManager::defaultRootPath()
{
    std::string root = KBFiles::cacheHome() + "/" + kb::kCrashDataFolder;
    if (const auto name = pathNamespace(); name && !name->empty()) {
        root += "/" + *name;
    }
    return root;
}

const std::string& CWFileManager::rootPath() const
{
    return rootPath_;
}

std::string CWFileManager::structurePath() const
{
    return rootPath_ + "/v3";
}

std::string CWFileManager::activePath() const
{
    return structurePath() + "/active";
}

std::string CWFileManager::pendingPath() const
{
    return structurePath() + "/pending";
}

std::string CWFileManager::processingPath() const
{
    return structurePath() + "/processing";
}

std::string CWFileManager::preparedPath() const
{
    return structurePath() + "/prepared";
}

std::string CWFileManager::legacyPath() const
{
    return rootPath_ + "/sendable";
}

bool CWFileManager::createDirectoryAtPath(const std::string& path) const
{
    if (const int error = makeFolders(path); error != 0) {
        KBLog::info("[FileManager] Unable to create directory " + errorText(error, path));
        return false;
    }
    return true;
}

bool CWFileManager::removeItemAtPath(const std::string& path) const
{
    std::error_code error;
    std::filesystem::remove_all(path, error);
    if (error) {
        KBLog::info("[FileManager] Failed to remove file '" + path + "' : " + error.message());
        return false;
    }
    return true;
}

bool CWFileManager::removeContentsOfDirectoryAtPath(const std::string& path) const
{
    bool removedAll = true;
    for (const std::string& entry : contentsOfDirectory(path)) {
        removedAll = removeItemAtPath(entry) && removedAll;
    }
    return removedAll;
}

bool CWFileManager::moveItemAtPath(
    const std::optional<std::string>& path, const std::optional<std::string>& directory) const
{
    if (!path || !directory) {
        KBLog::info("[FileManager] Failed to move file, inputs invalid");
        return false;
    }
    const std::string destination = *directory + "/" + CWLastPathComponent(*path);
    if (std::rename(path->c_str(), destination.c_str()) != 0) {
        KBLog::info("[FileManager] Failed to move file: " + errorText(errno, *path + "' to '" + destination));
        return false;
    }
    return true;
}

bool CWFileManager::moveItemsFromDirectory(const std::string& from, const std::string& to) const
{
    for (const std::string& entry : contentsOfDirectory(from)) {
        if (!moveItemAtPath(entry, to)) {
            return false;
        }
    }
    return true;
}

void CWFileManager::enumerateFilesInDirectory(const std::string& path,
    const std::function<void(const std::string& path, const std::string& extension)>& block) const
{
    DIR* folder = ::opendir(path.c_str());
    if (folder == nullptr) {
        return;
    }
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(folder)) {
        if (entry->d_name[0] != '.') {
            names.emplace_back(entry->d_name);
        }
    }
    ::closedir(folder);
    // The system lists in no particular order; name order makes packages and runs repeatable.
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        block(path + "/" + name, CWPathExtension(name));
    }
}

std::vector<std::string> CWFileManager::contentsOfDirectory(const std::string& path) const
{
    std::vector<std::string> paths;
    enumerateFilesInDirectory(path, [&paths](const std::string& entry, const std::string&) { paths.push_back(entry); });
    return paths;
}

std::vector<std::string> CWFileManager::activePathContents() const
{
    return contentsOfDirectory(activePath());
}

std::vector<std::string> CWFileManager::processingPathContents() const
{
    return contentsOfDirectory(processingPath());
}

std::vector<std::string> CWFileManager::preparedPathContents() const
{
    return contentsOfDirectory(preparedPath());
}

std::optional<uint64_t> CWFileManager::fileSizeAtPath(const std::string& path) const
{
    struct stat status { };
    if (::stat(path.c_str(), &status) != 0) {
        KBLog::info("[Client] Unable to read file size: " + errorText(errno, path));
        return std::nullopt;
    }
    return static_cast<uint64_t>(status.st_size);
}

bool CWFileManager::prepareForNewLaunch() const
{
    return createDirectoryAtPath(activePath()) && createDirectoryAtPath(processingPath())
        && createDirectoryAtPath(preparedPath());
}

std::optional<std::string> CWFileManager::setupNewPathForExecutionIdentifier(const std::string& identifier) const
{
    const std::string path = activePath() + "/" + identifier;
    if (!createDirectoryAtPath(path)) {
        return std::nullopt;
    }
    return path;
}

void CWFileManager::removeLegacyDirectories() const
{
    struct stat status { };
    if (::lstat(legacyPath().c_str(), &status) != 0) {
        return;
    }
    std::error_code error;
    std::filesystem::remove_all(rootPath_, error);
    if (error) {
        KBLog::info("[Crashwatch:FileManager] Unable to remove legacy directory structure " + error.message());
        return;
    }
    KBLog::info("[Crashwatch:FileManager] Removed legacy structure at " + rootPath_);
}

bool CWFileManager::removeContentsOfProcessingPath() const
{
    return removeContentsOfDirectoryAtPath(processingPath());
}

bool CWFileManager::removeContentsOfPendingPath() const
{
    return removeContentsOfDirectoryAtPath(pendingPath());
}

bool CWFileManager::removeContentsOfAllPaths() const
{
    bool removedAll = removeContentsOfProcessingPath();
    removedAll = removeContentsOfPendingPath() && removedAll;
    removedAll = removeContentsOfDirectoryAtPath(preparedPath()) && removedAll;
    removedAll = removeContentsOfDirectoryAtPath(activePath()) && removedAll;
    return removedAll;
}

void CWFileManager::enumerateReportsInProcessingDirectoryUsingBlock(
    const std::function<void(const CWInternalReportPtr& report, const std::string& path)>& block) const
{
    for (const std::string& entry : processingPathContents()) {
        block(CWInternalReport::reportWithPath(entry), entry);
    }
}

void CWFileManager::enumerateFilesInActiveDirectoryUsingBlock(
    const std::function<void(const std::string& path, const std::string& extension)>& block) const
{
    enumerateFilesInDirectory(activePath(), block);
}

void CWFileManager::enumerateFilesInPreparedDirectoryUsingBlock(
    const std::function<void(const std::string& path, const std::string& extension)>& block) const
{
    enumerateFilesInDirectory(preparedPath(), block);
}

bool CWFileManager::moveProcessingContentsToPrepared() const
{
    return moveItemsFromDirectory(processingPath(), preparedPath());
}

bool CWFileManager::movePendingToProcessing() const
{
    return moveItemsFromDirectory(pendingPath(), processingPath());
}
