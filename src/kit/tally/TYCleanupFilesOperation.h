#pragma once

#include "kit/support/KBOperation.h"

#include <cstdint>
#include <functional>
#include <set>
#include <string>

// Tidies the events folder left by earlier runs: anything that is not a log,
// a compressed log or a batch goes (".partial" leftovers included); a log and
// its compressed form leave only the log, to be compressed again; only the
// newest batches up to the limit are kept. Hands on what is left.
class TYCleanupFilesOperation : public KBOperation {
public:
    using SuccessBlock = std::function<void(const std::set<std::string>& logs, const std::set<std::string>& compressed,
        const std::set<std::string>& batches)>;

    TYCleanupFilesOperation(std::string directoryUrl, int64_t maximumPendingMultipartFiles);

    // Newest first by creation date; the rest are removed.
    static std::set<std::string> URLsByRemovingOldFiles(const std::set<std::string>& files, int64_t maximumFileCount);

    void setSuccessBlock(SuccessBlock block);
    const std::string& directoryUrl() const;
    int64_t maximumPendingMultipartFiles() const;

protected:
    void main() override;

private:
    std::string directoryUrl_;
    int64_t maximumPendingMultipartFiles_;
    SuccessBlock successBlock_;
};
