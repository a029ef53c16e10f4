#pragma once

#include "kit/core/CWURLSession.h"
#include "kit/core/KBCertificatePinner.h"
#include "kit/core/KBError.h"
#include "kit/crash/CWFileManager.h"
#include "kit/crash/CWSettings.h"
#include "kit/support/KBOperationQueue.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

class CWNetworkClient;

// What the upload client asks of the crash reporting controller.
class CWNetworkClientDelegate {
public:
    virtual ~CWNetworkClientDelegate() = default;
    virtual bool networkClientCanUseBackgroundSessions(CWNetworkClient& client) = 0;
    // Path absolute; no error on success.
    virtual void networkClientDidFinishUploadWithPath(
        CWNetworkClient& client, const std::string& path, const std::optional<KBError>& error)
        = 0;
    virtual std::optional<CWSettings> settingsForNetworkClient(CWNetworkClient& client) = 0;
    virtual std::optional<std::string> APIKeyForNetworkClient(CWNetworkClient& client) = 0;
};

// Sends report packages from "prepared" to the crash-report service: as upload
// tasks of one session whose callbacks run on the work queue, or, for an
// urgent report, as a blocking request on the calling thread. A task carries
// its package's path below the kit root as its description, so a package is
// never sent twice at once. Linux has no background sessions.
class CWNetworkClient : public std::enable_shared_from_this<CWNetworkClient> {
public:
    static constexpr const char* kUserAgent = "Crashwatch Linux SDK/3.8.4";
    static constexpr const char* kErrorDomain = "CWNetworkError";

    static std::shared_ptr<CWNetworkClient> make(std::shared_ptr<KBOperationQueue> queue,
        std::shared_ptr<const CWFileManager> fileManager, CWNetworkClientDelegate* delegate);
    ~CWNetworkClient();

    // Submission: false when nothing was started.
    bool uploadPackagedReportAtPath(const std::string& path, bool urgent);
    bool submitPackageMultipartMimeAtPath(const std::string& path, bool synchronously);
    std::optional<KBURLRequest> requestForPackageAtPath(const std::string& path, bool synchronously);
    std::string reportURL();
    // The headers every request to the crash-report service carries, in order.
    static void setServiceHeaders(KBURLRequest& request, const std::string& apiKey);

    std::shared_ptr<CWURLSession> session();
    bool supportsBackgroundRequests() const;
    void attemptToReconnectBackgroundSessionWithCompletionBlock(const std::function<void()>& block);

    void startUploadRequest(const KBURLRequest& request, const std::string& path, bool immediately);
    void startImmediateUploadRequest(const KBURLRequest& request, const std::string& path);
    void startNewUploadRequest(const KBURLRequest& request, const std::string& path);

    std::optional<std::string> relativeTaskPathForAbsolutePath(const std::string& path) const;
    std::string absolutePathForRelativeTaskPath(const std::string& path) const;
    const std::string& rootPath() const;

    void checkForExistingTaskMatchingDescription(
        const std::string& description, std::function<void(bool exists)> completion);
    // The delay before a retryable response is sent again after `retries`
    // earlier retries of the same package: the kit's uploader back-off
    // (KBRetryBackoff), without jitter.
    static double retryDelayForResponse(const std::optional<KBHTTPURLResponse>& response, int retries = 0);

    // The session's reports, on the work queue.
    void didCompleteWithError(CWURLSessionTask& task, const std::optional<KBError>& error);
    void didReceiveChallenge(CWURLSession& session, const KBURLAuthenticationChallenge& challenge,
        const CWURLSessionDelegate::ChallengeCompletion& completion);

    // The roots a server must chain to when the kit does not debug; the kit's
    // pinned roots unless replaced.
    void setPinnedCertificates(std::vector<KBCertificate> certificates);
    const std::shared_ptr<KBOperationQueue>& operationQueue() const;
    void setDelegate(CWNetworkClientDelegate* delegate);

private:
    CWNetworkClient(std::shared_ptr<KBOperationQueue> queue, std::shared_ptr<const CWFileManager> fileManager,
        CWNetworkClientDelegate* delegate);
    void restartTask(const std::shared_ptr<CWURLSessionTask>& task);
    void finish(const std::string& path, const std::optional<KBError>& error);

    std::shared_ptr<KBOperationQueue> operationQueue_;
    std::shared_ptr<const CWFileManager> fileManager_;
    CWNetworkClientDelegate* delegate_;
    bool canUseBackgroundSession_ = false;
    std::mutex sessionMutex_;
    std::shared_ptr<CWURLSession> session_;
    std::shared_ptr<KBCertificatePinner> certPinner_;
    // Retries so far of each package still being retried, by path.
    std::map<std::string, int> retries_;
};
