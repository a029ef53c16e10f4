#include "kit/tally/TYRotateCrashMetadataOperation.h"

#include "kit/support/KBClock.h"
#include "kit/tally/TYLogger.h"

#include <cstdio>
#include <sys/stat.h>

TYRotateCrashMetadataOperation::TYRotateCrashMetadataOperation(
    std::string crashMetadataURL, std::shared_ptr<TYMetadata> currentMetadata)
    : crashMetadataURL_(std::move(crashMetadataURL))
    , currentMetadata_(std::move(currentMetadata))
{
    if (currentMetadata_) {
        const double now = KBClock::shared()->wallSeconds();
        currentMetadataDictionary_
            = currentMetadata_->dictionaryRepresentationWithStartTime(now > 0.0 ? static_cast<uint64_t>(now) : 0);
    }
}

void TYRotateCrashMetadataOperation::main()
{
    struct stat info { };
    if (stat(crashMetadataURL_.c_str(), &info) == 0) {
        crashMetadata_
            = std::make_shared<TYCrashMetadata>(TYCrashMetadata::readSerializedDictionaryFromURL(crashMetadataURL_));
        std::remove(crashMetadataURL_.c_str());
    } else {
        crashMetadata_ = std::make_shared<TYCrashMetadata>(nlohmann::ordered_json::object());
    }
    if (currentMetadataDictionary_
        && !TYCrashMetadata::writeSerializedDictionary(*currentMetadataDictionary_, crashMetadataURL_)) {
        TYLogger::sharedLogger().log("Failed to write metadata to " + crashMetadataURL_);
    }
}

const std::shared_ptr<TYCrashMetadata>& TYRotateCrashMetadataOperation::crashMetadata() const
{
    return crashMetadata_;
}

const std::string& TYRotateCrashMetadataOperation::crashMetadataURL() const
{
    return crashMetadataURL_;
}

const std::shared_ptr<TYMetadata>& TYRotateCrashMetadataOperation::currentMetadata() const
{
    return currentMetadata_;
}

const std::optional<nlohmann::ordered_json>& TYRotateCrashMetadataOperation::currentMetadataDictionary() const
{
    return currentMetadataDictionary_;
}
