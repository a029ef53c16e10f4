#include "kit/support/harness/LoopbackServer.h"

#include <asio/ip/tcp.hpp>
#include <asio/ssl.hpp>
#include <asio/write.hpp>

#include <sys/socket.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>

namespace {

bool sameName(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

std::optional<std::string> headerIn(const std::vector<std::string>& lines, const std::string& name)
{
    for (const auto& line : lines) {
        const auto colon = line.find(':');
        if (colon != std::string::npos && sameName(line.substr(0, colon), name)) {
            const auto start = line.find_first_not_of(' ', colon + 1);
            return start == std::string::npos ? std::string() : line.substr(start);
        }
    }
    return std::nullopt;
}

// The value of key="value" inside a header such as Content-Disposition.
std::optional<std::string> quotedParameter(const std::string& header, const std::string& key)
{
    const std::string marker = key + "=\"";
    size_t at = 0;
    while ((at = header.find(marker, at)) != std::string::npos) {
        if (at == 0 || header[at - 1] == ' ' || header[at - 1] == ';') {
            const size_t start = at + marker.size();
            const size_t end = header.find('"', start);
            return header.substr(start, end - start);
        }
        at += marker.size();
    }
    return std::nullopt;
}

const char* reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 201:
        return "Created";
    case 204:
        return "No Content";
    case 302:
        return "Found";
    case 304:
        return "Not Modified";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 429:
        return "Too Many Requests";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

// Reading and writing over a plain or a TLS connection alike.
struct Channel {
    std::function<size_t(char*, size_t, std::error_code&)> readSome;
    std::function<void(const std::string&, std::error_code&)> write;
};

} // namespace

LoopbackReply LoopbackReply::answer(
    int status, std::string body, std::vector<std::pair<std::string, std::string>> headers)
{
    LoopbackReply reply;
    reply.status = status;
    reply.body = std::move(body);
    reply.headers = std::move(headers);
    return reply;
}

LoopbackReply LoopbackReply::json(std::string body, int status)
{
    return answer(status, std::move(body), {{"Content-Type", "application/json"}});
}

LoopbackReply LoopbackReply::with(Behaviour behaviour)
{
    LoopbackReply reply;
    reply.behaviour = behaviour;
    return reply;
}

std::optional<std::string> LoopbackRequest::header(const std::string& name) const
{
    return headerIn(headerLines, name);
}

std::string LoopbackRequest::gunzippedBody() const
{
    z_stream stream{};
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) {
        return {};
    }
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.data()));
    stream.avail_in = static_cast<uInt>(body.size());
    std::string out;
    char buffer[16384];
    int result = Z_OK;
    while (result == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef*>(buffer);
        stream.avail_out = sizeof buffer;
        result = inflate(&stream, Z_NO_FLUSH);
        out.append(buffer, sizeof buffer - stream.avail_out);
    }
    inflateEnd(&stream);
    return result == Z_STREAM_END ? out : std::string();
}

std::vector<LoopbackPart> LoopbackRequest::multipart() const
{
    std::vector<LoopbackPart> parts;
    const auto type = header("Content-Type");
    if (!type) {
        return parts;
    }
    const auto at = type->find("boundary=");
    if (at == std::string::npos) {
        return parts;
    }
    const std::string delimiter = "--" + type->substr(at + 9);
    size_t position = body.find(delimiter);
    while (position != std::string::npos) {
        size_t start = position + delimiter.size();
        if (body.compare(start, 2, "--") == 0) {
            break;
        }
        start += 2; // CRLF after the delimiter
        const size_t headersEnd = body.find("\r\n\r\n", start);
        const size_t next = body.find("\r\n" + delimiter, start);
        if (headersEnd == std::string::npos || next == std::string::npos) {
            break;
        }
        LoopbackPart part;
        size_t line = start;
        while (line < headersEnd) {
            const size_t end = body.find("\r\n", line);
            part.headerLines.push_back(body.substr(line, end - line));
            line = end + 2;
        }
        const auto disposition = headerIn(part.headerLines, "Content-Disposition").value_or("");
        part.name = quotedParameter(disposition, "name").value_or("");
        part.filename = quotedParameter(disposition, "filename");
        part.contentType = headerIn(part.headerLines, "Content-Type");
        part.body = body.substr(headersEnd + 4, next - headersEnd - 4);
        parts.push_back(std::move(part));
        position = next + 2;
    }
    return parts;
}

struct LoopbackServer::Impl {
    Scheme scheme;
    asio::io_context io;
    asio::ssl::context tls{asio::ssl::context::tls_server};
    asio::ip::tcp::acceptor acceptor{io};
    std::thread acceptThread;

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::vector<LoopbackRequest> requests;
    std::map<std::string, std::vector<LoopbackReply>> scripts;
    std::map<std::string, size_t> answered;
    std::vector<int> openSockets;
    std::vector<std::thread> connections;
    bool released = false;
    bool stopping = false;

    void acceptLoop();
    void serve(asio::ip::tcp::socket socket);
    void converse(Channel& channel, asio::ip::tcp::socket& socket);
    LoopbackReply replyFor(const std::string& path);
    bool waitUntil(const std::function<bool()>& condition);
    bool isStopping();
    // True when the server stops within that time.
    bool stopsWithin(double seconds);
    void streamEndlessly(Channel& channel, const LoopbackReply& reply);
    void trickle(Channel& channel, const LoopbackReply& reply);
};

LoopbackServer::LoopbackServer(Scheme scheme, const TestCertificates::Identity* identity)
    : impl_(std::make_unique<Impl>())
{
    impl_->scheme = scheme;
    if (scheme == Scheme::Https) {
        const auto& chosen = identity != nullptr ? *identity : TestCertificates::shared().leafA;
        impl_->tls.use_certificate_chain(asio::buffer(chosen.chainPem));
        impl_->tls.use_private_key(asio::buffer(chosen.privateKeyPem), asio::ssl::context::pem);
    }
    const asio::ip::tcp::endpoint endpoint(asio::ip::make_address("127.0.0.1"), 0);
    impl_->acceptor.open(endpoint.protocol());
    impl_->acceptor.set_option(asio::ip::tcp::acceptor::reuse_address(true));
    impl_->acceptor.bind(endpoint);
    impl_->acceptor.listen();
    impl_->acceptThread = std::thread([this] { impl_->acceptLoop(); });
}

LoopbackServer::~LoopbackServer()
{
    {
        std::lock_guard lock(impl_->mutex);
        impl_->stopping = true;
        for (int socket : impl_->openSockets) {
            ::shutdown(socket, SHUT_RDWR);
        }
    }
    impl_->changed.notify_all();
    ::shutdown(impl_->acceptor.native_handle(), SHUT_RDWR);
    impl_->acceptThread.join();
    std::vector<std::thread> connections;
    {
        std::lock_guard lock(impl_->mutex);
        connections.swap(impl_->connections);
    }
    for (auto& connection : connections) {
        connection.join();
    }
}

uint16_t LoopbackServer::port() const
{
    return impl_->acceptor.local_endpoint().port();
}

std::string LoopbackServer::baseUrl() const
{
    return std::string(impl_->scheme == Scheme::Https ? "https" : "http") + "://127.0.0.1:" + std::to_string(port());
}

std::string LoopbackServer::url(const std::string& pathAndQuery) const
{
    return baseUrl() + pathAndQuery;
}

void LoopbackServer::script(const std::string& path, std::vector<LoopbackReply> replies)
{
    std::lock_guard lock(impl_->mutex);
    impl_->scripts[path] = std::move(replies);
    impl_->answered[path] = 0;
}

void LoopbackServer::script(const std::string& path, LoopbackReply reply)
{
    script(path, std::vector<LoopbackReply>{std::move(reply)});
}

std::vector<LoopbackRequest> LoopbackServer::requests() const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->requests;
}

size_t LoopbackServer::requestCount() const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->requests.size();
}

bool LoopbackServer::waitForRequests(size_t count, double timeoutSeconds) const
{
    std::unique_lock lock(impl_->mutex);
    return impl_->changed.wait_for(
        lock, std::chrono::duration<double>(timeoutSeconds), [&] { return impl_->requests.size() >= count; });
}

void LoopbackServer::setReceiveBuffer(int bytes)
{
    impl_->acceptor.set_option(asio::socket_base::receive_buffer_size(bytes));
}

void LoopbackServer::releaseHeld()
{
    {
        std::lock_guard lock(impl_->mutex);
        impl_->released = true;
    }
    impl_->changed.notify_all();
}

void LoopbackServer::Impl::acceptLoop()
{
    for (;;) {
        asio::ip::tcp::socket socket(io);
        std::error_code error;
        acceptor.accept(socket, error);
        std::lock_guard lock(mutex);
        if (error || stopping) {
            return;
        }
        openSockets.push_back(socket.native_handle());
        connections.emplace_back([this, s = std::move(socket)]() mutable { serve(std::move(s)); });
    }
}

void LoopbackServer::Impl::serve(asio::ip::tcp::socket socket)
{
    if (scheme == Scheme::Http) {
        Channel channel{[&socket](char* data, size_t size, std::error_code& error) {
                            return socket.read_some(asio::buffer(data, size), error);
                        },
            [&socket](
                const std::string& text, std::error_code& error) { asio::write(socket, asio::buffer(text), error); }};
        converse(channel, socket);
        return;
    }
    asio::ssl::stream<asio::ip::tcp::socket&> stream(socket, tls);
    std::error_code error;
    stream.handshake(asio::ssl::stream_base::server, error);
    if (error) {
        return;
    }
    Channel channel{[&stream](char* data, size_t size, std::error_code& readError) {
                        return stream.read_some(asio::buffer(data, size), readError);
                    },
        [&stream](const std::string& text, std::error_code& writeError) {
            asio::write(stream, asio::buffer(text), writeError);
        }};
    converse(channel, socket);
}

LoopbackReply LoopbackServer::Impl::replyFor(const std::string& path)
{
    std::lock_guard lock(mutex);
    const auto found = scripts.find(path);
    if (found == scripts.end() || found->second.empty()) {
        LoopbackReply missing;
        missing.status = 404;
        return missing;
    }
    size_t& index = answered[path];
    const size_t chosen = std::min(index, found->second.size() - 1);
    ++index;
    return found->second[chosen];
}

bool LoopbackServer::Impl::waitUntil(const std::function<bool()>& condition)
{
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return stopping || condition(); });
    return !stopping;
}

namespace {

// Reads until the buffer holds the marker; false when the peer went away.
bool readUntil(Channel& channel, std::string& buffer, const std::string& marker)
{
    char chunk[16384];
    while (buffer.find(marker) == std::string::npos) {
        std::error_code error;
        const size_t got = channel.readSome(chunk, sizeof chunk, error);
        if (error || got == 0) {
            return false;
        }
        buffer.append(chunk, got);
    }
    return true;
}

bool readExactly(Channel& channel, std::string& buffer, size_t wanted, const LoopbackReply& reply)
{
    std::vector<char> chunk(reply.readChunkBytes > 0 ? reply.readChunkBytes : 65536);
    while (buffer.size() < wanted) {
        if (reply.readPauseSeconds > 0) {
            std::this_thread::sleep_for(std::chrono::duration<double>(reply.readPauseSeconds));
        }
        std::error_code error;
        const size_t got = channel.readSome(chunk.data(), std::min(chunk.size(), wanted - buffer.size()), error);
        if (error || got == 0) {
            return false;
        }
        buffer.append(chunk.data(), got);
    }
    return true;
}

// Joins the chunks of a chunked body; `pending` holds bytes already read.
bool readChunked(Channel& channel, std::string& pending, std::string& body)
{
    for (;;) {
        if (!readUntil(channel, pending, "\r\n")) {
            return false;
        }
        const size_t lineEnd = pending.find("\r\n");
        const size_t size = std::stoul(pending.substr(0, lineEnd), nullptr, 16);
        pending.erase(0, lineEnd + 2);
        LoopbackReply plain;
        if (!readExactly(channel, pending, size + 2, plain)) {
            return false;
        }
        body.append(pending, 0, size);
        pending.erase(0, size + 2);
        if (size == 0) {
            return true;
        }
    }
}

std::string responseText(const LoopbackReply& reply)
{
    std::string text = "HTTP/1.1 " + std::to_string(reply.status) + " " + reasonPhrase(reply.status) + "\r\n";
    bool hasLength = false;
    for (const auto& [name, value] : reply.headers) {
        text += name + ": " + value + "\r\n";
        hasLength = hasLength || sameName(name, "Content-Length");
    }
    if (!hasLength) {
        text += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
    }
    return text + "\r\n" + reply.body;
}

} // namespace

bool LoopbackServer::Impl::isStopping()
{
    std::lock_guard lock(mutex);
    return stopping;
}

bool LoopbackServer::Impl::stopsWithin(double seconds)
{
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return stopping; });
}

// No length and no end: the body repeats until writing fails.
void LoopbackServer::Impl::streamEndlessly(Channel& channel, const LoopbackReply& reply)
{
    LoopbackReply head = reply;
    head.body.clear();
    head.headers.emplace_back("Connection", "close");
    std::string text = responseText(head);
    const size_t length = text.find("Content-Length");
    text.erase(length, text.find("\r\n", length) + 2 - length);
    std::error_code error;
    channel.write(text, error);
    const std::string block = reply.body.empty() ? std::string(64 * 1024, 'x') : reply.body;
    while (!error && !isStopping()) {
        channel.write(block, error);
    }
}

// A large announced body sent a byte at a time, each byte in time to keep an
// idle timer from firing.
void LoopbackServer::Impl::trickle(Channel& channel, const LoopbackReply& reply)
{
    LoopbackReply head = reply;
    head.body.clear();
    head.headers.emplace_back("Content-Length", "1000000");
    std::error_code error;
    channel.write(responseText(head), error);
    while (!error && !stopsWithin(reply.trickleSeconds)) {
        channel.write("{", error);
    }
}

void LoopbackServer::Impl::converse(Channel& channel, asio::ip::tcp::socket& socket)
{
    std::string pending;
    for (;;) {
        if (!readUntil(channel, pending, "\r\n\r\n")) {
            return;
        }
        const size_t headEnd = pending.find("\r\n\r\n");
        const std::string head = pending.substr(0, headEnd);
        pending.erase(0, headEnd + 4);

        LoopbackRequest request;
        size_t lineStart = head.find("\r\n");
        const std::string requestLine = head.substr(0, lineStart);
        const size_t firstSpace = requestLine.find(' ');
        const size_t secondSpace = requestLine.find(' ', firstSpace + 1);
        request.method = requestLine.substr(0, firstSpace);
        request.target = requestLine.substr(firstSpace + 1, secondSpace - firstSpace - 1);
        const size_t question = request.target.find('?');
        request.path = request.target.substr(0, question);
        request.query = question == std::string::npos ? "" : request.target.substr(question + 1);
        while (lineStart != std::string::npos) {
            const size_t next = head.find("\r\n", lineStart + 2);
            request.headerLines.push_back(
                head.substr(lineStart + 2, next == std::string::npos ? std::string::npos : next - lineStart - 2));
            lineStart = next;
        }

        const LoopbackReply reply = replyFor(request.path);
        std::error_code error;
        if (sameName(request.header("Expect").value_or(""), "100-continue")) {
            channel.write("HTTP/1.1 100 Continue\r\n\r\n", error);
        }
        bool complete = true;
        if (sameName(request.header("Transfer-Encoding").value_or(""), "chunked")) {
            complete = readChunked(channel, pending, request.body);
        } else if (const auto length = request.header("Content-Length")) {
            const size_t wanted = std::stoul(*length);
            complete = readExactly(channel, pending, wanted, reply);
            request.body = pending.substr(0, wanted);
            pending.erase(0, std::min(wanted, pending.size()));
        }
        if (!complete) {
            return;
        }
        const bool closeAfter = sameName(request.header("Connection").value_or(""), "close");
        {
            std::lock_guard lock(mutex);
            requests.push_back(std::move(request));
        }
        changed.notify_all();

        switch (reply.behaviour) {
        case LoopbackReply::Behaviour::Reset:
            socket.set_option(asio::socket_base::linger(true, 0), error);
            socket.close(error);
            return;
        case LoopbackReply::Behaviour::Silence:
            waitUntil([] { return false; });
            return;
        case LoopbackReply::Behaviour::Hold:
            if (!waitUntil([this] { return released; })) {
                return;
            }
            break;
        case LoopbackReply::Behaviour::Endless:
            streamEndlessly(channel, reply);
            return;
        case LoopbackReply::Behaviour::Trickle:
            trickle(channel, reply);
            return;
        case LoopbackReply::Behaviour::Answer:
            break;
        }
        if (reply.delaySeconds > 0) {
            std::this_thread::sleep_for(std::chrono::duration<double>(reply.delaySeconds));
        }
        channel.write(responseText(reply), error);
        if (error || closeAfter) {
            return;
        }
    }
}
