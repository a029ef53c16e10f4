#pragma once

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QNetworkRequest>

#include <functional>

// The network access of the map components: every request carries the owner's
// User-Agent and a transfer (idle) timeout, only http and https leave the
// process (anything else fails as an unknown protocol), and every answer is
// held to a size cap and an overall deadline (MapReplyGuard). Requests speak
// HTTP/1.1, whose transfer waits for the reader (kReadBufferBytes), and Qt
// follows no redirect: the answer ends there, and its owner asks again. A request names
// its cap and purpose in the attributes below; a page script's requests get
// the defaults.
class MapAccessManager : public QNetworkAccessManager {
    Q_OBJECT
public:
    // What a request may carry: the most bytes its answer may have (qint64)
    // and what it is for, in log lines (QString).
    static constexpr QNetworkRequest::Attribute kMaxBytesAttribute
        = static_cast<QNetworkRequest::Attribute>(QNetworkRequest::User + 71);
    static constexpr QNetworkRequest::Attribute kPurposeAttribute
        = static_cast<QNetworkRequest::Attribute>(QNetworkRequest::User + 72);
    // A JSON answer of any of the map services is far smaller.
    static constexpr qint64 kDefaultMaxBytes = 1024 * 1024;
    static constexpr double kDefaultDeadlineSeconds = 30.0;
    // What Qt's transfer thread may hold of an answer before the reader takes
    // it: it reads no further until then, so an answer costs at most this
    // much beyond what its reader keeps, however late the GUI thread runs.
    static constexpr qint64 kReadBufferBytes = 64 * 1024;

    // Decides, for every request of every map client, whether it may leave
    // the process; a refused one fails as an unknown protocol. Tests use it to
    // keep every request on loopback. None: all may.
    using RequestFilter = std::function<bool(const QUrl& url)>;
    static void setRequestFilter(RequestFilter filter);

    explicit MapAccessManager(QByteArray userAgent, QObject* parent = nullptr);

    QByteArray userAgent() const { return userAgent_; }
    void setUserAgent(const QByteArray& userAgent) { userAgent_ = userAgent; }
    int transferTimeout() const { return transferTimeoutMs_; }
    void setTransferTimeout(int milliseconds) { transferTimeoutMs_ = milliseconds; }
    // Seconds on the map clock from the request to the end of its answer.
    double answerDeadline() const { return answerDeadline_; }
    void setAnswerDeadline(double seconds) { answerDeadline_ = seconds; }

    static bool isNetworkUrl(const QUrl& url);

protected:
    QNetworkReply* createRequest(Operation op, const QNetworkRequest& request, QIODevice* outgoingData) override;

private:
    QByteArray userAgent_;
    int transferTimeoutMs_ = 10000;
    double answerDeadline_ = kDefaultDeadlineSeconds;
};
