#include "kit/crash/CWPackageReportOperation.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>

#include "kit/core/KBApplicationFacts.h"
#include "kit/crash/crashpath/CWFile.h"
#include "kit/crash/crashpath/CWSDKLog.h"
#include "kit/support/KBFiles.h"
#include "kit/support/KBLog.h"

namespace {

ssize_t writeToGZFile(void* context, const char* bytes, size_t length)
{
    auto file = static_cast<gzFile>(context);
    const unsigned chunk = length > INT_MAX ? INT_MAX : static_cast<unsigned>(length);
    const int written = gzwrite(file, bytes, chunk);
    if (written == 0) {
        int number = 0;
        const char* text = gzerror(file, &number);
        CWLOG_ERROR("Error: failed to write compressed bytes %d, %s, %s \n", number, text, strerror(errno));
        return -1;
    }
    return written;
}

// At most `limit` bytes of a regular file, opened without following a link;
// nothing for a link, a folder, a device or a pipe. A longer file is cut at
// its last line end within the limit, so that its records stay whole.
std::optional<std::string> readRegularFile(const std::string& path, size_t limit)
{
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (descriptor < 0) {
        return std::nullopt;
    }
    struct stat status { };
    std::optional<std::string> data;
    if (::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode)) {
        std::string bytes(std::min<size_t>(limit, static_cast<size_t>(status.st_size)) + 1, '\0');
        size_t filled = 0;
        ssize_t got = 0;
        while (filled < bytes.size() && (got = ::read(descriptor, &bytes[filled], bytes.size() - filled)) != 0) {
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                break;
            }
            filled += static_cast<size_t>(got);
        }
        if (got >= 0) {
            bytes.resize(filled);
            if (bytes.size() > limit) {
                const size_t lineEnd = bytes.rfind('\n', limit - 1);
                bytes.resize(lineEnd == std::string::npos ? limit : lineEnd + 1);
                CWLOG_WARN("Warning: %s is cut to %u bytes\n", CWLastPathComponent(path).c_str(),
                    static_cast<uint32_t>(bytes.size()));
            }
            data = std::move(bytes);
        }
    }
    ::close(descriptor);
    return data;
}

} // namespace

CWPackageReportOperation::CWPackageReportOperation(
    CWInternalReportPtr report, std::shared_ptr<const CWFileManager> fileManager)
    : report_(std::move(report))
    , fileManager_(std::move(fileManager))
{
}

const std::optional<std::string>& CWPackageReportOperation::finalPath() const
{
    return finalPath_;
}

std::string CWPackageReportOperation::reportPath() const
{
    return report_->path();
}

std::string CWPackageReportOperation::destinationDirectory() const
{
    return fileManager_->preparedPath();
}

std::string CWPackageReportOperation::packagedPathWithName(const std::string& boundary) const
{
    return destinationDirectory() + "/" + boundary + ".multipartmime";
}

std::shared_ptr<KBOutputStream> CWPackageReportOperation::streamForPackage(std::shared_ptr<KBOutputStream> fileStream)
{
    return fileStream;
}

void CWPackageReportOperation::main()
{
    finalPath_.reset();
    const std::string boundary = KBMultipartMimeStreamEncoder::generateBoundary();
    const std::string packagePath = packagedPathWithName(boundary);
    const std::string identifier = report_->identifier();
    const std::optional<std::string> apiKey = report_->APIKey();

    const int descriptor = ::open(packagePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (descriptor < 0) {
        KBLog::info("[Crashwatch:Crash:Reports] Unable to open package " + packagePath + ": " + std::strerror(errno));
        return;
    }
    const auto encoder = KBMultipartMimeStreamEncoder::encoderWithStream(
        streamForPackage(std::make_shared<KBFileDescriptorOutputStream>(descriptor)), boundary);
    if (encoder) {
        encoder->encode([&] {
            if (apiKey) {
                encoder->addValue(*apiKey, "api_key");
            }
            encoder->addValue(identifier, "report_id");
            addReportFiles(*encoder);
        });
    }
    // A package cut short by a full disk would be refused by the service at every
    // try while its report is gone: only a whole, flushed package counts.
    const bool whole = encoder && !encoder->failed();
    const bool flushed = ::fsync(descriptor) == 0;
    const bool closed = ::close(descriptor) == 0;
    if (isCancelled() || !whole || !flushed || !closed) {
        if (!isCancelled()) {
            KBLog::info("[Crashwatch:Crash:Reports] Unable to write package " + packagePath);
        }
        ::unlink(packagePath.c_str());
        return;
    }
    KBFiles::syncFolder(destinationDirectory());
    finalPath_ = packagePath;
}

void CWPackageReportOperation::addReportFiles(KBMultipartMimeStreamEncoder& encoder) const
{
    // Listed once, before the first compressed file appears beside its source.
    // Only the files the kit itself writes travel, and only as regular files:
    // anything else placed in the folder (a link to a system file) stays home.
    fileManager_->enumerateFilesInDirectory(reportPath(), [&](const std::string& path, const std::string&) {
        if (isCancelled() || !CWInternalReport::isContentFilename(CWLastPathComponent(path))) {
            return;
        }
        const auto data = readRegularFile(path, kMaximumFileBytes);
        if (!data || data->empty()) {
            CWLOG_ERROR("Error: unable to read data for compression: %s\n", CWLastPathComponent(path).c_str());
            return;
        }
        encode(encoder, *data, path);
    });
}

void CWPackageReportOperation::encode(
    KBMultipartMimeStreamEncoder& encoder, const std::string& data, const std::string& path) const
{
    if (path.empty()) {
        CWLOG_ERROR("Error: path is invalid\n");
        return;
    }
    const std::string compressedPath = path + ".gz";
    const std::string fileName = CWLastPathComponent(compressedPath);
    const std::string fieldName = CWLastPathComponent(path);
    if (compressData(data, compressedPath)) {
        if (const auto compressed = readRegularFile(compressedPath, SIZE_MAX)) {
            encoder.addFileData(compressed, fileName, "application/x-gzip", fieldName);
            return;
        }
    }
    CWLOG_ERROR("Error: compression failed for %s\n", fileName.c_str());
    encoder.addFileData(data, fileName, "text/plain", fieldName);
}

bool CWPackageReportOperation::compressData(const std::string& data, const std::string& path) const
{
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    gzFile file = descriptor >= 0 ? gzdopen(descriptor, "w") : nullptr;
    if (file == nullptr) {
        if (descriptor >= 0) {
            ::close(descriptor);
        }
        CWLOG_ERROR("Error: unable to open file for compression %s\n", strerror(errno));
        return false;
    }
    bool result = !data.empty();
    KBEnumerateByteRanges(data.data(), data.size(), [&](const void* bytes, size_t, size_t length, bool& stop) {
        if (!writeBytes(bytes, length, file)) {
            result = false;
            stop = true;
        }
    });
    // The last bytes reach the file only at close; a close that fails leaves a cut stream.
    const bool closed = gzclose(file) == Z_OK;
    return result && closed;
}

bool CWPackageReportOperation::writeBytes(const void* bytes, size_t length, gzFile file)
{
    return CWFileLoopWithWriteBlock(static_cast<const char*>(bytes), length, CWWriteBlock{writeToGZFile, file});
}
