// The controller's uploads: an operation per batch, and the uploader's
// questions about batches, retries and trust.
#include "kit/tally/TYTallyController.h"

#include "kit/tally/TYFileUtils.h"
#include "kit/tally/TYLogger.h"
#include "kit/tally/TYUploadOperation.h"

#include <unistd.h>

std::shared_ptr<TYUploader> TYTallyController::uploaderWithQueue(std::shared_ptr<KBOperationQueue> queue)
{
    return std::make_shared<TYUploader>(std::move(queue), weak_from_this());
}

std::shared_ptr<KBOperation> TYTallyController::uploadOperationForFileAtURL(
    const std::string& batch, const std::string& boundary)
{
    // The settings are asked when the step runs on the event queue, not when
    // it is made. A batch whose packaging chain was made before the first
    // settings arrived is then sent either by this step (the settings were
    // applied before it ran) or by the upload of every batch on disk that
    // applying them starts (it ran before, after its packaging): never left
    // waiting on which of the two the queue happened to take first.
    std::weak_ptr<TYTallyController> weak = shared_from_this();
    return std::make_shared<KBBlockOperation>([weak, batch, boundary] {
        auto self = weak.lock();
        if (!self || !self->settings_->valid() || !self->settings_->shouldCollectAnalytics()) {
            return;
        }
        std::make_shared<TYUploadOperation>(
            self->uploader_, self->settings_->tallyURL(), self->metadata_->APIKey().value_or(""), batch, boundary)
            ->start();
    });
}

void TYTallyController::uploadAllMultipartFiles()
{
    uploadMultipartFiles(TYFileUtils::filesWithExtension("multipartmime", rootEventDirectory_));
}

void TYTallyController::uploadMultipartFiles(const std::set<std::string>& batches)
{
    for (const std::string& batch : batches) {
        eventQueue_->addOperation(uploadOperationForFileAtURL(batch, boundaryFromURL(batch).value_or("")));
    }
}

std::optional<std::string> TYTallyController::boundaryFromURL(const std::string& path)
{
    if (TYFileUtils::extension(path) != "multipartmime") {
        return std::nullopt;
    }
    return TYFileUtils::baseName(path);
}

std::string TYTallyController::filePathForUniqueName(TYUploader&, const std::string& uniqueName)
{
    return rootEventDirectory_ + "/" + uniqueName + ".multipartmime";
}

void TYTallyController::didFinishUploadWithUniqueName(
    TYUploader& uploader, const std::string& uniqueName, const std::optional<KBError>& error)
{
    auto& logger = TYLogger::sharedLogger();
    if (error) {
        logger.log("Failed to upload '" + uniqueName + "': " + error->description());
    }
    if (!TYNetworkRetryHandler::batchIsSettledByError(error)) {
        logger.log("Keeping '" + uniqueName + "' for a later upload.");
        return;
    }
    logger.log("Finished transmission of '" + uniqueName + "'.");
    unlink(filePathForUniqueName(uploader, uniqueName).c_str());
}

void TYTallyController::completedRequest(TYUploader& uploader, const KBURLRequest& request,
    const std::optional<KBHTTPURLResponse>& response, const std::string& uniqueName,
    const std::optional<KBError>& error, RetryAnswer completion)
{
    // A batch dropped while in flight is never tried again: it ends as a
    // missing batch does, unless it reached the server after all.
    const std::string batch = filePathForUniqueName(uploader, uniqueName);
    if (!TYFileUtils::isRegularFile(batch)) {
        networkRetryHandler_->forgetIdentifier(uniqueName);
        const bool sent = !error && response && response->statusCode >= 200 && response->statusCode <= 299;
        completion(false,
            sent ? std::nullopt
                 : std::optional(
                     TYUploader::errorWithCode(-8, TYUploader::errorUserInfoWithFilePath(batch, uniqueName))));
        return;
    }
    networkRetryHandler_->handleCompletedRequest(request, response, uniqueName, error,
        [uniqueName, error, completion](bool retry, const std::optional<KBError>& handlerError) {
            auto& logger = TYLogger::sharedLogger();
            if (error) {
                logger.log("Error transmitting '" + uniqueName + "': " + error->description());
            }
            if (retry) {
                logger.log("Scheduling retry for '" + uniqueName + "'.");
            }
            completion(retry, handlerError);
        });
}

bool TYTallyController::respondsToChallenges() const
{
    return true;
}

void TYTallyController::didReceiveChallenge(TYUploader&, CWURLSession& session,
    const KBURLAuthenticationChallenge& challenge, const CWURLSessionDelegate::ChallengeCompletion& completion)
{
    networkRetryHandler_->handleChallenge(challenge, session, completion);
}
