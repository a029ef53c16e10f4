#pragma once

#include <memory>
#include <string>

#include "kit/crash/CWInternalReport.h"
#include "kit/crash/CWStackFrame.h"
#include "kit/crash/CWSymbolResolver.h"
#include "kit/support/KBOperation.h"

// Symbolicates the crash files of a report folder: beside each one a companion
// "<name>.symbolicated" names its frames. Without binary images nothing is written.
class CWProcessReportOperation : public KBOperation {
public:
    CWProcessReportOperation(CWInternalReportPtr report, std::shared_ptr<CWSymbolResolver> resolver);

    bool symbolicateFile(const std::string& path, const std::shared_ptr<CWSymbolResolver>& resolver) const;
    // The crash's threads, each the frames of its stack entries; nothing for a
    // missing or empty file.
    static std::shared_ptr<CWThreadArray> threadArrayFromFile(const std::string& path);
    std::string binaryImagePath() const;

protected:
    void main() override;

private:
    CWInternalReportPtr report_;
    std::shared_ptr<CWSymbolResolver> symbolResolver_;
};
