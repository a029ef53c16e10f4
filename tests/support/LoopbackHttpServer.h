#pragma once

#include "support/Patience.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QSslConfiguration>
#include <QString>
#include <QTcpServer>
#include <QUrlQuery>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QTcpSocket;

// One HTTP request as the server read it. Header names are lower-cased.
struct LoopbackRequest {
    QByteArray method;
    QByteArray target; // path and query exactly as sent
    QMap<QByteArray, QByteArray> headers;
    QByteArray body;

    QString path() const;
    QUrlQuery query() const;
    QByteArray header(const QByteArray& name) const { return headers.value(name.toLower()); }
};

// What the server does with a request: answer it, hold it until the test
// releases it (to make answers late or out of order), or drop the connection.
// After `body` it can send filler bytes: a given number or without end, as
// fast as the client reads them or one byte per `trickleMs` (a slow server).
// Filler goes out from a thread of its own, as from a server elsewhere, so a
// client's reading races it as it would race a real one.
struct LoopbackResponse {
    static constexpr qint64 kEndless = -1;

    int status = 200;
    QByteArray contentType = "text/plain";
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
    bool hold = false;
    bool drop = false;
    qint64 filler = 0;
    // Whether Content-Length announces body and filler (never for endless filler).
    bool declareLength = true;
    int trickleMs = 0;

    static LoopbackResponse json(const QByteArray& body, int status = 200);
    static LoopbackResponse png(const QByteArray& body);
};

// A real HTTP/1.1 server on 127.0.0.1 at a free port, for tests of the Qt
// network clients. It records every request; a handler decides the answers
// (200 with an empty body when none is set). Runs on the test's event loop.
class LoopbackHttpServer : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<LoopbackResponse(const LoopbackRequest&)>;

    LoopbackHttpServer();
    ~LoopbackHttpServer() override;

    bool start();
    void stop();
    // Starts speaking HTTPS with a certificate for 127.0.0.1 issued by the
    // test root, which this process's TLS clients trust from then on. Filler
    // is not sent over TLS.
    bool startHttps();
    quint16 port() const { return server_.serverPort(); }
    // "http://127.0.0.1:<port>" (https once TLS is on) followed by `path`.
    QString url(const QString& path = QString()) const;

    void setHandler(Handler handler) { handler_ = std::move(handler); }

    QList<LoopbackRequest> requests() const { return requests_; }
    int requestCount() const { return static_cast<int>(requests_.size()); }
    // Spins the event loop until `count` requests arrived; false on timeout.
    bool waitForRequests(int count, int timeoutMs = kPatientMs);

    // Held requests, oldest first; answering one removes it from the list.
    int heldCount() const { return static_cast<int>(held_.size()); }
    void answerHeld(int index, const LoopbackResponse& response);

    // A URL on a port where nothing listens, so connections are refused.
    static QString refusedUrl(const QString& path = QString());

private:
    struct Connection {
        QByteArray buffer;
    };
    struct Held {
        QPointer<QTcpSocket> socket;
    };
    // Hands plain connections on at once, TLS ones once encrypted.
    class Listener : public QTcpServer {
    public:
        std::optional<QSslConfiguration> tls;

    protected:
        void incomingConnection(qintptr descriptor) override;
    };

    void onNewConnection();
    void onReadyRead(QTcpSocket* socket);
    void respond(QTcpSocket* socket, const LoopbackResponse& response);
    void sendFiller(QTcpSocket* socket, qint64 bytes, int trickleMs, bool closeAtEnd);
    void stopFillers();

    Listener server_;
    Handler handler_;
    QList<LoopbackRequest> requests_;
    QList<Held> held_;
    QMap<QTcpSocket*, Connection> connections_;
    struct Filler;
    std::vector<std::unique_ptr<Filler>> fillers_;
};
