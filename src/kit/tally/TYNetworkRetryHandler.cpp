#include "kit/tally/TYNetworkRetryHandler.h"

#include "kit/core/KBNetworkResponseHandler.h"
#include "kit/core/KBRetryBackoff.h"
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
    std::optional<KBError> handlerError;
    KBNetworkResponseHandler::handleCompletedResponse(
        response, request, error, [&](bool, const std::optional<KBError>& result) { handlerError = result; });
    const int status = response && !error ? response->statusCode : 0;
    // A settled batch keeps nothing here.
    const auto settle = [this, &identifier, &completion](const std::optional<KBError>& answer) {
        if (identifier) {
            forgetIdentifier(*identifier);
        }
        completion(false, answer);
    };
    if (status >= 200 && status <= 299) {
        settle(std::nullopt);
        return;
    }
    if (isPermanentRefusal(status)) {
        settle(handlerError);
        return;
    }
    // Anything else may go through later: a redirect the session would not
    // follow, throttling, a server error, a network that is down. The batch
    // is tried again after the back-off, never sooner than the server asked.
    auto timer = timerForIdentifier(identifier, 0.0);
    if (!timer) {
        completion(false, errorWithCode(-7, identifier, request, handlerError));
        return;
    }
    if (timer->retryCount() <= maxRetries) {
        timer->setInitialValue(KBRetryBackoff::requestedDelay(response).value_or(0.0));
        waitOutBackoff(*identifier, timer, [completion, handlerError] { completion(true, handlerError); });
        return;
    }
    settle(errorWithCode(-6, identifier, request, handlerError));
}

void TYNetworkRetryHandler::waitOutBackoff(
    const std::string& identifier, const std::shared_ptr<TYBackoffTimer>& timer, std::function<void()> answer)
{
    auto waiting = std::make_shared<std::function<void()>>(std::move(answer));
    {
        std::lock_guard lock(mutex_);
        const auto found = retryTimerMap_.find(identifier);
        if (found == retryTimerMap_.end()) {
            return;
        }
        found->second.waitingAnswer = waiting;
    }
    // The clock keeps only a weak hold: a forgotten batch frees its answer now,
    // not when the wait would have ended.
    timer->executeBlockAfterNextInterval([weak = std::weak_ptr(waiting)] {
        if (auto answer = weak.lock()) {
            (*answer)();
        }
    });
}

void TYNetworkRetryHandler::forgetIdentifier(const std::string& identifier)
{
    std::lock_guard lock(mutex_);
    retryTimerMap_.erase(identifier);
}

size_t TYNetworkRetryHandler::timerCount() const
{
    std::lock_guard lock(mutex_);
    return retryTimerMap_.size();
}

bool TYNetworkRetryHandler::isPermanentRefusal(int status)
{
    return status == 400 || status == 413 || status == 422;
}

bool TYNetworkRetryHandler::batchIsSettledByError(const std::optional<KBError>& error)
{
    if (!error) {
        return true;
    }
    if (error->domain != KBNetworkResponseHandler::kErrorDomain) {
        return false;
    }
    // The batch file is missing or cannot be read: nothing could ever send it.
    // An upload that could not start (-2: no usable URL in the settings, no
    // session) says nothing about the batch, which waits for a later try.
    if (error->code == -8) {
        return true;
    }
    const auto& info = error->userInfo;
    return info.is_object() && info.contains("status_code") && info["status_code"].is_number_integer()
        && isPermanentRefusal(info["status_code"].get<int>());
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
    auto& timer = retryTimerMap_[*identifier].timer;
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
