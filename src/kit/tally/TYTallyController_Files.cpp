// The controller's log files: rotation, the compress-package-upload chain
// and the start-up clean-up.
#include "kit/tally/TYTallyController.h"

#include "kit/core/KBMultipartMimeStreamEncoder.h"
#include "kit/support/KBDigest.h"
#include "kit/support/KBIdentifiers.h"
#include "kit/tally/TYCleanupFilesOperation.h"
#include "kit/tally/TYCompressLogOperation.h"
#include "kit/tally/TYFileUtils.h"
#include "kit/tally/TYLogger.h"
#include "kit/tally/TYPackageLogOperation.h"
#include "kit/tally/TYRotateCrashMetadataOperation.h"

#include <unistd.h>

namespace {

const std::string kRotateActivity = std::string(kb::kTallyTimerActivityPrefix) + "rotate-and-submit";

void checkExtension(const std::string& path, const std::string& expected)
{
    const std::string extension = TYFileUtils::extension(path);
    if (extension != expected) {
        TYLogger::sharedLogger().log(
            "Error: attempted to submit file with invalid extension " + extension + ", should be " + expected);
    }
}

} // namespace

std::string TYTallyController::generateNewLogPath() const
{
    return rootEventDirectory_ + "/" + KBCreateUUIDString() + ".log";
}

std::string TYTallyController::multipartMimeURLWithBoundary(const std::string& boundary) const
{
    return rootEventDirectory_ + "/" + boundary + ".multipartmime";
}

void TYTallyController::addTogether(
    const std::vector<std::shared_ptr<KBOperation>>& operations, const std::shared_ptr<KBOperation>& activity)
{
    for (const auto& operation : operations) {
        activity->addDependency(operation);
    }
    for (const auto& operation : operations) {
        eventQueue_->addOperation(operation);
    }
    eventQueue_->addOperation(activity);
}

void TYTallyController::rotateAndSubmitCurrentLog()
{
    auto activity = TYActivityOperation::operationByStartingActivityName(kRotateActivity, TYActivity::kRotateOptions);
    const std::string log = currentLogURL_;
    currentLogURL_ = generateNewLogPath();
    addTogether(operationsForUncompressedLog(log), activity);
}

std::vector<std::shared_ptr<KBOperation>> TYTallyController::operationsForUncompressedLog(const std::string& log)
{
    checkExtension(log, "log");
    const std::string compressed = TYCompressLogOperation::compressedURLForUncompressedURL(log);
    auto compress = std::make_shared<TYCompressLogOperation>(log, compressed);
    // The log goes only once a whole compressed copy is in place (or it held
    // nothing to send).
    std::weak_ptr<TYCompressLogOperation> weak = compress;
    compress->setCompletionBlock([weak, log] {
        auto operation = weak.lock();
        if (operation && operation->logConsumed()) {
            unlink(log.c_str());
        }
    });
    std::vector<std::shared_ptr<KBOperation>> operations = operationsForCompressedLog(compressed);
    operations.front()->addDependency(compress);
    operations.insert(operations.begin(), compress);
    return operations;
}

std::vector<std::shared_ptr<KBOperation>> TYTallyController::operationsForCompressedLog(const std::string& compressed)
{
    checkExtension(compressed, "gz");
    const std::string boundary = KBMultipartMimeStreamEncoder::generateBoundary();
    const std::string batch = multipartMimeURLWithBoundary(boundary);
    auto package = std::make_shared<TYPackageLogOperation>(compressed, batch, boundary);
    std::weak_ptr<TYPackageLogOperation> weak = package;
    package->setCompletionBlock([weak, compressed] {
        auto operation = weak.lock();
        if (operation && operation->packaged()) {
            unlink(compressed.c_str());
        }
    });
    auto upload = uploadOperationForFileAtURL(batch, boundary);
    upload->addDependency(package);
    return {package, upload};
}

void TYTallyController::cleanupAndProcessExistingFiles()
{
    auto cleanup = std::make_shared<TYCleanupFilesOperation>(rootEventDirectory_, settings_->maxPendingSendFiles());
    std::weak_ptr<TYTallyController> weak = shared_from_this();
    cleanup->setSuccessBlock([weak](const std::set<std::string>& logs, const std::set<std::string>& compressed,
                                 const std::set<std::string>& batches) {
        auto self = weak.lock();
        if (!self) {
            return;
        }
        for (const std::string& log : logs) {
            for (const auto& operation : self->operationsForUncompressedLog(log)) {
                self->eventQueue_->addOperation(operation);
            }
        }
        for (const std::string& file : compressed) {
            for (const auto& operation : self->operationsForCompressedLog(file)) {
                self->eventQueue_->addOperation(operation);
            }
        }
        self->uploader_->attemptToReconnectBackgroundSessionWithCompletionBlock(
            [self, batches] { self->uploadMultipartFiles(batches); });
    });
    eventQueue_->addOperation(cleanup);
}

std::shared_ptr<TYCrashMetadata> TYTallyController::replacePreviousExecutionMetadataWithCurrentMetadata(
    const std::shared_ptr<TYMetadata>& metadata, const std::string& root)
{
    TYRotateCrashMetadataOperation operation(crashMetadataPathForRootDirectory(root), metadata);
    operation.main();
    return operation.crashMetadata();
}
