#pragma once

#include "kit/core/KBError.h"
#include "kit/core/KBServerTrust.h"
#include "kit/core/KBURLRequest.h"

#include <functional>
#include <optional>
#include <string>

class CWURLSession;
class CWURLSessionTask;

// What a session tells its delegate, each call as an operation on the
// delegate queue. respondsTo() says which operations the delegate answers;
// the session forwards only those.
class CWURLSessionDelegate {
public:
    enum class Operation { ReceiveResponse, ReceiveData, FinishDownloading, Complete, ReceiveChallenge, BecomeInvalid };
    using ChallengeCompletion = std::function<void(KBAuthChallengeDisposition, std::optional<KBURLCredential>)>;

    virtual ~CWURLSessionDelegate() = default;
    virtual bool respondsTo(Operation) const { return true; }

    virtual void didReceiveResponse(
        CWURLSession&, CWURLSessionTask&, const KBHTTPURLResponse&, const std::function<void(int)>&)
    {
    }
    virtual void didReceiveData(CWURLSession&, CWURLSessionTask&, const std::string&) { }
    virtual void didFinishDownloadingToURL(CWURLSession&, CWURLSessionTask&, const std::string&) { }
    virtual void didCompleteWithError(CWURLSession&, CWURLSessionTask&, const std::optional<KBError>&) { }
    // Every TLS handshake of the session asks here, on the delegate queue;
    // the handshake waits for the completion.
    virtual void didReceiveChallenge(
        CWURLSession&, const KBURLAuthenticationChallenge&, const ChallengeCompletion& completion)
    {
        completion(KBAuthChallengeDisposition::PerformDefaultHandling, std::nullopt);
    }
    virtual void didBecomeInvalidWithError(CWURLSession&, const std::optional<KBError>&) { }
};
