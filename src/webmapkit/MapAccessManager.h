#pragma once

#include <QByteArray>
#include <QNetworkAccessManager>

// The network access of the map components: every request carries the owner's
// User-Agent and a transfer timeout, and only http and https leave the process
// (anything else fails as an unknown protocol).
class MapAccessManager : public QNetworkAccessManager {
    Q_OBJECT
public:
    explicit MapAccessManager(QByteArray userAgent, QObject* parent = nullptr);

    QByteArray userAgent() const { return userAgent_; }
    void setUserAgent(const QByteArray& userAgent) { userAgent_ = userAgent; }
    int transferTimeout() const { return transferTimeoutMs_; }
    void setTransferTimeout(int milliseconds) { transferTimeoutMs_ = milliseconds; }

    static bool isNetworkUrl(const QUrl& url);

protected:
    QNetworkReply* createRequest(Operation op, const QNetworkRequest& request, QIODevice* outgoingData) override;

private:
    QByteArray userAgent_;
    int transferTimeoutMs_ = 10000;
};
