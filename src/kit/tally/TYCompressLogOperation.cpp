#include "kit/tally/TYCompressLogOperation.h"

#include "kit/support/KBFiles.h"
#include "kit/tally/TYFileUtils.h"
#include "kit/tally/TYLogger.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>

TYCompressLogOperation::TYCompressLogOperation(std::string uncompressedLogURL, std::string compressedLogURL)
    : uncompressedLogURL_(std::move(uncompressedLogURL))
    , compressedLogURL_(std::move(compressedLogURL))
{
}

std::string TYCompressLogOperation::compressedURLForUncompressedURL(const std::string& url)
{
    return TYFileUtils::replacingExtension(url, "gz");
}

void TYCompressLogOperation::main()
{
    auto& logger = TYLogger::sharedLogger();
    if (!TYFileUtils::isRegularFile(uncompressedLogURL_)) {
        logger.log("Error: attempting to compress nonexistent file: " + uncompressedLogURL_);
        outcome_ = Outcome::Missing;
        return;
    }
    // A ".gz" only ever appears whole, so one already there is this log's.
    struct stat info { };
    if (lstat(compressedLogURL_.c_str(), &info) == 0) {
        outcome_ = S_ISREG(info.st_mode) ? Outcome::Compressed : Outcome::Failed;
        return;
    }
    std::optional<std::string> bytes = KBFiles::read(uncompressedLogURL_);
    if (!bytes) {
        logger.log("Failed to compress file at " + compressedLogURL_);
        outcome_ = Outcome::Failed;
        return;
    }
    // A line cut off by a kill mid-append is dropped.
    const size_t lastLineEnd = bytes->rfind('\n');
    if (lastLineEnd == std::string::npos) {
        outcome_ = Outcome::NothingToSend;
        return;
    }
    bytes->resize(lastLineEnd + 1);
    const std::string partial = compressedLogURL_ + ".partial";
    if (!writeCompressed(*bytes, partial) || std::rename(partial.c_str(), compressedLogURL_.c_str()) != 0) {
        logger.log("Failed to compress file at " + compressedLogURL_);
        unlink(partial.c_str());
        outcome_ = Outcome::Failed;
        return;
    }
    KBFiles::syncFolder(TYFileUtils::folderOf(compressedLogURL_));
    outcome_ = Outcome::Compressed;
}

bool TYCompressLogOperation::writeCompressed(const std::string& bytes, const std::string& partial)
{
    const int fd = open(partial.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    gzFile file = gzdopen(dup(fd), "w");
    if (file == nullptr) {
        close(fd);
        return false;
    }
    const int written = gzwrite(file, bytes.data(), static_cast<unsigned>(bytes.size()));
    const bool closed = gzclose(file) == Z_OK;
    const bool synced = fsync(fd) == 0;
    close(fd);
    return written == static_cast<int>(bytes.size()) && closed && synced;
}

TYCompressLogOperation::Outcome TYCompressLogOperation::outcome() const
{
    return outcome_;
}

bool TYCompressLogOperation::logConsumed() const
{
    return outcome_ == Outcome::Compressed || outcome_ == Outcome::NothingToSend;
}

const std::string& TYCompressLogOperation::uncompressedLogURL() const
{
    return uncompressedLogURL_;
}

const std::string& TYCompressLogOperation::compressedLogURL() const
{
    return compressedLogURL_;
}
