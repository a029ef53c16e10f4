#include "kit/tally/TYUploadOperation.h"

#include "kit/core/KBMultipartMimeStreamEncoder.h"
#include "kit/support/KBClock.h"
#include "kit/support/KBIdentifiers.h"
#include "kit/tally/TYFileUtils.h"
#include "kit/tally/TYLogger.h"

#include <sys/stat.h>

TYUploadOperation::TYUploadOperation(std::shared_ptr<TYUploader> uploader, std::string tallyURL, std::string apiKey,
    std::string multipartURL, std::string multipartMimeBoundary)
    : uploader_(std::move(uploader))
    , tallyURL_(std::move(tallyURL))
    , apiKey_(std::move(apiKey))
    , multipartURL_(std::move(multipartURL))
    , multipartMimeBoundary_(std::move(multipartMimeBoundary))
{
}

std::string TYUploadOperation::currentTimestampString()
{
    const double now = KBClock::shared()->wallSeconds();
    return std::to_string(now > 0.0 ? static_cast<uint64_t>(now) : 0);
}

KBURLRequest TYUploadOperation::request() const
{
    KBURLRequest request;
    request.method = "POST";
    request.url = tallyURL_;
    struct stat info { };
    const std::string length = stat(multipartURL_.c_str(), &info) == 0 ? std::to_string(info.st_size) : "0";
    request.setHeader(
        "Content-Type", KBMultipartMimeStreamEncoder::contentTypeHTTPHeaderValueWithBoundary(multipartMimeBoundary_));
    request.setHeader("Content-Length", length);
    request.setHeader("User-Agent", kUserAgent);
    request.setHeader("X-CRASHWATCH-DEVELOPER-TOKEN", kb::kDeveloperToken);
    request.setHeader("X-CRASHWATCH-API-CLIENT-TYPE", kClientType);
    request.setHeader("X-CRASHWATCH-API-CLIENT-VERSION", "26");
    request.setHeader("X-CRASHWATCH-API-CLIENT-DISPLAY-VERSION", "1.3.4");
    request.setHeader("X-CRASHWATCH-API-CLIENT-BUILD-VERSION", "26");
    request.setHeader("X-CRASHWATCH-API-KEY", apiKey_);
    request.setHeader("X-Crashwatch-Api-Client-Packaged-Timestamp", currentTimestampString());
    return request;
}

void TYUploadOperation::main()
{
    const std::string uniqueName = TYFileUtils::baseName(multipartURL_);
    TYLogger::sharedLogger().log("Transmitting packaged events for '" + uniqueName + "'.");
    uploader_->startUploadRequest(request(), multipartURL_, uniqueName);
}

const std::shared_ptr<TYUploader>& TYUploadOperation::uploader() const
{
    return uploader_;
}

const std::string& TYUploadOperation::tallyURL() const
{
    return tallyURL_;
}

const std::string& TYUploadOperation::apiKey() const
{
    return apiKey_;
}

const std::string& TYUploadOperation::multipartURL() const
{
    return multipartURL_;
}

const std::string& TYUploadOperation::multipartMimeBoundary() const
{
    return multipartMimeBoundary_;
}
