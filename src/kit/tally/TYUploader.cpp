#include "kit/tally/TYUploader.h"

#include "kit/core/KBNetworkResponseHandler.h"
#include "kit/tally/TYApplication.h"
#include "kit/tally/TYLogger.h"

#include <unistd.h>

namespace {

// The session holds its delegate strongly; this keeps the uploader free to go.
class SessionForwarder : public CWURLSessionDelegate {
public:
    explicit SessionForwarder(std::weak_ptr<TYUploader> uploader)
        : uploader_(std::move(uploader))
    {
    }
    bool respondsTo(Operation operation) const override
    {
        return operation == Operation::Complete || operation == Operation::ReceiveChallenge
            || operation == Operation::BecomeInvalid;
    }
    void didCompleteWithError(
        CWURLSession& session, CWURLSessionTask& task, const std::optional<KBError>& error) override
    {
        if (auto uploader = uploader_.lock()) {
            uploader->didCompleteWithError(session, task, error);
        }
    }
    void didReceiveChallenge(CWURLSession& session, const KBURLAuthenticationChallenge& challenge,
        const ChallengeCompletion& completion) override
    {
        if (auto uploader = uploader_.lock()) {
            uploader->didReceiveChallenge(session, challenge, completion);
        } else {
            completion(KBAuthChallengeDisposition::CancelAuthenticationChallenge, std::nullopt);
        }
    }
    void didBecomeInvalidWithError(CWURLSession&, const std::optional<KBError>& error) override
    {
        if (auto uploader = uploader_.lock()) {
            uploader->didBecomeInvalidWithError(error);
        }
    }

private:
    std::weak_ptr<TYUploader> uploader_;
};

void logUploader(const std::string& text)
{
    TYLogger::sharedLogger().logWithLabel("TYUploader", text);
}

} // namespace

TYUploader::TYUploader(std::shared_ptr<KBOperationQueue> queue, std::weak_ptr<TYUploaderDelegate> delegate)
    : operationQueue_(std::move(queue))
    , delegate_(std::move(delegate))
{
}

TYUploader::~TYUploader()
{
    if (powerObserver_) {
        powerState_->removeObserver(*powerObserver_);
    }
    if (session_) {
        session_->finishTasksAndInvalidate();
    }
}

void TYUploader::startUploadRequest(
    const KBURLRequest& request, const std::string& filePath, const std::string& uniqueName)
{
    auto self = shared_from_this();
    checkForExistingTaskMatchingDescription(uniqueName, [self, request, filePath, uniqueName](bool exists) {
        if (exists) {
            logUploader("A task currently exists for '" + uniqueName + "', skipping");
            return;
        }
        self->startNewUploadRequest(request, filePath, uniqueName);
    });
}

void TYUploader::startNewUploadRequest(
    const KBURLRequest& request, const std::string& filePath, const std::string& uniqueName)
{
    auto self = shared_from_this();
    const auto fail = [self, uniqueName, filePath](int64_t code) {
        const KBError error = errorWithCode(code, errorUserInfoWithFilePath(filePath, uniqueName));
        self->operationQueue_->addOperationWithBlock(
            [self, uniqueName, error] { self->handleTaskDescription(uniqueName, error); });
    };
    if (filePath.empty() || uniqueName.empty()) {
        fail(-2);
        return;
    }
    if (access(filePath.c_str(), R_OK) != 0) {
        fail(-8);
        return;
    }
    auto current = session();
    auto task = current ? current->uploadTaskWithRequest(request, filePath) : nullptr;
    if (!task) {
        fail(-2);
        return;
    }
    task->setTaskDescription(uniqueName);
    ++inFlight_[current.get()];
    task->resume();
}

void TYUploader::attemptToReconnectBackgroundSessionWithCompletionBlock(const std::function<void()>& completion)
{
    // Without background sessions there is nothing to reconnect to.
    if (!supportsBackgroundRequests()) {
        completion();
    }
}

void TYUploader::setDefaultUploadTimeout(double seconds)
{
    defaultUploadTimeout_ = seconds;
    dropSession();
}

void TYUploader::setLowPowerUploadTimeout(double seconds)
{
    lowPowerUploadTimeout_ = seconds;
    dropSession();
}

double TYUploader::defaultUploadTimeout() const
{
    return defaultUploadTimeout_;
}

double TYUploader::lowPowerUploadTimeout() const
{
    return lowPowerUploadTimeout_;
}

void TYUploader::dropSession()
{
    if (!session_) {
        return;
    }
    if (inFlight_[session_.get()] > 0) {
        retired_[session_.get()] = session_;
    } else {
        inFlight_.erase(session_.get());
        session_->finishTasksAndInvalidate();
    }
    session_.reset();
}

std::shared_ptr<CWURLSession> TYUploader::session()
{
    if (!powerObserver_) {
        std::weak_ptr<TYUploader> weak = weak_from_this();
        powerObserver_ = powerState_->addObserver([weak] {
            if (auto uploader = weak.lock()) {
                uploader->powerStageChanged();
            }
        });
    }
    if (!session_) {
        auto configuration = CWURLSessionConfiguration::defaultSessionConfiguration();
        configuration->timeoutIntervalForResource = lowPowerMode() ? lowPowerUploadTimeout_ : defaultUploadTimeout_;
        session_ = CWURLSession::sessionWithConfiguration(
            configuration, std::make_shared<SessionForwarder>(weak_from_this()), operationQueue_);
    }
    return session_;
}

bool TYUploader::lowPowerMode() const
{
    return powerState_->lowPowerMode();
}

bool TYUploader::supportsThermalNotifications() const
{
    return powerState_->supportsThermalNotifications();
}

void TYUploader::powerStageChanged()
{
    std::weak_ptr<TYUploader> weak = weak_from_this();
    operationQueue_->addOperationWithBlock([weak] {
        if (auto uploader = weak.lock()) {
            uploader->dropSession();
        }
    });
}

bool TYUploader::supportsBackgroundRequests() const
{
    if (TYApplication::hostApplication().isExtension()) {
        return false;
    }
    return shouldUseBackgroundRequests();
}

bool TYUploader::shouldUseBackgroundRequests() const
{
    return false;
}

void TYUploader::cancelUploadWithUniqueName(const std::string& uniqueName)
{
    std::vector<std::shared_ptr<CWURLSession>> sessions;
    if (session_) {
        sessions.push_back(session_);
    }
    for (const auto& [address, retired] : retired_) {
        sessions.push_back(retired);
    }
    for (const auto& each : sessions) {
        each->getTasksWithCompletionHandler([uniqueName](const CWURLSession::TaskLists& tasks) {
            for (const auto& task : tasks.uploadTasks) {
                if (task->taskDescription() == uniqueName) {
                    task->cancel();
                }
            }
        });
    }
}

void TYUploader::restartTask(const std::shared_ptr<CWURLSessionTask>& task)
{
    auto self = shared_from_this();
    operationQueue_->addOperationWithBlock([self, task] {
        const std::string name = task->taskDescription();
        auto delegate = self->delegate_.lock();
        const std::string path = delegate ? delegate->filePathForUniqueName(*self, name) : std::string();
        // The original request goes again, its packaged timestamp unchanged.
        self->startUploadRequest(task->originalRequest(), path, name);
    });
}

void TYUploader::handleTaskDescription(const std::string& description, const std::optional<KBError>& error)
{
    if (auto delegate = delegate_.lock()) {
        delegate->didFinishUploadWithUniqueName(*this, description, error);
    }
}

void TYUploader::checkForExistingTaskMatchingDescription(
    const std::string& description, std::function<void(bool exists)> completion)
{
    auto current = session();
    if (!current) {
        completion(false);
        return;
    }
    current->getTasksWithCompletionHandler([description, completion](const CWURLSession::TaskLists& tasks) {
        completion(taskArrayHasTaskMatchingDescription(tasks.uploadTasks, description)
            || taskArrayHasTaskMatchingDescription(tasks.dataTasks, description)
            || taskArrayHasTaskMatchingDescription(tasks.downloadTasks, description));
    });
}

bool TYUploader::taskArrayHasTaskMatchingDescription(
    const std::vector<std::shared_ptr<CWURLSessionTask>>& tasks, const std::string& description)
{
    for (const auto& task : tasks) {
        if (task->taskDescription() == description) {
            return true;
        }
    }
    return false;
}

KBError TYUploader::errorWithCode(int64_t code, nlohmann::json userInfo)
{
    return KBError{KBNetworkResponseHandler::kErrorDomain, code, std::move(userInfo)};
}

nlohmann::json TYUploader::errorUserInfoWithFilePath(const std::string& path, const std::string& uniqueName)
{
    return {{"NSFilePath", path.empty() ? "(null)" : path},
        {"TYUploaderUniqueName", uniqueName.empty() ? "(null)" : uniqueName}};
}

void TYUploader::didBecomeInvalidWithError(const std::optional<KBError>& error)
{
    logUploader("Error: session has become invalid " + (error ? error->description() : std::string("(null)")));
}

void TYUploader::didReceiveChallenge(CWURLSession& session, const KBURLAuthenticationChallenge& challenge,
    const CWURLSessionDelegate::ChallengeCompletion& completion)
{
    auto delegate = delegate_.lock();
    if (delegate && delegate->respondsToChallenges()) {
        delegate->didReceiveChallenge(*this, session, challenge, completion);
        return;
    }
    completion(KBAuthChallengeDisposition::PerformDefaultHandling, std::nullopt);
}

void TYUploader::didCompleteWithError(
    CWURLSession& session, CWURLSessionTask& task, const std::optional<KBError>& error)
{
    taskEnded(session);
    auto delegate = delegate_.lock();
    if (!delegate) {
        return;
    }
    auto self = shared_from_this();
    auto finished = task.shared_from_this();
    delegate->completedRequest(*this, task.originalRequest(), task.response(), task.taskDescription(), error,
        [self, finished](bool retry, const std::optional<KBError>& answer) {
            if (retry) {
                TYLogger::sharedLogger().log("Retrying task with name " + finished->taskDescription());
                self->restartTask(finished);
                return;
            }
            // Back on the queue: the answer may come from the main queue.
            self->operationQueue_->addOperationWithBlock(
                [self, finished, answer] { self->handleTaskDescription(finished->taskDescription(), answer); });
        });
}

void TYUploader::taskEnded(CWURLSession& session)
{
    const auto found = inFlight_.find(&session);
    if (found == inFlight_.end() || --found->second > 0) {
        return;
    }
    inFlight_.erase(found);
    const auto retired = retired_.find(&session);
    if (retired != retired_.end()) {
        retired->second->finishTasksAndInvalidate();
        // Released from its own delivery: let the delivery end first.
        auto keep = retired->second;
        retired_.erase(retired);
        operationQueue_->addOperationWithBlock([keep] {});
    }
}

const std::shared_ptr<KBOperationQueue>& TYUploader::operationQueue() const
{
    return operationQueue_;
}
