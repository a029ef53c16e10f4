#include "kit/core/CWURLSession.h"

#include "kit/core/CWURLSessionTemporaries.h"
#include "kit/core/CWURLSessionTransfer.h"
#include "kit/support/KBDigest.h"
#include "kit/support/KBQueue.h"

#include <cstdio>
#include <filesystem>
#include <future>

namespace {

std::atomic<uint64_t> nextTaskIdentifier{1};
constexpr std::chrono::milliseconds kTrustWaitSlice{20};

bool isAbsoluteHttpURL(const std::string& url)
{
    for (const char* scheme : {"http://", "https://"}) {
        const std::string prefix(scheme);
        if (url.size() > prefix.size() && KBEqualsIgnoringCase(url.substr(0, prefix.size()), prefix)) {
            return true;
        }
    }
    return false;
}

} // namespace

// ---- tasks ----

CWURLSessionTask::CWURLSessionTask(Kind kind, KBURLRequest request, std::weak_ptr<CWURLSession> session)
    : kind_(kind)
    , identifier_(nextTaskIdentifier++)
    , request_(std::move(request))
    , session_(std::move(session))
{
}

void CWURLSessionTask::resume()
{
    if (resumed_.exchange(true)) {
        return;
    }
    auto session = session_.lock();
    if (!session) {
        return;
    }
    auto self = shared_from_this();
    const bool posted = session->engine_->post([session, self] {
        auto transfer = std::make_unique<Transfer>();
        transfer->session = session;
        transfer->task = self;
        const bool prepared = transfer->prepare(
            self->request_, *session->configuration_, self->kind_, self->targetURL_, self->uploadFile_);
        self->transfer_ = std::move(transfer);
        if (!prepared) {
            self->endUnstarted(session,
                KBError{kb::kURLErrorDomain, self->kind_ == Kind::Upload ? -1100 : kb::kURLErrorCannotWriteToFile});
            return;
        }
        session->engine_->add(self);
    });
    if (!posted) {
        endUnstarted(session, KBError{kb::kURLErrorDomain, kb::kURLErrorCancelled});
    }
}

void CWURLSessionTask::endUnstarted(const std::shared_ptr<CWURLSession>& session, const KBError& error)
{
    {
        std::lock_guard lock(mutex_);
        error_ = error;
    }
    if (transfer_) {
        transfer_->release();
    }
    session->taskDidComplete(shared_from_this(), std::nullopt, error);
    if (transfer_) {
        transfer_->session.reset();
    }
}

void CWURLSessionTask::cancel()
{
    auto session = session_.lock();
    if (!session) {
        return;
    }
    auto self = shared_from_this();
    session->engine_->post([session, self] {
        if (self->transfer_ && self->transfer_->easy != nullptr
            && session->engine_->running.count(self->transfer_->easy) != 0) {
            self->transfer_->cancelled = true;
            session->engine_->finish(self->transfer_->easy, CURLE_ABORTED_BY_CALLBACK);
        }
    });
}

CWURLSessionTask::Kind CWURLSessionTask::kind() const
{
    return kind_;
}

uint64_t CWURLSessionTask::taskIdentifier() const
{
    return identifier_;
}

const KBURLRequest& CWURLSessionTask::originalRequest() const
{
    return request_;
}

std::optional<KBHTTPURLResponse> CWURLSessionTask::response() const
{
    std::lock_guard lock(mutex_);
    return response_;
}

std::optional<KBError> CWURLSessionTask::error() const
{
    std::lock_guard lock(mutex_);
    return error_;
}

bool CWURLSessionTask::invokesDelegate() const
{
    return !completion_;
}

std::string CWURLSessionTask::taskDescription() const
{
    std::lock_guard lock(mutex_);
    return description_;
}

void CWURLSessionTask::setTaskDescription(std::string description)
{
    std::lock_guard lock(mutex_);
    description_ = std::move(description);
}

const std::string& CWURLSessionTask::targetURL() const
{
    return targetURL_;
}

const std::string& CWURLSessionTask::uploadFile() const
{
    return uploadFile_;
}

// ---- the session ----

bool CWURLSession::NSURLSessionShouldBeUsed()
{
    return false;
}

std::shared_ptr<CWURLSession> CWURLSession::sessionWithConfiguration(
    const std::shared_ptr<CWURLSessionConfiguration>& configuration,
    const std::shared_ptr<CWURLSessionDelegate>& delegate, std::shared_ptr<KBOperationQueue> delegateQueue)
{
    if (!configuration) {
        return nullptr;
    }
    if (delegate && !delegateQueue) {
        delegateQueue = newDefaultDelegateQueue();
    }
    CWURLSessionTemporaries::removeStaleOnce();
    return std::make_shared<CWURLSession>(configuration, delegate, std::move(delegateQueue));
}

std::shared_ptr<KBOperationQueue> CWURLSession::newDefaultDelegateQueue()
{
    char name[64];
    std::snprintf(name, sizeof name, "CWURLSession %p", static_cast<const void*>(&nextTaskIdentifier));
    auto queue = KBOperationQueue::make(name);
    queue->setMaxConcurrentOperationCount(1);
    return queue;
}

CWURLSession::CWURLSession(std::shared_ptr<CWURLSessionConfiguration> configuration,
    const std::shared_ptr<CWURLSessionDelegate>& delegate, std::shared_ptr<KBOperationQueue> queue)
    : configuration_(std::move(configuration))
    , delegateQueue_(std::move(queue))
    , engine_(std::make_shared<Engine>())
    , delegate_(delegate)
{
    engine_->start(engine_);
}

CWURLSession::~CWURLSession()
{
    engine_->stop();
}

std::shared_ptr<CWURLSessionTask> CWURLSession::configureTask(
    std::shared_ptr<CWURLSessionTask> task, const KBURLRequest& request)
{
    std::lock_guard lock(mutex_);
    if (invalidated_) {
        return nullptr;
    }
    for (const auto& [name, value] : configuration_->HTTPAdditionalHeaders.fields()) {
        task->request_.headers.add(name, value);
    }
    (void)request;
    taskSet_.insert(task);
    return task;
}

std::shared_ptr<CWURLSessionTask> CWURLSession::dataTaskWithRequest(
    const KBURLRequest& request, CWURLSessionTask::DataCompletion completion)
{
    if (!isAbsoluteHttpURL(request.url)) {
        return nullptr;
    }
    auto task = std::make_shared<CWURLSessionDataTask>(CWURLSessionTask::Kind::Data, request, weak_from_this());
    task->completion_ = std::move(completion);
    return configureTask(task, request);
}

std::shared_ptr<CWURLSessionTask> CWURLSession::uploadTaskWithRequest(
    const KBURLRequest& request, const std::string& file, CWURLSessionTask::DataCompletion completion)
{
    if (!isAbsoluteHttpURL(request.url)) {
        return nullptr;
    }
    KBURLRequest streamed = request;
    streamed.body.clear();
    auto task = std::make_shared<CWURLSessionUploadTask>(CWURLSessionTask::Kind::Upload, streamed, weak_from_this());
    task->uploadFile_ = file;
    task->completion_ = std::move(completion);
    return configureTask(task, streamed);
}

std::shared_ptr<CWURLSessionTask> CWURLSession::downloadTaskWithRequest(
    const KBURLRequest& request, CWURLSessionTask::DownloadCompletion completion)
{
    if (!isAbsoluteHttpURL(request.url)) {
        return nullptr;
    }
    auto task = std::make_shared<CWURLSessionDownloadTask>(CWURLSessionTask::Kind::Download, request, weak_from_this());
    task->targetURL_ = CWURLSessionTemporaries::newPath();
    task->completion_ = std::move(completion);
    return configureTask(task, request);
}

std::shared_ptr<CWURLSessionTask> CWURLSession::downloadTaskWithURL(const std::string& url)
{
    KBURLRequest request;
    request.url = url;
    return downloadTaskWithRequest(request);
}

std::optional<std::string> CWURLSession::sendSynchronousRequest(
    const KBURLRequest& request, std::optional<KBHTTPURLResponse>* response, std::optional<KBError>* error)
{
    if (!isAbsoluteHttpURL(request.url)) {
        if (error != nullptr) {
            *error = KBError{kb::kURLErrorDomain, kb::kURLErrorUnsupportedURL};
        }
        return std::nullopt;
    }
    if (workersEnded()) {
        if (error != nullptr) {
            *error = KBError{kb::kURLErrorDomain, kb::kURLErrorCancelled};
        }
        return std::nullopt;
    }
    KBURLRequest prepared = request;
    for (const auto& [name, value] : configuration_->HTTPAdditionalHeaders.fields()) {
        prepared.headers.add(name, value);
    }
    CWURLSessionTask::Transfer transfer;
    transfer.session = shared_from_this();
    transfer.synchronous = true;
    std::optional<std::string> data;
    if (transfer.prepare(prepared, *configuration_, CWURLSessionTask::Kind::Data, {}, {})) {
        transfer.responseDelivered = true; // nothing to tell a delegate
        // Without a task the body is collected here.
        struct Collector {
            CWURLSessionTask::Transfer* transfer;
            std::string body;
        } collector{&transfer, {}};
        curl_easy_setopt(
            transfer.easy, CURLOPT_WRITEFUNCTION, +[](char* bytes, size_t size, size_t count, void* context) -> size_t {
                auto* into = static_cast<Collector*>(context);
                if (!into->transfer->admit(size * count)) {
                    return 0;
                }
                into->body.append(bytes, size * count);
                return size * count;
            });
        std::string& body = collector.body;
        curl_easy_setopt(transfer.easy, CURLOPT_WRITEDATA, &collector);
        const CURLcode result = curl_easy_perform(transfer.easy);
        if (error != nullptr) {
            *error = transfer.errorFor(result);
        }
        if (response != nullptr && transfer.responseSeen()) {
            *response = transfer.currentResponse();
        }
        if (result == CURLE_OK) {
            data = std::move(body);
        }
    } else if (error != nullptr) {
        *error = KBError{kb::kURLErrorDomain, kb::kURLErrorUnknown};
    }
    transfer.session.reset();
    return data;
}

void CWURLSession::invalidateAndCancel()
{
    std::set<std::shared_ptr<CWURLSessionTask>> tasks;
    {
        std::lock_guard lock(mutex_);
        invalidated_ = true;
        tasks = taskSet_;
    }
    for (const auto& task : tasks) {
        task->cancel();
    }
    // The cancellations reach the worker before the delegate goes, so their
    // completions still report.
    auto self = shared_from_this();
    auto forgetDelegate = [self] {
        self->onDelegateQueue([self] {
            std::lock_guard lock(self->mutex_);
            self->delegate_.reset();
        });
    };
    if (!engine_->post(forgetDelegate)) {
        forgetDelegate();
    }
}

void CWURLSession::finishTasksAndInvalidate()
{
    std::lock_guard lock(mutex_);
    invalidated_ = true;
    delegate_.reset();
}

void CWURLSession::getTasksWithCompletionHandler(const std::function<void(const TaskLists&)>& completion)
{
    auto self = shared_from_this();
    onDelegateQueue([self, completion] {
        TaskLists lists;
        {
            std::lock_guard lock(self->mutex_);
            for (const auto& task : self->taskSet_) {
                auto& list = task->kind() == CWURLSessionTask::Kind::Data ? lists.dataTasks
                    : task->kind() == CWURLSessionTask::Kind::Upload      ? lists.uploadTasks
                                                                          : lists.downloadTasks;
                list.push_back(task);
            }
        }
        completion(lists);
    });
}

std::shared_ptr<CWURLSessionConfiguration> CWURLSession::configuration() const
{
    return configuration_;
}

std::shared_ptr<CWURLSessionDelegate> CWURLSession::delegate() const
{
    std::lock_guard lock(mutex_);
    return delegate_;
}

std::shared_ptr<KBOperationQueue> CWURLSession::delegateQueue() const
{
    return delegateQueue_;
}

std::string CWURLSession::sessionDescription() const
{
    std::lock_guard lock(mutex_);
    return description_;
}

void CWURLSession::setSessionDescription(std::string description)
{
    std::lock_guard lock(mutex_);
    description_ = std::move(description);
}

void CWURLSession::onDelegateQueue(std::function<void()> block)
{
    if (delegateQueue_) {
        delegateQueue_->addOperationWithBlock(std::move(block));
    } else {
        KBQueue::global()->async(std::move(block));
    }
}

bool CWURLSession::shouldInvokeDelegate(CWURLSessionDelegate::Operation operation, const CWURLSessionTask& task) const
{
    const auto current = delegate();
    return task.invokesDelegate() && current && current->respondsTo(operation);
}

KBAuthChallengeDisposition CWURLSession::askTrust(const KBURLAuthenticationChallenge& challenge, bool onCallingThread)
{
    const auto current = delegate();
    if (!current || !current->respondsTo(CWURLSessionDelegate::Operation::ReceiveChallenge)) {
        return KBAuthChallengeDisposition::PerformDefaultHandling;
    }
    auto answer = std::make_shared<std::promise<KBAuthChallengeDisposition>>();
    auto answered = std::make_shared<std::atomic<bool>>(false);
    auto completion = [answer, answered](KBAuthChallengeDisposition disposition, std::optional<KBURLCredential>) {
        if (!answered->exchange(true)) {
            answer->set_value(disposition);
        }
    };
    auto future = answer->get_future();
    auto self = shared_from_this();
    if (onCallingThread) {
        current->didReceiveChallenge(*this, challenge, completion);
        return future.get();
    }
    onDelegateQueue(
        [self, current, challenge, completion] { current->didReceiveChallenge(*self, challenge, completion); });
    // The answer comes from the delegate queue, which may never run again
    // once the quit has begun: a stopping worker gives the handshake up.
    while (future.wait_for(kTrustWaitSlice) != std::future_status::ready) {
        if (engine_->isStopping()) {
            return KBAuthChallengeDisposition::CancelAuthenticationChallenge;
        }
    }
    return future.get();
}

void CWURLSession::taskDidReceiveResponse(
    const std::shared_ptr<CWURLSessionTask>& task, const KBHTTPURLResponse& response)
{
    {
        std::lock_guard lock(task->mutex_);
        task->response_ = response;
    }
    if (!shouldInvokeDelegate(CWURLSessionDelegate::Operation::ReceiveResponse, *task)) {
        return;
    }
    auto self = shared_from_this();
    onDelegateQueue([self, task, response] {
        if (auto current = self->delegate()) {
            current->didReceiveResponse(*self, *task, response, [](int) {});
        }
    });
}

void CWURLSession::taskDidReceiveData(const std::shared_ptr<CWURLSessionTask>& task, std::string data)
{
    if (!shouldInvokeDelegate(CWURLSessionDelegate::Operation::ReceiveData, *task)) {
        return;
    }
    auto self = shared_from_this();
    onDelegateQueue([self, task, data = std::move(data)] {
        if (auto current = self->delegate()) {
            current->didReceiveData(*self, *task, data);
        }
    });
}

void CWURLSession::taskDidComplete(
    const std::shared_ptr<CWURLSessionTask>& task, std::optional<std::string> data, std::optional<KBError> error)
{
    auto self = shared_from_this();
    const bool download = task->kind() == CWURLSessionTask::Kind::Download;
    onDelegateQueue([self, task, data = std::move(data), error, download] {
        const auto response = task->response();
        if (task->completion_) {
            std::optional<std::string> file;
            if (download && !error) {
                file = task->targetURL();
            }
            task->completion_(download ? file : data, response, error);
        } else {
            if (download && !error
                && self->shouldInvokeDelegate(CWURLSessionDelegate::Operation::FinishDownloading, *task)) {
                self->delegate()->didFinishDownloadingToURL(*self, *task, task->targetURL());
            }
            if (self->shouldInvokeDelegate(CWURLSessionDelegate::Operation::Complete, *task)) {
                self->delegate()->didCompleteWithError(*self, *task, error);
            }
        }
        if (download) {
            CWURLSessionTemporaries::remove(task->targetURL());
        }
        self->removeTask(task);
    });
}

void CWURLSession::removeTask(const std::shared_ptr<CWURLSessionTask>& task)
{
    std::lock_guard lock(mutex_);
    taskSet_.erase(task);
}
