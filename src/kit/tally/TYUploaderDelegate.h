#pragma once

#include "kit/core/CWURLSessionDelegate.h"
#include "kit/core/KBError.h"
#include "kit/core/KBURLRequest.h"

#include <functional>
#include <optional>
#include <string>

class CWURLSession;
class TYUploader;

// What an uploader asks of its owner: where a batch lives, what to do with a
// finished request (retry or not) and when a batch is done with.
class TYUploaderDelegate {
public:
    using RetryAnswer = std::function<void(bool retry, const std::optional<KBError>& error)>;

    virtual ~TYUploaderDelegate() = default;
    virtual std::string filePathForUniqueName(TYUploader& uploader, const std::string& uniqueName) = 0;
    virtual void didFinishUploadWithUniqueName(
        TYUploader& uploader, const std::string& uniqueName, const std::optional<KBError>& error)
        = 0;
    virtual void completedRequest(TYUploader& uploader, const KBURLRequest& request,
        const std::optional<KBHTTPURLResponse>& response, const std::string& uniqueName,
        const std::optional<KBError>& error, RetryAnswer completion)
        = 0;
    // Without an answer here, trust gets the session's default handling.
    virtual bool respondsToChallenges() const { return false; }
    virtual void didReceiveChallenge(TYUploader&, CWURLSession&, const KBURLAuthenticationChallenge&,
        const CWURLSessionDelegate::ChallengeCompletion& completion)
    {
        completion(KBAuthChallengeDisposition::PerformDefaultHandling, std::nullopt);
    }
};
