#pragma once

#include "kit/core/CWURLSession.h"
#include "kit/core/KBCertificatePinner.h"
#include "kit/support/KBClock.h"

#include <memory>
#include <optional>
#include <vector>

// Runs data and download requests with retries: a response the classifier
// calls "retry" (or a time-out) is sent again after the uploaders' jittered
// back-off (KBRetryBackoff) on the kit clock, up to the retry limit. Server
// trust goes to the pinner unless the kit's debug flag is on.
class KBNetworkClient : public std::enable_shared_from_this<KBNetworkClient> {
public:
    using DataCompletion = CWURLSessionTask::DataCompletion;
    using DownloadCompletion = CWURLSessionTask::DownloadCompletion;
    static constexpr int kDefaultRetryLimit = 10;

    // Nothing when no session can be made.
    static std::shared_ptr<KBNetworkClient> make(std::shared_ptr<CWURLSessionConfiguration> configuration,
        std::shared_ptr<KBOperationQueue> queue, std::optional<std::vector<KBCertificate>> pinnedCertificates);
    static std::shared_ptr<KBNetworkClient> makeWithQueue(
        std::shared_ptr<KBOperationQueue> queue, std::optional<std::vector<KBCertificate>> pinned);
    static std::shared_ptr<KBNetworkClient> makeWithQueue(std::shared_ptr<KBOperationQueue> queue);
    static std::shared_ptr<KBNetworkClient> make();
    ~KBNetworkClient();

    void startDataTaskWithRequest(const KBURLRequest& request, int retryLimit, DataCompletion completion);
    void startDataTaskWithRequest(const KBURLRequest& request, DataCompletion completion);
    void startDownloadTaskWithRequest(const KBURLRequest& request, int retryLimit, DownloadCompletion completion);
    void startDownloadTaskWithRequest(const KBURLRequest& request, DownloadCompletion completion);
    void invalidateAndCancel();

    double computeDelayForResponse(const std::optional<KBHTTPURLResponse>& response, int retryCount) const;
    void handleChallenge(const KBURLAuthenticationChallenge& challenge,
        const CWURLSessionDelegate::ChallengeCompletion& completion) const;

    // The clock retries wait on (the kit clock unless a test sets one).
    void setClock(std::shared_ptr<KBClock> clock);
    std::shared_ptr<CWURLSession> session() const;
    std::shared_ptr<KBCertificatePinner> certPinner() const;

    KBNetworkClient() = default;

private:
    void startDataTask(const KBURLRequest& request, int retryLimit, int tries, DataCompletion completion);
    void startDownloadTask(const KBURLRequest& request, int retryLimit, int tries, DownloadCompletion completion);
    // Classifies, then completes or schedules the next try.
    void settle(const KBURLRequest& request, int retryLimit, int tries, const std::optional<std::string>& payload,
        const std::optional<KBHTTPURLResponse>& response, const std::optional<KBError>& error,
        const DataCompletion& completion, const std::function<void()>& retry);

    std::shared_ptr<CWURLSession> session_;
    std::shared_ptr<KBCertificatePinner> certPinner_;
    std::shared_ptr<KBClock> clock_;
};
