#pragma once

#include "webmapkit/MapAccessManager.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>

class QNetworkReply;

// The answer to one GET: ok only for a transfer without error and a 2xx status.
struct MapReply {
    bool ok = false;
    int status = 0;
    QByteArray body;
    QString errorText;
    bool fromCache = false;
};

// The map components' HTTP client, one per process: User-Agent "Lumetta/<version>",
// a 10 s transfer timeout, http and https only, and a disk cache that only tile
// requests use. Answers arrive on the GUI thread; nothing here blocks it.
class MapNetwork : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(const MapReply&)>;

    struct Options {
        bool useCache = false;
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

    QByteArray userAgent() const;
    // A manager for a page's own requests (its XMLHttpRequest): same rules,
    // with the page owner's User-Agent.
    static MapAccessManager* createAccessManager(const QByteArray& userAgent, QObject* parent);
    MapAccessManager* manager() { return &manager_; }
    // Tests shorten the 10 s timeout to see a held request fail quickly.
    void setTransferTimeout(int milliseconds) { manager_.setTransferTimeout(milliseconds); }
    void clearCache();

private:
    MapNetwork();

    MapAccessManager manager_;
};
