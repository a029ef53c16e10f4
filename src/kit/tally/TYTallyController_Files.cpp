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
    std::weak_ptr<TYTallyController> controller = shared_from_this();
    package->setCompletionBlock([weak, controller, compressed] {
        auto operation = weak.lock();
        if (operation && operation->packaged()) {
            unlink(compressed.c_str());
            if (auto self = controller.lock()) {
                self->boundPendingBatches();
            }
        }
    });
    auto upload = uploadOperationForFileAtURL(batch, boundary);
    upload->addDependency(package);
    return {package, upload};
}

void TYTallyController::boundPendingBatches()
{
    const std::set<std::string> batches = TYFileUtils::filesWithExtension("multipartmime", rootEventDirectory_);
    // No limit is known before start-up has read it.
    if (maximumPendingBatches_ <= 0 || static_cast<int64_t>(batches.size()) <= maximumPendingBatches_) {
        return;
    }
    const std::set<std::string> kept = TYCleanupFilesOperation::URLsByRemovingOldFiles(batches, maximumPendingBatches_);
    uint64_t dropped = 0;
    for (const std::string& batch : batches) {
        if (kept.count(batch) != 0) {
            continue;
        }
        const std::string name = TYFileUtils::baseName(batch);
        networkRetryHandler_->forgetIdentifier(name);
        uploader_->cancelUploadWithUniqueName(name);
        ++dropped;
    }
    droppedBatchCount_ += dropped;
    // A flush timer's firing writes what it dropped since the last line;
    // without one, no later moment would, so the drop writes it now.
    if (!flushTimer_ || reportedDropCount_.load() == 0) {
        reportDroppedBatches();
    }
}

void TYTallyController::reportDroppedBatches()
{
    const uint64_t dropped = droppedBatchCount_.load();
    if (reportedDropCount_.exchange(dropped) == dropped) {
        return;
    }
    writeDroppedBatchCount(dropped);
}

void TYTallyController::reportDroppedBatchesAtQuit()
{
    const uint64_t dropped = droppedBatchCount_.load();
    reportedDropCount_ = dropped;
    if (dropped > 0) {
        writeDroppedBatchCount(dropped);
    }
}

void TYTallyController::writeDroppedBatchCount(uint64_t dropped) const
{
    TYLogger::printAlways("[Tally] " + std::to_string(dropped) + " pending batches dropped since the start, oldest "
        + "first, past the limit of " + std::to_string(maximumPendingBatches_));
}

uint64_t TYTallyController::droppedBatchCount() const
{
    return droppedBatchCount_;
}

void TYTallyController::cleanupAndProcessExistingFiles()
{
    // The limit read at start-up holds for the whole run.
    maximumPendingBatches_ = settings_->maxPendingSendFiles();
    auto cleanup = std::make_shared<TYCleanupFilesOperation>(rootEventDirectory_, maximumPendingBatches_);
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
