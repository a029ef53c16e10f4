#pragma once

#include "kit/core/CWURLSession.h"
#include "kit/support/KBOperationQueue.h"
#include "kit/support/KBPowerState.h"
#include "kit/tally/TYUploaderDelegate.h"

#include <map>
#include <memory>
#include <optional>
#include <string>

// Sends batches as upload tasks of one URL session that reports to the
// uploader's queue; a batch already in flight is not started twice. Linux
// has no background sessions, so uploads use the default configuration; its
// resource time-out is the low-power one while the desktop saves power or
// runs hot (KBPowerState), and a change of that state makes a new session.
class TYUploader : public std::enable_shared_from_this<TYUploader> {
public:
    TYUploader(std::shared_ptr<KBOperationQueue> queue, std::weak_ptr<TYUploaderDelegate> delegate);
    ~TYUploader();

    void startUploadRequest(const KBURLRequest& request, const std::string& filePath, const std::string& uniqueName);
    void startNewUploadRequest(const KBURLRequest& request, const std::string& filePath, const std::string& uniqueName);
    void attemptToReconnectBackgroundSessionWithCompletionBlock(const std::function<void()>& completion);
    // Each drops the session; its tasks in flight finish on it first.
    void setDefaultUploadTimeout(double seconds);
    void setLowPowerUploadTimeout(double seconds);
    double defaultUploadTimeout() const;
    double lowPowerUploadTimeout() const;

    std::shared_ptr<CWURLSession> session();
    bool lowPowerMode() const;
    bool supportsThermalNotifications() const;
    // Drops the session on the queue, so the next upload gets the time-out
    // of the new state.
    void powerStageChanged();
    bool supportsBackgroundRequests() const;
    bool shouldUseBackgroundRequests() const;

    // Cancels the upload of that batch where one is in flight, on any session.
    void cancelUploadWithUniqueName(const std::string& uniqueName);
    void restartTask(const std::shared_ptr<CWURLSessionTask>& task);
    void handleTaskDescription(const std::string& description, const std::optional<KBError>& error);
    void checkForExistingTaskMatchingDescription(
        const std::string& description, std::function<void(bool exists)> completion);
    static bool taskArrayHasTaskMatchingDescription(
        const std::vector<std::shared_ptr<CWURLSessionTask>>& tasks, const std::string& description);
    static KBError errorWithCode(int64_t code, nlohmann::json userInfo);
    static nlohmann::json errorUserInfoWithFilePath(const std::string& path, const std::string& uniqueName);

    // The session's reports.
    void didBecomeInvalidWithError(const std::optional<KBError>& error);
    void didReceiveChallenge(CWURLSession& session, const KBURLAuthenticationChallenge& challenge,
        const CWURLSessionDelegate::ChallengeCompletion& completion);
    void didCompleteWithError(CWURLSession& session, CWURLSessionTask& task, const std::optional<KBError>& error);

    const std::shared_ptr<KBOperationQueue>& operationQueue() const;

private:
    void dropSession();
    void taskEnded(CWURLSession& session);

    std::shared_ptr<KBOperationQueue> operationQueue_;
    std::weak_ptr<TYUploaderDelegate> delegate_;
    double lowPowerUploadTimeout_ = 21600.0;
    double defaultUploadTimeout_ = 3600.0;
    std::shared_ptr<CWURLSession> session_;
    std::shared_ptr<KBPowerState> powerState_ = KBPowerState::shared();
    std::optional<uint64_t> powerObserver_;
    // Tasks in flight per session; a dropped session is kept until its last
    // task has reported.
    std::map<CWURLSession*, int> inFlight_;
    std::map<CWURLSession*, std::shared_ptr<CWURLSession>> retired_;
};
