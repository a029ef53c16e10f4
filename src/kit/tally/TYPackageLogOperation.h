#pragma once

#include "kit/support/KBOperation.h"

#include <string>

// Wraps a compressed log into a multipart batch named after its boundary.
// The batch appears only whole and only when the encoder took every byte.
class TYPackageLogOperation : public KBOperation {
public:
    static constexpr const char* kMimeType = "application/vnd.crashwatch.linux.events";

    TYPackageLogOperation(std::string compressedLogURL, std::string packagedLogURL, std::string multipartMimeBoundary);
    static std::string multipartURLForCompressedURL(const std::string& compressedURL, const std::string& boundary);

    // True once a whole batch is in place: the compressed log may go.
    bool packaged() const;
    const std::string& compressedLogURL() const;
    const std::string& packagedLogURL() const;
    const std::string& multipartMimeBoundary() const;

protected:
    void main() override;

private:
    bool writeBatch(const std::string& partial);

    std::string compressedLogURL_;
    std::string packagedLogURL_;
    std::string multipartMimeBoundary_;
    bool packaged_ = false;
};
