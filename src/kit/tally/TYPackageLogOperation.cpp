#include "kit/tally/TYPackageLogOperation.h"

#include "kit/core/KBMultipartMimeStreamEncoder.h"
#include "kit/support/KBFiles.h"
#include "kit/tally/TYFileUtils.h"
#include "kit/tally/TYLogger.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

TYPackageLogOperation::TYPackageLogOperation(
    std::string compressedLogURL, std::string packagedLogURL, std::string multipartMimeBoundary)
    : compressedLogURL_(std::move(compressedLogURL))
    , packagedLogURL_(std::move(packagedLogURL))
    , multipartMimeBoundary_(std::move(multipartMimeBoundary))
{
}

std::string TYPackageLogOperation::multipartURLForCompressedURL(
    const std::string& compressedURL, const std::string& boundary)
{
    return TYFileUtils::folderOf(compressedURL) + "/" + boundary + ".multipartmime";
}

void TYPackageLogOperation::main()
{
    if (!TYFileUtils::isRegularFile(compressedLogURL_)) {
        TYLogger::sharedLogger().log("Error: attempting to package nonexistent file: " + compressedLogURL_);
        return;
    }
    const std::string partial = packagedLogURL_ + ".partial";
    if (!writeBatch(partial) || std::rename(partial.c_str(), packagedLogURL_.c_str()) != 0) {
        TYLogger::sharedLogger().log("Failed to package " + compressedLogURL_ + " into " + packagedLogURL_);
        unlink(partial.c_str());
        return;
    }
    KBFiles::syncFolder(TYFileUtils::folderOf(packagedLogURL_));
    packaged_ = true;
}

bool TYPackageLogOperation::writeBatch(const std::string& partial)
{
    const int fd = open(partial.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    auto stream = std::make_shared<KBFileDescriptorOutputStream>(fd);
    auto encoder = KBMultipartMimeStreamEncoder::encoderWithStream(stream, multipartMimeBoundary_);
    bool addedPart = false;
    encoder->encode([&] {
        if (!compressedLogURL_.empty() && TYFileUtils::isRegularFile(compressedLogURL_)) {
            const std::string name = TYFileUtils::fileName(compressedLogURL_);
            encoder->addFile(compressedLogURL_, name, kMimeType, name);
            addedPart = true;
        } else {
            TYLogger::sharedLogger().log("Error packaging: " + compressedLogURL_ + " is an invalid path.");
        }
    });
    const bool synced = fsync(fd) == 0;
    const bool closed = close(fd) == 0;
    return addedPart && !encoder->failed() && synced && closed;
}

bool TYPackageLogOperation::packaged() const
{
    return packaged_;
}

const std::string& TYPackageLogOperation::compressedLogURL() const
{
    return compressedLogURL_;
}

const std::string& TYPackageLogOperation::packagedLogURL() const
{
    return packagedLogURL_;
}

const std::string& TYPackageLogOperation::multipartMimeBoundary() const
{
    return multipartMimeBoundary_;
}
