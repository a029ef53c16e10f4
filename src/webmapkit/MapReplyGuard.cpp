#include "webmapkit/MapReplyGuard.h"

#include "webmapkit/MapClock.h"
#include "webmapkit/MapLog.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QVariant>

namespace {

const char* const kRefusalProperty = "lumetta.map.refusal";

} // namespace

void MapReplyGuard::watch(QNetworkReply* reply, qint64 maxBytes, double deadlineSeconds, const QString& purpose)
{
    if (reply == nullptr || reply->isFinished()) {
        return;
    }
    auto* guard = new MapReplyGuard(reply, maxBytes, purpose);
    MapClock* clock = MapClock::defaultClock();
    const MapClock::Handle deadline = clock->callAfter(deadlineSeconds, guard, [guard, deadlineSeconds]() {
        guard->refuse(QStringLiteral("no complete answer within %1 s").arg(deadlineSeconds));
    });
    // The call is bound to the guard and goes with it; an answer in time lets
    // the clock drop it at once, unless the clock was swapped meanwhile (a
    // test's clock may be gone before a late reply is).
    connect(reply, &QNetworkReply::finished, guard, [clock, deadline]() {
        if (MapClock::defaultClock() == clock) {
            clock->cancel(deadline);
        }
    });
}

QString MapReplyGuard::refusal(const QNetworkReply* reply)
{
    return reply == nullptr ? QString() : reply->property(kRefusalProperty).toString();
}

MapReplyGuard::MapReplyGuard(QNetworkReply* reply, qint64 maxBytes, const QString& purpose)
    : QObject(reply)
    , reply_(reply)
    , maxBytes_(maxBytes)
    , purpose_(purpose)
    , sampler_(new QTimer(this))
{
    connect(reply, &QNetworkReply::metaDataChanged, this, &MapReplyGuard::checkDeclaredLength);
    // First in line: the readers connected later take the data after this ran.
    connect(reply, &QNetworkReply::readyRead, this, &MapReplyGuard::countTaken);
    connect(reply, &QNetworkReply::finished, sampler_, &QTimer::stop);
    sampler_->setTimerType(Qt::PreciseTimer);
    connect(sampler_, &QTimer::timeout, this, &MapReplyGuard::checkHeld);
    sampler_->start(kSampleMilliseconds);
}

void MapReplyGuard::checkDeclaredLength()
{
    const QVariant declared = reply_->header(QNetworkRequest::ContentLengthHeader);
    if (declared.isValid() && declared.toLongLong() > maxBytes_) {
        refuse(QStringLiteral("declared %1 bytes, more than the %2 allowed").arg(declared.toLongLong()).arg(maxBytes_));
    }
}

void MapReplyGuard::countTaken()
{
    if (checkHeld()) {
        taken_ += reply_->bytesAvailable();
    }
}

bool MapReplyGuard::checkHeld()
{
    if (taken_ + reply_->bytesAvailable() > maxBytes_) {
        refuse(QStringLiteral("answer longer than the %1 bytes allowed").arg(maxBytes_));
        return false;
    }
    return true;
}

void MapReplyGuard::refuse(const QString& reason)
{
    if (reply_->isFinished() || !refusal(reply_).isEmpty()) {
        return;
    }
    sampler_->stop();
    reply_->setProperty(kRefusalProperty, reason);
    qCWarning(lcMap).noquote() << "network error:" << purpose_ << reply_->url().toString() << reason;
    reply_->abort();
}
