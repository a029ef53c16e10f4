#pragma once

#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// A server on 127.0.0.1 whose every answer is a 200 without end, in HTTP/2
// without TLS (a client that opens with the HTTP/2 preface) or in HTTP/1.1.
// Its HTTP/2 keeps to the flow-control windows the client grants, as a real
// server's does: it sends exactly what the client asks for. Each connection
// runs on threads of its own; the destructor ends them.
class EndlessHttp2Server {
public:
    EndlessHttp2Server();
    ~EndlessHttp2Server();
    EndlessHttp2Server(const EndlessHttp2Server&) = delete;
    EndlessHttp2Server& operator=(const EndlessHttp2Server&) = delete;

    bool start();
    QString url(const QString& path) const;
    // Connections that opened with the HTTP/2 preface, and with anything else.
    int http2Connections() const { return http2_; }
    int http1Connections() const { return http1_; }

private:
    struct Connection;

    void acceptLoop();
    void serve(const std::shared_ptr<Connection>& connection);

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> http2_{0};
    std::atomic<int> http1_{0};
    std::thread acceptor_;
    std::mutex mutex_;
    std::vector<std::shared_ptr<Connection>> connections_;
    std::vector<std::thread> workers_;
};
