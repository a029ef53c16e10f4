#pragma once

#include "webmapkit/MapAccessManager.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

class QNetworkReply;

// The answer to one GET: ok only for a transfer without error and a 2xx status.
struct MapReply {
    bool ok = false;
    int status = 0;
    QByteArray body;
    QString errorText;
    bool fromCache = false;
    // The answer's headers, kept only for answers that may be cached.
    QList<QPair<QByteArray, QByteArray>> headers;
};

// The map components' HTTP client, one per process: User-Agent "Lumetta/<version>",
// a 10 s transfer (idle) timeout, an overall deadline and a size cap per answer,
// http and https only, and a disk cache that only tile requests read. It follows
// redirects itself (never from https to http), each as a request of its own
// under the same limits. Nothing is written into the cache until its user has
// checked the answer (storeInCache).
// Answers arrive on the GUI thread; nothing here blocks it. It lives until the
// application object goes away; requests still running then end unanswered.
class MapNetwork : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(const MapReply&)>;

    struct Options {
        // Read a cached answer instead of asking the server while it is fresh
        // (its expiry headers say how long).
        bool useCache = false;
        // Longer answers are stopped there and fail.
        qint64 maxBytes = MapAccessManager::kDefaultMaxBytes;
        // Empty: the process's "Lumetta/<version>".
        QByteArray userAgent;
    };

    static MapNetwork* shared();

    // GET `url`, then `done` on the GUI thread unless `context` is gone. A URL
    // that is empty or not http(s) fails on the next turn with a log line naming
    // `purpose`, and no request is made (the answer is then nullptr).
    QNetworkReply* get(const QUrl& url, const QString& purpose, QObject* context, Done done, const Options& options);
    QNetworkReply* get(const QUrl& url, const QString& purpose, QObject* context, Done done);
    // Stops a request without calling its `done`.
    static void abandon(QNetworkReply* reply);
    // Keeps a checked answer of `url` in the disk cache for as long as its
    // headers allow (not at all for "no-store" or an answer without a lifetime).
    void storeInCache(const QUrl& url, const MapReply& reply);

    QByteArray userAgent() const;
    // A manager for a page's own requests (its XMLHttpRequest): same rules,
    // with the page owner's User-Agent.
    static MapAccessManager* createAccessManager(const QByteArray& userAgent, QObject* parent);
    MapAccessManager* manager() { return &manager_; }
    // Tests shorten the 10 s timeout to see a held request fail quickly.
    void setTransferTimeout(int milliseconds) { manager_.setTransferTimeout(milliseconds); }
    // Tests shorten the overall deadline of an answer the same way.
    void setAnswerDeadline(double seconds) { manager_.setAnswerDeadline(seconds); }
    void clearCache();
    // Whether the disk cache holds an answer for `url` that has not expired.
    bool isFreshInCache(const QUrl& url) const;

private:
    // Where a request stands among the redirects it followed: the caller's
    // reply and how many came before this one.
    struct Hop {
        QPointer<QNetworkReply> handle;
        int count = 0;
    };

    MapNetwork();
    QNetworkReply* send(
        const QUrl& url, const QString& purpose, QObject* context, Done done, const Options& options, const Hop& hop);
    // The next address of a redirect this client follows; empty for any other answer.
    static QUrl redirectTarget(QNetworkReply* reply, int hops);
    static MapReply answerOf(
        QNetworkReply* reply, const QString& purpose, const std::shared_ptr<QByteArray>& body, bool keepHeaders);

    MapAccessManager manager_;
};
