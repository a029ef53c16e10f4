#pragma once

#include "kit/support/harness/Eventually.h"
#include "kit/support/harness/TestCertificates.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// One part of a multipart body, as the server parsed it.
struct LoopbackPart {
    std::vector<std::string> headerLines;
    std::string name;
    std::optional<std::string> filename;
    std::optional<std::string> contentType;
    std::string body;
};

// A request as the server received it: header lines kept as sent.
struct LoopbackRequest {
    std::string method;
    std::string target; // path and query as sent
    std::string path;
    std::string query;
    std::vector<std::string> headerLines;
    std::string body; // chunked bodies are joined

    // The first header of that name, compared without case.
    std::optional<std::string> header(const std::string& name) const;
    std::string gunzippedBody() const;
    std::vector<LoopbackPart> multipart() const;
};

// What the server does with a request for a path.
struct LoopbackReply {
    enum class Behaviour {
        Answer, // send the response
        Hold, // answer only once released (or when the server stops)
        Silence, // never answer; the connection stays open until the server stops
        Reset, // drop the connection with a reset, no answer
        Endless, // the headers, then `body` over and over until the client goes
        Trickle, // the headers (announcing a large body), then one byte every trickleSeconds
    };

    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    Behaviour behaviour = Behaviour::Answer;
    // Real time waited before answering (keep it short; tests use virtual clocks).
    double delaySeconds = 0.0;
    // Read the request body this many bytes at a time with this pause between.
    size_t readChunkBytes = 0;
    double readPauseSeconds = 0.0;
    double trickleSeconds = 1.0;

    static LoopbackReply answer(
        int status, std::string body = {}, std::vector<std::pair<std::string, std::string>> headers = {});
    // A 200 (or the given status) with "Content-Type: application/json".
    static LoopbackReply json(std::string body, int status = 200);
    static LoopbackReply with(Behaviour behaviour);
};

// An HTTP or HTTPS server on 127.0.0.1 and a port the system picks. Each
// path answers from its script: the replies in turn, the last one repeated.
// Paths without a script answer 404. Requests are recorded in arrival order.
class LoopbackServer {
public:
    enum class Scheme { Http, Https };

    explicit LoopbackServer(Scheme scheme = Scheme::Http, const TestCertificates::Identity* identity = nullptr);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    uint16_t port() const;
    // "http://127.0.0.1:<port>" or "https://...", without a final "/".
    std::string baseUrl() const;
    std::string url(const std::string& pathAndQuery) const;

    void script(const std::string& path, std::vector<LoopbackReply> replies);
    void script(const std::string& path, LoopbackReply reply);

    std::vector<LoopbackRequest> requests() const;
    size_t requestCount() const;
    // Waits (real time, bounded) until at least that many requests arrived.
    bool waitForRequests(size_t count, double timeoutSeconds = kPatientSeconds) const;
    // Shrinks the receive buffer of connections accepted from now on, so that
    // a slowly reading script holds its client back.
    void setReceiveBuffer(int bytes);
    // Lets held requests be answered.
    void releaseHeld();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
