#include "kit/tally/TYNetworkRetryHandler.h"

#include "kit/core/KBNetworkResponseHandler.h"
#include "kit/support/KBLog.h"

TYNetworkRetryHandler::TYNetworkRetryHandler(std::vector<KBCertificate> certificates)
    : certPinner_(std::make_shared<KBCertificatePinner>(std::move(certificates)))
{
}

void TYNetworkRetryHandler::handleCompletedRequest(const KBURLRequest& request,
    const std::optional<KBHTTPURLResponse>& response, const std::optional<std::string>& identifier,
    const std::optional<KBError>& error, Completion completion)
{
    handleCompletedRequest(request, response, identifier, kDefaultMaxRetries, error, std::move(completion));
}

void TYNetworkRetryHandler::handleCompletedRequest(const KBURLRequest& request,
    const std::optional<KBHTTPURLResponse>& response, const std::optional<std::string>& identifier, uint64_t maxRetries,
    const std::optional<KBError>& error, Completion completion)
{
    bool retry = false;
    std::optional<KBError> handlerError;
    KBNetworkResponseHandler::handleCompletedResponse(
        response, request, error, [&](bool shouldRetry, const std::optional<KBError>& result) {
            retry = shouldRetry;
            handlerError = result;
        });
    if (!retry) {
        completion(false, handlerError);
        return;
    }
    auto timer = timerForIdentifier(identifier, retryValueForResponse(response));
    if (!timer) {
        completion(false, errorWithCode(-7, identifier, request, handlerError));
        return;
    }
    if (timer->retryCount() <= maxRetries) {
        timer->executeBlockAfterNextInterval([completion, handlerError] { completion(true, handlerError); });
        return;
    }
    completion(false, errorWithCode(-6, identifier, request, handlerError));
}

void TYNetworkRetryHandler::handleChallenge(const KBURLAuthenticationChallenge& challenge, CWURLSession&,
    const CWURLSessionDelegate::ChallengeCompletion& completion) const
{
    if (KBLog::debugEnabled() || !certPinner_) {
        completion(KBAuthChallengeDisposition::PerformDefaultHandling, std::nullopt);
        return;
    }
    certPinner_->handleChallenge(challenge, completion);
}

double TYNetworkRetryHandler::retryValueForResponse(const std::optional<KBHTTPURLResponse>& response)
{
    return KBNetworkResponseHandler::retryValueForResponse(response);
}

std::shared_ptr<TYBackoffTimer> TYNetworkRetryHandler::timerForIdentifier(
    const std::optional<std::string>& identifier, double initialRetryValue)
{
    if (!identifier || identifier->empty()) {
        return nullptr;
    }
    std::lock_guard lock(mutex_);
    auto& timer = retryTimerMap_[*identifier];
    if (!timer) {
        timer = std::make_shared<TYBackoffTimer>(initialRetryValue);
    }
    return timer;
}

KBError TYNetworkRetryHandler::errorWithCode(int64_t code, const std::optional<std::string>& identifier,
    const KBURLRequest& request, const std::optional<KBError>& handlerError)
{
    if (handlerError) {
        return *handlerError;
    }
    nlohmann::json userInfo = {{"TYNetworkRetryHandlerIdentifier", identifier.value_or("(null)")}};
    if (!request.url.empty()) {
        userInfo["NSErrorFailingURLKey"] = request.url;
    }
    return KBError{KBNetworkResponseHandler::kErrorDomain, code, userInfo};
}

const std::shared_ptr<KBCertificatePinner>& TYNetworkRetryHandler::certPinner() const
{
    return certPinner_;
}
