#include "support/LoopbackHttpServer.h"

#include "kit/support/harness/TestCertificates.h"

#include <QHostAddress>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTest>
#include <QUrl>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QByteArray reasonFor(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 404:
        return "Not Found";
    case 429:
        return "Too Many Requests";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

} // namespace

QString LoopbackRequest::path() const
{
    const int query = target.indexOf('?');
    return QString::fromLatin1(query < 0 ? target : target.left(query));
}

QUrlQuery LoopbackRequest::query() const
{
    const int query = target.indexOf('?');
    return QUrlQuery(query < 0 ? QString() : QString::fromLatin1(target.mid(query + 1)));
}

LoopbackResponse LoopbackResponse::json(const QByteArray& body, int status)
{
    LoopbackResponse response;
    response.status = status;
    response.contentType = "application/json";
    response.body = body;
    return response;
}

LoopbackResponse LoopbackResponse::png(const QByteArray& body)
{
    LoopbackResponse response;
    response.contentType = "image/png";
    response.body = body;
    response.headers.append(qMakePair(QByteArray("Cache-Control"), QByteArray("max-age=86400")));
    return response;
}

LoopbackHttpServer::LoopbackHttpServer()
{
    connect(&server_, &QTcpServer::newConnection, this, &LoopbackHttpServer::onNewConnection);
}

LoopbackHttpServer::~LoopbackHttpServer()
{
    stop();
}

bool LoopbackHttpServer::start()
{
    return server_.listen(QHostAddress::LocalHost, 0);
}

bool LoopbackHttpServer::startHttps()
{
    const TestCertificates& certificates = TestCertificates::shared();
    static const bool trusted = [&certificates] {
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.addCaCertificate(QSslCertificate(QByteArray::fromStdString(certificates.rootA.certificatePem)));
        QSslConfiguration::setDefaultConfiguration(configuration);
        return true;
    }();
    const QList<QSslCertificate> chain
        = QSslCertificate::fromData(QByteArray::fromStdString(certificates.leafA.chainPem), QSsl::Pem);
    const QSslKey key(QByteArray::fromStdString(certificates.leafA.privateKeyPem), QSsl::Ec, QSsl::Pem);
    if (!trusted || chain.isEmpty() || key.isNull()) {
        return false;
    }
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificateChain(chain);
    configuration.setPrivateKey(key);
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    server_.tls = configuration;
    return start();
}

void LoopbackHttpServer::Listener::incomingConnection(qintptr descriptor)
{
    if (!tls) {
        QTcpServer::incomingConnection(descriptor);
        return;
    }
    auto* socket = new QSslSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    socket->setSslConfiguration(*tls);
    connect(socket, &QSslSocket::encrypted, this, [this, socket]() {
        addPendingConnection(socket);
        emit newConnection();
    });
    // A client that gives the handshake up is no connection of the server's.
    connect(socket, &QSslSocket::disconnected, this, [socket]() {
        if (!socket->isEncrypted()) {
            socket->deleteLater();
        }
    });
    socket->startServerEncryption();
}

void LoopbackHttpServer::stop()
{
    server_.close();
    const QList<QTcpSocket*> sockets = connections_.keys();
    connections_.clear();
    for (QTcpSocket* socket : sockets) {
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
    held_.clear();
    stopFillers();
}

QString LoopbackHttpServer::url(const QString& path) const
{
    return QStringLiteral("%1://127.0.0.1:%2%3")
        .arg(server_.tls ? QStringLiteral("https") : QStringLiteral("http"))
        .arg(port())
        .arg(path);
}

bool LoopbackHttpServer::waitForRequests(int count, int timeoutMs)
{
    return QTest::qWaitFor([&]() { return requestCount() >= count; }, timeoutMs);
}

QString LoopbackHttpServer::refusedUrl(const QString& path)
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path);
}

void LoopbackHttpServer::answerHeld(int index, const LoopbackResponse& response)
{
    if (index < 0 || index >= held_.size()) {
        return;
    }
    const Held held = held_.takeAt(index);
    if (held.socket) {
        respond(held.socket, response);
    }
}

void LoopbackHttpServer::onNewConnection()
{
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        connections_.insert(socket, Connection{});
        connect(socket, &QTcpSocket::readyRead, this, [this, socket]() { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket]() {
            connections_.remove(socket);
            socket->deleteLater();
        });
        // A TLS client may have sent its request with the end of the handshake.
        if (socket->bytesAvailable() > 0) {
            onReadyRead(socket);
        }
    }
}

void LoopbackHttpServer::onReadyRead(QTcpSocket* socket)
{
    if (!connections_.contains(socket)) {
        return;
    }
    connections_[socket].buffer += socket->readAll();
    for (;;) {
        // Answering may end the connection (a client that hangs up while the
        // server waits to write), and its buffer with it.
        const auto connection = connections_.find(socket);
        if (connection == connections_.end()) {
            return;
        }
        QByteArray& buffer = connection->buffer;
        const int headerEnd = buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0) {
            return;
        }
        const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
        LoopbackRequest request;
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        request.method = first.value(0);
        request.target = first.value(1);
        for (int i = 1; i < lines.size(); ++i) {
            const int colon = lines[i].indexOf(':');
            if (colon > 0) {
                request.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
            }
        }
        const int length = request.header("content-length").toInt();
        if (buffer.size() < headerEnd + 4 + length) {
            return;
        }
        request.body = buffer.mid(headerEnd + 4, length);
        buffer.remove(0, headerEnd + 4 + length);
        requests_.append(request);
        const LoopbackResponse response = handler_ ? handler_(request) : LoopbackResponse{};
        if (response.hold) {
            held_.append(Held{socket});
        } else if (response.drop) {
            connections_.remove(socket);
            socket->abort();
            socket->deleteLater();
            return;
        } else {
            respond(socket, response);
        }
    }
}

void LoopbackHttpServer::respond(QTcpSocket* socket, const LoopbackResponse& response)
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reasonFor(response.status) + "\r\n";
    head += "Content-Type: " + response.contentType + "\r\n";
    const bool endless = response.filler == LoopbackResponse::kEndless;
    if (response.declareLength && !endless) {
        head += "Content-Length: " + QByteArray::number(response.body.size() + response.filler) + "\r\n";
    }
    for (const auto& [name, value] : response.headers) {
        head += name + ": " + value + "\r\n";
    }
    // Without a length the answer ends when the connection does.
    head += response.declareLength && !endless ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    socket->write(head + response.body);
    socket->flush();
    if (response.filler != 0) {
        sendFiller(socket, response.filler, response.trickleMs, !response.declareLength);
    }
}

// One answer's filler, written by its own thread on its own copy of the
// connection's descriptor; the connection ends when both copies are closed.
struct LoopbackHttpServer::Filler {
    int fd = -1;
    std::atomic<bool> stop{false};
    std::thread thread;
};

void LoopbackHttpServer::sendFiller(QTcpSocket* socket, qint64 bytes, int trickleMs, bool closeAtEnd)
{
    // What the socket holds goes first, so the filler follows it on the wire.
    while (socket->bytesToWrite() > 0 && socket->waitForBytesWritten(1000)) { }
    auto filler = std::make_unique<Filler>();
    filler->fd = ::dup(static_cast<int>(socket->socketDescriptor()));
    if (filler->fd < 0) {
        return;
    }
    Filler* own = filler.get();
    filler->thread = std::thread([own, bytes, trickleMs, closeAtEnd]() {
        static const std::string chunk(64 * 1024, 'x');
        qint64 left = bytes;
        while (left != 0 && !own->stop) {
            const size_t size = trickleMs > 0 ? 1 : left < 0 ? chunk.size() : std::min<size_t>(left, chunk.size());
            const ssize_t sent = ::send(own->fd, chunk.data(), size, MSG_NOSIGNAL);
            if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
                // The descriptor is the server socket's, which does not block:
                // a client that reads slowly (or not at all for a while) keeps
                // the answer waiting, as a real server's would, not ended.
                pollfd writable{own->fd, POLLOUT, 0};
                (void)::poll(&writable, 1, 50);
                continue;
            }
            if (sent <= 0) {
                return; // the client went away
            }
            left -= left > 0 ? sent : 0;
            if (trickleMs > 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(trickleMs));
            }
        }
        if (closeAtEnd) {
            ::shutdown(own->fd, SHUT_WR);
        }
    });
    fillers_.push_back(std::move(filler));
}

void LoopbackHttpServer::stopFillers()
{
    for (const auto& filler : fillers_) {
        filler->stop = true;
        ::shutdown(filler->fd, SHUT_RDWR);
    }
    for (const auto& filler : fillers_) {
        filler->thread.join();
        ::close(filler->fd);
    }
    fillers_.clear();
}
