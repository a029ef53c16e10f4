#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "kit/crash/CWFileManager.h"
#include "kit/crash/CWInternalReport.h"
#include "kit/crash/CWSettings.h"

class CWReportsController;

// What the reports controller asks of the crash reporting controller.
class CWReportsControllerDelegate {
public:
    virtual ~CWReportsControllerDelegate() = default;
    virtual std::optional<CWSettings> settingsForReportsController(CWReportsController& controller)
    {
        (void)controller;
        return std::nullopt;
    }
};

// Turns a report folder left by an earlier launch into an upload package and
// hands it to the upload. Runs on the calling thread: the launch thread for an
// urgent report, the kit's work queue otherwise.
class CWReportsController {
public:
    // Starts the upload of a package; answers whether it started.
    using Upload = std::function<bool(const std::string& packagePath, bool urgent)>;

    CWReportsController(
        CWReportsControllerDelegate* delegate, std::shared_ptr<const CWFileManager> fileManager, Upload upload);

    // Moves the folder to "processing" and symbolicates it (when asked), packages
    // it, removes the folder and starts the upload. False when a step failed; the
    // folder then stays where it got to, for the next launch.
    bool prepareAndSubmitReport(const CWInternalReportPtr& report, bool urgent, bool processing);
    bool packagingEnabled();

    void setDelegate(CWReportsControllerDelegate* delegate);

private:
    bool runPipeline(const CWInternalReportPtr& report, bool urgent, bool processing);

    CWReportsControllerDelegate* delegate_;
    std::shared_ptr<const CWFileManager> fileManager_;
    Upload upload_;
};
