// The libcurl side of CWURLSession: one worker thread per session runs a
// multi handle; every callback of a transfer runs on that thread.
#include "kit/core/CWURLSession.h"

#include "kit/core/CWURLSessionTransfer.h"

#include <curl/curl.h>
#include <openssl/ssl.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "kit/core/CWURLSessionTemporaries.h"
#include "kit/support/KBLog.h"

namespace {

constexpr long kPollMilliseconds = 20;

size_t onHeader(char* bytes, size_t size, size_t count, void* context)
{
    auto* transfer = static_cast<CWURLSessionTask::Transfer*>(context);
    std::string line(bytes, size * count);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.pop_back();
    }
    if (line.rfind("HTTP/", 0) == 0) {
        transfer->headerLines.clear();
    } else if (!line.empty()) {
        transfer->headerLines.push_back(line);
    } else if (!transfer->redirectStaysInOrigin()) {
        return 0;
    }
    return size * count;
}

size_t onBody(char* bytes, size_t size, size_t count, void* context)
{
    auto* transfer = static_cast<CWURLSessionTask::Transfer*>(context);
    const size_t length = size * count;
    transfer->deliverResponseOnce();
    if (!transfer->admit(length)) {
        return 0;
    }
    if (transfer->downloadFd >= 0) {
        const ssize_t written = ::write(transfer->downloadFd, bytes, length);
        if (written != static_cast<ssize_t>(length)) {
            // A short write ends the transfer; the file is not reported.
            transfer->writeFailed = true;
            return written > 0 ? static_cast<size_t>(written) : 0;
        }
        return length;
    }
    transfer->receiveData(std::string(bytes, length));
    return length;
}

size_t onUploadRead(char* buffer, size_t size, size_t count, void* context)
{
    auto* transfer = static_cast<CWURLSessionTask::Transfer*>(context);
    for (;;) {
        const ssize_t got = ::read(transfer->uploadFd, buffer, size * count);
        if (got >= 0) {
            return static_cast<size_t>(got);
        }
        if (errno != EINTR) {
            return CURL_READFUNC_ABORT;
        }
    }
}

int onProgress(void* context, curl_off_t, curl_off_t downloaded, curl_off_t, curl_off_t uploaded)
{
    auto* transfer = static_cast<CWURLSessionTask::Transfer*>(context);
    transfer->noteProgress(downloaded, uploaded);
    return transfer->idleTooLong() ? 1 : 0;
}

// An upload's progress should be what the server has taken, not what the
// kernel buffered: with megabytes of send buffer an upload would look
// finished long before it is, and the idle time-out would then count the
// server's reading as silence.
int onUploadSocket(void*, curl_socket_t socket, curlsocktype)
{
    const int bytes = 256 * 1024;
    ::setsockopt(socket, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes);
    return CURL_SOCKOPT_OK;
}

int onVerify(X509_STORE_CTX* store, void* context)
{
    return static_cast<CWURLSessionTask::Transfer*>(context)->verify(store);
}

CURLcode onSslContext(CURL*, void* sslContext, void* context)
{
    SSL_CTX_set_cert_verify_callback(static_cast<SSL_CTX*>(sslContext), onVerify, context);
    return CURLE_OK;
}

} // namespace

CWURLSessionTask::~CWURLSessionTask() = default;

CWURLSessionTask::Transfer::~Transfer()
{
    release();
    // The task's completion has run by now (it holds the task, which holds
    // this), or never will: either way the body file has had its use.
    CWURLSessionTemporaries::remove(downloadPath);
}

void CWURLSessionTask::Transfer::release()
{
    if (easy != nullptr) {
        curl_easy_cleanup(easy);
        easy = nullptr;
    }
    curl_slist_free_all(headerList);
    headerList = nullptr;
    if (downloadFd >= 0) {
        ::close(downloadFd);
        downloadFd = -1;
    }
    if (uploadFd >= 0) {
        ::close(uploadFd);
        uploadFd = -1;
    }
    headerLines = {};
    data = {};
}

bool CWURLSessionTask::Transfer::admit(size_t length)
{
    received += static_cast<int64_t>(length);
    if (maximumResponseBytes > 0 && received > maximumResponseBytes) {
        if (!tooLarge) {
            KBLog::info("[Kitbase] The answer from " + host + " passed " + std::to_string(maximumResponseBytes)
                + " bytes; the request stops");
        }
        tooLarge = true;
        return false;
    }
    return true;
}

namespace {

struct Origin {
    std::string scheme;
    std::string host;
    std::string port;
    bool operator==(const Origin&) const = default;
};

std::optional<Origin> originOf(CURLU* url)
{
    char* scheme = nullptr;
    char* host = nullptr;
    char* port = nullptr;
    std::optional<Origin> origin;
    if (curl_url_get(url, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK
        && curl_url_get(url, CURLUPART_HOST, &host, 0) == CURLUE_OK
        && curl_url_get(url, CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) == CURLUE_OK) {
        origin = Origin{scheme, host, port};
        for (auto& character : origin->scheme) {
            character = static_cast<char>(std::tolower(static_cast<unsigned char>(character)));
        }
        for (auto& character : origin->host) {
            character = static_cast<char>(std::tolower(static_cast<unsigned char>(character)));
        }
    }
    curl_free(scheme);
    curl_free(host);
    curl_free(port);
    return origin;
}

} // namespace

bool CWURLSessionTask::Transfer::redirectStaysInOrigin()
{
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    if (status < 300 || status > 399) {
        return true;
    }
    std::optional<std::string> location;
    for (const auto& line : headerLines) {
        const auto colon = line.find(':');
        if (colon != std::string::npos && KBEqualsIgnoringCase(line.substr(0, colon), "Location")) {
            const auto start = line.find_first_not_of(" \t", colon + 1);
            location = start == std::string::npos ? "" : line.substr(start);
        }
    }
    if (!location) {
        return true; // nothing to follow
    }
    char* current = nullptr;
    curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &current);
    CURLU* from = curl_url();
    CURLU* to = curl_url();
    bool same = false;
    if (current != nullptr && curl_url_set(from, CURLUPART_URL, current, 0) == CURLUE_OK
        && curl_url_set(to, CURLUPART_URL, current, 0) == CURLUE_OK
        && curl_url_set(to, CURLUPART_URL, location->c_str(), 0) == CURLUE_OK) {
        const auto origin = originOf(from);
        same = origin && origin == originOf(to);
    }
    curl_url_cleanup(from);
    curl_url_cleanup(to);
    if (!same) {
        KBLog::info("[Kitbase] A redirect from " + host + " to another origin is not followed");
        redirectRefused = true;
    }
    return same;
}

bool CWURLSessionTask::Transfer::prepare(const KBURLRequest& request, const CWURLSessionConfiguration& configuration,
    Kind kind, const std::string& target, const std::string& upload)
{
    easy = curl_easy_init();
    if (easy == nullptr) {
        return false;
    }
    host = hostOfURL(request.url);
    idleTimeout = request.timeoutInterval > 0 ? request.timeoutInterval : 60.0;
    lastProgress = std::chrono::steady_clock::now();
    curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_NOPROXY, "localhost,127.0.0.1,::1");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 16L);
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    maximumResponseBytes = configuration.maximumResponseBytes;
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, onSslContext);
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, this);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(idleTimeout * 1000));
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS,
        std::max(1L, static_cast<long>(std::min(configuration.timeoutIntervalForResource, 2.0e6) * 1000)));
    if (!configuration.caFile.empty()) {
        curl_easy_setopt(easy, CURLOPT_CAINFO, configuration.caFile.c_str());
        curl_easy_setopt(easy, CURLOPT_CAPATH, nullptr);
    }

    // libcurl would add "Expect: 100-continue" to larger bodies and wait.
    headerList = curl_slist_append(headerList, "Expect:");
    for (const auto& [name, value] : request.headers.fields()) {
        headerList = curl_slist_append(headerList, (name + ": " + value).c_str());
    }
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headerList);

    if (kind == Kind::Upload) {
        uploadFd = ::open(upload.c_str(), O_RDONLY | O_CLOEXEC);
        if (uploadFd < 0) {
            return false;
        }
        const off_t size = ::lseek(uploadFd, 0, SEEK_END);
        ::lseek(uploadFd, 0, SEEK_SET);
        curl_easy_setopt(easy, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(easy, CURLOPT_READFUNCTION, onUploadRead);
        curl_easy_setopt(easy, CURLOPT_READDATA, this);
        curl_easy_setopt(easy, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(size));
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.method.c_str());
        curl_easy_setopt(easy, CURLOPT_SOCKOPTFUNCTION, onUploadSocket);
        // A bounded send buffer only helps on a connection of its own, which
        // is closed at the end rather than kept open for nobody.
        curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, 1L);
        curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
    } else if (!request.body.empty() || request.method == "POST" || request.method == "PUT") {
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
        curl_easy_setopt(easy, CURLOPT_COPYPOSTFIELDS, request.body.c_str());
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.method.c_str());
    } else if (request.method == "HEAD") {
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    } else if (request.method != "GET") {
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.method.c_str());
    }
    if (kind == Kind::Download) {
        downloadPath = target;
        downloadFd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (downloadFd < 0) {
            return false;
        }
    }
    return true;
}

void CWURLSessionTask::Transfer::noteProgress(int64_t downloaded, int64_t uploaded)
{
    if (downloaded != lastDownloaded || uploaded != lastUploaded) {
        lastDownloaded = downloaded;
        lastUploaded = uploaded;
        lastProgress = std::chrono::steady_clock::now();
    }
}

bool CWURLSessionTask::Transfer::idleTooLong()
{
    const auto idle = std::chrono::steady_clock::now() - lastProgress;
    if (idle > std::chrono::duration<double>(idleTimeout)) {
        timedOut = true;
    }
    // A request on a caller's thread has no worker to be stopped at quit.
    if (synchronous && CWURLSession::workersEnded()) {
        cancelled = true;
    }
    return timedOut || cancelled;
}

KBHTTPURLResponse CWURLSessionTask::Transfer::currentResponse() const
{
    KBHTTPURLResponse response;
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    response.statusCode = static_cast<int>(status);
    char* url = nullptr;
    curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &url);
    response.url = url != nullptr ? url : "";
    for (const auto& line : headerLines) {
        const auto colon = line.find(':');
        if (colon == std::string::npos) {
            continue;
        }
        const auto start = line.find_first_not_of(" \t", colon + 1);
        response.headers.add(line.substr(0, colon), start == std::string::npos ? "" : line.substr(start));
    }
    return response;
}

void CWURLSessionTask::Transfer::deliverResponseOnce()
{
    if (responseDelivered) {
        return;
    }
    responseDelivered = true;
    if (auto owner = task.lock()) {
        session->taskDidReceiveResponse(owner, currentResponse());
    }
}

void CWURLSessionTask::Transfer::receiveData(std::string bytes)
{
    if (auto owner = task.lock()) {
        if (owner->completion_) {
            data += bytes;
            hasData = true;
        } else {
            session->taskDidReceiveData(owner, std::move(bytes));
        }
    }
}

int CWURLSessionTask::Transfer::verify(X509_STORE_CTX* store)
{
    std::vector<X509*> chain;
    if (X509* leaf = X509_STORE_CTX_get0_cert(store)) {
        chain.push_back(leaf);
    }
    if (STACK_OF(X509)* untrusted = X509_STORE_CTX_get0_untrusted(store)) {
        for (int i = 0; i < sk_X509_num(untrusted); ++i) {
            X509* certificate = sk_X509_value(untrusted, i);
            if (chain.empty() || certificate != chain.front()) {
                chain.push_back(certificate);
            }
        }
    }
    KBURLAuthenticationChallenge challenge{host, std::make_shared<KBServerTrust>(chain, host)};
    switch (session->askTrust(challenge, synchronous)) {
    case KBAuthChallengeDisposition::UseCredential:
        X509_STORE_CTX_set_error(store, X509_V_OK);
        return 1;
    case KBAuthChallengeDisposition::PerformDefaultHandling: {
        const int verified = X509_verify_cert(store);
        trustFailed = verified <= 0;
        return verified > 0 ? 1 : 0;
    }
    default:
        challengeCancelled = true;
        return 0;
    }
}

std::optional<KBError> CWURLSessionTask::Transfer::errorFor(int result) const
{
    const auto code = static_cast<CURLcode>(result);
    if (code == CURLE_OK || (redirectRefused && code == CURLE_WRITE_ERROR)) {
        return std::nullopt;
    }
    if (tooLarge) {
        return KBError{kb::kURLErrorDomain, kb::kURLErrorDataLengthExceedsMaximum,
            {{"NSLocalizedDescription",
                "the answer is larger than " + std::to_string(maximumResponseBytes) + " bytes"}}};
    }
    if (writeFailed) {
        return KBError{"CWURLSessionDownloadTaskError", -1};
    }
    int64_t urlCode = kb::kURLErrorUnknown;
    if (cancelled || challengeCancelled) {
        urlCode = kb::kURLErrorCancelled;
    } else if (timedOut || code == CURLE_OPERATION_TIMEDOUT) {
        urlCode = kb::kURLErrorTimedOut;
    } else if (trustFailed || code == CURLE_PEER_FAILED_VERIFICATION || code == CURLE_SSL_CACERT_BADFILE) {
        urlCode = kb::kURLErrorServerCertificateUntrusted;
    } else if (code == CURLE_COULDNT_CONNECT) {
        urlCode = kb::kURLErrorCannotConnectToHost;
    } else if (code == CURLE_COULDNT_RESOLVE_HOST) {
        urlCode = -1003;
    } else if (code == CURLE_RECV_ERROR || code == CURLE_SEND_ERROR || code == CURLE_GOT_NOTHING
        || code == CURLE_PARTIAL_FILE || code == CURLE_SSL_CONNECT_ERROR) {
        urlCode = kb::kURLErrorNetworkConnectionLost;
    } else if (code == CURLE_UNSUPPORTED_PROTOCOL) {
        urlCode = kb::kURLErrorUnsupportedURL;
    } else if (code == CURLE_URL_MALFORMAT) {
        urlCode = kb::kURLErrorBadURL;
    } else if (code == CURLE_WRITE_ERROR || code == CURLE_READ_ERROR) {
        urlCode = kb::kURLErrorCannotWriteToFile;
    }
    const std::string text = errorText[0] != '\0' ? errorText : curl_easy_strerror(code);
    return KBError{kb::kURLErrorDomain, urlCode, {{"NSLocalizedDescription", text}}};
}

std::string CWURLSessionTask::Transfer::hostOfURL(const std::string& url)
{
    const auto schemeEnd = url.find("://");
    if (schemeEnd == std::string::npos) {
        return {};
    }
    std::string authority = url.substr(schemeEnd + 3, url.find_first_of("/?#", schemeEnd + 3) - schemeEnd - 3);
    if (const auto at = authority.rfind('@'); at != std::string::npos) {
        authority.erase(0, at + 1);
    }
    if (!authority.empty() && authority.front() == '[') {
        return authority.substr(1, authority.find(']') - 1);
    }
    return authority.substr(0, authority.find(':'));
}

// ---- the worker ----

namespace {

// Every session's engine, so that the quit can stop their workers. It is
// never destroyed: an engine may go with a static after it would have been.
struct EngineRegistry {
    std::mutex mutex;
    std::vector<std::weak_ptr<CWURLSession::Engine>> engines;
    std::atomic<bool> closed{false};
};

EngineRegistry& engineRegistry()
{
    static auto* registry = new EngineRegistry;
    return *registry;
}

} // namespace

bool CWURLSession::endAllWorkers(std::chrono::milliseconds grace)
{
    std::vector<std::shared_ptr<Engine>> engines;
    {
        auto& registry = engineRegistry();
        std::lock_guard lock(registry.mutex);
        registry.closed = true;
        for (const auto& engine : registry.engines) {
            if (auto live = engine.lock()) {
                engines.push_back(std::move(live));
            }
        }
        registry.engines.clear();
    }
    // All are told first, so that they wind down side by side within the grace.
    for (const auto& engine : engines) {
        std::lock_guard lock(engine->mutex);
        engine->stopLocked();
    }
    const auto deadline = std::chrono::steady_clock::now() + grace;
    std::vector<std::shared_ptr<Engine>> running;
    for (const auto& engine : engines) {
        if (!engine->stopBy(deadline)) {
            running.push_back(engine);
        }
    }
    // A worker still inside its work stays known, so that a later call does
    // not answer that all have ended while it runs.
    auto& registry = engineRegistry();
    std::lock_guard lock(registry.mutex);
    registry.engines.insert(registry.engines.end(), running.begin(), running.end());
    return running.empty();
}

bool CWURLSession::workersEnded()
{
    return engineRegistry().closed.load();
}

CWURLSession::Engine::Engine()
    : multi(curl_multi_init())
{
}

CWURLSession::Engine::~Engine()
{
    running.clear();
    if (multi != nullptr) {
        curl_multi_cleanup(multi);
    }
}

void CWURLSession::Engine::start(const std::shared_ptr<Engine>& self)
{
    auto& registry = engineRegistry();
    std::lock_guard lock(registry.mutex);
    if (registry.closed) {
        std::lock_guard own(mutex);
        stopping = true;
        ended = true;
        return;
    }
    std::erase_if(registry.engines, [](const auto& engine) { return engine.expired(); });
    registry.engines.push_back(self);
    worker = std::thread([self] { self->run(); });
}

bool CWURLSession::Engine::post(std::function<void()> command)
{
    std::lock_guard lock(mutex);
    if (stopping) {
        return false;
    }
    commands.push_back(std::move(command));
    curl_multi_wakeup(multi);
    return true;
}

bool CWURLSession::Engine::isStopping()
{
    std::lock_guard lock(mutex);
    return stopping;
}

void CWURLSession::Engine::stopLocked()
{
    stopping = true;
    if (multi != nullptr) {
        curl_multi_wakeup(multi);
    }
}

void CWURLSession::Engine::stop()
{
    {
        std::lock_guard lock(mutex);
        stopLocked();
    }
    if (worker.get_id() == std::this_thread::get_id()) {
        worker.detach();
    } else if (worker.joinable()) {
        worker.join();
    }
}

bool CWURLSession::Engine::stopBy(std::chrono::steady_clock::time_point deadline)
{
    {
        std::unique_lock lock(mutex);
        stopLocked();
        if (!endedChanged.wait_until(lock, deadline, [this] { return ended; })) {
            return false;
        }
    }
    if (worker.joinable() && worker.get_id() != std::this_thread::get_id()) {
        worker.join();
    }
    return true;
}

void CWURLSession::Engine::add(const std::shared_ptr<CWURLSessionTask>& task)
{
    running[task->transfer_->easy] = task;
    curl_multi_add_handle(multi, task->transfer_->easy);
}

void CWURLSession::Engine::finish(CURL* easy, int result)
{
    const auto found = running.find(easy);
    if (found == running.end()) {
        return;
    }
    auto task = found->second;
    running.erase(found);
    curl_multi_remove_handle(multi, easy);
    auto& transfer = *task->transfer_;
    if (transfer.responseSeen()) {
        transfer.deliverResponseOnce();
    }
    auto session = transfer.session;
    std::optional<std::string> data;
    if (transfer.hasData || (task->completion_ && task->kind_ != CWURLSessionTask::Kind::Download)) {
        data = std::move(transfer.data);
    }
    const auto error = transfer.errorFor(result);
    {
        std::lock_guard lock(task->mutex_);
        if (transfer.responseSeen()) {
            task->response_ = transfer.currentResponse();
        }
        task->error_ = error;
    }
    // Everything the completion needs is copied out: the handle and files go now.
    transfer.release();
    session->taskDidComplete(task, std::move(data), error);
    transfer.session.reset();
}

void CWURLSession::Engine::run()
{
    for (;;) {
        std::vector<std::function<void()>> pending;
        bool stop = false;
        {
            std::lock_guard lock(mutex);
            pending.swap(commands);
            stop = stopping;
        }
        for (auto& command : pending) {
            command();
        }
        if (stop) {
            cancelAllAndClose();
            return;
        }
        int active = 0;
        curl_multi_perform(multi, &active);
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
            if (message->msg == CURLMSG_DONE) {
                finish(message->easy_handle, message->data.result);
            }
        }
        // A request idle past its time-out ends here too, since libcurl may
        // not report progress often enough for short time-outs.
        std::vector<CURL*> expired;
        for (const auto& [easy, task] : running) {
            if (task->transfer_->idleTooLong()) {
                expired.push_back(easy);
            }
        }
        for (CURL* easy : expired) {
            finish(easy, CURLE_ABORTED_BY_CALLBACK);
        }
        curl_multi_poll(multi, nullptr, 0, kPollMilliseconds, nullptr);
    }
}

void CWURLSession::Engine::cancelAllAndClose()
{
    while (!running.empty()) {
        CURL* easy = running.begin()->first;
        running.begin()->second->transfer_->cancelled = true;
        finish(easy, CURLE_ABORTED_BY_CALLBACK);
    }
    CURLM* closing = nullptr;
    {
        std::lock_guard lock(mutex);
        std::swap(closing, multi);
    }
    curl_multi_cleanup(closing);
    std::lock_guard lock(mutex);
    ended = true;
    endedChanged.notify_all();
}
