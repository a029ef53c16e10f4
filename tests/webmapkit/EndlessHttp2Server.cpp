#include "webmapkit/EndlessHttp2Server.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <string>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr char kPreface[] = "PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n";
constexpr size_t kPrefaceSize = sizeof(kPreface) - 1;
constexpr long kDefaultWindow = 65535;
enum FrameType : unsigned { kData = 0, kHeaders = 1, kReset = 3, kSettings = 4, kPing = 6, kGoAway = 7, kWindow = 8 };
constexpr unsigned kAck = 0x1;
constexpr unsigned kEndHeaders = 0x4;
constexpr unsigned kInitialWindowSetting = 4;

bool readExactly(int fd, unsigned char* data, size_t size)
{
    while (size > 0) {
        const ssize_t got = ::read(fd, data, size);
        if (got <= 0) {
            return false;
        }
        data += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

unsigned long bigEndian(const unsigned char* data, int bytes)
{
    unsigned long value = 0;
    for (int i = 0; i < bytes; ++i) {
        value = (value << 8) | data[i];
    }
    return value;
}

} // namespace

struct EndlessHttp2Server::Connection {
    int fd = -1;
    std::mutex mutex;
    std::condition_variable changed;
    long connectionWindow = kDefaultWindow;
    long streamWindow = kDefaultWindow;
    long initialWindow = kDefaultWindow;
    unsigned stream = 0;
    bool closed = false;
    std::mutex writing;

    void frame(unsigned type, unsigned flags, unsigned streamId, const unsigned char* payload, size_t size)
    {
        const unsigned char head[9] = {static_cast<unsigned char>(size >> 16), static_cast<unsigned char>(size >> 8),
            static_cast<unsigned char>(size), static_cast<unsigned char>(type), static_cast<unsigned char>(flags),
            static_cast<unsigned char>(streamId >> 24), static_cast<unsigned char>(streamId >> 16),
            static_cast<unsigned char>(streamId >> 8), static_cast<unsigned char>(streamId)};
        const std::lock_guard<std::mutex> lock(writing);
        (void)::send(fd, head, sizeof head, MSG_NOSIGNAL);
        if (size > 0) {
            (void)::send(fd, payload, size, MSG_NOSIGNAL);
        }
    }

    // Reads the client's frames: its settings, window grants and request.
    void readFrames()
    {
        std::vector<unsigned char> payload;
        unsigned char head[9];
        while (readExactly(fd, head, sizeof head)) {
            payload.resize(bigEndian(head, 3));
            if (!payload.empty() && !readExactly(fd, payload.data(), payload.size())) {
                break;
            }
            const unsigned type = head[3];
            const unsigned flags = head[4];
            const unsigned streamId = static_cast<unsigned>(bigEndian(head + 5, 4)) & 0x7fffffffU;
            const std::lock_guard<std::mutex> lock(mutex);
            if (type == kSettings && (flags & kAck) == 0) {
                for (size_t i = 0; i + 6 <= payload.size(); i += 6) {
                    if (bigEndian(&payload[i], 2) == kInitialWindowSetting) {
                        const long window = static_cast<long>(bigEndian(&payload[i + 2], 4));
                        streamWindow += window - initialWindow;
                        initialWindow = window;
                    }
                }
                frame(kSettings, kAck, 0, nullptr, 0);
            } else if (type == kWindow && payload.size() >= 4) {
                (streamId == 0 ? connectionWindow : streamWindow)
                    += static_cast<long>(bigEndian(payload.data(), 4) & 0x7fffffffUL);
            } else if (type == kHeaders && stream == 0) {
                stream = streamId;
            } else if (type == kPing && (flags & kAck) == 0) {
                frame(kPing, kAck, 0, payload.data(), payload.size());
            } else if (type == kGoAway || type == kReset) {
                closed = true;
            }
            changed.notify_all();
        }
        const std::lock_guard<std::mutex> lock(mutex);
        closed = true;
        changed.notify_all();
    }

    // ":status: 200" (entry 8 of the static table), then filler as the
    // client's windows allow.
    void answerHttp2(const std::atomic<bool>& stop)
    {
        {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [&]() { return stream != 0 || closed; });
            if (closed) {
                return;
            }
        }
        const unsigned char status200 = 0x88;
        frame(kHeaders, kEndHeaders, stream, &status200, 1);
        const std::vector<unsigned char> filler(16384, ' ');
        while (!stop) {
            long size = 0;
            {
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait_for(lock, std::chrono::milliseconds(50),
                    [&]() { return closed || (connectionWindow > 0 && streamWindow > 0); });
                if (closed) {
                    return;
                }
                size = std::min({static_cast<long>(filler.size()), connectionWindow, streamWindow});
                connectionWindow -= std::max(size, 0L);
                streamWindow -= std::max(size, 0L);
            }
            if (size > 0) {
                frame(kData, 0, stream, filler.data(), static_cast<size_t>(size));
            }
        }
    }
};

EndlessHttp2Server::EndlessHttp2Server() = default;

EndlessHttp2Server::~EndlessHttp2Server()
{
    stop_ = true;
    if (listener_ >= 0) {
        ::shutdown(listener_, SHUT_RDWR);
    }
    if (acceptor_.joinable()) {
        acceptor_.join();
    }
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& connection : connections_) {
            ::shutdown(connection->fd, SHUT_RDWR);
        }
    }
    for (std::thread& worker : workers_) {
        worker.join();
    }
    for (const auto& connection : connections_) {
        ::close(connection->fd);
    }
    if (listener_ >= 0) {
        ::close(listener_);
    }
}

bool EndlessHttp2Server::start()
{
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(listener_, 16) != 0
        || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return false;
    }
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this]() { acceptLoop(); });
    return true;
}

QString EndlessHttp2Server::url(const QString& path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(path);
}

void EndlessHttp2Server::acceptLoop()
{
    while (!stop_) {
        const int fd = ::accept(listener_, nullptr, nullptr);
        if (fd < 0) {
            return;
        }
        auto connection = std::make_shared<Connection>();
        connection->fd = fd;
        const std::lock_guard<std::mutex> lock(mutex_);
        connections_.push_back(connection);
        workers_.emplace_back([this, connection]() { serve(connection); });
    }
}

void EndlessHttp2Server::serve(const std::shared_ptr<Connection>& connection)
{
    unsigned char opening[kPrefaceSize];
    if (!readExactly(connection->fd, opening, kPrefaceSize)) {
        return;
    }
    if (std::memcmp(opening, kPreface, kPrefaceSize) != 0) {
        ++http1_;
        // The rest of an HTTP/1.1 request matters not: the answer is the same.
        const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nConnection: close\r\n\r\n[";
        (void)::send(connection->fd, head.data(), head.size(), MSG_NOSIGNAL);
        const std::string filler(64 * 1024, ' ');
        while (!stop_ && ::send(connection->fd, filler.data(), filler.size(), MSG_NOSIGNAL) > 0) { }
        return;
    }
    ++http2_;
    connection->frame(kSettings, 0, 0, nullptr, 0);
    std::thread reader([connection]() { connection->readFrames(); });
    connection->answerHttp2(stop_);
    ::shutdown(connection->fd, SHUT_RDWR);
    reader.join();
}
