#include "kit/tally/TYFileUtils.h"

#include "kit/tally/TYLogger.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <mutex>

namespace {

std::mutex readerMutex;

TYFileUtils::CreationDateReader& installedReader()
{
    static TYFileUtils::CreationDateReader reader;
    return reader;
}

std::optional<double> systemCreationDate(const std::string& path)
{
    struct statx info { };
    if (statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME | STATX_MTIME, &info) != 0) {
        return std::nullopt;
    }
    const auto seconds = [](const statx_timestamp& t) { return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9; };
    if ((info.stx_mask & STATX_BTIME) != 0) {
        return seconds(info.stx_btime);
    }
    if ((info.stx_mask & STATX_MTIME) != 0) {
        return seconds(info.stx_mtime);
    }
    return std::nullopt;
}

} // namespace

std::set<std::string> TYFileUtils::allFilesInDirectory(const std::string& directory)
{
    std::set<std::string> files;
    std::error_code error;
    std::filesystem::directory_iterator entries(directory, error);
    if (error) {
        TYLogger::sharedLogger().log("Unable to read contents of " + directory + ": " + error.message());
        return files;
    }
    for (const auto& entry : entries) {
        files.insert(entry.path().string());
    }
    return files;
}

std::set<std::string> TYFileUtils::filesWithExtension(const std::string& extensionWanted, const std::string& directory)
{
    std::set<std::string> files;
    for (const auto& file : allFilesInDirectory(directory)) {
        if (extension(file) == extensionWanted) {
            files.insert(file);
        }
    }
    return files;
}

uint64_t TYFileUtils::fileSizeAtURL(const std::string& path)
{
    struct stat info { };
    if (stat(path.c_str(), &info) != 0) {
        return 0;
    }
    return static_cast<uint64_t>(info.st_size);
}

double TYFileUtils::fileCreatedDateAtURL(const std::string& path, double defaultDate)
{
    CreationDateReader reader;
    {
        std::lock_guard lock(readerMutex);
        reader = installedReader();
    }
    const std::optional<double> date = reader ? reader(path) : systemCreationDate(path);
    return date.value_or(defaultDate);
}

void TYFileUtils::setCreationDateReader(CreationDateReader reader)
{
    std::lock_guard lock(readerMutex);
    installedReader() = std::move(reader);
}

std::string TYFileUtils::extension(const std::string& path)
{
    const std::string name = fileName(path);
    const size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot + 1);
}

std::string TYFileUtils::baseName(const std::string& path)
{
    const std::string name = fileName(path);
    const size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

std::string TYFileUtils::fileName(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string TYFileUtils::folderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string TYFileUtils::replacingExtension(const std::string& path, const std::string& newExtension)
{
    const std::string folder = path.find('/') == std::string::npos ? std::string() : folderOf(path) + "/";
    return folder + baseName(path) + "." + newExtension;
}

bool TYFileUtils::isRegularFile(const std::string& path)
{
    struct stat info { };
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}
