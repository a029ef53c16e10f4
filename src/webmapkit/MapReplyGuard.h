#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class QNetworkReply;

// Holds one answer of a server the user does not control to its limits: at
// most `maxBytes` of body (a declared length above it is refused at once) and
// a deadline on the map clock for the whole answer, besides the transfer's
// idle timeout. An answer that goes past either is aborted with a logged
// error; the reply then ends with OperationCanceledError and refusal() says
// why. The guard lives as long as the reply.
//
// Every reply of the map network has a bounded read buffer
// (MapAccessManager::kReadBufferBytes): Qt's HTTP thread stops reading the
// socket until the reader has taken what it holds, so an answer can never run
// far ahead of the guard, however late the GUI thread gets to it. The guard
// counts what the readers take as it arrives (readyRead) and also looks every
// few milliseconds; it must be made before any reader connects, so that it
// counts what they take.
class MapReplyGuard : public QObject {
    Q_OBJECT
public:
    static constexpr int kSampleMilliseconds = 5;

    static void watch(QNetworkReply* reply, qint64 maxBytes, double deadlineSeconds, const QString& purpose);
    // Why the guard stopped `reply`; empty while it has not.
    static QString refusal(const QNetworkReply* reply);

private:
    MapReplyGuard(QNetworkReply* reply, qint64 maxBytes, const QString& purpose);

    void checkDeclaredLength();
    void countTaken();
    // False once the answer went past its cap (and was stopped).
    bool checkHeld();
    void refuse(const QString& reason);

    QNetworkReply* reply_;
    qint64 maxBytes_;
    QString purpose_;
    // What readers took out of the reply so far.
    qint64 taken_ = 0;
    QTimer* sampler_;
};
