#pragma once

#include "kit/support/KBOperation.h"
#include "kit/tally/TYUploader.h"

#include <memory>
#include <string>

// Builds the POST of one batch (the batch file is the body) and hands it to
// the uploader.
class TYUploadOperation : public KBOperation {
public:
    static constexpr const char* kUserAgent = "Tally Linux SDK/1.3.4";
    static constexpr const char* kClientType = "Tally Linux SDK";

    TYUploadOperation(std::shared_ptr<TYUploader> uploader, std::string tallyURL, std::string apiKey,
        std::string multipartURL, std::string multipartMimeBoundary);

    KBURLRequest request() const;
    // Whole seconds since 1970 on the kit clock, when the operation runs.
    static std::string currentTimestampString();

    const std::shared_ptr<TYUploader>& uploader() const;
    const std::string& tallyURL() const;
    const std::string& apiKey() const;
    const std::string& multipartURL() const;
    const std::string& multipartMimeBoundary() const;

protected:
    void main() override;

private:
    std::shared_ptr<TYUploader> uploader_;
    std::string tallyURL_;
    std::string apiKey_;
    std::string multipartURL_;
    std::string multipartMimeBoundary_;
};
