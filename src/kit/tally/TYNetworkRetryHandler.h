#pragma once

#include "kit/core/KBCertificatePinner.h"
#include "kit/core/KBError.h"
#include "kit/core/KBURLRequest.h"
#include "kit/tally/TYBackoffTimer.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class CWURLSession;

// Decides whether a finished upload is retried, waits out the batch's
// back-off before saying so, and answers server-trust challenges with the
// pinned roots it was made with.
//
// A batch is settled only by a 2xx answer or by a permanent refusal of the
// batch itself: 400 (malformed), 413 (larger than the service takes) or 422
// (content it cannot process), which no later try could change. Every other
// outcome, redirects and transport errors included, is retried with the
// kit's back-off; once the retries ran out the batch stays on disk for a
// later launch rather than losing its events.
class TYNetworkRetryHandler {
public:
    static constexpr uint64_t kDefaultMaxRetries = 10;
    using Completion = std::function<void(bool retry, const std::optional<KBError>& error)>;

    explicit TYNetworkRetryHandler(std::vector<KBCertificate> certificates = KBPinnedCertificates());

    void handleCompletedRequest(const KBURLRequest& request, const std::optional<KBHTTPURLResponse>& response,
        const std::optional<std::string>& identifier, const std::optional<KBError>& error, Completion completion);
    void handleCompletedRequest(const KBURLRequest& request, const std::optional<KBHTTPURLResponse>& response,
        const std::optional<std::string>& identifier, uint64_t maxRetries, const std::optional<KBError>& error,
        Completion completion);
    // Default handling in the kit's debug mode; otherwise the pinned roots decide.
    void handleChallenge(const KBURLAuthenticationChallenge& challenge, CWURLSession& session,
        const CWURLSessionDelegate::ChallengeCompletion& completion) const;
    static double retryValueForResponse(const std::optional<KBHTTPURLResponse>& response);
    static bool isPermanentRefusal(int status);
    // True when an upload that ended with this error (none: sent) leaves
    // nothing to send later, so the batch may go; false keeps it on disk.
    static bool batchIsSettledByError(const std::optional<KBError>& error);
    // Nothing for an empty identifier; the first timer of an identifier keeps
    // its initial value.
    std::shared_ptr<TYBackoffTimer> timerForIdentifier(
        const std::optional<std::string>& identifier, double initialRetryValue);
    static KBError errorWithCode(int64_t code, const std::optional<std::string>& identifier,
        const KBURLRequest& request, const std::optional<KBError>& handlerError);
    const std::shared_ptr<KBCertificatePinner>& certPinner() const;

    // Drops what is kept for a batch that went: its timer and the answer
    // waiting out its back-off, which then never comes.
    void forgetIdentifier(const std::string& identifier);
    // Batches with a timer: those retried and not settled yet.
    size_t timerCount() const;

private:
    // A batch's back-off, and the answer that waits it out (with the finished
    // request it holds), released when the batch is forgotten.
    struct Retry {
        std::shared_ptr<TYBackoffTimer> timer;
        std::shared_ptr<std::function<void()>> waitingAnswer;
    };

    void waitOutBackoff(
        const std::string& identifier, const std::shared_ptr<TYBackoffTimer>& timer, std::function<void()> answer);

    std::shared_ptr<KBCertificatePinner> certPinner_;
    mutable std::mutex mutex_;
    // An entry per batch between its first retry and its settling.
    std::map<std::string, Retry> retryTimerMap_;
};
