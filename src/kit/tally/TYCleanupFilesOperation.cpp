#include "kit/tally/TYCleanupFilesOperation.h"

#include "kit/tally/TYFileUtils.h"
#include "kit/tally/TYLogger.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <unistd.h>
#include <vector>

TYCleanupFilesOperation::TYCleanupFilesOperation(std::string directoryUrl, int64_t maximumPendingMultipartFiles)
    : directoryUrl_(std::move(directoryUrl))
    , maximumPendingMultipartFiles_(maximumPendingMultipartFiles)
{
}

void TYCleanupFilesOperation::main()
{
    std::map<std::string, std::string> logs;
    std::map<std::string, std::string> compressed;
    std::map<std::string, std::string> batches;
    for (const std::string& file : TYFileUtils::allFilesInDirectory(directoryUrl_)) {
        const std::string extension = TYFileUtils::extension(file);
        const std::string base = TYFileUtils::baseName(file);
        if (extension == "log") {
            logs[base] = file;
        } else if (extension == "gz") {
            compressed[base] = file;
        } else if (extension == "multipartmime") {
            batches[base] = file;
        } else {
            std::error_code ignored;
            std::filesystem::remove_all(file, ignored);
        }
    }
    for (const auto& [base, log] : logs) {
        const auto found = compressed.find(base);
        if (found == compressed.end()) {
            continue;
        }
        if (unlink(found->second.c_str()) != 0) {
            TYLogger::sharedLogger().logWithLabel(
                "CleanupOperation", "Failed to remove " + found->second + ": " + std::strerror(errno));
        }
        compressed.erase(found);
    }
    const auto values = [](const std::map<std::string, std::string>& map) {
        std::set<std::string> paths;
        for (const auto& entry : map) {
            paths.insert(entry.second);
        }
        return paths;
    };
    const std::set<std::string> kept = URLsByRemovingOldFiles(values(batches), maximumPendingMultipartFiles_);
    if (successBlock_) {
        successBlock_(values(logs), values(compressed), kept);
    }
}

std::set<std::string> TYCleanupFilesOperation::URLsByRemovingOldFiles(
    const std::set<std::string>& files, int64_t maximumFileCount)
{
    const size_t maximum = maximumFileCount > 0 ? static_cast<size_t>(maximumFileCount) : 0;
    if (files.size() <= maximum) {
        return files;
    }
    // A file whose date cannot be read counts as the oldest.
    std::vector<std::pair<double, std::string>> dated;
    for (const std::string& file : files) {
        dated.emplace_back(TYFileUtils::fileCreatedDateAtURL(file, -1e300), file);
    }
    std::stable_sort(dated.begin(), dated.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::set<std::string> kept;
    for (size_t i = 0; i < dated.size(); ++i) {
        if (i < maximum) {
            kept.insert(dated[i].second);
        } else {
            unlink(dated[i].second.c_str());
        }
    }
    return kept;
}

void TYCleanupFilesOperation::setSuccessBlock(SuccessBlock block)
{
    successBlock_ = std::move(block);
}

const std::string& TYCleanupFilesOperation::directoryUrl() const
{
    return directoryUrl_;
}

int64_t TYCleanupFilesOperation::maximumPendingMultipartFiles() const
{
    return maximumPendingMultipartFiles_;
}
