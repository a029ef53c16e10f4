#pragma once

#include "kit/core/CWURLSession.h"
#include "kit/support/harness/Eventually.h"

#include <condition_variable>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

// A session delegate that writes down what it is told and lets a test wait
// for completions. Trust challenges go to an optional handler.
class SessionRecorder : public CWURLSessionDelegate {
public:
    using TrustHandler = std::function<void(const KBURLAuthenticationChallenge&, const ChallengeCompletion&)>;

    void didReceiveResponse(
        CWURLSession&, CWURLSessionTask&, const KBHTTPURLResponse& response, const std::function<void(int)>&) override
    {
        note("response " + std::to_string(response.statusCode));
    }
    void didReceiveData(CWURLSession&, CWURLSessionTask&, const std::string& data) override
    {
        std::lock_guard lock(mutex_);
        if (events_.empty() || events_.back() != "data") {
            events_.push_back("data");
        }
        body_ += data;
    }
    void didFinishDownloadingToURL(CWURLSession&, CWURLSessionTask&, const std::string& path) override
    {
        std::ifstream in(path);
        note(std::string("downloaded ") + (in ? "present" : "missing"));
    }
    void didCompleteWithError(CWURLSession&, CWURLSessionTask&, const std::optional<KBError>& error) override
    {
        // Told under the lock, as Awaited::set is.
        std::lock_guard lock(mutex_);
        events_.push_back(error ? "complete " + std::to_string(error->code) : "complete");
        ++completions_;
        changed_.notify_all();
    }
    void didReceiveChallenge(
        CWURLSession&, const KBURLAuthenticationChallenge& challenge, const ChallengeCompletion& completion) override
    {
        note("challenge " + challenge.host);
        if (trust) {
            trust(challenge, completion);
        } else {
            completion(KBAuthChallengeDisposition::PerformDefaultHandling, std::nullopt);
        }
    }

    bool waitForCompletions(int count)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(
            lock, std::chrono::duration<double>(kPatientSeconds), [&] { return completions_ >= count; });
    }
    std::vector<std::string> events()
    {
        std::lock_guard lock(mutex_);
        return events_;
    }
    std::string body()
    {
        std::lock_guard lock(mutex_);
        return body_;
    }

    TrustHandler trust;

private:
    void note(const std::string& event)
    {
        std::lock_guard lock(mutex_);
        events_.push_back(event);
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> events_;
    std::string body_;
    int completions_ = 0;
};

// Waits for a completion block's values.
template <typename Value> class Awaited {
public:
    void set(Value value)
    {
        // Told under the lock: a waiter that sees the value returns, and the
        // test may destroy this object, before a notify after the unlock.
        std::lock_guard lock(mutex_);
        values_.push_back(std::move(value));
        changed_.notify_all();
    }
    Value get()
    {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::duration<double>(kPatientSeconds), [&] { return !values_.empty(); });
        return values_.empty() ? Value{} : values_.front();
    }
    size_t count()
    {
        std::lock_guard lock(mutex_);
        return values_.size();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Value> values_;
};
