#pragma once

// The state of one libcurl transfer of a CWURLSession task and the session's
// worker. Private to the session's sources.
#include "kit/core/CWURLSession.h"

#include <curl/curl.h>
#include <openssl/x509.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <thread>

struct CWURLSessionTask::Transfer {
    ~Transfer();

    // Gives back the curl handle, the body's files and the buffers once the
    // transfer has ended. A finished task may be kept a long while (a batch
    // waiting for its retry), and must hold no descriptor meanwhile. A
    // download's body file stays for its completion.
    void release();

    bool prepare(const KBURLRequest& request, const CWURLSessionConfiguration& configuration, Kind kind,
        const std::string& target, const std::string& upload);
    void noteProgress(int64_t downloaded, int64_t uploaded);
    bool idleTooLong();
    KBHTTPURLResponse currentResponse() const;
    bool responseSeen() const
    {
        long status = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        return status != 0;
    }
    void deliverResponseOnce();
    void receiveData(std::string bytes);
    // Counts an answer's bytes; false (and the request fails) past the cap.
    bool admit(size_t length);
    // At the end of a redirect's header block: false when the next hop would
    // leave this scheme, host and port, which the request's headers (API key,
    // identifiers) must never reach. The request then ends with the redirect
    // as its answer.
    bool redirectStaysInOrigin();
    int verify(X509_STORE_CTX* store);
    std::optional<KBError> errorFor(int result) const;
    static std::string hostOfURL(const std::string& url);

    CURL* easy = nullptr;
    curl_slist* headerList = nullptr;
    // Keeps the session alive while the transfer runs.
    std::shared_ptr<CWURLSession> session;
    std::weak_ptr<CWURLSessionTask> task;
    std::string host;
    std::vector<std::string> headerLines;
    bool responseDelivered = false;
    std::string data;
    bool hasData = false;
    int downloadFd = -1;
    std::string downloadPath;
    int64_t maximumResponseBytes = 0;
    int64_t received = 0;
    bool tooLarge = false;
    bool redirectRefused = false;
    int uploadFd = -1;
    bool writeFailed = false;
    bool synchronous = false;
    double idleTimeout = 60.0;
    std::chrono::steady_clock::time_point lastProgress;
    int64_t lastDownloaded = 0;
    int64_t lastUploaded = 0;
    bool timedOut = false;
    bool cancelled = false;
    bool challengeCancelled = false;
    bool trustFailed = false;
    char errorText[CURL_ERROR_SIZE] = {};
};

struct CWURLSession::Engine {
    Engine();
    ~Engine();
    // Starts the worker, unless the workers were ended for the quit: then
    // the engine is stopped from the start and takes no work.
    void start(const std::shared_ptr<Engine>& self);
    // False when the engine has stopped: the command will never run.
    bool post(std::function<void()> command);
    void stop();
    // Tells the worker to stop, with `mutex` held.
    void stopLocked();
    // Stops the worker and joins it unless it has not left its work by
    // `deadline`; answers whether it has.
    bool stopBy(std::chrono::steady_clock::time_point deadline);
    bool isStopping();
    void add(const std::shared_ptr<CWURLSessionTask>& task);
    void finish(CURL* easy, int result);
    void run();
    // On the worker at its stop: every transfer ends as cancelled and the
    // multi handle goes with its connections, while TLS is still set up.
    void cancelAllAndClose();

    CURLM* multi;
    std::thread worker;
    std::mutex mutex;
    std::condition_variable endedChanged;
    std::vector<std::function<void()>> commands;
    bool stopping = false;
    bool ended = false;
    std::map<CURL*, std::shared_ptr<CWURLSessionTask>> running;
};
