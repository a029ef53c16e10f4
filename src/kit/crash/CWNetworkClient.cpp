#include "kit/crash/CWNetworkClient.h"

#include "kit/core/CWURLSessionConfiguration.h"
#include "kit/core/KBCertificatePinner.h"
#include "kit/core/KBMainBundle.h"
#include "kit/core/KBMultipartMimeStreamEncoder.h"
#include "kit/core/KBNetworkOperation.h"
#include "kit/core/KBNetworkResponseHandler.h"
#include "kit/core/KBRetryBackoff.h"
#include "kit/core/KBURLBuilder.h"
#include "kit/crash/crashpath/CWSDKLog.h"
#include "kit/support/KBClock.h"
#include "kit/support/KBIdentifiers.h"
#include "kit/support/KBLog.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace {

// The session holds its delegate strongly; this keeps the client free to go.
class SessionForwarder : public CWURLSessionDelegate {
public:
    explicit SessionForwarder(std::weak_ptr<CWNetworkClient> client)
        : client_(std::move(client))
    {
    }
    bool respondsTo(Operation operation) const override
    {
        return operation == Operation::Complete || operation == Operation::ReceiveChallenge
            || operation == Operation::BecomeInvalid;
    }
    void didCompleteWithError(CWURLSession&, CWURLSessionTask& task, const std::optional<KBError>& error) override
    {
        if (auto client = client_.lock()) {
            client->didCompleteWithError(task, error);
        }
    }
    void didReceiveChallenge(CWURLSession& session, const KBURLAuthenticationChallenge& challenge,
        const ChallengeCompletion& completion) override
    {
        if (auto client = client_.lock()) {
            client->didReceiveChallenge(session, challenge, completion);
        } else {
            completion(KBAuthChallengeDisposition::CancelAuthenticationChallenge, std::nullopt);
        }
    }
    void didBecomeInvalidWithError(CWURLSession&, const std::optional<KBError>& error) override
    {
        KBLog::debug("[Crashwatch:Crash:Client] session became invalid: "
            + (error ? error->description() : std::string("(null)")));
    }

private:
    std::weak_ptr<CWNetworkClient> client_;
};

constexpr double kAsynchronousTimeout = 10.0;
constexpr double kBlockingTimeout = 2.0;

} // namespace

std::shared_ptr<CWNetworkClient> CWNetworkClient::make(std::shared_ptr<KBOperationQueue> queue,
    std::shared_ptr<const CWFileManager> fileManager, CWNetworkClientDelegate* delegate)
{
    return std::shared_ptr<CWNetworkClient>(new CWNetworkClient(std::move(queue), std::move(fileManager), delegate));
}

CWNetworkClient::CWNetworkClient(std::shared_ptr<KBOperationQueue> queue,
    std::shared_ptr<const CWFileManager> fileManager, CWNetworkClientDelegate* delegate)
    : operationQueue_(std::move(queue))
    , fileManager_(std::move(fileManager))
    , delegate_(delegate)
    , certPinner_(std::make_shared<KBCertificatePinner>(KBPinnedCertificates()))
{
    canUseBackgroundSession_ = delegate_ != nullptr && delegate_->networkClientCanUseBackgroundSessions(*this);
    if (!supportsBackgroundRequests()) {
        KBLog::debug("[Crashwatch:Crash:Client] Background session uploading not supported, asynchronous uploading "
                     "will be used");
    }
}

CWNetworkClient::~CWNetworkClient()
{
    if (session_) {
        session_->finishTasksAndInvalidate();
    }
}

void CWNetworkClient::setDelegate(CWNetworkClientDelegate* delegate)
{
    delegate_ = delegate;
}

void CWNetworkClient::setPinnedCertificates(std::vector<KBCertificate> certificates)
{
    std::lock_guard lock(sessionMutex_);
    certPinner_ = std::make_shared<KBCertificatePinner>(std::move(certificates));
}

const std::shared_ptr<KBOperationQueue>& CWNetworkClient::operationQueue() const
{
    return operationQueue_;
}

bool CWNetworkClient::uploadPackagedReportAtPath(const std::string& path, bool urgent)
{
    const auto settings = delegate_ ? delegate_->settingsForNetworkClient(*this) : std::nullopt;
    if (!settings.value_or(CWSettings(std::nullopt)).shouldSubmitReports()) {
        KBLog::info("[Crashwatch:Crash:Reports] Submission disabled");
        return false;
    }
    KBLog::debug(std::string("[Crashwatch:Crash:Reports] Submitting report") + (urgent ? " as urgent" : ""));
    return submitPackageMultipartMimeAtPath(path, urgent);
}

bool CWNetworkClient::submitPackageMultipartMimeAtPath(const std::string& path, bool synchronously)
{
    KBLog::debug(std::string("[Crashwatch:Crash:Reports] Submitting ") + (synchronously ? "sync " : "async ") + path);
    const auto size = fileManager_->fileSizeAtPath(path);
    if (!size || *size == 0) {
        KBLog::debug("[Crashwatch:Crash:Reports] Already-submitted report being ignored");
        return false;
    }
    const auto request = requestForPackageAtPath(path, synchronously);
    if (!request) {
        KBLog::info("[Crashwatch:Crash:Reports] Could not determine size of multipart mime file");
        return false;
    }
    startUploadRequest(*request, path, synchronously);
    return true;
}

std::string CWNetworkClient::reportURL()
{
    const auto settings = delegate_ ? delegate_->settingsForNetworkClient(*this) : std::nullopt;
    auto builder = KBURLBuilder::URLWithBase(settings.value_or(CWSettings(std::nullopt)).reportsEndpoint());
    builder.appendComponent("/sdk-api/v1/platforms/");
    builder.appendComponent("linux");
    builder.appendComponent("/apps/");
    builder.appendComponent(KBMainBundle::bundleIdentifier().value_or(""));
    builder.appendComponent("/reports");
    return builder.URLString();
}

std::optional<KBURLRequest> CWNetworkClient::requestForPackageAtPath(const std::string& path, bool synchronously)
{
    KBURLRequest request;
    request.url = reportURL();
    request.method = "POST";
    request.cachePolicy = 1;
    request.timeoutInterval = synchronously && !supportsBackgroundRequests() ? kBlockingTimeout : kAsynchronousTimeout;
    setServiceHeaders(request, (delegate_ ? delegate_->APIKeyForNetworkClient(*this) : std::nullopt).value_or(""));
    std::string boundary = path.substr(path.find_last_of('/') + 1);
    boundary = boundary.substr(0, boundary.rfind('.'));
    request.setHeader("Content-Type", KBMultipartMimeStreamEncoder::contentTypeHTTPHeaderValueWithBoundary(boundary));
    const auto size = fileManager_->fileSizeAtPath(path);
    if (!size) {
        return std::nullopt;
    }
    request.setHeader("Content-Length", std::to_string(*size));
    return request;
}

void CWNetworkClient::setServiceHeaders(KBURLRequest& request, const std::string& apiKey)
{
    const std::string locale = KBNetworkOperation::localeIdentifier();
    request.setHeader("User-Agent", kUserAgent);
    request.setHeader("Accept", "application/json");
    request.setHeader("Accept-Charset", "utf-8");
    request.setHeader("Accept-Language", locale);
    request.setHeader("Content-Language", locale);
    request.setHeader("X-Crashwatch-Developer-Token", kb::kDeveloperToken);
    request.setHeader("X-Crashwatch-API-Client-Id", kb::kCrashKitIdentifier);
    request.setHeader("X-Crashwatch-API-Client-Display-Version", "3.8.4");
    request.setHeader("X-Crashwatch-API-Client-Build-Version", "121");
    request.setHeader("X-Crashwatch-API-Key", apiKey);
}

std::shared_ptr<CWURLSession> CWNetworkClient::session()
{
    std::lock_guard lock(sessionMutex_);
    if (!session_) {
        session_ = CWURLSession::sessionWithConfiguration(CWURLSessionConfiguration::defaultSessionConfiguration(),
            std::make_shared<SessionForwarder>(weak_from_this()), operationQueue_);
        if (!session_) {
            KBLog::info("[Crashwatch:Crash:Client] Failed to initialize");
        }
    }
    return session_;
}

bool CWNetworkClient::supportsBackgroundRequests() const
{
    // The session layer has no background sessions on Linux.
    return CWURLSession::NSURLSessionShouldBeUsed() && canUseBackgroundSession_;
}

void CWNetworkClient::attemptToReconnectBackgroundSessionWithCompletionBlock(const std::function<void()>& block)
{
    if (supportsBackgroundRequests()) {
        KBOperationQueue::mainQueue()->addOperationWithBlock(block);
    } else {
        block();
    }
}

void CWNetworkClient::startUploadRequest(const KBURLRequest& request, const std::string& path, bool immediately)
{
    if (immediately) {
        startImmediateUploadRequest(request, path);
        return;
    }
    const auto description = relativeTaskPathForAbsolutePath(path);
    auto self = shared_from_this();
    checkForExistingTaskMatchingDescription(description.value_or(""), [self, request, path](bool exists) {
        if (exists) {
            KBLog::debug("[Crashwatch:Crash:Client] A task currently exists for this upload, skipping");
            return;
        }
        self->startNewUploadRequest(request, path);
    });
}

void CWNetworkClient::startImmediateUploadRequest(const KBURLRequest& request, const std::string& path)
{
    if (supportsBackgroundRequests()) {
        startNewUploadRequest(request, path);
        return;
    }
    std::ifstream file(path, std::ios::binary);
    if (access(path.c_str(), R_OK) != 0 || !file) {
        CWLOG_WARN("Error: file unreadable\n");
        return;
    }
    KBURLRequest copy = request;
    copy.body.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    auto current = session();
    if (!current) {
        return;
    }
    std::optional<KBHTTPURLResponse> response;
    std::optional<KBError> error;
    current->sendSynchronousRequest(copy, &response, &error);
    if (!error && KBNetworkResponseHandler::clientResponseType(response) == KBNetworkResponseHandler::Success) {
        finish(path, std::nullopt);
    }
}

void CWNetworkClient::startNewUploadRequest(const KBURLRequest& request, const std::string& path)
{
    auto current = access(path.c_str(), R_OK) == 0 ? session() : nullptr;
    auto task = current ? current->uploadTaskWithRequest(request, path) : nullptr;
    if (!task) {
        auto self = shared_from_this();
        const KBError error{kErrorDomain, -2, {{"path", path}}};
        operationQueue_->addOperationWithBlock([self, path, error] { self->finish(path, error); });
        return;
    }
    task->setTaskDescription(relativeTaskPathForAbsolutePath(path).value_or(""));
    task->resume();
}

std::optional<std::string> CWNetworkClient::relativeTaskPathForAbsolutePath(const std::string& path) const
{
    const std::string prefix = rootPath() + "/";
    if (path.compare(0, prefix.size(), prefix) != 0) {
        CWLOG_WARN("Error: path '%s' is not at the root '%s'", path.c_str(), rootPath().c_str());
        return std::nullopt;
    }
    std::string relative = path;
    for (auto found = relative.find(prefix); found != std::string::npos; found = relative.find(prefix)) {
        relative.erase(found, prefix.size());
    }
    return relative;
}

std::string CWNetworkClient::absolutePathForRelativeTaskPath(const std::string& path) const
{
    return rootPath() + "/" + path;
}

const std::string& CWNetworkClient::rootPath() const
{
    return fileManager_->rootPath();
}

void CWNetworkClient::checkForExistingTaskMatchingDescription(
    const std::string& description, std::function<void(bool exists)> completion)
{
    auto current = session();
    if (!current) {
        completion(false);
        return;
    }
    current->getTasksWithCompletionHandler([description, completion](const CWURLSession::TaskLists& tasks) {
        for (const auto* list : {&tasks.uploadTasks, &tasks.dataTasks, &tasks.downloadTasks}) {
            for (const auto& task : *list) {
                if (task->taskDescription() == description) {
                    completion(true);
                    return;
                }
            }
        }
        completion(false);
    });
}

double CWNetworkClient::retryDelayForResponse(const std::optional<KBHTTPURLResponse>& response, int retries)
{
    return KBRetryBackoff::delayForResponse(response, static_cast<uint64_t>(std::max(retries, 0)));
}

void CWNetworkClient::didCompleteWithError(CWURLSessionTask& task, const std::optional<KBError>& error)
{
    auto self = shared_from_this();
    auto finished = task.shared_from_this();
    KBNetworkResponseHandler::handleCompletedResponse(task.response(), task.originalRequest(), error,
        [self, finished](bool retry, const std::optional<KBError>& answer) {
            const std::string path = self->absolutePathForRelativeTaskPath(finished->taskDescription());
            if (retry) {
                self->restartTask(finished);
            } else {
                self->finish(path, answer);
            }
        });
}

void CWNetworkClient::restartTask(const std::shared_ptr<CWURLSessionTask>& task)
{
    auto self = shared_from_this();
    int retries = 0;
    {
        std::lock_guard lock(sessionMutex_);
        retries = retries_[task->taskDescription()]++;
    }
    const double delay = retryDelayForResponse(task->response(), retries);
    KBLog::debug("[Crashwatch:Crash:Client] Retrying the upload in " + std::to_string(delay) + " s");
    KBClock::shared()->after(delay, KBQueue::global(), [self, task] {
        self->operationQueue_->addOperationWithBlock([self, task] {
            self->startNewUploadRequest(
                task->originalRequest(), self->absolutePathForRelativeTaskPath(task->taskDescription()));
        });
    });
}

void CWNetworkClient::finish(const std::string& path, const std::optional<KBError>& error)
{
    if (const auto relative = relativeTaskPathForAbsolutePath(path)) {
        std::lock_guard lock(sessionMutex_);
        retries_.erase(*relative);
    }
    if (delegate_ != nullptr) {
        delegate_->networkClientDidFinishUploadWithPath(*this, path, error);
    }
}

void CWNetworkClient::didReceiveChallenge(CWURLSession&, const KBURLAuthenticationChallenge& challenge,
    const CWURLSessionDelegate::ChallengeCompletion& completion)
{
    if (KBLog::debugEnabled()) {
        completion(KBAuthChallengeDisposition::PerformDefaultHandling, std::nullopt);
        return;
    }
    std::shared_ptr<KBCertificatePinner> pinner;
    {
        std::lock_guard lock(sessionMutex_);
        pinner = certPinner_;
    }
    pinner->handleChallenge(challenge, completion);
}
