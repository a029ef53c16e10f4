#pragma once

#include "kit/core/CWURLSessionConfiguration.h"
#include "kit/core/CWURLSessionDelegate.h"
#include "kit/core/CWURLSessionTask.h"
#include "kit/support/KBOperationQueue.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

// The kit's URL session on libcurl: one worker thread per session drives all
// its transfers. Delegate calls and completion blocks run as operations on
// the delegate queue. Every TLS handshake asks the delegate about the server
// trust.
class CWURLSession : public std::enable_shared_from_this<CWURLSession> {
public:
    struct TaskLists {
        std::vector<std::shared_ptr<CWURLSessionTask>> dataTasks;
        std::vector<std::shared_ptr<CWURLSessionTask>> uploadTasks;
        std::vector<std::shared_ptr<CWURLSessionTask>> downloadTasks;
    };

    // There is no system session on Linux.
    static bool NSURLSessionShouldBeUsed();
    static std::shared_ptr<CWURLSession> sessionWithConfiguration(
        const std::shared_ptr<CWURLSessionConfiguration>& configuration,
        const std::shared_ptr<CWURLSessionDelegate>& delegate = nullptr,
        std::shared_ptr<KBOperationQueue> delegateQueue = nullptr);
    static std::shared_ptr<KBOperationQueue> newDefaultDelegateQueue();

    // At quit, stops every session's worker: its transfers end as cancelled
    // (their completions are queued as usual), it leaves its poll and is
    // joined, all within `grace`. A worker waiting for a trust answer stops
    // waiting. From then on, sessions take no work: a task resumed later
    // ends at once as cancelled, and so does a synchronous request. Answers
    // whether every worker has ended; when one has not, the process must end
    // without running exit handlers, which would free what it still uses.
    static bool endAllWorkers(std::chrono::milliseconds grace);
    static bool workersEnded();

    ~CWURLSession();

    // The task makers give nothing for a request without an absolute http or
    // https URL.
    std::shared_ptr<CWURLSessionTask> dataTaskWithRequest(
        const KBURLRequest& request, CWURLSessionTask::DataCompletion completion = nullptr);
    std::shared_ptr<CWURLSessionTask> uploadTaskWithRequest(
        const KBURLRequest& request, const std::string& file, CWURLSessionTask::DataCompletion completion = nullptr);
    std::shared_ptr<CWURLSessionTask> downloadTaskWithRequest(
        const KBURLRequest& request, CWURLSessionTask::DownloadCompletion completion = nullptr);
    std::shared_ptr<CWURLSessionTask> downloadTaskWithURL(const std::string& url);

    // Runs the request on the calling thread and waits for it; trust is asked
    // of the delegate on this thread too.
    std::optional<std::string> sendSynchronousRequest(
        const KBURLRequest& request, std::optional<KBHTTPURLResponse>* response, std::optional<KBError>* error);

    void invalidateAndCancel();
    void finishTasksAndInvalidate();
    // The running tasks by kind, given on the delegate queue.
    void getTasksWithCompletionHandler(const std::function<void(const TaskLists&)>& completion);

    std::shared_ptr<CWURLSessionConfiguration> configuration() const;
    std::shared_ptr<CWURLSessionDelegate> delegate() const;
    std::shared_ptr<KBOperationQueue> delegateQueue() const;
    std::string sessionDescription() const;
    void setSessionDescription(std::string description);

    CWURLSession(std::shared_ptr<CWURLSessionConfiguration> configuration,
        const std::shared_ptr<CWURLSessionDelegate>& delegate, std::shared_ptr<KBOperationQueue> queue);

    struct Engine;

private:
    friend class CWURLSessionTask;

    std::shared_ptr<CWURLSessionTask> configureTask(
        std::shared_ptr<CWURLSessionTask> task, const KBURLRequest& request);
    // Runs on the delegate queue (or the global queue without one).
    void onDelegateQueue(std::function<void()> block);
    bool shouldInvokeDelegate(CWURLSessionDelegate::Operation operation, const CWURLSessionTask& task) const;
    KBAuthChallengeDisposition askTrust(const KBURLAuthenticationChallenge& challenge, bool onCallingThread);

    void taskDidReceiveResponse(const std::shared_ptr<CWURLSessionTask>& task, const KBHTTPURLResponse& response);
    void taskDidReceiveData(const std::shared_ptr<CWURLSessionTask>& task, std::string data);
    void taskDidComplete(
        const std::shared_ptr<CWURLSessionTask>& task, std::optional<std::string> data, std::optional<KBError> error);
    void removeTask(const std::shared_ptr<CWURLSessionTask>& task);

    std::shared_ptr<CWURLSessionConfiguration> configuration_;
    std::shared_ptr<KBOperationQueue> delegateQueue_;
    std::shared_ptr<Engine> engine_;

    mutable std::mutex mutex_;
    std::shared_ptr<CWURLSessionDelegate> delegate_;
    std::set<std::shared_ptr<CWURLSessionTask>> taskSet_;
    std::string description_;
    bool invalidated_ = false;
};
