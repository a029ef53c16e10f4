#include "kit/core/KBNetworkClient.h"

#include "kit/core/KBNetworkResponseHandler.h"
#include "kit/core/KBRetryBackoff.h"
#include "kit/support/KBLog.h"
#include "kit/support/KBQueue.h"
#include "kit/support/KBRandom.h"

#include <algorithm>

namespace {

// The session's delegate: forwards trust to the client while it lives, so
// that the session does not keep the client alive.
class ClientSessionDelegate : public CWURLSessionDelegate {
public:
    explicit ClientSessionDelegate(std::weak_ptr<KBNetworkClient> client)
        : client_(std::move(client))
    {
    }
    bool respondsTo(Operation operation) const override
    {
        return operation == Operation::ReceiveChallenge || operation == Operation::BecomeInvalid;
    }
    void didReceiveChallenge(
        CWURLSession&, const KBURLAuthenticationChallenge& challenge, const ChallengeCompletion& completion) override
    {
        if (auto client = client_.lock()) {
            client->handleChallenge(challenge, completion);
        } else {
            completion(KBAuthChallengeDisposition::CancelAuthenticationChallenge, std::nullopt);
        }
    }

private:
    std::weak_ptr<KBNetworkClient> client_;
};

} // namespace

std::shared_ptr<KBNetworkClient> KBNetworkClient::make(std::shared_ptr<CWURLSessionConfiguration> configuration,
    std::shared_ptr<KBOperationQueue> queue, std::optional<std::vector<KBCertificate>> pinnedCertificates)
{
    auto client = std::make_shared<KBNetworkClient>();
    if (pinnedCertificates) {
        client->certPinner_ = std::make_shared<KBCertificatePinner>(*pinnedCertificates);
    }
    client->session_ = CWURLSession::sessionWithConfiguration(
        configuration, std::make_shared<ClientSessionDelegate>(client), std::move(queue));
    if (!client->session_) {
        return nullptr;
    }
    return client;
}

std::shared_ptr<KBNetworkClient> KBNetworkClient::makeWithQueue(
    std::shared_ptr<KBOperationQueue> queue, std::optional<std::vector<KBCertificate>> pinned)
{
    return make(CWURLSessionConfiguration::defaultSessionConfiguration(), std::move(queue), std::move(pinned));
}

std::shared_ptr<KBNetworkClient> KBNetworkClient::makeWithQueue(std::shared_ptr<KBOperationQueue> queue)
{
    return makeWithQueue(std::move(queue), std::nullopt);
}

std::shared_ptr<KBNetworkClient> KBNetworkClient::make()
{
    return makeWithQueue(nullptr);
}

KBNetworkClient::~KBNetworkClient()
{
    if (session_) {
        session_->finishTasksAndInvalidate();
    }
}

void KBNetworkClient::startDataTaskWithRequest(const KBURLRequest& request, int retryLimit, DataCompletion completion)
{
    startDataTask(request, retryLimit, 0, std::move(completion));
}

void KBNetworkClient::startDataTaskWithRequest(const KBURLRequest& request, DataCompletion completion)
{
    startDataTask(request, kDefaultRetryLimit, 0, std::move(completion));
}

void KBNetworkClient::startDownloadTaskWithRequest(
    const KBURLRequest& request, int retryLimit, DownloadCompletion completion)
{
    startDownloadTask(request, retryLimit, 0, std::move(completion));
}

void KBNetworkClient::startDownloadTaskWithRequest(const KBURLRequest& request, DownloadCompletion completion)
{
    startDownloadTask(request, kDefaultRetryLimit, 0, std::move(completion));
}

void KBNetworkClient::startDataTask(const KBURLRequest& request, int retryLimit, int tries, DataCompletion completion)
{
    auto self = shared_from_this();
    auto task = session_->dataTaskWithRequest(
        request, [self, request, retryLimit, tries, completion](auto data, auto response, auto error) {
            self->settle(request, retryLimit, tries, data, response, error, completion,
                [=] { self->startDataTask(request, retryLimit, tries + 1, completion); });
        });
    if (!task) {
        completion(std::nullopt, std::nullopt, KBNetworkResponseHandler::errorForCode(-3));
        return;
    }
    task->resume();
}

void KBNetworkClient::startDownloadTask(
    const KBURLRequest& request, int retryLimit, int tries, DownloadCompletion completion)
{
    auto self = shared_from_this();
    auto task = session_->downloadTaskWithRequest(
        request, [self, request, retryLimit, tries, completion](auto file, auto response, auto error) {
            self->settle(request, retryLimit, tries, file, response, error, completion,
                [=] { self->startDownloadTask(request, retryLimit, tries + 1, completion); });
        });
    if (!task) {
        completion(std::nullopt, std::nullopt, KBNetworkResponseHandler::errorForCode(-3));
        return;
    }
    task->resume();
}

void KBNetworkClient::settle(const KBURLRequest& request, int retryLimit, int tries,
    const std::optional<std::string>& payload, const std::optional<KBHTTPURLResponse>& response,
    const std::optional<KBError>& error, const DataCompletion& completion, const std::function<void()>& retry)
{
    KBNetworkResponseHandler::handleCompletedResponse(
        response, request, error, [&](bool shouldRetry, const std::optional<KBError>& classified) {
            if (!shouldRetry) {
                completion(payload, response, classified);
                return;
            }
            if (tries >= retryLimit) {
                completion(std::nullopt, std::nullopt, KBNetworkResponseHandler::errorForCode(-6));
                return;
            }
            // The scheduled retry holds the client until it has run.
            auto self = shared_from_this();
            auto clock = clock_ ? clock_ : KBClock::shared();
            clock->after(computeDelayForResponse(response, tries), KBQueue::global(), [self, retry] { retry(); });
        });
}

double KBNetworkClient::computeDelayForResponse(const std::optional<KBHTTPURLResponse>& response, int retryCount) const
{
    // The uploaders' back-off: doubling from 2 s, capped, and never sooner
    // than the server's Retry-After, in seconds or as a date on the clock the
    // retry waits on. What the server asked is a floor, never a base to raise.
    const double low = static_cast<double>(0.9f);
    const double high = static_cast<double>(1.1f);
    const double jitter = low + KBRandom::uniform() * (high - low);
    const auto clock = clock_ ? clock_ : KBClock::shared();
    return KBRetryBackoff::delay(
        KBRetryBackoff::requestedDelay(response, *clock), static_cast<uint64_t>(std::max(retryCount, 0)), jitter);
}

void KBNetworkClient::handleChallenge(
    const KBURLAuthenticationChallenge& challenge, const CWURLSessionDelegate::ChallengeCompletion& completion) const
{
    // The debug flag is the one Kitbase sets (it also gates debug lines).
    if (KBLog::debugEnabled() || !certPinner_) {
        completion(KBAuthChallengeDisposition::PerformDefaultHandling, std::nullopt);
        return;
    }
    certPinner_->handleChallenge(challenge, completion);
}

void KBNetworkClient::invalidateAndCancel()
{
    session_->invalidateAndCancel();
}

void KBNetworkClient::setClock(std::shared_ptr<KBClock> clock)
{
    clock_ = std::move(clock);
}

std::shared_ptr<CWURLSession> KBNetworkClient::session() const
{
    return session_;
}

std::shared_ptr<KBCertificatePinner> KBNetworkClient::certPinner() const
{
    return certPinner_;
}
