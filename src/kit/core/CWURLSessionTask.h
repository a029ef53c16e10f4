#pragma once

#include "kit/core/KBError.h"
#include "kit/core/KBURLRequest.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class CWURLSession;

// One request of a CWURLSession. A task made with a completion block calls
// that block once and reports nothing to the session's delegate; one made
// without reports to the delegate. Tasks start with resume().
class CWURLSessionTask : public std::enable_shared_from_this<CWURLSessionTask> {
public:
    enum class Kind { Data, Upload, Download };
    using DataCompletion
        = std::function<void(std::optional<std::string>, std::optional<KBHTTPURLResponse>, std::optional<KBError>)>;
    using DownloadCompletion
        = std::function<void(std::optional<std::string>, std::optional<KBHTTPURLResponse>, std::optional<KBError>)>;

    virtual ~CWURLSessionTask();

    void resume();
    void cancel();

    Kind kind() const;
    uint64_t taskIdentifier() const;
    const KBURLRequest& originalRequest() const;
    std::optional<KBHTTPURLResponse> response() const;
    std::optional<KBError> error() const;
    bool invokesDelegate() const;
    std::string taskDescription() const;
    void setTaskDescription(std::string description);
    // The file receiving a download's body.
    const std::string& targetURL() const;
    // The file an upload's body is read from.
    const std::string& uploadFile() const;

    struct Transfer;

protected:
    CWURLSessionTask(Kind kind, KBURLRequest request, std::weak_ptr<CWURLSession> session);

private:
    friend class CWURLSession;

    // A task that never became a running transfer completes with `error`.
    void endUnstarted(const std::shared_ptr<CWURLSession>& session, const KBError& error);

    const Kind kind_;
    const uint64_t identifier_;
    KBURLRequest request_;
    std::weak_ptr<CWURLSession> session_;
    std::string targetURL_;
    std::string uploadFile_;
    DataCompletion completion_;
    std::atomic<bool> resumed_{false};

    mutable std::mutex mutex_;
    std::optional<KBHTTPURLResponse> response_;
    std::optional<KBError> error_;
    std::string description_;
    std::unique_ptr<Transfer> transfer_;
};

class CWURLSessionDataTask : public CWURLSessionTask {
public:
    CWURLSessionDataTask(Kind kind, KBURLRequest request, std::weak_ptr<CWURLSession> session)
        : CWURLSessionTask(kind, std::move(request), std::move(session))
    {
    }
};

// A data task whose body is streamed from a file.
class CWURLSessionUploadTask : public CWURLSessionDataTask {
public:
    using CWURLSessionDataTask::CWURLSessionDataTask;
};

// A data task whose body goes to a temporary file, removed after completion.
class CWURLSessionDownloadTask : public CWURLSessionDataTask {
public:
    using CWURLSessionDataTask::CWURLSessionDataTask;
};
