#pragma once

#include <zlib.h>

#include <memory>
#include <optional>
#include <string>

#include "kit/core/KBMultipartMimeStreamEncoder.h"
#include "kit/crash/CWFileManager.h"
#include "kit/crash/CWInternalReport.h"
#include "kit/support/KBOperation.h"

// Wraps a report folder into one upload package in "prepared": the API key,
// the report's identifier and every file of the report's own names that is a
// regular file (at most kMaximumFileBytes of each), gzip-compressed, as a
// multipart body in a file named after its boundary. A package that could not
// be written whole is removed, and the folder stays for the next launch.
class CWPackageReportOperation : public KBOperation {
public:
    CWPackageReportOperation(CWInternalReportPtr report, std::shared_ptr<const CWFileManager> fileManager);

    static constexpr size_t kMaximumFileBytes = 8 * 1024 * 1024;

    // The package written, or nothing.
    const std::optional<std::string>& finalPath() const;

    bool compressData(const std::string& data, const std::string& path) const;
    static bool writeBytes(const void* bytes, size_t length, gzFile file);
    void encode(KBMultipartMimeStreamEncoder& encoder, const std::string& data, const std::string& path) const;
    std::string packagedPathWithName(const std::string& boundary) const;
    std::string reportPath() const;
    std::string destinationDirectory() const;

protected:
    void main() override;
    // The sink the package goes through; the file stream unless a test puts one in front.
    virtual std::shared_ptr<KBOutputStream> streamForPackage(std::shared_ptr<KBOutputStream> fileStream);

private:
    void addReportFiles(KBMultipartMimeStreamEncoder& encoder) const;

    CWInternalReportPtr report_;
    std::shared_ptr<const CWFileManager> fileManager_;
    std::optional<std::string> finalPath_;
};
